#pragma once
// The last line of defence for hidden windows: if the program falls over, whatever it holds
// hidden must come back at once, not only at the next start. The guard keeps its own copy of the
// hidden list (handle and show state) in static storage, laid out so that the crash path reads
// it without allocating, locking or waiting; the process's unhandled-exception filter shows every
// window of that copy in its former state and then lets the process end. The recovery record
// stays as it is: the next start takes back only what is still hidden.
#include <windows.h>

#include <cstddef>
#include <functional>
#include <vector>

#include "core/ports/hidden_list_observer.h"
#include "win/ui.h"

namespace quenvix::win {

// Windows the crash path can bring back; more than this are left to the recovery record.
inline constexpr std::size_t kCrashListCapacity = 4096;

class CrashGuard : public core::HiddenListObserver {
  public:
    // `warnUser` tells the user that hidden windows are not protected against a crash. It runs
    // on the thread that creates the guard, from its message loop, at most once per run.
    explicit CrashGuard(std::function<void()> warnUser);
    ~CrashGuard() override;
    CrashGuard(const CrashGuard&) = delete;
    CrashGuard& operator=(const CrashGuard&) = delete;

    void HiddenListChanged(const std::vector<core::RecoveryEntry>& entries) override;
    void RecoveryWriteFailed() override;

  private:
    class Mailbox;
    std::unique_ptr<Mailbox> mailbox_;
    bool warned_ = false;
};

// Installs the filter that brings the guarded windows back when the process crashes (and the
// same for std::terminate). Called once, first thing, by the entry point.
void InstallCrashFilter();

// What the filter does: shows every window of the guarded copy in its recorded state with
// ShowWindowAsync. No allocation, no lock, no wait.
void ShowGuardedWindows() noexcept;

// The message box that says the hidden windows are not protected against a crash.
void ShowUnprotectedWarning(HWND owner);

}  // namespace quenvix::win
