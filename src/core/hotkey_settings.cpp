#include "core/hotkey_settings.h"

#include "core/error.h"
#include "core/settings.h"

namespace quenvix::core {

void SetDefaultKeys(TPeekKey& peekKey) {
    peekKey.FList.Clear();
    for (const BuiltInHotkey& key : kBuiltInHotkeys) {
        peekKey.AddShortKey(key.name, key.description, key.defaultKey);
    }
}

std::optional<HotkeyAction> ActionOfHotkey(std::uint16_t index) {
    if (index >= kBuiltInHotkeys.size()) return std::nullopt;
    return kBuiltInHotkeys[index].action;
}

std::optional<std::size_t> HotkeyIndexOf(HotkeyAction action) {
    for (std::size_t i = 0; i < kBuiltInHotkeys.size(); ++i) {
        if (kBuiltInHotkeys[i].action == action) return i;
    }
    return std::nullopt;
}

void LoadShortKeys(TPeekKey& peekKey, TMyRegistry& registry,
                   const std::function<void(const std::string&)>& reportError) {
    for (std::size_t i = 0; i < peekKey.FList.Count(); ++i) {
        TShortKey& key = peekKey.FList.Item(i);
        try {
            key.Key = registry.ReadString(kShortKeySection, key.Name, key.Key);
        } catch (const Error& e) {
            // One damaged value costs only its own hotkey.
            reportError(e.what());
        }
    }
}

void SaveShortKeys(const TPeekKey& peekKey, TMyRegistry& registry) {
    for (std::size_t i = 0; i < peekKey.FList.Count(); ++i) {
        const TShortKey& key = peekKey.FList.Item(i);
        registry.WriteString(kShortKeySection, key.Name, key.Key);
    }
}

}  // namespace quenvix::core
