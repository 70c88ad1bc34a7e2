#include "win/crash_guard.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <string>
#include <utility>

#include "win/log.h"

namespace quenvix::win {
namespace {

// Two copies of the list: the writer (the UI thread) fills the one not in use and then makes it
// the current one, so a crash on another thread in the middle of a change still finds a whole
// list. Each copy has a sequence number, odd while it is being written, so the reader can tell
// when the writer came back to the copy it was reading (two changes during one read) and then
// falls back to the other copy as well.
struct GuardedCopy {
    std::atomic<std::uint32_t> sequence{0};
    std::atomic<std::uint32_t> count{0};
    std::atomic<std::uint64_t> handles[kCrashListCapacity];
    std::atomic<std::uint8_t> states[kCrashListCapacity];
};

GuardedCopy g_copies[2];
std::atomic<std::uint32_t> g_current{0};

void ShowRecorded(HWND window, std::uint8_t state) noexcept {
    // Async: a hung program must not hold up a process that is going down.
    switch (state) {
        case 0:
            ShowWindowAsync(window, SW_RESTORE);
            break;
        case 2:
            ShowWindowAsync(window, SW_SHOWMAXIMIZED);
            break;
        default:
            break;
    }
    ShowWindowAsync(window, SW_SHOW);
}

// Shows the windows of one copy; false when the copy changed while it was read.
bool ShowCopy(const GuardedCopy& copy) noexcept {
    const std::uint32_t before = copy.sequence.load(std::memory_order_acquire);
    std::uint32_t count = copy.count.load(std::memory_order_acquire);
    if (count > kCrashListCapacity) count = kCrashListCapacity;
    for (std::uint32_t i = 0; i < count; ++i) {
        const auto handle = copy.handles[i].load(std::memory_order_relaxed);
        const auto state = copy.states[i].load(std::memory_order_relaxed);
        if (handle != 0)
            ShowRecorded(reinterpret_cast<HWND>(static_cast<std::uintptr_t>(handle)), state);
    }
    std::atomic_thread_fence(std::memory_order_acquire);
    return (before & 1u) == 0 && copy.sequence.load(std::memory_order_relaxed) == before;
}

LONG WINAPI CrashFilter(EXCEPTION_POINTERS*) {
    ShowGuardedWindows();
    // The process ends here, quietly: nothing of it can be trusted any more.
    return EXCEPTION_EXECUTE_HANDLER;
}

[[noreturn]] void CrashTerminate() {
    ShowGuardedWindows();
    std::abort();
}

constexpr UINT kWarnMessage = WM_APP + 1;

}  // namespace

// A message-only window of the creating thread: the hider tells the guard about a failed write
// from deep inside its own work, and the message box must wait until the loop is back.
class CrashGuard::Mailbox : public ServiceWindow {
  public:
    explicit Mailbox(std::function<void()> warnUser) : warnUser_(std::move(warnUser)) {
        CreateBound(L"QuenvixCrashGuard", 0, 0, L"", 0, 0, 0, 0, HWND_MESSAGE);
        if (!Hwnd()) LogLastError("CreateWindowExW (crash guard)");
    }

    // Asks for the warning from the loop; only a warning asked for is shown, so the wake-up
    // posted again and again by someone else shows nothing.
    bool RequestWarning() {
        pending_ = true;
        return Hwnd() && PostMessageW(Hwnd(), kWarnMessage, 0, 0);
    }

  protected:
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg == kWarnMessage) {
            if (std::exchange(pending_, false) && warnUser_) warnUser_();
            return 0;
        }
        return ServiceWindow::OnMessage(msg, wParam, lParam);
    }

  private:
    std::function<void()> warnUser_;
    bool pending_ = false;
};

CrashGuard::CrashGuard(std::function<void()> warnUser)
    : mailbox_(std::make_unique<Mailbox>(std::move(warnUser))) {}

CrashGuard::~CrashGuard() {
    // Gone guard, nothing to guard: a crash after this must not show windows restored meanwhile.
    HiddenListChanged({});
}

void CrashGuard::HiddenListChanged(const std::vector<core::RecoveryEntry>& entries) {
    const std::uint32_t next = 1u - g_current.load(std::memory_order_relaxed);
    GuardedCopy& copy = g_copies[next];
    std::size_t count = entries.size();
    if (count > kCrashListCapacity) {
        Log("Crash guard: " + std::to_string(count) + " hidden windows, the first " +
            std::to_string(kCrashListCapacity) + " are guarded");
        count = kCrashListCapacity;
    }
    copy.sequence.fetch_add(1, std::memory_order_acq_rel);  // odd: being written
    std::atomic_thread_fence(std::memory_order_release);
    for (std::size_t i = 0; i < count; ++i) {
        copy.handles[i].store(entries[i].handle, std::memory_order_relaxed);
        copy.states[i].store(entries[i].state, std::memory_order_relaxed);
    }
    copy.count.store(static_cast<std::uint32_t>(count), std::memory_order_release);
    copy.sequence.fetch_add(1, std::memory_order_release);  // even: whole again
    g_current.store(next, std::memory_order_release);
}

void CrashGuard::RecoveryWriteFailed() {
    Log("The recovery record could not be written");
    if (warned_) return;
    warned_ = true;
    if (!mailbox_->RequestWarning()) {
        LogLastError("PostMessageW (crash guard)");
    }
}

void ShowGuardedWindows() noexcept {
    const std::uint32_t current = g_current.load(std::memory_order_acquire) & 1u;
    if (!ShowCopy(g_copies[current])) ShowCopy(g_copies[1u - current]);
}

void InstallCrashFilter() {
    SetUnhandledExceptionFilter(&CrashFilter);
    std::set_terminate(&CrashTerminate);
}

void ShowUnprotectedWarning(HWND owner) {
    MessageBoxW(owner,
                L"The list of hidden windows could not be saved.\n\n"
                L"If Quenvix stops unexpectedly, the windows hidden now may not come back by "
                L"themselves. Restore them before you close Quenvix or restart the computer.",
                L"Quenvix", MB_OK | MB_ICONWARNING);
}

}  // namespace quenvix::win
