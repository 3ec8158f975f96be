#include "ui/Preview.h"

#include <algorithm>
#include <optional>

#include "engine/InputParser.h"
#include "msdb/FileSystem.h"
#include "msdb/Reader.h"
#include "ui/FileList.h"

namespace ui {
namespace {

using engine::PriceField;

constexpr msdb::PerField<std::string_view> kFieldHeadings = {
    {"Date", "Open", "High", "Low", "Close", "Volume", "Open Int"}};

// A summary of a large file reports its progress; a small one reads in a blink.
constexpr std::uint64_t kProgressFrom = 4 << 20;

std::optional<std::string> StoredDate(const msdb::MbfBytes& stored) {
    const std::optional<msdb::CalendarDay> day = msdb::StoredDateToDay(stored);
    return day ? std::optional<std::string>(msdb::IsoDateText(*day)) : std::nullopt;
}

// The first heading line skipped that reads as a record with the same settings, as a problem.
std::optional<std::string> SwallowedRecord(const engine::ConversionSettings& settings) {
    if (!settings.skipOn || settings.skipRows <= 0) {
        return std::nullopt;
    }
    engine::ConversionSettings unskipped = settings;
    unskipped.skipOn = false;
    unskipped.from.reset();
    unskipped.to.reset();
    std::unique_ptr<msdb::ReadableFile> file;
    if (!msdb::FileSystem::Default().OpenForRead(settings.inputPath, &file).ok()) {
        return std::nullopt;
    }
    engine::InputParser parser(unskipped, std::move(file));
    for (;;) {
        bool got = false;
        if (!parser.NextLine(&got).ok() || !got ||
            parser.LineNumber() > static_cast<engine::LineNumber>(settings.skipRows)) {
            return std::nullopt;
        }
        const engine::PriceRecord record = parser.ReadRecord();
        if (parser.Usable() && parser.RecordProblems().empty()) {
            const std::optional<std::string> date = StoredDate(record.values[PriceField::kDate]);
            return "Line " + std::to_string(parser.LineNumber()) +
                   " is skipped as a heading line, but it reads as a record" +
                   (date ? " of " + *date : std::string()) + ": skip fewer lines.";
        }
    }
}

std::string Plural(std::int64_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// The summary of a file with a symbol column: its securities, each read in the order of its own
// dates, counted together.
FileSummary SummarizeSecurities(const engine::ConversionSettings& settings,
                                const std::atomic<bool>& cancel,
                                const std::function<void(int permille)>& progress) {
    FileSummary summary;
    summary.bad = true;
    const FileFacts facts = ReadFileFacts(settings, cancel, progress);
    summary.cancelled = facts.cancelled;
    if (facts.state != FileFacts::State::kRead) {
        summary.text = "The file cannot be read.\n" + facts.failure;
        return summary;
    }
    const bool range = settings.from || settings.to;
    if (facts.records == 0) {
        summary.text = range ? "The file holds no price records in the dates chosen."
                             : "The file holds no price records with these settings.";
        return summary;
    }
    summary.text = std::string(range ? "The dates chosen: " : "The whole file: ") +
                   Plural(facts.securities, "security", "securities") + ", " +
                   Plural(facts.records, "record", "records") + ", " + facts.firstDate + " to " +
                   facts.lastDate + ".";
    summary.bad = facts.problems > 0;
    summary.text += facts.problems == 0
                        ? "\nNo problems."
                        : "\n" + Plural(facts.problems, "problem", "problems") + ".";
    return summary;
}

}  // namespace

msdb::Status PreviewModel::Load(const engine::ConversionSettings& settings, int count) {
    Clear();
    for (PriceField field : msdb::kPriceFields) {
        if (settings.fields[field].on) {
            fields_.push_back(field);
            columns_.push_back(settings.fields[field].column);
        }
    }
    symbol_ = settings.columns.symbol != 0;
    if (symbol_) {
        columns_.insert(columns_.begin(), settings.columns.symbol);
    }
    std::vector<engine::PreviewRow> rows;
    if (msdb::Status s =
            engine::ReadPreviewRows(msdb::FileSystem::Default(), settings, count, &rows);
        !s.ok()) {
        Clear();
        return s;
    }
    reversed_ = engine::OrderAsStored(&rows);
    for (const engine::PreviewRow& row : rows) {
        Row shown;
        shown.line = row.line;
        if (symbol_) {
            shown.cells.push_back({row.symbol, {}, false});
        }
        for (PriceField field : fields_) {
            PreviewCell cell;
            const msdb::MbfBytes& value = row.record.values[field];
            if (field == PriceField::kDate) {
                cell.text = StoredDate(value).value_or("");
            } else {
                cell.text = msdb::FullNumber(msdb::FromMbf(value));
                cell.number = true;
            }
            for (const engine::InputProblem& problem : row.problems) {
                if (problem.field == engine::FieldName(field)) {
                    cell.problems.push_back(engine::ProblemText(problem));
                }
            }
            if (row.unread[field]) {
                cell.text = "?";  // the 0 the record holds is not in the file
            }
            shown.cells.push_back(std::move(cell));
        }
        rows_.push_back(std::move(shown));
    }
    return msdb::Status::Ok();
}

void PreviewModel::Clear() {
    fields_.clear();
    columns_.clear();
    rows_.clear();
    reversed_ = false;
    symbol_ = false;
}

std::string PreviewModel::OrderNote() const {
    if (!reversed_) {
        return {};
    }
    return symbol_ ? "Some symbols list the newest day first: their records are shown oldest "
                     "first, as they will be stored."
                   : "The file lists the newest day first: its records are shown oldest first, "
                     "as they will be stored.";
}

int PreviewModel::ColumnCount() const {
    return static_cast<int>(fields_.size()) + (symbol_ ? 1 : 0);
}

std::string PreviewModel::ColumnHeading(int column) const {
    if (symbol_ && column == 0) {
        return "Symbol";
    }
    return std::string(
        kFieldHeadings[fields_.at(static_cast<std::size_t>(column - (symbol_ ? 1 : 0)))]);
}

std::string PreviewModel::ColumnTip(int column) const {
    return "Column " + std::to_string(columns_.at(static_cast<std::size_t>(column))) +
           " of the file";
}

std::string PreviewModel::RowHeading(int row) const {
    return "line " + std::to_string(rows_.at(static_cast<std::size_t>(row)).line);
}

const PreviewCell& PreviewModel::Cell(int row, int column) const {
    return rows_.at(static_cast<std::size_t>(row)).cells.at(static_cast<std::size_t>(column));
}

std::string PreviewModel::CellProblems(int row, int column) const {
    std::string text;
    for (const std::string& problem : Cell(row, column).problems) {
        text += (text.empty() ? "" : "\n") + problem;
    }
    return text;
}

FileSummary SummarizeFile(const engine::ConversionSettings& settings,
                          const std::atomic<bool>& cancel,
                          const std::function<void(int permille)>& progress) {
    if (settings.columns.symbol != 0) {
        return SummarizeSecurities(settings, cancel, progress);
    }
    FileSummary summary;
    summary.bad = true;
    std::uint64_t size = 0;
    if (msdb::FileInfo info; msdb::FileSystem::Default().GetInfo(settings.inputPath, &info).ok()) {
        size = info.size;
    }
    std::unique_ptr<msdb::ReadableFile> opened;
    if (msdb::Status s = msdb::FileSystem::Default().OpenForRead(settings.inputPath, &opened);
        !s.ok()) {
        summary.text = "The file cannot be read.\n" + s.message();
        return summary;
    }
    auto counting = std::make_unique<engine::CountingFile>(std::move(opened));
    engine::ProgressMeter meter(counting.get(), size, progress, kProgressFrom);
    engine::InputParser parser(settings, std::move(counting));
    const engine::ScanResult scan =
        engine::ScanInput(parser, [&](const engine::PriceRecord&, const engine::InputParser&) {
            if (cancel.load(std::memory_order_relaxed)) {
                return false;
            }
            meter.Update();
            return true;
        });
    if (scan.stopped) {
        summary.cancelled = true;
        return summary;
    }
    const bool range = settings.from || settings.to;
    std::string& text = summary.text;
    if (!scan.status.ok()) {
        text = "The file could not be read to its end.\n" + scan.status.message();
        return summary;
    }
    if (!parser.NotText().empty()) {
        text = "This is not a plain text file: " + parser.NotText() + ".";
        return summary;
    }
    if (scan.recordCount == 0) {
        text = range ? "The file holds no price records in the dates chosen."
                     : "The file holds no price records with these settings.";
        return summary;
    }
    text = std::string(range ? "The dates chosen: " : "The whole file: ") +
           Plural(scan.recordCount, "record", "records");
    const std::optional<std::string> first = StoredDate(scan.firstDate);
    const std::optional<std::string> last = StoredDate(scan.lastDate);
    text += first && last ? ", " + *first + " to " + *last + "." : ".";
    if (scan.reversed) {
        text += "\nThe file lists the newest day first; the records will be stored oldest first.";
    }
    const std::optional<std::string> swallowed = SwallowedRecord(settings);
    const engine::InputProblems& problems = parser.problems();
    const std::int64_t count = problems.count() + (swallowed ? 1 : 0);
    if (count == 0) {
        text += "\nNo problems.";
        summary.bad = false;
        return summary;
    }
    text += "\n" + Plural(count, "problem", "problems") + ".";
    if (swallowed) {
        text += "\n" + *swallowed;
    }
    if (!problems.empty()) {
        std::string firstProblem = engine::ProblemText(problems.first().front());
        firstProblem[0] =
            static_cast<char>(std::toupper(static_cast<unsigned char>(firstProblem[0])));
        text +=
            std::string("\nThe first") + (swallowed ? " in the records" : "") + ": " + firstProblem;
    }
    return summary;
}

const engine::SettingsProblem* ReadingProblem(
    const std::vector<engine::SettingsProblem>& problems) {
    for (const engine::SettingsProblem& problem : problems) {
        if (problem.kind == engine::ProblemKind::kDuplicateColumns ||
            problem.kind == engine::ProblemKind::kConflict ||
            problem.field == engine::SettingsField::kDateFormat) {
            return &problem;
        }
    }
    return nullptr;
}

}  // namespace ui
