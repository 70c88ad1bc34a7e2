#pragma once
// The hotkeys and "Run on startup" as the user set them: loaded at start, written back at the end,
// and the hidden list's hotkey registered with the system, so that its press may take the
// foreground (WM_HOTKEY with kShowListHotkeyId reaches the window given here).
#include <windows.h>

#include "core/hotkey_detector.h"
#include "core/ports/registry_backend.h"
#include "core/settings_store.h"

namespace quenvix::win {

class KeySettings {
  public:
    static constexpr int kShowListHotkeyId = 1;

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

    // True when the system also knows the list's hotkey.
    bool ShowListRegistered() const { return showListRegistered_; }
    // Registers the list's hotkey as it is now; ReleaseShowListKey gives it up meanwhile (while
    // the user presses a new combination, the registration must not take it).
    void RegisterShowListKey();
    void ReleaseShowListKey();

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
    bool showListRegistered_ = false;
    bool runOnStartup_ = true;
    bool toldTemporaryFolder_ = false;
};

}  // namespace quenvix::win
