// Numbers as people's files write them: a field is read whole as one number, or it is a problem.
// Beyond what strtof reads in the "C" locale (a sign, digits, a decimal point, an exponent, also
// inf, nan and hexadecimal forms), a number may hold grouping separators between groups of three
// digits, a decimal comma, and, for volume and open interest, a K, M or B for thousand, million
// and billion, as price sites write them.
#pragma once

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
bool ReadNumberText(std::string_view text, const NumberFormat& format, float* value,
                    std::string* problem = nullptr);

}  // namespace engine
