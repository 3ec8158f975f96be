#include "AboutDialog.h"

#include <commctrl.h>
#include <shellapi.h>

#include <string>

#include "Resources.h"
#include "Text.h"
#include "ui/Maker.h"

namespace {

INT_PTR CALLBACK Procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            const std::string maker = maker::kName;
            SetDlgItemTextW(
                dialog, IDC_ABOUT_BY,
                Wide("A " + std::to_string(sizeof(void*) * 8) + " bit application\nby\n" + maker)
                    .c_str());
            SetDlgItemTextW(dialog, IDC_EMAIL_LINK,
                            Wide(std::string("<a href=\"mailto:") + maker::kEmail + "\">" +
                                 maker::kEmail + "</a>")
                                .c_str());
            SetDlgItemTextW(
                dialog, IDC_WEB_LINK,
                Wide(std::string("<a href=\"") + maker::kWeb + "\">" + maker::kWeb + "</a>")
                    .c_str());
            SetDlgItemTextW(dialog, IDC_LEGAL_TEXT,
                            Wide("Copyright \u00A9 2026 " + maker +
                                 ". All rights reserved.\n\nMetaStock is a trademark of its "
                                 "owner.  Other names are trademarks of their owners.")
                                .c_str());
            return TRUE;
        }
        case WM_NOTIFY: {
            const auto* link = reinterpret_cast<const NMLINK*>(lParam);
            if ((link->hdr.code == NM_CLICK || link->hdr.code == NM_RETURN) &&
                (link->hdr.idFrom == IDC_EMAIL_LINK || link->hdr.idFrom == IDC_WEB_LINK)) {
                const auto opened = reinterpret_cast<INT_PTR>(ShellExecuteW(
                    dialog, L"open", link->item.szUrl, nullptr, nullptr, SW_SHOWNORMAL));
                if (opened <= 32) {
                    MessageBoxW(dialog,
                                (L"The link could not be opened. Its address is:\n" +
                                 std::wstring(link->item.szUrl))
                                    .c_str(),
                                L"Korvex", MB_OK | MB_ICONINFORMATION);
                }
            }
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog, LOWORD(wParam));
            }
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

void ShowAboutDialog(HINSTANCE instance, HWND parent) {
    DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_ABOUT), parent, &Procedure, 0);
}
