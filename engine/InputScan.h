// Reading a whole input file the way a conversion reads it: every record in file order, the dates'
// order (a file that lists the newest day first is stored in reverse), the record limit and the
// problems. The conversion, the dialog's preview and its whole-file summary share it, so that what
// is shown before a run is what the run stores.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/ConversionSettings.h"
#include "engine/InputParser.h"
#include "msdb/FileSystem.h"

namespace engine {

// Called for each record in file order; returning false stops the scan.
using RecordCallback = std::function<bool(const PriceRecord& record, const InputParser& parser)>;
// Called for each record that an order of the dates keeps: going forward, or going backward.
using KeptCallback = std::function<void(const PriceRecord& record, bool forward)>;

struct ScanResult {
    msdb::Status status;   // a read failure, which ends the scan
    bool stopped = false;  // the callback asked to stop
    // The records stored, and the lines with problems that are left out when the problems are
    // accepted: a date that cannot be read, does not exist, or is not later than the date stored
    // before it (earlier, in a file that lists the newest day first), or an open, high, low or
    // close that cannot be read. A volume or open interest that cannot be read is stored as 0.
    std::int64_t recordCount = 0;
    std::int64_t leftOut = 0;
    std::int64_t zeroVolumes = 0;
    std::int64_t zeroOpenInterests = 0;
    // The dates of the first and last records as they are stored: after the reversal of a
    // newest-first file, the first is the oldest.
    msdb::MbfBytes firstDate{};
    msdb::MbfBytes lastDate{};
    bool reversed = false;  // the file lists the newest day first; the records go in reverse

    // True when the file holds more records than one security can (kMaxPriceRecords).
    bool TooMany() const { return recordCount > msdb::kMaxPriceRecords; }
};

// Reads every line of `parser`'s file, passing each record read (out of the settings' range or
// not, usable or not) to `onRecord` in file order. Decides the order of the dates: the file lists
// the newest day first when more records go backward than forward, and its records are stored in
// reverse. The problems of order (a date not later, or not earlier, than the one stored before
// it) are added to the parser's problems after the scan. `onKept`, when given, receives in file
// order the records that each order keeps (a record that both keep, twice, the forward order
// first): those of the order decided are the records stored, in reverse when `reversed`.
ScanResult ScanInput(InputParser& parser, const RecordCallback& onRecord,
                     const KeptCallback& onKept = nullptr);

// What happens to a file's problems when they are accepted, as a sentence's end: "3 lines will
// be left out; 2 volumes will be stored as 0". Empty when nothing happens.
std::string WhatAcceptingDoes(const ScanResult& scan, bool done = false);

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
