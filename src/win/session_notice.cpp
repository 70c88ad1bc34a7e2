#include "win/session_notice.h"

#include <wtsapi32.h>

#include <utility>

#include "win/log.h"

namespace quenvix::win {
namespace {

using RegisterFn = BOOL(WINAPI*)(HWND, DWORD);
using UnregisterFn = BOOL(WINAPI*)(HWND);

struct SessionCalls {
    RegisterFn registerWindow = nullptr;
    UnregisterFn unregisterWindow = nullptr;
};

// Not a KnownDLL: loaded by full system path only, never from beside the program.
const SessionCalls& Calls() {
    static const SessionCalls calls = [] {
        SessionCalls found;
        HMODULE wts = LoadLibraryExW(L"wtsapi32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        if (!wts) {
            LogLastError("LoadLibraryExW (wtsapi32.dll)");
            return found;
        }
        found.registerWindow = reinterpret_cast<RegisterFn>(
            reinterpret_cast<void*>(GetProcAddress(wts, "WTSRegisterSessionNotification")));
        found.unregisterWindow = reinterpret_cast<UnregisterFn>(
            reinterpret_cast<void*>(GetProcAddress(wts, "WTSUnRegisterSessionNotification")));
        if (!found.registerWindow || !found.unregisterWindow) {
            LogLastError("GetProcAddress (WTSRegisterSessionNotification)");
            found = {};
        }
        return found;
    }();
    return calls;
}

}  // namespace

SessionNotice::SessionNotice(HWND window, std::function<void(bool seen)> onSeen)
    : window_(window), onSeen_(std::move(onSeen)) {
    const SessionCalls& calls = Calls();
    if (!calls.registerWindow) return;
    // https://learn.microsoft.com/windows/win32/api/wtsapi32/nf-wtsapi32-wtsregistersessionnotification
    registered_ = calls.registerWindow(window_, NOTIFY_FOR_THIS_SESSION) != FALSE;
    if (!registered_) LogLastError("WTSRegisterSessionNotification");
}

SessionNotice::~SessionNotice() {
    // Each registration needs its unregistration before the window goes.
    if (registered_) Calls().unregisterWindow(window_);
}

bool SessionNotice::OnMessage(UINT msg, WPARAM wParam) {
    if (msg != WM_WTSSESSION_CHANGE) return false;
    if (watch_.OnChange(static_cast<std::uint32_t>(wParam)) && onSeen_) onSeen_(watch_.Seen());
    return true;
}

}  // namespace quenvix::win
