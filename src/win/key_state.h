#pragma once
// The keyboard as the hotkey detector sees it: the system-wide state of each key.
#include "core/key_state.h"

namespace quenvix::win {

class AsyncKeyState : public core::KeyState {
  public:
    bool IsKeyDown(std::uint16_t code) const override;
    std::optional<core::InputClock> ReadInputClock() const override;
};

}  // namespace quenvix::win
