#include "engine/NumberText.h"

#include <algorithm>
#include <cctype>
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

namespace number_text {

bool ReadOtherNumber(std::string_view text, const NumberFormat& format, float* value,
                     std::string* problem) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    // A plain decimal between blanks; a number read so can be stored.
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

}  // namespace number_text
}  // namespace engine
