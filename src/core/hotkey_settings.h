#pragma once
// The program's built-in hotkeys and how their key texts are kept in the settings store.
#include <array>
#include <cstdint>
#include <string_view>

#include "core/peek_key.h"

namespace quenvix::core {

class TMyRegistry;

struct BuiltInHotkey {
    std::string_view name;  // also the value name of its key text
    std::string_view description;
    std::string_view defaultKey;
};

// Registration order fixes the index the detector reports: 0 hides the active program, 1 hides
// all programs.
inline constexpr std::uint16_t kHideThisIndex = 0;
inline constexpr std::uint16_t kHideAllIndex = 1;
inline constexpr std::array<BuiltInHotkey, 2> kBuiltInHotkeys{{
    {"HideThis", "To hide the active program", "CTRL+* Num"},
    {"HideAll", "To hide all programs", "CTRL+/ Num"},
}};

// Section of the settings store that holds one key text per hotkey, under its name.
inline constexpr std::string_view kShortKeySection = "Short key";

// Frees the detector's hotkeys and registers the built-in ones with their default texts. Lines
// that point at the old hotkeys (a settings list filled by FillList) must be cleared first.
void SetDefaultKeys(TPeekKey& peekKey);

// Each hotkey's key text from the store, in list order; a missing value keeps the current text.
// Stored texts are taken as they are, even ones the keyboard can never produce.
void LoadShortKeys(TPeekKey& peekKey, TMyRegistry& registry);

// Writes every hotkey's key text, in list order.
void SaveShortKeys(const TPeekKey& peekKey, TMyRegistry& registry);

}  // namespace quenvix::core
