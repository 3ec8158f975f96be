#include "engine/NumberText.h"

#include <algorithm>
#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

#include "engine/TextInput.h"
#include "msdb/Encoding.h"

namespace engine {
namespace {

constexpr float kLargestStored = 0x1p127f;
// A no-break space: U+00A0 in UTF-8, and the single byte A0 of the Windows code pages.
constexpr std::string_view kNoBreakSpace = "\xC2\xA0";
constexpr char kNoBreakSpaceByte = '\xA0';

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// The separators that may stand between groups of three digits.
std::string GroupingSeparators(const NumberFormat& format) {
    return format.decimalComma ? std::string(". '") + kNoBreakSpaceByte : ",'";
}

// What a grouping separator in the integer part (before the decimal mark) makes of it.
struct Groups {
    bool digitsOnly = false;  // digits and the separator, nothing else
    bool wellFormed = false;  // a first group of one to three digits, then groups of three
    std::string digits;       // the digits, without the separators
};

Groups ReadGroups(std::string_view integer, char separator) {
    Groups groups;
    std::size_t group = 0;
    bool first = true;
    bool wellFormed = true;
    for (char c : integer) {
        if (c == separator) {
            wellFormed = wellFormed && group != 0 && group <= 3 && (first || group == 3);
            first = false;
            group = 0;
        } else if (IsDigit(c)) {
            groups.digits += c;
            ++group;
        } else {
            return groups;
        }
    }
    groups.digitsOnly = true;
    groups.wellFormed = wellFormed && group == 3;
    return groups;
}

// Reads the plainest and commonest numbers, as "123", "-12.50" or "1234567.89": digits, with a
// decimal point and more digits when `point` allows it, at most kExactDigits digits in all. Such a
// number, and the power of ten it is divided by, a double holds exactly, so one division rounds
// the quotient correctly to a double; rounding that to a float gives what strtof gives unless the
// double lies halfway between two floats, which is left to strtof. A number of at most 2^24 over
// at most 10^10 a float holds exactly as well, and one float division rounds it as strtof does.
// False, with `*value` untouched, for anything else.
bool ReadPlainDecimal(std::string_view text, bool point, float* value) {
    static_assert(FLT_EVAL_METHOD == 0, "the division must round to its operands' type");
    constexpr std::ptrdiff_t kExactDigits = 15;  // below 2^53
    static constexpr double kPowersOfTen[kExactDigits] = {
        1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14};
    constexpr std::uint64_t kExactInFloat = std::uint64_t{1} << 24;
    constexpr std::ptrdiff_t kExactFloatPowers = 11;  // 5^10 is below 2^24
    static constexpr float kFloatPowersOfTen[kExactFloatPowers] = {
        1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f, 1e8f, 1e9f, 1e10f};
    const char* p = text.data();
    const char* const end = p + text.size();
    const bool negative = p < end && *p == '-';
    p += negative ? 1 : 0;
    const char* const first = p;
    std::uint64_t mantissa = 0;
    while (p < end && IsDigit(*p)) {
        mantissa = mantissa * 10 + static_cast<std::uint64_t>(*p - '0');
        ++p;
    }
    const std::ptrdiff_t integerDigits = p - first;
    std::ptrdiff_t fraction = 0;
    if (point && p < end && *p == '.' && integerDigits > 0) {
        const char* const decimals = ++p;
        while (p < end && IsDigit(*p)) {
            mantissa = mantissa * 10 + static_cast<std::uint64_t>(*p - '0');
            ++p;
        }
        fraction = p - decimals;
    }
    // No digits, "5." and ".5", anything after the number, or too many digits (which may also
    // have overflowed the mantissa): the long way.
    if (integerDigits == 0 || p != end || (p[-1] == '.') ||
        integerDigits + fraction > kExactDigits) {
        return false;
    }
    if (mantissa <= kExactInFloat && fraction < kExactFloatPowers) {
        const float magnitude = static_cast<float>(mantissa) / kFloatPowersOfTen[fraction];
        *value = negative ? -magnitude : magnitude;
        return true;
    }
    const double quotient = static_cast<double>(mantissa) / kPowersOfTen[fraction];
    std::uint64_t bits = 0;
    std::memcpy(&bits, &quotient, sizeof bits);
    // The 29 bits of a double's mantissa that a float does not keep: exactly half of their unit
    // is a tie, which the first rounding may have made.
    constexpr std::uint64_t kDroppedBits = (std::uint64_t{1} << 29) - 1;
    if ((bits & kDroppedBits) == std::uint64_t{1} << 28) {
        return false;
    }
    const auto magnitude = static_cast<float>(quotient);
    *value = negative ? -magnitude : magnitude;
    return true;
}

// The problem of a number read, when it cannot be stored; null when it can.
const char* StoredRangeProblem(float value) {
    if (std::isnan(value) || std::isinf(value) || std::fabs(value) >= kLargestStored) {
        return "is too large to be stored";
    }
    // Only near the smallest float can a number that is not 0 store as 0.
    if (std::fabs(value) < 0x1p-120f && value != 0.0f && msdb::ToMbf(value) == msdb::MbfBytes{}) {
        return "is too small to be stored";
    }
    return nullptr;
}

// True when `text` reads whole as a number of the "C" locale.
bool ReadsWhole(const std::string& text, float* value) {
    std::size_t used = 0;
    return !text.empty() && ReadLeadingFloat(text, value, &used) && used == text.size();
}

// ReadNumberText for a number that C's strtof does not read whole, `text` trimmed: grouping
// separators, a suffix, the decimal comma. Returns the problem, or "".
std::string ReadGroupedNumber(std::string_view text, const NumberFormat& format, float* value) {
    std::string number(text);
    for (std::size_t at; (at = number.find(kNoBreakSpace)) != std::string::npos;) {
        number.replace(at, kNoBreakSpace.size(), 1, kNoBreakSpaceByte);
    }
    // K, M and B for thousand, million and billion become an exponent.
    std::string exponent;
    if (format.suffixes && number.size() >= 2 &&
        !std::isalpha(static_cast<unsigned char>(number[number.size() - 2]))) {
        const char suffix =
            static_cast<char>(std::toupper(static_cast<unsigned char>(number.back())));
        exponent = suffix == 'K' ? "e3" : suffix == 'M' ? "e6" : suffix == 'B' ? "e9" : "";
        if (!exponent.empty()) {
            if (number.find_first_of("eExXpP") != std::string::npos) {
                return "is not a number";  // an exponent and a suffix: which is meant?
            }
            number.pop_back();
        }
    }
    // Grouping separators in the integer part, where they are well formed.
    const char decimalMark = format.decimalComma ? ',' : '.';
    const std::size_t sign = !number.empty() && (number[0] == '+' || number[0] == '-') ? 1 : 0;
    const std::size_t integerEnd = std::min(number.find(decimalMark, sign), number.size());
    const std::size_t separatorAt = number.find_first_of(GroupingSeparators(format), sign);
    std::string read = number;
    std::optional<char> badSeparator;
    if (separatorAt < integerEnd) {
        const Groups groups = ReadGroups(std::string_view(number).substr(sign, integerEnd - sign),
                                         number[separatorAt]);
        if (groups.wellFormed) {
            read = number.substr(0, sign) + groups.digits + number.substr(integerEnd);
        } else if (groups.digitsOnly) {
            badSeparator = number[separatorAt];
        }
    }
    if (format.decimalComma) {
        std::replace(read.begin(), read.end(), ',', '.');
    }
    if (badSeparator || !ReadsWhole(read + exponent, value)) {
        // The other decimal mark would have read it: say so.
        const char other = format.decimalComma ? '.' : ',';
        std::string otherRead = number;
        std::replace(otherRead.begin(), otherRead.end(), ',', '.');
        float ignored = 0;
        if (number.find(decimalMark) == std::string::npos &&
            number.find(other) != std::string::npos && ReadsWhole(otherRead + exponent, &ignored)) {
            return format.decimalComma
                       ? "holds a point, but numbers are read with a decimal comma"
                       : "is not a number; if \",\" is its decimal mark, read the file with the "
                         "decimal comma";
        }
        if (badSeparator) {
            const std::string shown = *badSeparator == kNoBreakSpaceByte
                                          ? std::string(kNoBreakSpace)
                                          : std::string(1, *badSeparator);
            return "is not a number: \"" + shown + "\" does not separate groups of three digits";
        }
        return "is not a number";
    }
    const char* problem = StoredRangeProblem(*value);
    return problem == nullptr ? std::string() : std::string(problem);
}

}  // namespace

bool ReadNumberText(std::string_view text, const NumberFormat& format, float* value,
                    std::string* problem) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    // Nearly every field of a price file, read without strtof; a number read so can be stored.
    if (ReadPlainDecimal(text, !format.decimalComma, value)) {
        return true;
    }
    // Most fields are plain numbers, which strtof reads whole; with the decimal comma, one with a
    // point is not (the point separates groups, or is a problem).
    if (!format.decimalComma || text.find('.') == std::string_view::npos) {
        std::size_t used = 0;
        if (ReadLeadingFloat(text, value, &used) && used == text.size()) {
            const char* range = StoredRangeProblem(*value);
            if (range != nullptr && problem != nullptr) {
                *problem = range;
            }
            return range == nullptr;
        }
    }
    std::string what = ReadGroupedNumber(text, format, value);
    if (what.empty()) {
        return true;
    }
    if (problem != nullptr) {
        *problem = std::move(what);
    }
    return false;
}

}  // namespace engine
