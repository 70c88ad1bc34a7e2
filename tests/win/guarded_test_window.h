#pragma once
// A window of the test process shown in a given state and then hidden, as Quenvix leaves the
// windows it hides; its entry is what the hidden list would hold for it.
#include <windows.h>

#include <cstdint>

#include "core/recovery.h"

namespace quenvix::win::test {

struct GuardedTestWindow {
    explicit GuardedTestWindow(int showCommand) {
        static const ATOM atom = [] {
            WNDCLASSW wc{};
            wc.lpfnWndProc = DefWindowProcW;
            wc.hInstance = GetModuleHandleW(nullptr);
            wc.lpszClassName = L"QuenvixGuardedTestWindow";
            return RegisterClassW(&wc);
        }();
        (void)atom;
        hwnd = CreateWindowExW(0, L"QuenvixGuardedTestWindow", L"guarded", WS_OVERLAPPEDWINDOW, 10,
                               10, 300, 200, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        ShowWindow(hwnd, showCommand);
        ShowWindow(hwnd, SW_HIDE);
    }
    ~GuardedTestWindow() { DestroyWindow(hwnd); }
    GuardedTestWindow(const GuardedTestWindow&) = delete;
    GuardedTestWindow& operator=(const GuardedTestWindow&) = delete;
    core::RecoveryEntry Entry(core::ShowState state) const {
        core::RecoveryEntry entry;
        entry.handle = reinterpret_cast<std::uintptr_t>(hwnd);
        entry.state = state;
        entry.caption = "not used by the guard";
        return entry;
    }
    HWND hwnd = nullptr;
};

}  // namespace quenvix::win::test
