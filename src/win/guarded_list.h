#pragma once
// The hidden list as the last-resort paths read it: each window's handle and show state in fixed
// storage, written by the UI thread and read without a lock, either by the crash filter of this
// process or by the guardian in another one, which may find the writer stopped dead in the middle
// of a change. The layout is atomics of fixed width only (lock-free, so also address-free on x64),
// which lets the same structure live in static storage and in a section shared between processes.
//
// Two copies: the writer fills the one not in use and then makes it the current one, so a writer
// that stops half-way still leaves a whole list behind. Each copy has a sequence number, odd while
// it is being written, so a reader can tell when the writer came back to the copy it was reading
// (two changes during one read) and then turns to the other copy.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/recovery.h"

namespace quenvix::win {

// Windows the last-resort paths can bring back; more than this are left to the recovery record.
inline constexpr std::size_t kCrashListCapacity = 4096;

struct GuardedList {
    struct Copy {
        std::atomic<std::uint32_t> sequence;
        std::atomic<std::uint32_t> count;
        std::atomic<std::uint64_t> handles[kCrashListCapacity];
        std::atomic<core::ShowState> states[kCrashListCapacity];
    };
    std::atomic<std::uint32_t> current;
    Copy copies[2];
};

static_assert(std::atomic<std::uint64_t>::is_always_lock_free &&
                  std::atomic<std::uint32_t>::is_always_lock_free &&
                  std::atomic<core::ShowState>::is_always_lock_free,
              "the list is shared between processes: its atomics must not hide a lock");

// Makes `entries` (the first kCrashListCapacity of them) the list's content. One writer at a time;
// readers are never held up. Answers how many entries were kept.
std::size_t WriteGuardedList(GuardedList& list,
                             const std::vector<core::RecoveryEntry>& entries) noexcept;

// Calls `visit(handle, state)` for every entry of `copy` and answers whether the copy was whole
// all along (not being written, and not written meanwhile). No allocation, no lock, no wait: the
// crash filter uses it on whatever stack the faulting thread has left.
template <class Visit>
bool VisitCopy(const GuardedList::Copy& copy, Visit&& visit) noexcept {
    const std::uint32_t before = copy.sequence.load(std::memory_order_acquire);
    std::uint32_t count = copy.count.load(std::memory_order_acquire);
    if (count > kCrashListCapacity) count = kCrashListCapacity;
    for (std::uint32_t i = 0; i < count; ++i) {
        const auto handle = copy.handles[i].load(std::memory_order_relaxed);
        const auto state = copy.states[i].load(std::memory_order_relaxed);
        if (handle != 0) visit(handle, state);
    }
    std::atomic_thread_fence(std::memory_order_acquire);
    return (before & 1u) == 0 && copy.sequence.load(std::memory_order_relaxed) == before;
}

// Visits the current copy and, when that one changed under the reader, the other one as well:
// showing a window twice is harmless, missing one is not.
template <class Visit>
void VisitGuardedList(const GuardedList& list, Visit&& visit) noexcept {
    const std::uint32_t current = list.current.load(std::memory_order_acquire) & 1u;
    if (!VisitCopy(list.copies[current], visit)) VisitCopy(list.copies[1u - current], visit);
}

struct GuardedEntry {
    std::uint64_t handle = 0;
    core::ShowState state = core::ShowState::Normal;
    friend bool operator==(const GuardedEntry&, const GuardedEntry&) = default;
};

// A whole copy of the list, as one change of the writer left it; false when the writer kept
// changing it through `attempts` tries.
bool ReadGuardedList(const GuardedList& list, std::vector<GuardedEntry>& out, int attempts = 16);

}  // namespace quenvix::win
