#include "core/session_watch.h"

namespace quenvix::core {

bool SessionWatch::OnChange(std::uint32_t code) {
    const bool before = Seen();
    switch (static_cast<SessionChange>(code)) {
        case SessionChange::Lock:
            locked_ = true;
            break;
        case SessionChange::Unlock:
            locked_ = false;
            break;
        // A session moves between the console and a remote terminal as a disconnect from one
        // and a connect to the other: only the last word counts.
        case SessionChange::ConsoleDisconnect:
        case SessionChange::RemoteDisconnect:
            disconnected_ = true;
            break;
        case SessionChange::ConsoleConnect:
        case SessionChange::RemoteConnect:
            disconnected_ = false;
            break;
        default:
            break;
    }
    return Seen() != before;
}

}  // namespace quenvix::core
