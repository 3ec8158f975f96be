#include "cli/Cli.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <exception>
#include <new>
#include <ostream>

#include "cli/Commands.h"
#include "cli/Help.h"
#include "engine/Messages.h"
#include "msdb/CodePage.h"

namespace cli {
namespace {

constexpr std::string_view kExamples =
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

// The table: the program with every command in it. A flag or an option given twice is refused.
struct Program {
    Program() {
        app.name("korvex-cli");
        // Options are written --name on every system: a path such as /data/stocks (or one that
        // Wine hands over) is an argument, never a Windows-style /option.
        app.allow_windows_style_options(false);
        app.set_help_flag();
        commands = MakeCommands();
        for (const auto& command : commands) {
            command->Define(app);
            command->app().allow_extras();
            for (CLI::Option* option : command->app().get_options()) {
                option->multi_option_policy(CLI::MultiOptionPolicy::Throw);
            }
        }
    }

    Command* Find(const std::string& name) const {
        auto it = std::find_if(commands.begin(), commands.end(), [&](const auto& command) {
            return command->app().get_name() == name;
        });
        return it == commands.end() ? nullptr : it->get();
    }

    CLI::App app;
    std::vector<std::unique_ptr<Command>> commands;
};

// CLI11's words for a mistake, in the program's own where it had them.
std::string UsageMessage(const CLI::ParseError& error) {
    std::string text = error.what();
    const std::size_t colon = text.find(':');
    const std::string option = text.substr(0, colon);
    if (dynamic_cast<const CLI::ExcludesError*>(&error) != nullptr) {
        const std::size_t at = text.find(" excludes ");
        if (at != std::string::npos) {
            return text.substr(0, at) + " and " + text.substr(at + 10) +
                   " cannot be given together";
        }
    }
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr) {
        if (text.find("missing") != std::string::npos) {
            return option + " needs a value";
        }
        if (text.find("At Most") != std::string::npos) {
            return option + " is given more than once";
        }
    }
    return text;
}

int RunCommand(Program& program, Command& command, const std::vector<std::string>& args,
               std::ostream& out, std::ostream& err) {
    auto usage = [&](const std::string& message) {
        err << "korvex: " << message << "\nTry 'korvex-cli " << command.app().get_name()
            << " --help'.\n";
        return kBadCommandLine;
    };
    // CLI11 takes the arguments last first.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        program.app.parse(reversed);
    } catch (const CLI::ParseError& error) {
        return usage(UsageMessage(error));
    }
    for (const std::string& extra : command.app().remaining()) {
        if (extra.size() > 1 && extra[0] == '-') {
            return usage("unknown option '" + extra + "'");
        }
    }
    if (!command.app().remaining().empty()) {
        return usage(command.TooMany());
    }
    try {
        command.CheckNeeded();
        return command.Run(out, err);
    } catch (const UsageError& error) {
        return usage(error.message);
    }
}

int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    Program program;
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        (args.empty() ? err : out) << ProgramHelp(program.commands, std::string(kExamples));
        return args.empty() ? kBadCommandLine : 0;
    }
    if (args[0] == "--version") {
        out << "korvex-cli " << KORVEX_VERSION << '\n';
        return 0;
    }
    if (args[0] == "--bash-completion") {
        out << BashCompletion(program.commands);
        return 0;
    }
    Command* command = program.Find(args[0]);
    if (command == nullptr) {
        err << "korvex: unknown command '" << args[0] << "'\nTry 'korvex-cli --help'.\n";
        return kBadCommandLine;
    }
    if (std::find(args.begin(), args.end(), "--help") != args.end() ||
        std::find(args.begin(), args.end(), "-h") != args.end()) {
        out << CommandHelp(*command);
        return 0;
    }
    return RunCommand(program, *command, args, out, err);
}

}  // namespace

void Command::CheckNeeded() const {
    for (const auto& [option, missing] : needed_) {
        if (option->count() == 0) {
            throw UsageError{missing};
        }
    }
}

bool Command::Needs(const CLI::Option* option) const {
    return std::any_of(needed_.begin(), needed_.end(),
                       [&](const auto& needed) { return needed.first == option; });
}

CLI::App* Command::Add(CLI::App& program, const std::string& name, const std::string& summary,
                       std::string description, std::string footer) {
    app_ = program.add_subcommand(name, summary);
    app_->set_help_flag("-h,--help", "show this help");
    description_ = std::move(description);
    footer_ = std::move(footer);
    return app_;
}

CLI::Option* Command::Needed(CLI::Option* option, std::string missing) {
    needed_.emplace_back(option, std::move(missing));
    return option;
}

std::vector<std::unique_ptr<Command>> MakeCommands() {
    std::vector<std::unique_ptr<Command>> commands;
    commands.push_back(MakeConvertCommand());
    commands.push_back(MakeDetectCommand());
    commands.push_back(MakeListCommand());
    commands.push_back(MakeExportCommand());
    commands.push_back(MakeCheckCommand());
    commands.push_back(MakeRemoveCommand());
    commands.push_back(MakeRecoverCommand());
    return commands;
}

msdb::DateFormat DateFormatOption(const std::string& option, const std::string& name) {
    if (std::optional<msdb::DateFormat> format = msdb::ParseDateFormatName(name)) {
        return *format;
    }
    throw UsageError{option + ": unknown date format '" + name +
                     "'; see 'korvex-cli convert --help' for the names"};
}

CLI::Option* AddCodePageOption(CLI::App* app, std::string* text) {
    return app
        ->add_option("--codepage", *text,
                     "the Windows code page in which the directory's MASTER, EMASTER and XMASTER "
                     "hold symbols and names, 1250 to 1258; default 1252 (Western European)")
        ->type_name("N");
}

int CodePageOption(const CLI::Option* option, const std::string& text) {
    if (option->count() == 0) {
        return msdb::kDefaultCodePage;
    }
    int page = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), page);
    if (ec != std::errc() || end != text.data() + text.size() || !msdb::IsCodePage(page)) {
        throw UsageError{"--codepage: must be a code page from 1250 to 1258, not '" + text + "'"};
    }
    return page;
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

void StreamNotifier::ShowMessage(const std::string& text) {
    err_ << "korvex: " << text << '\n';
}

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
