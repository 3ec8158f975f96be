// Drives korvex.exe as a user would, by window messages, and checks what it shows and keeps:
//
//     win_shell_test KORVEX_EXE PRICE_FILE
//
// Starts korvex.exe on PRICE_FILE with settings under a key of their own, finds its main window,
// reads the session log (the file's first lines), clears the window, closes it and checks that the
// placement and the recent file reached the registry. (Wine gives no menu of another process, so
// the File menu's list is seen in pictures only.) Exit
// status 0 when all holds; each failure is printed.
#include <windows.h>

#include <cstdio>
#include <string>

#include "win/Resources.h"

namespace {

int failures = 0;

void Check(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "FAILED: %s\n", what);
        ++failures;
    }
}

// The text of a control of another process: GetWindowText gives only captions across processes.
std::wstring WindowText(HWND window) {
    const auto length = static_cast<std::size_t>(SendMessageW(window, WM_GETTEXTLENGTH, 0, 0));
    std::wstring text(length + 1, L'\0');
    const auto got = static_cast<std::size_t>(
        SendMessageW(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data())));
    text.resize(got);
    return text;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: win_shell_test KORVEX_EXE PRICE_FILE\n");
        return 2;
    }
    const std::wstring key =
        L"Software\\Halvorn\\KorvexShellTest" + std::to_wstring(GetCurrentProcessId());
    SetEnvironmentVariableW(L"KORVEX_SETTINGS", key.c_str());
    std::wstring command = L"\"" + std::wstring(argv[1]) + L"\" \"" + argv[2] + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        std::fprintf(stderr, "korvex.exe could not be started\n");
        return 1;
    }
    HWND main = nullptr;
    for (int i = 0; i < 300 && main == nullptr; ++i) {
        Sleep(100);
        main = FindWindowW(L"KorvexMainWindow", L"Korvex");
    }
    Check(main != nullptr, "the main window shows");
    if (main != nullptr) {
        HWND log = FindWindowExW(main, nullptr, L"EDIT", nullptr);
        Check(log != nullptr, "the main window has its log pane");
        std::wstring text;
        for (int i = 0; i < 100 && log != nullptr && text.empty(); ++i) {
            text = WindowText(log);
            Sleep(text.empty() ? 100 : 0);
        }
        Check(text.find(L"To help you with the conversion settings, your file...") == 0,
              "the log starts with the opened file");
        Check(text.find(L"looks like this...\r\n\r\n") != std::wstring::npos,
              "the log says what the file looks like");
        Check(text.find(L"2024-01-02,1,2,1,2,100,7\r\n") != std::wstring::npos,
              "the log shows the file's first lines");

        SendMessageW(main, WM_COMMAND, IDM_CLEAR_WINDOW, 0);
        Check(log != nullptr && WindowText(log).empty(), "Clear Window empties the log");

        PostMessageW(main, WM_CLOSE, 0, 0);
    }
    const bool ended = WaitForSingleObject(process.hProcess, 20000) == WAIT_OBJECT_0;
    DWORD status = 1;
    GetExitCodeProcess(process.hProcess, &status);
    Check(ended && status == 0, "korvex.exe ends with status 0 when its window is closed");
    if (!ended) {
        TerminateProcess(process.hProcess, 1);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);

    wchar_t width[32] = {};
    DWORD size = sizeof width;
    const std::wstring screen = key + L"\\Screen";
    Check(RegGetValueW(HKEY_CURRENT_USER, screen.c_str(), L"cx", RRF_RT_REG_SZ, nullptr, width,
                       &size) == ERROR_SUCCESS &&
              _wtoi(width) > 0,
          "the window's placement is kept in the registry");
    wchar_t first[1024] = {};
    size = sizeof first;
    const std::wstring recentKey = key + L"\\Recent File List";
    Check(RegGetValueW(HKEY_CURRENT_USER, recentKey.c_str(), L"File1", RRF_RT_REG_SZ, nullptr,
                       first, &size) == ERROR_SUCCESS &&
              std::wstring(first).find(L"prices.csv") != std::wstring::npos,
          "the recent file is kept in the registry");
    RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
    if (failures == 0) {
        std::printf("korvex.exe: all checks held\n");
    }
    return failures == 0 ? 0 : 1;
}
