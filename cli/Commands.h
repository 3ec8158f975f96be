// The commands of korvex-cli, each in a file of its name, and what they share. Every command puts
// itself, its options and its help into one table (CLI11), from which the program parses the
// command line and writes its help and its bash completion.
#pragma once

#include <iosfwd>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/ConversionSettings.h"
#include "engine/Detect.h"
#include "engine/Services.h"
#include "engine/TargetDirectory.h"
#include "msdb/FileSystem.h"

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace cli {

// The exit status of a command line that cannot be carried out as written.
inline constexpr int kBadCommandLine = 2;
// The exit status of a run that made its change to the directory, but not everything after it
// went well: not all of the change is in place yet (the next run into the directory puts the
// rest in place), or the summary could not be written. Never 1: that says nothing was changed.
inline constexpr int kMadeWithTrouble = 3;

// A mistake on the command line that the table cannot see, with the message that explains it.
struct UsageError {
    std::string message;
};

// One command of korvex-cli.
class Command {
public:
    virtual ~Command() = default;

    // Adds the command to `program`, with its options and its help.
    virtual void Define(CLI::App& program) = 0;
    // Runs the command with what the command line gave it; a mistake there that the table cannot
    // see throws UsageError.
    virtual int Run(std::ostream& out, std::ostream& err) = 0;

    CLI::App& app() const { return *app_; }
    // Throws UsageError when an option or argument the command cannot go without is missing.
    void CheckNeeded() const;
    // True when the command cannot go without `option`.
    bool Needs(const CLI::Option* option) const;
    // The message for an argument too many.
    const std::string& TooMany() const { return tooMany_; }
    // What the help says before the options, and after them.
    const std::string& description() const { return description_; }
    const std::string& footer() const { return footer_; }

protected:
    // The command `name` in `program`, for `summary` (a line of the program's help). In its own
    // help, `description` comes before its options and `footer` after them.
    CLI::App* Add(CLI::App& program, const std::string& name, const std::string& summary,
                  std::string description, std::string footer);
    // `option`, which the command cannot go without; `missing` is the message when it is not given.
    CLI::Option* Needed(CLI::Option* option, std::string missing);
    void SetTooMany(std::string message) { tooMany_ = std::move(message); }

private:
    CLI::App* app_ = nullptr;
    std::vector<std::pair<CLI::Option*, std::string>> needed_;
    std::string tooMany_;
    std::string description_;
    std::string footer_;
};

// Every command, in the order the help lists them.
std::vector<std::unique_ptr<Command>> MakeCommands();

std::unique_ptr<Command> MakeConvertCommand();
std::unique_ptr<Command> MakeDetectCommand();
std::unique_ptr<Command> MakeListCommand();
std::unique_ptr<Command> MakeExportCommand();
std::unique_ptr<Command> MakeCheckCommand();
std::unique_ptr<Command> MakeRemoveCommand();
std::unique_ptr<Command> MakeRecoverCommand();

// The exit status of a run that made its change: 0, or kMadeWithTrouble when `whole` is false or
// the summary already written to `out` cannot be, which is then said on `err`.
int MadeStatus(bool whole, std::ostream& out, std::ostream& err);

// Tells on `err` the last words of a run that did not make its change: "korvex: Nothing in DIR
// was changed.", or what it left.
void TellNotChanged(const engine::DirectoryEffect& effect, std::ostream& err);

// The convert options that give `layout`, on one line: "--delimiter comma --skip 1 ...".
std::string ConvertOptions(const engine::DetectedLayout& layout);

// The reading settings that convert was given on its command line.
struct GivenSettings {
    bool delimiter = false;
    bool decimalComma = false;
    bool dateFormat = false;
    bool skip = false;
    bool columns = false;
    bool series = false;
};

// Detects the layout of the input file of `settings` and takes it for every reading setting not
// `given`, telling on `err` what was detected. Returns why no layout is proposed, or nothing.
std::optional<std::string> ApplyDetection(const GivenSettings& given,
                                          engine::ConversionSettings* settings, std::ostream& err);

// The date format named `name` (any letter case); a UsageError of `option` when there is none.
msdb::DateFormat DateFormatOption(const std::string& option, const std::string& name);

// Adds --codepage N to `app`: the code page in which the directory holds symbols and names.
CLI::Option* AddCodePageOption(CLI::App* app, std::string* text);
// The code page that `option` (--codepage) gives in `text`, or 1252 when it is not given; a
// UsageError for any but 1250 to 1258.
int CodePageOption(const CLI::Option* option, const std::string& text);

// Tells the user a step's message as "korvex: <message>" on standard error.
class StreamNotifier final : public engine::Notifier {
public:
    explicit StreamNotifier(std::ostream& err) : err_(err) {}
    void ShowMessage(const std::string& text) override;

private:
    std::ostream& err_;
};

// The file system the commands read and write.
inline msdb::FileSystem& Fs() {
    return msdb::FileSystem::Default();
}

}  // namespace cli
