#include "engine/InputParser.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>

#include "engine/Messages.h"
#include "engine/NumberText.h"

namespace engine {
namespace {

// The most characters of a field's text that a problem shows.
constexpr std::size_t kShownText = 40;

constexpr PerField<std::string_view> kFieldNames = {
    {"date", "open price", "high price", "low price", "close price", "volume", "open interest"}};

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads a date field into its stored form `*stored`: true when it is as it should be, else false
// with why in `*what`.
bool ReadDate(std::string_view text, DateFormat format, msdb::MbfBytes* stored, std::string* what) {
    constexpr int kFirstYear = 61;  // 1961, counted from 1900
    constexpr int kLastYear = 199;  // 2099
    auto name = [format] { return std::string(msdb::DateFormatName(format)); };
    // The groups lie at fixed positions behind leading blanks and one quote; a digit right after
    // the last of them means the text is longer than the format, as 01/02/2025 is for MM_DD_YY.
    std::size_t start = 0;
    while (start < text.size() && text[start] == ' ') {
        ++start;
    }
    if (start < text.size() && text[start] == '"') {
        ++start;
    }
    msdb::DateGroups groups;
    if (msdb::IsFixedDateFormat(format)) {
        const std::size_t after = start + msdb::DateFormatLength(format);
        if (after < text.size() && IsDigit(text[after])) {
            *what = "has more digits than " + name() + " reads";
            return false;
        }
        // Every group has two digits: 12/5/99 would read as 12/5/9-, in the wrong year.
        if (after > text.size()) {
            *what = "is shorter than " + name() + ", whose groups have two digits each";
            return false;
        }
        groups = msdb::ReadDateGroups(text, format);
    } else {
        // The written formats: the groups' shape decides, and a digit right after the year
        // means a longer year than the format has, as 02-Jan-2024 is for DD_MON_YY.
        const std::size_t after = msdb::ReadWrittenDate(text, format, &groups);
        if (after == 0) {
            *what = "is not a date in " + name();
            return false;
        }
        if (after < text.size() && IsDigit(text[after])) {
            *what = "has more digits than " + name() + " reads";
            return false;
        }
    }
    if (!groups.present || groups.month < 1 || groups.month > 12) {
        *what = "is not a date in " + name();
        return false;
    }
    const int year = msdb::YearFrom1900(groups.year);
    if (year < kFirstYear || year > kLastYear) {
        *what = "lies outside the years 1961 to 2099";
        return false;
    }
    if (groups.day < 1 || groups.day > msdb::DaysInMonth(1900 + year, groups.month)) {
        // The day before the first that a day number counts (1961-01-00) is no date at all.
        const msdb::DayNumber day = msdb::YmdToDayNumber(static_cast<std::int16_t>(groups.year),
                                                         static_cast<std::int16_t>(groups.month),
                                                         static_cast<std::int16_t>(groups.day));
        *what = day == msdb::kNoDay ? "is not a date in " + name() : "does not exist";
        return false;
    }
    *stored = msdb::YmdToMbfDate(year, groups.month, groups.day);
    return true;
}

// The stored form of a number field, or why it has none.
std::optional<msdb::MbfBytes> ReadNumber(std::string_view text, const NumberFormat& format,
                                         std::string* what) {
    float value = 0.0f;
    if (!ReadNumberText(text, format, &value, what)) {
        return std::nullopt;
    }
    return msdb::ToMbf(value);
}

}  // namespace

std::string_view FieldName(PriceField field) {
    return kFieldNames[field];
}

void InputProblems::Add(InputProblem problem) {
    ++count_;
    if (first_.size() < kShown) {
        if (problem.text.size() > kShownText) {
            problem.text = problem.text.substr(0, kShownText) + "...";
        }
        // Kept in the order of the lines, whatever order they were found in.
        auto at = std::upper_bound(
            first_.begin(), first_.end(), problem.line,
            [](LineNumber line, const InputProblem& other) { return line < other.line; });
        first_.insert(at, std::move(problem));
    }
}

void InputProblems::Merge(const InputProblems& other) {
    count_ += other.count_;
    for (const InputProblem& problem : other.first_) {
        auto at = std::upper_bound(
            first_.begin(), first_.end(), problem.line,
            [](LineNumber line, const InputProblem& next) { return line < next.line; });
        first_.insert(at, problem);
    }
    if (first_.size() > kShown) {
        first_.resize(kShown);
    }
}

std::string ProblemText(const InputProblem& problem) {
    std::string text = "line " + std::to_string(problem.line) + ", " + problem.field;
    if (!problem.text.empty()) {
        text += " \"" + problem.text + "\"";
    }
    return text + ": " + problem.what;
}

std::string InputProblems::Message(std::string_view inputPath) const {
    std::string text = std::to_string(count_) + (count_ == 1 ? " problem was" : " problems were") +
                       " found in the input file " + std::string(inputPath) + ":";
    for (const InputProblem& problem : first_) {
        text += "\n" + ProblemText(problem);
    }
    if (count_ > static_cast<std::int64_t>(first_.size())) {
        text +=
            "\nand " + std::to_string(count_ - static_cast<std::int64_t>(first_.size())) + " more.";
    }
    return text;
}

InputParser::InputParser(const ConversionSettings& settings,
                         std::unique_ptr<msdb::ReadableFile> file)
    : settings_(settings), reader_(std::move(file)) {
    for (PriceField field : msdb::kPriceFields) {
        if (field != PriceField::kDate && settings_.fields[field].on) {
            numberFields_[numberFieldCount_++] = field;
        }
    }
}

const std::string_view* InputParser::Field(PriceField field) const {
    const auto column = static_cast<std::size_t>(settings_.fields[field].column);
    return column >= 1 && column <= fields_.count ? &fields_.text[column - 1] : nullptr;
}

std::string_view InputParser::ColumnText(int column) const {
    return column >= 1 && static_cast<std::size_t>(column) <= fields_.count
               ? fields_.text[static_cast<std::size_t>(column) - 1]
               : std::string_view();
}

void InputParser::Problem(PriceField field, std::string_view text, std::string what) {
    InputProblem problem{reader_.LineNumber(), std::string(FieldName(field)), std::string(text),
                         std::move(what)};
    recordProblems_.push_back(problem);
    problems_.Add(std::move(problem));
}

msdb::Status InputParser::NextLine(bool* got) {
    std::string_view line;
    *got = false;
    if (!notText_.empty()) {
        return msdb::Status::Ok();
    }
    auto notText = [&] {
        notText_ = "it holds a NUL byte (line " + std::to_string(reader_.LineNumber()) +
                   "), as files of word processors and spreadsheets do";
        return msdb::Status::Ok();
    };
    if (!skipped_) {
        skipped_ = true;
        for (int skipped = 0; skipped < settings_.RowsToSkip(); ++skipped) {
            bool more = false;
            msdb::Status s = reader_.Next(&line, &more);
            if (!s.ok() || !more) {
                return s;
            }
            if (reader_.HoldsNul()) {  // a heading of such a file is no plain text either
                return notText();
            }
            if (!line.empty()) {
                headings_.emplace_back(line);
            }
        }
    }
    for (;;) {
        bool more = false;
        msdb::Status s = reader_.Next(&line, &more);
        if (!s.ok() || !more) {
            return s;
        }
        if (reader_.HoldsNul()) {
            return notText();
        }
        if (reader_.TooLong()) {
            problems_.Add({reader_.LineNumber(), "line", "",
                           "is longer than 65,536 bytes, and gives no record"});
            continue;
        }
        // Files joined one after another repeat their heading: a line that is one of the
        // skipped lines again is passed over too.
        if (!headings_.empty() && IsHeading(line)) {
            continue;
        }
        line_ = line;
        const std::size_t count = SplitFields(line, settings_.delimiter, &fields_);
        if (std::any_of(fields_.text.begin(),
                        fields_.text.begin() + static_cast<std::ptrdiff_t>(count),
                        [](std::string_view field) { return !field.empty(); })) {
            if (settings_.columns.series != 0 && !SeriesKept()) {
                ++otherSeries_;
                continue;
            }
            *got = true;
            return msdb::Status::Ok();
        }
    }
}

bool InputParser::InLineWithEightBefore(std::string_view text) const {
    // Compared as addresses: a field unquoted into a copy of its own lies outside the line.
    const auto end = reinterpret_cast<std::uintptr_t>(text.data() + text.size());
    const auto begin = reinterpret_cast<std::uintptr_t>(line_.data());
    return end >= begin + 8 && end <= begin + line_.size();
}

bool InputParser::SeriesKept() const {
    if (settings_.columns.series == 0 || settings_.series.empty()) {
        return true;
    }
    const std::string series = NormalizeSymbol(ColumnText(settings_.columns.series));
    return std::find(settings_.series.begin(), settings_.series.end(), series) !=
           settings_.series.end();
}

bool InputParser::IsHeading(std::string_view line) const {
    return std::any_of(headings_.begin(), headings_.end(), [line](const std::string& heading) {
        return heading.size() == line.size() && heading == line;
    });
}

std::string InputParser::DateText() const {
    const std::string_view* field = Field(PriceField::kDate);
    return field == nullptr ? std::string() : std::string(*field);
}

PriceRecord InputParser::ReadRecord() {
    PriceRecord record;
    recordProblems_.clear();
    usable_ = true;
    outOfRange_ = false;
    unreadable_ = {};
    std::string what;  // why a field cannot be read
    const std::string_view* dateField = Field(PriceField::kDate);
    if (dateField == nullptr || dateField->empty()) {
        Problem(PriceField::kDate, "", dateField == nullptr ? "is missing" : "is empty");
        usable_ = false;
    } else {
        const std::string_view dateText = dateField->substr(0, msdb::kMaxDateText);
        if (ReadDate(dateText, settings_.dateFormat, &record.values[PriceField::kDate], &what)) {
            // A line dated outside the range asked for is passed over, its fields unread.
            if (settings_.from || settings_.to) {
                const std::optional<msdb::DayNumber> day =
                    msdb::DateTextToDayNumber(dateText, settings_.dateFormat);
                if ((settings_.from && day < *settings_.from) ||
                    (settings_.to && day > *settings_.to)) {
                    outOfRange_ = true;
                    return record;
                }
            }
        } else {
            Problem(PriceField::kDate, *dateField, std::move(what));
            what.clear();
            usable_ = false;
        }
    }
    if (recordsRead_++ == 0 && dateField != nullptr && !dateField->empty()) {
        const bool allDigits = std::all_of(dateField->begin(), dateField->end(), IsDigit);
        const bool numericOnly = msdb::IsNumericOnlyDateFormat(settings_.dateFormat);
        const std::string name(msdb::DateFormatName(settings_.dateFormat));
        if (numericOnly && !allDigits) {
            dateCheckMessage_ = messages::kNumericDateExpected;
            Problem(
                PriceField::kDate, *dateField,
                "holds other characters than digits, but " + name + " is written in digits only");
        } else if (!numericOnly && allDigits) {
            dateCheckMessage_ = messages::kSeparatedDateExpected;
            Problem(PriceField::kDate, *dateField,
                    "holds only digits, but " + name + " has separators");
        }
    }
    for (std::size_t k = 0; k < numberFieldCount_; ++k) {
        const PriceField field = numberFields_[k];
        const std::string_view* text = Field(field);
        // Nearly every field: a plain number, read without the checks below.
        if (float value = 0.0f;
            text != nullptr &&
            (text->size() - 1 < 8 && InLineWithEightBefore(*text)
                 ? number_text::ReadShortPlainDecimal(*text, !settings_.decimalComma, &value)
                 : number_text::ReadPlainDecimal(*text, !settings_.decimalComma, &value))) {
            record.values[field] = msdb::ToMbf(value);
            continue;
        }
        std::optional<msdb::MbfBytes> number;
        if (text == nullptr || text->empty()) {
            what = text == nullptr ? "is missing" : "is empty";
        } else {
            const bool suffixes =
                field == PriceField::kVolume || field == PriceField::kOpenInterest;
            number = ReadNumber(*text, {settings_.decimalComma, suffixes}, &what);
        }
        if (!number) {
            Problem(field, text == nullptr ? std::string_view() : *text, std::move(what));
            what.clear();
            unreadable_[field] = true;
            // A price that cannot be read makes the line one that cannot be stored; a volume or
            // open interest is stored as 0.
            usable_ =
                usable_ && (field == PriceField::kVolume || field == PriceField::kOpenInterest);
        }
        record.values[field] = number.value_or(msdb::MbfBytes{});
    }
    return record;
}

}  // namespace engine
