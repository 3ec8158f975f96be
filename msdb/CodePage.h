// The text of MASTER, EMASTER and XMASTER (symbols and names) is written in a single-byte Windows
// code page, as the Windows programs that read these directories take it: Windows-1252 unless the
// user chooses another of 1250 to 1258. Korvex's own text is UTF-8.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace msdb {

inline constexpr int kDefaultCodePage = 1252;
inline constexpr int kFirstCodePage = 1250;
inline constexpr int kLastCodePage = 1258;

// True for the code pages Korvex writes: 1250 to 1258.
constexpr bool IsCodePage(int page) {
    return page >= kFirstCodePage && page <= kLastCodePage;
}

// The script of a code page, as Windows names it: "Central European", "Cyrillic" ...
std::string_view CodePageName(int page);

// `utf8` in code page `page` into `*bytes`. Nothing when all of it is there; else the first
// character that the code page lacks, as UTF-8 (a byte that is not UTF-8 is its own character).
std::optional<std::string> EncodeText(std::string_view utf8, int page, std::string* bytes);

// `bytes` of code page `page` as UTF-8; a byte the code page leaves undefined is U+FFFD.
std::string DecodeText(std::string_view bytes, int page);

// The first code page of 1250 to 1258 that holds every character of `utf8`, or nothing.
std::optional<int> CodePageHolding(std::string_view utf8);

}  // namespace msdb
