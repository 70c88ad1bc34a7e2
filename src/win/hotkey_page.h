#pragma once
// The settings window's "Controls" page: the list of hotkeys, the edit with the chosen one's keys,
// "Change" (records a new combination), "Default" (all hotkeys back to their defaults) and "Run on
// startup". What the keys are and where they are stored is the program's (KeySettings); the page
// shows them and runs its buttons' commands when the program hands them back.
#include <windows.h>

#include <array>
#include <optional>
#include <string>

#include "core/command.h"
#include "core/hotkey_detector.h"
#include "win/settings_page.h"
#include "win/ui.h"

namespace quenvix::win {

class KeySettings;

class HotkeyPage : public SettingsPage {
  public:
    // The page's buttons and the command each gives.
    struct ButtonCommand {
        int id;
        core::Command command;
    };
    static const std::array<ButtonCommand, 3> kButtonCommands;
    // The command of a click on one of the page's buttons; nothing for anything else.
    static std::optional<core::Command> CommandOfButton(int id, int code);

    // Made over `area` of `form` (client coordinates), filled from `keys`; a button's click goes
    // to `host` as its command. All three outlive the page.
    HotkeyPage(FormWindow& form, const RECT& area, KeySettings& keys, SettingsHost& host);
    HotkeyPage(const HotkeyPage&) = delete;
    HotkeyPage& operator=(const HotkeyPage&) = delete;

    HWND Page() const override { return page_; }
    void Place(const RECT& area) override;
    bool OnCommand(int id, int code) override;
    bool RunCommand(core::Command command) override;

  private:
    void CreateControls();
    void FillKeyList();
    void SetChangeHint(const std::wstring& hint);
    void OnHotkeySelected();
    // The buttons' work: records new keys for the chosen hotkey; every hotkey back to its default;
    // "Run on startup" as its box now says.
    void ChangeKey();
    void DefaultKeys();
    void ApplyRunOnStartupBox();

    FormWindow& form_;
    KeySettings& keys_;
    SettingsHost& host_;
    core::HotkeyLines keyLines_;

    HWND page_ = nullptr;
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
