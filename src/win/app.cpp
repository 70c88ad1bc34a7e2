#include "win/app.h"

#include "core/recovery.h"
#include "core/settings_store.h"
#include "win/log.h"

namespace quenvix::win {

UINT InstanceMessage = 0;

AppWindow::AppWindow() {
    // Zero-sized and never shown: it owns the settings window, which keeps that window off the
    // taskbar while it is hidden, and carries no button of its own. A tool window, so that even
    // shown by someone else it would put no empty entry on the taskbar or in Alt+Tab ("The
    // Taskbar", learn.microsoft.com/windows/win32/shell/taskbar: WS_EX_TOOLWINDOW keeps a window's
    // button off the taskbar).
    CreateBound(L"QuenvixApplication",
                WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX,
                WS_EX_TOOLWINDOW, L"Quenvix", GetSystemMetrics(SM_CXSCREEN) / 2,
                GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0, nullptr);
}

LRESULT AppWindow::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (listening_ && msg == InstanceMessage && InstanceMessage != 0) {
        // A second copy was started: the user wants this one, so its window shows and comes to
        // the front (never the hidden window itself: the keys would go nowhere).
        if (onOtherCopy_) onOtherCopy_();
        return 0;
    }
    if (msg == WM_CLOSE) {
        // A close request that lands here (from another program: this window is never shown)
        // would by default destroy the settings window with it; the request goes the settings
        // window's way instead (into the tray, or out through the clean exit).
        if (mainWindow_) PostMessageW(mainWindow_, WM_CLOSE, 0, 0);
        return 0;
    }
    return Window::OnMessage(msg, wParam, lParam);
}

bool CheckSingleInstance(const std::wstring& name, AppWindow& app) {
    // The handle is deliberately never closed: the mapping marks this copy for its whole life.
    HANDLE marker =
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READONLY, 0, 32, name.c_str());
    const DWORD error = GetLastError();
    // Both sides of the notice need the number, so every copy registers it.
    InstanceMessage = RegisterWindowMessageW(name.c_str());
    if (!InstanceMessage) LogLastError("RegisterWindowMessageW");
    // A marker we could not make counts as someone else's: an elevated copy made it (access
    // denied), or another object holds the name. Two copies hiding windows side by side would
    // each restore, and overwrite the record of, the other's windows.
    if (!marker) LogFailure("CreateFileMappingW (instance marker)", error);
    if (!marker || error == ERROR_ALREADY_EXISTS) {
        Log("Another copy is running; this one ends");
        const std::wstring text = name + L" is already running";
        MessageBoxW(nullptr, text.c_str(), name.c_str(), MB_OK);
        // The user just answered this copy's box, so this copy may hand the foreground on; the
        // first copy needs that right to bring its window forward ("AllowSetForegroundWindow":
        // the calling process must itself be able to set the foreground window).
        if (HWND first = FindWindowW(L"QuenvixApplication", nullptr)) {
            DWORD firstProcess = 0;
            GetWindowThreadProcessId(first, &firstProcess);
            if (firstProcess && !AllowSetForegroundWindow(firstProcess)) {
                LogLastError("AllowSetForegroundWindow");
            }
        }
        DWORD recipients = BSM_APPLICATIONS;
        // Posted, never sent: a busy or hung first copy must not hold this one up.
        BroadcastSystemMessageW(BSF_POSTMESSAGE | BSF_IGNORECURRENTTASK, &recipients,
                                InstanceMessage, 0, 0);
        return false;
    }
    app.ListenForOtherCopies();
    return true;
}

std::uint32_t CurrentSession() {
    DWORD session = 0;
    if (!ProcessIdToSessionId(GetCurrentProcessId(), &session)) {
        LogLastError("ProcessIdToSessionId");
        session = 0;
    }
    return session;
}

std::string RecoveryValueName() {
    return std::string(core::kRecoveryValue) + "." + std::to_string(CurrentSession());
}

}  // namespace quenvix::win
