#include "engine/TextInput.h"

#include <locale.h>

#include <algorithm>
#include <bit>
#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <system_error>

#ifdef KORVEX_HAVE_FAST_FLOAT
#include <fast_float/fast_float.h>
#endif

namespace engine {
namespace {

constexpr std::size_t kReadChunk = 64 * 1024;
// Room in the buffer for the start of a line left from the block before, so that the buffer of
// a file of short lines is allocated once and never grows.
constexpr std::size_t kCarriedLine = 4 * 1024;

#if defined(__MINGW32__)
// MinGW-w64's own C99 strtof: msvcrt's reads neither hexadecimal numbers nor infinities, so it
// would store other values than the Linux build for the same text. It reads the decimal point of
// the process locale, which korvex-cli never changes from "C".
struct CLocale {};
CLocale MakeCLocale() {
    return {};
}
float StrToFloat(const char* text, char** end, CLocale) {
    return __mingw_strtof(text, end);
}
#elif defined(_WIN32)
using CLocale = _locale_t;
CLocale MakeCLocale() {
    return _create_locale(LC_ALL, "C");
}
float StrToFloat(const char* text, char** end, CLocale locale) {
    return _strtof_l(text, end, locale);
}
#else
using CLocale = locale_t;
CLocale MakeCLocale() {
    return newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
}
float StrToFloat(const char* text, char** end, CLocale locale) {
    return strtof_l(text, end, locale);
}
#endif

}  // namespace

std::string_view ByteOrderMarkOfNonText(std::string_view start) {
    using namespace std::string_view_literals;
    if (start.substr(0, 4) == "\x00\x00\xFE\xFF"sv || start.substr(0, 4) == "\xFF\xFE\x00\x00"sv) {
        return "UTF-32";
    }
    return {};
}

namespace {

// How many of a file's first bytes tell whether it is UTF-16 without a byte order mark.
constexpr std::size_t kGuessBytes = 512;

// True when a file that begins with `start` is UTF-16: by its byte order mark, or by a zero in
// every other byte, as ASCII text in UTF-16 has. `*bigEndian` says which byte comes first.
bool IsUtf16(std::string_view start, bool* bigEndian) {
    using namespace std::string_view_literals;
    if (!ByteOrderMarkOfNonText(start).empty()) {
        return false;
    }
    if (start.starts_with("\xFF\xFE"sv) || start.starts_with("\xFE\xFF"sv)) {
        *bigEndian = start[0] == '\xFE';
        return true;
    }
    const std::size_t pairs = std::min(start.size(), kGuessBytes) / 2;
    std::size_t zeroFirst = 0;
    std::size_t zeroSecond = 0;
    for (std::size_t i = 0; i < pairs; ++i) {
        zeroFirst += start[2 * i] == '\0' ? 1 : 0;
        zeroSecond += start[2 * i + 1] == '\0' ? 1 : 0;
    }
    // Most pairs have their zero on one side, and hardly any on the other (where characters above
    // U+00FF put one now and then).
    const std::size_t most = std::max(zeroFirst, zeroSecond);
    const std::size_t fewest = std::min(zeroFirst, zeroSecond);
    if (pairs < 2 || most * 2 < pairs || fewest * 10 > most) {
        return false;
    }
    *bigEndian = zeroFirst > zeroSecond;
    return true;
}

void AppendUtf8(char32_t c, std::string* out) {
    if (c < 0x80) {
        *out += static_cast<char>(c);
    } else if (c < 0x800) {
        *out += static_cast<char>(0xC0 | (c >> 6));
        *out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *out += static_cast<char>(0xE0 | (c >> 12));
        *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        *out += static_cast<char>(0xF0 | (c >> 18));
        *out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

constexpr char32_t kReplacement = 0xFFFD;

}  // namespace

LineReader::LineReader(std::unique_ptr<msdb::ReadableFile> file) : file_(std::move(file)) {}

bool LineReader::Fill(msdb::Status* status) {
    if (eof_) {
        return false;
    }
    buffer_.erase(0, pos_);
    pos_ = 0;
    nextCr_ = std::string::npos;
    nextNul_ = std::string::npos;
    std::size_t got = 0;
    if (encoding_ == Encoding::kBytes) {
        const std::size_t old = buffer_.size();
        buffer_.reserve(kReadChunk + kCarriedLine);
        buffer_.resize(old + kReadChunk);
        *status = file_->Read(kReadChunk, buffer_.data() + old, &got);
        buffer_.resize(old + got);
    } else {
        std::string block(kReadChunk, '\0');
        *status = file_->Read(kReadChunk, block.data(), &got);
        block.resize(got);
        Take(block);
    }
    if (!status->ok() || got < kReadChunk) {
        eof_ = true;
        if (!undecoded_.empty()) {
            AppendUtf8(kReplacement, &buffer_);  // an odd byte, or a lead surrogate alone
            undecoded_.clear();
        }
    }
    return status->ok() && got > 0;
}

void LineReader::Take(std::string_view bytes) {
    if (encoding_ == Encoding::kUnknown) {
        bool bigEndian = false;
        encoding_ = !IsUtf16(bytes, &bigEndian) ? Encoding::kBytes
                    : bigEndian                 ? Encoding::kUtf16BigEndian
                                                : Encoding::kUtf16LittleEndian;
    }
    if (encoding_ == Encoding::kBytes) {
        buffer_.reserve(kReadChunk + kCarriedLine);
        buffer_.append(bytes);
        return;
    }
    std::string units = undecoded_ + std::string(bytes);
    undecoded_.clear();
    const bool big = encoding_ == Encoding::kUtf16BigEndian;
    auto unit = [&](std::size_t at) {
        const auto first = static_cast<unsigned char>(units[at]);
        const auto second = static_cast<unsigned char>(units[at + 1]);
        return static_cast<char32_t>(big ? (first << 8) | second : (second << 8) | first);
    };
    std::size_t at = 0;
    while (at + 2 <= units.size()) {
        const char32_t c = unit(at);
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (at + 4 > units.size()) {
                break;  // its trail is in the next block
            }
            const char32_t trail = unit(at + 2);
            if (trail >= 0xDC00 && trail <= 0xDFFF) {
                AppendUtf8(0x10000 + ((c - 0xD800) << 10) + (trail - 0xDC00), &buffer_);
                at += 4;
                continue;
            }
            AppendUtf8(kReplacement, &buffer_);
        } else {
            AppendUtf8(c >= 0xDC00 && c <= 0xDFFF ? kReplacement : c, &buffer_);
        }
        at += 2;
    }
    undecoded_ = units.substr(at);
}

std::size_t LineReader::Find(char c, std::size_t from, std::size_t to, std::size_t* next) const {
    if (*next == std::string::npos || *next < from) {
        const void* found = std::memchr(buffer_.data() + from, c, buffer_.size() - from);
        *next = found == nullptr
                    ? buffer_.size()
                    : static_cast<std::size_t>(static_cast<const char*>(found) - buffer_.data());
    }
    return std::min(*next, to);
}

msdb::Status LineReader::Next(std::string_view* line, bool* got) {
    *line = std::string_view();
    *got = false;
    tooLong_ = false;
    holdsNul_ = false;
    msdb::Status status;
    if (!started_) {
        started_ = true;
        while (buffer_.size() < 3 && Fill(&status)) {
        }
        if (!status.ok()) {
            return status;
        }
        if (buffer_.compare(0, 3, "\xEF\xBB\xBF") == 0) {
            pos_ = 3;
        }
    }
    // Look for the line's end, reading on as needed; a line past the limit is read to its end but
    // not kept.
    std::size_t scanned = 0;  // bytes of this line looked at, in the buffer from pos_
    std::size_t dropped = 0;  // bytes of this line already let go
    for (;;) {
        const char* start = buffer_.data() + pos_;
        const std::size_t available = buffer_.size() - pos_;
        // The first LF, then a CR before it if there is one: two fast searches rather than one
        // slow one, as almost every file ends its lines with LF or CR LF.
        std::size_t end = available;
        if (const void* lf = std::memchr(start + scanned, '\n', available - scanned)) {
            end = static_cast<std::size_t>(static_cast<const char*>(lf) - start);
        }
        end = Find('\r', pos_ + scanned, pos_ + end, &nextCr_) - pos_;
        if (!holdsNul_) {
            holdsNul_ = Find('\0', pos_ + scanned, pos_ + end, &nextNul_) < pos_ + end;
        }
        // A carriage return at the end of what is read may have its line feed in the next block.
        const bool needMore = end == available || (start[end] == '\r' && end + 1 == available);
        if (needMore && !eof_) {
            if (end + dropped > kMaxLineLength) {
                // Too long: let go of what was scanned, so that the buffer stays small.
                dropped += end;
                pos_ += end;
                end = 0;
                tooLong_ = true;
            }
            scanned = end;
            if (Fill(&status)) {
                continue;
            }
            if (!status.ok()) {
                return status;
            }
            continue;  // the end of the file: look once more, with eof_ set
        }
        if (end == available && available == 0 && dropped == 0 && !tooLong_) {
            return msdb::Status::Ok();  // nothing left
        }
        ++lineNumber_;
        *got = true;
        tooLong_ = tooLong_ || end + dropped > kMaxLineLength;
        *line = tooLong_ ? std::string_view() : std::string_view(start, end);
        std::size_t next = end;
        if (next < available && start[next] == '\r') {
            ++next;
        }
        if (next < available && start[next] == '\n' && (next == end || start[end] == '\r')) {
            ++next;
        }
        pos_ += next;
        return msdb::Status::Ok();
    }
}

namespace {

// The first `c` in [p, end), or `end`: eight bytes at a time, without a branch for each byte.
const char* FindByte(const char* p, const char* end, char c) {
    if constexpr (std::endian::native == std::endian::little) {
        constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
        const std::uint64_t repeated = 0x0101010101010101ull * static_cast<unsigned char>(c);
        for (; end - p >= 8; p += 8) {
            std::uint64_t word = 0;
            std::memcpy(&word, p, sizeof word);
            const std::uint64_t x = word ^ repeated;  // a zero byte where `c` is
            const std::uint64_t zero = ~(((x & kLow7) + kLow7) | x | kLow7);
            if (zero != 0) {
                return p + std::countr_zero(zero) / 8;
            }
        }
    }
    while (p < end && *p != c) {
        ++p;
    }
    return p;
}

// SplitFields for the commonest line: a delimiter other than the space, and no field that begins
// with a blank or a quote or ends with a blank. False when the line is not such: the general
// reading then fills every slot again.
bool SplitPlainFields(std::string_view line, char delimiter, FieldViews* fields) {
    // A blank, or a control character, which a plain line does not hold: one comparison. (A line
    // sent to the general reading for a control character is split there exactly as here.)
    auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    const char* const begin = line.data();
    const char* const end = begin + line.size();
    const char* at = begin;
    std::size_t count = 0;
    while (count < kFieldSlotCount) {
        const char* const next = FindByte(at, end, delimiter);
        if (next > at && (*at == '"' || isBlank(*at) || isBlank(next[-1]))) {
            return false;
        }
        fields->text[count++] = std::string_view(at, static_cast<std::size_t>(next - at));
        if (next == end) {
            break;
        }
        at = next + 1;
    }
    for (std::size_t k = count; k < fields->count; ++k) {
        fields->text[k] = {};
    }
    fields->count = count;
    return true;
}

}  // namespace

std::size_t SplitFields(std::string_view line, char delimiter, FieldViews* fields) {
    if (delimiter != ' ' && SplitPlainFields(line, delimiter, fields)) {
        return fields->count;
    }
    const std::size_t n = line.size();
    const bool spaces = delimiter == ' ';
    // Blanks around a field: spaces and tabs, but never the delimiter; with the space delimiter
    // the spaces are separators, and a tab is part of a field.
    auto isBlank = [&](char c) { return !spaces && (c == ' ' || c == '\t') && c != delimiter; };
    auto skip = [&](std::size_t at) {
        while (at < n && (isBlank(line[at]) || (spaces && line[at] == ' '))) {
            ++at;
        }
        return at;
    };
    std::size_t count = 0;
    std::size_t i = skip(0);
    if (spaces && i == n) {
        i = n + 1;  // nothing but spaces: no field at all
    }
    while (i <= n && count < kFieldSlotCount) {
        std::string_view& field = fields->text[count];
        std::string& unquoted = fields->unquoted[count];
        ++count;
        field = {};
        i = skip(i);
        std::size_t next = std::string_view::npos;  // where the delimiter after the field is
        if (i < n && line[i] == '"') {
            // The text stays a view of the line until a doubled quote makes it differ.
            bool copied = false;
            for (std::size_t j = i + 1; j < n; ++j) {
                if (line[j] != '"') {
                    if (copied) {
                        unquoted += line[j];
                    }
                } else if (j + 1 < n && line[j + 1] == '"') {
                    if (!copied) {
                        unquoted.assign(line.substr(i + 1, j - i - 1));
                        copied = true;
                    }
                    unquoted += '"';
                    ++j;
                } else if (std::size_t after = skip(j + 1);
                           after == n || (spaces ? after > j + 1 : line[after] == delimiter)) {
                    field = copied ? std::string_view(unquoted) : line.substr(i + 1, j - i - 1);
                    next = spaces ? j + 1 : after;
                    break;
                } else if (copied) {
                    unquoted += '"';  // a lone quote inside is kept
                }
            }
        }
        if (next == std::string_view::npos) {
            next = i;
            while (next < n && line[next] != delimiter) {
                ++next;
            }
            std::size_t last = next;
            while (last > i && isBlank(line[last - 1])) {
                --last;
            }
            field = line.substr(i, last - i);
        }
        if (next >= n) {
            break;
        }
        i = next + 1;  // past the delimiter
        if (spaces && skip(i) == n) {
            break;  // spaces at the end are no field
        }
    }
    for (std::size_t k = count; k < fields->count; ++k) {
        fields->text[k] = {};
    }
    fields->count = count;
    return count;
}

std::size_t SplitFields(std::string_view line, char delimiter, FieldSlots* slots) {
    FieldViews fields;
    const std::size_t count = SplitFields(line, delimiter, &fields);
    for (std::size_t k = 0; k < slots->size(); ++k) {
        (*slots)[k].assign(fields.text[k]);
    }
    return count;
}

bool ReadLeadingFloat(std::string_view text, float* value, std::size_t* used) {
#ifdef KORVEX_HAVE_FAST_FLOAT
    // The common case, a plain decimal number, by a parser that rounds exactly as strtof does;
    // everything else (no digits, hexadecimal, infinity, NaN) is left to strtof itself.
    const char* p = text.data();
    const char* end = p + text.size();
    while (p < end && (*p == ' ' || (*p >= '\t' && *p <= '\r'))) {
        ++p;
    }
    bool negative = p < end && *p == '-';
    if (p < end && (*p == '+' || *p == '-')) {
        ++p;
    }
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    bool decimal = p < end && (digit(*p) || (*p == '.' && p + 1 < end && digit(p[1])));
    bool hexadecimal = p + 1 < end && p[0] == '0' && (p[1] == 'x' || p[1] == 'X');
    if (decimal && !hexadecimal) {
        float parsed = 0.0f;
        fast_float::from_chars_result result = fast_float::from_chars(p, end, parsed);
        if (result.ec == std::errc()) {
            *value = negative ? -parsed : parsed;
            if (used != nullptr) {
                *used = static_cast<std::size_t>(result.ptr - text.data());
            }
            return true;
        }
    }
#endif
    static const CLocale cLocale = MakeCLocale();
    const std::string terminated(text);  // strtof reads up to a NUL
    char* stop = nullptr;
    float result = StrToFloat(terminated.c_str(), &stop, cLocale);
    if (stop == terminated.c_str()) {
        return false;
    }
    *value = result;
    if (used != nullptr) {
        *used = static_cast<std::size_t>(stop - terminated.c_str());
    }
    return true;
}

}  // namespace engine
