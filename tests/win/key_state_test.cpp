#include "win/key_state.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <utility>
#include <vector>

#include "core/hotkey_detector.h"
#include "core/key_text.h"
#include "win/timer.h"

namespace quenvix::win {
namespace {

void SendKey(WORD vk, bool down, DWORD flags = 0) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
    in.ki.dwFlags = flags | (down ? 0 : KEYEVENTF_KEYUP);
    ASSERT_EQ(SendInput(1, &in, sizeof(in)), 1u);
}

// Lets the system take in the injected input. No message is read here: the keys must be seen
// by a thread that does not read their keyboard messages, as when another program has the focus.
void Settle() {
    Sleep(100);
}

TEST(Win32KeyState, SeesKeysPressedWithoutAnyWindowOfOurs) {
    Win32KeyState keys;
    SendKey(VK_CONTROL, true);
    SendKey(VK_DIVIDE, true);
    Settle();
    EXPECT_TRUE(keys.IsKeyDown(VK_CONTROL));
    EXPECT_TRUE(keys.IsKeyDown(VK_DIVIDE));
    EXPECT_FALSE(keys.IsKeyDown(VK_MULTIPLY));
    EXPECT_EQ(core::GetKeyText(keys), "CTRL+/ Num");
    SendKey(VK_DIVIDE, false);
    SendKey(VK_CONTROL, false);
    Settle();
    EXPECT_FALSE(keys.IsKeyDown(VK_CONTROL));
    EXPECT_EQ(core::GetKeyText(keys), "");
}

TEST(Win32KeyState, APressAlreadyOverIsNotDown) {
    // A key pressed and let go since the last look: the asynchronous state still carries its low
    // bit ("pressed since the last call", GetAsyncKeyState, learn.microsoft.com) at the first
    // look, and only that look sees it. A key read as "not released" would fire a hotkey long
    // after the chord was let go.
    Win32KeyState keys;
    GetAsyncKeyState(VK_F13);  // whatever an earlier press left
    SendKey(VK_F13, true);
    SendKey(VK_F13, false);
    Settle();
    EXPECT_FALSE(keys.IsKeyDown(VK_F13));
    // The same press again, looked at directly: the bit the detector passed over was there.
    SendKey(VK_F13, true);
    SendKey(VK_F13, false);
    Settle();
    EXPECT_EQ(GetAsyncKeyState(VK_F13), 1);
}

// Runs this thread's messages until `done` holds, for a few seconds at most.
template <class Done>
bool PumpUntil(Done&& done) {
    const ULONGLONG deadline = GetTickCount64() + 5000;
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        if (done()) return true;
        if (GetTickCount64() >= deadline) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

using KeyEvents = std::vector<std::pair<std::uint16_t, bool>>;

struct KeyRecorder : core::KeyEventSink {
    void OnKeyEvent(std::uint16_t code, bool down) override { events.emplace_back(code, down); }
    KeyEvents events;
};

TEST(Win32RawKeyboard, InjectedKeysReachTheMessageOnlyWindowWithTheirSide) {
    KeyRecorder recorder;
    KeyEvents& events = recorder.events;
    Win32RawKeyboard keyboard(recorder);
    EXPECT_EQ(GetParent(keyboard.Hwnd()), nullptr);
    SendKey(VK_CONTROL, true);
    SendKey(VK_CONTROL, true, KEYEVENTF_EXTENDEDKEY);  // the right Ctrl
    SendKey(VK_DIVIDE, true, KEYEVENTF_EXTENDEDKEY);
    SendKey(VK_DIVIDE, false, KEYEVENTF_EXTENDEDKEY);
    SendKey(VK_CONTROL, false, KEYEVENTF_EXTENDEDKEY);
    SendKey(VK_CONTROL, false);
    ASSERT_TRUE(PumpUntil([&] { return events.size() >= 6; })) << events.size() << " events";
    EXPECT_EQ(events, (KeyEvents{{VK_LCONTROL, true},
                                 {VK_RCONTROL, true},
                                 {VK_DIVIDE, true},
                                 {VK_DIVIDE, false},
                                 {VK_RCONTROL, false},
                                 {VK_LCONTROL, false}}));
    // The escape half of Pause's sequence names no key.
    RAWKEYBOARD pause{};
    pause.VKey = 0xFF;
    EXPECT_FALSE(KeyOfRawInput(pause));
}

class DetectorOnWine : public ::testing::Test {
  protected:
    DetectorOnWine() {
        peek.AddHotkey("HideAll", "", "CTRL+/ Num");
        peek.StartDetect([this](std::uint16_t) { ++fired; });
    }
    void PressChord() {
        SendKey(VK_CONTROL, true);
        SendKey(VK_DIVIDE, true, KEYEVENTF_EXTENDEDKEY);
    }
    void ReleaseChord() {
        SendKey(VK_DIVIDE, false, KEYEVENTF_EXTENDEDKEY);
        SendKey(VK_CONTROL, false);
    }

    Win32KeyState keys;
    Win32Timers timers;
    core::HotkeyDetector peek{keys, timers};
    int fired = 0;
};

TEST_F(DetectorOnWine, KeyEventsFireEachPressOfTheChordOnce) {
    const std::unique_ptr<Win32RawKeyboard> keyboard = FollowKeyEvents(peek);
    ASSERT_NE(keyboard, nullptr);
    EXPECT_TRUE(peek.FollowsKeyEvents());
    for (int press = 1; press <= 3; ++press) {
        PressChord();
        ASSERT_TRUE(PumpUntil([&] { return fired >= press; })) << "press " << press;
        EXPECT_EQ(fired, press);  // a second firing of the last press shows up here
        ReleaseChord();
        ASSERT_TRUE(PumpUntil([&] { return !keys.IsKeyDown(VK_CONTROL); }));
    }
}

TEST_F(DetectorOnWine, RefusedRawInputLeavesTheDetectorPolling) {
    const std::unique_ptr<Win32RawKeyboard> keyboard =
        FollowKeyEvents(peek, [](const RAWINPUTDEVICE*, UINT) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        });
    EXPECT_EQ(keyboard, nullptr);
    EXPECT_FALSE(peek.FollowsKeyEvents());
    PressChord();
    EXPECT_TRUE(PumpUntil([&] { return fired == 1; }));
    ReleaseChord();
}

}  // namespace
}  // namespace quenvix::win
