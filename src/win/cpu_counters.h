#pragma once
// The processor counters of the CPU gauge, read with NtQuerySystemInformation (looked up at run
// time: it is not part of the documented import libraries).
#include <cstdint>
#include <optional>

#include "core/cpu_gauge.h"

namespace quenvix::win {

class Win32CpuCounters : public core::CpuCounters {
  public:
    Win32CpuCounters();

    // False when the system has no query function; every reading then fails.
    bool Available() const noexcept { return query_ != nullptr; }

    std::optional<unsigned> ProcessorCount() override;
    std::optional<std::int64_t> SystemTime() override;
    std::optional<std::int64_t> IdleTime() override;

    using QueryFn = long(__stdcall*)(unsigned long infoClass, void* buffer, unsigned long size,
                                     unsigned long* returned);

  private:
    QueryFn query_;
};

// True on the Windows NT family (every system this program runs on, but the gauge asks).
bool IsWinNT();

}  // namespace quenvix::win
