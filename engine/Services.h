// The three small interfaces through which the conversion engine reaches the world outside the
// database files: a way to tell the user something, the settings store, and today's date.
#pragma once

#include <optional>
#include <string>

namespace engine {

// Shows a message to the user and returns once the user has taken note of it.
class Notifier {
public:
    virtual ~Notifier() = default;
    virtual void ShowMessage(const std::string& text) = 0;
    // Asks the user a question that Yes or No answers; nothing when no one can be asked (the
    // command line), which counts as No.
    virtual std::optional<bool> Ask(const std::string& question) {
        (void)question;
        return std::nullopt;
    }
};

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

// A store that keeps nothing: every read gives the default, every write is dropped.
class NullSettingsStore final : public SettingsStore {
public:
    std::string ReadString(const std::string&, const std::string&,
                           const std::string& defaultValue) override {
        return defaultValue;
    }
    int ReadInt(const std::string&, const std::string&, int defaultValue) override {
        return defaultValue;
    }
    bool WriteString(const std::string&, const std::string&, const std::string&) override {
        return false;
    }
    bool WriteInt(const std::string&, const std::string&, int) override { return false; }
};

struct CalendarDate {
    int year = 0;  // full year, such as 2026
    int month = 0;
    int day = 0;
};

// Today's local date.
class Clock {
public:
    virtual ~Clock() = default;
    virtual CalendarDate Today() = 0;

    // The system clock in the local time zone.
    static Clock& System();
};

}  // namespace engine
