#pragma once
// Timers that tick on the thread that made them, through its message loop (modal loops
// included), so handlers run between messages like any other window code.
#include <windows.h>

#include <memory>

#include "core/ports/timer.h"

namespace quenvix::win {

class Win32Timer : public core::Timer {
  public:
    // Must be made, used and freed on one thread that runs a message loop.
    Win32Timer();
    ~Win32Timer() override;

  protected:
    void Arm(std::uint32_t ms) override;
    void Disarm() override;

  private:
    class MessageWindow;
    // Unbound from its window procedure first when it goes, so nothing that arrives meanwhile
    // reaches a half-destroyed timer.
    std::unique_ptr<MessageWindow> window_;
};

class Win32Timers : public core::TimerFactory {
  public:
    std::unique_ptr<core::Timer> MakeTimer() override { return std::make_unique<Win32Timer>(); }
};

}  // namespace quenvix::win
