#include "win/key_state.h"

#include <windows.h>

namespace quenvix::win {

bool AsyncKeyState::IsKeyDown(std::uint16_t code) const {
    // The hotkeys must work while another program has the focus, which is nearly always. The
    // thread's own key state (GetKeyState) only follows the input this thread has read from its
    // queue, so it would go stale the moment our window loses the focus; the asynchronous state
    // is the keyboard as it is now, for every program. Only the "down" bit counts: the low bit
    // ("pressed since the last call") is shared with every other caller and means nothing here.
    return (static_cast<unsigned short>(GetAsyncKeyState(code)) & 0x8000u) != 0;
}

std::optional<core::InputClock> AsyncKeyState::ReadInputClock() const {
    // The time of the last input event of the whole session, on the tick-count clock.
    LASTINPUTINFO info{};
    info.cbSize = sizeof(info);
    if (!GetLastInputInfo(&info)) return std::nullopt;
    return core::InputClock{info.dwTime, GetTickCount()};
}

}  // namespace quenvix::win
