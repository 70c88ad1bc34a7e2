#pragma once
// The last line of defence for hidden windows: if the program falls over, whatever it holds
// hidden must come back at once, not only at the next start. The guard keeps its own copy of the
// hidden list (handle and show state) in static storage, laid out so that the crash path reads
// it without allocating, locking or waiting; the process's unhandled-exception filter shows every
// window of that copy in its former state and then lets the process end. The recovery record
// stays as it is: the next start takes back only what is still hidden.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "core/ports/hidden_list_observer.h"
#include "win/guarded_list.h"
#include "win/ui.h"

namespace quenvix::win {

class Guardian;

class CrashGuard : public core::HiddenListObserver {
  public:
    // `warnUser` tells the user that hidden windows are not protected against a crash. It runs
    // on the thread that creates the guard, from its message loop, at most once per run. Once
    // EnableGuardian has been called, the guard also starts the guardian process and keeps its
    // list current; the guard's end with nothing listed is the clean exit that lets it go.
    explicit CrashGuard(std::function<void()> warnUser);
    ~CrashGuard() override;
    CrashGuard(const CrashGuard&) = delete;
    CrashGuard& operator=(const CrashGuard&) = delete;

    void HiddenListChanged(const std::vector<core::RecoveryEntry>& entries) override;
    void RecoveryWriteFailed() override;

  private:
    class Mailbox;
    std::unique_ptr<Mailbox> mailbox_;
    // Null without EnableGuardian, or when the guardian could not be started.
    std::unique_ptr<Guardian> guardian_;
    std::size_t listed_ = 0;
    bool warned_ = false;
};

// Called by the entry point on a real start (never by a command-line verb, never in tests that
// make a guard): from then on each crash guard starts a guardian process of this program.
void EnableGuardian();

// Installs the filter that brings the guarded windows back when the process crashes (and the
// same for std::terminate). Called once, first thing, by the entry point.
void InstallCrashFilter();

// What the filter does: shows every window of the guarded copy in its recorded state with
// ShowWindowAsync. No allocation, no lock, no wait.
void ShowGuardedWindows() noexcept;

// The message box that says the hidden windows are not protected against a crash.
void ShowUnprotectedWarning(HWND owner);

}  // namespace quenvix::win
