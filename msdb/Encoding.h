// Number and date encodings of the database files. Every value in a price record or a MASTER
// record is a four-byte MBF single (Microsoft Binary Format); a date is the MBF single of its
// YYMMDD number, (year - 1900) * 10000 + month * 100 + day.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace msdb {

// The four bytes of an MBF single as they lie in a file: mantissa bits 7..0, 15..8, then the sign
// in bit 7 with mantissa bits 22..16, then the exponent (0 means the value is zero).
using MbfBytes = std::array<std::uint8_t, 4>;

// A day count in which 1961-01-01 is day 1; 0 stands for no date.
using DayNumber = std::uint16_t;

inline constexpr DayNumber kNoDay = 0;
inline constexpr DayNumber kLastDay2099 = 50769;  // 2099-12-31

// Writes the MBF single of `value` to `out`. Zero (either sign), NaN, infinities, magnitudes of
// 2^127 and more and magnitudes below 2^-128 give four zero bytes.
void IeeeToMbf(float value, MbfBytes* out);

// Writes the IEEE single of `mbf` to `out`. Exponent byte 0 gives 0.0.
void MbfToIeee(const MbfBytes& mbf, float* out);

// Shorthands of the two conversions.
MbfBytes ToMbf(float value);
float FromMbf(const MbfBytes& mbf);

// The date formats by their codes 1 to 12, the positions in the date format list; 0 (kNone) means
// that no entry was chosen. Codes 1 to 6 are character-separated, 7 to 12 numeric-only.
enum class DateFormat {
    kNone = 0,
    YY_MM_DD,
    CCYY_MM_DD,
    MM_DD_YY,
    MM_DD_CCYY,
    DD_MM_YY,
    DD_MM_CCYY,
    YYMMDD,
    CCYYMMDD,
    MMDDYY,
    MMDDCCYY,
    DDMMYY,
    DDMMCCYY,
};

inline constexpr int kDateFormatCount = 12;
inline constexpr std::array<std::string_view, kDateFormatCount> kDateFormatNames = {
    "YY_MM_DD", "CCYY_MM_DD", "MM_DD_YY", "MM_DD_CCYY", "DD_MM_YY", "DD_MM_CCYY",
    "YYMMDD",   "CCYYMMDD",   "MMDDYY",   "MMDDCCYY",   "DDMMYY",   "DDMMCCYY"};

// The longest date text a date field is read to; the rest of a longer field is not part of it.
inline constexpr std::size_t kMaxDateText = 19;

constexpr int DateFormatCode(DateFormat format) {
    return static_cast<int>(format);
}

// True for the codes 1 to 12.
constexpr bool IsDateFormat(DateFormat format) {
    return DateFormatCode(format) >= 1 && DateFormatCode(format) <= kDateFormatCount;
}

constexpr bool IsNumericOnlyDateFormat(DateFormat format) {
    return DateFormatCode(format) > DateFormatCode(DateFormat::DD_MM_CCYY);
}

// The name of a date format in the list ("MMDDYY"); empty for kNone and other codes.
std::string_view DateFormatName(DateFormat format);

// The date format of a name of the list, in any letter case; nothing for another text.
std::optional<DateFormat> ParseDateFormatName(std::string_view name);

// The groups of a date text as its format reads them. `present` is false for an empty text, a
// format that is not one of the twelve and an all-zero date; otherwise `year` is the year with the
// century applied (00 to 59 are 2000 to 2059 in two-digit formats), as YmdToDayNumber takes it.
struct DateGroups {
    bool present = false;
    int year = 0;
    int month = 0;
    int day = 0;
};

// Reads the groups of `text` (up to its first NUL) by date format `format`: leading blanks and then
// one double quote are skipped, each group is two characters at its fixed position, read as atoi
// reads, and characters past the end of the text are not part of the date.
DateGroups ReadDateGroups(std::string_view text, DateFormat format);

// The number of characters a date of `format` takes: past them, where its last group ends, a date
// text has nothing more to say. 0 for a format that is not one of the twelve.
std::size_t DateFormatLength(DateFormat format);

// The days of `month` (1 to 12) in `year` (a full year).
int DaysInMonth(int year, int month);

// A year as YmdToDayNumber counts it: from 1900, a value above 1900 being a full year.
inline int YearFrom1900(int year) {
    return year > 1900 ? year - 1900 : year;
}

// The day number of `text` read by date format `format`; 0 for an empty text, a format that is not
// one of the twelve and an all-zero date.
DayNumber DateTextToDayNumber(std::string_view text, DateFormat format);

// The day number of a year (counted from 1900, or a full year above 1900), month and day. The day
// is not checked against the month: 30 February 1999 is 2 March 1999 and day 0 is the last day of
// the month before. The result is kept to 16 bits. A month outside 1 to 12 gives 0.
DayNumber YmdToDayNumber(std::int16_t year, std::int16_t month, std::int16_t day);

// The calendar date of a day number: year from 1900, month 1 to 12, day 1 to 31. Day number 0 gives
// year, month and day 0.
void DayNumberToYmd(DayNumber dayNumber, std::int16_t* year, std::int16_t* month,
                    std::int16_t* day);

// The day number of a calendar date given with its year's last two digits, as a two-digit year of
// the date formats reads them (00 to 59 are 2000 to 2059).
DayNumber TwoDigitYearToDayNumber(int yearInCentury, int month, int day);

// The stored form of a day: the MBF single of its YYMMDD number. Day number 0 gives four zero
// bytes.
MbfBytes DayNumberToMbfDate(DayNumber dayNumber);

}  // namespace msdb
