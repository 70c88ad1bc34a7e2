#include "core/hotkey_settings.h"

#include "core/settings.h"

namespace quenvix::core {

void SetDefaultKeys(TPeekKey& peekKey) {
    peekKey.FList.Clear();
    for (const BuiltInHotkey& key : kBuiltInHotkeys) {
        peekKey.AddShortKey(key.name, key.description, key.defaultKey);
    }
}

void LoadShortKeys(TPeekKey& peekKey, TMyRegistry& registry) {
    for (std::size_t i = 0; i < peekKey.FList.Count(); ++i) {
        TShortKey& key = peekKey.FList.Item(i);
        key.Key = registry.ReadString(kShortKeySection, key.Name, key.Key);
    }
}

void SaveShortKeys(const TPeekKey& peekKey, TMyRegistry& registry) {
    for (std::size_t i = 0; i < peekKey.FList.Count(); ++i) {
        const TShortKey& key = peekKey.FList.Item(i);
        registry.WriteString(kShortKeySection, key.Name, key.Key);
    }
}

}  // namespace quenvix::core
