#include "Help.h"

#include <shellapi.h>

#include "Text.h"

void OpenHelp(HWND owner, const std::string& page) {
    std::wstring program(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, program.data(), static_cast<DWORD>(program.size()));
        if (length < program.size()) {
            program.resize(length);
            break;
        }
        program.resize(program.size() * 2);
    }
    const std::wstring path =
        program.substr(0, program.find_last_of(L"\\/") + 1) + L"help\\" + Wide(page);
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        MessageBoxW(
            owner,
            (L"The help pages are not installed beside the program: " + path + L" is missing.")
                .c_str(),
            L"Korvex", MB_OK | MB_ICONINFORMATION);
        return;
    }
    // The browser the user chose for .html files opens it.
    const auto opened = reinterpret_cast<INT_PTR>(
        ShellExecuteW(owner, L"open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    if (opened <= 32) {
        MessageBoxW(owner, (L"No program could open the help page " + path + L".").c_str(),
                    L"Korvex", MB_OK | MB_ICONINFORMATION);
    }
}
