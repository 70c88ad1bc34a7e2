#pragma once
// The hotkeys and "Run on startup" as the user set them: loaded at start, written back at the end,
// and the hotkeys whose action brings a window to the front (the hidden list, "restore last
// hidden") registered with the system as well, so that their press may give the foreground
// (WM_HOTKEY with the id of SystemHotkeyId reaches the window given here).
#include <windows.h>

#include <array>
#include <optional>

#include "core/command.h"
#include "core/hotkey_detector.h"
#include "core/ports/registry_backend.h"
#include "core/settings_store.h"

namespace quenvix::win {

class KeySettings {
  public:
    static constexpr int kShowListHotkeyId = 1;
    static constexpr int kRestoreLastHotkeyId = 2;
    // The commands that must take or give the foreground, in the order of their hotkey ids
    // (learn.microsoft.com/windows/win32/api/winuser/nf-winuser-setforegroundwindow: a key seen
    // through raw input gives no right to it; a registered hotkey's WM_HOTKEY is input of ours).
    static constexpr std::array<core::Command, 2> kSystemHotkeyCommands{
        core::Command::ShowHiddenList, core::Command::RestoreLastHidden};
    // The command of a WM_HOTKEY id of ours; nullopt for anything else.
    static std::optional<core::Command> CommandOfSystemHotkey(WPARAM id);

    // `window` hears the registered hotkey and owns the boxes this may show; `registry` holds the
    // Run key "Run on startup" writes. All of them outlive this object.
    KeySettings(HWND window, core::HotkeyDetector& detector, core::SettingsStore& settings,
                core::RegistryBackend& registry);
    KeySettings(const KeySettings&) = delete;
    KeySettings& operator=(const KeySettings&) = delete;

    core::HotkeyDetector& Detector() { return detector_; }
    // Every hotkey back to its default (what a list of them pointed at is gone).
    void SetDefaultKeys();
    // The stored hotkeys (a damaged one is reported and keeps its default) and "Run on startup".
    void Load();
    void Save();
    // The hotkeys and "Run on startup" back to their defaults, applied and stored.
    void ResetToDefaults();

    // True when the system also knows the hotkey of `command` (one of kSystemHotkeyCommands): its
    // WM_HOTKEY carries it out then, not the detector.
    bool IsRegistered(core::Command command) const;
    // Registers those hotkeys as they are now; ReleaseSystemKeys gives them up meanwhile (while
    // the user presses a new combination, a registration must not take it).
    void RegisterSystemKeys();
    void ReleaseSystemKeys();

    bool RunOnStartup() const { return runOnStartup_; }
    // Stores the choice and brings the Windows start-up entry in line with it.
    void SetRunOnStartup(bool on);

  private:
    // The box is on but the program runs from the temporary folder: the user hears why nothing
    // starts with Windows, once a run.
    void TellRunsFromTemporaryFolder();

    HWND window_;
    core::HotkeyDetector& detector_;
    core::SettingsStore& settings_;
    core::RegistryBackend& registry_;
    std::array<bool, kSystemHotkeyCommands.size()> registered_{};
    // The user has read in the log, once a run, that a hotkey could not be registered.
    std::array<bool, kSystemHotkeyCommands.size()> toldUnregistered_{};
    bool runOnStartup_ = true;
    bool toldTemporaryFolder_ = false;
};

}  // namespace quenvix::win
