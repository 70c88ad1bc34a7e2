#pragma once
// Port: the foreground window and the system's rules on who may change it. On Windows a
// process may set the foreground only while it holds the right (it is the foreground process,
// it received the last input event, another process that held the right passed it on, …), and
// never while a menu is active; Wine enforces none of it, so the decisions are tested against a
// fake that refuses as Windows documents.
// https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-setforegroundwindow
#include <cstdint>

#include "core/ports/desktop.h"

namespace quenvix::core {

class Foreground {
  public:
    virtual ~Foreground() = default;
    // The window in the foreground now; kNoWindow when none.
    virtual WindowId Current() = 0;
    // Passes our right to set the foreground on to the process; false when we do not hold it.
    // https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-allowsetforegroundwindow
    virtual bool Allow(std::uint32_t processId) = 0;
    // Brings the window to the foreground; false when the system refused.
    virtual bool Set(WindowId window) = 0;
};

}  // namespace quenvix::core
