#include "win/guarded_list.h"

namespace quenvix::win {

std::size_t WriteGuardedList(GuardedList& list,
                             const std::vector<core::RecoveryEntry>& entries) noexcept {
    const std::uint32_t next = 1u - (list.current.load(std::memory_order_relaxed) & 1u);
    GuardedList::Copy& copy = list.copies[next];
    const std::size_t count =
        entries.size() < kCrashListCapacity ? entries.size() : kCrashListCapacity;
    copy.sequence.fetch_add(1, std::memory_order_acq_rel);  // odd: being written
    std::atomic_thread_fence(std::memory_order_release);
    for (std::size_t i = 0; i < count; ++i) {
        copy.handles[i].store(entries[i].handle, std::memory_order_relaxed);
        copy.states[i].store(entries[i].state, std::memory_order_relaxed);
    }
    copy.count.store(static_cast<std::uint32_t>(count), std::memory_order_release);
    copy.sequence.fetch_add(1, std::memory_order_release);  // even: whole again
    list.current.store(next, std::memory_order_release);
    return count;
}

bool ReadGuardedList(const GuardedList& list, std::vector<GuardedEntry>& out, int attempts) {
    // Room for a whole list first: the visit itself must not allocate (or throw).
    out.reserve(kCrashListCapacity);
    for (int attempt = 0; attempt < attempts; ++attempt) {
        const std::uint32_t current = list.current.load(std::memory_order_acquire) & 1u;
        for (const std::uint32_t which : {current, 1u - current}) {
            out.clear();
            const auto keep = [&](std::uint64_t handle, core::ShowState state) {
                out.push_back({handle, state});
            };
            // The other copy only counts when it is whole: a writer that died half-way leaves
            // the current one whole, and the other is the older list, still whole too.
            if (VisitCopy(list.copies[which], keep)) return true;
        }
    }
    out.clear();
    return false;
}

}  // namespace quenvix::win
