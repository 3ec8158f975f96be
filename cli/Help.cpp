#include "cli/Help.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <set>

#include "msdb/Encoding.h"
#include "msdb/Reader.h"

namespace cli {
namespace {

constexpr std::size_t kLineWidth = 79;
constexpr std::size_t kNameColumn = 24;
// A synopsis with more optional options than this says "[options]".
constexpr std::size_t kListedOptions = 3;

bool IsHelpFlag(const CLI::Option* option) {
    return option->check_lname("help");
}

// How an option is written in a synopsis: its short name when it has one, else its long name,
// and the kind of its value.
std::string Usage(const CLI::Option* option) {
    if (option->get_positional()) {
        // A positional that takes any number of values is written with "...".
        return option->get_name() + (option->get_items_expected_max() > 1 ? "..." : "");
    }
    const std::vector<std::string>& shorts = option->get_snames();
    std::string text = shorts.empty() ? "--" + option->get_lnames().front() : "-" + shorts.front();
    if (option->get_expected() != 0) {
        text += " " + option->get_type_name();
    }
    return text;
}

// Every name of an option, as typed: "-o, --output FILE".
std::string Names(const CLI::Option* option) {
    std::string text;
    for (const std::string& name : option->get_snames()) {
        text += (text.empty() ? "-" : ", -") + name;
    }
    for (const std::string& name : option->get_lnames()) {
        text += (text.empty() ? "--" : ", --") + name;
    }
    if (option->get_expected() != 0) {
        text += " " + option->get_type_name();
    }
    return text;
}

// `text` broken into lines of at most kLineWidth characters, the first after `first` and the
// others after `indent` blanks.
std::string Wrap(const std::string& first, const std::string& text, std::size_t indent) {
    std::string out = first;
    std::size_t column = first.size();
    if (column > indent) {
        out += "\n" + std::string(indent, ' ');
        column = indent;
    } else {
        out += std::string(indent - column, ' ');
        column = indent;
    }
    std::size_t at = 0;
    bool lineStart = true;
    while (at < text.size()) {
        const std::size_t end = std::min(text.find(' ', at), text.size());
        const std::string word = text.substr(at, end - at);
        if (!lineStart && column + 1 + word.size() > kLineWidth) {
            out += "\n" + std::string(indent, ' ');
            column = indent;
            lineStart = true;
        }
        if (!lineStart) {
            out += ' ';
            ++column;
        }
        out += word;
        column += word.size();
        lineStart = false;
        at = end + 1;
    }
    return out + "\n";
}

std::vector<const CLI::Option*> Options(const CLI::App& app) {
    std::vector<const CLI::Option*> options = app.get_options();
    // The help last, as readers look for it there.
    std::stable_partition(options.begin(), options.end(),
                          [](const CLI::Option* option) { return !IsHelpFlag(option); });
    return options;
}

}  // namespace

std::string Synopsis(const Command& command) {
    const CLI::App& app = command.app();
    std::string text = "korvex-cli " + app.get_name();
    std::vector<const CLI::Option*> optional;
    for (const CLI::Option* option : Options(app)) {
        if (IsHelpFlag(option)) {
            continue;
        }
        if (option->get_positional() || command.Needs(option)) {
            text += " " + Usage(option);
        } else {
            optional.push_back(option);
        }
    }
    if (optional.size() > kListedOptions) {
        return text + " [options]";
    }
    std::set<const CLI::Option*> written;
    for (const CLI::Option* option : optional) {
        if (written.count(option) != 0) {
            continue;
        }
        // Options that exclude each other go in one pair of brackets.
        std::string alternatives = Usage(option);
        written.insert(option);
        for (const CLI::Option* other : option->get_excludes()) {
            alternatives += " | " + Usage(other);
            written.insert(other);
        }
        text += " [" + alternatives + "]";
    }
    return text;
}

std::string CommandHelp(const Command& command) {
    std::string text = "Usage: " + Synopsis(command) + "\n\n" + command.description() + "\n";
    text += "Options:\n";
    for (const CLI::Option* option : Options(command.app())) {
        if (!option->get_positional()) {
            text += Wrap("  " + Names(option), option->get_description(), kNameColumn);
        }
    }
    if (!command.footer().empty()) {
        text += "\n" + command.footer();
    }
    return text;
}

std::string ProgramHelp(const std::vector<std::unique_ptr<Command>>& commands,
                        const std::string& examples) {
    std::string text;
    for (const auto& command : commands) {
        text += (text.empty() ? "Usage: " : "       ") + Synopsis(*command) + "\n";
    }
    text +=
        "       korvex-cli --help | --version\n"
        "\n"
        "Converts text files of end-of-day prices into securities of a MetaStock-format\n"
        "directory: each security is listed in MASTER (past its 255, in XMASTER) and gets its\n"
        "own price file and F<n>.DOP; with --update, the new days of the securities it holds\n"
        "are added to them.\n"
        "\n"
        "Commands:\n";
    for (const auto& command : commands) {
        text += Wrap("  " + command->app().get_name(), command->app().get_description(), 13);
    }
    text +=
        "\n"
        "'korvex-cli COMMAND --help' explains each command.\n"
        "\n"
        "Options:\n"
        "  --help     show this help\n"
        "  --version  show the version\n"
        "\n" +
        examples;
    return text;
}

std::string DateFormatTable() {
    constexpr msdb::CalendarDay kExample{1999, 8, 30};
    constexpr std::size_t kNameWidth = 12;
    constexpr std::size_t kExampleWidth = 14;
    std::string text;
    for (std::size_t i = 0; i < msdb::kDateFormatNames.size(); ++i) {
        const auto format = static_cast<msdb::DateFormat>(i + 1);
        std::string entry = std::string(msdb::kDateFormatNames[i]);
        entry += std::string(kNameWidth - std::min(kNameWidth - 1, entry.size()), ' ') +
                 msdb::DateText(kExample, format);
        if (i % 2 == 0) {
            text += "  " + entry +
                    std::string(kNameWidth + kExampleWidth -
                                    std::min(kNameWidth + kExampleWidth - 1, entry.size()),
                                ' ');
        } else {
            text += entry + "\n";
        }
    }
    return text;
}

std::string BashCompletion(const std::vector<std::unique_ptr<Command>>& commands) {
    std::string dateFormats;
    for (std::string_view name : msdb::kDateFormatNames) {
        dateFormats += (dateFormats.empty() ? "" : " ") + std::string(name);
    }
    std::string names;
    for (const auto& command : commands) {
        names += " " + command->app().get_name();
    }
    std::string text =
        "# bash completion of korvex-cli, made by 'korvex-cli --bash-completion' from the\n"
        "# table of its commands and options.\n"
        "_korvex_cli() {\n"
        "    local cur prev words cword\n"
        "    _init_completion || return\n"
        "    if [[ $cword -eq 1 ]]; then\n"
        "        COMPREPLY=($(compgen -W \"" +
        names.substr(1) +
        " --help --version\" -- \"$cur\"))\n"
        "        return\n"
        "    fi\n"
        "    case \"${words[1]}\" in\n";
    for (const auto& command : commands) {
        std::string options;
        std::string values;
        bool files = false;
        bool directories = false;
        for (const CLI::Option* option : Options(command->app())) {
            const std::string kind = option->get_type_name();
            if (option->get_positional()) {
                // The first argument decides: the later ones are symbols, not paths.
                if (!files && !directories) {
                    directories = kind == "DIR";
                    files = kind == "FILE";
                }
                continue;
            }
            for (const std::string& name : option->get_lnames()) {
                options += " --" + name;
            }
            if (option->get_expected() == 0) {
                continue;
            }
            std::string pattern;
            for (const std::string& name : option->get_snames()) {
                pattern += (pattern.empty() ? "-" : "|-") + name;
            }
            for (const std::string& name : option->get_lnames()) {
                pattern += (pattern.empty() ? "--" : "|--") + name;
            }
            std::string complete = "return";
            if (option->check_lname("date-format")) {
                complete = "COMPREPLY=($(compgen -W \"" + dateFormats + "\" -- \"$cur\")); return";
            } else if (kind.find('|') != std::string::npos) {
                std::string words = kind;
                std::replace(words.begin(), words.end(), '|', ' ');
                complete = "COMPREPLY=($(compgen -W \"" + words + "\" -- \"$cur\")); return";
            } else if (kind == "DIR") {
                complete = "_filedir -d; return";
            } else if (kind == "FILE") {
                complete = "_filedir; return";
            }
            values += "                " + pattern + ") " + complete + " ;;\n";
        }
        text += "        " + command->app().get_name() +
                ")\n"
                "            case \"$prev\" in\n" +
                values +
                "            esac\n"
                "            if [[ $cur == -* ]]; then\n"
                "                COMPREPLY=($(compgen -W \"" +
                options.substr(1) +
                "\" -- \"$cur\"))\n"
                "            else\n"
                "                " +
                (files         ? "_filedir"
                 : directories ? "_filedir -d"
                               : ":") +
                "\n"
                "            fi\n"
                "            ;;\n";
    }
    text +=
        "    esac\n"
        "}\n"
        "complete -F _korvex_cli korvex-cli\n";
    return text;
}

}  // namespace cli
