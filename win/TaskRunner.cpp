#include "TaskRunner.h"

#include <commctrl.h>

#include <thread>

#include "Resources.h"
#include "Text.h"

namespace {

constexpr UINT kProgress = WM_APP + 1;  // wParam: thousandths done
constexpr UINT kDone = WM_APP + 2;
constexpr UINT kQuestion = WM_APP + 3;  // wParam: MB_OK or MB_YESNO, lParam: the text
constexpr UINT kCommitting = WM_APP + 4;
constexpr UINT_PTR kShowTimer = 1;
// How long a run goes before its progress window shows.
constexpr UINT kShowAfterMs = 400;

struct ProgressState {
    std::function<void()> cancel;
    bool done = false;
    bool committing = false;  // the run can no longer be stopped
};

INT_PTR CALLBACK ProgressProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        SendDlgItemMessageW(window, IDC_PROGRESS_BAR, PBM_SETRANGE32, 0, 1000);
        SetTimer(window, kShowTimer, kShowAfterMs, nullptr);
        return TRUE;
    }
    auto* state = reinterpret_cast<ProgressState*>(GetWindowLongPtrW(window, DWLP_USER));
    if (state == nullptr) {
        return FALSE;
    }
    switch (message) {
        case WM_TIMER:
            KillTimer(window, kShowTimer);
            ShowWindow(window, SW_SHOW);
            return TRUE;
        case kProgress:
            SendDlgItemMessageW(window, IDC_PROGRESS_BAR, PBM_SETPOS, wParam, 0);
            return TRUE;
        case kCommitting:
            // From here the run ends done or undone: Cancel could no longer stop it.
            state->committing = true;
            EnableWindow(GetDlgItem(window, IDCANCEL), FALSE);
            SetDlgItemTextW(window, IDC_PROGRESS_TEXT, L"Saving the directory...");
            return TRUE;
        case kDone:
            state->done = true;
            return TRUE;
        case kQuestion: {
            // Asked from the task's thread, which waits for the answer.
            const auto* text = reinterpret_cast<const std::string*>(lParam);
            const UINT style = wParam == MB_YESNO ? MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2
                                                  : MB_OK | MB_ICONINFORMATION;
            // Over the progress window, shown now if it waits for its time: the owner is disabled.
            KillTimer(window, kShowTimer);
            ShowWindow(window, SW_SHOW);
            const int answer = MessageBoxW(window, Wide(*text).c_str(), L"Korvex", style);
            SetWindowLongPtrW(window, DWLP_MSGRESULT, answer);
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDCANCEL && state->cancel && !state->committing) {
                SetDlgItemTextW(window, IDC_PROGRESS_TEXT, L"Stopping...");
                EnableWindow(GetDlgItem(window, IDCANCEL), FALSE);
                state->cancel();
            }
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

void ThreadQuestions::Tell(const std::string& message) {
    SendMessageW(window_, kQuestion, MB_OK, reinterpret_cast<LPARAM>(&message));
}

bool ThreadQuestions::Ask(const std::string& question) {
    return SendMessageW(window_, kQuestion, MB_YESNO, reinterpret_cast<LPARAM>(&question)) == IDYES;
}

ui::TaskResult RunTask(HINSTANCE instance, HWND owner, const std::string& label,
                       const TaskWork& work, const std::function<void()>& cancel,
                       ThreadQuestions& questions) {
    ProgressState state{cancel, false};
    HWND window = CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_PROGRESS), owner,
                                     &ProgressProcedure, reinterpret_cast<LPARAM>(&state));
    if (window == nullptr) {
        return work(nullptr, nullptr);  // no window to show it in: the run still runs
    }
    SetDlgItemTextW(window, IDC_PROGRESS_TEXT, Wide(label).c_str());
    if (!cancel) {
        ShowWindow(GetDlgItem(window, IDCANCEL), SW_HIDE);
    }
    questions.SetWindow(window);
    EnableWindow(owner, FALSE);
    HCURSOR cursor = SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32514)));  // IDC_APPSTARTING

    ui::TaskResult result;
    std::thread runner([&] {
        result = work(
            [window](int permille) {
                PostMessageW(window, kProgress, static_cast<WPARAM>(permille), 0);
            },
            [window] { PostMessageW(window, kCommitting, 0, 0); });
        PostMessageW(window, kDone, 0, 0);
    });
    MSG message{};
    bool quit = false;
    int quitStatus = 0;
    while (!state.done) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got < 0) {
            break;
        }
        if (got == 0) {
            // The program is asked to end: the run stops before its commit, and the request is
            // posted again once it has.
            quit = true;
            quitStatus = static_cast<int>(message.wParam);
            if (cancel) {
                cancel();
            }
            continue;
        }
        if (!IsDialogMessageW(window, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    runner.join();
    SetCursor(cursor);
    EnableWindow(owner, TRUE);
    DestroyWindow(window);
    SetForegroundWindow(owner);
    if (quit) {
        PostQuitMessage(quitStatus);
    }
    return result;
}
