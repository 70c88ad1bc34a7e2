#pragma once
// The main window: the small settings window the user sees (the hotkey page, the menu bar) and the
// owner of everything that lives as long as the program: the tray icon and its menu, the
// hidden-window list, the hotkey detector, the settings store and the timers. This unit is the
// window's life: start-up, the way into the tray and out, close and exit. The hotkey page and
// the menus are units of their own.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/command_line.h"
#include "core/dialog_text.h"
#include "core/hotkey_detector.h"
#include "core/ports/timer.h"
#include "core/settings_store.h"
#include "win/main_menus.h"
#include "win/platform.h"
#include "win/session_notice.h"
#include "win/ui.h"

namespace quenvix::win {

class AppWindow;
class TrayIcon;
class Hiding;
class SharedImageList;
class Win32RawKeyboard;
class UpdateChecker;
class CrashGuard;
class HotkeyPage;
class ForwardedVerbs;
class CommandPipeServer;
class RuleHiding;
class RulesTab;
class StatusBar;

class MainWindow : public FormWindow {
  public:
    // Creates the window and runs the whole start-up of the program. `platform` outlives the
    // window.
    MainWindow(AppWindow& app, const Platform& platform);
    // Brings back every window still hidden and writes the hotkeys back.
    ~MainWindow() override;

    // Hotkey callback of the detector: the hotkey's index in the hotkey table.
    void OnHotkey(std::uint16_t index);
    // What the item chosen from the tray menu does. The menu hands back its choice; no
    // WM_COMMAND, which anyone could post, ever runs one of its items.
    void RunTrayChoice(UINT id);

    void HideToTray();
    // The tray menu at the mouse pointer, ready for the keyboard, newest hidden window selected.
    void ShowHiddenList();
    void ShowFromTray();
    bool InTray() const { return inTray_; }
    std::size_t HiddenCount() const;
    HMENU MenuBar() const { return menus_ ? menus_->MenuBar() : nullptr; }
    HMENU TrayMenu() const { return menus_ ? menus_->TrayMenu() : nullptr; }

  protected:
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

  private:
    std::vector<MenuCommand> MenuTable();
    void Start();
    void ShutDown();
    void RestoreAndSaveBeforeEnding();
    void OnQueryEndSession();
    void OnEndSession(bool ending);
    void OnCommand(int id, int code);
    void StartRules();
    // The gauge's ticks into gaugeImages_, run by the icon's thread.
    void StartGauge();
    // A new DPI or display: the gauge is drawn anew at the tray's icon size, if that changed.
    void FollowTrayIconSize();
    void CreateSettingsControls();

    void ShowOrHide(bool show);
    void OnCloseRequest();
    void CloseProgram();
    void ShowOnClose();
    void OnExit();
    void OnHide();
    void OnShowSettings();
    void OnStartupTimer();
    void OnToggleAutomaticCheck();
    // The session was locked, unlocked, disconnected or connected: the gauge's picture is drawn
    // only while somebody can see it.
    void WatchSession();
    // After the tray menu the foreground never goes to a window we hold hidden.
    void KeepForegroundOffHiddenWindows();
    void OnSessionSeen(bool seen);

    // Options given to a second quenvix.exe, taken by the command pipe's server and run from a
    // posted message. The server goes first: it hands verbs to forwardedVerbs_.
    std::unique_ptr<ForwardedVerbs> forwardedVerbs_;
    std::unique_ptr<CommandPipeServer> commandPipe_;

    bool Confirm(core::DialogKind kind, const char* ident, const char* text);

    // First of all: nothing another program posts reaches our windows while they are made.
    ForgedPostFilter forgedPostFilter_;
    AppWindow& app_;
    Platform platform_;

    std::unique_ptr<core::HotkeyDetector> detector_;
    // Feeds detector_ key events; null where the system refuses them (detector_ then polls).
    std::unique_ptr<Win32RawKeyboard> rawKeyboard_;
    bool inTray_ = false;
    std::string guid_;
    std::unique_ptr<core::SettingsStore> settings_;

    std::unique_ptr<CommandMenus> menus_;
    std::unique_ptr<HotkeyPage> hotkeyPage_;
    std::unique_ptr<StatusBar> statusBar_;
    // The last notice for the status bar, kept for a bar that does not exist yet.
    std::wstring notice_;

    std::unique_ptr<core::Timer> startupTimer_;
    std::unique_ptr<UpdateChecker> updateChecker_;  // the update check in progress, if any
    std::shared_ptr<SharedImageList> gaugeImages_;
    std::unique_ptr<TrayIcon> trayIcon_;
    std::unique_ptr<SessionNotice> sessionNotice_;
    // Shows the hidden windows again if the program crashes; the hider tells it every change of
    // the list. Declared before hiding_ so that it outlives it.
    std::unique_ptr<CrashGuard> crashGuard_;
    std::unique_ptr<Hiding> hiding_;
    // Rules that hide windows by themselves, and their page; declared after hiding_ (which
    // they use) and in the order they depend on each other.
    std::unique_ptr<RuleHiding> ruleHiding_;
    std::unique_ptr<RulesTab> rulesTab_;
    bool destroyed_ = false;
    // A confirmation is being asked.
    bool questionOpen_ = false;
    // Set when the exit begins: from then on hotkeys, commands and the tray do nothing.
    bool ending_ = false;
};

}  // namespace quenvix::win
