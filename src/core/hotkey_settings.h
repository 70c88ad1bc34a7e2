#pragma once
// The program's built-in hotkeys and how their key texts are kept in the settings store.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/command.h"
#include "core/hotkey_detector.h"

namespace quenvix::core {

class SettingsStore;

struct BuiltInHotkey {
    std::string_view name;  // also the value name of its key text
    std::string_view description;
    std::string_view defaultKey;
    Command command;  // what pressing it does
};

// The detector reports a hotkey by its registration order, which is this table's order. A new
// hotkey is a row here; what it does is a Command, carried out where every command is.
inline constexpr std::array<BuiltInHotkey, 4> kBuiltInHotkeys{{
    {"HideThis", "To hide the active program", "CTRL+* Num", Command::HideActiveWindow},
    {"HideAll", "To hide all programs", "CTRL+/ Num", Command::HideAllWindows},
    {"RestoreLast", "To restore the last hidden program", "CTRL+SHIFT+* Num",
     Command::RestoreLastHidden},
    {"ShowList", "To show the list of hidden programs", "CTRL+SHIFT+/ Num",
     Command::ShowHiddenList},
}};

// The command of the hotkey the detector reported; nullopt for an index outside the table.
std::optional<Command> CommandOfHotkey(std::uint16_t index);
// Where the hotkey with that command sits in the table.
std::optional<std::size_t> HotkeyIndexOf(Command command);

// Section of the settings store that holds one key text per hotkey, under its name.
inline constexpr std::string_view kHotkeySection = "Short key";

// Frees the detector's hotkeys and registers the built-in ones with their default texts. Lines
// that point at the old hotkeys (a settings list filled by FillList) must be cleared first.
void SetDefaultKeys(HotkeyDetector& detector);

// Each hotkey's key text from the store, in list order; a missing value keeps the current text,
// an empty one switches the hotkey off. Stored texts are taken as they are, even ones the
// keyboard can never produce. A value the store cannot read goes to `reportError` and keeps the
// current text; the other hotkeys still load.
void LoadHotkeys(HotkeyDetector& detector, SettingsStore& registry,
                 const std::function<void(const std::string&)>& reportError);

// Writes every hotkey's key text, in list order.
void SaveHotkeys(const HotkeyDetector& detector, SettingsStore& registry);

}  // namespace quenvix::core
