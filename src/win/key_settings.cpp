#include "win/key_settings.h"

#include <utility>

#include "core/hotkey_settings.h"
#include "core/key_chord.h"
#include "win/log.h"
#include "win/shell.h"
#include "win/ui.h"

namespace quenvix::win {

KeySettings::KeySettings(HWND window, core::HotkeyDetector& detector, core::SettingsStore& settings,
                         core::RegistryBackend& registry)
    : window_(window), detector_(detector), settings_(settings), registry_(registry) {}

void KeySettings::SetDefaultKeys() {
    core::SetDefaultKeys(detector_);
}

void KeySettings::Load() {
    const HWND owner = window_;
    core::LoadHotkeys(detector_, settings_,
                      [owner](const std::string& message) { ReportError(owner, message); });
    RegisterShowListKey();
    // An unreadable choice leaves the Windows start-up entry as it is.
    Guarded(owner, [&] { SetRunOnStartup(settings_.ReadBool("Main", "Startup", true)); });
}

void KeySettings::Save() {
    core::SaveHotkeys(detector_, settings_);
}

void KeySettings::ResetToDefaults() {
    SetDefaultKeys();
    SetRunOnStartup(true);
    RegisterShowListKey();
    Save();
}

void KeySettings::ReleaseShowListKey() {
    if (showListRegistered_) UnregisterHotKey(window_, kShowListHotkeyId);
    showListRegistered_ = false;
}

void KeySettings::RegisterShowListKey() {
    ReleaseShowListKey();
    const auto index = core::HotkeyIndexOf(core::Command::ShowHiddenList);
    if (!index || *index >= detector_.Hotkeys().Count()) return;
    const std::string& text = detector_.Hotkeys().Item(*index).Key;
    // An earlier hotkey with the same text wins that press; the list must not open as well.
    for (std::size_t i = 0; i < *index; ++i) {
        if (detector_.Hotkeys().Item(i).Key == text) return;
    }
    const auto chord = core::ChordOfKeyText(text);
    if (!chord) return;  // modifiers only, or off: the detector alone serves it
    const UINT modifiers = MOD_NOREPEAT | (chord->ctrl ? MOD_CONTROL : 0) |
                           (chord->alt ? MOD_ALT : 0) | (chord->shift ? MOD_SHIFT : 0);
    showListRegistered_ =
        RegisterHotKey(window_, kShowListHotkeyId, modifiers, chord->key) != FALSE;
    // Taken by another program: the detector still opens the list, without the foreground right.
    if (!showListRegistered_) LogLastError("RegisterHotKey");
}

void KeySettings::SetRunOnStartup(bool on) {
    runOnStartup_ = on;
    settings_.WriteBool("Main", "Startup", runOnStartup_);
    if (win::SetRunOnStartup(registry_, runOnStartup_) == core::RunEntry::FromTemporaryFolder) {
        TellRunsFromTemporaryFolder();
    }
}

void KeySettings::TellRunsFromTemporaryFolder() {
    // Once a run: the choice is applied at every start and at every click of the box.
    if (std::exchange(toldTemporaryFolder_, true)) return;
    MessageBoxW(window_,
                L"Quenvix runs from a temporary folder (probably from inside a zip file), which "
                L"will be gone by the next time you log on, so it cannot start with Windows from "
                L"there. Extract it to a folder of its own, or install it, and start it from "
                L"there to use \"Run on startup\".",
                L"Run on startup", MB_OK | MB_ICONINFORMATION);
}

}  // namespace quenvix::win
