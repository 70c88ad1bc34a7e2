#pragma once
#include <cstdint>
#include <optional>

namespace quenvix::core {

// Port: the system's processor-time counters. Every query may fail (nullopt). Times are in one
// unit throughout (100 ns ticks on Windows).
class CpuCounters {
  public:
    virtual ~CpuCounters() = default;
    virtual std::optional<unsigned> ProcessorCount() = 0;
    // The current system time.
    virtual std::optional<std::int64_t> SystemTime() = 0;
    // Idle time accumulated since start, summed over all processors.
    virtual std::optional<std::int64_t> IdleTime() = 0;
};

}  // namespace quenvix::core
