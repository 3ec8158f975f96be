// The two small interfaces through which the conversion engine reaches the world outside the
// database files: a way to tell the user something, and today's date.
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
