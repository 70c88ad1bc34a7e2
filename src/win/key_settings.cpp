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
    RegisterSystemKeys();
    // An unreadable choice leaves the Windows start-up entry as it is.
    Guarded(owner, [&] { SetRunOnStartup(settings_.ReadBool("Main", "Startup", true)); });
}

void KeySettings::Save() {
    core::SaveHotkeys(detector_, settings_);
}

void KeySettings::ResetToDefaults() {
    SetDefaultKeys();
    SetRunOnStartup(true);
    RegisterSystemKeys();
    Save();
}

std::optional<core::Command> KeySettings::CommandOfSystemHotkey(WPARAM id) {
    if (id < 1 || id > kSystemHotkeyCommands.size()) return std::nullopt;
    return kSystemHotkeyCommands[id - 1];
}

bool KeySettings::IsRegistered(core::Command command) const {
    for (std::size_t i = 0; i < kSystemHotkeyCommands.size(); ++i) {
        if (kSystemHotkeyCommands[i] == command) return registered_[i];
    }
    return false;
}

void KeySettings::ReleaseSystemKeys() {
    for (std::size_t i = 0; i < registered_.size(); ++i) {
        if (registered_[i]) UnregisterHotKey(window_, static_cast<int>(i + 1));
        registered_[i] = false;
    }
}

void KeySettings::RegisterSystemKeys() {
    ReleaseSystemKeys();
    for (std::size_t i = 0; i < kSystemHotkeyCommands.size(); ++i) {
        const auto index = core::HotkeyIndexOf(kSystemHotkeyCommands[i]);
        if (!index || *index >= detector_.Hotkeys().Count()) continue;
        const core::Hotkey& hotkey = detector_.Hotkeys().Item(*index);
        if (hotkey.Key.empty()) continue;  // off
        // An earlier hotkey with the same text wins that press; this one must not act as well.
        bool shadowed = false;
        for (std::size_t j = 0; j < *index; ++j) {
            shadowed = shadowed || detector_.Hotkeys().Item(j).Key == hotkey.Key;
        }
        if (shadowed) continue;
        const auto chord = core::ChordOfKeyText(hotkey.Key);
        const UINT modifiers = chord
                                   ? MOD_NOREPEAT | (chord->ctrl ? MOD_CONTROL : 0) |
                                         (chord->alt ? MOD_ALT : 0) | (chord->shift ? MOD_SHIFT : 0)
                                   : 0;
        registered_[i] =
            chord && RegisterHotKey(window_, static_cast<int>(i + 1), modifiers, chord->key);
        if (registered_[i] || std::exchange(toldUnregistered_[i], true)) continue;
        // Modifiers only, or taken by another program: the detector still serves the key, but
        // Windows gives its press no right to the foreground.
        if (chord) LogLastError("RegisterHotKey");
        Log("The hotkey " + hotkey.Key +
            " is not registered with Windows: the window it brings forward will come back "
            "without the keyboard");
    }
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
