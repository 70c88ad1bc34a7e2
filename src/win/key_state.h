#pragma once
// The keyboard as the hotkey detector sees it: the system-wide state of each key, and the key
// events that raw input reports.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "core/ports/key_state.h"
#include "win/ui.h"

namespace quenvix::core {
class HotkeyDetector;
}

namespace quenvix::win {

class Win32KeyState : public core::KeyState {
  public:
    bool IsKeyDown(std::uint16_t code) const override;
    std::optional<core::InputClock> ReadInputClock() const override;
};

// The key a raw keyboard record reports, modifiers with their side; nothing for a record that
// names no key.
struct RawKey {
    std::uint16_t code;
    bool down;
};
std::optional<RawKey> KeyOfRawInput(const RAWKEYBOARD& input);

// Every key going down or up on this desktop, whichever program has the focus, handed to `sink`
// on the thread that made this object (it must run a message loop). The sink is called straight
// from the window procedure: a key press is the program's busiest path.
class Win32RawKeyboard : private ServiceWindow {
  public:
    using RegisterFn = std::function<BOOL(const RAWINPUTDEVICE* devices, UINT count)>;

    // Throws core::Error when the system will not report the keyboard. `sink` outlives this
    // object. `registerDevices` stands in for RegisterRawInputDevices in tests.
    explicit Win32RawKeyboard(core::KeyEventSink& sink, RegisterFn registerDevices = {});
    ~Win32RawKeyboard() override;

    using Window::Hwnd;

  protected:
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

  private:
    core::KeyEventSink& sink_;
    RegisterFn register_;
};

// Feeds `peek` the keyboard's events from now on, so that it stops polling while no key is held.
// Null when the system will not report keys: `peek` then goes on polling. `registerDevices` as
// for Win32RawKeyboard.
std::unique_ptr<Win32RawKeyboard> FollowKeyEvents(
    core::HotkeyDetector& peek, Win32RawKeyboard::RegisterFn registerDevices = {});

}  // namespace quenvix::win
