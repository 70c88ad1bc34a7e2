#pragma once
// Whether anybody can see the desktop: not while the session is locked, nor while it is
// disconnected from every terminal (switched away from, or a remote session left). Work that only
// draws for the user (the gauge's picture) stops meanwhile and starts again when it ends.
#include <cstdint>

namespace quenvix::core {

// The session changes Windows reports (the wParam of WM_WTSSESSION_CHANGE).
// https://learn.microsoft.com/windows/win32/termserv/wm-wtssession-change
enum class SessionChange : std::uint32_t {
    ConsoleConnect = 1,
    ConsoleDisconnect = 2,
    RemoteConnect = 3,
    RemoteDisconnect = 4,
    Logon = 5,
    Logoff = 6,
    Lock = 7,
    Unlock = 8,
    RemoteControl = 9,
};

class SessionWatch {
  public:
    // Takes in one reported change; true when it changes whether the desktop is seen. Codes it
    // does not know change nothing.
    bool OnChange(std::uint32_t code);
    // Whether the desktop can be seen: unlocked and connected to a terminal.
    bool Seen() const noexcept { return !locked_ && !disconnected_; }

  private:
    bool locked_ = false;
    bool disconnected_ = false;
};

}  // namespace quenvix::core
