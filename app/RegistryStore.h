// CRegistryStore: the program's settings, a two-level map of sections and entries to text, kept in
// one per-user INI file. Every read reads the file and every write replaces it whole, through a
// temporary renamed over it; nothing is cached. Failures are silent: a read that finds nothing
// gives the caller's default and a failed write returns false.
#pragma once

#include <string>

#include "engine/Services.h"

class CRegistryStore : public engine::SettingsStore {
public:
    CRegistryStore() = default;
    ~CRegistryStore() override = default;

    // The file the settings live in: $KORVEX_SETTINGS, else $XDG_CONFIG_HOME/Halvorn/Korvex.ini,
    // else ~/.config/Halvorn/Korvex.ini.
    static std::string DefaultPath();

    // Takes `path` as the settings file, creates its folder, and creates the file when it does not
    // exist yet; `*createdNew` tells whether it did. False when the file cannot be made.
    bool CreateRoot(const std::string& path, bool* createdNew);

    // Copies the old INI profile `iniPath` into the store, line by line: "[name]" lines open a
    // section, "name=value" lines set a value in it. Run once, when the settings file is new.
    void ImportIniProfile(const std::string& iniPath);

    std::string ReadString(const std::string& section, const std::string& entry,
                           const std::string& defaultValue) override;
    // The leading integer of the stored text, as "%d" reads it; the default when there is none.
    int ReadInt(const std::string& section, const std::string& entry, int defaultValue) override;
    bool WriteString(const std::string& section, const std::string& entry,
                     const std::string& text) override;
    bool WriteInt(const std::string& section, const std::string& entry, int value) override;

    const std::string& Path() const { return m_strRoot; }

    // A stored text this long or longer reads as absent.
    static constexpr std::size_t kMaxValueLength = 260;

private:
    std::string m_strRoot;  // the settings file
};
