#include "engine/InputScan.h"

#include <algorithm>
#include <map>
#include <optional>
#include <string_view>
#include <utility>

#include "msdb/Reader.h"
#include "msdb/SecurityFiles.h"

namespace engine {
namespace {

std::string Count(std::int64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

bool OrderFilter::Take(const InputParser& parser, const msdb::MbfBytes& date) {
    const std::uint32_t value = msdb::MbfOrderKey(date);
    if (count_ > 0 && !(forward_ ? value > last_ : value < last_)) {
        // The lines come in order: once ten are kept, the others are only counted. (The order
        // that loses drops nearly every line of a file.)
        if (outOfOrder_.size() < InputProblems::kShown) {
            if (outOfOrder_.empty()) {
                outOfOrder_.reserve(InputProblems::kShown);
            }
            outOfOrder_.push_back(
                {parser.LineNumber(), parser.DateText().substr(0, kKeptDateText), lastDate_});
        }
        ++dropped_;
        return false;
    }
    if (count_ == 0) {
        firstDate_ = date;
    }
    last_ = value;
    lastDate_ = date;
    ++count_;
    zeroVolumes_ += parser.Unreadable(PriceField::kVolume) ? 1 : 0;
    zeroOpenInterests_ += parser.Unreadable(PriceField::kOpenInterest) ? 1 : 0;
    return true;
}

namespace {

// Why a date breaks the order of its file, which lists the oldest day first when `forward`;
// `before` is the date stored before it.
std::string OutOfOrder(bool forward, const std::optional<msdb::CalendarDay>& before) {
    return std::string(forward ? "is not later than " : "is not earlier than ") +
           (before ? msdb::IsoDateText(*before) : std::string("the date")) +
           ", the date stored before it" +
           (forward ? "" : " in a file that lists the newest day first");
}

}  // namespace

void OrderFilter::AddProblems(InputProblems* problems) const {
    InputProblems order;
    for (const OutOfOrder& date : outOfOrder_) {
        order.Add({date.line, "date", date.text,
                   engine::OutOfOrder(forward_, msdb::StoredDateToDay(date.before))});
    }
    order.CountLater(dropped_ - static_cast<std::int64_t>(outOfOrder_.size()));
    problems->Merge(order);
}

void RecordOrder::Finish(InputProblems* problems, ScanResult* result) const {
    result->reversed = backward_.count() > forward_.count() && backward_.count() >= 2;
    const OrderFilter& order = result->reversed ? backward_ : forward_;
    order.AddProblems(problems);
    result->recordCount = order.count();
    result->leftOut = unusable_ + order.dropped();
    result->zeroVolumes = order.zeroVolumes();
    result->zeroOpenInterests = order.zeroOpenInterests();
    result->firstDate = result->reversed ? order.lastDate() : order.firstDate();
    result->lastDate = result->reversed ? order.firstDate() : order.lastDate();
}

ScanResult ScanInput(InputParser& parser, const RecordCallback& onRecord,
                     const KeptCallback& onKept) {
    return ScanInputWith(
        parser,
        [&](const PriceRecord& record, const InputParser& reading) {
            return !onRecord || onRecord(record, reading);
        },
        [&](const PriceRecord& record, bool forward) {
            if (onKept) {
                onKept(record, forward);
            }
        });
}

std::string WhatAcceptingDoes(const ScanResult& scan, bool done) {
    std::vector<std::string> parts;
    const char* leftOut = done ? " left out" : " be left out";
    const char* zero = done ? " stored as 0" : " be stored as 0";
    auto add = [&](std::int64_t n, const char* one, const char* many, const char* what) {
        if (n > 0) {
            parts.push_back(Count(n, one, many) + (done ? (n == 1 ? " was" : " were") : " will") +
                            what);
        }
    };
    add(scan.leftOut, "line", "lines", leftOut);
    add(scan.zeroVolumes, "volume", "volumes", zero);
    add(scan.zeroOpenInterests, "open interest", "open interests", zero);
    std::string text;
    for (const std::string& part : parts) {
        text += (text.empty() ? "" : "; ") + part;
    }
    return text;
}

msdb::Status ReadPreviewRows(msdb::FileSystem& fs, const ConversionSettings& settings, int count,
                             std::vector<PreviewRow>* rows) {
    rows->clear();
    std::unique_ptr<msdb::ReadableFile> file;
    if (msdb::Status s = fs.OpenForRead(settings.inputPath, &file); !s.ok()) {
        return s;
    }
    InputParser parser(settings, std::move(file));
    while (static_cast<int>(rows->size()) < count) {
        bool got = false;
        if (msdb::Status s = parser.NextLine(&got); !s.ok() || !got) {
            return s;
        }
        PreviewRow row;
        row.record = parser.ReadRecord();
        if (parser.OutOfRange()) {
            continue;  // not converted
        }
        row.line = parser.LineNumber();
        if (settings.columns.symbol != 0) {
            row.symbol = NormalizeSymbol(parser.ColumnText(settings.columns.symbol));
        }
        row.problems = parser.RecordProblems();
        row.dateText = parser.DateText().substr(0, kKeptDateText);
        for (PriceField field : msdb::kPriceFields) {
            row.unread[field] = field == PriceField::kDate
                                    ? !msdb::StoredDateToDay(row.record.values[field])
                                    : parser.Unreadable(field);
        }
        rows->push_back(std::move(row));
    }
    return msdb::Status::Ok();
}

namespace {

// False when `row`'s line is left out: its date or a price cannot be read.
bool Storable(const PreviewRow& row) {
    return std::none_of(msdb::kPriceFields.begin(), msdb::kPriceFields.end(),
                        [&row](PriceField field) {
                            return row.unread[field] && field != PriceField::kVolume &&
                                   field != PriceField::kOpenInterest;
                        });
}

}  // namespace

bool OrderAsStored(std::vector<PreviewRow>* rows) {
    // Each security's rows: one list, or one per symbol in the order each first comes.
    std::vector<std::vector<std::size_t>> lists;
    std::map<std::string_view, std::size_t> listOf;
    for (std::size_t i = 0; i < rows->size(); ++i) {
        auto [at, added] = listOf.emplace((*rows)[i].symbol, lists.size());
        if (added) {
            lists.emplace_back();
        }
        lists[at->second].push_back(i);
    }
    bool reversed = false;
    for (std::vector<std::size_t>& list : lists) {
        std::int64_t forward = 0;
        std::int64_t backward = 0;
        std::optional<int> before;
        for (std::size_t i : list) {
            const std::optional<msdb::CalendarDay> day =
                msdb::StoredDateToDay((*rows)[i].record.values[PriceField::kDate]);
            if (!day) {
                continue;
            }
            const int number = (day->year * 100 + day->month) * 100 + day->day;
            if (before) {
                forward += number > *before;
                backward += number < *before;
            }
            before = number;
        }
        // In the file's order, as the conversion reads them: a date that is not past the last
        // one stored is a problem, and a line with a date or a price that cannot be read is left
        // out before its date counts.
        const bool newestFirst = backward > forward;
        std::optional<msdb::CalendarDay> last;
        for (std::size_t i : list) {
            PreviewRow& row = (*rows)[i];
            const std::optional<msdb::CalendarDay> day =
                msdb::StoredDateToDay(row.record.values[PriceField::kDate]);
            if (!day || !Storable(row)) {
                continue;
            }
            if (last && (newestFirst ? *day >= *last : *day <= *last)) {
                row.problems.push_back(
                    {row.line, "date", row.dateText, OutOfOrder(!newestFirst, last)});
                continue;
            }
            last = day;
        }
        if (newestFirst) {
            reversed = true;
            std::reverse(list.begin(), list.end());
        }
    }
    std::vector<PreviewRow> ordered;
    ordered.reserve(rows->size());
    for (const std::vector<std::size_t>& list : lists) {
        for (std::size_t i : list) {
            ordered.push_back(std::move((*rows)[i]));
        }
    }
    *rows = std::move(ordered);
    return reversed;
}

}  // namespace engine
