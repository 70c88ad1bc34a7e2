#include "core/key_text.h"

#include <array>

namespace quenvix::core {
namespace {

// The named keys are scanned from Escape up to F12, plus F13 (see below).
constexpr std::uint16_t kFirstNamed = vk::kEscape;
constexpr std::uint16_t kLastNamed = vk::kF13;

constexpr std::array<std::string_view, 256> MakeNames() {
    std::array<std::string_view, 256> n{};
    n[vk::kShift] = "SHIFT";
    n[vk::kControl] = "CTRL";
    n[vk::kMenu] = "ALT";
    n[vk::kEscape] = "ESC";
    n[vk::kPrior] = "PGUP";
    n[vk::kNext] = "PGDN";
    n[vk::kEnd] = "END";
    n[vk::kHome] = "HOME";
    n[vk::kLeft] = "LEFT";
    n[vk::kUp] = "UP";
    n[vk::kRight] = "RIGHT";
    n[vk::kDown] = "DOWN";
    n[vk::kSnapshot] = "PRSCR";
    n[vk::kInsert] = "INSERT";
    n[vk::kDelete] = "DELETE";
    constexpr std::array<std::string_view, 10> pad = {"0 Num", "1 Num", "2 Num", "3 Num", "4 Num",
                                                      "5 Num", "6 Num", "7 Num", "8 Num", "9 Num"};
    for (std::uint16_t i = 0; i < 10; ++i) n[vk::kNumpad0 + i] = pad[i];
    n[vk::kMultiply] = "* Num";
    n[vk::kAdd] = "+ Num";
    n[vk::kSubtract] = "- Num";
    n[vk::kDecimal] = ". Num";
    n[vk::kDivide] = "/ Num";
    constexpr std::array<std::string_view, 12> fkeys = {"F1", "F2", "F3", "F4",  "F5",  "F6",
                                                        "F7", "F8", "F9", "F10", "F11", "F12"};
    for (std::uint16_t i = 0; i < 12; ++i) n[vk::kF1 + i] = fkeys[i];
    // F13 is named by its own character code, "|". It is the one key past F12 that the builder
    // looks at: keyboards that have it can use it in a hotkey ("CTRL+|"), and the name cannot be
    // mistaken for any other key's. Nothing beyond it is examined.
    n[vk::kF13] = "|";
    return n;
}

constexpr std::array<std::string_view, 256> kNames = MakeNames();

// One-character names of the digit and letter keys: their own character codes.
constexpr std::array<char, 128> MakeSelfNames() {
    std::array<char, 128> c{};
    for (int i = 0; i < 128; ++i) c[i] = static_cast<char>(i);
    return c;
}
constexpr std::array<char, 128> kSelf = MakeSelfNames();

void AddSelfNamed(std::string& text, const KeyState& keys, std::uint16_t first,
                  std::uint16_t last) {
    for (std::uint16_t code = first; code <= last; ++code) {
        if (keys.IsKeyDown(code)) AddKeyName(text, std::string_view(&kSelf[code], 1));
    }
}

}  // namespace

std::string_view KeyName(std::uint16_t code) noexcept {
    return code < kNames.size() ? kNames[code] : std::string_view{};
}

void AddKeyName(std::string& text, std::string_view name) {
    if (name.empty()) return;
    if (text.empty()) {
        text.assign(name);
        return;
    }
    // In place: prepending within the string's capacity costs no allocation.
    text.insert(0, 1, '+');
    text.insert(0, name);
}

std::string GetKeyText(const KeyState& keys) {
    // Each pass puts its names in front, so the text reads in the reverse of the testing order.
    std::string text;
    AddSelfNamed(text, keys, '0', '9');
    AddSelfNamed(text, keys, 'A', 'Z');
    // Only keys with a name are asked about: an unnamed key adds nothing either way.
    for (std::uint16_t code = kFirstNamed; code <= kLastNamed; ++code) {
        const std::string_view name = kNames[code];
        if (!name.empty() && keys.IsKeyDown(code)) AddKeyName(text, name);
    }
    // The modifiers come last, so they lead the text in the order CTRL, ALT, SHIFT.
    if (keys.IsKeyDown(vk::kShift)) AddKeyName(text, "SHIFT");
    if (keys.IsKeyDown(vk::kMenu)) AddKeyName(text, "ALT");
    if (keys.IsKeyDown(vk::kControl)) AddKeyName(text, "CTRL");
    return text;
}

}  // namespace quenvix::core
