#pragma once
// The session's lock and disconnect reports for a window of ours, turned into "is the desktop
// seen". wtsapi32.dll is loaded from the system folder when first needed: without it (or without
// the service behind it) nothing is reported and the desktop counts as seen throughout.
#include <windows.h>

#include <functional>

#include "core/session_watch.h"

namespace quenvix::win {

class SessionNotice {
  public:
    // Registers `window` (a window of this thread that lives longer than this object) for the
    // reports; `onSeen` hears each change of whether the desktop is seen.
    SessionNotice(HWND window, std::function<void(bool seen)> onSeen);
    ~SessionNotice();
    SessionNotice(const SessionNotice&) = delete;
    SessionNotice& operator=(const SessionNotice&) = delete;

    bool Registered() const noexcept { return registered_; }
    // The window's WM_WTSSESSION_CHANGE; anything else is not ours (false). Some systems never
    // send it; a test feeds it here.
    bool OnMessage(UINT msg, WPARAM wParam);
    bool Seen() const noexcept { return watch_.Seen(); }

  private:
    HWND window_;
    std::function<void(bool)> onSeen_;
    core::SessionWatch watch_;
    bool registered_ = false;
};

}  // namespace quenvix::win
