#pragma once
// The processor counters of the CPU gauge, from the documented system calls: GetSystemTimes for
// the idle time of all processors together, the system clock for the interval, and the number
// of active processors.
#include <atomic>
#include <cstdint>
#include <optional>

#include "core/cpu_gauge.h"

namespace quenvix::win {

class Win32CpuCounters : public core::CpuCounters {
  public:
    std::optional<unsigned> ProcessorCount() override;
    std::optional<std::int64_t> SystemTime() override;
    std::optional<std::int64_t> IdleTime() override;

  private:
    // A refusal is traced once: the gauge asks twice a second, from the tray icon's thread (and
    // for a moment from two, when a new icon size replaces the gauge).
    std::atomic<bool> idleFailureLogged_{false};
};

// True on the Windows NT family (every system this program runs on, but the gauge asks).
bool IsWinNT();

}  // namespace quenvix::win
