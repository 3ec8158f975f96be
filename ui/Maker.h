// Who makes Korvex, as the About box shows it.
#pragma once

namespace maker {

inline constexpr const char* kName = "Halvorn";
inline constexpr const char* kEmail = "korvex@halvorn.example";
inline constexpr const char* kMailbox = "korvex";  // the part of kEmail before "@"
inline constexpr const char* kWeb = "https://www.halvorn.example/korvex";

}  // namespace maker
