#pragma once
// A keyboard for tests: the set of virtual keys that are down.
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <set>

#include "core/ports/key_state.h"

namespace quenvix::test {

class KeySet : public core::KeyState {
  public:
    bool IsKeyDown(std::uint16_t code) const override {
        ++queries_;
        return down_.count(code) != 0;
    }
    void Press(std::initializer_list<std::uint16_t> codes) { down_.insert(codes); }
    void Release(std::initializer_list<std::uint16_t> codes) {
        for (std::uint16_t c : codes) down_.erase(c);
    }
    void ReleaseAll() { down_.clear(); }
    // Exactly these keys down.
    void Hold(std::initializer_list<std::uint16_t> codes) { down_ = codes; }
    long Queries() const { return queries_; }

    // An input clock, off until the first call: every change of keys through these helpers then
    // counts as input at the current time.
    std::optional<core::InputClock> ReadInputClock() const override {
        if (!clockOn_) return std::nullopt;
        return core::InputClock{lastInputMs_, nowMs_};
    }
    void SetInputClock(std::uint32_t lastInputMs, std::uint32_t nowMs) {
        clockOn_ = true;
        lastInputMs_ = lastInputMs;
        nowMs_ = nowMs;
    }
    void AdvanceClock(std::uint32_t ms) { nowMs_ += ms; }
    void Input() { lastInputMs_ = nowMs_; }

  private:
    std::set<std::uint16_t> down_;
    mutable long queries_ = 0;
    bool clockOn_ = false;
    std::uint32_t lastInputMs_ = 0;
    std::uint32_t nowMs_ = 0;
};

}  // namespace quenvix::test
