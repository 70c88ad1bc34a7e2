#pragma once
// Key texts as chords the system can register as hotkeys of its own.
#include <cstdint>
#include <optional>
#include <string_view>

namespace quenvix::core {

// A combination the system can register as a hotkey of its own: modifiers and one other key.
struct KeyChord {
    bool ctrl = false;
    bool alt = false;
    bool shift = false;
    std::uint16_t key = 0;  // virtual-key code

    friend bool operator==(const KeyChord&, const KeyChord&) = default;
};

// The chord whose key text is exactly `text`, found by building the texts rather than parsing
// them, so the two can never disagree. nullopt for texts of modifiers only, of several other keys,
// or that no keyboard produces.
std::optional<KeyChord> ChordOfKeyText(std::string_view text);

}  // namespace quenvix::core
