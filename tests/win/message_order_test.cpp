// The user's input before other programs' posts: a hotkey (or raw input) waiting behind a flood of
// posted messages is taken first, and a run of pending messages ends after one batch even while
// another program keeps posting.
#include <gtest/gtest.h>

#include "win/ui.h"

namespace quenvix::win {
namespace {

constexpr UINT kFlood = WM_APP + 7;

// Posts itself another message for each one it gets: a flood that never ends by itself.
LRESULT CALLBACK FloodProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == kFlood) {
        PostMessageW(hwnd, kFlood, wParam + 1, 0);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

TEST(MessageOrder, TheUsersKeysComeBeforeAFloodAndARunEndsAfterABatch) {
    WNDCLASSW cls{};
    cls.lpfnWndProc = FloodProc;
    cls.hInstance = GetModuleHandleW(nullptr);
    cls.lpszClassName = L"QuenvixTestFlood";
    ASSERT_TRUE(RegisterClassW(&cls));
    const HWND window = CreateWindowExW(0, cls.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                        nullptr, cls.hInstance, nullptr);
    ASSERT_TRUE(window);

    for (int i = 0; i < 300; ++i) PostMessageW(window, WM_NULL, 0, 0);
    PostMessageW(window, WM_HOTKEY, 7, 0);
    PostMessageW(window, WM_INPUT, RIM_INPUTSINK, 0);
    MSG msg{};
    ASSERT_TRUE(PeekNextMessage(msg));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_INPUT));
    ASSERT_TRUE(PeekNextMessage(msg));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_HOTKEY));
    ASSERT_TRUE(PeekNextMessage(msg));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_NULL));

    // The flood goes on for as long as anyone runs it; a run returns all the same.
    PostMessageW(window, kFlood, 0, 0);
    EXPECT_TRUE(RunPendingMessages());
    int floodLeft = 0;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) floodLeft += msg.message == kFlood;
    EXPECT_EQ(floodLeft, 1);

    DestroyWindow(window);
    UnregisterClassW(cls.lpszClassName, cls.hInstance);
}

}  // namespace
}  // namespace quenvix::win
