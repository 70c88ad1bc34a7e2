#pragma once
// Where the program stands when the session ends or an installer closes it: asked before the
// programs whose windows it hides, and known to Restart Manager as a program it may start again.
// The messages themselves are the program's (application_end.cpp).
#include <windows.h>

namespace quenvix::win {

// Our place in the system's shutdown order. The system asks processes from the highest level to
// the lowest, and every process starts at 0x280; 0x300 opens the range the documentation reserves
// for applications that go first ("Application reserved first shutdown range", 300-3FF, in
// SetProcessShutdownParameters). Asked first, we show the hidden windows before their programs
// are asked, so that a program that wants to save asks where the user sees it.
inline constexpr DWORD kShutdownLevel = 0x300;

// What RegisterApplicationRestart is told: Restart Manager may start us again after an installer
// closed us for an update of files we use (so RESTART_NO_PATCH is not among them). Not after a
// crash or a hang: the guardian has given the hidden windows back already, and whether a copy
// that just failed runs again is the user's call. Not after a reboot for an update: whether we
// start with Windows is the user's "Run on startup", and a second start beside that entry would
// only meet the running copy.
inline constexpr DWORD kRestartFlags = RESTART_NO_CRASH | RESTART_NO_HANG | RESTART_NO_REBOOT;

// Called once at start: takes our place in the shutdown order and registers for restart. A call
// the system refuses is logged; the program runs on without it.
void PrepareForSessionEnd();

}  // namespace quenvix::win
