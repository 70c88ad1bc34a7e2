#include "win/timer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "core/error.h"

namespace quenvix::win {
namespace {

// Runs the thread's messages until `done` holds; gives up after `limitMs` so a broken timer
// fails the test instead of hanging it.
bool PumpUntil(const std::function<bool()>& done, DWORD limitMs = 10000) {
    const ULONGLONG giveUp = GetTickCount64() + limitMs;
    while (!done()) {
        if (GetTickCount64() > giveUp) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return true;
}

// A timer that only counts its ticks: the measure of time passing for the others.
std::unique_ptr<core::Timer> Counter(Win32Timers& factory, std::uint32_t ms, int& ticks) {
    auto timer = factory.MakeTimer();
    timer->SetInterval(ms);
    timer->SetOnTick([&ticks] { ++ticks; });
    timer->SetEnabled(true);
    return timer;
}

TEST(Win32Timer, TicksArriveThroughTheMessageLoopOnlyWhileEnabled) {
    Win32Timers factory;
    auto timer = factory.MakeTimer();
    const DWORD thread = GetCurrentThreadId();
    int ticks = 0;
    bool sameThread = true;
    timer->SetInterval(15);
    timer->SetOnTick([&] {
        ++ticks;
        sameThread = sameThread && GetCurrentThreadId() == thread;
    });
    EXPECT_FALSE(timer->Enabled());
    timer->SetEnabled(true);
    ASSERT_TRUE(PumpUntil([&] { return ticks >= 3; }));
    EXPECT_TRUE(sameThread);

    timer->SetEnabled(false);
    const int stoppedAt = ticks;
    int witnessTicks = 0;
    auto witness = Counter(factory, 15, witnessTicks);
    ASSERT_TRUE(PumpUntil([&] { return witnessTicks >= 5; }));
    EXPECT_EQ(ticks, stoppedAt);
}

TEST(Win32Timer, TickCanDisableItsOwnTimer) {
    Win32Timers factory;
    auto timer = factory.MakeTimer();
    int ticks = 0;
    timer->SetInterval(10);
    timer->SetOnTick([&] {
        ++ticks;
        timer->SetEnabled(false);
    });
    timer->SetEnabled(true);
    int witnessTicks = 0;
    auto witness = Counter(factory, 20, witnessTicks);
    ASSERT_TRUE(PumpUntil([&] { return witnessTicks >= 6; }));
    EXPECT_EQ(ticks, 1);
    EXPECT_FALSE(timer->Enabled());
}

TEST(Win32Timer, ReenablingStartsTheIntervalAfresh) {
    // The slow timer is restarted at each of the fast timer's first five ticks. Counted from its
    // first enabling it would have ticked at about the fast timer's third tick; restarted, it
    // cannot tick before the fast one's fifth tick plus its own full interval.
    Win32Timers factory;
    auto slow = factory.MakeTimer();
    auto fast = factory.MakeTimer();
    int fastTicks = 0;
    int fastTicksAtSlowTick = -1;
    slow->SetInterval(300);
    slow->SetOnTick([&] {
        if (fastTicksAtSlowTick < 0) fastTicksAtSlowTick = fastTicks;
    });
    fast->SetInterval(60);
    fast->SetOnTick([&] {
        if (++fastTicks <= 5) {
            slow->SetEnabled(false);
            slow->SetEnabled(true);
        }
    });
    slow->SetEnabled(true);
    fast->SetEnabled(true);
    ASSERT_TRUE(PumpUntil([&] { return fastTicksAtSlowTick >= 0; }));
    EXPECT_GE(fastTicksAtSlowTick, 6);
}

TEST(Win32Timer, TickCanFreeItsOwnTimer) {
    Win32Timers factory;
    std::unique_ptr<core::Timer> timer = factory.MakeTimer();
    int ticks = 0;
    timer->SetInterval(10);
    timer->SetOnTick([&] {
        ++ticks;
        timer.reset();
    });
    timer->SetEnabled(true);
    ASSERT_TRUE(PumpUntil([&] { return timer == nullptr; }));
    int witnessTicks = 0;
    auto witness = Counter(factory, 10, witnessTicks);
    ASSERT_TRUE(PumpUntil([&] { return witnessTicks >= 3; }));
    EXPECT_EQ(ticks, 1);
}

BOOL CALLBACK CountErrorBox(HWND window, LPARAM count) {
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    if (IsWindowVisible(window) && lstrcmpW(className, L"#32770") == 0) {
        ++*reinterpret_cast<int*>(count);
    }
    return TRUE;
}

int ErrorBoxes() {
    int count = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountErrorBox, reinterpret_cast<LPARAM>(&count));
    return count;
}

TEST(Win32Timer, FailingTickIsReportedInOneBoxAtATime) {
    // The failing timer keeps ticking inside the error box's own loop; a second timer looks at
    // the boxes from there and then closes them.
    Win32Timers factory;
    auto failing = factory.MakeTimer();
    int failures = 0;
    failing->SetInterval(10);
    failing->SetOnTick([&] {
        ++failures;
        throw core::Error("tick failed");
    });
    auto observer = factory.MakeTimer();
    int mostBoxes = 0;
    bool closed = false;
    observer->SetInterval(50);
    observer->SetOnTick([&] {
        const int boxes = ErrorBoxes();
        mostBoxes = std::max(mostBoxes, boxes);
        if (boxes > 0 && failures >= 5) {
            failing->SetEnabled(false);
            EnumThreadWindows(
                GetCurrentThreadId(),
                [](HWND window, LPARAM) -> BOOL {
                    PostMessageW(window, WM_COMMAND, IDOK, 0);
                    return TRUE;
                },
                0);
            closed = true;
        }
    });
    failing->SetEnabled(true);
    observer->SetEnabled(true);
    ASSERT_TRUE(PumpUntil([&] { return closed && ErrorBoxes() == 0; }));
    EXPECT_GE(failures, 5);
    EXPECT_EQ(mostBoxes, 1);
    // Once the box is gone, a new failure is reported again.
    closed = false;
    failures = 0;
    failing->SetEnabled(true);
    ASSERT_TRUE(PumpUntil([&] { return closed && ErrorBoxes() == 0; }));
    EXPECT_EQ(mostBoxes, 1);
}

}  // namespace
}  // namespace quenvix::win
