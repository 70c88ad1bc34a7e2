#include "win/app.h"

namespace quenvix::win {

UINT InstanceMessage = 0;

namespace {

WNDPROC previousAppProc = nullptr;
TApplication* theApp = nullptr;

}  // namespace

TApplication::TApplication() {
    // Zero-sized and off to the centre like any application window: visible only as a taskbar
    // button.
    CreateBound(L"QuenvixApplication",
                WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX, 0,
                L"Quenvix", GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0,
                0, nullptr);
}

LRESULT TApplication::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_CLOSE) {
        // This window carries the taskbar button, so the taskbar's "Close window" lands here.
        // Its default handling would destroy the settings window with it; the request goes the
        // settings window's way instead (into the tray, or out through the clean exit).
        if (mainForm_) PostMessageW(mainForm_, WM_CLOSE, 0, 0);
        return 0;
    }
    return Window::OnMessage(msg, wParam, lParam);
}

bool CheckSingleInstance(const std::wstring& name, TApplication& app) {
    // The handle is deliberately never closed: the mapping marks this copy for its whole life.
    HANDLE marker =
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READONLY, 0, 32, name.c_str());
    const bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
    // Both sides of the notice need the number, so every copy registers it.
    InstanceMessage = RegisterWindowMessageW(name.c_str());
    if (marker && existed) {
        const std::wstring text = name + L" is already running";
        MessageBoxW(nullptr, text.c_str(), name.c_str(), MB_OK);
        DWORD recipients = BSM_APPLICATIONS;
        // Posted, never sent: a busy or hung first copy must not hold this one up.
        BroadcastSystemMessageW(BSF_POSTMESSAGE | BSF_IGNORECURRENTTASK, &recipients,
                                InstanceMessage, 0, 0);
        return false;
    }
    theApp = &app;
    previousAppProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(app.Hwnd(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&InstanceWndProc)));
    return true;
}

LRESULT CALLBACK InstanceWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == InstanceMessage && InstanceMessage != 0) {
        HWND mainForm = theApp ? theApp->MainForm() : nullptr;
        if (!mainForm) return 0;
        if (IsIconic(mainForm)) ShowWindow(mainForm, SW_RESTORE);
        SetForegroundWindow(mainForm);
        return 0;
    }
    return CallWindowProcW(previousAppProc, wnd, msg, wParam, lParam);
}

}  // namespace quenvix::win
