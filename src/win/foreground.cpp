#include "win/foreground.h"

#include <windows.h>

#include "win/desktop.h"
#include "win/log.h"

namespace quenvix::win {

core::WindowId Win32Foreground::Current() {
    return ToId(GetForegroundWindow());
}

bool Win32Foreground::Allow(std::uint32_t processId) {
    if (AllowSetForegroundWindow(processId)) return true;
    // Refused when we do not hold the right ourselves: nothing to pass on.
    LogLastError("AllowSetForegroundWindow");
    return false;
}

bool Win32Foreground::Set(core::WindowId window) {
    // No error code: a refusal only flashes the window's taskbar button.
    return SetForegroundWindow(ToHwnd(window)) != FALSE;
}

}  // namespace quenvix::win
