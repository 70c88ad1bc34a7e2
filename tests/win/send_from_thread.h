#pragma once
// A message sent the way another program sends it: from a thread that is not the window's, while
// the window's thread keeps pumping. A quit the handler posts stays in the queue for the test.
#include <windows.h>

#include <atomic>
#include <thread>

namespace quenvix::test {

// The handler's answer; 0 when the send timed out.
inline LRESULT SendFromAnotherThread(HWND target, UINT msg, WPARAM wParam, LPARAM lParam) {
    std::atomic<bool> finished = false;
    DWORD_PTR result = 0;
    std::thread sender([&] {
        if (!SendMessageTimeoutW(target, msg, wParam, lParam, SMTO_NORMAL, 5000, &result)) {
            result = 0;
        }
        finished = true;
    });
    const ULONGLONG deadline = GetTickCount64() + 6000;
    while (!finished && GetTickCount64() < deadline) {
        MSG m;
        // Sent messages are handled inside the peek; posted ones up to a quit, which only comes
        // once nothing else is posted.
        while (PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE) && m.message != WM_QUIT &&
               PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&m);
        }
        Sleep(5);
    }
    sender.join();
    return static_cast<LRESULT>(result);
}

}  // namespace quenvix::test
