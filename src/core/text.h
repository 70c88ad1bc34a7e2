#pragma once
// UTF-8 helpers. Captions and settings are UTF-8 std::string everywhere in the core.
#include <cstddef>
#include <string>
#include <string_view>

namespace quenvix::core {

// The first `count` code points of `text` (all of it when shorter). Never splits a
// multi-byte sequence; a malformed byte counts as one character.
std::string FirstCharacters(std::string_view text, std::size_t count);

// Number of code points (malformed bytes count one each).
std::size_t CharacterCount(std::string_view text);

// ASCII-only lower-casing: letters A to Z, nothing else.
std::string AsciiLower(std::string_view text);

}  // namespace quenvix::core
