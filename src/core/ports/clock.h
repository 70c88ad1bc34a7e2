#pragma once
// Port: today's date, for the update check's 30-day rule, and a steady count of milliseconds,
// for the rules' timing of new windows.
#include <cstdint>

namespace quenvix::core {

class Clock {
  public:
    virtual ~Clock() = default;
    // Today's local date as whole days since 30 December 1899.
    virtual int Today() = 0;
    // Milliseconds since some fixed moment; never goes back, unmoved by changes of the date.
    virtual std::uint64_t SteadyMs() = 0;
};

}  // namespace quenvix::core
