#include "win/session_end.h"

#include "win/log.h"

namespace quenvix::win {

void PrepareForSessionEnd() {
    // No SHUTDOWN_NORETRY: a copy slow to answer must not be ended before the windows it hides
    // are back.
    if (!SetProcessShutdownParameters(kShutdownLevel, 0)) {
        LogLastError("SetProcessShutdownParameters");
    }
    // An empty command line: a copy started again needs no option, it starts as from the Start
    // menu. Restart Manager restarts only programs registered this way ("Guidelines for
    // Applications" in its documentation).
    const HRESULT registered = RegisterApplicationRestart(L"", kRestartFlags);
    if (FAILED(registered)) LogFailure("RegisterApplicationRestart", HRESULT_CODE(registered));
}

}  // namespace quenvix::win
