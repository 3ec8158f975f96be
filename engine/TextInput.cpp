#include "engine/TextInput.h"

#include <clocale>
#include <cstdlib>

#ifdef _WIN32
#include <locale.h>
#else
#include <locale.h>
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

LineReader::LineReader(std::unique_ptr<msdb::ReadableFile> file) : m_file(std::move(file)) {}

bool LineReader::Fill(msdb::Status* status) {
    if (m_eof) {
        return false;
    }
    m_buffer.erase(0, m_pos);
    m_pos = 0;
    std::size_t old = m_buffer.size();
    m_buffer.resize(old + kReadChunk);
    std::size_t got = 0;
    *status = m_file->Read(kReadChunk, m_buffer.data() + old, &got);
    m_buffer.resize(old + got);
    if (!status->ok() || got < kReadChunk) {
        m_eof = true;
    }
    return status->ok() && got > 0;
}

msdb::Status LineReader::Next(std::string* piece, bool* got) {
    piece->clear();
    *got = false;
    msdb::Status status;
    for (;;) {
        std::string_view rest(m_buffer.data() + m_pos, m_buffer.size() - m_pos);
        std::size_t limit = std::min(rest.size(), kMaxLineRead - piece->size());
        std::size_t feed = rest.substr(0, limit).find('\n');
        std::size_t take = feed == std::string_view::npos ? limit : feed + 1;
        piece->append(rest.substr(0, take));
        m_pos += take;
        bool complete = feed != std::string_view::npos || piece->size() == kMaxLineRead;
        if (!complete && !Fill(&status)) {
            if (!status.ok()) {
                return status;
            }
            complete = true;  // end of file
        }
        if (complete) {
            *got = !piece->empty();
            if (*got) {
                m_pieceLine = m_nextLine;
                if (piece->back() == '\n') {
                    ++m_nextLine;
                }
            }
            return msdb::Status::Ok();
        }
    }
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

std::size_t SplitFields(std::string_view text, char delimiter, std::array<std::string, 20>* slots) {
    std::size_t count = 0;
    std::size_t pos = 0;
    while (count < slots->size()) {
        pos = text.find_first_not_of(delimiter, pos);
        if (pos == std::string_view::npos) {
            break;
        }
        std::size_t end = text.find(delimiter, pos);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        (*slots)[count++].assign(text.substr(pos, end - pos));
        pos = end;
    }
    return count;
}

bool ReadLeadingFloat(const std::string& text, float* value) {
    static const CLocale cLocale = MakeCLocale();
    char* end = nullptr;
    float result = StrToFloat(text.c_str(), &end, cLocale);
    if (end == text.c_str()) {
        return false;
    }
    *value = result;
    return true;
}

}  // namespace engine
