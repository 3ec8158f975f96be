// Reading a whole input file the way a conversion reads it: every record in file order, the dates'
// order (a file that lists the newest day first is stored in reverse), the record limit and the
// problems. The conversion, the dialog's preview and its whole-file summary share it, so that what
// is shown before a run is what the run stores.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/ConversionSettings.h"
#include "engine/InputParser.h"
#include "msdb/FileSystem.h"

namespace engine {

// Called for each record in file order; returning false stops the scan.
using RecordCallback = std::function<bool(const PriceRecord& record, const InputParser& parser)>;

struct ScanResult {
    msdb::Status status;   // a read failure, which ends the scan
    bool stopped = false;  // the callback asked to stop
    int recordCount = 0;
    // The dates of the first and last records as they are stored: after the reversal of a
    // newest-first file, the first is the oldest.
    msdb::MbfBytes firstDate{};
    msdb::MbfBytes lastDate{};
    bool reversed = false;  // the file lists the newest day first; the records go in reverse
};

// Reads every line of `parser`'s file. Dates that are neither all ascending nor all descending are
// problems ("is not later than the date of the record before it"), added to the parser's problems
// after the scan; so is a record past the 65,534 that one security holds, which ends the scan.
ScanResult ScanInput(InputParser& parser, const RecordCallback& onRecord);

// A record of the preview: the line it comes from, its values as stored, and its problems.
struct PreviewRow {
    LineNumber line = 0;
    PriceRecord record;
    std::vector<InputProblem> problems;
};

// The first `count` records of the file that `settings` names, read as the conversion reads them.
[[nodiscard]] msdb::Status ReadPreviewRows(msdb::FileSystem& fs, const ConversionSettings& settings,
                                           int count, std::vector<PreviewRow>* rows);

}  // namespace engine
