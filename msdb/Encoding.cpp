#include "msdb/Encoding.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <string>

namespace msdb {
namespace {

// Two-digit years from 60 on are 19xx, those before 20xx.
constexpr int kFirstYearOf1900s = 60;

constexpr int kCumulativeDays[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};

int CumulativeDays(int monthIndex, bool leap) {
    return kCumulativeDays[monthIndex] + (leap && monthIndex >= 2 ? 1 : 0);
}

// Character positions of the century, year, month and day groups; -1 for no century group.
struct DateLayout {
    int cc, yy, mm, dd;
};

constexpr DateLayout kLayouts[12] = {{-1, 0, 3, 6}, {0, 2, 5, 8}, {-1, 6, 0, 3}, {6, 8, 0, 3},
                                     {-1, 6, 3, 0}, {6, 8, 3, 0}, {-1, 0, 2, 4}, {0, 2, 4, 6},
                                     {-1, 4, 0, 2}, {4, 6, 0, 2}, {-1, 4, 2, 0}, {4, 6, 2, 0}};

bool IsCSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// The two characters at `pos` read as atoi reads them.
int ReadGroup(std::string_view text, int pos) {
    std::string_view group =
        static_cast<std::size_t>(pos) < text.size() ? text.substr(pos, 2) : std::string_view();
    std::size_t i = 0;
    while (i < group.size() && IsCSpace(group[i])) {
        ++i;
    }
    bool negative = false;
    if (i < group.size() && (group[i] == '+' || group[i] == '-')) {
        negative = group[i] == '-';
        ++i;
    }
    int value = 0;
    for (; i < group.size() && group[i] >= '0' && group[i] <= '9'; ++i) {
        value = value * 10 + (group[i] - '0');
    }
    return negative ? -value : value;
}

bool IsDigitPair(const char* at) {
    return at[0] >= '0' && at[0] <= '9' && at[1] >= '0' && at[1] <= '9';
}

int DigitPair(const char* at) {
    return (at[0] - '0') * 10 + (at[1] - '0');
}

// ReadDateGroups for the commonest date text: a fixed format whose groups are all digits and
// whose separators are no NUL. False, with `*groups` untouched, for any other text.
bool ReadDigitDateGroups(std::string_view text, DateFormat format, DateGroups* groups) {
    if (!IsFixedDateFormat(format)) {
        return false;
    }
    std::size_t start = 0;
    while (start < text.size() && text[start] == ' ') {
        ++start;
    }
    if (start < text.size() && text[start] == '"') {
        ++start;
    }
    const DateLayout& layout = kLayouts[DateFormatCode(format) - 1];
    const std::size_t length = DateFormatLength(format);
    // A format of digits only has no separator, and its digit pairs hold no NUL.
    if (text.size() - start < length ||
        (!IsNumericOnlyDateFormat(format) &&
         std::memchr(text.data() + start, '\0', length) != nullptr)) {
        return false;
    }
    const char* date = text.data() + start;
    if (!IsDigitPair(date + layout.yy) || !IsDigitPair(date + layout.mm) ||
        !IsDigitPair(date + layout.dd) || (layout.cc >= 0 && !IsDigitPair(date + layout.cc))) {
        return false;
    }
    const int yy = DigitPair(date + layout.yy);
    const int mm = DigitPair(date + layout.mm);
    const int dd = DigitPair(date + layout.dd);
    *groups = DateGroups{};
    if (yy == 0 && mm == 0 && dd == 0) {
        return true;
    }
    const int offset = layout.cc >= 0           ? DigitPair(date + layout.cc) * 100 - 1900
                       : yy < kFirstYearOf1900s ? 100
                                                : 0;
    groups->present = true;
    groups->year = yy + offset;
    groups->month = mm;
    groups->day = dd;
    return true;
}

constexpr std::string_view kMonthNames[12] = {"january",   "february", "march",    "april",
                                              "may",       "june",     "july",     "august",
                                              "september", "october",  "november", "december"};

bool IsAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The parts a written date is made of, in its order.
enum class Part { kMonth, kDay, kYear4, kYear2, kMonthName };

struct WrittenLayout {
    std::array<Part, 3> parts;
};

constexpr WrittenLayout kWrittenLayouts[kDateFormatCount - kFixedDateFormatCount] = {
    {{Part::kMonth, Part::kDay, Part::kYear4}},      // M_D_CCYY
    {{Part::kDay, Part::kMonth, Part::kYear4}},      // D_M_CCYY
    {{Part::kYear4, Part::kMonth, Part::kDay}},      // CCYY_M_D
    {{Part::kDay, Part::kMonthName, Part::kYear4}},  // DD_MON_CCYY
    {{Part::kDay, Part::kMonthName, Part::kYear2}},  // DD_MON_YY
    {{Part::kMonthName, Part::kDay, Part::kYear4}},  // MON_DD_CCYY
};

// Reads `count` digits at most (exactly `count` when `exact`) from `text` at `*at`.
bool ReadDigits(std::string_view text, std::size_t* at, std::size_t count, bool exact, int* value) {
    std::size_t i = *at;
    int number = 0;
    while (i < text.size() && i - *at < count && IsAsciiDigit(text[i])) {
        number = number * 10 + (text[i] - '0');
        ++i;
    }
    const std::size_t read = i - *at;
    if (read == 0 || (exact && read != count)) {
        return false;
    }
    *at = i;
    *value = number;
    return true;
}

// A month name: three letters of an English month, or its whole name, in any case.
bool ReadMonthName(std::string_view text, std::size_t* at, int* month) {
    std::size_t end = *at;
    while (end < text.size() && IsAsciiLetter(text[end])) {
        ++end;
    }
    std::string word(text.substr(*at, end - *at));
    std::transform(word.begin(), word.end(), word.begin(), [](char c) {
        return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    });
    for (int m = 0; m < 12; ++m) {
        if (word.size() >= 3 && (word == kMonthNames[m] || word == kMonthNames[m].substr(0, 3))) {
            *at = end;
            *month = m + 1;
            return true;
        }
    }
    return false;
}

}  // namespace

std::size_t ReadWrittenDate(std::string_view text, DateFormat format, DateGroups* groups) {
    *groups = DateGroups{};
    if (!IsDateFormat(format) || IsFixedDateFormat(format)) {
        return 0;
    }
    std::size_t at = 0;
    while (at < text.size() && text[at] == ' ') {
        ++at;
    }
    if (at < text.size() && text[at] == '"') {
        ++at;
    }
    const WrittenLayout& layout =
        kWrittenLayouts[DateFormatCode(format) - kFixedDateFormatCount - 1];
    int year = 0;
    int month = 0;
    int day = 0;
    for (std::size_t p = 0; p < layout.parts.size(); ++p) {
        if (p > 0) {
            // Between numbers one character that is no digit; in a date with a month name a run
            // of blanks and punctuation, as in "Jan 02, 2024".
            const bool named = std::find(layout.parts.begin(), layout.parts.end(),
                                         Part::kMonthName) != layout.parts.end();
            const std::size_t from = at;
            if (named) {
                while (at < text.size() && (text[at] == ' ' || text[at] == '-' || text[at] == '/' ||
                                            text[at] == '.' || text[at] == ',')) {
                    ++at;
                }
            } else if (at < text.size() && !IsAsciiDigit(text[at])) {
                ++at;
            }
            if (at == from) {
                return 0;
            }
        }
        bool read = false;
        switch (layout.parts[p]) {
            case Part::kMonth:
                read = ReadDigits(text, &at, 2, false, &month);
                break;
            case Part::kDay:
                read = ReadDigits(text, &at, 2, false, &day);
                break;
            case Part::kYear4:
                read = ReadDigits(text, &at, 4, true, &year);
                year -= 1900;
                break;
            case Part::kYear2:
                read = ReadDigits(text, &at, 2, true, &year);
                year += year < kFirstYearOf1900s ? 100 : 0;
                break;
            case Part::kMonthName:
                read = ReadMonthName(text, &at, &month);
                break;
        }
        // A third digit of a one- or two-digit group is no separator: the text is not this shape.
        if (!read || (p + 1 < layout.parts.size() && at < text.size() && IsAsciiDigit(text[at]))) {
            return 0;
        }
    }
    groups->present = true;
    groups->year = year;
    groups->month = month;
    groups->day = day;
    return at;
}

std::string_view MonthAbbreviation(int month) {
    static constexpr std::string_view kAbbreviations[12] = {
        "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    return month >= 1 && month <= 12 ? kAbbreviations[month - 1] : std::string_view();
}

void IeeeToMbf(float value, MbfBytes* out) {
    *out = MbfBytes{0, 0, 0, 0};
    if (value == 0.0f || std::isnan(value)) {
        return;
    }
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    std::uint32_t sign = bits >> 31;
    int exponent = static_cast<int>((bits >> 23) & 0xFF);
    std::uint32_t mantissa = bits & 0x7FFFFF;
    if (exponent == 0) {
        // Subnormal: normalise; MBF reaches two binary orders further down than IEEE normals.
        int top = 22;
        while ((mantissa & (1u << top)) == 0) {
            --top;
        }
        int mbfExponent = top - 20;
        if (mbfExponent < 1) {
            return;
        }
        mantissa = (mantissa << (23 - top)) & 0x7FFFFF;
        exponent = mbfExponent - 2;
    }
    if (exponent + 2 > 255) {  // 2^127 and beyond, and infinities
        return;
    }
    (*out)[0] = static_cast<std::uint8_t>(mantissa & 0xFF);
    (*out)[1] = static_cast<std::uint8_t>((mantissa >> 8) & 0xFF);
    (*out)[2] = static_cast<std::uint8_t>(((mantissa >> 16) & 0x7F) | (sign << 7));
    (*out)[3] = static_cast<std::uint8_t>(exponent + 2);
}

void MbfToIeee(const MbfBytes& mbf, float* out) {
    int exponent = mbf[3];
    if (exponent == 0) {
        *out = 0.0f;
        return;
    }
    std::uint32_t sign = mbf[2] >> 7;
    std::uint32_t mantissa = (static_cast<std::uint32_t>(mbf[2] & 0x7F) << 16) |
                             (static_cast<std::uint32_t>(mbf[1]) << 8) | mbf[0];
    if (exponent <= 2) {
        // Below the smallest IEEE normal: let the hardware round to the nearest subnormal.
        double magnitude = std::ldexp(1.0 + mantissa / 8388608.0, exponent - 129);
        *out = static_cast<float>(sign ? -magnitude : magnitude);
        return;
    }
    std::uint32_t bits = (sign << 31) | (static_cast<std::uint32_t>(exponent - 2) << 23) | mantissa;
    std::memcpy(out, &bits, sizeof bits);
}

float FromMbf(const MbfBytes& mbf) {
    float out;
    MbfToIeee(mbf, &out);
    return out;
}

DateGroups ReadDateGroups(std::string_view text, DateFormat format) {
    DateGroups groups;
    if (ReadDigitDateGroups(text, format, &groups)) {
        return groups;
    }
    text = text.substr(0, text.find('\0'));
    std::size_t start = 0;
    while (start < text.size() && text[start] == ' ') {
        ++start;
    }
    if (start < text.size() && text[start] == '"') {
        ++start;
    }
    text.remove_prefix(start);
    if (text.empty() || !IsDateFormat(format)) {
        return groups;
    }
    if (!IsFixedDateFormat(format)) {
        DateGroups written;
        return ReadWrittenDate(text, format, &written) == 0 ? groups : written;
    }
    const DateLayout& layout = kLayouts[DateFormatCode(format) - 1];
    int yy = ReadGroup(text, layout.yy);
    int mm = ReadGroup(text, layout.mm);
    int dd = ReadGroup(text, layout.dd);
    int offset = layout.cc < 0 ? 0 : ReadGroup(text, layout.cc) * 100 - 1900;
    if (yy == 0 && mm == 0 && dd == 0) {
        return groups;
    }
    if (layout.cc < 0 && yy < kFirstYearOf1900s) {
        offset = 100;
    }
    groups.present = true;
    groups.year = yy + offset;
    groups.month = mm;
    groups.day = dd;
    return groups;
}

DayNumber DateTextToDayNumber(std::string_view text, DateFormat format) {
    DateGroups groups = ReadDateGroups(text, format);
    if (!groups.present) {
        return kNoDay;
    }
    return YmdToDayNumber(static_cast<std::int16_t>(groups.year),
                          static_cast<std::int16_t>(groups.month),
                          static_cast<std::int16_t>(groups.day));
}

DayNumber YmdToDayNumber(std::int16_t year, std::int16_t month, std::int16_t day) {
    if (month < 1 || month > 12) {
        return kNoDay;
    }
    int y = year > 1900 ? year - 1900 : year;
    int days = kCumulativeDays[month - 1] + (y - 61) * 1461 / 4 + day;
    if (month > 2 && y % 4 == 0) {
        ++days;
    }
    return static_cast<DayNumber>(days & 0xFFFF);
}

void DayNumberToYmd(DayNumber dayNumber, std::int16_t* year, std::int16_t* month,
                    std::int16_t* day) {
    if (dayNumber == kNoDay) {
        *year = *month = *day = 0;
        return;
    }
    int n = dayNumber;
    int c = (4 * n - 1) / 1461;
    int r = n - (c * 1461) / 4;
    int y = c + 61;
    bool leap = y % 4 == 0;
    int index = 11;
    while (index > 0 && CumulativeDays(index, leap) >= r) {
        --index;
    }
    *year = static_cast<std::int16_t>(y);
    *month = static_cast<std::int16_t>(index + 1);
    *day = static_cast<std::int16_t>(r - CumulativeDays(index, leap));
}

std::size_t DateFormatLength(DateFormat format) {
    // Where the last group of each layout ends.
    static constexpr auto kLengths = [] {
        std::array<std::size_t, 12> lengths{};
        for (std::size_t i = 0; i < lengths.size(); ++i) {
            const DateLayout& layout = kLayouts[i];
            lengths[i] = static_cast<std::size_t>(
                std::max({layout.cc, layout.yy, layout.mm, layout.dd}) + 2);
        }
        return lengths;
    }();
    return IsFixedDateFormat(format)
               ? kLengths[static_cast<std::size_t>(DateFormatCode(format) - 1)]
               : 0;
}

int DaysInMonth(int year, int month) {
    constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    return month == 2 && leap ? 29 : kDays[month - 1];
}

DayNumber TwoDigitYearToDayNumber(int yearInCentury, int month, int day) {
    const int year = yearInCentury < kFirstYearOf1900s ? yearInCentury + 100 : yearInCentury;
    return YmdToDayNumber(static_cast<std::int16_t>(year), static_cast<std::int16_t>(month),
                          static_cast<std::int16_t>(day));
}

std::string_view DateFormatName(DateFormat format) {
    return IsDateFormat(format)
               ? kDateFormatNames[static_cast<std::size_t>(DateFormatCode(format) - 1)]
               : std::string_view();
}

std::optional<DateFormat> ParseDateFormatName(std::string_view name) {
    for (std::size_t i = 0; i < kDateFormatNames.size(); ++i) {
        if (name.size() == kDateFormatNames[i].size() &&
            std::equal(name.begin(), name.end(), kDateFormatNames[i].begin(), [](char a, char b) {
                return std::toupper(static_cast<unsigned char>(a)) == b;
            })) {
            return static_cast<DateFormat>(i + 1);
        }
    }
    return std::nullopt;
}

MbfBytes DayNumberToMbfDate(DayNumber dayNumber) {
    if (dayNumber == kNoDay) {
        return MbfBytes{0, 0, 0, 0};
    }
    std::int16_t year, month, day;
    DayNumberToYmd(dayNumber, &year, &month, &day);
    double yymmdd = month * 100.0 + year * 10000.0 + day;
    return ToMbf(static_cast<float>(yymmdd));
}

}  // namespace msdb
