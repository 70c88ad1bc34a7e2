#pragma once
// The foreground over user32, for core::ForegroundKeeper.
#include "core/ports/foreground.h"

namespace quenvix::win {

class Win32Foreground : public core::Foreground {
  public:
    core::WindowId Current() override;
    bool Allow(std::uint32_t processId) override;
    bool Set(core::WindowId window) override;
};

}  // namespace quenvix::win
