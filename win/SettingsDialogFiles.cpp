// The Conversion Settings' part for runs of many securities: the symbol, name, period and series
// columns with the series to keep, and the files of a run of several, listed with their symbols
// and names and what reading each whole file found, on a thread of its own.
#include "SettingsDialog.h"

#include <commctrl.h>

#include <algorithm>
#include <climits>

#include "Resources.h"
#include "Text.h"
#include "msdb/CodePage.h"

namespace {

constexpr COLORREF kBadFileColour = RGB(176, 0, 0);

// The check boxes of the other columns, each followed by its box and up-down control, with the
// value each sets.
struct OtherColumn {
    int check;
    int engine::OtherColumns::*column;
};
constexpr OtherColumn kOtherColumns[] = {{IDC_SYMBOL_COLUMN_CHECK, &engine::OtherColumns::symbol},
                                         {IDC_NAME_COLUMN_CHECK, &engine::OtherColumns::name},
                                         {IDC_PERIOD_COLUMN_CHECK, &engine::OtherColumns::period},
                                         {IDC_SERIES_COLUMN_CHECK, &engine::OtherColumns::series}};

// The widths of the file list's columns, File to Problems, in pixels.
constexpr int kFileColumnWidths[ui::FileList::kColumns] = {190, 80, 170, 80, 90, 90, 70};

}  // namespace

std::vector<engine::InputFile> SettingsDialog::Inputs() const {
    if (SeveralFiles()) {
        return files_.Inputs();
    }
    if (form_.columns.symbol != 0) {
        return {{inputPath_, {}, {}}};
    }
    return {{inputPath_, engine::NormalizeSymbol(form_.symbol), form_.name}};
}

void SettingsDialog::SetUpFiles() {
    for (const OtherColumn& other : kOtherColumns) {
        SendMessageW(Item(other.check + 2), UDM_SETRANGE32, engine::limits::kFirstColumn,
                     engine::limits::kLastColumn);
    }
    const int files[] = {IDC_FILES,           IDC_FILE_SYMBOL_LABEL, IDC_FILE_SYMBOL,
                         IDC_FILE_NAME_LABEL, IDC_FILE_NAME,         IDC_FILE_PROBLEM};
    if (!SeveralFiles()) {
        // One file: its symbol and name are the form's; the preview takes the list's place.
        for (int id : files) {
            ShowWindow(Item(id), SW_HIDE);
        }
        const auto frameOf = [this](int id) {
            RECT frame{};
            GetWindowRect(Item(id), &frame);
            MapWindowPoints(nullptr, dialog_, reinterpret_cast<POINT*>(&frame), 2);
            return frame;
        };
        const RECT list = frameOf(IDC_FILES);
        const RECT note = frameOf(IDC_ORDER_NOTE);
        const RECT preview = frameOf(IDC_PREVIEW);
        const LONG up = note.top - list.top;
        SetWindowPos(Item(IDC_ORDER_NOTE), nullptr, note.left, list.top, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        SetWindowPos(Item(IDC_PREVIEW), nullptr, preview.left, preview.top - up,
                     preview.right - preview.left, preview.bottom - preview.top + up,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        return;
    }
    if (!symbolsProposed_) {
        // The symbols proposed from the names are those of the form's code page, known now.
        std::vector<std::string> paths;
        for (std::size_t row = 0; row < files_.Count(); ++row) {
            paths.push_back(files_.Path(row));
        }
        files_.SetFiles(paths, form_.codePage);
        symbolsProposed_ = true;
    }
    HWND list = Item(IDC_FILES);
    ListView_SetExtendedListViewStyle(
        list, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_DOUBLEBUFFER);
    for (int c = 0; c < ui::FileList::kColumns; ++c) {
        std::wstring heading = Wide(ui::FileList::Heading(c));
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        column.fmt = c == ui::FileList::kRecords || c == ui::FileList::kProblems ? LVCFMT_RIGHT
                                                                                 : LVCFMT_LEFT;
        column.cx = kFileColumnWidths[c];
        column.pszText = heading.data();
        ListView_InsertColumn(list, c, &column);
    }
    files_.SetSymbolColumn(form_.columns.symbol != 0);
    ListView_SetItemCountEx(list, static_cast<int>(files_.Count()), 0);
    SelectFile(std::clamp(selectedFile_, 0, static_cast<int>(files_.Count()) - 1));
}

engine::OtherColumns SettingsDialog::ControlColumns() const {
    engine::OtherColumns columns;
    for (const OtherColumn& other : kOtherColumns) {
        BOOL number = FALSE;
        const UINT column = GetDlgItemInt(dialog_, other.check + 1, &number, FALSE);
        columns.*other.column = Checked(other.check) && number ? static_cast<int>(column) : 0;
    }
    return columns;
}

void SettingsDialog::ShowOtherColumns() {
    // A column switched off shows the first one after those of the prices, ready to be switched
    // on.
    int next = 0;
    for (const engine::FieldSetting& field : form_.fields.values) {
        next = std::max(next, field.column);
    }
    for (const OtherColumn& other : kOtherColumns) {
        const int column = form_.columns.*other.column;
        SetChecked(other.check, column != 0);
        SetDlgItemInt(dialog_, other.check + 1, static_cast<UINT>(column != 0 ? column : ++next),
                      FALSE);
    }
    SetItemText(IDC_SERIES, form_.series);
}

bool SettingsDialog::ReadOtherColumns() {
    for (const OtherColumn& other : kOtherColumns) {
        BOOL number = FALSE;
        const UINT column = GetDlgItemInt(dialog_, other.check + 1, &number, FALSE);
        if (!Checked(other.check)) {
            form_.columns.*other.column = 0;
            continue;
        }
        const int value = number ? static_cast<int>(std::min<UINT>(column, INT_MAX)) : 0;
        if (std::optional<engine::SettingsProblem> problem =
                engine::CheckColumn(engine::PriceField::kDate, value)) {
            Refuse(other.check + 1, problem->message);
            return false;
        }
        form_.columns.*other.column = value;
    }
    // Kept as typed while the series column is off, ready for when it is on again.
    form_.series = ItemText(IDC_SERIES);
    return true;
}

void SettingsDialog::OnSymbolColumnChanged() {
    form_.columns.symbol = ControlColumns().symbol;
    files_.SetSymbolColumn(form_.columns.symbol != 0);
    SelectFile(selectedFile_);  // its fields show what the list shows now
    EnableColumns();
    InvalidateRect(Item(IDC_FILES), nullptr, TRUE);
    SchedulePreview();
}

void SettingsDialog::SelectFile(int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= files_.Count()) {
        return;
    }
    selectedFile_ = row;
    HWND list = Item(IDC_FILES);
    if (ListView_GetNextItem(list, -1, LVNI_SELECTED) != row) {
        ListView_SetItemState(list, row, LVIS_SELECTED | LVIS_FOCUSED,
                              LVIS_SELECTED | LVIS_FOCUSED);
        ListView_EnsureVisible(list, row, FALSE);
    }
    const auto index = static_cast<std::size_t>(row);
    bindingFile_ = true;
    SetItemText(IDC_FILE_SYMBOL, files_.Text(index, ui::FileList::kSymbol));
    SetItemText(IDC_FILE_NAME, files_.Text(index, ui::FileList::kName));
    SetItemText(IDC_FILE_PROBLEM, {});
    bindingFile_ = false;
    if (inputPath_ != files_.Path(index)) {
        inputPath_ = files_.Path(index);
        if (showing_) {
            RefreshPreview();  // the files' facts still hold unless the settings changed
        }
    }
}

void SettingsDialog::OnFileEdited(int id) {
    if (bindingFile_ || !SeveralFiles()) {
        return;
    }
    const int column = id == IDC_FILE_SYMBOL ? ui::FileList::kSymbol : ui::FileList::kName;
    const auto page = static_cast<int>(SendMessageW(Item(IDC_CODE_PAGE), CB_GETCURSEL, 0, 0));
    const std::string refused = files_.SetText(static_cast<std::size_t>(selectedFile_), column,
                                               ItemText(id), msdb::kFirstCodePage + page);
    SetItemText(IDC_FILE_PROBLEM, refused);
    ListView_RedrawItems(Item(IDC_FILES), selectedFile_, selectedFile_);
}

bool SettingsDialog::CheckFiles() {
    if (!SeveralFiles() || !files_.Editable(ui::FileList::kSymbol)) {
        return true;
    }
    const int page = form_.codePage;
    for (int id : {IDC_FILE_SYMBOL, IDC_FILE_NAME}) {
        const int column = id == IDC_FILE_SYMBOL ? ui::FileList::kSymbol : ui::FileList::kName;
        if (std::string refused =
                files_.SetText(static_cast<std::size_t>(selectedFile_), column, ItemText(id), page);
            !refused.empty()) {
            Refuse(id, refused);
            return false;
        }
    }
    for (std::size_t row = 0; row < files_.Count(); ++row) {
        if (engine::NormalizeSymbol(files_.Text(row, ui::FileList::kSymbol)).empty()) {
            SelectFile(static_cast<int>(row));
            Refuse(IDC_FILE_SYMBOL, "You did not enter a valid symbol");
            return false;
        }
    }
    return true;
}

LRESULT SettingsDialog::OnFilesNotify(NMHDR* header) {
    switch (header->code) {
        case LVN_GETDISPINFOW: {
            LVITEMW& item = reinterpret_cast<NMLVDISPINFOW*>(header)->item;
            if ((item.mask & LVIF_TEXT) != 0 && item.iItem >= 0 &&
                static_cast<std::size_t>(item.iItem) < files_.Count()) {
                cellText_ = Wide(files_.Text(static_cast<std::size_t>(item.iItem), item.iSubItem));
                lstrcpynW(item.pszText, cellText_.c_str(), item.cchTextMax);
            }
            return 0;
        }
        case LVN_ITEMCHANGED: {
            const auto* change = reinterpret_cast<NMLISTVIEW*>(header);
            if ((change->uNewState & LVIS_SELECTED) != 0 && change->iItem != selectedFile_) {
                SelectFile(change->iItem);
            }
            return 0;
        }
        case NM_CUSTOMDRAW: {
            // A file that cannot be read, holds no records or has problems is shown in red.
            auto* draw = reinterpret_cast<NMLVCUSTOMDRAW*>(header);
            if (draw->nmcd.dwDrawStage == CDDS_PREPAINT) {
                return CDRF_NOTIFYITEMDRAW;
            }
            if (draw->nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
                const auto row = static_cast<std::size_t>(draw->nmcd.dwItemSpec);
                draw->clrText = row < files_.Count() && files_.Bad(row)
                                    ? kBadFileColour
                                    : GetSysColor(COLOR_WINDOWTEXT);
                return CDRF_NEWFONT;
            }
            return CDRF_DODEFAULT;
        }
        default:
            return 0;
    }
}

void SettingsDialog::StopFacts() {
    if (stopFacts_) {
        stopFacts_->store(true);
        stopFacts_.reset();
    }
    if (factsThread_.joinable()) {
        factsThread_.join();
    }
}

void SettingsDialog::StartFacts(engine::ConversionSettings settings) {
    StopFacts();
    factsStale_ = false;
    const int generation = ++factsGeneration_;
    files_.ForgetFacts();
    InvalidateRect(Item(IDC_FILES), nullptr, TRUE);
    {
        const std::lock_guard lock(factsMutex_);
        factsResults_.clear();
    }
    std::vector<std::string> paths;
    for (std::size_t row = 0; row < files_.Count(); ++row) {
        paths.push_back(files_.Path(row));
    }
    auto stop = std::make_shared<std::atomic<bool>>(false);
    stopFacts_ = stop;
    HWND dialog = dialog_;
    factsThread_ = std::thread([this, dialog, settings, paths, stop, generation]() mutable {
        for (std::size_t row = 0; row < paths.size(); ++row) {
            settings.inputPath = paths[row];
            ui::FileFacts facts = ui::ReadFileFacts(settings, *stop);
            if (facts.cancelled || stop->load()) {
                return;
            }
            {
                const std::lock_guard lock(factsMutex_);
                factsResults_.emplace_back(row, std::move(facts));
            }
            PostMessageW(dialog, kFactsDone, static_cast<WPARAM>(generation), 0);
        }
    });
}

void SettingsDialog::OnFactsDone(int generation) {
    if (generation != factsGeneration_) {
        return;  // read with settings that have changed since
    }
    std::vector<std::pair<std::size_t, ui::FileFacts>> read;
    {
        const std::lock_guard lock(factsMutex_);
        read.swap(factsResults_);
    }
    for (auto& [row, facts] : read) {
        files_.SetFacts(row, std::move(facts));
        ListView_RedrawItems(Item(IDC_FILES), static_cast<int>(row), static_cast<int>(row));
    }
}
