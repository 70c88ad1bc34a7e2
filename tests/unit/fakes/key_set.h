#pragma once
// A keyboard for tests: the set of virtual keys that are down.
#include <cstdint>
#include <initializer_list>
#include <set>

#include "core/key_state.h"

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

  private:
    std::set<std::uint16_t> down_;
    mutable long queries_ = 0;
};

}  // namespace quenvix::test
