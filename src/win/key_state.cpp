#include "win/key_state.h"

#include <windows.h>

#include <string>
#include <utility>

#include "core/error.h"
#include "core/hotkey_detector.h"

namespace quenvix::win {

bool Win32KeyState::IsKeyDown(std::uint16_t code) const {
    // The hotkeys must work while another program has the focus, which is nearly always. The
    // thread's own key state (GetKeyState) only follows the input this thread has read from its
    // queue, so it would go stale the moment our window loses the focus; the asynchronous state
    // is the keyboard as it is now, for every program. Only the "down" bit counts: the low bit
    // ("pressed since the last call") is shared with every other caller and means nothing here.
    return (static_cast<unsigned short>(GetAsyncKeyState(code)) & 0x8000u) != 0;
}

std::optional<core::InputClock> Win32KeyState::ReadInputClock() const {
    // The time of the last input event of the whole session, on the tick-count clock.
    LASTINPUTINFO info{};
    info.cbSize = sizeof(info);
    if (!GetLastInputInfo(&info)) return std::nullopt;
    return core::InputClock{info.dwTime, GetTickCount()};
}

namespace {

constexpr USHORT kGenericDesktopPage = 1;
constexpr USHORT kKeyboardUsage = 6;

// Raw input names a modifier by its common code; the side comes from the scan code, so that
// letting go of one Ctrl while the other is held does not count as letting go of Ctrl.
std::uint16_t SidedCode(const RAWKEYBOARD& input) {
    const bool extended = (input.Flags & RI_KEY_E0) != 0;
    switch (input.VKey) {
        case VK_SHIFT:
            return MapVirtualKeyW(input.MakeCode, MAPVK_VSC_TO_VK_EX) == VK_RSHIFT ? VK_RSHIFT
                                                                                   : VK_LSHIFT;
        case VK_CONTROL:
            return extended ? VK_RCONTROL : VK_LCONTROL;
        case VK_MENU:
            return extended ? VK_RMENU : VK_LMENU;
        default:
            return input.VKey;
    }
}

}  // namespace

std::optional<RawKey> KeyOfRawInput(const RAWKEYBOARD& input) {
    // 0xFF marks the fake half of an escaped sequence (Pause and its kin), not a key.
    if (input.VKey == 0 || input.VKey >= 0xFF) return std::nullopt;
    return RawKey{SidedCode(input), (input.Flags & RI_KEY_BREAK) == 0};
}

Win32RawKeyboard::Win32RawKeyboard(core::KeyEventSink& sink, RegisterFn registerDevices)
    : sink_(sink),
      register_(registerDevices
                    ? std::move(registerDevices)
                    : RegisterFn([](const RAWINPUTDEVICE* devices, UINT count) {
                          return RegisterRawInputDevices(devices, count, sizeof(*devices));
                      })) {
    // Message-only: it never shows and takes no part in the desktop's window lists.
    if (!CreateBound(L"QuenvixRawKeyboard", 0, 0, L"", 0, 0, 0, 0, HWND_MESSAGE)) {
        throw core::Error("Cannot create the keyboard window");
    }
    // Input sink: the keys reach us while another program has the focus, which is nearly always.
    const RAWINPUTDEVICE device{kGenericDesktopPage, kKeyboardUsage, RIDEV_INPUTSINK, Hwnd()};
    if (!register_(&device, 1)) {
        const DWORD error = GetLastError();
        throw core::Error("Raw keyboard input refused (error " + std::to_string(error) + ")");
    }
}

Win32RawKeyboard::~Win32RawKeyboard() {
    const RAWINPUTDEVICE device{kGenericDesktopPage, kKeyboardUsage, RIDEV_REMOVE, nullptr};
    register_(&device, 1);
}

LRESULT Win32RawKeyboard::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_INPUT) {
        const HWND hwnd = Hwnd();  // the key's handler may free this object
        RAWINPUT input{};
        UINT size = sizeof(input);
        if (GetRawInputData(reinterpret_cast<HRAWINPUT>(lParam), RID_INPUT, &input, &size,
                            sizeof(RAWINPUTHEADER)) != static_cast<UINT>(-1) &&
            input.header.dwType == RIM_TYPEKEYBOARD) {
            if (const auto key = KeyOfRawInput(input.data.keyboard)) {
                sink_.OnKeyEvent(key->code, key->down);
            }
        }
        // The system frees the input only through the default procedure.
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    return ServiceWindow::OnMessage(msg, wParam, lParam);
}

std::unique_ptr<Win32RawKeyboard> FollowKeyEvents(core::HotkeyDetector& peek,
                                                  Win32RawKeyboard::RegisterFn registerDevices) {
    std::unique_ptr<Win32RawKeyboard> keyboard;
    try {
        keyboard = std::make_unique<Win32RawKeyboard>(peek, std::move(registerDevices));
    } catch (const core::Error& e) {
        // Not fatal: the detector polls as it always could.
        OutputDebugStringA(e.what());
        return nullptr;
    }
    peek.FollowKeyEvents();
    return keyboard;
}

}  // namespace quenvix::win
