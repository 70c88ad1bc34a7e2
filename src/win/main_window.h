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
#include "core/hotkey_detector.h"
#include "core/settings_store.h"
#include "core/timer.h"
#include "win/ui.h"

namespace quenvix::win {

class AppWindow;
class TrayIcon;
class Hiding;
class SharedImageList;
class CpuGaugeView;
class Win32KeyState;
class Win32RawKeyboard;
class Win32Registry;
class Win32Timers;
class Win32Desktop;
class UpdateChecker;
class CrashGuard;

class MainWindow : public FormWindow {
  public:
    // Creates the window and runs the whole start-up of the program.
    explicit MainWindow(AppWindow& app);
    // Brings back every window still hidden and writes the hotkeys back.
    ~MainWindow() override;

    // Hotkey callback of the detector: 0 hides the active program, 1 hides all programs.
    void OnHotkey(std::uint16_t index);

    void HideToTray();
    // The tray menu at the mouse pointer, ready for the keyboard, newest hidden window selected.
    void ShowHiddenList();
    void ShowFromTray();
    bool InTray() const { return inTray_; }

  protected:
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

  private:
    void Start();
    void ShutDown();
    void RestoreAndSaveBeforeEnding();
    void CreateControls();
    void CreateMenus();
    void LayoutPage();
    void OnCommand(int id, int code);

    void ShowOrHide(bool show);
    void OnCloseRequest();
    void CloseProgram();
    void ShowOnClose();
    void OnExit();
    void OnHide();
    void OnStatusBarClick();
    void OnShowSettings();
    void OnStartupTimer();
    void OnGaugeTimer();
    void CheckUpdate(bool manual);
    void OnToggleAutomaticCheck();

    // Hotkey page.
    void SetDefaultKeys();
    void LoadSettings();
    void SaveHotkeys();
    void RegisterShowListKey();
    void FillKeyList();
    void OnHotkeySelected();
    void OnChangeKey();
    void OnDefaultKeys();
    void OnRunOnStartup();
    void SetEditKeyHint(const std::wstring& hint);

    // Options given to a second quenvix.exe, accepted from WM_COPYDATA and run from a posted
    // message.
    void RunForwardedVerbs();
    std::vector<core::CommandVerb> forwardedVerbs_;
    bool exitRequested_ = false;

    bool Confirm(core::DialogKind kind, const char* ident, const char* text);

    AppWindow& app_;

    // Platform services behind the core's ports; declared first so they outlive their users.
    std::unique_ptr<Win32Registry> registry_;
    std::unique_ptr<Win32Timers> timers_;
    std::unique_ptr<Win32KeyState> keyState_;
    std::unique_ptr<Win32Desktop> desktop_;

    std::unique_ptr<core::HotkeyDetector> detector_;
    // Feeds detector_ key events; null where the system refuses them (detector_ then polls).
    std::unique_ptr<Win32RawKeyboard> rawKeyboard_;
    bool inTray_ = false;
    std::string guid_;
    std::unique_ptr<core::SettingsStore> settings_;
    core::HotkeyLines keyLines_;

    // Controls.
    HWND tabs_ = nullptr;
    HWND controlsPage_ = nullptr;
    HWND hotkeyGroup_ = nullptr;
    HWND hotkeyCombo_ = nullptr;
    HWND keyEdit_ = nullptr;
    HWND changeButton_ = nullptr;
    HWND defaultButton_ = nullptr;
    HWND runOnStartupCheck_ = nullptr;
    HWND statusBar_ = nullptr;
    HWND hintTip_ = nullptr;
    std::wstring editKeyHint_;
    std::wstring statusHint_;
    HMENU menuBar_ = nullptr;  // owned by the window once attached
    UniqueMenu trayMenu_;

    std::unique_ptr<core::Timer> startupTimer_;
    std::unique_ptr<UpdateChecker> updateChecker_;  // the update check in progress, if any
    std::unique_ptr<core::Timer> gaugeTimer_;
    std::shared_ptr<SharedImageList> gaugeImages_;
    std::unique_ptr<CpuGaugeView> cpuGauge_;
    std::unique_ptr<TrayIcon> trayIcon_;
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
