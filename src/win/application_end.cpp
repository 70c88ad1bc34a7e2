// The program's end: a close request, Exit, the clean exit and the session's end, and the other
// messages the system sends the program's window. Every window still hidden comes back before
// anything that can fail or wait.
#include <utility>

#include "core/dialog_text.h"
#include "core/rule_hiding.h"
#include "win/app.h"
#include "win/application.h"
#include "win/command_line_forwarding.h"
#include "win/command_pipe_server.h"
#include "win/confirm_dialog.h"
#include "win/key_settings.h"
#include "win/key_state.h"
#include "win/log.h"
#include "win/rule_storage.h"
#include "win/session_end.h"
#include "win/settings_window.h"
#include "win/tray_icon.h"
#include "win/update_dialog.h"

namespace quenvix::win {

void Application::ShutDown() {
    if (destroyed_) return;
    destroyed_ = true;
    ending_ = true;
    owner_->SetMainWindowHandle(nullptr);
    // A copy on its way out takes no more requests: a later "--exit" hears that none runs.
    commandPipe_.reset();
    if (startupTimer_) startupTimer_->SetEnabled(false);
    if (forwardTimer_) forwardTimer_->SetEnabled(false);
    // A pending update request is abandoned: its late answer must not reach this window.
    updateChecker_.reset();
    RestoreAndSaveBeforeEnding();
    // The tray icon goes last: removing it waits on the shell, and nothing hidden may depend on
    // that wait.
    if (trayIcon_) trayIcon_->SetActive(false);
    rawKeyboard_.reset();
    sessionNotice_.reset();  // unregistered while the window lives
    if (settingsWindow_) settingsWindow_->DropPages();
    ruleStorage_.reset();
    ruleHiding_.reset();
    keys_.reset();
    detector_.reset();
    hider_.reset();
    hiddenMenu_.reset();
    trayIcon_.reset();
    settings_.reset();
}

void Application::OnQueryEndSession() {
    // The session asks to end. The documentation of WM_QUERYENDSESSION asks for an answer at once
    // and the clean-up only at WM_ENDSESSION, which tells whether the end goes ahead: so the
    // hidden windows only show, for their programs to ask about unsaved work where the user sees
    // them, and stay listed, to go back into hiding if the end is cancelled.
    if (ending_ || !hider_) return;
    Guarded(nullptr, [&] { hider_->ShowForSessionEnd(); });
}

void Application::OnEndSession(bool ending) {
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

void Application::RestoreAndSaveBeforeEnding() {
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
    // Once per run: the exit comes here, and the program's end after it. A second write would
    // tell the user twice of a setting that cannot be saved.
    if (keys_ && !keysSaved_) {
        keysSaved_ = true;
        Guarded(nullptr, [&] { keys_->Save(); });
    }
}

void Application::OnCloseRequest() {
    // Once the exit has begun a close request (Restart Manager sends one to a program still there
    // after WM_ENDSESSION) only ends the loop.
    if (ending_) {
        PostQuitMessage(0);
        return;
    }
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

void Application::OnExit() {
    if (Confirm(core::DialogKind::Question, "AskToClose", "Close Quenvix?")) ExitUnasked();
}

void Application::ExitUnasked() {
    HideToTray();
    OnCloseRequest();
}

void Application::CloseProgram() {
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

void Application::ShowOnClose() {
    ShowFromTray();
    SetFocus(Form());
    settingsWindow_->ShowHint();
}

bool Application::MinimiseToTray() {
    if (ending_) return false;
    HideToTray();
    return true;
}

void Application::OnWindowDestroyed() {
    // Destroyed by anyone but our own exit (a close that reached the owner window's default
    // handling, another program): a program without its window could never give the hidden
    // windows back, so end cleanly now.
    if (destroyed_) return;
    ShutDown();
    PostQuitMessage(0);
}

std::optional<LRESULT> Application::OnProgramMessage(UINT msg, WPARAM wParam, LPARAM) {
    switch (msg) {
        case WM_WTSSESSION_CHANGE:
            if (sessionNotice_) sessionNotice_->OnMessage(msg, wParam);
            return 0;
        case WM_HOTKEY:
            if (const auto command = KeySettings::CommandOfSystemHotkey(wParam)) {
                OnSystemHotkey(*command);
            }
            return 0;
        case kUpdateReplyMessage:
            if (updateChecker_ && !ending_) updateChecker_->Finish();
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
        case WM_ENABLE:
            // The box that held up a showing has closed; the window shows once the box is gone.
            if (wParam && std::exchange(showWhenEnabled_, false) && forwardedVerbs_) {
                forwardedVerbs_->Accept(core::CommandVerb::Show);
            }
            return std::nullopt;
        case WM_DISPLAYCHANGE:
        case WM_SETTINGCHANGE:
        case WM_DPICHANGED:
            // The window follows too: it is told only what the tray's icon makes of it.
            FollowTrayIconSize();
            return std::nullopt;
        default:
            return std::nullopt;
    }
}

}  // namespace quenvix::win
