// The main window's messages: those of its own controls and menu bar, the system's (close,
// minimise, the session's end, display changes) and the private ones it posts to itself.
#include <windows.h>
// (after windows.h)
#include <commctrl.h>

#include "win/command_line_forwarding.h"
#include "win/hotkey_page.h"
#include "win/main_window.h"
#include "win/rules_tab.h"
#include "win/session_notice.h"
#include "win/status_bar.h"
#include "win/update_dialog.h"

namespace quenvix::win {

LRESULT MainWindow::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    // Once the exit has begun, late commands and clicks find nothing to do, and a close request
    // (Restart Manager sends one to a program still there after WM_ENDSESSION) only ends the loop.
    if (ending_ && msg == WM_CLOSE) {
        PostQuitMessage(0);
        return 0;
    }
    if (ending_ && (msg == WM_COMMAND || msg == WM_NOTIFY)) return 0;
    switch (msg) {
        case WM_COMMAND:
            OnCommand(LOWORD(wParam), HIWORD(wParam));
            return 0;
        case WM_CLOSE:
            OnCloseRequest();
            return 0;
        case WM_SYSCOMMAND:
            // Minimised (its button, its system menu, its taskbar button), it goes to the tray,
            // from where a double click brings it back as it was.
            if ((wParam & 0xFFF0) == SC_MINIMIZE && !ending_) {
                HideToTray();
                return 0;
            }
            return FormWindow::OnMessage(msg, wParam, lParam);
        case WM_WTSSESSION_CHANGE:
            if (sessionNotice_) sessionNotice_->OnMessage(msg, wParam);
            return 0;
        case WM_HOTKEY:
            if (wParam == HotkeyPage::kShowListHotkeyId && !ending_) ShowHiddenList();
            return 0;
        case kUpdateReplyMessage:
            if (updateChecker_ && !ending_) updateChecker_->Finish();
            return 0;
        case WM_NOTIFY: {
            if (!SentByThisThread()) return 0;
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            if (statusBar_ && header->hwndFrom == statusBar_->Hwnd() && header->code == NM_CLICK) {
                statusBar_->OnClick();
            }
            if (rulesTab_ && header->hwndFrom == hotkeyPage_->Tabs() &&
                header->code == TCN_SELCHANGE) {
                rulesTab_->OnTabChanged();
            }
            return 0;
        }
        case WM_SIZE:
            if (statusBar_) statusBar_->Layout();
            return 0;
        case WM_DESTROY:
            // Destroyed by anyone but our own exit (a close that reached the owner window's
            // default handling, another program): a program without its window could never give
            // the hidden windows back, so end cleanly now.
            if (!destroyed_) {
                ShutDown();
                PostQuitMessage(0);
            }
            return 0;
        case WM_QUERYENDSESSION:
            // Posted ones never get here (the filter drops them): this one the system sent.
            // "Applications should respect the user's intentions and return TRUE."
            OnQueryEndSession();
            return TRUE;
        case WM_ENDSESSION:
            // wParam is the outcome of the query; ENDSESSION_CLOSEAPP in lParam (Restart
            // Manager's close) asks for the same clean exit as a logoff or a shutdown.
            OnEndSession(wParam != FALSE);
            return 0;
        case kRunForwardedVerb:
            if (forwardedVerbs_) forwardedVerbs_->RunKept([this] { return destroyed_; });
            return 0;
        case WM_DISPLAYCHANGE:
            FollowTrayIconSize();
            return FormWindow::OnMessage(msg, wParam, lParam);
        case WM_SETTINGCHANGE:
            FollowTrayIconSize();
            return FormWindow::OnMessage(msg, wParam, lParam);
        case WM_DPICHANGED: {
            if (!SentByThisThread()) return 0;
            FollowTrayIconSize();
            const LRESULT r = FormWindow::OnMessage(msg, wParam, lParam);
            if (hotkeyPage_) hotkeyPage_->Layout();
            if (rulesTab_) rulesTab_->Layout();
            if (statusBar_) statusBar_->Layout();
            return r;
        }
        default:
            return FormWindow::OnMessage(msg, wParam, lParam);
    }
}

}  // namespace quenvix::win
