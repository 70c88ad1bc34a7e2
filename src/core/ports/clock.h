#pragma once
// Port: today's date, for the update check's 30-day rule.

namespace quenvix::core {

// Today's local date as whole days since 30 December 1899.
class Clock {
  public:
    virtual ~Clock() = default;
    virtual int Today() = 0;
};

}  // namespace quenvix::core
