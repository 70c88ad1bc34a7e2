#pragma once
// What both ends of the command pipe share: its name, and the check each end makes of the process
// at the other end. Only the user who runs the program, in the session it runs in, may steer it;
// that is judged from the system's own record of the peer process, never from what the peer says.
#include <windows.h>

#include <string>

#include "win/ui.h"

namespace quenvix::win {

// "\\.\pipe\Quenvix.<user SID>.<session id>": the program runs one copy per user and session,
// and so does its pipe. Empty when this process's own account or session cannot be read.
std::wstring CommandPipeName();

// True when `process` (whose id is `processId`) runs under this process's account and in this
// process's session. A process whose token we may not read is not ours.
bool IsSameUserAndSession(HANDLE process, DWORD processId);

// The process at the other end of a connected pipe (the client's when `peerIsClient`, else the
// server's), opened with `access` beside the query right, if it is ours by IsSameUserAndSession;
// null otherwise. The handle keeps the process id from being reused while it is held.
UniqueHandle OpenPeerIfOurs(HANDLE pipe, bool peerIsClient, DWORD access, DWORD* processId);

}  // namespace quenvix::win
