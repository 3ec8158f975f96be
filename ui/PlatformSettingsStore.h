// The program's settings, a two-level map of sections and entries to text. Nothing
// is cached: every read reads the store and every write goes to it at once. Failures are silent: a
// read that finds nothing gives the caller's default and a failed write returns false.
//
// On Windows the store is the registry. The root is a key path under HKEY_CURRENT_USER; each
// section is a subkey of it and each entry a REG_SZ value there. An entry the user's key lacks is
// read from the same key path under HKEY_LOCAL_MACHINE, where an installer may put defaults for
// every user; that hive is never written, as an ordinary user may not write it.
//
// Elsewhere the store is one per-user INI file, replaced whole through a temporary renamed over it.
#pragma once

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <string>

#include "ui/SettingsStore.h"

namespace ui {

class PlatformSettingsStore : public SettingsStore {
public:
    PlatformSettingsStore() = default;
    ~PlatformSettingsStore() override = default;

    // Where the settings live: $KORVEX_SETTINGS, else on Windows the key Software\Halvorn\Korvex,
    // elsewhere the file $XDG_CONFIG_HOME/Halvorn/Korvex.ini, else ~/.config/Halvorn/Korvex.ini.
    static std::string DefaultPath();

    // Takes `path` as the root, and creates it when it does not exist yet (on Windows the key under
    // HKEY_CURRENT_USER, elsewhere the file and its folder); `*createdNew` tells whether it did.
    // False when it cannot be made.
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

    const std::string& Path() const { return root_; }

    // A stored text this long or longer reads as absent.
    static constexpr std::size_t kMaxValueLength = 260;

private:
    // The leading integer of a stored text, as "%d" reads it, kept within an int; `defaultValue`
    // when the text is too long to be read or does not begin with one.
    static int LeadingInt(const std::string& text, int defaultValue) {
        if (text.size() >= kMaxValueLength) {
            return defaultValue;
        }
        const char* begin = text.c_str();
        char* end = nullptr;
        const long number = std::strtol(begin, &end, 10);
        return end == begin ? defaultValue
                            : static_cast<int>(std::clamp<long>(number, INT_MIN, INT_MAX));
    }

    std::string root_;  // the settings file, or on Windows the key path
};

}  // namespace ui
