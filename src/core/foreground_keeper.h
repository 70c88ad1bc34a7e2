#pragma once
// Where the keyboard goes after we act: a window brought back comes to the front and takes the
// keyboard; after our tray menu closes with nothing brought back, the window that had the
// foreground before the menu gets it back. Our own hidden windows are never left in front (the
// user's typing would go nowhere).
#include <functional>

#include "core/ports/desktop.h"
#include "core/ports/foreground.h"

namespace quenvix::core {

class ForegroundKeeper {
  public:
    ForegroundKeeper(Desktop& desktop, Foreground& foreground)
        : desktop_(desktop), foreground_(foreground) {}

    // Right after the window's show commands are queued. Its program activates it as it shows
    // it, which Windows allows only with the right: so that right is passed on to its process
    // first, while we still hold it (a hotkey, a menu click), and then the window is set to the
    // foreground from here too, in case its program got to the show before the right arrived.
    // False when the window is not in front after all (the system refused, or it was one of
    // ours that does not show).
    bool BringForward(WindowId window);

    // Before our menu takes the foreground (which a popup menu needs, to close when the user
    // clicks elsewhere): remembers where it was.
    void MenuOpening();
    // After the menu has closed and its command has run: when the foreground is still on one of
    // our hidden windows (or nowhere), it goes back where it was, if that window still shows
    // and is not one we hold hidden (`heldHidden`): our hide may not have reached it yet, and
    // activating it would race with the hide.
    void MenuClosed(const std::function<bool(WindowId)>& heldHidden = {});

  private:
    bool IsOurHiddenWindow(WindowId window);

    Desktop& desktop_;
    Foreground& foreground_;
    WindowId beforeMenu_ = kNoWindow;
};

}  // namespace quenvix::core
