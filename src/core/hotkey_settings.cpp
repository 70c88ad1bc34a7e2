#include "core/hotkey_settings.h"

#include "core/error.h"
#include "core/settings_store.h"

namespace quenvix::core {

void SetDefaultKeys(HotkeyDetector& detector) {
    detector.Hotkeys().Clear();
    for (const BuiltInHotkey& key : kBuiltInHotkeys) {
        detector.AddHotkey(key.name, key.description, key.defaultKey);
    }
}

std::optional<Command> CommandOfHotkey(std::uint16_t index) {
    if (index >= kBuiltInHotkeys.size()) return std::nullopt;
    return kBuiltInHotkeys[index].command;
}

std::optional<std::size_t> HotkeyIndexOf(Command command) {
    for (std::size_t i = 0; i < kBuiltInHotkeys.size(); ++i) {
        if (kBuiltInHotkeys[i].command == command) return i;
    }
    return std::nullopt;
}

void LoadHotkeys(HotkeyDetector& detector, SettingsStore& registry,
                 const std::function<void(const std::string&)>& reportError) {
    for (std::size_t i = 0; i < detector.Hotkeys().Count(); ++i) {
        Hotkey& key = detector.Hotkeys().Item(i);
        try {
            key.Key = registry.ReadString(kHotkeySection, key.Name, key.Key);
        } catch (const Error& e) {
            // One damaged value costs only its own hotkey.
            reportError(e.what());
        }
    }
}

void SaveHotkeys(const HotkeyDetector& detector, SettingsStore& registry) {
    for (std::size_t i = 0; i < detector.Hotkeys().Count(); ++i) {
        const Hotkey& key = detector.Hotkeys().Item(i);
        registry.WriteString(kHotkeySection, key.Name, key.Key);
    }
}

}  // namespace quenvix::core
