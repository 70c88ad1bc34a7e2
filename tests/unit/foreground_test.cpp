// Where the keyboard goes after a window is brought back and after the tray menu, against a
// foreground that refuses as Windows documents (SetForegroundWindow, AllowSetForegroundWindow).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/foreground_keeper.h"
#include "core/hider.h"
#include "fakes/fake_desktop.h"
#include "fakes/fake_foreground.h"

namespace quenvix::core {
namespace {

using test::FakeDesktop;
using test::FakeForeground;
using test::FakeWindow;
using ::testing::ElementsAre;

constexpr WindowId kEditor = 0x10;   // process 100, the one hidden and brought back
constexpr WindowId kBrowser = 0x20;  // process 300
constexpr WindowId kTrayWindow = 0x30;
constexpr std::uint32_t kEditorPid = 100;
constexpr std::uint32_t kBrowserPid = 300;

class ForegroundTest : public ::testing::Test {
  protected:
    ForegroundTest() {
        FakeWindow editor;
        editor.origin = {kEditorPid, 1, 1};
        desktop.Add(kEditor, editor);
        FakeWindow browser;
        browser.origin = {kBrowserPid, 2, 2};
        desktop.Add(kBrowser, browser);
        // The tray icon's window: ours, never shown.
        FakeWindow tray;
        tray.origin = {FakeDesktop::kOwnPid, 3, 3};
        tray.visible = false;
        desktop.Add(kTrayWindow, tray);
        hider.SetBroughtBackHandler([this](WindowId w, bool chosen) {
            if (chosen) keeper.BringForward(w);
        });
    }

    // The editor is hidden with the hotkey, then the user works in the browser.
    void HideEditorThenTypeInBrowser() {
        desktop.SetForeground(kEditor);
        hider.HideActiveWindow();
        foreground.UserInput(kBrowser);
    }

    FakeDesktop desktop;
    FakeForeground foreground{desktop};
    ForegroundKeeper keeper{desktop, foreground};
    Hider hider{desktop, nullptr, nullptr, {}};
};

TEST_F(ForegroundTest,
       AWindowBroughtBackByARegisteredHotkeyComesToTheFrontAndItsProgramMayActivateIt) {
    // The user works in the browser, then presses our hotkey, which the system knows: its
    // WM_HOTKEY was our input event.
    HideEditorThenTypeInBrowser();
    foreground.HotkeyDelivered(FakeDesktop::kOwnPid);
    ASSERT_TRUE(hider.RestoreLastHidden());
    EXPECT_EQ(desktop.ForegroundWindow(), kEditor);
    // The right went to the editor's process before we gave the foreground away.
    EXPECT_THAT(foreground.calls, ElementsAre("Allow 100", "Set 16"));
    // So the editor's own activation, which may come later from its queue, is allowed too.
    desktop.SetForeground(kBrowser);
    EXPECT_TRUE(foreground.ActivateFrom(kEditor));
}

TEST_F(ForegroundTest, WithoutTheRightNothingIsForcedAndTheUsersWindowKeepsTheKeyboard) {
    desktop.SetForeground(kEditor);
    hider.HideActiveWindow();
    // Brought back while the user types into the browser (the key was not ours).
    foreground.UserInput(kBrowser);
    ASSERT_TRUE(hider.RestoreLastHidden());
    EXPECT_EQ(desktop.ForegroundWindow(), kBrowser);
    EXPECT_THAT(foreground.calls, ElementsAre("Allow 100 refused", "Set 16 refused"));
    EXPECT_TRUE(desktop.IsVisible(kEditor));  // back all the same
}

// The same hotkey seen only through raw input (its chord could not be registered): the key went
// to the browser, so the window comes back behind it, and neither we nor the editor's program may
// take the keyboard from the browser. Pressed again as a registered hotkey, it may.
TEST_F(ForegroundTest, AHotkeySeenOnlyThroughRawInputGivesNoRightToTheForeground) {
    HideEditorThenTypeInBrowser();
    foreground.KeySeenThroughRawInput(FakeDesktop::kOwnPid);
    ASSERT_TRUE(hider.RestoreLastHidden());
    EXPECT_EQ(desktop.ForegroundWindow(), kBrowser);
    EXPECT_THAT(foreground.calls, ElementsAre("Allow 100 refused", "Set 16 refused"));
    EXPECT_FALSE(foreground.ActivateFrom(kEditor));

    HideEditorThenTypeInBrowser();
    foreground.HotkeyDelivered(FakeDesktop::kOwnPid);
    ASSERT_TRUE(hider.RestoreLastHidden());
    EXPECT_EQ(desktop.ForegroundWindow(), kEditor);
}

TEST_F(ForegroundTest, OurHiddenWindowsAreNeverMadeTheForeground) {
    foreground.UserInput(kBrowser);
    foreground.HotkeyDelivered(FakeDesktop::kOwnPid);
    EXPECT_FALSE(keeper.BringForward(kTrayWindow));
    EXPECT_FALSE(keeper.BringForward(0x999));  // gone
    EXPECT_TRUE(foreground.calls.empty());
    EXPECT_EQ(desktop.ForegroundWindow(), kBrowser);
}

// The tray menu: it takes the foreground for our hidden window while it is open (no menu closes
// on an outside click otherwise), and nobody may change the foreground while it is active.
TEST_F(ForegroundTest, AfterTheMenuClosesWithNothingBroughtBackTheKeyboardGoesBack) {
    foreground.UserInput(kBrowser);
    foreground.IconClicked(FakeDesktop::kOwnPid);
    keeper.MenuOpening();
    ASSERT_TRUE(foreground.Set(kTrayWindow));
    foreground.SetMenuActive(true);
    foreground.SetMenuActive(false);  // dismissed
    keeper.MenuClosed();
    EXPECT_EQ(desktop.ForegroundWindow(), kBrowser);
}

TEST_F(ForegroundTest, AfterTheMenuAWindowBroughtBackFromItKeepsTheKeyboard) {
    HideEditorThenTypeInBrowser();
    foreground.IconClicked(FakeDesktop::kOwnPid);
    keeper.MenuOpening();
    foreground.Set(kTrayWindow);
    // Its entry chosen; the editor is busy and has not shown itself yet.
    desktop.At(kEditor).busy = true;
    hider.RestoreWindow(*hider.RecordAt(0));
    keeper.MenuClosed();
    EXPECT_EQ(desktop.ForegroundWindow(), kEditor);
}

TEST_F(ForegroundTest, AfterTheMenuAWindowHiddenFromItDoesNotGetTheKeyboardBack) {
    foreground.UserInput(kBrowser);
    foreground.IconClicked(FakeDesktop::kOwnPid);
    keeper.MenuOpening();
    foreground.Set(kTrayWindow);
    // "Panic!": the browser is busy and still shows, with our hide waiting in its queue.
    desktop.At(kBrowser).busy = true;
    hider.HideAllWindows();
    ASSERT_TRUE(desktop.IsVisible(kBrowser));
    foreground.calls.clear();
    keeper.MenuClosed([this](WindowId w) { return hider.IsHidden(w); });
    EXPECT_TRUE(foreground.calls.empty());
    desktop.RunQueue(kBrowser);
    EXPECT_FALSE(desktop.IsVisible(kBrowser));
}

}  // namespace
}  // namespace quenvix::core
