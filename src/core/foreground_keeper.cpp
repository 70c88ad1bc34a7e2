#include "core/foreground_keeper.h"

namespace quenvix::core {

bool ForegroundKeeper::IsOurHiddenWindow(WindowId window) {
    return desktop_.Origin(window).processId == desktop_.OwnProcessId() &&
           !desktop_.IsVisible(window);
}

bool ForegroundKeeper::BringForward(WindowId window) {
    if (window == kNoWindow || !desktop_.Exists(window) || IsOurHiddenWindow(window)) {
        return false;
    }
    const std::uint32_t processId = desktop_.Origin(window).processId;
    // Passed on before we use it ourselves: once the window is in front, its process holds the
    // foreground and we may no longer pass anything on.
    if (processId != desktop_.OwnProcessId()) foreground_.Allow(processId);
    return foreground_.Set(window) && foreground_.Current() == window;
}

void ForegroundKeeper::MenuOpening() {
    beforeMenu_ = foreground_.Current();
}

void ForegroundKeeper::MenuClosed(const std::function<bool(WindowId)>& heldHidden) {
    const WindowId previous = beforeMenu_;
    beforeMenu_ = kNoWindow;
    // A window brought back (which may not show yet: its program gets to our commands in its
    // own time), or our settings window opened from the menu, keeps it.
    const WindowId current = foreground_.Current();
    if (current != kNoWindow && !IsOurHiddenWindow(current)) return;
    // Never to a window that no longer shows (hidden from the menu, or one of our hidden ones).
    if (previous == kNoWindow || previous == current || !desktop_.Exists(previous) ||
        !desktop_.IsVisible(previous) || (heldHidden && heldHidden(previous))) {
        return;
    }
    foreground_.Set(previous);
}

}  // namespace quenvix::core
