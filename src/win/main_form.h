#pragma once
// The main window: the small settings window the user sees (hotkeys, "Run on startup", the menu
// bar) and the owner of everything that lives as long as the program: the tray icon and its menu,
// the hidden-window list, the hotkey detector, the settings store and the timers.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "core/command_line.h"
#include "core/dialog_text.h"
#include "core/peek_key.h"
#include "core/settings.h"
#include "core/timer.h"
#include "win/ui.h"

namespace quenvix::win {

class TApplication;
class TNotifyIcon;
class Hiding;
class SharedImageList;
class CpuGaugeView;
class AsyncKeyState;
class RawKeyboard;
class Win32Registry;
class WinTimerFactory;
class Win32Desktop;
class UpdateChecker;
class CrashGuard;

class TMainForm : public FormWindow {
  public:
    // Creates the window and runs the whole start-up of the program (FormCreate).
    explicit TMainForm(TApplication& app);
    // Brings back every window still hidden and writes the hotkeys back (FormDestroy).
    ~TMainForm() override;

    // Hotkey callback of the detector: 0 hides the active program, 1 hides all programs.
    void HotKeyPressed(std::uint16_t index);

    void HideToTray();
    // The tray menu at the mouse pointer, ready for the keyboard, newest hidden window selected.
    void ShowHiddenList();
    void ShowFromTray();
    bool InTray() const { return FInTray; }

  protected:
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

  private:
    void FormCreate();
    void FormDestroy();
    void RestoreAndSaveBeforeEnding();
    void CreateControls();
    void CreateMenus();
    void LayoutPage();
    void OnCommand(int id, int code);

    void ShowHideForm(bool show);
    void FormCloseQuery();
    void FormClose();
    void ShowOnClose();
    void Exit1Click();
    void sbHideClick();
    void StatusBar1Click();
    void ShowWindow1Click();
    void TimerUpdateTimer();
    void CPUUsageTimer();
    void CheckUpdate(bool manual);
    void Checkupdateautomatically1Click();

    // Hotkey page.
    void SetDefaultKeys();
    void LoadSettings();
    void SaveShortKeys();
    void RegisterShowListKey();
    void FillKeyList();
    void cbKeysChange();
    void sbEditKeyClick();
    void sbDefaultKeyClick();
    void cbStartupClick();
    void SetEditKeyHint(const std::wstring& hint);

    // Options given to a second quenvix.exe, accepted from WM_COPYDATA and run from a posted
    // message.
    void RunForwardedVerbs();
    std::vector<core::CommandVerb> forwardedVerbs_;
    bool exitRequested_ = false;

    bool Confirm(core::TDialogKind kind, const char* ident, const char* text);

    TApplication& app_;

    // Platform services behind the core's ports; declared first so they outlive their users.
    std::unique_ptr<Win32Registry> registryBackend_;
    std::unique_ptr<WinTimerFactory> timers_;
    std::unique_ptr<AsyncKeyState> keyState_;
    std::unique_ptr<Win32Desktop> desktop_;

    std::unique_ptr<core::TPeekKey> FPeekKey;
    // Feeds FPeekKey key events; null where the system refuses them (FPeekKey then polls).
    std::unique_ptr<RawKeyboard> rawKeyboard_;
    bool FInTray = false;
    std::string FGUID;
    std::unique_ptr<core::TMyRegistry> MyRegistry;
    core::ShortKeyLines keyLines_;

    // Controls.
    HWND Pages1 = nullptr;
    HWND TabSheet4 = nullptr;
    HWND GroupBox1 = nullptr;
    HWND cbKeys = nullptr;
    HWND eKey = nullptr;
    HWND sbEditKey = nullptr;
    HWND sbDefaultKey = nullptr;
    HWND cbStartup = nullptr;
    HWND StatusBar1 = nullptr;
    HWND hintTip_ = nullptr;
    std::wstring editKeyHint_;
    std::wstring statusHint_;
    HMENU MainMenu1 = nullptr;  // owned by the window once attached
    UniqueMenu PopSystray;

    std::unique_ptr<core::Timer> TimerUpdate;
    std::unique_ptr<UpdateChecker> updateChecker_;  // the update check in progress, if any
    std::unique_ptr<core::Timer> CPUUsage;
    std::shared_ptr<SharedImageList> imCPU;
    std::unique_ptr<CpuGaugeView> cpuGauge_;
    std::unique_ptr<TNotifyIcon> NotifyIcon1;
    // Shows the hidden windows again if the program crashes; the hider tells it every change of
    // the list. Declared before hiding_ so that it outlives it.
    std::unique_ptr<CrashGuard> crashGuard_;
    std::unique_ptr<Hiding> hiding_;
    bool destroyed_ = false;
    // The system also knows the "ShowList" key, so that its press may take the foreground.
    static constexpr int kShowListHotkeyId = 1;
    bool showListRegistered_ = false;
    // Set when the exit begins: from then on hotkeys, commands and the tray do nothing.
    bool ending_ = false;
};

}  // namespace quenvix::win
