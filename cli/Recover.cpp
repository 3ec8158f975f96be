// korvex-cli recover: a run that was stopped while it changed a directory, finished or undone.
#include <ostream>

#include "cli/Commands.h"
#include "engine/TargetDirectory.h"

namespace cli {

const std::string_view kRecoverUsage =
    "Usage: korvex-cli recover DIR\n"
    "\n"
    "Finishes or undoes the run that was stopped (killed, a power cut, a failing disk) while\n"
    "it changed DIR, as the next conversion or removal into DIR does before its own work: a\n"
    "run stopped after its commit is finished, one stopped before it is undone. Only the files\n"
    "that the run's journal (KORVEX.JNL or KORVEX.CMT) lists are touched. 'korvex-cli check\n"
    "DIR' tells whether DIR awaits this.\n"
    "Exit status: 0 done, or nothing to do; 1 it could not be done (the message says why),\n"
    "2 bad command line.\n";

int RunRecover(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() != 1 || (!args[0].empty() && args[0][0] == '-')) {
        err << "korvex: give one directory\nTry 'korvex-cli recover --help'.\n";
        return kBadCommandLine;
    }
    constexpr std::chrono::milliseconds kLockWait{5000};
    engine::TargetDirectory target(Fs());
    std::optional<std::string> problem = target.Resolve(args[0]);
    if (!problem) {
        problem = target.Lock(kLockWait);
    }
    if (problem) {
        err << "korvex: " << *problem << '\n';
        TellNotChanged(target.Effect(), err);
        return 1;
    }
    if (target.recoveryMessage().empty()) {
        out << "No run was stopped in " << target.path() << "; there is nothing to recover.\n";
    } else {
        out << target.recoveryMessage() << '\n';
    }
    return 0;
}

}  // namespace cli
