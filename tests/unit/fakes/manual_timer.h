#pragma once
// Timers for tests, on a simulated clock: Advance(ms) moves time on and fires every timer that
// falls due, in deadline order, as a message loop would deliver them one at a time. A single
// timer can also be fired by hand. Timers report their own destruction, so tests can see that
// an owner freed them and the clock never touches a freed one.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "core/ports/timer.h"

namespace quenvix::test {

class ManualTimers;

class ManualTimer : public core::Timer {
  public:
    ManualTimer(ManualTimers& clock, std::size_t slot) : clock_(clock), slot_(slot) {}
    ~ManualTimer() override;

    // Delivers one expiry now, as the platform would (dropped when disabled).
    void Tick() { Fire(); }
    bool Armed() const { return deadline_.has_value(); }
    std::optional<std::uint64_t> Deadline() const { return deadline_; }
    int ArmCount() const { return arms_; }

  protected:
    void Arm(std::uint32_t ms) override;
    void Disarm() override { deadline_.reset(); }

  private:
    friend class ManualTimers;
    ManualTimers& clock_;
    std::size_t slot_;
    std::optional<std::uint64_t> deadline_;
    std::uint32_t period_ = 0;
    int arms_ = 0;
};

class ManualTimers : public core::TimerFactory {
  public:
    std::unique_ptr<core::Timer> MakeTimer() override {
        auto timer = std::make_unique<ManualTimer>(*this, timers_.size());
        timers_.push_back(timer.get());
        return timer;
    }

    std::uint64_t Now() const { return now_; }
    // The i-th timer made, nullptr once its owner freed it.
    ManualTimer* At(std::size_t i) const { return timers_.at(i); }
    std::size_t Made() const { return timers_.size(); }
    std::size_t Alive() const {
        std::size_t n = 0;
        for (auto* t : timers_) n += t != nullptr;
        return n;
    }

    // Moves the clock on by `ms`; returns how many ticks were delivered.
    int Advance(std::uint64_t ms) {
        const std::uint64_t end = now_ + ms;
        int delivered = 0;
        while (ManualTimer* next = NextDue(end)) {
            now_ = *next->deadline_;
            // Periodic, as the platform's timers are: the next expiry is due one period on,
            // unless the tick re-arms or disarms it.
            next->deadline_ = now_ + next->period_;
            ++delivered;
            next->Tick();
        }
        // A tick may have moved the clock on itself (a slow callback): time never goes back.
        if (now_ < end) now_ = end;
        return delivered;
    }

  private:
    friend class ManualTimer;
    ManualTimer* NextDue(std::uint64_t end) const {
        ManualTimer* best = nullptr;
        for (auto* t : timers_) {
            if (!t || !t->deadline_ || *t->deadline_ > end) continue;
            if (!best || *t->deadline_ < *best->deadline_) best = t;
        }
        return best;
    }

    std::vector<ManualTimer*> timers_;
    std::uint64_t now_ = 0;
};

inline ManualTimer::~ManualTimer() {
    clock_.timers_[slot_] = nullptr;
}

inline void ManualTimer::Arm(std::uint32_t ms) {
    period_ = ms;
    deadline_ = clock_.now_ + ms;
    ++arms_;
}

}  // namespace quenvix::test
