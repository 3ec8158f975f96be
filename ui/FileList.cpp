#include "ui/FileList.h"

#include <map>
#include <memory>
#include <optional>

#include "engine/FileSymbol.h"
#include "engine/InputParser.h"
#include "engine/InputScan.h"
#include "msdb/FileSystem.h"
#include "msdb/Reader.h"

namespace ui {
namespace {

// A large file reports its progress; a small one reads in a blink.
constexpr std::uint64_t kProgressFrom = 4 << 20;
// How often, in lines, the reading looks at its stop flag and its progress.
constexpr std::int64_t kCheckEvery = 1024;

std::optional<msdb::CalendarDay> DayOf(const msdb::MbfBytes& stored) {
    return msdb::StoredDateToDay(stored);
}

int Ordinal(const msdb::CalendarDay& day) {
    return (day.year * 100 + day.month) * 100 + day.day;
}

}  // namespace

FileFacts ReadFileFacts(const engine::ConversionSettings& settings, const std::atomic<bool>& cancel,
                        const std::function<void(int permille)>& progress) {
    FileFacts facts;
    facts.state = FileFacts::State::kFailed;
    msdb::FileSystem& fs = msdb::FileSystem::Default();
    std::uint64_t size = 0;
    if (msdb::FileInfo info; fs.GetInfo(settings.inputPath, &info).ok()) {
        size = info.size;
    }
    std::unique_ptr<msdb::ReadableFile> opened;
    if (msdb::Status s = fs.OpenForRead(settings.inputPath, &opened); !s.ok()) {
        facts.failure = s.message();
        return facts;
    }
    auto counting = std::make_unique<engine::CountingFile>(std::move(opened));
    engine::ProgressMeter meter(counting.get(), size, progress, kProgressFrom);
    engine::InputParser parser(settings, std::move(counting));
    const int symbolColumn = settings.columns.symbol;
    std::map<std::string, engine::RecordOrder> orders;  // by symbol; "" without a symbol column
    std::int64_t lines = 0;
    std::int64_t emptySymbols = 0;
    for (;;) {
        bool got = false;
        if (msdb::Status s = parser.NextLine(&got); !s.ok()) {
            facts.failure = s.message();
            return facts;
        }
        if (!got) {
            break;
        }
        if (++lines % kCheckEvery == 0) {
            if (cancel.load(std::memory_order_relaxed)) {
                facts.cancelled = true;
                return facts;
            }
            meter.Update();
        }
        const engine::PriceRecord record = parser.ReadRecord();
        std::string symbol;
        if (symbolColumn != 0) {
            symbol = engine::NormalizeSymbol(parser.ColumnText(symbolColumn));
            if (symbol.empty()) {
                ++emptySymbols;
                continue;
            }
        }
        engine::RecordOrder& order = orders[symbol];
        if (parser.OutOfRange()) {
            continue;
        }
        if (!parser.Usable()) {
            order.LeaveOut();
            continue;
        }
        (void)order.Take(parser, record);
    }
    if (!parser.NotText().empty()) {
        facts.failure = "not a plain text file: " + parser.NotText();
        return facts;
    }
    engine::InputProblems problems = std::move(parser.problems());
    std::optional<msdb::CalendarDay> first;
    std::optional<msdb::CalendarDay> last;
    for (const auto& [symbol, order] : orders) {
        engine::ScanResult scan;
        order.Finish(&problems, &scan);
        facts.records += scan.recordCount;
        if (scan.recordCount == 0) {
            continue;
        }
        const std::optional<msdb::CalendarDay> from = DayOf(scan.firstDate);
        const std::optional<msdb::CalendarDay> to = DayOf(scan.lastDate);
        if (from && (!first || Ordinal(*from) < Ordinal(*first))) {
            first = from;
        }
        if (to && (!last || Ordinal(*to) > Ordinal(*last))) {
            last = to;
        }
    }
    facts.state = FileFacts::State::kRead;
    facts.securities = symbolColumn != 0 ? static_cast<std::int64_t>(orders.size()) : 1;
    facts.problems = problems.count() + emptySymbols;
    facts.firstDate = first ? msdb::IsoDateText(*first) : std::string();
    facts.lastDate = last ? msdb::IsoDateText(*last) : std::string();
    return facts;
}

void FileList::SetFiles(const std::vector<std::string>& paths, int codePage) {
    rows_.clear();
    for (const std::string& path : paths) {
        rows_.push_back({{path, engine::SymbolOfFile(path, codePage), {}}, {}});
    }
}

std::string FileList::Heading(int column) {
    switch (column) {
        case kFile:
            return "File";
        case kSymbol:
            return "Symbol";
        case kName:
            return "Name";
        case kRecords:
            return "Records";
        case kFirstDate:
            return "First date";
        case kLastDate:
            return "Last date";
        case kProblems:
            return "Problems";
        default:
            return {};
    }
}

std::string FileList::Text(std::size_t row, int column) const {
    const Row& shown = rows_.at(row);
    const FileFacts& facts = shown.facts;
    if (column == kFile) {
        const std::string& path = shown.input.path;
        const std::size_t slash = path.find_last_of("/\\");
        return slash == std::string::npos ? path : path.substr(slash + 1);
    }
    if (column == kSymbol && symbolColumn_) {
        if (facts.state != FileFacts::State::kRead) {
            return "(symbol column)";
        }
        return std::to_string(facts.securities) +
               (facts.securities == 1 ? " security" : " securities");
    }
    if (column == kSymbol || column == kName) {
        if (symbolColumn_) {
            return {};
        }
        return column == kSymbol ? shown.input.symbol : shown.input.name;
    }
    switch (facts.state) {
        case FileFacts::State::kUnread:
            return "...";
        case FileFacts::State::kFailed:
            return column == kRecords ? "cannot be read" : std::string();
        case FileFacts::State::kRead:
            break;
    }
    switch (column) {
        case kRecords:
            return std::to_string(facts.records);
        case kFirstDate:
            return facts.firstDate;
        case kLastDate:
            return facts.lastDate;
        case kProblems:
            return std::to_string(facts.problems);
        default:
            return {};
    }
}

bool FileList::Editable(int column) const {
    return !symbolColumn_ && (column == kSymbol || column == kName);
}

std::string FileList::SetText(std::size_t row, int column, const std::string& text, int codePage) {
    if (!Editable(column)) {
        return {};
    }
    const engine::SettingsField field =
        column == kSymbol ? engine::SettingsField::kSymbol : engine::SettingsField::kName;
    std::optional<engine::SettingsProblem> problem = engine::CheckLength(field, text);
    if (!problem) {
        problem = engine::CheckCodePage(field, text, codePage);
    }
    if (problem) {
        return problem->message;
    }
    engine::InputFile& input = rows_.at(row).input;
    (column == kSymbol ? input.symbol : input.name) = text;
    return {};
}

bool FileList::Bad(std::size_t row) const {
    const FileFacts& facts = rows_.at(row).facts;
    return facts.state == FileFacts::State::kFailed ||
           (facts.state == FileFacts::State::kRead && (facts.records == 0 || facts.problems > 0));
}

void FileList::ForgetFacts() {
    for (Row& row : rows_) {
        row.facts = {};
    }
}

std::vector<engine::InputFile> FileList::Inputs() const {
    std::vector<engine::InputFile> inputs;
    for (const Row& row : rows_) {
        engine::InputFile input = row.input;
        if (symbolColumn_) {
            input.symbol.clear();
            input.name.clear();
        } else {
            input.symbol = engine::NormalizeSymbol(input.symbol);
        }
        inputs.push_back(std::move(input));
    }
    return inputs;
}

}  // namespace ui
