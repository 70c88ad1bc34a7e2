#pragma once
// Port: the live state of the keyboard, as the hotkey detector polls it.
#include <cstdint>
#include <optional>

namespace quenvix::core {

// When the last input event of any program arrived, and the same clock now: milliseconds of a
// 32-bit clock that wraps.
struct InputClock {
    std::uint32_t lastInputMs = 0;
    std::uint32_t nowMs = 0;
};

class KeyState {
  public:
    virtual ~KeyState() = default;
    // True while the key with this virtual-key code is held down, whichever program has the focus.
    // Toggle states (Caps Lock on and the like) are not "down".
    virtual bool IsKeyDown(std::uint16_t code) const = 0;
    // A cheap way to learn that no input has arrived since an earlier reading, so that a poll
    // can reuse what it read then instead of asking about every key again. Platforms that
    // cannot tell answer nullopt, and every poll reads every key.
    virtual std::optional<InputClock> ReadInputClock() const { return std::nullopt; }
};

// Where the platform hands each key going down or up, as it happens (the hotkey detector).
class KeyEventSink {
  public:
    virtual ~KeyEventSink() = default;
    virtual void OnKeyEvent(std::uint16_t code, bool down) = 0;
};

// The virtual-key codes the key text names or that callers refer to by name. The values are the
// platform's, so a KeyState implementation passes them straight through.
namespace vk {
inline constexpr std::uint16_t kBack = 0x08;
inline constexpr std::uint16_t kTab = 0x09;
inline constexpr std::uint16_t kReturn = 0x0D;
inline constexpr std::uint16_t kShift = 0x10;
inline constexpr std::uint16_t kControl = 0x11;
inline constexpr std::uint16_t kMenu = 0x12;  // Alt
inline constexpr std::uint16_t kCapital = 0x14;
inline constexpr std::uint16_t kEscape = 0x1B;
inline constexpr std::uint16_t kSpace = 0x20;
inline constexpr std::uint16_t kPrior = 0x21;
inline constexpr std::uint16_t kNext = 0x22;
inline constexpr std::uint16_t kEnd = 0x23;
inline constexpr std::uint16_t kHome = 0x24;
inline constexpr std::uint16_t kLeft = 0x25;
inline constexpr std::uint16_t kUp = 0x26;
inline constexpr std::uint16_t kRight = 0x27;
inline constexpr std::uint16_t kDown = 0x28;
inline constexpr std::uint16_t kSnapshot = 0x2C;
inline constexpr std::uint16_t kInsert = 0x2D;
inline constexpr std::uint16_t kDelete = 0x2E;
inline constexpr std::uint16_t kLWin = 0x5B;
inline constexpr std::uint16_t kRWin = 0x5C;
inline constexpr std::uint16_t kApps = 0x5D;
inline constexpr std::uint16_t kNumpad0 = 0x60;
inline constexpr std::uint16_t kMultiply = 0x6A;
inline constexpr std::uint16_t kAdd = 0x6B;
inline constexpr std::uint16_t kSeparator = 0x6C;
inline constexpr std::uint16_t kSubtract = 0x6D;
inline constexpr std::uint16_t kDecimal = 0x6E;
inline constexpr std::uint16_t kDivide = 0x6F;
inline constexpr std::uint16_t kF1 = 0x70;
inline constexpr std::uint16_t kF12 = 0x7B;
inline constexpr std::uint16_t kF13 = 0x7C;
inline constexpr std::uint16_t kF14 = 0x7D;
inline constexpr std::uint16_t kLShift = 0xA0;
inline constexpr std::uint16_t kRShift = 0xA1;
inline constexpr std::uint16_t kLControl = 0xA2;
inline constexpr std::uint16_t kRControl = 0xA3;
inline constexpr std::uint16_t kLMenu = 0xA4;
inline constexpr std::uint16_t kRMenu = 0xA5;
}  // namespace vk

}  // namespace quenvix::core
