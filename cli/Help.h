// What korvex-cli tells of itself, made from the table of its commands and options: the help of
// the program and of each command, and a bash completion script.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "cli/Commands.h"

namespace cli {

// "korvex-cli convert INPUT... --dir DIR [options]": the command's arguments, the
// options it cannot go without, and the others in brackets (or "[options]" when they are many).
std::string Synopsis(const Command& command);

// The help of one command: its synopsis, what it does, each option with what it means, and the
// rest of what it has to say.
std::string CommandHelp(const Command& command);

// The help of the program: every command's synopsis and what it is for, its own options, and
// `examples`.
std::string ProgramHelp(const std::vector<std::unique_ptr<Command>>& commands,
                        const std::string& examples);

// Every date format with 30 August 1999 written in it, two to a line, each line indented.
std::string DateFormatTable();

// A bash completion script: the commands, their options, and the values of the options that
// take one of a few words, a directory or a file.
std::string BashCompletion(const std::vector<std::unique_ptr<Command>>& commands);

}  // namespace cli
