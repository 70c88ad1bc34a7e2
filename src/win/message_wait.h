#pragma once
// The UI thread's wait for its next message, which also watches kernel objects of the program's
// own (the command pipe) so that they are served on this thread without a thread of their own: a
// sleeping thread costs about a megabyte of working set under Wine, and a wait here costs nothing.
#include <windows.h>

namespace quenvix::win {

// Something the thread's message wait serves between messages.
class MessageWaitSource {
  public:
    // The event that says Serve has work; null while there is none.
    virtual HANDLE WaitHandle() const = 0;
    // A GetTickCount64 time at which Serve runs even if the event stays quiet; 0 for none.
    virtual ULONGLONG Deadline() const = 0;
    // Runs on the thread that registered the source, never inside a window procedure.
    virtual void Serve() noexcept = 0;

  protected:
    ~MessageWaitSource() = default;
};

// Sources are per thread; a source registers on the thread that serves it and leaves before it
// goes.
void AddMessageWaitSource(MessageWaitSource& source);
void RemoveMessageWaitSource(MessageWaitSource& source);

// GetMessageW for every message loop of the program (the main loop and the modal dialogs' loops),
// serving the thread's sources while it waits: positive for a message, 0 for WM_QUIT (the message
// is in `msg`), -1 on failure.
BOOL WaitForNextMessage(MSG& msg);

// For WM_ENTERIDLE from this thread's own loops that are not ours (a menu's, a message box's):
// they send it to their owner when their queue is empty and then wait for messages only, so the
// sources are served here until a message or input arrives for the thread. Returns at once when
// there is none to serve.
void ServeWhileIdle(HWND idleWindow);

// MessageBoxW for the running program. Some systems' message boxes send no idle notice at all
// (Wine 8's do not), so while the box is up the sources are looked at every 100 ms from a thread
// timer: the command line waits that long at most, and nothing runs once the box has gone.
int MessageBoxWhileServing(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type);

}  // namespace quenvix::win
