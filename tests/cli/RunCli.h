// Runs korvex-cli in-process and keeps what it printed.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "cli/Cli.h"

namespace testing_support {

struct CliOutcome {
    int status;
    std::string out;
    std::string err;
};

inline CliOutcome RunCli(const std::vector<std::string>& args) {
    std::ostringstream out;
    std::ostringstream err;
    int status = cli::run(args, out, err);
    return CliOutcome{status, out.str(), err.str()};
}

}  // namespace testing_support
