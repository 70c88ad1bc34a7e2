#pragma once
// The asking end of the command pipe: a second quenvix.exe hands its option to the running copy.
#include <windows.h>

#include <string>

#include "core/command_line.h"

namespace quenvix::win {

enum class SendOutcome {
    Taken,
    // Nothing serves the pipe.
    NotRunning,
    // Something is there but did not take the request: it refused it, did not answer in time, or
    // is not a process of this user in this session (then it is never told anything).
    NotTaken,
};

struct SendLimits {
    // For the whole exchange, a turn behind another client included. The running copy answers at
    // once (it only posts itself the work), so this matters only when it hangs.
    DWORD answerMs = 5000;
    // How long "--exit" waits for the running copy to end once it took the request, so that an
    // installer that waits for us finds the program's file free.
    DWORD exitMs = 10000;
};

// Sends `verb` through the pipe `pipeName`. For CommandVerb::Exit, a taken request is followed by
// a wait (within limits.exitMs) for the serving process to end.
SendOutcome SendToRunningCopy(const std::wstring& pipeName, core::CommandVerb verb,
                              const SendLimits& limits = {});

}  // namespace quenvix::win
