#include "win/key_state.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "core/key_text.h"

namespace quenvix::win {
namespace {

void SendKey(WORD vk, bool down) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
    ASSERT_EQ(SendInput(1, &in, sizeof(in)), 1u);
}

// Lets the system take in the injected input. No message is read here: the keys must be seen
// by a thread that does not read their keyboard messages, as when another program has the focus.
void Settle() {
    Sleep(100);
}

TEST(AsyncKeyState, SeesKeysPressedWithoutAnyWindowOfOurs) {
    AsyncKeyState keys;
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

TEST(AsyncKeyState, ToggleAndPressedSinceBitsAreNotDown) {
    AsyncKeyState keys;
    const bool wasOn = (GetKeyState(VK_CAPITAL) & 1) != 0;
    SendKey(VK_CAPITAL, true);
    SendKey(VK_CAPITAL, false);
    Settle();
    EXPECT_FALSE(keys.IsKeyDown(VK_CAPITAL));
    if (!wasOn) {
        SendKey(VK_CAPITAL, true);
        SendKey(VK_CAPITAL, false);
        Settle();
    }
}

}  // namespace
}  // namespace quenvix::win
