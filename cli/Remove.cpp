// korvex-cli remove: a security taken out of a MetaStock-format directory.
#include <ostream>

#include "cli/Commands.h"
#include "engine/RemoveSecurity.h"
#include "msdb/SecurityFiles.h"

namespace cli {

const std::string_view kRemoveUsage =
    "Usage: korvex-cli remove DIR SYMBOL\n"
    "\n"
    "Takes the security SYMBOL out of the MASTER of DIR: its record goes, and its F<n>.DAT\n"
    "and F<n>.DOP after it. SYMBOL is the whole symbol or name, in any letter case. DIR is\n"
    "changed all at once, and MASTER.BAK keeps MASTER as it was, so that a security removed\n"
    "by mistake can be had back by renaming MASTER.BAK to MASTER (its files are gone, though).\n"
    "Refused when MASTER lists no such security, or more than one.\n"
    "Exit status: 0 removed, 1 not removed (the message says why; DIR is as it was, or the\n"
    "last message says what is left), 2 bad command line, 3 removed, but not all of it is\n"
    "in place yet (the next run into DIR puts the rest in place) or the summary could not\n"
    "be written.\n";

int RunRemove(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() != 2 || (!args[0].empty() && args[0][0] == '-') ||
        (!args[1].empty() && args[1][0] == '-')) {
        err << "korvex: give a directory and a symbol\nTry 'korvex-cli remove --help'.\n";
        return kBadCommandLine;
    }
    StreamNotifier notifier(err);
    engine::JobServices services;
    services.notifier = &notifier;
    engine::RemovalReport report;
    if (engine::RemoveSecurity(args[0], args[1], services, &report) != 0) {
        report.effect.directory = report.directory;
        TellNotChanged(report.effect, err);
        return 1;
    }
    out << "Removed " << args[1] << " (" << msdb::DatFileName(report.fileNumber) << ") from "
        << report.directory << ".\n";
    return MadeStatus(report.effect.finished, out, err);
}

}  // namespace cli
