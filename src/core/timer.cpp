#include "core/ports/timer.h"

namespace quenvix::core {

void Timer::SetEnabled(bool on) {
    if (on == enabled_) return;
    enabled_ = on;
    Changed();
}

void Timer::SetInterval(std::uint32_t ms) {
    if (ms == intervalMs_) return;
    intervalMs_ = ms;
    Changed();
}

void Timer::Changed() {
    // Inside its own tick the platform hears only the outcome: a tick that disables its timer
    // first and enables it last costs one restart of the countdown, not a stop and a start.
    if (firing_) {
        settle_ = true;
    } else {
        Reconcile();
    }
}

void Timer::Reconcile() {
    if (enabled_ && intervalMs_ > 0) {
        Arm(intervalMs_);
    } else {
        Disarm();
    }
}

void Timer::Fire() {
    if (!enabled_ || !onTick_ || firing_) return;
    // A copy, so that the handler may replace itself or free this timer while it runs.
    TickEvent tick = onTick_;
    // Settled when the tick is over, however it ends; skipped when the handler freed the timer.
    struct Settle {
        Timer* timer;
        Liveness::Watch alive;
        ~Settle() {
            if (!alive.Alive()) return;
            timer->firing_ = false;
            if (timer->settle_) {
                timer->settle_ = false;
                timer->Reconcile();
            }
        }
    } settle{this, liveness_.Observe()};
    firing_ = true;
    settle_ = false;
    tick();
}

}  // namespace quenvix::core
