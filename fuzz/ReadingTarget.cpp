// fuzz_reading: the reading of a price file alone, in memory: lines (in UTF-8, or the same text in
// UTF-16), fields, numbers and dates, under settings taken from the input's first bytes. What must
// hold of any input:
//   - a record that can be stored has a date that exists, from 1961 to 2099;
//   - every number stored is finite and below 2^127;
//   - a plain decimal number reads as strtof reads it, bit for bit;
//   - text in UTF-8 reads line for line as the same text does in UTF-16.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/InputParser.h"
#include "engine/NumberText.h"
#include "engine/TextInput.h"
#include "fuzz/FuzzSupport.h"
#include "msdb/MemoryFile.h"
#include "msdb/Reader.h"

namespace {

constexpr std::array<char, 4> kDelimiters = {',', '\t', ';', ' '};

std::vector<std::string> Lines(const std::string& bytes) {
    engine::LineReader reader(std::make_unique<msdb::MemoryFile>(bytes));
    std::vector<std::string> lines;
    std::string_view line;
    bool got = true;
    while (reader.Next(&line, &got).ok() && got) {
        lines.emplace_back(line);
    }
    return lines;
}

// True when `text` is well-formed UTF-8 without a NUL: text that UTF-16 can carry unchanged (no
// surrogate, nothing past U+10FFFF, no character written longer than it needs).
bool IsPlainUtf8(std::string_view text) {
    constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    for (std::size_t at = 0; at < text.size();) {
        const auto c = static_cast<unsigned char>(text[at]);
        const std::size_t length = c == 0           ? 0
                                   : c < 0x80       ? 1
                                   : (c >> 5) == 6  ? 2
                                   : (c >> 4) == 14 ? 3
                                   : (c >> 3) == 30 ? 4
                                                    : 0;
        if (length == 0 || at + length > text.size()) {
            return false;
        }
        char32_t code = length == 1 ? c : c & (0x7F >> length);
        for (std::size_t i = 1; i < length; ++i) {
            const auto next = static_cast<unsigned char>(text[at + i]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            code = (code << 6) | (next & 0x3F);
        }
        if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            return false;
        }
        at += length;
    }
    return true;
}

// UTF-8 `text` (well formed, checked above) as UTF-16 little endian with its byte order mark,
// which takes the place of a UTF-8 one.
std::string Utf16(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.remove_prefix(3);
    }
    std::string out = "\xFF\xFE";
    auto unit = [&](char32_t u) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>(u >> 8);
    };
    for (std::size_t at = 0; at < text.size();) {
        const auto c = static_cast<unsigned char>(text[at]);
        const std::size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : 4;
        char32_t code = length == 1 ? c : c & (0x7F >> length);
        for (std::size_t i = 1; i < length; ++i) {
            code = (code << 6) | (static_cast<unsigned char>(text[at + i]) & 0x3F);
        }
        at += length;
        if (code >= 0x10000) {
            unit(0xD800 + ((code - 0x10000) >> 10));
            unit(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            unit(code);
        }
    }
    return out;
}

bool IsPlainDecimal(std::string_view text) {
    bool digits = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            digits = true;
        } else if (!(c == '.' || ((c == '-' || c == '+') && i == 0))) {
            return false;
        }
    }
    return digits;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::ByteReader input(std::string_view(reinterpret_cast<const char*>(data), size));
    const std::uint8_t flags = input.Byte();
    const int dateFormat = 1 + input.Byte() % msdb::kDateFormatCount;
    const std::string text(input.Rest());

    engine::ConversionSettings settings;
    settings.delimiter = kDelimiters[flags & 3];
    settings.decimalComma = (flags & 4) != 0 && settings.delimiter != ',';
    settings.dateFormat = static_cast<engine::DateFormat>(dateFormat);
    engine::InputParser parser(settings, std::make_unique<msdb::MemoryFile>(text));
    for (int records = 0; records < 1000; ++records) {
        bool got = false;
        if (!parser.NextLine(&got).ok() || !got) {
            break;
        }
        const engine::PriceRecord record = parser.ReadRecord();
        if (parser.Usable()) {
            const std::optional<msdb::CalendarDay> day =
                msdb::StoredDateToDay(record.values[engine::PriceField::kDate]);
            if (!day || day->year < 1961 || day->year > 2099) {
                fuzz::Fail("a record that can be stored has no date from 1961 to 2099");
            }
        }
        for (engine::PriceField field : msdb::kPriceFields) {
            const float value = msdb::FromMbf(record.values[field]);
            if (field != engine::PriceField::kDate &&
                (!std::isfinite(value) || std::fabs(value) >= 0x1p127f)) {
                fuzz::Fail("a number is stored that cannot be");
            }
        }
    }

    // Each field of the first line, read as a number of every kind.
    engine::FieldSlots slots;
    const std::vector<std::string> lines = Lines(text);
    const std::size_t count =
        lines.empty() ? 0 : engine::SplitFields(lines.front(), settings.delimiter, &slots);
    for (std::size_t i = 0; i < count; ++i) {
        for (bool suffixes : {false, true}) {
            float value = 0;
            const bool read =
                engine::ReadNumberText(slots[i], {settings.decimalComma, suffixes}, &value);
            if (read && (!std::isfinite(value) || std::fabs(value) >= 0x1p127f)) {
                fuzz::Fail("a number is read that cannot be stored");
            }
            if (read && !settings.decimalComma && IsPlainDecimal(slots[i])) {
                const float expected = std::strtof(slots[i].c_str(), nullptr);
                if (std::memcmp(&expected, &value, sizeof value) != 0) {
                    fuzz::Fail("a plain number reads otherwise than strtof reads it");
                }
            }
        }
    }

    if ((flags & 8) != 0 && IsPlainUtf8(text) && Lines(Utf16(text)) != lines) {
        fuzz::Fail("the same text reads as other lines in UTF-16");
    }
    return 0;
}
