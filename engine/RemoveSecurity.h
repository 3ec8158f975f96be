// Undoing a conversion: a security taken out of a directory in one transaction.
#pragma once

#include <string>

#include "engine/ConversionJob.h"

namespace engine {

// What a removal did, for the caller's report.
struct RemovalReport {
    std::string directory;  // absolute once it was found
    int fileNumber = 0;
    bool inXMaster = false;  // the security was XMASTER's: its prices were in F<n>.MWD
    std::string symbol;      // the removed security's symbol as MASTER held it (UTF-8)
    bool changed = false;    // the removal is made
    DirectoryEffect effect;  // what the run did to the directory
};

// Takes the security whose symbol or name is `symbol` (letter case aside, the whole field) out
// of the MASTER of `directory`: its record goes, the records behind it move up and the record count
// goes down by one, all in one commit that writes MASTER.BAK as it was; then its F<n>.DAT and
// F<n>.DOP are removed, unless another record uses the same file number. A security of the
// directory's XMASTER goes the same way: its XMASTER record (XMASTER.BAK keeps it as it was), then
// its F<n>.MWD and F<n>.DOP; MASTER and EMASTER stay as they are. Refuses a symbol that neither
// lists, or that more than one record matches. Returns 0, or 1 after telling
// the user why through the notifier. `symbol` is UTF-8; MASTER holds it in code page `codePage`. A
// removal that is made returns 0, also when not all of it is in place yet
// (`report->effect.finished` is false: the next run finishes it).
int RemoveSecurity(const std::string& directory, const std::string& symbol,
                   const JobServices& services, RemovalReport* report,
                   int codePage = msdb::kDefaultCodePage);

}  // namespace engine
