#include "MainWindow.h"

#include <commctrl.h>
#include <shobjidl.h>

#include <algorithm>
#include <vector>

#include "AboutDialog.h"
#include "Help.h"
#include "RemoveSecurityDialog.h"
#include "Resources.h"
#include "SettingsDialog.h"
#include "TaskRunner.h"
#include "Text.h"
#include "ui/FileStart.h"
#include "ui/StoredSettings.h"
#include "ui/Tasks.h"

namespace {

constexpr int kLogId = 1;
constexpr int kStatusBarId = 2;
constexpr int kToolBarId = 3;
// Where the File menu lists the recent files: after Open, Settings, Remove Security and a
// separator.
constexpr UINT kRecentPosition = 4;

// Text for a Windows edit control: each line ends in CR LF.
std::wstring EditText(const std::string& utf8) {
    std::wstring text;
    for (wchar_t c : Wide(utf8)) {
        if (c == L'\n') {
            text += L'\r';
        }
        text += c;
    }
    return text;
}

// Opens the file given on the command line once the window shows.
constexpr UINT kOpenGivenFile = WM_APP + 1;

}  // namespace

MainWindow::MainWindow(HINSTANCE instance) : instance_(instance) {
    bool createdNew = false;
    (void)store_.CreateRoot(ui::PlatformSettingsStore::DefaultPath(), &createdNew);
}

bool MainWindow::Create(const std::vector<std::string>& files, int showCommand) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &MainWindow::Procedure;
    windowClass.hInstance = instance_;
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszMenuName = MAKEINTRESOURCEW(IDR_MAIN_MENU);
    windowClass.lpszClassName = kClassName;
    windowClass.hIcon = LoadIconW(instance_, MAKEINTRESOURCEW(IDI_KORVEX));
    windowClass.hIconSm = static_cast<HICON>(
        LoadImageW(instance_, MAKEINTRESOURCEW(IDI_KORVEX), IMAGE_ICON,
                   GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
    if (RegisterClassExW(&windowClass) == 0) {
        return false;
    }
    accelerators_ = LoadAcceleratorsW(instance_, MAKEINTRESOURCEW(IDR_ACCELERATORS));

    const ui::WindowPlacement placement = ui::FitPlacement(
        ui::LoadPlacement(store_), GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    window_ =
        CreateWindowExW(0, kClassName, L"Korvex", WS_OVERLAPPEDWINDOW, placement.x, placement.y,
                        placement.width, placement.height, nullptr, nullptr, instance_, this);
    if (window_ == nullptr) {
        return false;
    }
    ShowWindow(window_, placement.maximized ? SW_SHOWMAXIMIZED : showCommand);
    UpdateWindow(window_);
    if (!files.empty()) {
        givenFiles_ = files;
        PostMessageW(window_, kOpenGivenFile, 0, 0);
    }
    return true;
}

int MainWindow::Run() {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (TranslateAcceleratorW(window_, accelerators_, &message) == 0) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return static_cast<int>(message.wParam);
}

LRESULT CALLBACK MainWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto* self = static_cast<MainWindow*>(create->lpCreateParams);
        self->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    return self != nullptr ? self->Handle(message, wParam, lParam)
                           : DefWindowProcW(window, message, wParam, lParam);
}

LRESULT MainWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            OnCreate();
            return 0;
        case WM_SIZE:
            OnSize(LOWORD(lParam), HIWORD(lParam));
            return 0;
        case WM_COMMAND:
            OnCommand(LOWORD(wParam));
            return 0;
        case WM_CLOSE:
            OnClose();
            return 0;
        case kOpenGivenFile:
            OpenFiles(givenFiles_);
            return 0;
        case WM_DPICHANGED: {
            // Moved to a screen of another scale: the log's font follows, and the window takes
            // the frame Windows proposes for it there.
            SetLogFont(HIWORD(wParam));
            const RECT* proposed = reinterpret_cast<const RECT*>(lParam);
            SetWindowPos(window_, nullptr, proposed->left, proposed->top,
                         proposed->right - proposed->left, proposed->bottom - proposed->top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
            return 0;
        }
        case WM_DESTROY:
            if (font_ != nullptr) {
                DeleteObject(font_);
            }
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(window_, message, wParam, lParam);
    }
}

void MainWindow::OnCreate() {
    // The file's columns line up in a fixed-width font; long lines scroll rather than wrap.
    log_ =
        CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                        WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE |
                            ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL,
                        0, 0, 0, 0, window_, reinterpret_cast<HMENU>(kLogId), instance_, nullptr);
    HDC screen = GetDC(nullptr);
    SetLogFont(GetDeviceCaps(screen, LOGPIXELSY));
    ReleaseDC(nullptr, screen);
    // The tool bar: Open, Settings, Clear Window and About, in the common controls' own images;
    // each button's text is its tooltip.
    toolBar_ =
        CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr,
                        WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS | CCS_TOP, 0, 0, 0,
                        0, window_, reinterpret_cast<HMENU>(kToolBarId), instance_, nullptr);
    SendMessageW(toolBar_, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    TBADDBITMAP images{HINST_COMMCTRL, IDB_STD_SMALL_COLOR};
    SendMessageW(toolBar_, TB_ADDBITMAP, 0, reinterpret_cast<LPARAM>(&images));
    SendMessageW(toolBar_, TB_SETMAXTEXTROWS, 0, 0);
    const auto button = [](int image, int command, const wchar_t* tip, BYTE state) {
        TBBUTTON made{};
        made.iBitmap = image;
        made.idCommand = command;
        made.fsState = state;
        made.fsStyle = BTNS_BUTTON;
        made.iString = reinterpret_cast<INT_PTR>(tip);
        return made;
    };
    TBBUTTON separator{};
    separator.fsStyle = BTNS_SEP;
    const TBBUTTON buttons[] = {
        button(STD_FILEOPEN, IDM_OPEN, L"Open", TBSTATE_ENABLED),
        button(STD_PROPERTIES, IDM_SETTINGS, L"Settings", 0),
        button(STD_DELETE, IDM_CLEAR_WINDOW, L"Clear Window", TBSTATE_ENABLED), separator,
        button(STD_HELP, IDM_ABOUT, L"About", TBSTATE_ENABLED)};
    SendMessageW(toolBar_, TB_ADDBUTTONSW, std::size(buttons), reinterpret_cast<LPARAM>(buttons));
    SendMessageW(toolBar_, TB_AUTOSIZE, 0, 0);
    statusBar_ = CreateWindowExW(0, STATUSCLASSNAMEW, L"For Help, press F1",
                                 WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0, window_,
                                 reinterpret_cast<HMENU>(kStatusBarId), instance_, nullptr);
    UpdateRecentFiles();
}

void MainWindow::SetLogFont(int dpi) {
    // 10 points: 13 pixels at 96 dots per inch.
    HFONT font = CreateFontW(-MulDiv(13, dpi, 96), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                             DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                             CLEARTYPE_QUALITY, FIXED_PITCH | FF_MODERN, L"Consolas");
    SendMessageW(log_, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    if (font_ != nullptr) {
        DeleteObject(font_);
    }
    font_ = font;
}

void MainWindow::OnSize(int width, int height) {
    SendMessageW(statusBar_, WM_SIZE, 0, 0);
    SendMessageW(toolBar_, TB_AUTOSIZE, 0, 0);
    RECT bar{};
    GetWindowRect(statusBar_, &bar);
    RECT tools{};
    GetWindowRect(toolBar_, &tools);
    const int top = static_cast<int>(tools.bottom - tools.top);
    const int bottom = static_cast<int>(bar.bottom - bar.top);
    MoveWindow(log_, 0, top, width, std::max(0, height - top - bottom), TRUE);
}

void MainWindow::OnCommand(int command) {
    switch (command) {
        case IDM_OPEN:
            ChooseFile();
            break;
        case IDM_SETTINGS:
            if (!inputPaths_.empty()) {
                RunConversion(false);
            }
            break;
        case IDM_REMOVE_SECURITY:
            RemoveSecurity();
            break;
        case IDM_HELP:
        case IDM_HELP_TOPICS:
            OpenHelp(window_, "index.html");
            break;
        case IDM_CLEAR_WINDOW:
            session_.Clear();
            SetWindowTextW(log_, L"");
            break;
        case IDM_ABOUT:
            ShowAboutDialog(instance_, window_);
            break;
        case IDM_EXIT:
            PostMessageW(window_, WM_CLOSE, 0, 0);
            break;
        default:
            if (command >= IDM_RECENT_FIRST && command < IDM_RECENT_FIRST + ui::kRecentFiles) {
                const std::vector<std::string> files = ui::RecentFiles(store_);
                const auto index = static_cast<std::size_t>(command - IDM_RECENT_FIRST);
                if (index < files.size()) {
                    OpenFile(files[index]);
                }
            }
            break;
    }
}

void MainWindow::OnClose() {
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    if (GetWindowPlacement(window_, &placement) && !IsIconic(window_)) {
        // The normal frame, kept for when a maximised window is restored.
        const RECT& normal = placement.rcNormalPosition;
        ui::SavePlacement(store_, {static_cast<int>(normal.left), static_cast<int>(normal.top),
                                   static_cast<int>(normal.right - normal.left),
                                   static_cast<int>(normal.bottom - normal.top),
                                   placement.showCmd == SW_SHOWMAXIMIZED});
    }
    DestroyWindow(window_);
}

void MainWindow::RemoveSecurity() {
    // The directory and the code page of the last run: that of the symbols the dialog lists and
    // the removal looks up.
    const ui::FormValues last = ui::LoadForm(store_);
    RemoveSecurityDialog dialog(last.directory, last.codePage);
    if (!dialog.Run(instance_, window_)) {
        return;
    }
    const std::string question = "Remove " + dialog.symbol() + " from " + dialog.directory() +
                                 "?\nIts price files are deleted.";
    if (MessageBoxW(window_, Wide(question).c_str(), L"Korvex",
                    MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES) {
        return;
    }
    ThreadQuestions questions;
    ui::RemovalTask task(dialog.directory(), dialog.symbol(), last.codePage, questions);
    const ui::TaskResult result = RunTask(
        instance_, window_, "Removing " + dialog.symbol() + "...",
        [&](const std::function<void(int)>&, const std::function<void()>&) { return task.Run(); },
        nullptr, questions);
    session_.Add(result.logEntry);
    ShowLastEntry();
}

void MainWindow::RunConversion(bool fromOpenedFile) {
    SettingsDialog dialog(inputPaths_);
    dialog.setForm(
        ui::FormForFile(store_, inputPaths_.front(), confirmedForm_ ? &*confirmedForm_ : nullptr));
    if (fromOpenedFile) {
        // Without a run before, detection's proposal is the best start even when it has doubts.
        dialog.DetectFromFile(ui::RanBefore(store_));
    }
    for (;;) {
        if (!dialog.Run(instance_, window_)) {
            return;
        }
        confirmedForm_ = dialog.form();
        ui::SaveForm(store_, dialog.form());
        const std::string& first = inputPaths_.front();
        const std::string label = inputPaths_.size() > 1
                                      ? std::to_string(inputPaths_.size()) + " files"
                                      : first.substr(first.find_last_of("\\/") + 1);
        const engine::ConversionSettings settings = dialog.Settings();
        ThreadQuestions questions;
        ui::TaskResult result;
        if (ui::NeedsDatabaseRun(settings, inputPaths_.size())) {
            ui::DatabaseTask task(settings, dialog.Inputs(), questions);
            result = RunTask(
                instance_, window_, "Converting " + label + "...",
                [&](const std::function<void(int)>& progress,
                    const std::function<void()>& committing) {
                    return task.Run(progress, committing);
                },
                [&] { task.Cancel(); }, questions);
        } else {
            ui::ConversionTask task(settings, questions);
            result = RunTask(
                instance_, window_, "Converting " + label + "...",
                [&](const std::function<void(int)>& progress,
                    const std::function<void()>& committing) {
                    return task.Run(progress, committing);
                },
                [&] { task.Cancel(); }, questions);
        }
        session_.Add(result.logEntry);
        ShowLastEntry();
        if (result.succeeded) {
            MessageBeep(MB_OK);
        }
        if (result.succeeded || !result.refusal) {
            return;
        }
        // Back to the dialog, as the user left it, at the setting the run refused.
        dialog.ShowRefusal(result.message, result.refusal->field, result.refusal->priceField);
    }
}

void MainWindow::ChooseFile() {
    IFileOpenDialog* dialog = nullptr;
    if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(&dialog)))) {
        Tell("The file chooser cannot be opened.");
        return;
    }
    const COMDLG_FILTERSPEC filters[] = {
        {L"Price files (*.csv *.txt *.prn *.asc)", L"*.csv;*.txt;*.prn;*.asc"},
        {L"All files", L"*.*"}};
    dialog->SetFileTypes(2, filters);
    dialog->SetTitle(L"Open");
    FILEOPENDIALOGOPTIONS options = 0;
    dialog->GetOptions(&options);
    dialog->SetOptions(options | FOS_ALLOWMULTISELECT | FOS_FORCEFILESYSTEM | FOS_FILEMUSTEXIST);
    const std::wstring folder = Wide(ui::OpenFolder(store_));
    IShellItem* start = nullptr;
    if (!folder.empty() &&
        SUCCEEDED(SHCreateItemFromParsingName(folder.c_str(), nullptr, IID_PPV_ARGS(&start)))) {
        dialog->SetFolder(start);
        start->Release();
    }
    std::vector<std::string> chosen;
    IShellItemArray* items = nullptr;
    if (SUCCEEDED(dialog->Show(window_)) && SUCCEEDED(dialog->GetResults(&items))) {
        DWORD count = 0;
        items->GetCount(&count);
        for (DWORD i = 0; i < count; ++i) {
            IShellItem* item = nullptr;
            if (FAILED(items->GetItemAt(i, &item))) {
                continue;
            }
            PWSTR path = nullptr;
            if (SUCCEEDED(item->GetDisplayName(SIGDN_FILESYSPATH, &path))) {
                chosen.push_back(Narrow(path));
                CoTaskMemFree(path);
            }
            item->Release();
        }
        items->Release();
    }
    dialog->Release();
    if (!chosen.empty()) {
        const std::size_t slash = chosen.front().find_last_of("\\/");
        if (slash != std::string::npos) {
            ui::SetOpenFolder(store_, chosen.front().substr(0, slash));
        }
        OpenFiles(chosen);
    }
}

void MainWindow::OpenFiles(const std::vector<std::string>& paths) {
    std::vector<std::string> opened;
    for (const std::string& path : paths) {
        wchar_t full[MAX_PATH * 8];
        const std::wstring wide = Wide(path);
        const DWORD length =
            GetFullPathNameW(wide.c_str(), static_cast<DWORD>(std::size(full)), full, nullptr);
        const std::string absolute =
            length > 0 && length < std::size(full) ? Narrow(std::wstring(full, length)) : path;
        const DWORD attributes = GetFileAttributesW(Wide(absolute).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            Tell("Cannot open the file " + absolute + ".\n" +
                 (attributes == INVALID_FILE_ATTRIBUTES ? "It does not exist."
                                                        : "It is a directory."));
            ui::NoteRecentFile(store_, absolute, false);
            continue;
        }
        if (std::find(opened.begin(), opened.end(), absolute) == opened.end()) {
            opened.push_back(absolute);
        }
    }
    if (opened.empty()) {
        UpdateRecentFiles();
        return;
    }
    inputPaths_ = opened;
    confirmedForm_.reset();  // a file's settings start from the file, never from another file's
    const std::vector<std::string> firstLines = ui::FirstLines(opened.front(), ui::kOpenedLines);
    if (opened.size() == 1) {
        session_.Opened(opened.front(), firstLines);
    } else {
        session_.OpenedFiles(opened, firstLines);
    }
    ShowLastEntry();
    // The recent files list each file; the first of the run is the newest.
    for (auto file = opened.rbegin(); file != opened.rend(); ++file) {
        ui::NoteRecentFile(store_, *file);
    }
    UpdateRecentFiles();
    EnableMenuItem(GetMenu(window_), IDM_SETTINGS, MF_BYCOMMAND | MF_ENABLED);
    SendMessageW(toolBar_, TB_ENABLEBUTTON, IDM_SETTINGS, TRUE);
    RunConversion(true);
}

void MainWindow::ShowLastEntry() {
    const int length = GetWindowTextLengthW(log_);
    std::wstring separator;
    if (length > 0) {
        std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
        GetWindowTextW(log_, text.data(), length + 1);
        text.resize(static_cast<std::size_t>(length));
        separator =
            text.size() >= 2 && text.substr(text.size() - 2) == L"\r\n" ? L"\r\n" : L"\r\n\r\n";
    }
    const std::wstring entry = separator + EditText(session_.Last());
    SendMessageW(log_, EM_SETSEL, static_cast<WPARAM>(length), static_cast<LPARAM>(length));
    SendMessageW(log_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(entry.c_str()));
    // The caret to the start of the last line: the new lines in sight from their first column,
    // however long the last of them is.
    const auto lines = SendMessageW(log_, EM_GETLINECOUNT, 0, 0);
    const auto start = SendMessageW(log_, EM_LINEINDEX, static_cast<WPARAM>(lines - 1), 0);
    SendMessageW(log_, EM_SETSEL, static_cast<WPARAM>(start), start);
    SendMessageW(log_, EM_SCROLLCARET, 0, 0);
}

void MainWindow::UpdateRecentFiles() {
    HMENU file = GetSubMenu(GetMenu(window_), 0);
    DeleteMenu(file, IDM_RECENT_NONE, MF_BYCOMMAND);
    for (int i = 0; i < ui::kRecentFiles; ++i) {
        DeleteMenu(file, static_cast<UINT>(IDM_RECENT_FIRST + i), MF_BYCOMMAND);
    }
    const std::vector<std::string> files = ui::RecentFiles(store_);
    if (files.empty()) {
        InsertMenuW(file, kRecentPosition, MF_BYPOSITION | MF_STRING | MF_GRAYED, IDM_RECENT_NONE,
                    L"Recent File");
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        std::string label = "&" + std::to_string(i + 1) + " ";
        for (char c : files[i]) {
            label += c == '&' ? std::string("&&") : std::string(1, c);
        }
        InsertMenuW(file, kRecentPosition + static_cast<UINT>(i), MF_BYPOSITION | MF_STRING,
                    static_cast<UINT_PTR>(IDM_RECENT_FIRST + static_cast<int>(i)),
                    Wide(label).c_str());
    }
    DrawMenuBar(window_);
}

void MainWindow::Tell(const std::string& message) {
    MessageBoxW(window_, Wide(message).c_str(), L"Korvex", MB_OK | MB_ICONINFORMATION);
}
