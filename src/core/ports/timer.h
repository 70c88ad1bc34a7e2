#pragma once
// Port: a timer that ticks on the user-interface thread.
//
// The enabled/interval bookkeeping lives here so that every platform timer behaves alike; a
// platform only starts and stops its countdown (Arm/Disarm) and calls Fire at each expiry.
#include <cstdint>
#include <functional>
#include <memory>

#include "core/liveness.h"

namespace quenvix::core {

class Timer {
  public:
    using TickEvent = std::function<void()>;

    Timer() = default;
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;
    virtual ~Timer() = default;

    bool Enabled() const noexcept { return enabled_; }
    // Does nothing for an unchanged value. Enabling starts a full interval from now, so a tick
    // that disables its timer first and enables it last never overlaps itself and the next tick
    // counts from the end of this one. Both may be called from inside the timer's own tick.
    void SetEnabled(bool on);

    std::uint32_t Interval() const noexcept { return intervalMs_; }
    // Milliseconds; 0 means the timer never ticks. A change restarts a running countdown.
    void SetInterval(std::uint32_t ms);

    // Replacing the handler from inside its own tick is allowed: the running call is unaffected.
    void SetOnTick(TickEvent onTick) { onTick_ = std::move(onTick); }

  protected:
    // Start (or restart) the countdown of `ms` milliseconds, repeating until Disarm.
    virtual void Arm(std::uint32_t ms) = 0;
    virtual void Disarm() = 0;
    // The platform calls this when the countdown expires. A late expiry that arrives after the
    // timer was disabled is dropped. The timer may be destroyed by its own handler: nothing of
    // the object is touched once the handler has been entered.
    void Fire();

  private:
    void Reconcile();
    void Changed();

    TickEvent onTick_;
    std::uint32_t intervalMs_ = 1000;
    bool enabled_ = false;
    bool firing_ = false;
    bool settle_ = false;
    // Expires with the timer, so that the end of a tick can tell whether its handler freed it.
    Liveness liveness_;
};

// How owners obtain timers without knowing the platform. New timers are disabled.
class TimerFactory {
  public:
    virtual ~TimerFactory() = default;
    virtual std::unique_ptr<Timer> MakeTimer() = 0;
};

}  // namespace quenvix::core
