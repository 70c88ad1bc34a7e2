#pragma once
// The running copy's side of its guardian (see win/guardian_section.h for the guardian itself): the
// section that carries the hidden list, written at each change of the list (the same lock-free
// layout as the crash filter's copy), and the guardian's process, watched from the thread's
// message wait. A guardian that ends while the copy runs (ended by hand, by an antivirus) is
// replaced at once with the current list; the clean-exit flag goes up only once the copy has
// given every window back itself.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/recovery.h"
#include "win/guardian_section.h"
#include "win/message_wait.h"
#include "win/ui.h"

namespace quenvix::win {

// A mapped view of the section, with the handle that keeps it alive. The section has no name:
// only a process this copy hands the handle to (its guardian, through the launcher) can map it,
// and nobody can make one first to feed the guardian a list.
class GuardianMapping {
  public:
    // Nothing (logged) when the system has no room for it.
    static std::optional<GuardianMapping> Create(std::uint32_t processId);

    GuardianSection& Section() const { return *view_; }
    HANDLE Handle() const { return mapping_.get(); }

  private:
    struct ViewDeleter {
        void operator()(GuardianSection* view) const noexcept;
    };
    GuardianMapping(UniqueHandle mapping, GuardianSection* view)
        : mapping_(std::move(mapping)), view_(view) {}

    UniqueHandle mapping_;
    std::unique_ptr<GuardianSection, ViewDeleter> view_;
};

// The running copy's side: the section and the guardian's process.
class Guardian : public MessageWaitSource {
  public:
    // Makes the section and starts `program` (quenvix_guardian.exe beside this program when
    // empty) as the guardian of `guarded` (this process when null; otherwise a handle with
    // SYNCHRONIZE and PROCESS_QUERY_LIMITED_INFORMATION, kept open by the caller). Null, logged,
    // when the section cannot be made or the first launch fails: the program then runs as it did
    // before it had a guardian. The guardian comes up from the thread's message wait (or Serve).
    static std::unique_ptr<Guardian> Start(std::wstring program = {}, HANDLE guarded = nullptr);
    // Lets the guardian go; without MarkCleanExit before, it shows what is listed.
    ~Guardian();
    Guardian(const Guardian&) = delete;
    Guardian& operator=(const Guardian&) = delete;

    // The list the guardian would show now.
    void Publish(const std::vector<core::RecoveryEntry>& entries) noexcept;
    // Every window is back: the guardian ends without touching any.
    void MarkCleanExit() noexcept;
    // False once guardians kept ending as soon as they were started and none is started any more.
    bool Watching() const { return watching_; }
    // The guardian's process; null while its launcher runs.
    HANDLE Process() const { return process_.get(); }
    DWORD ProcessId() const { return processId_; }

    HANDLE WaitHandle() const override;
    ULONGLONG Deadline() const override { return 0; }
    // The launcher has ended (the guardian is there) or the guardian has (another is started).
    void Serve() noexcept override;

  private:
    Guardian(std::wstring program, HANDLE guarded, GuardianMapping mapping)
        : program_(std::move(program)), guarded_(guarded), mapping_(std::move(mapping)) {}
    bool Launch();
    void Attach();
    void Replace();
    // Another guardian, unless too many in a row ended early (`early` counts this one): then none,
    // and the log says so once. `note` is logged when one is started.
    void Relaunch(bool early, const std::string& note);

    std::wstring program_;
    HANDLE guarded_;  // refers to the guarded process
    GuardianMapping mapping_;
    UniqueHandle launcher_;
    UniqueHandle process_;
    DWORD processId_ = 0;
    ULONGLONG attachedAt_ = 0;
    // Guardians in a row that ended soon after their start: one that cannot attach, or a program
    // that refuses to run. After a few the copy stops starting them rather than spin.
    int earlyEnds_ = 0;
    bool watching_ = true;
    bool toldOfJob_ = false;
};

}  // namespace quenvix::win
