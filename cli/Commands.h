// The commands of korvex-cli, each in a file of its name, and what they share.
#pragma once

#include <iosfwd>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/ConversionSettings.h"
#include "engine/Detect.h"
#include "engine/Services.h"
#include "engine/TargetDirectory.h"
#include "msdb/FileSystem.h"

namespace cli {

// The exit status of a command line that cannot be carried out as written.
inline constexpr int kBadCommandLine = 2;
// The exit status of a run that made its change to the directory, but not everything after it
// went well: not all of the change is in place yet (the next run into the directory puts the
// rest in place), or the summary could not be written. Never 1: that says nothing was changed.
inline constexpr int kMadeWithTrouble = 3;

// The exit status of a run that made its change: 0, or kMadeWithTrouble when `whole` is false or
// the summary already written to `out` cannot be, which is then said on `err`.
int MadeStatus(bool whole, std::ostream& out, std::ostream& err);

// Tells on `err` the last words of a run that did not make its change: "korvex: Nothing in DIR
// was changed.", or what it left.
void TellNotChanged(const engine::DirectoryEffect& effect, std::ostream& err);

// One command: its name, its --help text, and what runs it with its command line (without the
// command's name), returning the exit status.
struct Command {
    std::string_view name;
    std::string_view usage;
    int (*run)(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
};

// The commands in the order the help lists them.
std::span<const Command> Commands();

int RunConvert(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunList(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunExport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunCheck(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunRemove(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunDetect(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunRecover(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

extern const std::string_view kConvertUsage;
extern const std::string_view kListUsage;
extern const std::string_view kExportUsage;
extern const std::string_view kCheckUsage;
extern const std::string_view kRemoveUsage;
extern const std::string_view kDetectUsage;
extern const std::string_view kRecoverUsage;

// The convert options that give `layout`, on one line: "--delimiter comma --skip 1 ...".
std::string ConvertOptions(const engine::DetectedLayout& layout);

// The reading settings that convert was given on its command line.
struct GivenSettings {
    bool delimiter = false;
    bool decimalComma = false;
    bool dateFormat = false;
    bool skip = false;
    bool columns = false;
};

// Detects the layout of the input file of `settings` and takes it for every reading setting not
// `given`, telling on `err` what was detected. Returns why no layout is proposed, or nothing.
std::optional<std::string> ApplyDetection(const GivenSettings& given,
                                          engine::ConversionSettings* settings, std::ostream& err);

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
