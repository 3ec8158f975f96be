// Where the desktop programs keep what they remember between runs: text under (section, entry).
#pragma once

#include <map>
#include <string>
#include <utility>

namespace ui {

// Settings kept as text under (section, entry). Reads return the caller's default when the value is
// absent; writes create what is missing; failures are silent apart from the result.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    virtual std::string ReadString(const std::string& section, const std::string& entry,
                                   const std::string& defaultValue) = 0;
    virtual int ReadInt(const std::string& section, const std::string& entry, int defaultValue) = 0;
    virtual bool WriteString(const std::string& section, const std::string& entry,
                             const std::string& text) = 0;
    virtual bool WriteInt(const std::string& section, const std::string& entry, int value) = 0;
};

// Keeps settings in memory for the life of the object: for tests, and for a shell run without a
// settings file.
class MemorySettingsStore final : public SettingsStore {
public:
    std::string ReadString(const std::string& section, const std::string& entry,
                           const std::string& defaultValue) override;
    int ReadInt(const std::string& section, const std::string& entry, int defaultValue) override;
    bool WriteString(const std::string& section, const std::string& entry,
                     const std::string& text) override;
    bool WriteInt(const std::string& section, const std::string& entry, int value) override;

    std::map<std::pair<std::string, std::string>, std::string> values;
};

}  // namespace ui
