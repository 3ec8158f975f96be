// Reading the input text: lines of limited length, fields split at a delimiter, and numbers read
// the same way whatever the locale of the process.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "engine/ConversionSettings.h"
#include "msdb/FileSystem.h"

namespace engine {

// The longest line that is read; a longer one is a problem and gives no record.
inline constexpr std::size_t kMaxLineLength = 65536;

// The most fields of a line that are read; the rest of a longer line is not looked at.
inline constexpr std::size_t kFieldSlotCount = limits::kLastColumn;

// The texts of a line's fields.
using FieldSlots = std::array<std::string, kFieldSlotCount>;

// What is wrong with a text file that is not plain text, from its first bytes: a UTF-32 byte order
// mark. Empty when none is there.
std::string_view ByteOrderMarkOfNonText(std::string_view start);

// The number of a line of a file, from 1: a file may have more lines than an int counts.
using LineNumber = std::int64_t;

// Reads a text file line by line. A line ends at a line feed, a carriage return followed by a line
// feed, or a lone carriage return; the last line needs no end. A UTF-8 byte order mark at the start
// of the file is not part of line 1. A file in UTF-16, as spreadsheets save "Unicode Text" (little
// or big endian, told by its byte order mark or, without one, by the zero bytes of its ASCII
// characters), is read as the same text in UTF-8; what is not UTF-16 in it reads as U+FFFD.

class LineReader {
public:
    explicit LineReader(std::unique_ptr<msdb::ReadableFile> file);

    // Reads the next line, without its end; `*got` is false at the end of the file. The text stays
    // valid until the next call. A line longer than kMaxLineLength is read to its end but given
    // as empty, and TooLong() says so.
    [[nodiscard]] msdb::Status Next(std::string_view* line, bool* got);

    // The number (from 1) of the line read last.
    engine::LineNumber LineNumber() const { return lineNumber_; }
    // True when the line read last was longer than kMaxLineLength.
    bool TooLong() const { return tooLong_; }
    // True when the line read last held a NUL byte.
    bool HoldsNul() const { return holdsNul_; }

private:
    // Reads more of the file behind what is left in the buffer; false at the end or on an error.
    bool Fill(msdb::Status* status);
    // Appends `bytes` to the buffer as UTF-8, decoding them when the file is UTF-16.
    void Take(std::string_view bytes);
    // Where the first `c` of the buffer at `from` or later is, when it lies before `to`; else
    // `to`. `*next` remembers where the search found it, so that the lines after it need not
    // look again: most files hold no carriage return and no NUL at all.
    std::size_t Find(char c, std::size_t from, std::size_t to, std::size_t* next) const;

    // How the file's bytes become text: as they are, or decoded from UTF-16.
    enum class Encoding { kUnknown, kBytes, kUtf16LittleEndian, kUtf16BigEndian };

    std::unique_ptr<msdb::ReadableFile> file_;
    std::string buffer_;
    std::size_t pos_ = 0;
    bool eof_ = false;
    bool started_ = false;
    engine::LineNumber lineNumber_ = 0;
    bool tooLong_ = false;
    bool holdsNul_ = false;
    Encoding encoding_ = Encoding::kUnknown;
    std::string undecoded_;  // UTF-16 bytes that end a block: an odd byte, a lead surrogate
    // The next carriage return and NUL in the buffer, for Find: npos when not looked for since
    // the buffer last changed, the buffer's size when there is none.
    std::size_t nextCr_ = std::string::npos;
    std::size_t nextNul_ = std::string::npos;
};

// The fields of one line as views of the line itself, but for a quoted field that holds a doubled
// quote, whose text is kept here. Valid while the line's text is, until the next split.
struct FieldViews {
    std::array<std::string_view, kFieldSlotCount> text{};
    std::size_t count = 0;  // the fields stored; the views past them are empty
    std::array<std::string, kFieldSlotCount> unquoted;  // quoted fields that held ""
};

// Splits `line` into its fields. With a comma or a tab every delimiter separates two fields, so
// "1,,2" holds three and a delimiter at the end makes an empty last field; with a space a run of
// spaces is one separator and spaces at either end are not fields. Blanks (spaces and tabs; with
// the space delimiter spaces only) around a field are not part of it. A field that begins, after
// blanks, with a double quote ends at the first lone double quote followed, after blanks, by the
// delimiter or the line end: the outer quotes go and "" inside stands for one "; without such a
// quote the field is read as it stands. The first kFieldSlotCount fields are stored; the number of
// fields stored is returned and the other slots are emptied.
std::size_t SplitFields(std::string_view line, char delimiter, FieldSlots* slots);
// The same fields as views, without copying their texts; returns `fields->count`.
std::size_t SplitFields(std::string_view line, char delimiter, FieldViews* fields);

// Reads a decimal number from the start of `text` as strtof reads it in the "C" locale: leading
// white space, an optional sign, digits with an optional point and exponent (also "inf", "nan" and
// hexadecimal forms). False when the text does not start with a number; else `*used`, when given,
// is the number of characters read.
bool ReadLeadingFloat(std::string_view text, float* value, std::size_t* used = nullptr);

}  // namespace engine
