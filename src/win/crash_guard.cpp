#include "win/crash_guard.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <string>
#include <utility>

#include "core/hider.h"
#include "win/desktop.h"
#include "win/guardian.h"
#include "win/log.h"
#include "win/message_wait.h"

namespace quenvix::win {
namespace {

GuardedList g_list;
bool g_guardianEnabled = false;

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
    : mailbox_(std::make_unique<Mailbox>(std::move(warnUser))) {
    if (g_guardianEnabled) guardian_ = Guardian::Start();
}

CrashGuard::~CrashGuard() {
    // The clean exit only once every window is back: whatever is still listed (a start that
    // failed half-way, a restore the system refused) stays in the lists, for the crash filter of
    // a process that falls over while ending and for the guardian once it has ended.
    if (guardian_ && listed_ == 0) guardian_->MarkCleanExit();
    guardian_.reset();
}

void CrashGuard::HiddenListChanged(const std::vector<core::RecoveryEntry>& entries) {
    if (entries.size() > kCrashListCapacity) {
        Log("Crash guard: " + std::to_string(entries.size()) + " hidden windows, the first " +
            std::to_string(kCrashListCapacity) + " are guarded");
    }
    WriteGuardedList(g_list, entries);
    listed_ = entries.size();
    if (guardian_) guardian_->Publish(entries);
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
    VisitGuardedList(g_list, [](std::uint64_t handle, core::ShowState state) {
        ShowInRecordedState(reinterpret_cast<HWND>(static_cast<std::uintptr_t>(handle)), state);
    });
}

void EnableGuardian() {
    g_guardianEnabled = true;
}

void InstallCrashFilter() {
    SetUnhandledExceptionFilter(&CrashFilter);
    std::set_terminate(&CrashTerminate);
}

void ShowUnprotectedWarning(HWND owner) {
    MessageBoxWhileServing(
        owner,
        L"The list of hidden windows could not be saved.\n\n"
        L"If Quenvix stops unexpectedly, the windows hidden now may not come back by "
        L"themselves. Restore them before you close Quenvix or restart the computer.",
        L"Quenvix", MB_OK | MB_ICONWARNING);
}

}  // namespace quenvix::win
