#include "win/timer.h"

#include <exception>

#include "core/error.h"
#include "win/log.h"
#include "win/ui.h"

namespace quenvix::win {
namespace {

constexpr wchar_t kClassName[] = L"QuenvixTimerWindow";
constexpr UINT_PTR kTimerId = 1;

// The window class is registered on first use and stays for the life of the process.
const wchar_t* TimerClass(WNDPROC proc) {
    static const ATOM atom = [proc] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = proc;
        wc.hInstance = AppInstance();
        wc.lpszClassName = kClassName;
        const ATOM registered = RegisterClassExW(&wc);
        if (!registered) LogLastError("RegisterClassExW (timer)");
        return registered;
    }();
    if (!atom) throw core::Error("Cannot create a timer");
    return kClassName;
}

// Ticks go on while an error box is open (its loop dispatches them), and a handler that fails
// once tends to fail at every tick: one box at a time, not a new one every interval stacked on
// the last.
bool g_reporting = false;

void ReportTickError(const char* message) noexcept {
    if (g_reporting) return;
    g_reporting = true;
    try {
        ReportError(nullptr, message);
    } catch (...) {
    }
    g_reporting = false;
}

}  // namespace

Win32Timer::Win32Timer() {
    // A message-only window per timer: it never shows, takes no part in enumeration of the
    // desktop's windows, and its WM_TIMER reaches this object through GWLP_USERDATA.
    hwnd_ = CreateWindowExW(0, TimerClass(&Win32Timer::Proc), L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                            nullptr, AppInstance(), nullptr);
    if (!hwnd_) {
        LogLastError("CreateWindowExW (timer)");
        throw core::Error("Cannot create a timer");
    }
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

Win32Timer::~Win32Timer() {
    // Unbind first: nothing that arrives while the window goes may reach a half-destroyed timer.
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    KillTimer(hwnd_, kTimerId);
    DestroyWindow(hwnd_);
}

void Win32Timer::Arm(std::uint32_t ms) {
    // Setting an existing timer id again starts its countdown afresh.
    if (!SetTimer(hwnd_, kTimerId, ms, nullptr)) LogLastError("SetTimer");
}

void Win32Timer::Disarm() {
    // Also drops a WM_TIMER that is already waiting in the queue.
    KillTimer(hwnd_, kTimerId);
}

LRESULT CALLBACK Win32Timer::Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_TIMER && wParam == kTimerId) {
        if (auto* self = reinterpret_cast<Win32Timer*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA))) {
            // The handler may free this timer (and with it this window): nothing of either is
            // touched after Fire. No exception may cross into the system.
            try {
                self->Fire();
            } catch (const std::exception& e) {
                ReportTickError(e.what());
            } catch (...) {
                ReportTickError("Unexpected error");
            }
        }
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

}  // namespace quenvix::win
