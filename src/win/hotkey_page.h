#pragma once
// The settings window's "Controls" page: the list of hotkeys, the edit with the chosen one's keys,
// "Change" (records a new combination), "Default" (all hotkeys back to their defaults) and "Run on
// startup". It also registers the hidden-list hotkey with the system, so that its press may take
// the foreground (WM_HOTKEY with kShowListHotkeyId reaches the window).
#include <windows.h>

#include <array>
#include <optional>
#include <string>

#include "core/command.h"
#include "core/hotkey_detector.h"
#include "core/settings_store.h"
#include "win/ui.h"

namespace quenvix::win {

class HotkeyPage {
  public:
    static constexpr int kShowListHotkeyId = 1;

    // The page's settings work at once; its controls (the tab control, `size96` at 96 DPI at the
    // top left of `window`'s client area, and the page over it) come with CreateControls.
    // `registry` holds the Run key "Run on startup" writes.
    HotkeyPage(FormWindow& window, core::HotkeyDetector& detector, core::SettingsStore& settings,
               core::RegistryBackend& registry, SIZE size96);
    HotkeyPage(const HotkeyPage&) = delete;
    HotkeyPage& operator=(const HotkeyPage&) = delete;

    // Made when the window is first to be seen: a program that only sits in the tray never loads
    // the common controls. Filled from the settings already loaded.
    void CreateControls();
    bool HasControls() const { return tabs_ != nullptr; }

    // Every hotkey back to its default and the list refilled.
    void SetDefaultKeys();
    // The stored hotkeys (a damaged one is reported and keeps its default) and "Run on startup".
    void LoadSettings();
    void SaveHotkeys();
    // True when the system also knows the list's hotkey.
    bool ShowListRegistered() const { return showListRegistered_; }
    // The page's buttons and the command each gives.
    struct ButtonCommand {
        int id;
        core::Command command;
    };
    static const std::array<ButtonCommand, 3> kButtonCommands;
    // The command of a click on one of the page's buttons; nothing for anything else.
    static std::optional<core::Command> CommandOfButton(int id, int code);
    // The buttons' work: records new keys for the chosen hotkey; every hotkey back to its default;
    // "Run on startup" as its box now says.
    void ChangeKey();
    void DefaultKeys();
    void ApplyRunOnStartupBox();
    // A WM_COMMAND from the page's hotkey list; false when it is not from there.
    bool OnCommand(int id, int code);
    // Places the page over the tab control's display area (after a DPI change, say).
    void Layout();
    // The tab control and the part of the window its pages take (window client coordinates).
    HWND Tabs() const { return tabs_; }
    HWND ControlsPage() const { return controlsPage_; }
    RECT PageArea() const;

    HWND HotkeyCombo() const { return hotkeyCombo_; }
    HWND KeyEdit() const { return keyEdit_; }

  private:
    void RegisterShowListKey();
    void FillKeyList();
    void SetChangeHint(const std::wstring& hint);
    void OnHotkeySelected();
    // Stores the choice and brings the Windows start-up entry in line with it.
    void ApplyRunOnStartup();
    // The box is on but the program runs from the temporary folder: the user hears why nothing
    // starts with Windows, once a run.
    void TellRunsFromTemporaryFolder();

    FormWindow& window_;
    core::HotkeyDetector& detector_;
    core::SettingsStore& settings_;
    core::RegistryBackend& registry_;
    core::HotkeyLines keyLines_;
    bool showListRegistered_ = false;
    bool runOnStartup_ = true;
    bool toldTemporaryFolder_ = false;
    SIZE size96_;

    HWND tabs_ = nullptr;
    HWND controlsPage_ = nullptr;
    HWND hotkeyGroup_ = nullptr;
    HWND hotkeyCombo_ = nullptr;
    HWND keyEdit_ = nullptr;
    HWND changeButton_ = nullptr;
    HWND defaultButton_ = nullptr;
    HWND runOnStartupCheck_ = nullptr;
    HWND hintTip_ = nullptr;
    std::wstring changeHint_;
};

}  // namespace quenvix::win
