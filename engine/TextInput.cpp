#include "engine/TextInput.h"

#include <locale.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <system_error>

#ifdef KORVEX_HAVE_FAST_FLOAT
#include <fast_float/fast_float.h>
#endif

namespace engine {
namespace {

constexpr std::size_t kReadChunk = 64 * 1024;

#ifdef _WIN32
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

LineReader::LineReader(std::unique_ptr<msdb::ReadableFile> file) : file_(std::move(file)) {}

bool LineReader::Fill(msdb::Status* status) {
    if (eof_) {
        return false;
    }
    buffer_.erase(0, pos_);
    pos_ = 0;
    std::size_t old = buffer_.size();
    buffer_.resize(old + kReadChunk);
    std::size_t got = 0;
    *status = file_->Read(kReadChunk, buffer_.data() + old, &got);
    buffer_.resize(old + got);
    if (!status->ok() || got < kReadChunk) {
        eof_ = true;
    }
    return status->ok() && got > 0;
}

msdb::Status LineReader::Next(std::string_view* piece, bool* got) {
    *piece = std::string_view();
    *got = false;
    msdb::Status status;
    while (buffer_.size() - pos_ < kMaxLineRead &&
           std::memchr(buffer_.data() + pos_, '\n', buffer_.size() - pos_) == nullptr) {
        if (!Fill(&status)) {
            if (!status.ok()) {
                return status;
            }
            break;  // the end of the file
        }
    }
    std::size_t limit = std::min(buffer_.size() - pos_, kMaxLineRead);
    if (limit == 0) {
        return msdb::Status::Ok();
    }
    const char* start = buffer_.data() + pos_;
    const void* feed = std::memchr(start, '\n', limit);
    std::size_t take = feed == nullptr ? limit : static_cast<const char*>(feed) - start + 1;
    *piece = std::string_view(start, take);
    pos_ += take;
    *got = true;
    pieceLine_ = nextLine_;
    if (feed != nullptr) {
        ++nextLine_;
    }
    return msdb::Status::Ok();
}

std::string_view LineText(std::string_view piece) {
    piece = piece.substr(0, piece.find('\0'));
    if (!piece.empty() && piece.back() == '\n') {
        piece.remove_suffix(1);
        if (!piece.empty() && piece.back() == '\r') {
            piece.remove_suffix(1);
        }
    }
    return piece;
}

std::size_t SplitFields(std::string_view text, char delimiter, FieldSlots* slots) {
    std::size_t count = 0;
    const char* p = text.data();
    const char* end = p + text.size();
    while (count < slots->size()) {
        while (p < end && *p == delimiter) {
            ++p;
        }
        if (p == end) {
            break;
        }
        const char* start = p;
        while (p < end && *p != delimiter) {
            ++p;
        }
        (*slots)[count++].assign(start, static_cast<std::size_t>(p - start));
    }
    return count;
}

bool ReadLeadingFloat(const std::string& text, float* value) {
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
            return true;
        }
    }
#endif
    static const CLocale cLocale = MakeCLocale();
    char* stop = nullptr;
    float result = StrToFloat(text.c_str(), &stop, cLocale);
    if (stop == text.c_str()) {
        return false;
    }
    *value = result;
    return true;
}

}  // namespace engine
