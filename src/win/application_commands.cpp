// The one place every command runs, whichever way it came in (menus, hotkeys, the command line,
// the settings window's buttons), and the hidden list as the program holds it: its tray menu
// entries, the windows that come back, the hides the system refuses.
#include <windows.h>
// (after windows.h)
#include <shellapi.h>

#include "core/hotkey_settings.h"
#include "core/product.h"
#include "core/rule_hiding.h"
#include "core/shell_text.h"
#include "win/about_box.h"
#include "win/app.h"
#include "win/application.h"
#include "win/caption_watch.h"
#include "win/crash_guard.h"
#include "win/desktop.h"
#include "win/key_settings.h"
#include "win/log.h"
#include "win/settings_window.h"
#include "win/shell.h"
#include "win/tray_icon.h"
#include "win/update_dialog.h"
#include "win/win_event_hook.h"

namespace quenvix::win {

void Application::Run(core::Command command) {
    // Nothing is hidden any more once the windows have been given back for the exit.
    if (ending_ || !hider_) return;
    switch (command) {
        case core::Command::HideActiveWindow:
            KeepSessionGoing();
            hider_->HideActiveWindow();
            break;
        case core::Command::HideAllWindows:
            KeepSessionGoing();
            hider_->HideAllWindows();
            break;
        case core::Command::RestoreLastHidden:
            // As the list below: the system's WM_HOTKEY carries the foreground right, so it does
            // the work when the system knows the key (OnSystemHotkey).
            if (!keys_->IsRegistered(command)) hider_->RestoreLastHidden();
            break;
        case core::Command::RestoreAll:
            RestoreAll();
            break;
        case core::Command::ShowHiddenList:
            // Asked by our own detector. When the system knows the key too, its WM_HOTKEY opens
            // the list instead: only that press carries the right to take the foreground, which a
            // keyboard-driven menu needs.
            if (!keys_->IsRegistered(command)) ShowHiddenList();
            break;
        case core::Command::ShowSettings:
            OnShowSettings();
            break;
        case core::Command::HideSettings:
            OnHide();
            break;
        case core::Command::Exit:
            OnExit();
            break;
        case core::Command::ExitUnasked:
            ExitUnasked();
            break;
        case core::Command::CheckUpdate:
            if (updateChecker_) updateChecker_->Start(true);
            break;
        case core::Command::ToggleAutomaticCheck:
            OnToggleAutomaticCheck();
            break;
        case core::Command::About:
            ShowAboutBox(Form(), platform_.registry);
            break;
        case core::Command::HelpContents:
            ShellOpen(HelpPagePath());
            break;
        case core::Command::MailSupport:
            ShellOpen(core::SupportMailLink(core::kMainCaption));
            break;
        case core::Command::Website:
            ShellOpen(core::kWebsite);
            break;
        case core::Command::OpenLogFolder:
            CreateDirectoryW(ProgramLog().Folder().c_str(), nullptr);
            ShellOpen(Narrow(ProgramLog().Folder()));
            break;
        case core::Command::TaskManager:
            ShellExecuteW(nullptr, L"open", L"taskmgr", L"", L"", SW_SHOWNORMAL);
            break;
        case core::Command::ChangeHotkey:
        case core::Command::DefaultHotkeys:
        case core::Command::SetRunOnStartup:
            // The hotkey page's buttons: their work needs the page's choice and boxes.
            settingsWindow_->RunPageCommand(command);
            break;
    }
}

void Application::KeepSessionGoing() {
    // Any program may send the session's query, and nothing need follow it: a user who hides a
    // window after it is still using the session. The windows shown for the query stay on the
    // screen, now the user's like any other; the hide goes ahead and lists what it takes.
    if (hider_->ShownForSessionEnd()) {
        Log("A hide after the session's query with no end since: the windows shown for it are "
            "the user's again");
        hider_->ForgetShownForSessionEnd();
    }
}

void Application::RunTrayChoice(UINT id) {
    if (ending_) return;
    if (hiddenMenu_ && hiddenMenu_->OwnsId(id)) {
        // An id of the range without an entry (a stale click) is ours all the same and does
        // nothing.
        if (const core::HiddenWindow* info = hiddenMenu_->RecordFor(id))
            hider_->RestoreWindow(*info);
        return;
    }
    if (const auto command = menus_->CommandOf(static_cast<int>(id), MenuPlace::TrayMenu)) {
        Run(*command);
    }
}

void Application::OnSystemHotkey(core::Command command) {
    if (ending_ || !hider_) return;
    if (command == core::Command::ShowHiddenList) ShowHiddenList();
    // The window comes back and, with the right this press gave us, to the front.
    if (command == core::Command::RestoreLastHidden) hider_->RestoreLastHidden();
}

void Application::ShowHiddenList() {
    if (ending_ || !trayIcon_) return;
    trayIcon_->ShowPopupMenu(true);
}

void Application::OnToggleAutomaticCheck() {
    const HMENU bar = menus_->MenuBar();
    const bool ticked = !(GetMenuState(bar, kMenuAutomaticCheckId, MF_BYCOMMAND) & MF_CHECKED);
    CheckMenuItem(bar, kMenuAutomaticCheckId, MF_BYCOMMAND | (ticked ? MF_CHECKED : MF_UNCHECKED));
    settings_->WriteBool("Preference", "Automatic update check", ticked);
    // As at the start: a second later the step runs (the check when it is on), and this time it
    // ends with the window in the tray.
    trayAfterStartupStep_ = true;
    startupTimer_->SetEnabled(true);
}

// ---- the hidden list ------------------------------------------------------------------------

void Application::StartHiddenList(const std::string& recoveryValue) {
    hiddenMenu_ = std::make_unique<HiddenMenu>(menus_->TrayMenu(), kFirstEntryId,
                                               kLastEntryId - kFirstEntryId + 1);
    captionWatch_ = std::make_unique<CaptionWatch>(*hiddenMenu_, [this](core::WindowId window) {
        if (hider_) hider_->CaptionChanged(window);
    });
    hider_ = std::make_unique<core::Hider>(platform_.desktop, settings_.get(), captionWatch_.get(),
                                           core::OwnWindows{ToId(Form()), ToId(owner_->Hwnd())},
                                           crashGuard_.get(), recoveryValue);
    hider_->SetBroughtBackHandler(
        [this](core::WindowId window, bool chosen) { BroughtBack(window, chosen); });
    hider_->SetRefusedHandler([this](const core::RefusedCommand& r) { OnRefused(r); });
}

void Application::BroughtBack(core::WindowId window, bool chosen) {
    // Only the one window the user chose takes the keyboard: not those of "Restore all" or the
    // exit, which none was asked for in particular, nor one that comes back minimised.
    if (chosen && !restoringForExit_) BringForward(window);
    if (ruleHiding_) ruleHiding_->BroughtBack(window);
}

void Application::OnRefused(const core::RefusedCommand& refusal) {
    // The handle only: captions are the user's business, not the log's.
    Log(std::string(refusal.hiding ? "Hide" : "Restore") + " of window " +
        std::to_string(refusal.window) + " refused by the system (it runs with higher rights); " +
        (refusal.hiding ? "not recorded" : "kept, to be tried again"));
    if (!refusal.hiding || !refusal.firstForWindow) return;
    const std::string program =
        refusal.caption.empty() ? ExecutableOf(ToHwnd(refusal.window)) : refusal.caption;
    // It may come in the middle of "Panic!": a line in the status bar, never a box; and, since
    // the settings window is mostly out of sight, a balloon from the icon, once per window.
    const std::string notice =
        "Windows did not let Quenvix hide " + program + ": it runs as administrator.";
    settingsWindow_->ShowNotice(Widen(notice));
    trayIcon_->ShowBalloon(std::string(core::kProductName), notice, true);
}

void Application::RefreshTrayMenu() {
    if (!hider_) return;
    hider_->RefreshHiddenMenu();
    hiddenMenu_->UpdatePictures();
    EnableMenuItem(menus_->TrayMenu(), kTrayRestoreAllId,
                   MF_BYCOMMAND | (hider_->HiddenCount() > 0 ? MF_ENABLED : MF_GRAYED));
}

void Application::RestoreAll() {
    // A message run between two windows may end the program: the run stops there, touching
    // nothing of what went.
    const core::Liveness::Watch alive = liveness_.Observe();
    hider_->RestoreAll(
        [this, alive] { return RunPendingMessages([&] { return alive.Alive() && !destroyed_; }); });
}

void Application::AdoptRecovered() {
    if (hider_->AdoptRecovered() == core::TakeBack::Unreadable) {
        Log("A record of hidden windows cannot be read; it is left as it is, and this run keeps "
            "its own as " +
            hider_->RecoveryValue());
    }
    Log("Windows taken back from an earlier run: " + std::to_string(hider_->HiddenCount()));
}

}  // namespace quenvix::win
