#include "engine/InputScan.h"

#include <utility>

namespace engine {

ScanResult ScanInput(InputParser& parser, const RecordCallback& onRecord) {
    ScanResult result;
    // The order of the dates: each earlier than the one before (newest first), or each later.
    bool anyDateProblem = false;
    bool newestFirst = true;
    bool havePrevious = false;
    float previous = 0.0f;
    std::vector<InputProblem> orderProblems;
    for (;;) {
        bool got = false;
        result.status = parser.NextLine(&got);
        if (!result.status.ok() || !got) {
            break;
        }
        if (result.recordCount == msdb::kMaxPriceRecords) {
            parser.problems().Add({parser.LineNumber(), "line", "",
                                   "is a price record past the 65,534 that one security holds"});
            break;
        }
        const PriceRecord record = parser.ReadRecord();
        const msdb::MbfBytes& date = record.values[PriceField::kDate];
        if (parser.LastDateIsProblem()) {
            anyDateProblem = true;
            havePrevious = false;
        } else {
            const float value = msdb::FromMbf(date);
            if (havePrevious && !(value < previous)) {
                newestFirst = false;
            }
            if (havePrevious && !(value > previous)) {
                orderProblems.push_back({parser.LineNumber(), "date", "",
                                         "is not later than the date of the record before it"});
            }
            previous = value;
            havePrevious = true;
        }
        if (result.recordCount == 0) {
            result.firstDate = date;
        }
        result.lastDate = date;
        if (onRecord && !onRecord(record, parser)) {
            result.stopped = true;
            return result;
        }
        ++result.recordCount;
    }
    if (!result.status.ok() || !parser.NotText().empty()) {
        return result;
    }
    if (!anyDateProblem && result.recordCount >= 2 && newestFirst) {
        std::swap(result.firstDate, result.lastDate);
        result.reversed = true;
    } else {
        for (InputProblem& problem : orderProblems) {
            parser.problems().Add(std::move(problem));
        }
    }
    return result;
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
        row.line = parser.LineNumber();
        row.problems = parser.RecordProblems();
        rows->push_back(std::move(row));
    }
    return msdb::Status::Ok();
}

}  // namespace engine
