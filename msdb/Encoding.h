// Number and date encodings of the database files. Every value in a price record or a MASTER
// record is a four-byte MBF single (Microsoft Binary Format); a date is the MBF single of its
// YYMMDD number, (year - 1900) * 10000 + month * 100 + day.
#pragma once

#include <array>
#include <bit>
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

// Shorthands of the two conversions. ToMbf moves the bits of a normal float below 2^127 (every
// price and date) straight into place, and leaves the rest to IeeeToMbf.
inline MbfBytes ToMbf(float value) {
    const auto bits = std::bit_cast<std::uint32_t>(value);
    const std::uint32_t exponent = (bits >> 23) & 0xFF;
    if (exponent - 1 < 253) {
        // The mantissa stays, the sign moves below the exponent, and the exponent up by 2.
        const std::uint32_t mbf =
            ((exponent + 2) << 24) | ((bits >> 8) & 0x800000) | (bits & 0x7FFFFF);
        if constexpr (std::endian::native == std::endian::little) {
            return std::bit_cast<MbfBytes>(mbf);
        }
        return {static_cast<std::uint8_t>(mbf), static_cast<std::uint8_t>(mbf >> 8),
                static_cast<std::uint8_t>(mbf >> 16), static_cast<std::uint8_t>(mbf >> 24)};
    }
    MbfBytes out;
    IeeeToMbf(value, &out);
    return out;
}
float FromMbf(const MbfBytes& mbf);

// A number that orders stored numbers not below 0, as dates are, as their values order: the
// exponent, then the mantissa, without the sign bit; an exponent of 0 is 0 whatever the mantissa.
inline std::uint32_t MbfOrderKey(const MbfBytes& mbf) {
    if constexpr (std::endian::native == std::endian::little) {
        const auto bytes = std::bit_cast<std::uint32_t>(mbf);
        return mbf[3] == 0 ? 0 : bytes & ~std::uint32_t{0x800000};
    }
    return mbf[3] == 0 ? 0
                       : (std::uint32_t{mbf[3]} << 24) | (std::uint32_t{mbf[2] & 0x7Fu} << 16) |
                             (std::uint32_t{mbf[1]} << 8) | mbf[0];
}

// The date formats by their codes, the positions in the date format list; 0 (kNone) means that no
// entry was chosen. Codes 1 to 6 are character-separated, 7 to 12 numeric-only, each group two
// digits at a fixed place. Codes 13 to 18 are written as people and sources write dates: groups of
// one or two digits (1/2/2024) or an English month abbreviation (02-Jan-2024, Jan 02 2024).
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
    M_D_CCYY,
    D_M_CCYY,
    CCYY_M_D,
    DD_MON_CCYY,
    DD_MON_YY,
    MON_DD_CCYY,
};

inline constexpr int kDateFormatCount = 18;
inline constexpr int kFixedDateFormatCount = 12;  // the formats whose groups have fixed places
inline constexpr std::array<std::string_view, kDateFormatCount> kDateFormatNames = {
    "YY_MM_DD", "CCYY_MM_DD", "MM_DD_YY", "MM_DD_CCYY",  "DD_MM_YY",  "DD_MM_CCYY",
    "YYMMDD",   "CCYYMMDD",   "MMDDYY",   "MMDDCCYY",    "DDMMYY",    "DDMMCCYY",
    "M_D_CCYY", "D_M_CCYY",   "CCYY_M_D", "DD_MON_CCYY", "DD_MON_YY", "MON_DD_CCYY"};

// The longest date text a date field is read to; the rest of a longer field is not part of it.
inline constexpr std::size_t kMaxDateText = 19;

constexpr int DateFormatCode(DateFormat format) {
    return static_cast<int>(format);
}

// True for the codes 1 to kDateFormatCount.
constexpr bool IsDateFormat(DateFormat format) {
    return DateFormatCode(format) >= 1 && DateFormatCode(format) <= kDateFormatCount;
}

// True for the codes 1 to 12, whose groups are two digits each at fixed places.
constexpr bool IsFixedDateFormat(DateFormat format) {
    return DateFormatCode(format) >= 1 && DateFormatCode(format) <= kFixedDateFormatCount;
}

constexpr bool IsNumericOnlyDateFormat(DateFormat format) {
    return DateFormatCode(format) > DateFormatCode(DateFormat::DD_MM_CCYY) &&
           IsFixedDateFormat(format);
}

// The name of a date format in the list ("MMDDYY"); empty for kNone and other codes.
std::string_view DateFormatName(DateFormat format);

// The date format of a name of the list, in any letter case; nothing for another text.
std::optional<DateFormat> ParseDateFormatName(std::string_view name);

// The groups of a date text as its format reads them. `present` is false for an empty text, a
// format that is not one of the list, an all-zero date and a text that does not have the shape of
// a format of codes 13 on; otherwise `year` is the year with the
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

// For the formats of codes 13 on: the groups of `text` (after leading blanks and one double quote)
// and the number of characters of `text` up to the end of the date, 0 when the text does not have
// the format's shape. A group of one or two digits takes no third; a four-digit year takes
// exactly four and a two-digit year exactly two (a digit after them is left for the caller to
// see); numeric groups are separated by one character that is not a digit, the groups of a date
// with a month name by a run of blanks, '-', '/', '.' and ','. Month names are English, in any
// case, abbreviated to three letters or in full.
std::size_t ReadWrittenDate(std::string_view text, DateFormat format, DateGroups* groups);

// The English abbreviation of a month 1 to 12 ("Jan").
std::string_view MonthAbbreviation(int month);

// The number of characters a date of `format` takes: past them, where its last group ends, a date
// text has nothing more to say. 0 for a format that is not one of the twelve fixed ones.
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

// The stored form of a date that exists and lies in 1961 to 2099, its year counted from 1900: the
// same bytes as DayNumberToMbfDate of its day number, without going through the day number.
inline MbfBytes YmdToMbfDate(int yearFrom1900, int month, int day) {
    // At most 1991231: a float holds every such whole number exactly.
    return ToMbf(static_cast<float>(yearFrom1900 * 10000 + month * 100 + day));
}

}  // namespace msdb
