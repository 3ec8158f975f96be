#include "cli/Cli.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <exception>
#include <new>
#include <ostream>

#include "cli/Commands.h"

namespace cli {
namespace {

constexpr std::string_view kUsage =
    "Usage: korvex-cli convert INPUT --dir DIR --symbol SYMBOL [options]\n"
    "       korvex-cli detect FILE [--json]\n"
    "       korvex-cli list DIR [--csv | --json]\n"
    "       korvex-cli export DIR SYMBOL [-o FILE] [--date-format NAME]\n"
    "       korvex-cli check DIR\n"
    "       korvex-cli remove DIR SYMBOL\n"
    "       korvex-cli recover DIR\n"
    "       korvex-cli --help | --version\n"
    "\n"
    "Converts a text file of end-of-day prices into a new security of a MetaStock-format\n"
    "directory: the security is added to MASTER and gets its own F<n>.DAT and F<n>.DOP.\n"
    "\n"
    "Commands:\n"
    "  convert    convert one price file (see 'korvex-cli convert --help')\n"
    "  detect     propose the convert options that read a price file\n"
    "  list       list the securities of a directory\n"
    "  export     write a security's price records as CSV\n"
    "  check      check that a directory is sound\n"
    "  remove     take a security out of a directory\n"
    "  recover    finish or undo a run that was stopped in a directory\n"
    "\n"
    "'korvex-cli COMMAND --help' explains each command.\n"
    "\n"
    "Options:\n"
    "  --help     show this help\n"
    "  --version  show the version\n"
    "\n"
    "Examples:\n"
#ifdef _WIN32
    "  korvex-cli detect C:\\Data\\prices.csv\n"
    "  korvex-cli convert C:\\Data\\prices.csv --dir C:\\Data\\Stocks --new-master --symbol ACME\n"
    "      --skip 1 --date-format MM_DD_CCYY\n"
    "  korvex-cli list C:\\Data\\Stocks\n"
    "  korvex-cli export C:\\Data\\Stocks ACME -o C:\\Data\\acme.csv\n";
#else
    "  korvex-cli detect ~/data/prices.csv\n"
    "  korvex-cli convert ~/data/prices.csv --dir ~/data/stocks --new-master --symbol ACME\n"
    "      --skip 1 --date-format MM_DD_CCYY\n"
    "  korvex-cli list ~/data/stocks\n"
    "  korvex-cli export ~/data/stocks ACME -o ~/data/acme.csv\n";
#endif

}  // namespace

std::span<const Command> Commands() {
    static const std::array<Command, 7> commands = {{{"convert", kConvertUsage, RunConvert},
                                                     {"detect", kDetectUsage, RunDetect},
                                                     {"list", kListUsage, RunList},
                                                     {"export", kExportUsage, RunExport},
                                                     {"check", kCheckUsage, RunCheck},
                                                     {"remove", kRemoveUsage, RunRemove},
                                                     {"recover", kRecoverUsage, RunRecover}}};
    return commands;
}

int MadeStatus(bool whole, std::ostream& out, std::ostream& err) {
    errno = 0;
    out.flush();
    if (!out) {
        err << "korvex: the change is made, but its summary could not be written"
            << (errno != 0 ? std::string(": ") + std::strerror(errno) : std::string()) << '\n';
        return kMadeWithTrouble;
    }
    return whole ? 0 : kMadeWithTrouble;
}

void TellNotChanged(const engine::DirectoryEffect& effect, std::ostream& err) {
    err << "korvex: " << engine::NotChangedMessage(effect) << '\n';
}

namespace {

int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        (args.empty() ? err : out) << kUsage;
        return args.empty() ? kBadCommandLine : 0;
    }
    if (args[0] == "--version") {
        out << "korvex-cli " << KORVEX_VERSION << '\n';
        return 0;
    }
    std::span<const Command> commands = Commands();
    auto command = std::find_if(commands.begin(), commands.end(),
                                [&](const Command& c) { return c.name == args[0]; });
    if (command == commands.end()) {
        err << "korvex: unknown command '" << args[0] << "'\nTry 'korvex-cli --help'.\n";
        return kBadCommandLine;
    }
    if (std::find(args.begin(), args.end(), "--help") != args.end() ||
        std::find(args.begin(), args.end(), "-h") != args.end()) {
        out << command->usage;
        return 0;
    }
    return command->run(std::vector<std::string>(args.begin() + 1, args.end()), out, err);
}

}  // namespace

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    int status = 0;
    try {
        status = RunCommandLine(args, out, err);
    } catch (const std::bad_alloc&) {
        err << "korvex: there is not enough memory for this\n";
        return 1;
    } catch (const std::exception& error) {
        err << "korvex: " << error.what() << '\n';
        return 1;
    }
    // Output that could not be written (a full disk, /dev/full, a closed pipe) is a failure; a
    // run that made its change has said so itself.
    errno = 0;
    out.flush();
    if (!out && status != kMadeWithTrouble) {
        err << "korvex: the output could not be written"
            << (errno != 0 ? std::string(": ") + std::strerror(errno) : std::string()) << '\n';
        return 1;
    }
    return status;
}

}  // namespace cli
