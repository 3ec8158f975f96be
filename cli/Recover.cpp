// korvex-cli recover: a run that was stopped while it changed a directory, finished or undone.
#include <ostream>

#include <CLI/CLI.hpp>

#include "cli/Commands.h"
#include "engine/TargetDirectory.h"

namespace cli {

namespace {

class RecoverCommand final : public Command {
public:
    void Define(CLI::App& program) override {
        CLI::App* app =
            Add(program, "recover", "finish or undo a run that was stopped in a directory",
                "Finishes or undoes the run that was stopped (killed, a power cut, a failing disk) "
                "while\n"
                "it changed DIR, as the next conversion or removal into DIR does before its own "
                "work: a\n"
                "run stopped after its commit is finished, one stopped before it is undone. Only "
                "the files\n"
                "that the run's journal (KORVEX.JNL or KORVEX.CMT) lists are touched. 'korvex-cli "
                "check\n"
                "DIR' tells whether DIR awaits this.\n",
                "Exit status: 0 done, or nothing to do; 1 it could not be done (the message says "
                "why),\n"
                "2 bad command line.\n");
        SetTooMany("give one directory");
        Needed(app->add_option("DIR", directory_, "the directory")->type_name("DIR"),
               "give one directory");
    }

    int Run(std::ostream& out, std::ostream& err) override;

private:
    std::string directory_;
};

int RecoverCommand::Run(std::ostream& out, std::ostream& err) {
    constexpr std::chrono::milliseconds kLockWait{5000};
    engine::TargetDirectory target(Fs());
    std::optional<std::string> problem = target.Resolve(directory_);
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

}  // namespace

std::unique_ptr<Command> MakeRecoverCommand() {
    return std::make_unique<RecoverCommand>();
}

}  // namespace cli
