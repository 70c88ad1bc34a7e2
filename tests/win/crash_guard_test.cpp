// The crash guard's copy of the hidden list, as the crash filter reads it: real windows of this
// process, hidden in each state, come back in that state; the warning about a failed recovery
// record reaches the user once, later, from the message loop.
#include "win/crash_guard.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "guarded_test_window.h"

namespace quenvix::win {
namespace {

bool PumpUntil(const std::function<bool()>& done, DWORD limitMs = 5000) {
    const ULONGLONG deadline = GetTickCount64() + limitMs;
    while (GetTickCount64() < deadline) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        if (done()) return true;
        Sleep(10);
    }
    return done();
}

void PumpAWhile() {
    PumpUntil([] { return false; }, 200);
}

using TestWindow = test::GuardedTestWindow;

TEST(CrashGuard, BringsBackTheLatestListEachWindowInItsState) {
    TestWindow normal(SW_SHOWNORMAL), minimised(SW_SHOWMINIMIZED), maximised(SW_SHOWMAXIMIZED),
        restoredMeanwhile(SW_SHOWNORMAL);
    ASSERT_TRUE(normal.hwnd && minimised.hwnd && maximised.hwnd && restoredMeanwhile.hwnd);
    {
        CrashGuard guard(nullptr);
        guard.HiddenListChanged({restoredMeanwhile.Entry(core::ShowState::Normal),
                                 normal.Entry(core::ShowState::Normal)});
        guard.HiddenListChanged({normal.Entry(core::ShowState::Normal),
                                 minimised.Entry(core::ShowState::Minimized),
                                 maximised.Entry(core::ShowState::Maximized),
                                 restoredMeanwhile.Entry(core::ShowState::Normal)});
        // The last change: this one is no longer hidden by us (say the user restored it and then
        // hid it some other way); the guard must leave it alone.
        guard.HiddenListChanged({normal.Entry(core::ShowState::Normal),
                                 minimised.Entry(core::ShowState::Minimized),
                                 maximised.Entry(core::ShowState::Maximized)});

        ShowGuardedWindows();
        ASSERT_TRUE(PumpUntil([&] {
            return IsWindowVisible(normal.hwnd) && IsWindowVisible(minimised.hwnd) &&
                   IsWindowVisible(maximised.hwnd);
        }));
        PumpAWhile();
        EXPECT_FALSE(IsIconic(normal.hwnd));
        EXPECT_FALSE(IsZoomed(normal.hwnd));
        EXPECT_TRUE(IsIconic(minimised.hwnd));
        EXPECT_TRUE(IsZoomed(maximised.hwnd));
        EXPECT_FALSE(IsIconic(maximised.hwnd));
        EXPECT_FALSE(IsWindowVisible(restoredMeanwhile.hwnd));
    }
    // A guard that goes with windows still listed (a start that failed half-way, a restore the
    // system refused) leaves them to the crash path of a process that falls over while ending...
    ShowWindow(normal.hwnd, SW_HIDE);
    ShowGuardedWindows();
    EXPECT_TRUE(PumpUntil([&] { return IsWindowVisible(normal.hwnd) != FALSE; }));
    // ...and one that ends with the list empty, every window given back, leaves nothing.
    {
        CrashGuard guard(nullptr);
        guard.HiddenListChanged({normal.Entry(core::ShowState::Normal)});
        guard.HiddenListChanged({});
    }
    ShowWindow(normal.hwnd, SW_HIDE);
    ShowGuardedWindows();
    PumpAWhile();
    EXPECT_FALSE(IsWindowVisible(normal.hwnd));
}

TEST(CrashGuard, AFailedRecordWarnsOnceAndOnlyFromTheMessageLoop) {
    int warnings = 0;
    CrashGuard guard([&] { ++warnings; });
    guard.RecoveryWriteFailed();
    EXPECT_EQ(warnings, 0) << "the warning must not run inside the hider's call";
    guard.RecoveryWriteFailed();
    ASSERT_TRUE(PumpUntil([&] { return warnings > 0; }));
    guard.RecoveryWriteFailed();
    PumpAWhile();
    EXPECT_EQ(warnings, 1);
}

}  // namespace
}  // namespace quenvix::win
