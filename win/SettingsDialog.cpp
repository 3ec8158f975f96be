#include "SettingsDialog.h"

#include <commctrl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

#include "Help.h"
#include "Resources.h"
#include "Text.h"
#include "msdb/CodePage.h"
#include "msdb/Encoding.h"
#include "msdb/Reader.h"
#include "ui/DirectoryStatus.h"
#include "ui/FileStart.h"

namespace {

using engine::PriceField;
using engine::SettingsField;

constexpr UINT kSummaryProgress = WM_APP + 1;  // wParam: generation, lParam: thousandths read
constexpr UINT kSummaryDone = WM_APP + 2;      // wParam: generation
constexpr UINT_PTR kPreviewTimer = 1;
// A change is shown in the preview this long after the last one.
constexpr UINT kPreviewDelayMs = 150;

constexpr COLORREF kWarningColour = RGB(176, 0, 0);
constexpr COLORREF kProblemCellColour = RGB(255, 214, 214);

// 31 December 2024, the day each date format of the list is shown with.
constexpr msdb::CalendarDay kExampleDay{2024, 12, 31};

// The fields in the order of their column boxes, Date to Open Int.
constexpr PriceField kFields[] = {PriceField::kDate,        PriceField::kOpen,  PriceField::kHigh,
                                  PriceField::kLow,         PriceField::kClose, PriceField::kVolume,
                                  PriceField::kOpenInterest};

int ColumnId(PriceField field) {
    return IDC_COLUMN_FIRST + 2 * static_cast<int>(field);
}

// The check box of a field that can be switched off; 0 for Date and Close.
int CheckId(PriceField field) {
    switch (field) {
        case PriceField::kOpen:
            return IDC_OPEN_CHECK;
        case PriceField::kHigh:
            return IDC_HIGH_CHECK;
        case PriceField::kLow:
            return IDC_LOW_CHECK;
        case PriceField::kVolume:
            return IDC_VOLUME_CHECK;
        case PriceField::kOpenInterest:
            return IDC_OPEN_INT_CHECK;
        default:
            return 0;
    }
}

std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// A whole number as typed, or nothing.
std::optional<long long> WholeNumber(const std::string& text) {
    const std::string trimmed = Trimmed(text);
    if (trimmed.empty()) {
        return std::nullopt;
    }
    char* end = nullptr;
    errno = 0;
    const long long number = std::strtoll(trimmed.c_str(), &end, 10);
    if (errno != 0 || end != trimmed.c_str() + trimmed.size()) {
        return std::nullopt;
    }
    return number;
}

// A Dates field holds a day or nothing.
bool HoldsBadDate(const std::string& text) {
    const std::string date = Trimmed(text);
    return !date.empty() && !engine::ParseIsoDate(date);
}

}  // namespace

SettingsDialog::SettingsDialog(const std::vector<std::string>& inputPaths)
    : inputPath_(inputPaths.empty() ? std::string() : inputPaths.front()) {
    files_.SetFiles(inputPaths, msdb::kDefaultCodePage);
}

SettingsDialog::~SettingsDialog() {
    StopSummary();
    StopFacts();
}

bool SettingsDialog::Run(HINSTANCE instance, HWND owner) {
    instance_ = instance;
    return DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_SETTINGS), owner,
                           &SettingsDialog::Procedure, reinterpret_cast<LPARAM>(this)) == IDOK;
}

engine::ConversionSettings SettingsDialog::Settings() const {
    return ui::ToSettings(form_, inputPath_);
}

INT_PTR CALLBACK SettingsDialog::Procedure(HWND dialog, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        reinterpret_cast<SettingsDialog*>(lParam)->dialog_ = dialog;
    }
    auto* self = reinterpret_cast<SettingsDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
    return self != nullptr ? self->Handle(message, wParam, lParam) : FALSE;
}

INT_PTR SettingsDialog::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            OnInit();
            return FALSE;  // the focus is set
        case WM_COMMAND:
            OnCommand(LOWORD(wParam), HIWORD(wParam));
            return TRUE;
        case WM_NOTIFY:
            SetWindowLongPtrW(dialog_, DWLP_MSGRESULT, OnNotify(reinterpret_cast<NMHDR*>(lParam)));
            return TRUE;
        case WM_CTLCOLORSTATIC:
            return reinterpret_cast<INT_PTR>(
                OnStaticColor(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam)));
        case WM_TIMER:
            if (wParam == kPreviewTimer) {
                KillTimer(dialog_, kPreviewTimer);
                RefreshPreview();
            }
            return TRUE;
        case kSummaryProgress:
            OnSummaryProgress(static_cast<int>(wParam), static_cast<int>(lParam));
            return TRUE;
        case kSummaryDone:
            OnSummaryDone(static_cast<int>(wParam));
            return TRUE;
        case kFactsDone:
            OnFactsDone(static_cast<int>(wParam));
            return TRUE;
        case WM_HELP:
            OpenHelp(dialog_, "settings.html");
            return TRUE;
        case WM_DESTROY:
            OnDestroy();
            return FALSE;
        default:
            return FALSE;
    }
}

void SettingsDialog::OnInit() {
    showing_ = false;
    for (std::string_view name : msdb::kDateFormatNames) {
        std::string item(name);
        if (const std::optional<msdb::DateFormat> format = msdb::ParseDateFormatName(name)) {
            item += " \xE2\x80\x94 " + msdb::DateText(kExampleDay, *format);
        }
        SendMessageW(Item(IDC_DATE_FORMAT), CB_ADDSTRING, 0,
                     reinterpret_cast<LPARAM>(Wide(item).c_str()));
    }
    for (int page = msdb::kFirstCodePage; page <= msdb::kLastCodePage; ++page) {
        const std::string item =
            "Code page " + std::to_string(page) + ", " + std::string(msdb::CodePageName(page));
        SendMessageW(Item(IDC_CODE_PAGE), CB_ADDSTRING, 0,
                     reinterpret_cast<LPARAM>(Wide(item).c_str()));
    }
    for (PriceField field : kFields) {
        SendMessageW(Item(ColumnId(field) + 1), UDM_SETRANGE32, engine::limits::kFirstColumn,
                     engine::limits::kLastColumn);
    }
    SendMessageW(Item(IDC_SKIP_ROWS_SPIN), UDM_SETRANGE32, 0, engine::limits::kMaxSkipRows);
    SendMessageW(Item(IDC_DIRECTORY), EM_LIMITTEXT, engine::limits::kMaxDirectoryLength, 0);
    for (int id : {IDC_FROM, IDC_TO}) {
        SendMessageW(Item(id), EM_SETCUEBANNER, TRUE, reinterpret_cast<LPARAM>(L"YYYY-MM-DD"));
    }
    HWND list = Item(IDC_PREVIEW);
    ListView_SetExtendedListViewStyle(
        list, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_INFOTIP | LVS_EX_DOUBLEBUFFER);
    background_ = GetSysColorBrush(COLOR_BTNFACE);
    SetUpFiles();

    ShowForm();
    EnableColumns();
    ShowDetection();
    SetItemText(IDC_REFUSAL, refusal_);
    EnableWindow(Item(IDC_DETECT), !inputPath_.empty());

    // Placed once: brought back after a refusal, the dialog stays where it was.
    RECT frame{};
    GetWindowRect(dialog_, &frame);
    if (placement_) {
        frame = *placement_;
    } else if (HWND owner = GetWindow(dialog_, GW_OWNER); owner != nullptr) {
        RECT over{};
        GetWindowRect(owner, &over);
        const LONG width = frame.right - frame.left;
        const LONG height = frame.bottom - frame.top;
        frame.left = over.left + (over.right - over.left - width) / 2;
        frame.top = over.top + (over.bottom - over.top - height) / 2;
        frame.right = frame.left + width;
        frame.bottom = frame.top + height;
    }
    // Within the screen's free area, as far as it fits there.
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (GetMonitorInfoW(MonitorFromRect(&frame, MONITOR_DEFAULTTONEAREST), &monitor)) {
        const RECT& work = monitor.rcWork;
        const LONG width = frame.right - frame.left;
        const LONG height = frame.bottom - frame.top;
        frame.left = std::clamp(frame.left, work.left, std::max(work.left, work.right - width));
        frame.top = std::clamp(frame.top, work.top, std::max(work.top, work.bottom - height));
    }
    SetWindowPos(dialog_, nullptr, frame.left, frame.top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);

    showing_ = true;
    RefreshPreview();
    followedDirectory_.clear();
    UpdateDirectoryStatus();

    const int focus = focusOnShow_ != 0 ? focusOnShow_ : ColumnId(PriceField::kDate);
    SetFocus(Item(focus));
    SendMessageW(Item(focus), EM_SETSEL, 0, -1);
}

void SettingsDialog::OnDestroy() {
    KillTimer(dialog_, kPreviewTimer);
    StopSummary();
    StopFacts();
    ++generation_;
    ++factsGeneration_;
    factsStale_ = true;  // shown again, the dialog reads the files again
    tooltip_ = nullptr;  // destroyed with the dialog it belongs to
    RECT frame{};
    if (GetWindowRect(dialog_, &frame)) {
        placement_ = frame;
    }
    showing_ = false;
}

void SettingsDialog::OnCommand(int id, int code) {
    if (code == EN_CHANGE) {
        if (id == IDC_DIRECTORY) {
            if (showing_) {
                UpdateDirectoryStatus();
            }
        } else if (id == IDC_FILE_SYMBOL || id == IDC_FILE_NAME) {
            OnFileEdited(id);
        } else if (id != IDC_SYMBOL && id != IDC_NAME) {
            SchedulePreview();
        }
        return;
    }
    if (code == CBN_SELCHANGE) {
        if (id == IDC_DATE_FORMAT) {
            SchedulePreview();
        }
        return;
    }
    if (code != BN_CLICKED) {
        return;
    }
    for (PriceField field : kFields) {
        if (id == CheckId(field) && id != 0) {
            // Switched off, a field keeps its column, greyed out.
            form_.fields[field].on = Checked(id);
            EnableColumns();
            SchedulePreview();
            return;
        }
    }
    switch (id) {
        case IDOK:
            OnOk();
            break;
        case IDCANCEL:
            EndDialog(dialog_, IDCANCEL);
            break;
        case IDC_SKIP_CHECK:
            form_.skipOn = Checked(IDC_SKIP_CHECK);
            EnableColumns();
            SchedulePreview();
            break;
        case IDC_SYMBOL_COLUMN_CHECK:
            OnSymbolColumnChanged();
            break;
        case IDC_NAME_COLUMN_CHECK:
        case IDC_PERIOD_COLUMN_CHECK:
            EnableColumns();
            SchedulePreview();
            break;
        case IDC_SERIES_COLUMN_CHECK:
            // The form says whether the series to keep are typed.
            form_.columns.series = ControlColumns().series;
            EnableColumns();
            SchedulePreview();
            break;
        case IDC_COMMA_RADIO:
        case IDC_TAB_RADIO:
        case IDC_SPACE_RADIO:
        case IDC_SEMICOLON_RADIO:
        case IDC_DECIMAL_COMMA:
            SchedulePreview();
            break;
        case IDC_USE_EXISTING:
        case IDC_MAKE_NEW:
            UpdateDirectoryStatus();
            break;
        case IDC_BROWSE:
            OnBrowse();
            break;
        case IDC_CREATE_DIRECTORY:
            OnCreateDirectory();
            break;
        case IDC_DETECT:
            OnDetect();
            break;
        default:
            break;
    }
}

std::string SettingsDialog::ItemText(int id) const {
    HWND item = Item(id);
    const int length = GetWindowTextLengthW(item);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(item, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(std::max(got, 0)));
    return Narrow(text);
}

void SettingsDialog::SetItemText(int id, const std::string& text) {
    // An edit control's lines end in CR LF; a static's too, to be safe.
    std::wstring wide;
    for (wchar_t c : Wide(text)) {
        if (c == L'\n') {
            wide += L'\r';
        }
        wide += c;
    }
    SetDlgItemTextW(dialog_, id, wide.c_str());
}

bool SettingsDialog::Checked(int id) const {
    return IsDlgButtonChecked(dialog_, id) == BST_CHECKED;
}

void SettingsDialog::SetChecked(int id, bool checked) {
    CheckDlgButton(dialog_, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

int SettingsDialog::CheckedRadio(int first, int count) const {
    for (int i = 0; i < count; ++i) {
        if (Checked(first + i)) {
            return i;
        }
    }
    return -1;
}

void SettingsDialog::ShowForm() {
    for (PriceField field : kFields) {
        if (CheckId(field) != 0) {
            SetChecked(CheckId(field), form_.fields[field].on);
        }
        SetDlgItemInt(dialog_, ColumnId(field), static_cast<UINT>(form_.fields[field].column),
                      TRUE);
    }
    for (int i = 0; i < 2; ++i) {
        SetChecked(IDC_USE_EXISTING + i, form_.master == i);
    }
    SetChecked(IDC_EMASTER, form_.makeEMaster);
    SetItemText(IDC_NAME, form_.name);
    SetItemText(IDC_DIRECTORY, form_.directory);
    SetItemText(IDC_SYMBOL, form_.symbol);
    SetDlgItemInt(dialog_, IDC_SKIP_ROWS, static_cast<UINT>(form_.skipRows), TRUE);
    SetChecked(IDC_SKIP_CHECK, form_.skipOn);
    for (int i = 0; i < 4; ++i) {
        SetChecked(IDC_COMMA_RADIO + i, form_.delimiter == i);
    }
    SetChecked(IDC_DECIMAL_COMMA, form_.decimalComma);
    const std::optional<engine::DateFormat> format = ui::DateFormatOf(form_.dateFormat);
    SendMessageW(
        Item(IDC_DATE_FORMAT), CB_SETCURSEL,
        format ? static_cast<WPARAM>(static_cast<int>(*format) - 1) : static_cast<WPARAM>(-1), 0);
    SetItemText(IDC_FROM, form_.from);
    SetItemText(IDC_TO, form_.to);
    SendMessageW(Item(IDC_CODE_PAGE), CB_SETCURSEL,
                 static_cast<WPARAM>(form_.codePage - msdb::kFirstCodePage), 0);
    ShowOtherColumns();
    SetChecked(IDC_UPDATE, form_.update);
    SetChecked(IDC_XMASTER, form_.xmaster);
}

void SettingsDialog::EnableColumns() {
    EnableWindow(Item(IDC_SKIP_ROWS), form_.SkipRowsEnabled());
    EnableWindow(Item(IDC_SKIP_ROWS_SPIN), form_.SkipRowsEnabled());
    for (PriceField field : kFields) {
        EnableWindow(Item(ColumnId(field)), form_.ColumnEnabled(field));
        EnableWindow(Item(ColumnId(field) + 1), form_.ColumnEnabled(field));
    }
    for (int check : {IDC_SYMBOL_COLUMN_CHECK, IDC_NAME_COLUMN_CHECK, IDC_PERIOD_COLUMN_CHECK,
                      IDC_SERIES_COLUMN_CHECK}) {
        // Each check box is followed by its box and up-down control.
        EnableWindow(Item(check + 1), Checked(check));
        EnableWindow(Item(check + 2), Checked(check));
    }
    EnableWindow(Item(IDC_SERIES), form_.SeriesEnabled());
    const bool symbolTyped = form_.SymbolEnabled(files_.Count());
    EnableWindow(Item(IDC_SYMBOL), symbolTyped);
    EnableWindow(Item(IDC_NAME), symbolTyped);
    const bool fileTyped = files_.Editable(ui::FileList::kSymbol);
    for (int id : {IDC_FILE_SYMBOL_LABEL, IDC_FILE_SYMBOL, IDC_FILE_NAME_LABEL, IDC_FILE_NAME}) {
        EnableWindow(Item(id), fileTyped);
    }
}

void SettingsDialog::Tell(const std::string& message) {
    MessageBoxW(dialog_, Wide(message).c_str(), L"Korvex", MB_OK | MB_ICONINFORMATION);
}

void SettingsDialog::Refuse(int id, const std::string& message) {
    Tell(message);
    SetFocus(Item(id));
    SendMessageW(Item(id), EM_SETSEL, 0, -1);
}

bool SettingsDialog::ReadNumber(
    int id, const std::function<std::optional<engine::SettingsProblem>(int)>& check, int* value) {
    const std::optional<long long> number = WholeNumber(ItemText(id));
    // Text that is no whole number, or none that an int holds, is out of every range.
    const bool fits = number && *number >= INT_MIN && *number <= INT_MAX;
    if (std::optional<engine::SettingsProblem> problem =
            check(fits ? static_cast<int>(*number) : INT_MIN)) {
        Refuse(id, problem->message);
        return false;
    }
    *value = static_cast<int>(*number);
    return true;
}

bool SettingsDialog::ReadText(int id, SettingsField field, std::string* value) {
    const std::string text = ItemText(id);
    if (std::optional<engine::SettingsProblem> problem = engine::CheckLength(field, text)) {
        Refuse(id, problem->message);
        return false;
    }
    *value = text;
    return true;
}

bool SettingsDialog::ReadForm() {
    for (PriceField field : kFields) {
        if (CheckId(field) != 0) {
            form_.fields[field].on = Checked(CheckId(field));
        }
    }
    for (PriceField field : kFields) {
        if (!ReadNumber(
                ColumnId(field), [field](int column) { return engine::CheckColumn(field, column); },
                &form_.fields[field].column)) {
            return false;
        }
    }
    form_.master = CheckedRadio(IDC_USE_EXISTING, 2);
    form_.makeEMaster = Checked(IDC_EMASTER);
    if (!ReadText(IDC_NAME, SettingsField::kName, &form_.name) ||
        !ReadText(IDC_DIRECTORY, SettingsField::kDirectory, &form_.directory) ||
        !ReadText(IDC_SYMBOL, SettingsField::kSymbol, &form_.symbol) ||
        !ReadNumber(IDC_SKIP_ROWS, engine::CheckSkipRows, &form_.skipRows)) {
        return false;
    }
    if (!ReadOtherColumns()) {
        return false;
    }
    form_.update = Checked(IDC_UPDATE);
    form_.xmaster = Checked(IDC_XMASTER);
    form_.skipOn = Checked(IDC_SKIP_CHECK);
    form_.delimiter = CheckedRadio(IDC_COMMA_RADIO, 4);
    form_.decimalComma = Checked(IDC_DECIMAL_COMMA);
    const auto format = static_cast<int>(SendMessageW(Item(IDC_DATE_FORMAT), CB_GETCURSEL, 0, 0));
    form_.dateFormat = format >= 0 && format < msdb::kDateFormatCount
                           ? std::string(msdb::kDateFormatNames[static_cast<std::size_t>(format)])
                           : std::string();
    const auto page = static_cast<int>(SendMessageW(Item(IDC_CODE_PAGE), CB_GETCURSEL, 0, 0));
    form_.codePage = page >= 0 ? msdb::kFirstCodePage + page : msdb::kDefaultCodePage;
    for (auto [id, date] : {std::pair{IDC_FROM, &form_.from}, std::pair{IDC_TO, &form_.to}}) {
        const std::string text = ItemText(id);
        if (HoldsBadDate(text)) {
            Refuse(id, std::string(ui::kBadDateMessage));
            return false;
        }
        *date = Trimmed(text);
    }
    return true;
}

namespace {

// The first problem of `problems` of this kind and, when given, for this setting.
const engine::SettingsProblem* FindProblem(const std::vector<engine::SettingsProblem>& problems,
                                           engine::ProblemKind kind,
                                           std::optional<SettingsField> field = {}) {
    for (const engine::SettingsProblem& problem : problems) {
        if (problem.kind == kind && (!field || problem.field == *field)) {
            return &problem;
        }
    }
    return nullptr;
}

}  // namespace

void SettingsDialog::OnOk() {
    using engine::ProblemKind;
    if (!ReadForm()) {
        return;
    }
    // The single values were checked as they were read; what is left are the checks across them.
    // A date format that is none of the list is the conversion's to refuse.
    const std::vector<engine::SettingsProblem> problems = Settings().Validate();
    if (const auto* duplicate = FindProblem(problems, ProblemKind::kDuplicateColumns)) {
        Tell(duplicate->message);
        return;
    }
    if (const auto* comma =
            FindProblem(problems, ProblemKind::kConflict, SettingsField::kDecimalComma)) {
        Refuse(IDC_DECIMAL_COMMA, comma->message);
        return;
    }
    if (const auto* range = FindProblem(problems, ProblemKind::kConflict, SettingsField::kRange)) {
        Refuse(IDC_FROM, range->message);
        return;
    }
    // Several files, or a symbol column, name their securities themselves.
    if (form_.SymbolEnabled(files_.Count())) {
        if (const auto* symbol =
                FindProblem(problems, ProblemKind::kEmpty, SettingsField::kSymbol)) {
            Refuse(IDC_SYMBOL, symbol->message);
            return;
        }
        form_.symbol = engine::NormalizeSymbol(form_.symbol);
        SetItemText(IDC_SYMBOL, form_.symbol);
    } else if (!CheckFiles()) {
        return;
    }
    if (const auto* path = FindProblem(problems, ProblemKind::kEmpty, SettingsField::kDirectory)) {
        Refuse(IDC_DIRECTORY, path->message);
        return;
    }
    EndDialog(dialog_, IDOK);
}

bool SettingsDialog::DetectFromFile(bool onlyWhenConfident) {
    if (inputPath_.empty()) {
        return false;
    }
    const engine::ConversionSettings reading = ui::ToSettings(form_, inputPath_);
    const ui::Detection detection =
        ui::DetectForForm(inputPath_, onlyWhenConfident ? &reading : nullptr);
    detectionLine_ = detection.line;
    detectionReasons_ = detection.reasons;
    if (!detection.take) {
        return false;
    }
    ui::TakeLayout(detection.layout, &form_);
    return true;
}

void SettingsDialog::ShowDetection() {
    SetItemText(IDC_DETECTION, detectionLine_);
    // Why detection proposed what it did, as the line's tooltip.
    if (tooltip_ == nullptr) {
        tooltip_ = CreateWindowExW(
            0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
            CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, dialog_, nullptr, instance_, nullptr);
        SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, 600);
        TTTOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = dialog_;
        tool.uId = reinterpret_cast<UINT_PTR>(Item(IDC_DETECTION));
        tool.lpszText = const_cast<wchar_t*>(L"");
        SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    std::wstring reasons = Wide(detectionReasons_);
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = dialog_;
    tool.uId = reinterpret_cast<UINT_PTR>(Item(IDC_DETECTION));
    tool.lpszText = reasons.data();
    SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
    SendMessageW(tooltip_, TTM_ACTIVATE, !reasons.empty(), 0);
}

void SettingsDialog::OnDetect() {
    factsStale_ = true;
    // What detection does not propose stays as typed.
    form_.directory = ItemText(IDC_DIRECTORY);
    form_.symbol = ItemText(IDC_SYMBOL);
    form_.name = ItemText(IDC_NAME);
    form_.master = CheckedRadio(IDC_USE_EXISTING, 2);
    form_.makeEMaster = Checked(IDC_EMASTER);
    form_.update = Checked(IDC_UPDATE);
    form_.xmaster = Checked(IDC_XMASTER);
    form_.columns = ControlColumns();
    form_.series = ItemText(IDC_SERIES);
    form_.from = Trimmed(ItemText(IDC_FROM));
    form_.to = Trimmed(ItemText(IDC_TO));
    const auto page = static_cast<int>(SendMessageW(Item(IDC_CODE_PAGE), CB_GETCURSEL, 0, 0));
    form_.codePage = page >= 0 ? msdb::kFirstCodePage + page : msdb::kDefaultCodePage;
    if (DetectFromFile(false)) {
        showing_ = false;  // one refresh for the whole change
        ShowForm();
        showing_ = true;
        EnableColumns();
    }
    ShowDetection();
    KillTimer(dialog_, kPreviewTimer);
    RefreshPreview();
}

void SettingsDialog::OnBrowse() {
    IFileOpenDialog* chooser = nullptr;
    if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(&chooser)))) {
        Tell("The folder chooser cannot be opened.");
        return;
    }
    FILEOPENDIALOGOPTIONS options = 0;
    chooser->GetOptions(&options);
    chooser->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST);
    chooser->SetTitle(L"Choose Directory");
    const std::wstring typed = Wide(Trimmed(ItemText(IDC_DIRECTORY)));
    IShellItem* start = nullptr;
    if (!typed.empty() &&
        SUCCEEDED(SHCreateItemFromParsingName(typed.c_str(), nullptr, IID_PPV_ARGS(&start)))) {
        chooser->SetFolder(start);
        start->Release();
    }
    IShellItem* item = nullptr;
    if (SUCCEEDED(chooser->Show(dialog_)) && SUCCEEDED(chooser->GetResult(&item))) {
        PWSTR path = nullptr;
        if (SUCCEEDED(item->GetDisplayName(SIGDN_FILESYSPATH, &path))) {
            SetDlgItemTextW(dialog_, IDC_DIRECTORY, path);
            CoTaskMemFree(path);
        }
        item->Release();
    }
    chooser->Release();
}

void SettingsDialog::OnCreateDirectory() {
    const std::string typed = Trimmed(ItemText(IDC_DIRECTORY));
    if (typed.empty() ||
        MessageBoxW(dialog_,
                    Wide("The directory " + typed + " does not exist.\nCreate it?").c_str(),
                    L"Korvex", MB_YESNO | MB_ICONQUESTION) != IDYES) {
        return;
    }
    // SHCreateDirectoryEx makes the folders above it too, but wants a full path.
    wchar_t full[MAX_PATH * 8];
    const DWORD length =
        GetFullPathNameW(Wide(typed).c_str(), static_cast<DWORD>(std::size(full)), full, nullptr);
    const int made = length > 0 && length < std::size(full)
                         ? SHCreateDirectoryExW(dialog_, full, nullptr)
                         : ERROR_BAD_PATHNAME;
    if (made != ERROR_SUCCESS && made != ERROR_ALREADY_EXISTS) {
        Tell("The directory " + typed + " could not be created.");
    } else if (refusalField_ == SettingsField::kDirectory) {
        refusal_.clear();  // the directory that was missing is there now
        SetItemText(IDC_REFUSAL, refusal_);
    }
    UpdateDirectoryStatus();
    SetFocus(Item(IDC_DIRECTORY));
}

void SettingsDialog::UpdateDirectoryStatus() {
    const std::string typed = Trimmed(ItemText(IDC_DIRECTORY));
    int master = CheckedRadio(IDC_USE_EXISTING, 2);
    // The master choice follows each directory typed or chosen; the user may still change it.
    if (typed != followedDirectory_) {
        followedDirectory_ = typed;
        const std::optional<int> fitting = ui::DescribeDirectory(typed, master).fittingMaster;
        if (fitting && master != *fitting) {
            master = *fitting;
            for (int i = 0; i < 2; ++i) {
                SetChecked(IDC_USE_EXISTING + i, master == i);
            }
        }
    }
    EnableWindow(Item(IDC_EMASTER), master == 1);
    const ui::DirectoryStatus status = ui::DescribeDirectory(typed, master);
    ShowWindow(Item(IDC_CREATE_DIRECTORY), status.missing ? SW_SHOWNA : SW_HIDE);
    directoryWarns_ = status.warn;
    SetItemText(IDC_DIRECTORY_STATUS, status.text);
}

HBRUSH SettingsDialog::OnStaticColor(HDC dc, HWND control) {
    const int id = GetDlgCtrlID(control);
    const bool warn = id == IDC_REFUSAL || id == IDC_CELL_PROBLEMS || id == IDC_FILE_PROBLEM ||
                      (id == IDC_DIRECTORY_STATUS && directoryWarns_) ||
                      (id == IDC_SUMMARY && summaryBad_);
    if (!warn) {
        return nullptr;  // drawn as usual
    }
    SetTextColor(dc, kWarningColour);
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    return background_;
}

int SettingsDialog::ControlOf(SettingsField field, PriceField priceField) const {
    switch (field) {
        case SettingsField::kDirectory:
            return IDC_DIRECTORY;
        case SettingsField::kSymbol:
            return SeveralFiles() ? IDC_FILE_SYMBOL : IDC_SYMBOL;
        case SettingsField::kName:
            return SeveralFiles() ? IDC_FILE_NAME : IDC_NAME;
        case SettingsField::kMaster:
            return form_.master == 1 ? IDC_MAKE_NEW : IDC_USE_EXISTING;
        case SettingsField::kPeriod:  // the period column's, else the dates say the period
            if (form_.columns.period != 0) {
                return IDC_PERIOD_COLUMN;
            }
            return IDC_DATE_FORMAT;
        case SettingsField::kDateFormat:
            return IDC_DATE_FORMAT;
        case SettingsField::kDecimalComma:
            return IDC_DECIMAL_COMMA;
        case SettingsField::kSkipRows:
            return IDC_SKIP_ROWS;
        case SettingsField::kRange:
            return IDC_FROM;
        case SettingsField::kCodePage:
            return IDC_CODE_PAGE;
        case SettingsField::kColumn:
            break;
    }
    return ColumnId(priceField);
}

void SettingsDialog::ShowRefusal(const std::string& message, SettingsField field,
                                 PriceField priceField) {
    refusal_ = message;
    refusalField_ = field;
    focusOnShow_ = ControlOf(field, priceField);
}

// The preview.

void SettingsDialog::SchedulePreview() {
    factsStale_ = true;
    if (showing_) {
        SetTimer(dialog_, kPreviewTimer, kPreviewDelayMs, nullptr);
    }
}

engine::ConversionSettings SettingsDialog::ControlSettings() const {
    engine::ConversionSettings settings;
    settings.inputPath = inputPath_;
    const int delimiter = CheckedRadio(IDC_COMMA_RADIO, 4);
    settings.delimiter = delimiter == 1 ? '\t' : delimiter == 2 ? ' ' : delimiter == 3 ? ';' : ',';
    settings.decimalComma = Checked(IDC_DECIMAL_COMMA);
    settings.dateFormat = static_cast<engine::DateFormat>(
        SendMessageW(Item(IDC_DATE_FORMAT), CB_GETCURSEL, 0, 0) + 1);
    const auto number = [this](int id) {
        const std::optional<long long> value = WholeNumber(ItemText(id));
        return value && *value >= 0 && *value <= INT_MAX ? static_cast<int>(*value) : 0;
    };
    settings.skipOn = Checked(IDC_SKIP_CHECK);
    settings.skipRows = std::clamp(number(IDC_SKIP_ROWS), 0, engine::limits::kMaxSkipRows);
    for (PriceField field : kFields) {
        settings.fields[field] = {CheckId(field) == 0 || Checked(CheckId(field)),
                                  number(ColumnId(field))};
    }
    settings.from = engine::ParseIsoDate(Trimmed(ItemText(IDC_FROM)));
    settings.to = engine::ParseIsoDate(Trimmed(ItemText(IDC_TO)));
    settings.columns = ControlColumns();
    if (settings.columns.series != 0) {
        settings.series = engine::ParseSeriesList(ItemText(IDC_SERIES));
    }
    return settings;
}

void SettingsDialog::RefreshPreview() {
    if (inputPath_.empty()) {
        ShowPreviewMessage("No input file is open.", false);
        return;
    }
    if (HoldsBadDate(ItemText(IDC_FROM)) || HoldsBadDate(ItemText(IDC_TO))) {
        ShowPreviewMessage(std::string(ui::kBadDateMessage), true);
        return;
    }
    const engine::ConversionSettings settings = ControlSettings();
    const std::vector<engine::SettingsProblem> problems = settings.Validate();
    if (const engine::SettingsProblem* problem = ui::ReadingProblem(problems)) {
        ShowPreviewMessage(problem->message, true);
        return;
    }
    if (SeveralFiles() && factsStale_) {
        StartFacts(settings);
    }
    ClearPreview();
    if (msdb::Status status = preview_.Load(settings, ui::kPreviewRecords); !status.ok()) {
        ShowPreviewMessage("The file cannot be read.\n" + status.message(), true);
        return;
    }
    FillColumns();
    SetItemText(IDC_ORDER_NOTE, preview_.OrderNote());
    ShowWindow(Item(IDC_ORDER_NOTE), preview_.Reversed() ? SW_SHOWNA : SW_HIDE);
    StartSummary(settings);
}

void SettingsDialog::ClearPreview() {
    StopSummary();
    ++generation_;  // what the stopped reading sent on its way is dropped
    preview_.Clear();
    FillColumns();
    ShowWindow(Item(IDC_ORDER_NOTE), SW_HIDE);
    ShowWindow(Item(IDC_SUMMARY_PROGRESS), SW_HIDE);
}

void SettingsDialog::ShowPreviewMessage(const std::string& text, bool bad) {
    ClearPreview();
    summaryBad_ = bad;
    SetItemText(IDC_SUMMARY, text);
}

void SettingsDialog::FillColumns() {
    HWND list = Item(IDC_PREVIEW);
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    while (ListView_DeleteColumn(list, 0)) {
    }
    // The first column heads each row with the file's line it comes from.
    std::wstring heading = L"Line";
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
    column.fmt = LVCFMT_LEFT;
    column.cx = 70;
    column.pszText = heading.data();
    ListView_InsertColumn(list, 0, &column);
    for (int c = 0; c < preview_.ColumnCount(); ++c) {
        heading = Wide(preview_.ColumnHeading(c));
        column.pszText = heading.data();
        column.fmt =
            preview_.RowCount() > 0 && preview_.Cell(0, c).number ? LVCFMT_RIGHT : LVCFMT_LEFT;
        column.cx = 88;
        ListView_InsertColumn(list, c + 1, &column);
    }
    ListView_SetItemCountEx(list, preview_.RowCount(), 0);
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
    ShowRowProblems(-1);
}

void SettingsDialog::ShowRowProblems(int row) {
    std::string text;
    if (row >= 0 && row < preview_.RowCount()) {
        for (int c = 0; c < preview_.ColumnCount(); ++c) {
            std::string problems = preview_.CellProblems(row, c);
            std::replace(problems.begin(), problems.end(), '\n', ' ');
            if (!problems.empty()) {
                text += (text.empty() ? "" : " ") + problems;
            }
        }
    }
    SetItemText(IDC_CELL_PROBLEMS, text);
}

LRESULT SettingsDialog::OnNotify(NMHDR* header) {
    if (header->idFrom == IDC_FILES) {
        return OnFilesNotify(header);
    }
    if (header->idFrom != IDC_PREVIEW) {
        return 0;
    }
    switch (header->code) {
        case LVN_GETDISPINFOW: {
            LVITEMW& item = reinterpret_cast<NMLVDISPINFOW*>(header)->item;
            if ((item.mask & LVIF_TEXT) == 0 || item.iItem < 0 ||
                item.iItem >= preview_.RowCount()) {
                return 0;
            }
            if (item.iSubItem == 0) {
                cellText_ = Wide(preview_.RowHeading(item.iItem));
            } else {
                const ui::PreviewCell& cell = preview_.Cell(item.iItem, item.iSubItem - 1);
                cellText_ = (cell.problems.empty() ? L"" : L"\x26A0 ") + Wide(cell.text);
            }
            lstrcpynW(item.pszText, cellText_.c_str(), item.cchTextMax);
            return 0;
        }
        case LVN_GETINFOTIPW: {
            auto* tip = reinterpret_cast<NMLVGETINFOTIPW*>(header);
            std::string text;
            for (int c = 0; tip->iItem < preview_.RowCount() && c < preview_.ColumnCount(); ++c) {
                const std::string problems = preview_.CellProblems(tip->iItem, c);
                if (!problems.empty()) {
                    text += (text.empty() ? "" : "\n") + problems;
                }
            }
            if (!text.empty()) {
                lstrcpynW(tip->pszText, Wide(text).c_str(), tip->cchTextMax);
            }
            return 0;
        }
        case LVN_ITEMCHANGED: {
            const auto* change = reinterpret_cast<NMLISTVIEW*>(header);
            if ((change->uNewState & LVIS_FOCUSED) != 0) {
                ShowRowProblems(change->iItem);
            }
            return 0;
        }
        case NM_CUSTOMDRAW: {
            auto* draw = reinterpret_cast<NMLVCUSTOMDRAW*>(header);
            switch (draw->nmcd.dwDrawStage) {
                case CDDS_PREPAINT:
                    return CDRF_NOTIFYITEMDRAW;
                case CDDS_ITEMPREPAINT:
                    return CDRF_NOTIFYSUBITEMDRAW;
                case CDDS_ITEMPREPAINT | CDDS_SUBITEM: {
                    const auto row = static_cast<int>(draw->nmcd.dwItemSpec);
                    const int column = draw->iSubItem - 1;
                    const bool problem = row < preview_.RowCount() && column >= 0 &&
                                         column < preview_.ColumnCount() &&
                                         !preview_.Cell(row, column).problems.empty();
                    draw->clrText = problem ? kWarningColour : GetSysColor(COLOR_WINDOWTEXT);
                    draw->clrTextBk = problem ? kProblemCellColour : GetSysColor(COLOR_WINDOW);
                    return CDRF_NEWFONT;
                }
                default:
                    return CDRF_DODEFAULT;
            }
        }
        default:
            return 0;
    }
}

void SettingsDialog::StopSummary() {
    if (stopSummary_) {
        stopSummary_->store(true);  // the reading stops at its next record; its result is dropped
        stopSummary_.reset();
    }
    if (summaryThread_.joinable()) {
        summaryThread_.join();
    }
}

void SettingsDialog::StartSummary(const engine::ConversionSettings& settings) {
    StopSummary();
    const int generation = ++generation_;
    summaryBad_ = false;
    SetItemText(IDC_SUMMARY, "Reading the whole file...");
    SendMessageW(Item(IDC_SUMMARY_PROGRESS), PBM_SETRANGE32, 0, 1000);
    SendMessageW(Item(IDC_SUMMARY_PROGRESS), PBM_SETPOS, 0, 0);
    auto stop = std::make_shared<std::atomic<bool>>(false);
    stopSummary_ = stop;
    HWND dialog = dialog_;
    summaryThread_ = std::thread([this, dialog, settings, stop, generation] {
        const ui::FileSummary summary = ui::SummarizeFile(settings, *stop, [&](int permille) {
            PostMessageW(dialog, kSummaryProgress, static_cast<WPARAM>(generation), permille);
        });
        if (summary.cancelled) {
            return;
        }
        {
            const std::lock_guard lock(summaryMutex_);
            summaryResult_ = summary;
            summaryResultGeneration_ = generation;
        }
        PostMessageW(dialog, kSummaryDone, static_cast<WPARAM>(generation), 0);
    });
}

void SettingsDialog::OnSummaryProgress(int generation, int permille) {
    if (generation == generation_) {
        ShowWindow(Item(IDC_SUMMARY_PROGRESS), SW_SHOWNA);
        SendMessageW(Item(IDC_SUMMARY_PROGRESS), PBM_SETPOS, static_cast<WPARAM>(permille), 0);
    }
}

void SettingsDialog::OnSummaryDone(int generation) {
    if (generation != generation_) {
        return;  // the settings changed while that reading ran
    }
    std::optional<ui::FileSummary> summary;
    {
        const std::lock_guard lock(summaryMutex_);
        if (summaryResultGeneration_ == generation) {
            summary = std::move(summaryResult_);
            summaryResult_.reset();
        }
    }
    if (!summary) {
        return;
    }
    ShowWindow(Item(IDC_SUMMARY_PROGRESS), SW_HIDE);
    summaryBad_ = summary->bad;
    SetItemText(IDC_SUMMARY, summary->text);
}
