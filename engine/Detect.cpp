#include "engine/Detect.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <tuple>
#include <unordered_set>

#include "engine/InputParser.h"
#include "engine/InputScan.h"
#include "engine/NumberText.h"
#include "engine/TextInput.h"
#include "msdb/MemoryFile.h"
#include "msdb/Reader.h"

namespace engine {
namespace {

// The share of the non-blank lines that must split into the same number of fields.
constexpr double kConsistentShare = 0.8;

constexpr std::array<char, 4> kDelimiters = {',', '\t', ';', ' '};

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The value of a whole field that is a number with the decimal separator `point`, as the
// conversion reads a volume: grouping separators and K, M and B taken; nothing for another text.
std::optional<double> NumberOf(std::string_view text, char point) {
    float value = 0;
    if (!std::any_of(text.begin(), text.end(), IsDigit) ||
        !ReadNumberText(text, {point == ',', true}, &value)) {
        return std::nullopt;
    }
    return value;
}

bool IsNumber(std::string_view text, char point) {
    return NumberOf(text, point).has_value();
}

// A field of digits and the separators dates are written with.
bool LooksLikeDate(std::string_view text) {
    return !text.empty() && std::any_of(text.begin(), text.end(), IsDigit) &&
           std::all_of(text.begin(), text.end(), [](char c) {
               return IsDigit(c) || c == '-' || c == '/' || c == '.' || c == ':' || c == ' ';
           });
}

bool IsBlankLine(const FieldSlots& slots, std::size_t count) {
    return std::all_of(slots.begin(), slots.begin() + static_cast<std::ptrdiff_t>(count),
                       [](const std::string& field) { return field.empty(); });
}

struct SplitLines {
    std::vector<std::vector<std::string>> fields;  // per line; empty for a blank line
    std::size_t modal = 0;                         // the most common number of fields
    std::size_t consistent = 0;                    // the non-blank lines with that number
    std::size_t nonBlank = 0;
};

SplitLines Split(std::span<const std::string> lines, char delimiter) {
    SplitLines split;
    FieldSlots slots;
    std::array<std::size_t, kFieldSlotCount + 1> counts{};
    for (const std::string& line : lines) {
        const std::size_t n = SplitFields(line, delimiter, &slots);
        std::vector<std::string> fields;
        if (!IsBlankLine(slots, n)) {
            fields.assign(slots.begin(), slots.begin() + static_cast<std::ptrdiff_t>(n));
            ++counts[n];
            ++split.nonBlank;
        }
        split.fields.push_back(std::move(fields));
    }
    split.modal =
        static_cast<std::size_t>(std::max_element(counts.begin(), counts.end()) - counts.begin());
    split.consistent = counts[split.modal];
    return split;
}

// How well the lines split at a delimiter: the clean values (numbers, dates) per line of the
// usual number of fields; negative when the split is not consistent.
double CleanScore(const SplitLines& split) {
    if (split.modal < 2 || static_cast<double>(split.consistent) <
                               kConsistentShare * static_cast<double>(split.nonBlank)) {
        return -1.0;
    }
    std::size_t clean = 0;
    for (const std::vector<std::string>& fields : split.fields) {
        if (fields.size() == split.modal) {
            for (const std::string& field : fields) {
                clean += IsNumber(field, '.') || IsNumber(field, ',') || LooksLikeDate(field);
            }
        }
    }
    return clean == 0 ? -1.0 : static_cast<double>(clean) / static_cast<double>(split.consistent);
}

// A heading name without quotes, <>, [] and letter case.
std::string HeadingKey(std::string_view name) {
    while (name.size() >= 2 && ((name.front() == '"' && name.back() == '"') ||
                                (name.front() == '<' && name.back() == '>') ||
                                (name.front() == '[' && name.back() == ']'))) {
        name = name.substr(1, name.size() - 2);
    }
    std::string key;
    for (char c : name) {
        key += c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
    }
    while (!key.empty() && key.back() == ' ') {
        key.pop_back();
    }
    while (!key.empty() && key.front() == ' ') {
        key.erase(0, 1);
    }
    return key;
}

// The rank of a heading name for a field (lower is preferred), or nothing.
std::optional<int> HeadingRank(const std::string& key, PriceField field) {
    static const PerField<std::vector<std::string_view>> kNames = {
        // The last of each list are the names of the exchanges' unified files (TradDt, OpnPric
        // ...), as the Indian exchanges publish their daily prices since 2024.
        {{{"date", "dtyyyymmdd", "timestamp", "trade date", "trading date", "tradedate", "traddt"},
          {"open", "opnpric"},
          {"high", "hghpric"},
          {"low", "lwpric"},
          {"close", "last", "price", "clspric"},
          {"volume", "vol", "vol.", "tottrdqty", "total traded quantity", "ttl trd qnty",
           "ttltradgvol"},
          {"openint", "open interest", "oi", "opnintrst"}}}};
    // "Open Price", "OPEN_PRICE" and "open" name one field; "Close Price" is the close before
    // "Last Price" is, and "Prev Close" or "Average Price" none.
    std::string name = key;
    std::replace(name.begin(), name.end(), '_', ' ');
    constexpr std::string_view kPrice = " price";
    if (name.size() > kPrice.size() && name.ends_with(kPrice)) {
        name.resize(name.size() - kPrice.size());
    }
    const std::vector<std::string_view>& names = kNames[field];
    auto at = std::find(names.begin(), names.end(), name);
    if (at == names.end()) {
        return std::nullopt;
    }
    return static_cast<int>(at - names.begin());
}

// The columns that are not prices, each with the heading names that give it.
struct OtherName {
    std::string_view key;  // as HeadingKey gives it
    int OtherColumns::*column;
    std::string_view what;
};

constexpr std::array<OtherName, 15> kOtherNames = {{
    {"ticker", &OtherColumns::symbol, "symbol"},
    {"symbol", &OtherColumns::symbol, "symbol"},
    {"code", &OtherColumns::symbol, "symbol"},
    {"tckrsymb", &OtherColumns::symbol, "symbol"},
    {"name", &OtherColumns::name, "name"},
    {"company", &OtherColumns::name, "name"},
    {"company name", &OtherColumns::name, "name"},
    {"security name", &OtherColumns::name, "name"},
    {"per", &OtherColumns::period, "period"},
    {"period", &OtherColumns::period, "period"},
    {"interval", &OtherColumns::period, "period"},
    {"time", &OtherColumns::time, "time"},
    {"series", &OtherColumns::series, "series"},
    {"sctysrs", &OtherColumns::series, "series"},
    {"fininstrmnm", &OtherColumns::name, "name"},
}};

// A symbol as exchanges and vendors write them: "AAPL", "BRK.B", "^GSPC", "M&M", "7203.T". A
// letter is needed, so that a column of numbers or of dates is never one.
bool IsSymbolCode(std::string_view text) {
    return !text.empty() && text.size() <= limits::kMaxSymbolLength &&
           std::any_of(text.begin(), text.end(), [](char c) { return c >= 'A' && c <= 'Z'; }) &&
           std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= 'A' && c <= 'Z') || IsDigit(c) || std::strchr(".-_&^", c) != nullptr;
           });
}

// Midnight as a time column of daily prices writes it: 000000, 0000, 00:00 or 00:00:00.
bool IsMidnight(std::string_view text) {
    return text == "0000" || text == "000000" || text == "00:00" || text == "00:00:00";
}

// The fields of `line` past the kFieldSlotCount that are read, split plainly at `delimiter` (as
// a heading is written: a name seldom quotes the delimiter), without blanks and quotes around
// them. None with the space as the delimiter, whose runs of spaces this does not tell apart.
std::vector<std::string> FieldsPastTheRead(std::string_view line, char delimiter) {
    std::vector<std::string> past;
    if (delimiter == ' ') {
        return past;
    }
    std::size_t column = 0;
    std::size_t start = 0;
    for (std::size_t at = 0; at <= line.size(); ++at) {
        if (at < line.size() && line[at] != delimiter) {
            continue;
        }
        if (++column > kFieldSlotCount) {
            std::string_view field = line.substr(start, at - start);
            while (!field.empty() && (field.front() == ' ' || field.front() == '\t')) {
                field.remove_prefix(1);
            }
            while (!field.empty() && (field.back() == ' ' || field.back() == '\t')) {
                field.remove_suffix(1);
            }
            if (field.size() >= 2 && field.front() == '"' && field.back() == '"') {
                field = field.substr(1, field.size() - 2);
            }
            past.emplace_back(field);
        }
        start = at + 1;
    }
    return past;
}

// What the input parser makes of the sample with `settings`.
struct Reading {
    std::vector<PriceRecord> records;
    std::vector<LineNumber> lines;
    std::vector<std::string> keys;  // each record's text in the key column, when one is given
    InputProblems problems;
};

// `keyColumn` (from 1, or 0 for none) is the column whose text each record keeps in `keys`,
// followed by that of `seriesColumn` when there is one: a symbol's series are apart.
Reading ReadWith(const std::string& text, const ConversionSettings& settings, int keyColumn = 0,
                 int seriesColumn = 0) {
    Reading reading;
    InputParser parser(settings, std::make_unique<msdb::MemoryFile>(text));
    for (;;) {
        bool got = false;
        if (!parser.NextLine(&got).ok() || !got) {
            break;
        }
        reading.records.push_back(parser.ReadRecord());
        reading.lines.push_back(parser.LineNumber());
        if (keyColumn != 0) {
            reading.keys.emplace_back(parser.ColumnText(keyColumn));
            if (seriesColumn != 0) {
                reading.keys.back() += '\n';
                reading.keys.back() += parser.ColumnText(seriesColumn);
            }
        }
    }
    reading.problems = parser.problems();
    return reading;
}

// The day numbers of the records' dates.
std::vector<long> Days(const Reading& reading) {
    std::vector<long> days;
    for (const PriceRecord& record : reading.records) {
        std::optional<msdb::CalendarDay> day =
            msdb::StoredDateToDay(record.values[PriceField::kDate]);
        days.push_back(
            day ? static_cast<long>(msdb::YmdToDayNumber(static_cast<std::int16_t>(day->year),
                                                         static_cast<std::int16_t>(day->month),
                                                         static_cast<std::int16_t>(day->day)))
                : 0);
    }
    return days;
}

// The days that could be read (0 is a day that could not), one list per security: per text of
// `keys` when there are keys (a symbol column), in the order each first appears; else one list.
std::vector<std::vector<long>> DaysBySecurity(const std::vector<long>& days,
                                              const std::vector<std::string>& keys) {
    std::vector<std::vector<long>> lists;
    std::vector<std::string_view> listKeys;
    for (std::size_t i = 0; i < days.size(); ++i) {
        if (days[i] == 0) {
            continue;
        }
        const std::string_view key = keys.empty() ? std::string_view() : keys[i];
        auto at = std::find(listKeys.begin(), listKeys.end(), key);
        if (at == listKeys.end()) {
            listKeys.push_back(key);
            lists.emplace_back();
            at = listKeys.end() - 1;
        }
        lists[static_cast<std::size_t>(at - listKeys.begin())].push_back(days[i]);
    }
    return lists;
}

// The days of some securities go forward and those of others backward: each is read in its own
// order, as the conversion reads a symbol's lines.
constexpr int kMixedOrder = 2;

// 1 when the days of each security go forward, -1 when they go backward, kMixedOrder when each
// goes one way but not all the same way, 0 when neither: the steps between a security's days go
// one way, but for the few a bad line makes. One day that comes again is such a line however
// short the sample: a file of three lines whose last two share a day is still read as dated.
int Order(const std::vector<std::vector<long>>& lists) {
    std::size_t steps = 0;
    std::size_t consistent = 0;  // the steps that go the way most of their security's go
    std::size_t repeated = 0;    // the steps from a day to the same day
    bool forward = false;
    bool backward = false;
    for (const std::vector<long>& days : lists) {
        std::size_t up = 0;
        std::size_t down = 0;
        for (std::size_t i = 1; i < days.size(); ++i) {
            up += days[i] > days[i - 1] ? 1 : 0;
            down += days[i] < days[i - 1] ? 1 : 0;
            repeated += days[i] == days[i - 1] ? 1 : 0;
        }
        steps += days.empty() ? 0 : days.size() - 1;
        consistent += std::max(up, down);
        forward = forward || up > down;
        backward = backward || down > up;
    }
    if (steps == 0) {
        return 1;  // one date each: forward, as files go
    }
    consistent += std::min<std::size_t>(repeated, 1);
    if (static_cast<double>(consistent) < kConsistentShare * static_cast<double>(steps)) {
        return 0;
    }
    return backward ? (forward ? kMixedOrder : -1) : 1;
}

long MedianStep(const std::vector<std::vector<long>>& lists) {
    std::vector<long> steps;
    for (const std::vector<long>& days : lists) {
        for (std::size_t i = 1; i < days.size(); ++i) {
            steps.push_back(std::labs(days[i] - days[i - 1]));
        }
    }
    if (steps.empty()) {
        return 0;
    }
    std::nth_element(steps.begin(), steps.begin() + static_cast<std::ptrdiff_t>(steps.size() / 2),
                     steps.end());
    return steps[steps.size() / 2];
}

// A date format that reads the dates of a column, and how well it fits.
struct DateCandidate {
    DateFormat format;
    std::int64_t problems;  // the dates it cannot read
    std::size_t lengthMismatch;
    long medianStep;
    int order;
    long first;
    long last;
    bool dayFirst;       // the day comes first, as European sources write dates
    bool later = false;  // put after those that read alike: the month first in a European file
};

std::string DayText(long day) {
    std::int16_t y = 0, m = 0, d = 0;
    msdb::DayNumberToYmd(static_cast<msdb::DayNumber>(day), &y, &m, &d);
    return msdb::IsoDateText({1900 + y, m, d});
}

class Detector {
public:
    Detector(std::span<const std::string> lines, std::optional<char> delimiter)
        : lines_(lines), only_(delimiter) {
        for (const std::string& line : lines) {
            text_ += line;
            text_ += '\n';
        }
    }

    DetectionResult Run() {
        if (!ChooseDelimiter() || !FindData() || !FindFields() || !Verify()) {
            result_.found = false;
            return result_;
        }
        // Each reason, and each thing left undecided, is a sentence of its own.
        for (std::vector<std::string>* texts : {&result_.reasons, &result_.undecided}) {
            for (std::string& text : *texts) {
                text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
                if (text.back() != '.') {
                    text += '.';
                }
            }
        }
        result_.found = true;
        result_.confidence =
            result_.undecided.empty() && !doubtful_ ? Confidence::kHigh : Confidence::kLow;
        return result_;
    }

private:
    DetectedLayout& layout() { return result_.layout; }
    const DetectedLayout& layout() const { return result_.layout; }

    bool Fail(std::string why) {
        result_.failure = std::move(why);
        return false;
    }

    void Doubt(std::string what) {
        doubtful_ = true;
        result_.reasons.push_back(std::move(what));
    }

    bool ChooseDelimiter() {
        double best = -1.0;
        for (char delimiter : kDelimiters) {
            if (only_ && *only_ != delimiter) {
                continue;
            }
            SplitLines split = Split(lines_, delimiter);
            const double score = CleanScore(split);
            if (score > best) {
                best = score;
                layout().delimiter = delimiter;
                split_ = std::move(split);
            }
        }
        if (best < 0.0) {
            return Fail(only_ ? "the " + DelimiterName(*only_) +
                                    " does not split the lines into a steady number of fields"
                              : "no delimiter (comma, tab, semicolon, space) splits the lines "
                                "into a steady number of two or more fields");
        }
        // Lines of more fields than are read split into that many: say how many they hold.
        std::string fieldCount = std::to_string(split_.modal) + " fields";
        if (split_.modal == kFieldSlotCount) {
            std::size_t most = 0;
            for (const std::string& line : lines_) {
                most = std::max(
                    most, kFieldSlotCount + FieldsPastTheRead(line, layout().delimiter).size());
            }
            if (most > kFieldSlotCount) {
                fieldCount = "up to " + std::to_string(most) + " fields, of which the first " +
                             std::to_string(kFieldSlotCount) + " are read";
            }
        }
        result_.reasons.push_back("the delimiter is a " + DelimiterName(layout().delimiter) +
                                  ": it splits " + std::to_string(split_.consistent) + " of " +
                                  std::to_string(split_.nonBlank) + " lines into " + fieldCount);
        if (layout().delimiter != ',') {
            // A number with a comma or a point in it, and one that reads only with that one as
            // the decimal separator: "10,5" and "10.5" do, "1.200" and "1,200" also read as
            // thousands with the other.
            bool comma = false;
            bool point = false;
            bool onlyComma = false;
            bool onlyPoint = false;
            for (const std::vector<std::string>& fields : split_.fields) {
                for (const std::string& field : fields) {
                    if (field.find(',') != std::string::npos && IsNumber(field, ',')) {
                        comma = true;
                        onlyComma = onlyComma || !IsNumber(field, '.');
                    }
                    if (field.find('.') != std::string::npos && IsNumber(field, '.')) {
                        point = true;
                        onlyPoint = onlyPoint || !IsNumber(field, ',');
                    }
                }
            }
            if (comma && (!point || (onlyComma && !onlyPoint))) {
                layout().decimalComma = true;
                result_.reasons.push_back(
                    point ? "numbers are written with a decimal comma (10,5) and points between "
                            "thousands (1.200)"
                          : "numbers are written with a decimal comma (10,5)");
            } else if (comma && !(onlyPoint && !onlyComma)) {
                Doubt("numbers are written with both a decimal point and a decimal comma");
            }
        }
        point_ = layout().decimalComma ? ',' : '.';
        return true;
    }

    bool IsDataLine(const std::vector<std::string>& fields) const {
        const auto numbers = std::count_if(fields.begin(), fields.end(),
                                           [this](const auto& f) { return IsNumber(f, point_); });
        const auto dates = std::count_if(fields.begin(), fields.end(), [this](const auto& f) {
            return !IsNumber(f, point_) && LooksLikeDate(f);
        });
        return fields.size() == split_.modal && numbers >= 1 && numbers + dates >= 2;
    }

    bool FindData() {
        const auto& all = split_.fields;
        auto first = std::find_if(all.begin(), all.end(),
                                  [this](const auto& fields) { return IsDataLine(fields); });
        if (first == all.end()) {
            return Fail("no line of " + std::to_string(split_.modal) +
                        " fields holds a date and a number");
        }
        const int skip = static_cast<int>(first - all.begin());
        if (skip > limits::kMaxSkipRows) {
            return Fail("the first line of prices is line " + std::to_string(skip + 1) +
                        ", but at most " + std::to_string(limits::kMaxSkipRows) +
                        " lines can be skipped");
        }
        layout().skipRows = skip;
        for (auto at = first; at != all.end(); ++at) {
            if (IsDataLine(*at)) {
                data_.push_back(&*at);
            }
        }
        for (auto at = first; at != all.begin();) {
            --at;
            if (at->size() >= 2) {
                heading_ = *at;
                beyond_ = FieldsPastTheRead(lines_[static_cast<std::size_t>(at - all.begin())],
                                            layout().delimiter);
                break;
            }
        }
        if (skip == 0) {
            result_.reasons.push_back("there is no heading: line 1 holds prices");
        } else {
            result_.reasons.push_back("the prices begin on line " + std::to_string(skip + 1) +
                                      ", so " + std::to_string(skip) +
                                      (skip == 1 ? " line is" : " lines are") + " skipped");
        }
        return true;
    }

    bool NumericColumn(std::size_t column) const {
        return std::all_of(data_.begin(), data_.end(),
                           [&](const auto* fields) { return IsNumber((*fields)[column], point_); });
    }

    // The values of `column` that are not numbers, when they are few: a column that a heading
    // names may hold a dash or "n/a" on a line or two, which are then problems of those lines.
    // Nothing when most of them are not numbers.
    std::optional<std::size_t> NotNumbersAmongFew(std::size_t column) const {
        const auto numbers = static_cast<std::size_t>(
            std::count_if(data_.begin(), data_.end(),
                          [&](const auto* fields) { return IsNumber((*fields)[column], point_); }));
        if (numbers == 0 ||
            static_cast<double>(numbers) < kConsistentShare * static_cast<double>(data_.size())) {
            return std::nullopt;
        }
        return data_.size() - numbers;
    }

    std::vector<double> Values(std::size_t column) const {
        std::vector<double> values;
        for (const auto* fields : data_) {
            values.push_back(NumberOf((*fields)[column], point_).value_or(0.0));
        }
        return values;
    }

    bool WholeColumn(std::size_t column) const {
        std::vector<double> values = Values(column);
        return std::all_of(values.begin(), values.end(),
                           [](double v) { return v == std::floor(v) && v >= 0; });
    }

    // Every format that reads each date of `column` (from 0) as a date that exists, in one order:
    // with a `symbol` column (from 0), in one order for each symbol.
    std::vector<DateCandidate> DateCandidates(std::size_t column,
                                              std::optional<std::size_t> symbol) const {
        std::vector<DateCandidate> candidates;
        ConversionSettings settings;
        settings.delimiter = layout().delimiter;
        settings.decimalComma = layout().decimalComma;
        settings.skipOn = layout().skipRows > 0;
        settings.skipRows = layout().skipRows;
        for (PriceField field : msdb::kPriceFields) {
            settings.fields[field].on = field == PriceField::kDate;
        }
        settings.fields[PriceField::kDate].column = static_cast<int>(column) + 1;
        std::string text = (*data_.front())[column].substr(0, msdb::kMaxDateText);
        const std::size_t length = std::min(text.find_first_of(" T"), text.size());
        for (int code = 1; code <= msdb::kDateFormatCount; ++code) {
            settings.dateFormat = static_cast<DateFormat>(code);
            Reading reading = ReadWith(text_, settings, symbol ? static_cast<int>(*symbol) + 1 : 0,
                                       layout().columns.series);
            // A format that reads most of the dates: the others are problems of the proposal.
            const auto read = static_cast<double>(reading.records.size());
            if (reading.records.empty() ||
                static_cast<double>(reading.problems.count()) > (1.0 - kConsistentShare) * read) {
                continue;
            }
            const std::vector<std::vector<long>> lists =
                DaysBySecurity(Days(reading), reading.keys);
            if (lists.empty()) {
                continue;
            }
            const int order = Order(lists);
            if (order == 0) {
                continue;
            }
            // The range the days span, whatever order a bad line or two puts them in.
            long first = lists.front().front();
            long last = first;
            for (const std::vector<long>& days : lists) {
                const auto [low, high] = std::minmax_element(days.begin(), days.end());
                first = std::min(first, *low);
                last = std::max(last, *high);
            }
            if (order == -1) {
                std::swap(first, last);
            }
            const std::size_t formatLength = msdb::DateFormatLength(settings.dateFormat);
            candidates.push_back(
                {settings.dateFormat, reading.problems.count(),
                 formatLength > length ? formatLength - length : length - formatLength,
                 MedianStep(lists), order, first, last,
                 msdb::DateFormatName(settings.dateFormat).starts_with("D")});
        }
        // Where the steps do not tell, files with a decimal comma or dates with points (as
        // European sources write them) put the day first.
        const bool european = layout().decimalComma || text.find('.') != std::string::npos;
        for (DateCandidate& candidate : candidates) {
            candidate.later = european && !candidate.dayFirst;
        }
        std::stable_sort(candidates.begin(), candidates.end(), [](const auto& a, const auto& b) {
            return std::tie(a.problems, a.lengthMismatch, a.medianStep, a.later) <
                   std::tie(b.problems, b.lengthMismatch, b.medianStep, b.later);
        });
        return candidates;
    }

    bool ChooseDateFormat(std::size_t column, std::vector<DateCandidate> candidates) {
        const DateCandidate& best = candidates.front();
        layout().dateFormat = best.format;
        layout().fields[PriceField::kDate] = {true, static_cast<int>(column) + 1};
        const std::string name(msdb::DateFormatName(best.format));
        constexpr msdb::CalendarDay kExample{1999, 8, 30};
        result_.reasons.push_back(
            "the dates are in column " + std::to_string(column + 1) + ", read as " + name +
            ", in which 30 August 1999 is " + msdb::DateText(kExample, best.format) + " (" +
            DayText(best.first) + " to " + DayText(best.last) +
            (best.order == 1    ? ", oldest first)"
             : best.order == -1 ? ", newest first: written oldest first)"
                                : ", newest first for some symbols: each written oldest first)"));
        std::vector<std::string> others;
        bool dayFirstDecides = false;  // the steps do not set one of the others apart
        for (std::size_t i = 1; i < candidates.size(); ++i) {
            const DateCandidate& other = candidates[i];
            if (other.lengthMismatch == best.lengthMismatch && other.problems == best.problems) {
                others.emplace_back(msdb::DateFormatName(other.format));
                dayFirstDecides = dayFirstDecides || other.medianStep == best.medianStep;
                // Nothing in the sample sets this one apart: the proposal is the first listed.
                result_.dateFormatGuessed =
                    result_.dateFormatGuessed ||
                    (other.medianStep == best.medianStep && other.later == best.later);
            }
        }
        if (!others.empty()) {
            std::string list;
            for (const std::string& other : others) {
                list += (list.empty() ? "" : ", ") + other;
            }
            std::string swapped = name;
            const std::size_t dd = swapped.find("DD");
            const std::size_t mm = swapped.find("MM");
            if (dd != std::string::npos && mm != std::string::npos) {
                swapped.replace(dd, 2, "MM");
                swapped.replace(mm, 2, "DD");
            }
            const bool dayOrMonth =
                std::find(others.begin(), others.end(), swapped) != others.end();
            Undecided(
                DetectionResult::About::kDateFormat,
                "the dates read as " + name + " and also as " + list + ": " +
                    (dayOrMonth ? "no day above 12 in the sample, so day and month cannot be told "
                                  "apart; "
                                : "") +
                    (result_.dateFormatGuessed
                         ? name + " is a guess: nothing else in the sample sets them apart"
                     : dayFirstDecides
                         ? name + " puts the day first, as files with a decimal comma or dates "
                                  "with points do"
                         : name + " keeps the steps between the dates smallest"));
        }
        return true;
    }

    bool IsOtherColumn(std::size_t column) const {
        const OtherColumns& c = layout().columns;
        const int at = static_cast<int>(column) + 1;
        return c.symbol == at || c.name == at || c.period == at || c.time == at || c.series == at;
    }

    // Takes the columns the heading names that are not prices, the first of each; returns them as
    // a reason lists them, empty when there are none.
    std::string NamedOtherColumns() {
        std::string list;
        for (std::size_t column = 0; column < heading_.size(); ++column) {
            const std::string key = HeadingKey(heading_[column]);
            for (const OtherName& name : kOtherNames) {
                int& taken = layout().columns.*name.column;
                if (key == name.key && taken == 0) {
                    taken = static_cast<int>(column) + 1;
                    list += (list.empty() ? "" : ", ") + std::string(name.what) + " in column " +
                            std::to_string(column + 1) + " ('" + heading_[column] + "')";
                }
            }
        }
        return list;
    }

    // The column that tells apart the securities of a file without a heading that names it: the
    // days of `dateColumn` repeat, and the column holds short upper-case codes that repeat too,
    // no code on two lines of the same date. The first such column, or none.
    std::optional<std::size_t> SymbolColumnByValues(std::size_t dateColumn) const {
        std::unordered_set<std::string> dates;
        for (const auto* fields : data_) {
            dates.insert((*fields)[dateColumn]);
        }
        if (dates.size() == data_.size()) {
            return std::nullopt;
        }
        for (std::size_t column = 0; column < split_.modal; ++column) {
            if (column == dateColumn || IsOtherColumn(column)) {
                continue;
            }
            std::unordered_set<std::string> codes;
            std::set<std::pair<std::string, std::string>> codeDays;
            bool allCodes = true;
            for (const auto* fields : data_) {
                const std::string& code = (*fields)[column];
                allCodes = allCodes && IsSymbolCode(code) && !IsNumber(code, point_);
                codes.insert(code);
                codeDays.emplace(code, (*fields)[dateColumn]);
            }
            if (allCodes && codes.size() >= 2 && codes.size() < data_.size() &&
                codeDays.size() == data_.size()) {
                return column;
            }
        }
        return std::nullopt;
    }

    // Daily, weekly or monthly prices, each of a day: a period column that holds another period,
    // or a time column another time than midnight, is a doubt.
    void CheckPeriodsAndTimes() {
        const OtherColumns& c = layout().columns;
        for (const auto* fields : data_) {
            std::string refusal;
            if (c.period != 0 &&
                !ReadPeriod((*fields)[static_cast<std::size_t>(c.period - 1)], &refusal)) {
                Doubt("the column headed '" + heading_[static_cast<std::size_t>(c.period - 1)] +
                      "' holds '" + (*fields)[static_cast<std::size_t>(c.period - 1)] +
                      "', which is not D, W or M");
                return;
            }
            const std::string& time =
                c.time != 0 ? (*fields)[static_cast<std::size_t>(c.time - 1)] : "0";
            if (!IsMidnight(time) && time != "0") {
                Doubt("the column headed '" + heading_[static_cast<std::size_t>(c.time - 1)] +
                      "' holds the time " + time +
                      ", not midnight: prices within a day are not converted");
                return;
            }
        }
    }

    // Exchanges list a symbol in several series (EQ, BE, BL, N1, ...), which may trade on one
    // day: those lines cannot all be the symbol's records. When the sample has such a day, only
    // the lines of the series most lines have are read; else every line is, and the choice is
    // left to the user.
    void ChooseSeries(std::size_t dateColumn) {
        const OtherColumns& c = layout().columns;
        if (c.series == 0 || c.symbol == 0) {
            return;
        }
        const auto series = static_cast<std::size_t>(c.series - 1);
        const auto symbol = static_cast<std::size_t>(c.symbol - 1);
        std::vector<std::pair<std::string, std::size_t>> counts;  // in the order first seen
        std::map<std::pair<std::string, std::string>, std::string> seriesOf;  // symbol, day
        std::optional<std::string> twice;  // a symbol and day listed in two series
        for (const auto* fields : data_) {
            const std::string one = NormalizeSymbol((*fields)[series]);
            auto counted = std::find_if(counts.begin(), counts.end(),
                                        [&](const auto& count) { return count.first == one; });
            if (counted == counts.end()) {
                counts.emplace_back(one, 0);
                counted = counts.end() - 1;
            }
            ++counted->second;
            const auto [at, added] =
                seriesOf.try_emplace({(*fields)[symbol], (*fields)[dateColumn]}, one);
            if (!added && at->second != one && !twice) {
                twice = "'" + (*fields)[symbol] + "' on " + (*fields)[dateColumn] + " in " +
                        at->second + " and " + one;
            }
        }
        if (counts.size() < 2) {
            return;
        }
        if (!twice) {
            std::string list;
            for (const auto& [one, count] : counts) {
                list += (list.empty() ? "" : ", ") + one;
            }
            Undecided(
                DetectionResult::About::kSeries,
                "the column headed '" + heading_[series] + "' holds several series (" + list +
                    "), all of them read: a symbol listed in two on one day is a problem, and "
                    "--series picks the series to read");
            return;
        }
        const auto most =
            std::max_element(counts.begin(), counts.end(),
                             [](const auto& a, const auto& b) { return a.second < b.second; });
        layout().series = {most->first};
        result_.reasons.push_back("a symbol comes in two series on one day (" + *twice +
                                  "): only the lines of " + most->first +
                                  ", the series of most lines, are read");
    }

    // Without a heading that names it, the column right after the dates is the time when it
    // holds only midnight, as MetaStock ASCII files write their daily prices.
    void FindMidnights(std::size_t dateColumn) {
        const std::size_t column = dateColumn + 1;
        if (layout().columns.time != 0 || column >= split_.modal || IsOtherColumn(column) ||
            !std::all_of(data_.begin(), data_.end(),
                         [&](const auto* fields) { return IsMidnight((*fields)[column]); })) {
            return;
        }
        layout().columns.time = static_cast<int>(column) + 1;
        result_.reasons.push_back("column " + std::to_string(column + 1) +
                                  " is the time: it holds only midnight (" +
                                  (*data_.front())[column] + "), as daily prices are written");
    }

    bool FindFields() {
        PerField<std::optional<std::size_t>> named;
        PerField<int> rank;
        for (std::size_t column = 0; column < heading_.size(); ++column) {
            const std::string key = HeadingKey(heading_[column]);
            for (PriceField field : msdb::kPriceFields) {
                std::optional<int> r = HeadingRank(key, field);
                if (r && (!named[field] || *r < rank[field])) {
                    named[field] = column;
                    rank[field] = *r;
                }
            }
        }
        const std::string namedOthers = NamedOtherColumns();
        // The date column.
        std::vector<std::size_t> dateColumns;
        if (named[PriceField::kDate]) {
            dateColumns.push_back(*named[PriceField::kDate]);
        } else {
            for (std::size_t column = 0; column < split_.modal; ++column) {
                if (!IsOtherColumn(column)) {
                    dateColumns.push_back(column);
                }
            }
        }
        std::optional<std::size_t> dateColumn;
        for (std::size_t column : dateColumns) {
            std::optional<std::size_t> symbol;
            if (layout().columns.symbol != 0) {
                symbol = static_cast<std::size_t>(layout().columns.symbol - 1);
            } else {
                symbol = SymbolColumnByValues(column);
            }
            std::vector<DateCandidate> candidates = DateCandidates(column, symbol);
            if (!candidates.empty()) {
                dateColumn = column;
                ChooseDateFormat(column, std::move(candidates));
                if (symbol && layout().columns.symbol == 0) {
                    layout().columns.symbol = static_cast<int>(*symbol) + 1;
                    result_.reasons.push_back(
                        "column " + std::to_string(*symbol + 1) +
                        " is the symbol: the same days come again on other lines, and its short "
                        "upper-case codes tell them apart, no code having a day twice");
                }
                break;
            }
        }
        if (!dateColumn) {
            return Fail(named[PriceField::kDate]
                            ? "the column headed '" + heading_[*named[PriceField::kDate]] +
                                  "' does not read as dates in one order in any date format"
                            : "no column reads as dates in one order in any date format");
        }
        if (!namedOthers.empty()) {
            result_.reasons.push_back("the heading names the " + namedOthers);
            CheckPeriodsAndTimes();
            ChooseSeries(*dateColumn);
        }
        FindMidnights(*dateColumn);
        for (PriceField field : msdb::kPriceFields) {
            if (field != PriceField::kDate) {
                layout().fields[field] = {false, limits::kFirstColumn};
            }
        }
        if (named[PriceField::kClose]) {
            return NamedFields(named);
        }
        if (!heading_.empty()) {
            Doubt("the heading names no close column: the columns are taken in the usual order");
        }
        if (!OrderedFields(*dateColumn)) {
            return false;
        }
        NoteFieldsPastTheRead();
        return true;
    }

    // The fields that the heading names only in columns past those read, which are therefore
    // not stored (the exchanges' unified files give the volume in column 25).
    void NoteFieldsPastTheRead() {
        std::string list;
        for (PriceField field : msdb::kPriceFields) {
            if (field == PriceField::kDate || layout().fields[field].on) {
                continue;
            }
            std::optional<std::size_t> best;
            int bestRank = 0;
            for (std::size_t i = 0; i < beyond_.size(); ++i) {
                const std::optional<int> rank = HeadingRank(HeadingKey(beyond_[i]), field);
                if (rank && (!best || *rank < bestRank)) {
                    best = i;
                    bestRank = *rank;
                }
            }
            if (best) {
                list += (list.empty() ? "" : " and ") + std::string(FieldName(field)) +
                        " in column " + std::to_string(kFieldSlotCount + *best + 1) + " ('" +
                        beyond_[*best] + "')";
            }
        }
        if (!list.empty()) {
            result_.reasons.push_back("the heading names the " + list + ", but only the first " +
                                      std::to_string(kFieldSlotCount) +
                                      " columns are read: not stored");
        }
    }

    void Assign(PriceField field, std::size_t column) {
        layout().fields[field] = {true, static_cast<int>(column) + 1};
    }

    bool NamedFields(const PerField<std::optional<std::size_t>>& named) {
        std::string list;
        for (PriceField field : msdb::kPriceFields) {
            if (field == PriceField::kDate || !named[field]) {
                continue;
            }
            const std::size_t column = *named[field];
            const std::optional<std::size_t> notNumbers = NotNumbersAmongFew(column);
            if (!notNumbers) {
                if (field == PriceField::kClose) {
                    return Fail("the column headed '" + heading_[column] +
                                "' does not hold numbers");
                }
                Doubt("the column headed '" + heading_[column] +
                      "' does not hold numbers on every line: " + std::string(FieldName(field)) +
                      " is not stored");
                continue;
            }
            if (*notNumbers > 0) {
                Doubt("the column headed '" + heading_[column] + "' holds " +
                      std::to_string(*notNumbers) + (*notNumbers == 1 ? " value" : " values") +
                      " that " + (*notNumbers == 1 ? "is" : "are") +
                      " not a number in the sample: a problem of the line that holds it");
            }
            Assign(field, column);
            list += (list.empty() ? "" : ", ") + std::string(FieldName(field)) + " in column " +
                    std::to_string(column + 1) + " ('" + heading_[column] + "')";
        }
        result_.reasons.push_back("the heading names the " + list);
        std::string left;
        for (std::size_t column = 0; column < heading_.size(); ++column) {
            bool used = false;
            for (PriceField field : msdb::kPriceFields) {
                used = used || (layout().fields[field].on &&
                                layout().fields[field].column == static_cast<int>(column) + 1);
            }
            if (!used && !IsOtherColumn(column) && !heading_[column].empty()) {
                left += (left.empty() ? "'" : ", '") + heading_[column] + "'";
            }
        }
        if (!left.empty()) {
            result_.reasons.push_back(
                std::string(left.find(',') == std::string::npos ? "the column " : "the columns ") +
                left + (left.find(',') == std::string::npos ? " is" : " are") + " not stored");
        }
        NoteFieldsPastTheRead();
        CheckPrices();
        return true;
    }

    bool OrderedFields(std::size_t dateColumn) {
        std::vector<std::size_t> numeric;
        for (std::size_t column = dateColumn + 1; column < split_.modal; ++column) {
            if (NumericColumn(column) && !IsOtherColumn(column)) {
                numeric.push_back(column);
            }
        }
        const bool noneAfter = numeric.empty();
        for (std::size_t column = 0; noneAfter && column < dateColumn; ++column) {
            if (NumericColumn(column) && !IsOtherColumn(column)) {
                numeric.push_back(column);
            }
        }
        if (numeric.empty()) {
            return Fail("no column besides the dates holds numbers on every line");
        }
        std::string how;
        if (numeric.size() == 1) {
            Assign(PriceField::kClose, numeric[0]);
            how = "the one column of numbers is the close";
        } else if (numeric.size() == 2) {
            Assign(PriceField::kClose, numeric[0]);
            how = "the first column of numbers is the close";
            if (WholeColumn(numeric[1])) {
                Assign(PriceField::kVolume, numeric[1]);
                how += ", the second (whole numbers) the volume";
            } else {
                Undecided(DetectionResult::About::kColumns,
                          "column " + std::to_string(numeric[1] + 1) +
                              " is neither a price nor a volume: not stored");
            }
        } else if (numeric.size() == 3 ||
                   (numeric.size() == 4 && WholeColumn(numeric[3]) &&
                    !PricesHold(numeric[0], numeric[1], numeric[2], numeric[3]))) {
            Assign(PriceField::kHigh, numeric[0]);
            Assign(PriceField::kLow, numeric[1]);
            Assign(PriceField::kClose, numeric[2]);
            how = "the columns of numbers are high, low, close";
            if (numeric.size() == 4) {
                Assign(PriceField::kVolume, numeric[3]);
                how += ", volume";
            }
        } else {
            Assign(PriceField::kOpen, numeric[0]);
            Assign(PriceField::kHigh, numeric[1]);
            Assign(PriceField::kLow, numeric[2]);
            Assign(PriceField::kClose, numeric[3]);
            how = "the columns of numbers are open, high, low, close";
            std::size_t next = 4;
            for (PriceField field : {PriceField::kVolume, PriceField::kOpenInterest}) {
                while (next < numeric.size() && !WholeColumn(numeric[next])) {
                    Undecided(DetectionResult::About::kColumns,
                              "column " + std::to_string(numeric[next] + 1) +
                                  " holds prices of no known field: not stored");
                    ++next;
                }
                if (next < numeric.size()) {
                    Assign(field, numeric[next++]);
                    how += field == PriceField::kVolume ? ", volume" : ", open interest";
                }
            }
        }
        result_.reasons.push_back(how + ", in the usual order");
        CheckPrices();
        return true;
    }

    // True when on every line high is the largest and low the smallest of the prices.
    bool PricesHold(std::optional<std::size_t> open, std::size_t high, std::size_t low,
                    std::size_t close) const {
        std::vector<double> h = Values(high), l = Values(low), c = Values(close);
        std::vector<double> o = open ? Values(*open) : c;
        for (std::size_t i = 0; i < h.size(); ++i) {
            const auto& fields = *data_[i];
            if (!IsNumber(fields[high], point_) || !IsNumber(fields[low], point_) ||
                !IsNumber(fields[close], point_) || (open && !IsNumber(fields[*open], point_))) {
                continue;  // a problem of its line
            }
            if (h[i] < l[i] || h[i] < o[i] || h[i] < c[i] || l[i] > o[i] || l[i] > c[i]) {
                return false;
            }
        }
        return true;
    }

    void CheckPrices() {
        const PerField<FieldSetting>& f = layout().fields;
        if (f[PriceField::kHigh].on && f[PriceField::kLow].on) {
            std::optional<std::size_t> open;
            if (f[PriceField::kOpen].on) {
                open = static_cast<std::size_t>(f[PriceField::kOpen].column - 1);
            }
            if (PricesHold(open, static_cast<std::size_t>(f[PriceField::kHigh].column - 1),
                           static_cast<std::size_t>(f[PriceField::kLow].column - 1),
                           static_cast<std::size_t>(f[PriceField::kClose].column - 1))) {
                result_.reasons.push_back("high is never below low, open or close");
            } else {
                Doubt("on some lines high is below low, open or close");
            }
        }
        if (f[PriceField::kVolume].on &&
            !WholeColumn(static_cast<std::size_t>(f[PriceField::kVolume].column - 1))) {
            Doubt("the volume is not a whole number on every line");
        }
    }

    // Reads the sample with the proposal, as the conversion will: a date out of its security's
    // order is a problem too.
    bool Verify() {
        ConversionSettings settings;
        ApplyLayout(layout(), &settings);
        InputParser parser(settings, std::make_unique<msdb::MemoryFile>(text_));
        std::map<std::string, RecordOrder> orders;  // by symbol; one for a file without
        std::size_t records = 0;
        for (;;) {
            bool got = false;
            if (!parser.NextLine(&got).ok() || !got) {
                break;
            }
            const PriceRecord record = parser.ReadRecord();
            ++records;
            RecordOrder& order =
                orders[settings.columns.symbol == 0
                           ? std::string()
                           : NormalizeSymbol(parser.ColumnText(settings.columns.symbol))];
            if (!parser.Usable()) {
                order.LeaveOut();
            } else if (!parser.OutOfRange()) {
                order.Take(parser, record);
            }
        }
        InputProblems problems = parser.problems();
        for (const auto& [symbol, order] : orders) {
            ScanResult scan;
            order.Finish(&problems, &scan);
        }
        if (!problems.empty()) {
            const InputProblem& first = problems.first().front();
            Doubt("reading the first " + std::to_string(lines_.size()) +
                  " lines with these settings finds " + std::to_string(problems.count()) +
                  (problems.count() == 1 ? " problem" : " problems") + ", the first on line " +
                  std::to_string(first.line) + ": " + first.field + " " + first.what);
        } else {
            result_.reasons.push_back("these settings read all " + std::to_string(records) +
                                      " price lines of the sample without a problem");
        }
        return true;
    }

    void Undecided(DetectionResult::About about, std::string what) {
        result_.undecided.push_back(std::move(what));
        result_.undecidedAbout.push_back(about);
    }

    std::span<const std::string> lines_;
    std::optional<char> only_;
    std::string text_;
    SplitLines split_;
    char point_ = '.';
    std::vector<const std::vector<std::string>*> data_;
    std::vector<std::string> heading_;
    std::vector<std::string> beyond_;  // the heading's names past the columns read
    bool doubtful_ = false;
    DetectionResult result_;
};

}  // namespace

std::string DelimiterName(char delimiter) {
    switch (delimiter) {
        case '\t':
            return "tab";
        case ' ':
            return "space";
        case ';':
            return "semicolon";
        default:
            return "comma";
    }
}

std::vector<std::string> SplitSampleLines(std::string_view text) {
    std::vector<std::string> lines;
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.remove_prefix(3);
    }
    while (!text.empty() && lines.size() < kDetectionLines) {
        const std::size_t end = std::min(text.find_first_of("\r\n"), text.size());
        lines.emplace_back(text.substr(0, end));
        std::size_t next = end;
        if (next < text.size() && text[next] == '\r') {
            ++next;
        }
        if (next < text.size() && text[next] == '\n' && (next == end || text[end] == '\r')) {
            ++next;
        }
        text.remove_prefix(next);
    }
    return lines;
}

msdb::Status ReadSampleLines(msdb::FileSystem& fs, const std::string& path,
                             std::vector<std::string>* lines, std::string* notText) {
    lines->clear();
    notText->clear();
    std::unique_ptr<msdb::ReadableFile> file;
    if (msdb::Status s = fs.OpenForRead(path, &file); !s.ok()) {
        return s;
    }
    LineReader reader(std::move(file));
    while (lines->size() < kDetectionLines) {
        std::string_view line;
        bool got = false;
        if (msdb::Status s = reader.Next(&line, &got); !s.ok()) {
            return s;
        }
        if (!got) {
            break;
        }
        if (lines->empty()) {
            std::string_view mark = ByteOrderMarkOfNonText(line);
            if (!mark.empty()) {
                *notText = "it is written in " + std::string(mark) + ": save it as plain text";
                return msdb::Status::Ok();
            }
        }
        if (reader.HoldsNul()) {
            *notText = "it holds a NUL byte (line " + std::to_string(reader.LineNumber()) + ")";
            return msdb::Status::Ok();
        }
        lines->emplace_back(line);
    }
    return msdb::Status::Ok();
}

DetectionResult DetectLayout(std::span<const std::string> lines, std::optional<char> delimiter) {
    if (lines.size() > kDetectionLines) {
        lines = lines.first(kDetectionLines);
    }
    return Detector(lines, delimiter).Run();
}

DetectionResult DetectLayoutOfText(std::string_view text) {
    const std::vector<std::string> lines = SplitSampleLines(text);
    return DetectLayout(lines);
}

void ApplyLayout(const DetectedLayout& layout, ConversionSettings* settings) {
    settings->delimiter = layout.delimiter;
    settings->decimalComma = layout.decimalComma;
    settings->skipOn = layout.skipRows > 0;
    settings->skipRows = layout.skipRows;
    settings->dateFormat = layout.dateFormat;
    settings->fields = layout.fields;
    settings->columns = layout.columns;
    settings->series = layout.series;
}

}  // namespace engine
