#pragma once
// The program's life: everything that lives as long as it runs (the settings store, the hotkey
// detector, the hidden-window list and its tray menu entries, the rules at work, the crash guard,
// the update check, the tray icon and its gauge), the one place every command runs, the command
// channel from a second copy, and the session's end. The settings window is only its face: the
// program makes it, hands it its pages, and hears its commands. Its files: application.cpp the
// start-up and the way into the tray and out; application_commands.cpp the one place every command
// runs, and the hidden list's menu entries; application_end.cpp close, exit, the session's end and
// the system's messages to the program.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "core/command.h"
#include "core/dialog_text.h"
#include "core/foreground_keeper.h"
#include "core/hider.h"
#include "core/hotkey_detector.h"
#include "core/liveness.h"
#include "core/ports/timer.h"
#include "core/settings_store.h"
#include "win/hidden_menu.h"
#include "win/main_menus.h"
#include "win/platform.h"
#include "win/session_notice.h"
#include "win/settings_page.h"
#include "win/ui.h"

namespace quenvix::core {
class RuleHiding;
}  // namespace quenvix::core

namespace quenvix::win {

class AppWindow;
class CaptionWatch;
class TrayIcon;
class SharedImageList;
class Win32RawKeyboard;
class UpdateChecker;
class CrashGuard;
class KeySettings;
class ForwardedVerbs;
class CommandPipeServer;
class RuleStorage;
class SettingsWindow;

class Application : public SettingsHost {
  public:
    // Makes the hidden owner window only; Start does the rest. `platform` outlives the program.
    explicit Application(const Platform& platform);
    // Brings back every window still hidden and writes the hotkeys back.
    ~Application() override;
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // The whole start-up: the settings window (hidden), the services, the tray icon.
    void Start();

    // The application's hidden owner window, and the settings window it owns.
    AppWindow& Owner() { return *owner_; }
    HWND Form() const;

    // Carries out a command, wherever it came from: a menu, a hotkey, the command line, a
    // button. Nothing runs once the exit has begun.
    void Run(core::Command command) override;
    // What the item chosen from the tray menu does: its command, or the restore of a hidden
    // window's entry. The menu hands back its choice; no WM_COMMAND, which anyone could post,
    // ever runs one of its items.
    void RunTrayChoice(UINT id);
    // Before the tray menu opens: windows that came back or died are forgotten, the entries
    // rebuilt, and "Restore all" enabled only while something is hidden.
    void RefreshTrayMenu();

    void HideToTray();
    // The tray menu at the mouse pointer, ready for the keyboard, newest hidden window selected.
    void ShowHiddenList();
    // A hotkey the system knows was pressed (WM_HOTKEY): its press may give the foreground.
    void OnSystemHotkey(core::Command command);
    void ShowFromTray();
    bool InTray() const { return inTray_; }
    std::size_t HiddenCount() const;
    HMENU MenuBar() const { return menus_ ? menus_->MenuBar() : nullptr; }
    HMENU TrayMenu() const { return menus_ ? menus_->TrayMenu() : nullptr; }

  private:
    // What the settings window hands over.
    void OnCloseRequest() override;
    bool MinimiseToTray() override;
    void OnWindowDestroyed() override;
    bool Ending() const override { return ending_; }
    std::optional<LRESULT> OnProgramMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

    // The hidden list and its tray menu entries, and what the program does as windows come back
    // or the system refuses a command.
    void StartHiddenList(const std::string& recoveryValue);
    void StartTrayIcon();
    void BroughtBack(core::WindowId window, bool chosen);
    void OnRefused(const core::RefusedCommand& refusal);
    // Restores every hidden window in menu order, letting pending messages run before each.
    void RestoreAll();
    // At start: takes back the windows a previous run left hidden.
    void AdoptRecovered();
    // Before a hide the user asks for: a session query with no end since is over.
    void KeepSessionGoing();
    void ShutDown();
    void RestoreAndSaveBeforeEnding();
    void OnQueryEndSession();
    void OnEndSession(bool ending);
    void StartRules();
    void OfferPages();
    // The gauge's ticks into gaugeImages_, run by the icon's thread.
    void StartGauge();
    // A new DPI or display: the gauge is drawn anew at the tray's icon size, if that changed.
    void FollowTrayIconSize();

    // "--exit": as Exit, without the question.
    void ExitUnasked();
    void CloseProgram();
    void ShowOnClose();
    void OnExit();
    void OnHide();
    void OnShowSettings();
    // The value (section "Main") that says the first start's word about the icon was given.
    static constexpr const char* kToldWhereTheIconIs = "Told where the icon is";
    void TellWhereTheIconIs();
    void OnStartupTimer();
    void OnToggleAutomaticCheck();
    // The session was locked, unlocked, disconnected or connected: the gauge's picture is drawn
    // only while somebody can see it.
    void WatchSession();
    // After the tray menu the foreground never goes to a window we hold hidden.
    void KeepForegroundOffHiddenWindows();
    // The window the user chose to bring back takes the keyboard, once it shows.
    void BringForward(core::WindowId window);
    void FollowForward();
    void OnSessionSeen(bool seen);

    bool Confirm(core::DialogKind kind, const char* ident, const char* text);

    // First thing of the start: nothing another program posts reaches our windows while they are
    // made. (Not before: a second copy, which only says so and ends, leaves its box to anyone.)
    std::optional<ForgedPostFilter> forgedPostFilter_;
    Platform platform_;
    std::unique_ptr<AppWindow> owner_;

    // Options given to a second quenvix.exe, taken by the command pipe's server and run from a
    // posted message. The server goes first: it hands verbs to forwardedVerbs_.
    std::unique_ptr<ForwardedVerbs> forwardedVerbs_;
    std::unique_ptr<CommandPipeServer> commandPipe_;

    std::unique_ptr<core::HotkeyDetector> detector_;
    // Feeds detector_ key events; null where the system refuses them (detector_ then polls).
    std::unique_ptr<Win32RawKeyboard> rawKeyboard_;
    bool inTray_ = false;
    std::string guid_;
    std::unique_ptr<core::SettingsStore> settings_;

    std::unique_ptr<CommandMenus> menus_;
    std::unique_ptr<SettingsWindow> settingsWindow_;
    std::unique_ptr<KeySettings> keys_;

    std::unique_ptr<core::Timer> startupTimer_;
    std::unique_ptr<UpdateChecker> updateChecker_;  // the update check in progress, if any
    std::shared_ptr<SharedImageList> gaugeImages_;
    std::unique_ptr<TrayIcon> trayIcon_;
    std::unique_ptr<SessionNotice> sessionNotice_;
    // Shows the hidden windows again if the program crashes; the hider tells it every change of
    // the list. Declared before hider_ so that it outlives it.
    std::unique_ptr<CrashGuard> crashGuard_;
    // The hidden windows, their tray menu entries (which outlive the hider that fills them), and
    // where the keyboard goes when one comes back.
    std::unique_ptr<HiddenMenu> hiddenMenu_;
    // Tells the hider of listed windows' caption changes; the hider's entries go through it.
    std::unique_ptr<CaptionWatch> captionWatch_;
    std::unique_ptr<core::Hider> hider_;
    core::ForegroundKeeper keeper_{platform_.desktop, platform_.foreground};
    // A window brought back that has not shown yet, and the steps it has been waited for.
    static constexpr unsigned kForwardStepMs = 25;
    static constexpr int kForwardSteps = 80;
    std::unique_ptr<core::Timer> forwardTimer_;
    core::WindowId forwardWindow_ = core::kNoWindow;
    int forwardSteps_ = 0;
    // Set while everything comes back for the end: no window was asked for in particular.
    bool restoringForExit_ = false;
    // Rules that hide windows by themselves, and the stored rules their page edits; declared
    // after hider_ (which they use) and in the order they depend on each other.
    std::unique_ptr<core::RuleHiding> ruleHiding_;
    std::unique_ptr<RuleStorage> ruleStorage_;
    // Start ran to its end: only then does the end give windows back and write settings.
    bool started_ = false;
    bool destroyed_ = false;
    // A confirmation is being asked.
    bool questionOpen_ = false;
    // "Show settings" asked for while a box of ours was open: done when the box closes.
    bool showWhenEnabled_ = false;
    // The automatic check was turned on or off: the next start-up step ends in the tray.
    bool trayAfterStartupStep_ = false;
    // The hotkeys have been written back for the end.
    bool keysSaved_ = false;
    // Set when the exit begins: from then on hotkeys, commands and the tray do nothing.
    bool ending_ = false;
    // Expires with the program, so that a message run inside "Restore all" that ends the program
    // stops the run.
    core::Liveness liveness_;
};

}  // namespace quenvix::win
