// The main window's end: a close request, Exit, the clean exit and the session's end. Every
// window still hidden comes back before anything that can fail or wait.
#include "core/dialog_text.h"
#include "core/rule_hiding.h"
#include "win/command_pipe_server.h"
#include "win/confirm_dialog.h"
#include "win/hotkey_page.h"
#include "win/key_state.h"
#include "win/log.h"
#include "win/main_window.h"
#include "win/rules_tab.h"
#include "win/session_end.h"
#include "win/status_bar.h"
#include "win/tray_icon.h"
#include "win/update_dialog.h"

namespace quenvix::win {

void MainWindow::ShutDown() {
    if (destroyed_) return;
    destroyed_ = true;
    ending_ = true;
    // A copy on its way out takes no more requests: a later "--exit" hears that none runs.
    commandPipe_.reset();
    if (startupTimer_) startupTimer_->SetEnabled(false);
    // A pending update request is abandoned: its late answer must not reach this window.
    updateChecker_.reset();
    RestoreAndSaveBeforeEnding();
    // The tray icon goes last: removing it waits on the shell, and nothing hidden may depend on
    // that wait.
    if (trayIcon_) trayIcon_->SetActive(false);
    rawKeyboard_.reset();
    sessionNotice_.reset();  // unregistered while the window lives
    rulesTab_.reset();
    ruleHiding_.reset();
    hotkeyPage_.reset();
    detector_.reset();
    hider_.reset();
    hiddenMenu_.reset();
    trayIcon_.reset();
    settings_.reset();
}

void MainWindow::OnQueryEndSession() {
    // The session asks to end. The documentation of WM_QUERYENDSESSION asks for an answer at once
    // and the clean-up only at WM_ENDSESSION, which tells whether the end goes ahead: so the
    // hidden windows only show, for their programs to ask about unsaved work where the user sees
    // them, and stay listed, to go back into hiding if the end is cancelled.
    if (ending_ || !hider_) return;
    Guarded(nullptr, [&] { hider_->ShowForSessionEnd(); });
}

void MainWindow::OnEndSession(bool ending) {
    if (!ending) {
        // Cancelled (a program refused, or the user did): hidden again, as they were.
        if (!ending_ && hider_) Guarded(nullptr, [&] { hider_->HideAgainAfterCancelledEnd(); });
        return;
    }
    // The session may end as soon as we return (WM_ENDSESSION's documentation), so everything
    // that must not be lost happens before. Restart Manager's close (ENDSESSION_CLOSEAPP) does
    // not end the process by itself: its "Guidelines for Applications" ask a program to close on
    // this message, and send WM_CLOSE to one still running. So the loop ends here, whatever the
    // reason, and a copy closed for an update really goes (pinned by scenario_session_end.sh).
    if (!ending_) {
        ending_ = true;
        if (startupTimer_) startupTimer_->SetEnabled(false);
        RestoreAndSaveBeforeEnding();
        if (trayIcon_) trayIcon_->SetActive(false);
    }
    PostQuitMessage(0);
}

void MainWindow::RestoreAndSaveBeforeEnding() {
    // Every window still hidden comes back, the earliest first, before anything that can fail
    // or wait: the user's windows matter more than the hotkeys or the icon.
    if (hider_) {
        Guarded(nullptr, [&] {
            // Those shown for the session's end are back already: commanded again, one the user
            // has moved on from (maximised, say) would be put back into its former state.
            hider_->ForgetShownForSessionEnd();
            restoringForExit_ = true;
            hider_->RestoreAllOnExit();
        });
    }
    if (hotkeyPage_) Guarded(nullptr, [&] { hotkeyPage_->SaveHotkeys(); });
}

void MainWindow::OnCloseRequest() {
    if (inTray_) {
        CloseProgram();
        return;
    }
    if (Confirm(core::DialogKind::Question, "Closing is hiding",
                "Quenvix will be hidden in tray icon on the right bottom.\n"
                "Click on the tray icon to show menu.\n"
                "\n"
                "To exit from Quenvix use menu Files\\Exit")) {
        HideToTray();
    }
}

void MainWindow::OnExit() {
    if (Confirm(core::DialogKind::Question, "AskToClose", "Close Quenvix?")) ExitUnasked();
}

void MainWindow::ExitUnasked() {
    HideToTray();
    OnCloseRequest();
}

void MainWindow::CloseProgram() {
    if (ending_) return;
    ending_ = true;
    if (startupTimer_) startupTimer_->SetEnabled(false);
    RestoreAndSaveBeforeEnding();
    trayIcon_->SetActive(false);
    ShowOnClose();
    // The message loop ends; the entry point then destroys this window, which restores what is
    // hidden. A menu of ours still open would take the quit message for one of its own and go
    // on: it is closed first (its cancel is queued before the quit).
    EndMenu();
    PostQuitMessage(0);
}

void MainWindow::ShowOnClose() {
    ShowFromTray();
    SetFocus(Hwnd());
    if (statusBar_) statusBar_->ShowHint();
}

}  // namespace quenvix::win
