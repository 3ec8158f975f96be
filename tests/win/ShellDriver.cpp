// Drives korvex.exe as a user would, by window messages, and checks what it shows and keeps:
//
//     win_shell_test KORVEX_EXE KORVEX_CLI_EXE PRICE_FILE
//
// Converts PRICE_FILE with korvex-cli.exe into a fresh directory as the security XYZ, then starts
// korvex.exe on PRICE_FILE with settings under a key of their own (whose last directory is that
// one), finds its main window and reads the session log (the file's first lines); picks XYZ in
// Remove Security's list, confirms, and finds it removed; clears the window, closes it and checks
// that the placement and the recent file reached the registry. (Wine gives no menu of another
// process, so the File menu's list is seen in pictures only.) Exit
// status 0 when all holds; each failure is printed.
#include <windows.h>

#include <commctrl.h>

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

// Runs `command` and waits for it; its exit status, or -1 when it cannot be started.
int Run(std::wstring command) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return -1;
    }
    WaitForSingleObject(process.hProcess, 60000);
    DWORD status = 1;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(status);
}

// The top-level window of class `className` titled `title`, waited for up to ten seconds.
HWND WaitForWindow(const wchar_t* className, const wchar_t* title) {
    HWND found = nullptr;
    for (int i = 0; i < 100 && found == nullptr; ++i) {
        Sleep(100);
        found = FindWindowW(className, title);
    }
    return found;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: win_shell_test KORVEX_EXE KORVEX_CLI_EXE PRICE_FILE\n");
        return 2;
    }
    const std::wstring key =
        L"Software\\Halvorn\\KorvexShellTest" + std::to_wstring(GetCurrentProcessId());
    SetEnvironmentVariableW(L"KORVEX_SETTINGS", key.c_str());

    // A directory with one security, XYZ, the last run's directory of these settings.
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring directory =
        std::wstring(temp) + L"korvex-shell-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(directory.c_str(), nullptr);
    Check(Run(L"\"" + std::wstring(argv[2]) + L"\" convert \"" + argv[3] + L"\" --dir \"" +
              directory + L"\" --new-master --symbol XYZ --detect") == 0,
          "korvex-cli.exe converts the file");
    const std::wstring setting = key + L"\\Setting";
    RegSetKeyValueW(HKEY_CURRENT_USER, setting.c_str(), L"Path", REG_SZ, directory.c_str(),
                    static_cast<DWORD>((directory.size() + 1) * sizeof(wchar_t)));

    std::wstring command = L"\"" + std::wstring(argv[1]) + L"\" \"" + argv[3] + L"\"";
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

        // Remove Security: the list shows XYZ; picked and confirmed, it is removed.
        PostMessageW(main, WM_COMMAND, IDM_REMOVE_SECURITY, 0);
        HWND remove = WaitForWindow(L"#32770", L"Remove Security");
        Check(remove != nullptr, "Remove Security opens");
        if (remove != nullptr) {
            HWND list = FindWindowExW(remove, nullptr, L"SysListView32", nullptr);
            Check(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) == 1,
                  "Remove Security lists the directory's one security");
            HWND ok = GetDlgItem(remove, IDOK);
            Check(!IsWindowEnabled(ok), "OK waits for a security to be picked");
            SendMessageW(list, WM_KEYDOWN, VK_HOME, 0);
            SendMessageW(list, WM_KEYUP, VK_HOME, 0);
            Check(IsWindowEnabled(ok), "a picked security enables OK");
            PostMessageW(remove, WM_COMMAND, IDOK, 0);
            HWND question = WaitForWindow(L"#32770", L"Korvex");
            Check(question != nullptr, "the removal is asked about first");
            PostMessageW(question, WM_COMMAND, IDYES, 0);
            std::wstring after;
            for (int i = 0; i < 100 && after.find(L"Removed XYZ from ") == std::wstring::npos;
                 ++i) {
                Sleep(100);
                after = log != nullptr ? WindowText(log) : L"";
            }
            Check(after.find(L"\r\n\r\nRemoved XYZ from " + directory + L".") != std::wstring::npos,
                  "the log says the security was removed");
            Check(GetFileAttributesW((directory + L"\\F1.DAT").c_str()) == INVALID_FILE_ATTRIBUTES,
                  "its price file is gone");
        }

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
    for (const wchar_t* name : {L"MASTER", L"MASTER.BAK", L"F1.DAT", L"F1.DOP"}) {
        DeleteFileW((directory + L"\\" + name).c_str());
    }
    RemoveDirectoryW(directory.c_str());
    if (failures == 0) {
        std::printf("korvex.exe: all checks held\n");
    }
    return failures == 0 ? 0 : 1;
}
