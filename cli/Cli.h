// korvex-cli: the conversion engine from the command line.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace cli {

// Runs the command line `args` (without the program name). Messages go to `err` as
// "korvex: <message>", the summary of a conversion to `out`. Returns the exit status: 0 when the
// conversion succeeded, 1 when it failed, 2 for a bad command line.
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace cli
