#pragma once
// The guardian: a second, tiny process of this same program that waits for the running copy to
// end and, if it ends without its clean exit, shows every window it held hidden. The crash filter
// covers a crash; it cannot cover what ends a process without running any of its code
// (TerminateProcess, Task Manager's "End task", a fail-fast, heap corruption, abort()). Then only
// another process can give the windows back at once.
//
// The hidden list reaches the guardian through a named section of the copy's own session, made
// by the copy with access for its user only; the guardian maps it read-only. The copy writes it
// at each change of the list (the same lock-free layout as the crash filter's copy), and sets
// its clean-exit flag once it has given the windows back itself. The guardian waits on the
// copy's process handle and nothing else: no window, no timer, no thread of its own.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/recovery.h"
#include "win/guarded_list.h"
#include "win/ui.h"

namespace quenvix::win {

// What the section holds. The magic is written last, when the rest is ready.
struct GuardianSection {
    std::atomic<std::uint32_t> magic;
    std::atomic<std::uint32_t> processId;  // the copy that writes it
    std::atomic<std::uint32_t> cleanExit;  // 1: that copy ended the normal way
    GuardedList list;
};

inline constexpr std::uint32_t kGuardianMagic = 0x51564744;  // "QVGD"

// A mapped view of the section, with the handle that keeps it alive.
class GuardianMapping {
  public:
    // Makes a new section for the copy `processId` under a name nobody holds yet. A name that
    // is taken already is never used (someone may have made it to feed us a list): another
    // is tried, and after a few, nothing (logged).
    static std::optional<GuardianMapping> Create(std::uint32_t processId);
    // The section of that name in this session, read-only; nothing (logged) when there is none
    // or it is not one a copy of ours made.
    static std::optional<GuardianMapping> Open(const std::string& name);

    GuardianSection& Section() const { return *view_; }
    // Without its namespace, as the guardian's command line carries it.
    const std::string& Name() const { return name_; }

  private:
    struct ViewDeleter {
        void operator()(GuardianSection* view) const noexcept;
    };
    GuardianMapping(std::string name, UniqueHandle mapping, GuardianSection* view)
        : name_(std::move(name)), mapping_(std::move(mapping)), view_(view) {}

    std::string name_;
    UniqueHandle mapping_;
    std::unique_ptr<GuardianSection, ViewDeleter> view_;
};

// The running copy's side: the section and the guardian's process.
class Guardian {
  public:
    // Makes the section and starts `program` (this program when empty) as the guardian of the
    // process `processId` (this one when 0). Null, logged, when either fails: the program then
    // runs as it did before it had a guardian.
    static std::unique_ptr<Guardian> Start(std::wstring program = {}, std::uint32_t processId = 0);
    // Lets the guardian go without touching a window: it ends with the copy it watches.
    ~Guardian();
    Guardian(const Guardian&) = delete;
    Guardian& operator=(const Guardian&) = delete;

    // The list the guardian would show now. Also notices, once, that the guardian has gone.
    void Publish(const std::vector<core::RecoveryEntry>& entries) noexcept;
    // False once the guardian's process has been seen to end.
    bool Watching() const { return watching_; }
    HANDLE Process() const { return process_.get(); }
    const std::string& SectionName() const { return mapping_.Name(); }

  private:
    Guardian(GuardianMapping mapping, UniqueHandle process, DWORD processId)
        : mapping_(std::move(mapping)), process_(std::move(process)), processId_(processId) {}

    GuardianMapping mapping_;
    UniqueHandle process_;
    DWORD processId_;
    bool watching_ = true;
};

// The guardian's side. Waits for `watched` (a handle with SYNCHRONIZE) to end; unless `section`
// then says the end was clean, shows every window of its list in its recorded state. Answers how
// many windows were shown, or nothing after a clean end.
std::optional<std::size_t> GuardUntilEnd(HANDLE watched, const GuardianSection& section);

// The whole run of "quenvix.exe --guard <process id> <section name>"; answers the exit code.
int RunGuardian(std::uint32_t processId, const std::string& sectionName);

}  // namespace quenvix::win
