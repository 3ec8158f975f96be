// Reading a whole input file the way a conversion reads it: every record in file order, the dates'
// order (a file that lists the newest day first is stored in reverse), the record limit and the
// problems. The conversion, the dialog's preview and its whole-file summary share it, so that what
// is shown before a run is what the run stores.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
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

// The records that one order of the dates keeps: each dated after (or, going backward, before)
// the last it kept. A record that breaks the order is left out, and is a problem.
class OrderFilter {
public:
    explicit OrderFilter(bool forward) : forward_(forward) {}

    // Takes the record of `parser` dated `date`: true when it is kept.
    bool Take(const InputParser& parser, const msdb::MbfBytes& date);

    std::int64_t count() const { return count_; }
    std::int64_t dropped() const { return dropped_; }
    std::int64_t zeroVolumes() const { return zeroVolumes_; }
    std::int64_t zeroOpenInterests() const { return zeroOpenInterests_; }
    const msdb::MbfBytes& firstDate() const { return firstDate_; }
    const msdb::MbfBytes& lastDate() const { return lastDate_; }
    // Adds the problems of the dates out of this order to `problems`.
    void AddProblems(InputProblems* problems) const;

private:
    // A date out of order, kept short until AddProblems writes out its problem: a file of many
    // symbols holds those of both orders of every symbol until the symbol's last line.
    struct OutOfOrder {
        LineNumber line = 0;
        std::string text;  // the date as written: a few characters, which need no allocation
        msdb::MbfBytes before{};
    };

    bool forward_;
    std::uint32_t last_ = 0;  // msdb::MbfOrderKey of the last date kept
    msdb::MbfBytes firstDate_{};
    msdb::MbfBytes lastDate_{};
    std::int64_t count_ = 0;
    std::int64_t dropped_ = 0;
    std::int64_t zeroVolumes_ = 0;
    std::int64_t zeroOpenInterests_ = 0;
    std::vector<OutOfOrder> outOfOrder_;  // the first InputProblems::kShown of them
};

// The records of one security as they come, in both orders of the dates at once, until the end
// decides which order the file lists them in. A file of one security has one; a file with a
// symbol column one per symbol.
class RecordOrder {
public:
    struct Kept {
        bool forward = false;
        bool backward = false;
    };
    // Takes a usable record inside the settings' range; says which orders keep it. Past what one
    // security holds nothing is kept: the run is refused.
    Kept Take(const InputParser& parser, const PriceRecord& record) {
        const msdb::MbfBytes& date = record.values[PriceField::kDate];
        const bool forward = forward_.Take(parser, date);
        const bool backward = backward_.Take(parser, date);
        return {forward && forward_.count() <= msdb::kMaxPriceRecords,
                backward && backward_.count() <= msdb::kMaxPriceRecords};
    }
    // Counts a record that cannot be stored.
    void LeaveOut() { ++unusable_; }
    // Decides the order: the newest day comes first when more records go backward than forward.
    // Fills the counts, dates and order of `result` and adds the order's problems to `problems`.
    void Finish(InputProblems* problems, ScanResult* result) const;

private:
    OrderFilter forward_{true};
    OrderFilter backward_{false};
    std::int64_t unusable_ = 0;
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

// ScanInput with callbacks that the compiler sees, and may build into the loop: `onRecord` as
// above, called as onRecord(record, parser) -> bool, and `onKept` as onKept(record, forward).
template <typename OnRecord, typename OnKept>
ScanResult ScanInputWith(InputParser& parser, OnRecord&& onRecord, OnKept&& onKept) {
    ScanResult result;
    RecordOrder order;
    for (;;) {
        bool got = false;
        result.status = parser.NextLine(&got);
        if (!result.status.ok() || !got) {
            break;
        }
        const PriceRecord record = parser.ReadRecord();
        if (!onRecord(record, static_cast<const InputParser&>(parser))) {
            result.stopped = true;
            return result;
        }
        if (parser.OutOfRange()) {
            continue;
        }
        if (!parser.Usable()) {
            order.LeaveOut();
            continue;
        }
        const RecordOrder::Kept kept = order.Take(parser, record);
        if (kept.forward) {
            onKept(record, true);
        }
        if (kept.backward) {
            onKept(record, false);
        }
    }
    if (!result.status.ok() || !parser.NotText().empty()) {
        return result;
    }
    order.Finish(&parser.problems(), &result);
    return result;
}

// What happens to a file's problems when they are accepted, as a sentence's end: "3 lines will
// be left out; 2 volumes will be stored as 0". Empty when nothing happens.
std::string WhatAcceptingDoes(const ScanResult& scan, bool done = false);

// A file read through it counts the bytes read, for the progress of a long reading.
class CountingFile final : public msdb::ReadableFile {
public:
    explicit CountingFile(std::unique_ptr<msdb::ReadableFile> file) : file_(std::move(file)) {}
    msdb::Status Read(std::size_t n, char* buffer, std::size_t* got) override {
        msdb::Status s = file_->Read(n, buffer, got);
        read_ += *got;
        return s;
    }
    msdb::Status Info(msdb::FileInfo* info) override { return file_->Info(info); }
    std::uint64_t BytesRead() const { return read_; }

private:
    std::unique_ptr<msdb::ReadableFile> file_;
    std::uint64_t read_ = 0;
};

// Tells `progress` the share of `size` bytes that `file` has read, in thousandths, each time it
// grows by ten or more. For a file under `from` bytes, which reads in a blink, it tells nothing.
class ProgressMeter {
public:
    ProgressMeter(const CountingFile* file, std::uint64_t size,
                  std::function<void(int permille)> progress, std::uint64_t from = 0)
        : file_(file), size_(size), progress_(std::move(progress)), from_(from) {}
    void Update() {
        if (!progress_ || size_ == 0 || size_ < from_) {
            return;
        }
        const int permille =
            static_cast<int>(std::min<std::uint64_t>(file_->BytesRead(), size_) * 1000 / size_);
        if (permille >= last_ + 10) {
            last_ = permille;
            progress_(permille);
        }
    }

private:
    const CountingFile* file_;
    std::uint64_t size_;
    std::function<void(int)> progress_;
    std::uint64_t from_;
    int last_ = 0;
};

// The most of a date's text that a problem of its order keeps: more than a problem shows of it
// (InputProblems::Add cuts it), and never more.
inline constexpr std::size_t kKeptDateText = 64;

// A record of the preview: the line it comes from, its values as stored, and its problems.
struct PreviewRow {
    LineNumber line = 0;
    std::string symbol;  // with a symbol column, the line's (as NormalizeSymbol gives it)
    std::string dateText;
    PriceRecord record;
    msdb::PerField<bool>
        unread{};  // the fields that cannot be read: their values are not the file's
    std::vector<InputProblem> problems;
};

// The first `count` records of the file that `settings` names, read as the conversion reads them.
[[nodiscard]] msdb::Status ReadPreviewRows(msdb::FileSystem& fs, const ConversionSettings& settings,
                                           int count, std::vector<PreviewRow>* rows);

// Puts the rows of ReadPreviewRows in the order they are stored: each security's together, in
// the order each first comes, and oldest first, the order of the dates that can be read deciding
// as it does for a whole file. A date out of that order gets the problem the conversion gives
// it. True when some were listed newest first and are turned round.
bool OrderAsStored(std::vector<PreviewRow>* rows);

}  // namespace engine
