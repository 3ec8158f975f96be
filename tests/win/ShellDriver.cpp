// Drives korvex.exe as a user would, by window messages, and checks that the files it writes are
// byte for byte those korvex-cli.exe writes from the same file and settings:
//
//     win_shell_test KORVEX_EXE KORVEX_CLI_EXE PRICE_FILE
//
// korvex.exe converts into a directory with a non-ASCII name, and korvex-cli.exe the same into a
// directory of its own, step by step: a first security into a directory that does not exist yet
// (refused, made with Create Directory, converted), a second security, the same symbol again with
// Replace answered No and then Yes. The program is then started again on a file with a problem:
// the directory of the last run is offered, Store anyway is answered No, then Yes with Cancel
// pressed first, then Yes. Remove Security, Clear Window. Started on two files at once, the first's
// symbol edited under the list, it stores both in one run; started on a file of one new day with
// "Add new days" checked, it appends the day to the security already there; started on a file with
// a symbol column, Detect takes it, the series to keep wait for a series column, and one run
// stores its securities. Then the registry after the window closes. Settings live under a key of
// their own. Wine gives no menu of another process, so the menus are seen in pictures only. Exit
// status 0 when all holds; each failure is printed.
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <functional>
#include <initializer_list>
#include <map>
#include <string>
#include <string_view>

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
    if (window == nullptr) {
        return {};
    }
    const auto length = static_cast<std::size_t>(SendMessageW(window, WM_GETTEXTLENGTH, 0, 0));
    std::wstring text(length + 1, L'\0');
    const auto got = static_cast<std::size_t>(
        SendMessageW(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data())));
    text.resize(got);
    return text;
}

// Asks `found` every tenth of a second for up to twenty seconds; what it found last.
HWND WaitFor(const std::function<HWND()>& found) {
    for (int i = 0; i < 200; ++i) {
        if (HWND window = found(); window != nullptr) {
            return window;
        }
        Sleep(100);
    }
    return nullptr;
}

bool WaitUntil(const std::function<bool()>& holds) {
    return WaitFor([&] { return holds() ? GetDesktopWindow() : nullptr; }) != nullptr;
}

HWND Dialog(const wchar_t* title) {
    return WaitFor([title] {
        HWND window = FindWindowW(L"#32770", title);
        return window != nullptr && IsWindowVisible(window) ? window : nullptr;
    });
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

// Every file of `directory` with its bytes.
std::map<std::wstring, std::string> Files(const std::wstring& directory) {
    std::map<std::wstring, std::string> files;
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((directory + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return files;
    }
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            continue;
        }
        std::string bytes;
        HANDLE file = CreateFileW((directory + L"\\" + found.cFileName).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        char buffer[65536];
        DWORD got = 0;
        while (file != INVALID_HANDLE_VALUE &&
               ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) {
            bytes.append(buffer, got);
        }
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
        }
        files[found.cFileName] = bytes;
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return files;
}

void Write(const std::wstring& path, std::string_view bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD wrote = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr);
    CloseHandle(file);
}

void DeleteDirectory(const std::wstring& directory) {
    for (const auto& [name, bytes] : Files(directory)) {
        DeleteFileW((directory + L"\\" + name).c_str());
    }
    RemoveDirectoryW(directory.c_str());
}

// korvex.exe, started on files, and its windows.
class Program {
public:
    Program(const std::wstring& exe, std::initializer_list<std::wstring> files) {
        std::wstring command = L"\"" + exe + L"\"";
        for (const std::wstring& file : files) {
            command += L" \"" + file + L"\"";
        }
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        started_ = CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                  nullptr, &startup, &process_) != 0;
        main_ = started_ ? WaitFor([] { return FindWindowW(L"KorvexMainWindow", L"Korvex"); })
                         : nullptr;
        // The window is found as soon as it exists, which is before its WM_CREATE has made the
        // log pane: the pane is waited for too.
        log_ = main_ != nullptr
                   ? WaitFor([this] { return FindWindowExW(main_, nullptr, L"EDIT", nullptr); })
                   : nullptr;
        if (!Shows()) {
            Check(false, "the main window shows with its log pane");
        }
    }
    ~Program() {
        if (started_) {
            TerminateProcess(process_.hProcess, 1);
            CloseHandle(process_.hThread);
            CloseHandle(process_.hProcess);
        }
    }

    bool Shows() const { return main_ != nullptr && log_ != nullptr; }
    HWND Main() const { return main_; }
    std::wstring Log() const { return WindowText(log_); }
    // Waits until the log holds `text` `count` times.
    bool LogHolds(const std::wstring& text, int count = 1) const {
        return WaitUntil([&] {
            const std::wstring log = Log();
            int seen = 0;
            for (auto at = log.find(text); at != std::wstring::npos; at = log.find(text, at + 1)) {
                ++seen;
            }
            return seen >= count;
        });
    }
    // Closes the window; true when the program then ends with status 0.
    bool Close() {
        PostMessageW(main_, WM_CLOSE, 0, 0);
        const bool ended = WaitForSingleObject(process_.hProcess, 20000) == WAIT_OBJECT_0;
        DWORD status = 1;
        GetExitCodeProcess(process_.hProcess, &status);
        return ended && status == 0;
    }

private:
    bool started_ = false;
    PROCESS_INFORMATION process_{};
    HWND main_ = nullptr;
    HWND log_ = nullptr;
};

// The Conversion Settings dialog, as the program shows it next.
struct SettingsWindow {
    HWND dialog = Dialog(L"Conversion Settings");

    std::wstring Text(int id) const { return WindowText(GetDlgItem(dialog, id)); }
    void Type(int id, const std::wstring& text) const {
        SendMessageW(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    void Press(int id) const {
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
    }
    // Checks or clears a check box, as a click does.
    void Tick(int id, bool checked) const {
        SendDlgItemMessageW(dialog, id, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
        Press(id);
    }
    // Waits until the dialog has closed.
    bool Closed() const {
        return WaitUntil([this] { return !IsWindow(dialog); });
    }
};

// The program's message box that says `text`, waited for; null when none comes.
HWND MessageBoxSaying(const std::wstring& text) {
    HWND box = WaitFor([&] {
        HWND window = FindWindowW(L"#32770", L"Korvex");
        return window != nullptr &&
                       WindowText(GetDlgItem(window, 0xFFFF)).find(text) != std::wstring::npos
                   ? window
                   : nullptr;
    });
    if (box == nullptr) {
        std::fprintf(stderr, "no message box says \"%ls\"\n", text.c_str());
    }
    return box;
}

// The next message box of the program that says `text`, answered with `button`.
bool Answer(const std::wstring& text, int button) {
    HWND box = MessageBoxSaying(text);
    if (box == nullptr) {
        return false;
    }
    PostMessageW(box, WM_COMMAND, button, 0);
    return WaitUntil([box] { return !IsWindow(box); });
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: win_shell_test KORVEX_EXE KORVEX_CLI_EXE PRICE_FILE\n");
        return 2;
    }
    const std::wstring exe = argv[1];
    const std::wstring cli = L"\"" + std::wstring(argv[2]) + L"\" ";
    const std::wstring prices = argv[3];
    const std::wstring key =
        L"Software\\Halvorn\\KorvexShellTest" + std::to_wstring(GetCurrentProcessId());
    SetEnvironmentVariableW(L"KORVEX_SETTINGS", key.c_str());

    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    // Wine gives its processes the same few ids run after run: the time tells runs apart.
    const std::wstring base = std::wstring(temp) + L"korvex-shell-" +
                              std::to_wstring(GetCurrentProcessId()) + L"-" +
                              std::to_wstring(GetTickCount());
    const std::wstring shell = base + L"\\donn\u00e9es \u03a9";  // korvex.exe's directory
    const std::wstring reference = base + L"\\cli";              // korvex-cli.exe's
    const std::wstring problems = base + L"\\bad.csv";
    CreateDirectoryW(base.c_str(), nullptr);
    CreateDirectoryW(reference.c_str(), nullptr);
    // The third line's day does not come after the second's.
    const char bad[] =
        "2024-01-02,1,2,1,2,100,7\r\n2024-01-04,1,2,1,2,100,7\r\n"
        "2024-01-03,1,2,1,2,100,7\r\n2024-01-05,1,2,1,2,100,7\r\n";
    Write(problems, {bad, sizeof bad - 1});

    const auto cliConverts = [&](const std::wstring& input, const std::wstring& options) {
        return Run(cli + L"convert \"" + input + L"\" --dir \"" + reference + L"\" " + options) ==
               0;
    };
    const auto same = [&](const char* what) {
        const auto shellFiles = Files(shell);
        const auto referenceFiles = Files(reference);
        Check(!shellFiles.empty() && shellFiles == referenceFiles, what);
        for (const auto& [name, bytes] : referenceFiles) {
            const auto found = shellFiles.find(name);
            if (found == shellFiles.end() || found->second != bytes) {
                std::fprintf(stderr, "  %ls differs from korvex-cli's\n", name.c_str());
            }
        }
    };

    {
        Program program(exe, {prices});
        Check(program.LogHolds(L"To help you with the conversion settings, your file..."),
              "the log starts with the opened file");
        Check(program.Log().find(L"2024-01-02,1,2,1,2,100,7\r\n") != std::wstring::npos,
              "the log shows the file's first lines");

        // A new directory: refused while it does not exist, made by Create Directory.
        SettingsWindow first;
        Check(first.dialog != nullptr, "opening a file shows the Conversion Settings");
        Check(first.Text(IDC_SYMBOL) == L"PRICES", "the symbol is proposed from the file's name");
        first.Type(IDC_DIRECTORY, shell);
        Check(first.Text(IDC_DIRECTORY_STATUS).find(L"does not exist") != std::wstring::npos &&
                  IsWindowVisible(GetDlgItem(first.dialog, IDC_CREATE_DIRECTORY)),
              "a missing directory is said to be missing, with Create Directory");
        first.Type(IDC_SYMBOL, L"xyz");
        first.Press(IDOK);
        Check(Answer(L"does not exist", IDOK), "the run into a missing directory is refused");
        SettingsWindow refused;
        Check(refused.dialog != nullptr && refused.dialog != first.dialog &&
                  !refused.Text(IDC_REFUSAL).empty(),
              "the refused run brings the dialog back with the reason");
        Check(refused.Text(IDC_SYMBOL) == L"XYZ", "the symbol comes back in upper case");
        refused.Press(IDC_CREATE_DIRECTORY);
        Check(Answer(L"Create it?", IDYES), "Create Directory asks first");
        Check(WaitUntil([&] { return refused.Text(IDC_REFUSAL).empty(); }),
              "the refusal goes once the directory is made");
        refused.Press(IDOK);
        Check(program.LogHolds(L"Conversion completed successfully!"), "XYZ is converted");
        Check(cliConverts(prices, L"--detect --new-master --symbol XYZ"),
              "korvex-cli.exe converts XYZ");
        same("a new directory: the same files as korvex-cli.exe's");

        // A second security.
        PostMessageW(program.Main(), WM_COMMAND, IDM_SETTINGS, 0);
        SettingsWindow second;
        Check(second.Text(IDC_DIRECTORY) == shell, "File > Settings... keeps the directory");
        Check(
            SendDlgItemMessageW(second.dialog, IDC_USE_EXISTING, BM_GETCHECK, 0, 0) == BST_CHECKED,
            "a directory with a MASTER is used as it is");
        second.Type(IDC_SYMBOL, L"ABC");
        second.Press(IDOK);
        Check(program.LogHolds(L"Conversion completed successfully!", 2), "ABC is converted");
        Check(cliConverts(prices, L"--detect --symbol ABC"), "korvex-cli.exe converts ABC");
        same("a second security: the same files as korvex-cli.exe's");

        // The same symbol again: No keeps the directory, Yes replaces.
        PostMessageW(program.Main(), WM_COMMAND, IDM_SETTINGS, 0);
        SettingsWindow again;
        again.Press(IDOK);
        Check(Answer(L"Replace it", IDNO), "a duplicate symbol asks whether to replace");
        SettingsWindow kept;
        Check(kept.dialog != nullptr, "Replace answered No brings the dialog back");
        same("Replace answered No changes nothing");
        kept.Press(IDCANCEL);
        Check(kept.Closed(), "Cancel closes the dialog");
        PostMessageW(program.Main(), WM_COMMAND, IDM_SETTINGS, 0);
        SettingsWindow replace;
        replace.Press(IDOK);
        Check(Answer(L"Replace it", IDYES), "the duplicate is asked about again");
        Check(program.LogHolds(L"Conversion completed successfully!", 3), "ABC is replaced");
        Check(cliConverts(prices, L"--detect --symbol ABC --replace"),
              "korvex-cli.exe replaces ABC");
        same("Replace answered Yes: the same files as korvex-cli.exe's");
        Check(program.Close(), "korvex.exe ends with status 0 when its window is closed");
    }

    {
        // Started again on a file with a problem, which detection reads no layout from: the last
        // run's settings and directory are offered.
        Program program(exe, {problems});
        SettingsWindow dialog;
        Check(dialog.Text(IDC_DIRECTORY) == shell,
              "the next start offers the directory kept in the registry");
        Check(dialog.Text(IDC_SYMBOL) == L"BAD", "the new file's symbol comes from its name");
        dialog.Press(IDOK);
        Check(Answer(L"Store the file anyway?", IDNO), "a file with problems is asked about");
        SettingsWindow back;
        Check(back.dialog != nullptr && !back.Text(IDC_REFUSAL).empty(),
              "Store anyway answered No brings the dialog back with the problems");
        same("Store anyway answered No changes nothing");
        back.Press(IDOK);
        // Cancel is pressed while the question waits: the run stops before its commit.
        Check(MessageBoxSaying(L"Store the file anyway?") != nullptr,
              "the question is asked again");
        HWND working = Dialog(L"Korvex: Working");
        Check(working != nullptr, "a run shows its progress window");
        SendMessageW(working, WM_COMMAND, IDCANCEL, 0);
        Check(Answer(L"Store the file anyway?", IDYES), "the question is answered Yes");
        Check(program.LogHolds(L"Conversion cancelled."), "the log says the run was cancelled");
        same("a cancelled run changes nothing");
        PostMessageW(program.Main(), WM_COMMAND, IDM_SETTINGS, 0);
        SettingsWindow store;
        store.Press(IDOK);
        Check(Answer(L"Store the file anyway?", IDYES), "the question is asked a third time");
        Check(program.LogHolds(L"Conversion completed successfully!"), "BAD is stored anyway");
        Check(cliConverts(problems,
                          L"--symbol BAD --accept-problems "
                          L"--date-format CCYY_MM_DD"),
              "korvex-cli.exe stores BAD anyway");
        same("Store anyway answered Yes: the same files as korvex-cli.exe's");

        // Remove Security: the list shows the three securities; the first, picked and confirmed,
        // is removed.
        PostMessageW(program.Main(), WM_COMMAND, IDM_REMOVE_SECURITY, 0);
        HWND remove = Dialog(L"Remove Security");
        Check(remove != nullptr, "Remove Security opens");
        if (remove != nullptr) {
            HWND list = FindWindowExW(remove, nullptr, L"SysListView32", nullptr);
            Check(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) == 3,
                  "Remove Security lists the directory's securities");
            HWND ok = GetDlgItem(remove, IDOK);
            Check(!IsWindowEnabled(ok), "OK waits for a security to be picked");
            SendMessageW(list, WM_KEYDOWN, VK_HOME, 0);
            SendMessageW(list, WM_KEYUP, VK_HOME, 0);
            Check(IsWindowEnabled(ok), "a picked security enables OK");
            PostMessageW(remove, WM_COMMAND, IDOK, 0);
            Check(Answer(L"Remove XYZ from", IDYES), "the removal is asked about first");
            Check(program.LogHolds(L"\r\n\r\nRemoved XYZ from " + shell + L"."),
                  "the log says the security was removed");
            Check(Run(cli + L"remove \"" + reference + L"\" XYZ") == 0,
                  "korvex-cli.exe removes XYZ");
            same("Remove Security: the same files as korvex-cli.exe's");
        }

        SendMessageW(program.Main(), WM_COMMAND, IDM_CLEAR_WINDOW, 0);
        Check(program.Log().empty(), "Clear Window empties the log");
        Check(program.Close(), "korvex.exe ends with status 0 again");
    }

    // Files in the layout of bad.csv, which the kept settings read: one.csv, stored as UNO, and
    // two.csv, then a day after UNO's last in a file named after it. korvex-cli.exe reads the
    // same lines from uno.csv.
    const std::wstring one = base + L"\\one.csv";
    const std::wstring uno = base + L"\\uno.csv";
    const std::wstring two = base + L"\\two.csv";
    const std::wstring day = base + L"\\day\\uno.csv";
    const char oneLines[] =
        "2024-02-01,5,6,4,5,10,1\r\n2024-02-02,5,7,4,6,20,1\r\n2024-02-05,6,8,5,7,30,1\r\n";
    Write(one, {oneLines, sizeof oneLines - 1});
    Write(uno, {oneLines, sizeof oneLines - 1});
    Write(two, "2024-02-01,9,9,8,8,40,2\r\n2024-02-02,8,9,7,9,50,2\r\n");
    CreateDirectoryW((base + L"\\day").c_str(), nullptr);
    Write(day, "2024-02-06,7,9,6,8,60,1\r\n");
    {
        Program program(exe, {one, two});
        SettingsWindow dialog;
        HWND files = GetDlgItem(dialog.dialog, IDC_FILES);
        Check(dialog.dialog != nullptr && IsWindowVisible(files) &&
                  SendMessageW(files, LVM_GETITEMCOUNT, 0, 0) == 2,
              "two files opened at once are listed in the dialog");
        Check(!IsWindowEnabled(GetDlgItem(dialog.dialog, IDC_SYMBOL)) &&
                  dialog.Text(IDC_FILE_SYMBOL) == L"ONE",
              "each file takes its own symbol, the selected one's shown under the list");
        dialog.Type(IDC_FILE_SYMBOL, L"uno");
        dialog.Press(IDOK);
        Check(program.LogHolds(L"Conversion completed successfully!"), "UNO and TWO are stored");
        Check(Run(cli + L"convert \"" + uno + L"\" \"" + two + L"\" --dir \"" + reference +
                  L"\" --date-format CCYY_MM_DD") == 0,
              "korvex-cli.exe stores UNO and TWO");
        same("two files at once: the same files as korvex-cli.exe's");
        Check(program.Close(), "korvex.exe ends with status 0 after a run of two files");
    }
    {
        Program program(exe, {day});
        SettingsWindow dialog;
        SendDlgItemMessageW(dialog.dialog, IDC_UPDATE, BM_SETCHECK, BST_CHECKED, 0);
        dialog.Press(IDOK);
        Check(program.LogHolds(L"Conversion completed successfully!"), "the day is added to UNO");
        Check(cliConverts(day, L"--symbol UNO --date-format CCYY_MM_DD --update"),
              "korvex-cli.exe adds the day to UNO");
        same("a new day added: the same files as korvex-cli.exe's");
        Check(program.Close(), "korvex.exe ends with status 0 after an update");
    }
    // A file of two securities in the MetaStock ASCII layout: Detect takes its symbol column,
    // the symbol box is then the file's to fill, and one run stores both.
    const std::wstring bulk = base + L"\\bulk.csv";
    Write(bulk,
          "<TICKER>,<PER>,<DATE>,<TIME>,<OPEN>,<HIGH>,<LOW>,<CLOSE>,<VOL>\r\n"
          "QQQ,D,20240201,000000,5,6,4,5,10\r\nRRR,D,20240201,000000,9,9,8,8,40\r\n"
          "QQQ,D,20240202,000000,5,7,4,6,20\r\nRRR,D,20240202,000000,8,9,7,9,50\r\n");
    {
        Program program(exe, {bulk});
        SettingsWindow dialog;
        dialog.Press(IDC_DETECT);
        Check(WaitUntil([&] {
                  return SendDlgItemMessageW(dialog.dialog, IDC_SYMBOL_COLUMN_CHECK, BM_GETCHECK, 0,
                                             0) == BST_CHECKED &&
                         dialog.Text(IDC_SYMBOL_COLUMN) == L"1" &&
                         !IsWindowEnabled(GetDlgItem(dialog.dialog, IDC_SYMBOL));
              }),
              "Detect takes the symbol column, and the symbol box is the file's");
        // A series column is read with the others (here refused as the symbol's); the series
        // typed are kept when it is switched off again.
        HWND series = GetDlgItem(dialog.dialog, IDC_SERIES);
        Check(!IsWindowEnabled(series), "the series to keep wait for a series column");
        dialog.Tick(IDC_SERIES_COLUMN_CHECK, true);
        Check(WaitUntil([&] { return IsWindowEnabled(series) != FALSE; }),
              "a series column lets the series to keep be typed");
        dialog.Type(IDC_SERIES_COLUMN, L"1");
        dialog.Type(IDC_SERIES, L"EQ,BE");
        dialog.Press(IDOK);
        Check(Answer(L"Duplicate columns", IDOK), "the series column is checked with the others");
        dialog.Tick(IDC_SERIES_COLUMN_CHECK, false);
        Check(WaitUntil([&] { return !IsWindowEnabled(series); }),
              "without a series column the series to keep are greyed out");
        dialog.Press(IDOK);
        Check(program.LogHolds(L"Conversion completed successfully!"), "QQQ and RRR are stored");
        Check(cliConverts(bulk, L"--detect --update"), "korvex-cli.exe stores QQQ and RRR");
        same("a file of two securities: the same files as korvex-cli.exe's");
        Check(program.Close(), "korvex.exe ends with status 0 after a file of two securities");
    }

    wchar_t width[32] = {};
    DWORD size = sizeof width;
    Check(RegGetValueW(HKEY_CURRENT_USER, (key + L"\\Screen").c_str(), L"cx", RRF_RT_REG_SZ,
                       nullptr, width, &size) == ERROR_SUCCESS &&
              _wtoi(width) > 0,
          "the window's placement is kept in the registry");
    wchar_t first[1024] = {};
    size = sizeof first;
    Check(RegGetValueW(HKEY_CURRENT_USER, (key + L"\\Recent File List").c_str(), L"File1",
                       RRF_RT_REG_SZ, nullptr, first, &size) == ERROR_SUCCESS &&
              std::wstring(first).find(L"bulk.csv") != std::wstring::npos,
          "the recent file is kept in the registry");
    wchar_t kept[64] = {};
    size = sizeof kept;
    Check(RegGetValueW(HKEY_CURRENT_USER, (key + L"\\Setting").c_str(), L"Series", RRF_RT_REG_SZ,
                       nullptr, kept, &size) == ERROR_SUCCESS &&
              std::wstring(kept) == L"EQ,BE",
          "the series typed are kept with the settings");
    RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
    DeleteDirectory(shell);
    DeleteDirectory(reference);
    DeleteDirectory(base + L"\\day");
    DeleteDirectory(base);
    if (failures == 0) {
        std::printf("korvex.exe: all checks held\n");
    }
    return failures == 0 ? 0 : 1;
}
