#pragma once
// Who may make a window of ours act: another program can send or post any message to any window
// of the desktop. These tell a message of our own thread from one of theirs, and keep what others
// post from ever reaching our windows, whatever loop takes it.
#include <windows.h>

namespace quenvix::win {

// True when the message being handled right now was sent by this thread (a SendMessage of our
// own, a control telling its parent of a click, the system's own notification on our behalf) or
// taken from our queue by a loop of ours; false when another thread or process sent it. Only then
// can pointers in it be trusted. Decided per message: the thread's WH_CALLWNDPROC hook is told,
// for each sent message, whether this thread sent it (its wParam), and the window procedure that
// receives the message takes that answer for as long as it handles it. (The system's "am I inside
// a sent message" answer is useless here: it names the outermost message, so a click that an
// assistive tool's BM_CLICK makes our own button send would look foreign.)
bool SentByThisThread();

// Marks the message a window procedure of ours is about to handle with the origin the hook saw
// for it, for as long as the procedure runs; nested messages have their own. Every window
// procedure of the program (the window base, a dialog's procedure, a subclass) makes one first.
// Constructed on a thread, it makes sure that thread's hook is in place.
class MessageOrigin {
  public:
    MessageOrigin(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
    ~MessageOrigin();
    MessageOrigin(const MessageOrigin&) = delete;
    MessageOrigin& operator=(const MessageOrigin&) = delete;

  private:
    bool outerForeign_;
};

// Puts the calling thread's hook in place (once per thread; it lives as long as the thread).
// Done when a thread makes its first window of ours, before anyone can send it anything.
void WatchMessageOrigins();

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

// A WM_COMMAND that a window of ours may act on: sent by our own thread (a menu's choice, our own
// code, a control of ours telling of a click, whoever pressed it) and, when it names a control,
// one of that window's own controls; a click (BN_CLICKED) only from a control that a user could
// click, enabled in an enabled window.
bool IsOwnCommand(HWND window, WPARAM wParam, LPARAM control);

}  // namespace quenvix::win
