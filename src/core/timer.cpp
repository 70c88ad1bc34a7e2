#include "core/timer.h"

namespace quenvix::core {

void Timer::SetEnabled(bool on) {
    if (on == enabled_) return;
    enabled_ = on;
    Reconcile();
}

void Timer::SetInterval(std::uint32_t ms) {
    if (ms == intervalMs_) return;
    intervalMs_ = ms;
    Reconcile();
}

void Timer::Reconcile() {
    if (enabled_ && intervalMs_ > 0) {
        Arm(intervalMs_);
    } else {
        Disarm();
    }
}

void Timer::Fire() {
    if (!enabled_ || !onTick_) return;
    // A copy, so that the handler may replace itself or free this timer while it runs.
    TickEvent tick = onTick_;
    tick();
}

}  // namespace quenvix::core
