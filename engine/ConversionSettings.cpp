#include "engine/ConversionSettings.h"

#include <algorithm>
#include <array>

namespace engine {
namespace {

std::string TooLongMessage(std::size_t maximum) {
    // The limits count bytes: a letter outside English takes two or more of them.
    return "Please enter no more than " + std::to_string(maximum) +
           " bytes (letters outside A to Z take two or more).";
}

bool IsBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// The order in which the settings dialog reads its column controls.
constexpr std::array<PriceField, msdb::kPriceFieldCount> kDialogColumnOrder = {
    PriceField::kDate,  PriceField::kOpen,   PriceField::kHigh,        PriceField::kLow,
    PriceField::kClose, PriceField::kVolume, PriceField::kOpenInterest};

// The order in which the duplicate check takes the columns: date and close first.
constexpr std::array<PriceField, msdb::kPriceFieldCount> kDuplicateCheckOrder = {
    PriceField::kDate, PriceField::kClose,  PriceField::kOpen,        PriceField::kHigh,
    PriceField::kLow,  PriceField::kVolume, PriceField::kOpenInterest};

std::string Lower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
    });
    return lower;
}

// An intraday time frame as charting programs name it: a word for ticks, seconds, minutes or
// hours, or a number of minutes, alone or followed by such a word ("5", "15min", "1h").
bool IsIntraday(std::string_view lower) {
    static constexpr std::string_view kUnits[] = {
        "i",   "intraday", "t",      "tick",    "ticks", "s",  "sec",  "second", "seconds", "m",
        "min", "mins",     "minute", "minutes", "h",     "hr", "hour", "hours",  "hourly"};
    const std::size_t digits = lower.find_first_not_of("0123456789");
    if (digits == std::string_view::npos) {
        return !lower.empty();
    }
    // "m" alone is monthly, and read before this; after a number it counts minutes.
    const std::string_view unit = lower.substr(digits);
    return std::find(std::begin(kUnits), std::end(kUnits), unit) != std::end(kUnits);
}

}  // namespace

std::optional<Period> ReadPeriod(std::string_view text, std::string* refusal) {
    static constexpr std::string_view kAllowed =
        "must be D, W or M (or Daily, Weekly, Monthly, in any letter case)";
    const std::string lower = Lower(text);
    if (lower == "d" || lower == "daily") {
        return Period::kDaily;
    }
    if (lower == "w" || lower == "weekly") {
        return Period::kWeekly;
    }
    if (lower == "m" || lower == "monthly") {
        return Period::kMonthly;
    }
    const std::string quoted = "'" + std::string(text) + "'";
    *refusal = IsIntraday(lower)
                   ? quoted +
                         " is an intraday period, whose prices take another record layout (with "
                         "a time field) that Korvex does not write; the period " +
                         std::string(kAllowed)
                   : std::string(kAllowed) + ", not " + quoted;
    return std::nullopt;
}

std::optional<SettingsProblem> CheckColumn(PriceField field, int column) {
    if (column >= limits::kFirstColumn && column <= limits::kLastColumn) {
        return std::nullopt;
    }
    return SettingsProblem{SettingsField::kColumn,
                           ProblemKind::kOutOfRange,
                           field,
                           limits::kFirstColumn,
                           limits::kLastColumn,
                           "Please enter a whole number from " +
                               std::to_string(limits::kFirstColumn) + " to " +
                               std::to_string(limits::kLastColumn) + "."};
}

std::optional<SettingsProblem> CheckSkipRows(int rows) {
    if (rows >= 0 && rows <= limits::kMaxSkipRows) {
        return std::nullopt;
    }
    return SettingsProblem{
        SettingsField::kSkipRows,
        ProblemKind::kOutOfRange,
        PriceField::kDate,
        0,
        limits::kMaxSkipRows,
        "Please enter a whole number from 0 to " + std::to_string(limits::kMaxSkipRows) + "."};
}

std::optional<SettingsProblem> CheckLength(SettingsField field, std::string_view text) {
    std::size_t maximum = field == SettingsField::kName         ? limits::kMaxNameLength
                          : field == SettingsField::kDirectory  ? limits::kMaxDirectoryLength
                          : field == SettingsField::kDateFormat ? limits::kMaxDateFormatText
                                                                : limits::kMaxSymbolLength;
    const bool characters = field == SettingsField::kName || field == SettingsField::kSymbol;
    // A character is one byte of UTF-8 that does not continue another.
    const std::size_t length =
        characters ? static_cast<std::size_t>(std::count_if(
                         text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }))
                   : text.size();
    if (length <= maximum) {
        return std::nullopt;
    }
    return SettingsProblem{
        field,
        ProblemKind::kTooLong,
        PriceField::kDate,
        0,
        static_cast<int>(maximum),
        characters ? "Please enter no more than " + std::to_string(maximum) + " characters."
                   : TooLongMessage(maximum)};
}

std::optional<SettingsProblem> CheckCodePage(SettingsField field, std::string_view text,
                                             int codePage) {
    std::string bytes;
    std::optional<std::string> missing = msdb::EncodeText(text, codePage, &bytes);
    if (!missing) {
        return std::nullopt;
    }
    std::string message = std::string(field == SettingsField::kName ? "The name" : "The symbol") +
                          " holds \"" + *missing + "\", which code page " +
                          std::to_string(codePage) + " (" +
                          std::string(msdb::CodePageName(codePage)) + ") does not have";
    if (std::optional<int> other = msdb::CodePageHolding(text)) {
        message += ": choose code page " + std::to_string(*other) + " (" +
                   std::string(msdb::CodePageName(*other)) + "), or other characters.";
    } else {
        message += ", nor does any other code page: choose other characters.";
    }
    return SettingsProblem{field, ProblemKind::kNotInCodePage, PriceField::kDate, 0, 0, message};
}

std::string TrimTrailingBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return std::string(text);
}

std::string NormalizeSymbol(std::string_view symbol) {
    std::string text = TrimTrailingBlanks(symbol);
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; });
    return text;
}

std::vector<std::string> ParseSeriesList(std::string_view text) {
    std::vector<std::string> series;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = std::min(text.find_first_of(",; \t", at), text.size());
        std::string one = NormalizeSymbol(text.substr(at, end - at));
        if (!one.empty() && std::find(series.begin(), series.end(), one) == series.end()) {
            series.push_back(std::move(one));
        }
        at = end + 1;
    }
    return series;
}

std::string SeriesListText(const std::vector<std::string>& series) {
    std::string text;
    for (const std::string& one : series) {
        text += (text.empty() ? "" : ",") + one;
    }
    return text;
}

std::vector<SettingsProblem> ConversionSettings::Validate() const {
    std::vector<SettingsProblem> problems;
    auto add = [&](std::optional<SettingsProblem> problem) {
        if (problem) {
            problems.push_back(std::move(*problem));
        }
    };
    for (PriceField field : kDialogColumnOrder) {
        if (fields[field].on) {
            add(CheckColumn(field, fields[field].column));
        }
    }
    add(CheckLength(SettingsField::kName, name));
    add(CheckLength(SettingsField::kDirectory, directory));
    add(CheckLength(SettingsField::kSymbol, symbol));
    add(CheckSkipRows(skipRows));

    std::array<bool, limits::kLastColumn + 1> taken{};
    bool duplicate = false;
    for (PriceField field : kDuplicateCheckOrder) {
        const int column = fields[field].column;
        if (!fields[field].on || column < limits::kFirstColumn || column > limits::kLastColumn) {
            continue;
        }
        duplicate = duplicate || taken[static_cast<std::size_t>(column)];
        taken[static_cast<std::size_t>(column)] = true;
    }
    for (int column :
         {columns.symbol, columns.name, columns.period, columns.time, columns.series}) {
        if (column == 0) {
            continue;
        }
        if (column < limits::kFirstColumn || column > limits::kLastColumn) {
            add(CheckColumn(PriceField::kDate, column));
            continue;
        }
        duplicate = duplicate || taken[static_cast<std::size_t>(column)];
        taken[static_cast<std::size_t>(column)] = true;
    }
    if (duplicate) {
        problems.push_back({SettingsField::kColumn, ProblemKind::kDuplicateColumns,
                            PriceField::kDate, 0, 0,
                            "Duplicate columns specified\nCorrect or disable"});
    }
    // A file with a symbol column names its securities itself.
    if (columns.symbol == 0 && TrimTrailingBlanks(symbol).empty()) {
        problems.push_back({SettingsField::kSymbol, ProblemKind::kEmpty, PriceField::kDate, 0, 0,
                            "You did not enter a valid symbol"});
    }
    if (TrimTrailingBlanks(directory).empty()) {
        problems.push_back({SettingsField::kDirectory, ProblemKind::kEmpty, PriceField::kDate, 0, 0,
                            "Please enter path"});
    }
    if (!msdb::IsDateFormat(dateFormat)) {
        problems.push_back(
            {SettingsField::kDateFormat, ProblemKind::kOutOfRange, PriceField::kDate, 1,
             msdb::kDateFormatCount,
             "No date format is chosen.\nChoose one of the date formats of the list."});
    }
    if (decimalComma && delimiter == ',') {
        problems.push_back({SettingsField::kDecimalComma, ProblemKind::kConflict, PriceField::kDate,
                            0, 0,
                            "Numbers with a decimal comma cannot be read when a comma separates "
                            "the columns.\nChoose the semicolon, tab or space delimiter, or "
                            "numbers with a decimal point."});
    }
    if (!msdb::IsCodePage(codePage)) {
        problems.push_back({SettingsField::kCodePage, ProblemKind::kOutOfRange, PriceField::kDate,
                            msdb::kFirstCodePage, msdb::kLastCodePage,
                            "Choose a code page from 1250 to 1258."});
    } else {
        add(CheckCodePage(SettingsField::kSymbol, symbol, codePage));
        add(CheckCodePage(SettingsField::kName, name, codePage));
    }
    if (from && to && *from > *to) {
        problems.push_back({SettingsField::kRange, ProblemKind::kConflict, PriceField::kDate, 0, 0,
                            "The date to convert from is after the date to convert to."});
    }
    if (!msdb::IsPeriod(period)) {
        problems.push_back({SettingsField::kPeriod, ProblemKind::kOutOfRange, PriceField::kDate, 0,
                            0, "Choose the period: daily, weekly or monthly."});
    }
    return problems;
}

std::optional<msdb::DayNumber> ParseIsoDate(std::string_view text) {
    constexpr std::size_t kLength = 10;  // YYYY-MM-DD
    constexpr int kFirstYear = 1961;
    constexpr int kLastYear = 2099;
    if (text.size() != kLength || text[4] != '-' || text[7] != '-') {
        return std::nullopt;
    }
    int parts[3] = {0, 0, 0};
    for (std::size_t i = 0, part = 0; i < kLength; ++i) {
        if (i == 4 || i == 7) {
            ++part;
        } else if (text[i] >= '0' && text[i] <= '9') {
            parts[part] = parts[part] * 10 + (text[i] - '0');
        } else {
            return std::nullopt;
        }
    }
    const auto [year, month, day] = parts;
    if (year < kFirstYear || year > kLastYear || month < 1 || month > 12 || day < 1 ||
        day > msdb::DaysInMonth(year, month)) {
        return std::nullopt;
    }
    return msdb::YmdToDayNumber(static_cast<std::int16_t>(year), static_cast<std::int16_t>(month),
                                static_cast<std::int16_t>(day));
}

int ConversionSettings::FieldCount() const {
    return static_cast<int>(std::count_if(fields.values.begin(), fields.values.end(),
                                          [](const FieldSetting& f) { return f.on; }));
}

PerField<bool> ConversionSettings::FieldsOn() const {
    PerField<bool> on;
    for (PriceField field : msdb::kPriceFields) {
        on[field] = fields[field].on;
    }
    return on;
}

}  // namespace engine
