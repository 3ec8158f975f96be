// korvex-cli remove: a security taken out of a MetaStock-format directory.
#include <ostream>

#include <CLI/CLI.hpp>

#include "cli/Commands.h"
#include "engine/RemoveSecurity.h"
#include "msdb/SecurityFiles.h"
#include "msdb/XMaster.h"

namespace cli {

namespace {

class RemoveCommand final : public Command {
public:
    void Define(CLI::App& program) override {
        CLI::App* app = Add(
            program, "remove", "take a security out of a directory",
            "Takes the security SYMBOL out of the MASTER of DIR: its record goes, and its "
            "F<n>.DAT\n"
            "and F<n>.DOP after it; a security of XMASTER leaves XMASTER, and its F<n>.MWD and\n"
            "F<n>.DOP go. SYMBOL is the whole symbol or name, in any letter case. DIR is changed\n"
            "all at once, and MASTER.BAK (XMASTER.BAK) keeps MASTER (XMASTER) as it was, so that "
            "a\n"
            "security removed by mistake can be had back by renaming the backup (its files are\n"
            "gone, though). Refused when no such security is listed, or more than one.\n",
            "Exit status: 0 removed, 1 not removed (the message says why; DIR is as it was, or "
            "the\n"
            "last message says what is left), 2 bad command line, 3 removed, but not all of it is\n"
            "in place yet (the next run into DIR puts the rest in place) or the summary could not\n"
            "be written.\n");
        SetTooMany("give a directory and a symbol");
        Needed(app->add_option("DIR", directory_, "the directory")->type_name("DIR"),
               "give a directory and a symbol");
        Needed(app->add_option("SYMBOL", symbol_, "the security")->type_name("SYMBOL"),
               "give a directory and a symbol");
        codePage_ = AddCodePageOption(app, &codePageText_);
    }

    int Run(std::ostream& out, std::ostream& err) override;

private:
    std::string directory_;
    std::string symbol_;
    std::string codePageText_;
    CLI::Option* codePage_ = nullptr;
};

int RemoveCommand::Run(std::ostream& out, std::ostream& err) {
    StreamNotifier notifier(err);
    engine::JobServices services;
    services.notifier = &notifier;
    engine::RemovalReport report;
    const int codePage = CodePageOption(codePage_, codePageText_);
    if (engine::RemoveSecurity(directory_, symbol_, services, &report, codePage) != 0) {
        report.effect.directory = report.directory;
        TellNotChanged(report.effect, err);
        return 1;
    }
    out << "Removed " << symbol_ << " ("
        << (report.inXMaster ? msdb::MwdFileName(report.fileNumber)
                             : msdb::DatFileName(report.fileNumber))
        << ") from " << report.directory << ".\n";
    return MadeStatus(report.effect.finished, out, err);
}

}  // namespace

std::unique_ptr<Command> MakeRemoveCommand() {
    return std::make_unique<RemoveCommand>();
}

}  // namespace cli
