#include "win/timer.h"

#include <exception>

#include "core/error.h"
#include "win/log.h"
#include "win/ui.h"

namespace quenvix::win {
namespace {

constexpr wchar_t kClassName[] = L"QuenvixTimerWindow";
constexpr UINT_PTR kTimerId = 1;

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

// A message-only window per timer: it never shows and takes no part in enumeration of the
// desktop's windows; its WM_TIMER fires the timer.
class Win32Timer::MessageWindow : public ServiceWindow {
  public:
    explicit MessageWindow(Win32Timer& timer) : timer_(timer) {
        CreateBound(kClassName, 0, 0, L"", 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr);
        if (!Hwnd()) {
            LogLastError("CreateWindowExW (timer)");
            throw core::Error("Cannot create a timer");
        }
    }

  protected:
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg != WM_TIMER || wParam != kTimerId) {
            return ServiceWindow::OnMessage(msg, wParam, lParam);
        }
        // The handler may free this timer (and with it this window): nothing of either is
        // touched after Fire. The error goes to one box at a time, not through the window base's
        // reporter.
        try {
            timer_.Fire();
        } catch (const std::exception& e) {
            ReportTickError(e.what());
        } catch (...) {
            ReportTickError("Unexpected error");
        }
        return 0;
    }

  private:
    Win32Timer& timer_;
};

Win32Timer::Win32Timer() : window_(std::make_unique<MessageWindow>(*this)) {}

Win32Timer::~Win32Timer() {
    KillTimer(window_->Hwnd(), kTimerId);
}

void Win32Timer::Arm(std::uint32_t ms) {
    // Setting an existing timer id again starts its countdown afresh.
    if (!SetTimer(window_->Hwnd(), kTimerId, ms, nullptr)) LogLastError("SetTimer");
}

void Win32Timer::Disarm() {
    // Also drops a WM_TIMER that is already waiting in the queue.
    KillTimer(window_->Hwnd(), kTimerId);
}

}  // namespace quenvix::win
