#pragma once
// Processor counters under the test's control: each reading is set by hand, and any one of the
// three queries can be made to fail.
#include <cstdint>
#include <optional>

#include "core/cpu_gauge.h"

namespace quenvix::test {

class FakeCpuCounters : public core::CpuCounters {
  public:
    std::optional<unsigned> processors = 1;
    std::optional<std::int64_t> systemTime = 0;
    std::optional<std::int64_t> idleTime = 0;
    int queries = 0;

    std::optional<unsigned> ProcessorCount() override {
        ++queries;
        return processors;
    }
    std::optional<std::int64_t> SystemTime() override {
        ++queries;
        return systemTime;
    }
    std::optional<std::int64_t> IdleTime() override {
        ++queries;
        return idleTime;
    }

    // Moves both clocks on: `elapsed` of system time, `idle` of summed idle time.
    void Advance(std::int64_t elapsed, std::int64_t idle) {
        *systemTime += elapsed;
        *idleTime += idle;
    }
};

}  // namespace quenvix::test
