#include "engine/FileSymbol.h"

#include "msdb/CodePage.h"
#include "msdb/Encoding.h"

namespace engine {
namespace {

// The code point that starts at `text[*at]` (UTF-8), moving `*at` past it; a byte that starts no
// character is taken as it is.
char32_t NextCharacter(const std::string& text, std::size_t* at) {
    const auto lead = static_cast<unsigned char>(text[*at]);
    const std::size_t length = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    if (length == 1 || *at + length > text.size()) {
        ++*at;
        return lead;
    }
    char32_t c = lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        c = (c << 6) | (static_cast<unsigned char>(text[*at + k]) & 0x3F);
    }
    *at += length;
    return c;
}

std::string Utf8(char32_t c) {
    std::string out;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

// The capital of the small letters that the Windows code pages hold (Latin, Greek, Cyrillic);
// any other character as it is.
char32_t Capital(char32_t c) {
    const bool pairedEvenOdd = (c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177);
    const bool pairedOddEven = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if ((c >= U'a' && c <= U'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7) ||
        (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2) || (c >= 0x430 && c <= 0x44F)) {
        return c - 0x20;
    }
    if (c == 0xFF) {
        return 0x178;
    }
    if ((pairedEvenOdd && c % 2 == 1) || (pairedOddEven && c % 2 == 0)) {
        return c - 1;
    }
    if (c >= 0x450 && c <= 0x45F) {
        return c - 0x50;
    }
    if (c == 0x3C2) {
        return 0x3A3;  // final sigma
    }
    return c;
}

}  // namespace

std::string SymbolOfFile(const std::string& path, int codePage) {
    // The name and its last extension are found in the UTF-8 text itself: std::filesystem would
    // take a narrow path in the system's code page on Windows.
    const std::size_t slash = path.find_last_of("/\\");
    std::string stem = slash == std::string::npos ? path : path.substr(slash + 1);
    if (const std::size_t dot = stem.rfind('.'); dot != std::string::npos && dot > 0) {
        stem.resize(dot);
    }
    std::string symbol;
    std::size_t characters = 0;
    for (std::size_t at = 0; at < stem.size() && characters < limits::kMaxSymbolLength;) {
        const std::string character = Utf8(Capital(NextCharacter(stem, &at)));
        std::string encoded;
        if (!msdb::EncodeText(character, codePage, &encoded)) {
            symbol += character;
            ++characters;
        }
    }
    return symbol;
}

}  // namespace engine
