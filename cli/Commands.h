// The commands of korvex-cli, each in a file of its name, and what they share.
#pragma once

#include <iosfwd>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Services.h"
#include "msdb/FileSystem.h"

namespace cli {

// The exit status of a command line that cannot be carried out as written.
inline constexpr int kBadCommandLine = 2;

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

extern const std::string_view kConvertUsage;
extern const std::string_view kListUsage;
extern const std::string_view kExportUsage;
extern const std::string_view kCheckUsage;
extern const std::string_view kRemoveUsage;

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
