#pragma once
// The key text: the one form in which a key combination is shown, stored and compared, such as
// "CTRL+* Num". Built only from the live keyboard state and never parsed; two key texts match
// only when they are equal byte for byte.
#include <cstdint>
#include <string>
#include <string_view>

#include "core/ports/key_state.h"

namespace quenvix::core {

// The name a key contributes in the named-key pass: "ESC", "PGUP", "5 Num", "F1", "SHIFT" …;
// empty for keys without a name. Digits and letters get theirs in passes of their own and are
// empty here, so no key is ever named twice.
std::string_view KeyName(std::uint16_t code) noexcept;

// Puts `name` in front of `text`, joined by "+". An empty name changes nothing.
void AddKeyName(std::string& text, std::string_view name);

// The key text of the keys down at the moment of the call: modifiers first (CTRL, ALT, SHIFT),
// then named keys by descending code, then letters Z..A, then main-keyboard digits 9..0.
// Keys without a name add nothing. Empty when no named key is down.
std::string GetKeyText(const KeyState& keys);

}  // namespace quenvix::core
