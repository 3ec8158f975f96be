// Help > About Korvex...: the version, the maker with links to write to and to visit, what Korvex
// does and the legal notices.
#pragma once

#include <windows.h>

// Runs the About box over `parent`.
void ShowAboutDialog(HINSTANCE instance, HWND parent);
