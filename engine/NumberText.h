// Numbers as people's files write them: a field is read whole as one number, or it is a problem.
// Beyond what strtof reads in the "C" locale (a sign, digits, a decimal point, an exponent, also
// inf, nan and hexadecimal forms), a number may hold grouping separators between groups of three
// digits, a decimal comma, and, for volume and open interest, a K, M or B for thousand, million
// and billion, as price sites write them.
#pragma once

#include <bit>
#include <cfloat>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace engine {

// How the numbers of a file are written.
struct NumberFormat {
    bool decimalComma = false;  // "10,5" is 10.5
    bool suffixes = false;      // K, M and B after the number (volume and open interest)
};

// Reads `text` (blanks around it aside) whole as one number of `format` into `*value`: true when
// it is read, else false with what is wrong with it in `*problem` (when given):
//   "is not a number", with a hint where a separator was probably meant otherwise;
//   "holds a point, but numbers are read with a decimal comma";
//   "is too large to be stored" (NaN, infinity, 2^127 or more), "is too small to be stored" (not
//   0, but below the smallest number a price file holds, 2^-128).
// Grouping separators are taken only where they are well formed (groups of exactly three digits
// after the first of one to three): with the decimal point "," and "'"; with the decimal comma
// ".", a space, a no-break space and "'". (A field holds the delimiter only when it is quoted.)
inline bool ReadNumberText(std::string_view text, const NumberFormat& format, float* value,
                           std::string* problem = nullptr);

namespace number_text {

// The most digits of a number that the reading without strtof takes: below 2^53.
constexpr std::ptrdiff_t kExactDigits = 15;

// Reads the digits of a number of one to eight bytes, `text`, all at once, as one word of a
// little-endian machine: the 8 bytes that end where `text` ends must be readable. Sets
// `*mantissa` to the digits as a whole number, `*fraction` to how many of them follow the decimal
// point and `*negative`, and returns true, for exactly the texts that the byte-by-byte reading of
// ReadPlainDecimal takes: a minus sign or not, digits, and a decimal point between digits when
// `point` allows it. False for anything else.
inline bool ReadShortDigits(std::string_view text, bool point, std::uint64_t* mantissa,
                            std::ptrdiff_t* fraction, bool* negative) {
    constexpr std::uint64_t kOnes = 0x0101010101010101;
    // The text in the top bytes of the word, last byte highest; the bytes before it are not its.
    const std::size_t first = 8 - text.size();  // the byte of the word that holds the first
    std::uint64_t word = 0;
    std::memcpy(&word, text.data() - first, sizeof word);
    std::uint64_t mine = ~std::uint64_t{0} << (8 * first);
    *negative = ((word >> (8 * first)) & 0xFF) == '-';
    if (*negative) {
        mine <<= 8;  // the sign is read: a leading zero (none is left of a text of "-" alone)
    }
    // A digit's value where the text has a digit, and the top bit of each of its bytes that holds
    // something else (0x7F + 0x76 carries into no other byte).
    const std::uint64_t values = word ^ (kOnes * '0');
    const std::uint64_t other =
        (((values & (kOnes * 0x7F)) + kOnes * 0x76) | values) & (kOnes * 0x80) & mine;
    std::uint64_t digits = values & mine;
    *fraction = 0;
    if (other != 0) {
        // One decimal point, with a digit before and after it, and nothing else: the digits
        // before it move up into its place.
        const int at = std::countr_zero(other) / 8;
        const std::uint64_t below = (std::uint64_t{1} << (8 * at)) - 1;
        if (!point || (other & (other - 1)) != 0 || at == 0 || at == 7 ||
            ((mine >> (8 * at - 8)) & 1) == 0 || ((values >> (8 * at)) & 0xFF) != ('.' ^ '0')) {
            return false;
        }
        digits = (digits & ~(below | (below + 1) * 0xFF)) | ((digits & below) << 8);
        *fraction = 7 - at;
    } else if (mine == 0) {
        return false;  // no digit
    }
    // Pairs, fours and the eight joined, the leading zeros adding nothing.
    std::uint64_t v = digits * 10 + (digits >> 8);
    constexpr std::uint64_t kPairs = 0x000000FF000000FF;
    v = ((v & kPairs) * (100 + (std::uint64_t{1000000} << 32)) +
         ((v >> 16) & kPairs) * (1 + (std::uint64_t{10000} << 32))) >>
        32;
    *mantissa = v & 0xFFFFFFFF;
    return true;
}

// The float of the plain number `mantissa` over 10^`fraction`, negated when `negative`, into
// `*value`: false, with `*value` untouched, when it may round otherwise than strtof rounds. A
// number of at most kExactDigits digits, and the power of ten it is divided by, a double holds
// exactly, so one division rounds the quotient correctly to a double; rounding that to a float
// gives what strtof gives unless the double lies halfway between two floats. A number of at most
// 2^24 over at most 10^10 a float holds exactly as well, and one float division rounds it as
// strtof does.
inline bool PlainToFloat(std::uint64_t mantissa, std::ptrdiff_t fraction, bool negative,
                         float* value) {
    static_assert(FLT_EVAL_METHOD == 0, "the division must round to its operands' type");
    static constexpr double kPowersOfTen[kExactDigits] = {
        1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14};
    constexpr std::uint64_t kExactInFloat = std::uint64_t{1} << 24;
    constexpr std::ptrdiff_t kExactFloatPowers = 11;  // 5^10 is below 2^24
    static constexpr float kFloatPowersOfTen[kExactFloatPowers] = {
        1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f, 1e8f, 1e9f, 1e10f};
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

// Reads the plainest and commonest numbers, as "123", "-12.50" or "1234567.89": digits, with a
// decimal point and more digits when `point` allows it, at most kExactDigits digits in all, no
// blanks. A number read so can be stored. False, with `*value` untouched, for anything else, and
// where PlainToFloat might round otherwise than strtof. Here, so that the reading of a line does
// it without a call.
inline bool ReadPlainDecimal(std::string_view text, bool point, float* value) {
    const char* p = text.data();
    const char* const end = p + text.size();
    const bool negative = p != end && *p == '-';
    p += negative ? 1 : 0;
    const char* const first = p;
    std::uint64_t mantissa = 0;
    // One comparison a digit: a byte below '0' wraps around to a large value.
    for (unsigned digit; p != end && (digit = static_cast<unsigned char>(*p) - 48U) <= 9; ++p) {
        mantissa = mantissa * 10 + digit;
    }
    const std::ptrdiff_t integerDigits = p - first;
    std::ptrdiff_t fraction = 0;
    if (point && p != end && *p == '.' && integerDigits > 0) {
        const char* const decimals = ++p;
        for (unsigned digit; p != end && (digit = static_cast<unsigned char>(*p) - 48U) <= 9; ++p) {
            mantissa = mantissa * 10 + digit;
        }
        fraction = p - decimals;
    }
    // No digits, "5." and ".5", anything after the number, or too many digits (which may also
    // have overflowed the mantissa): the long way.
    if (integerDigits == 0 || p != end || p[-1] == '.' || integerDigits + fraction > kExactDigits) {
        return false;
    }
    return PlainToFloat(mantissa, fraction, negative, value);
}

// ReadPlainDecimal for a text of one to eight bytes, whose digits ReadShortDigits reads at once:
// the 8 bytes that end where `text` ends must be readable, as they are in the middle of a line.
inline bool ReadShortPlainDecimal(std::string_view text, bool point, float* value) {
    if constexpr (std::endian::native != std::endian::little) {
        return ReadPlainDecimal(text, point, value);  // the first byte of a word is not its lowest
    }
    std::uint64_t mantissa = 0;
    std::ptrdiff_t fraction = 0;
    bool negative = false;
    return ReadShortDigits(text, point, &mantissa, &fraction, &negative) &&
           PlainToFloat(mantissa, fraction, negative, value);
}

// ReadNumberText for what ReadPlainDecimal does not read.
bool ReadOtherNumber(std::string_view text, const NumberFormat& format, float* value,
                     std::string* problem);

}  // namespace number_text

inline bool ReadNumberText(std::string_view text, const NumberFormat& format, float* value,
                           std::string* problem) {
    // Nearly every field of a price file, read without strtof.
    return number_text::ReadPlainDecimal(text, !format.decimalComma, value) ||
           number_text::ReadOtherNumber(text, format, value, problem);
}

}  // namespace engine
