#include "RemoveSecurityDialog.h"

#include <commctrl.h>

#include "Resources.h"
#include "Text.h"

bool RemoveSecurityDialog::Run(HINSTANCE instance, HWND parent) {
    return DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_REMOVE_SECURITY), parent,
                           &RemoveSecurityDialog::Procedure,
                           reinterpret_cast<LPARAM>(this)) == IDOK;
}

INT_PTR CALLBACK RemoveSecurityDialog::Procedure(HWND dialog, UINT message, WPARAM wParam,
                                                 LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        reinterpret_cast<RemoveSecurityDialog*>(lParam)->dialog_ = dialog;
    }
    auto* self = reinterpret_cast<RemoveSecurityDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
    return self != nullptr ? self->Handle(message, wParam, lParam) : FALSE;
}

INT_PTR RemoveSecurityDialog::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            list_ = GetDlgItem(dialog_, IDC_SECURITY_LIST);
            ListView_SetExtendedListViewStyle(list_, LVS_EX_FULLROWSELECT);
            const wchar_t* headings[] = {L"Symbol", L"Name", L"Records", L"First date",
                                         L"Last date"};
            const int widths[] = {90, 170, 70, 90, 90};
            for (int i = 0; i < 5; ++i) {
                LVCOLUMNW column{};
                column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
                column.fmt = i == 2 ? LVCFMT_RIGHT : LVCFMT_LEFT;
                column.cx = widths[i];
                column.pszText = const_cast<wchar_t*>(headings[i]);
                ListView_InsertColumn(list_, i, &column);
            }
            SetDlgItemTextW(dialog_, IDC_REMOVE_DIRECTORY, Wide(directory_).c_str());  // fills
            Fill();
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDC_REMOVE_DIRECTORY && HIWORD(wParam) == EN_CHANGE) {
                Fill();
            } else if (LOWORD(wParam) == IDOK && Picked() >= 0) {
                symbol_ = securities_[static_cast<std::size_t>(Picked())].symbol;
                EndDialog(dialog_, IDOK);
            } else if (LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog_, IDCANCEL);
            }
            return TRUE;
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            if (header->idFrom == IDC_SECURITY_LIST && header->code == LVN_ITEMCHANGED) {
                UpdateOk();
            } else if (header->idFrom == IDC_SECURITY_LIST && header->code == NM_DBLCLK &&
                       Picked() >= 0) {
                SendMessageW(dialog_, WM_COMMAND, IDOK, 0);
            }
            return TRUE;
        }
        default:
            return FALSE;
    }
}

void RemoveSecurityDialog::Fill() {
    const HWND edit = GetDlgItem(dialog_, IDC_REMOVE_DIRECTORY);
    std::wstring typed(static_cast<std::size_t>(GetWindowTextLengthW(edit)) + 1, L'\0');
    typed.resize(static_cast<std::size_t>(
        GetWindowTextW(edit, typed.data(), static_cast<int>(typed.size()))));
    directory_ = Narrow(typed);
    std::string problem;
    securities_ = ui::ListSecurities(directory_, codePage_, &problem);
    ListView_DeleteAllItems(list_);
    for (std::size_t i = 0; i < securities_.size(); ++i) {
        const ui::ListedSecurity& security = securities_[i];
        const std::wstring cells[] = {
            Wide(security.symbol), Wide(security.name),
            Wide(security.records ? std::to_string(*security.records) : std::string()),
            Wide(security.firstDate), Wide(security.lastDate)};
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = static_cast<int>(i);
        item.pszText = const_cast<wchar_t*>(cells[0].c_str());
        ListView_InsertItem(list_, &item);
        for (int column = 1; column < 5; ++column) {
            ListView_SetItemText(list_, static_cast<int>(i), column,
                                 const_cast<wchar_t*>(cells[column].c_str()));
        }
    }
    SetDlgItemTextW(dialog_, IDC_REMOVE_PROBLEM, Wide(problem).c_str());
    UpdateOk();
}

// The row picked; -1 when none is.
int RemoveSecurityDialog::Picked() const {
    const int row = ListView_GetNextItem(list_, -1, LVNI_SELECTED);
    return row >= 0 && static_cast<std::size_t>(row) < securities_.size() ? row : -1;
}

void RemoveSecurityDialog::UpdateOk() {
    EnableWindow(GetDlgItem(dialog_, IDOK), Picked() >= 0);
}
