// The running copy's check of a forwarded option, against real windows and the real process token:
// a well-formed request from a window of this user's process is taken, anything else is not.
#include "win/command_line_forwarding.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <optional>

namespace quenvix::win {
namespace {

struct MessageWindow {
    HWND hwnd = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    ~MessageWindow() { DestroyWindow(hwnd); }
};

std::optional<core::CommandVerb> Receive(HWND sender, ULONG_PTR magic, void* data, DWORD size) {
    COPYDATASTRUCT copy{};
    copy.dwData = magic;
    copy.cbData = size;
    copy.lpData = data;
    return AcceptForwardedVerb(reinterpret_cast<WPARAM>(sender), reinterpret_cast<LPARAM>(&copy));
}

TEST(ForwardedOption, TakenFromAWindowOfTheSameUserOnly) {
    MessageWindow sender;
    ASSERT_NE(sender.hwnd, nullptr);
    auto payload = core::EncodeForwardedVerb(core::CommandVerb::RestoreAll);
    EXPECT_EQ(Receive(sender.hwnd, core::kForwardMagic, payload.data(), payload.size()),
              core::CommandVerb::RestoreAll);
    // No sender window, or a handle that names no window: nobody to check, so refused.
    EXPECT_FALSE(Receive(nullptr, core::kForwardMagic, payload.data(), payload.size()));
    HWND gone = nullptr;
    {
        MessageWindow shortLived;
        gone = shortLived.hwnd;
    }
    EXPECT_FALSE(Receive(gone, core::kForwardMagic, payload.data(), payload.size()));
    EXPECT_FALSE(AcceptForwardedVerb(reinterpret_cast<WPARAM>(sender.hwnd), 0));
}

TEST(ForwardedOption, MalformedRequestsFromAGoodSenderAreRefused) {
    MessageWindow sender;
    auto payload = core::EncodeForwardedVerb(core::CommandVerb::Exit);
    EXPECT_FALSE(Receive(sender.hwnd, core::kForwardMagic ^ 1, payload.data(), payload.size()));
    EXPECT_FALSE(Receive(sender.hwnd, core::kForwardMagic, payload.data(), payload.size() - 1));
    EXPECT_FALSE(Receive(sender.hwnd, core::kForwardMagic, nullptr, payload.size()));
    payload[4] = 0x7F;  // an unknown verb code
    EXPECT_FALSE(Receive(sender.hwnd, core::kForwardMagic, payload.data(), payload.size()));
}

}  // namespace
}  // namespace quenvix::win
