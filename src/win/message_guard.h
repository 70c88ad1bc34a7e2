#pragma once
// Who may make a window of ours act: another program can send or post any message to any window
// of the desktop. These tell a message of our own thread from one of theirs, and keep what others
// post from ever reaching our windows, whatever loop takes it.
#include <windows.h>

namespace quenvix::win {

// True when the message being handled comes from this thread (a SendMessage of our own, the
// system's own notification, or the message loop): only then can pointers in it be trusted.
// Another thread or process can send any message with any lParam; a pointer from there is at
// best meaningless here. InSendMessageEx, which this asks, reports the outermost message the
// thread handles: inside another thread's sent message it says "sent" for our own messages too.
// So work that another program's message asks for (the shell's tray callback) is queued and run
// from the message loop, never inside that message; windows are bound without asking this at all.
bool SentByThisThread();

// Messages that carry a pointer and only ever arrive sent, never posted: a message loop drops a
// posted one (it came from another program) before it reaches a window.
bool IsForgedPost(const MSG& msg);

// Keeps what another program posts from reaching any window of the calling thread, whatever loop
// takes it (ours, a menu's, a message box's): messages that carry a pointer or that only the
// system or our own thread sends, and WM_COMMAND, which only a menu of ours posts, and then only
// for the item the user just chose in it; and close requests to a menu's window, sent or posted.
// Installed for the program's life at its start.
class ForgedPostFilter {
  public:
    ForgedPostFilter();
    ~ForgedPostFilter();
    ForgedPostFilter(const ForgedPostFilter&) = delete;
    ForgedPostFilter& operator=(const ForgedPostFilter&) = delete;

  private:
    HHOOK posted_;
    HHOOK sent_;
    // Keeps an open menu's window from being destroyed by another program's close request.
    HHOOK menuWindows_;
};

// A menu of this thread (the tray menu, the menu bar's) is open: its loop runs our messages.
bool MenuOpenOnThisThread();

// A WM_COMMAND that a window of ours may act on: from our own thread (a menu's choice, our own
// code) and, when it names a control, one of that window's own controls.
bool IsOwnCommand(HWND window, LPARAM control);

}  // namespace quenvix::win
