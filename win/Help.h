// The help pages: the same HTML pages as the Linux program's, shipped in a folder help\ beside
// korvex.exe and opened in the user's browser.
#pragma once

#include <windows.h>

#include <string>

// Opens `page` ("index.html", "settings.html", ...) of the help pages; tells the user, over
// `owner`, when the pages are not there.
void OpenHelp(HWND owner, const std::string& page);
