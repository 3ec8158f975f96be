// Reading the input text: lines of limited length, fields split at a delimiter, and numbers read
// the same way whatever the locale of the process.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <string_view>

#include "engine/ConversionSettings.h"
#include "msdb/FileSystem.h"

namespace engine {

// The longest piece of a line that one read takes; a longer line is read as several pieces.
inline constexpr std::size_t kMaxLineRead = 299;

// The most fields of a line that are read; the rest of a longer line is not looked at.
inline constexpr std::size_t kFieldSlotCount = limits::kLastColumn;

// The texts of a line's fields, kept from line to line.
using FieldSlots = std::array<std::string, kFieldSlotCount>;

// Reads a text file in pieces as fgets does with a 301-byte buffer: at most 299 bytes, up to and
// including the next line feed.
class LineReader {
public:
    explicit LineReader(std::unique_ptr<msdb::ReadableFile> file);

    // Reads the next piece; `*got` is false at the end of the file. The piece stays valid until
    // the next call.
    [[nodiscard]] msdb::Status Next(std::string_view* piece, bool* got);

    // The number of the line (counted from 1) in which the last piece read starts.
    int LineNumber() const { return pieceLine_; }

private:
    // Reads more of the file behind what is left in the buffer; false at the end or on an error.
    bool Fill(msdb::Status* status);

    std::unique_ptr<msdb::ReadableFile> file_;
    std::string buffer_;
    std::size_t pos_ = 0;
    bool eof_ = false;
    int nextLine_ = 1;
    int pieceLine_ = 0;
};

// The text of a piece as a line: up to its first NUL, without a final line feed and a carriage
// return before it.
std::string_view LineText(std::string_view piece);

// Splits `text` at every `delimiter`; runs of delimiters count as one and delimiters at either end
// are ignored, so no field is empty. At most kFieldSlotCount fields are stored, in order; the
// number stored is returned and the other slots keep their texts.
std::size_t SplitFields(std::string_view text, char delimiter, FieldSlots* slots);

// Reads a decimal number from the start of `text` as strtof reads it in the "C" locale: leading
// white space, an optional sign, digits with an optional point and exponent (also "inf", "nan" and
// hexadecimal forms). False when the text does not start with a number.
bool ReadLeadingFloat(const std::string& text, float* value);

}  // namespace engine
