// The hotkey detector driven by key events: detection at each event, a tick only while a key is
// held, and the live keyboard state trusted only as far as it can be.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "core/held_keys.h"
#include "core/hotkey_detector.h"
#include "core/key_text.h"
#include "fakes/key_set.h"
#include "fakes/manual_timer.h"

namespace quenvix::core {
namespace {

using test::KeySet;
using test::ManualTimers;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr std::uint16_t kCtrl = vk::kControl;
constexpr std::uint16_t kStar = vk::kMultiply;
constexpr std::uint16_t kSlash = vk::kDivide;

class KeyEventsTest : public ::testing::Test {
  protected:
    KeyEventsTest() {
        peek = std::make_unique<HotkeyDetector>(live, clock);
        peek->AddHotkey("HideThis", "", "CTRL+* Num");
        peek->AddHotkey("HideAll", "", "CTRL+/ Num");
        peek->AddHotkey("Shift", "", "SHIFT");
        peek->FollowKeyEvents();
        peek->StartDetect([this](std::uint16_t index) { fired.push_back(index); });
    }
    // The event reaches us before the live state shows it, as it does under Wine.
    void Down(std::uint16_t code) {
        peek->OnKeyEvent(code, true);
        live.Press({code});
    }
    void Up(std::uint16_t code) {
        peek->OnKeyEvent(code, false);
        live.Release({code});
    }
    bool Ticking() { return clock.At(0)->Armed(); }

    KeySet live;
    ManualTimers clock;
    std::unique_ptr<HotkeyDetector> peek;
    std::vector<int> fired;
};

TEST_F(KeyEventsTest, EachPressFiresAtItsEventAndTheTickRunsOnlyWhileAKeyIsHeld) {
    clock.Advance(50);  // the first tick finds the keyboard idle and is the last
    EXPECT_FALSE(Ticking());
    Down(kCtrl);
    EXPECT_TRUE(Ticking());
    Down(kStar);
    EXPECT_THAT(fired, ElementsAre(0));  // at the event, no tick needed
    clock.Advance(500);                  // held: ticking, and nothing new
    Up(kStar);
    Up(kCtrl);
    // Let go and pressed again between two ticks: events see both.
    Down(kCtrl);
    Down(kStar);
    EXPECT_THAT(fired, ElementsAre(0, 0));
    Up(kCtrl);
    Up(kStar);
    clock.Advance(50);
    EXPECT_FALSE(Ticking());
    // Modifier-only hotkeys, every press.
    for (int i = 0; i < 3; ++i) {
        Down(vk::kLShift);
        Up(vk::kLShift);
    }
    EXPECT_THAT(fired, ElementsAre(0, 0, 2, 2, 2));
    EXPECT_EQ(clock.Advance(1000), 1);  // one last tick after the presses, then quiet
}

TEST_F(KeyEventsTest, LiveStateLaggingEitherWayIsOverruledByTheEvent) {
    // A key-up whose live state still says down is a release all the same.
    Down(kCtrl);
    live.Press({kStar});  // before the event, which the action outlasts
    peek->OnKeyEvent(kStar, true);
    peek->OnKeyEvent(kStar, false);
    peek->OnKeyEvent(kCtrl, false);
    live.ReleaseAll();
    // Both keys of a fast chord behind the live state: the held keys count.
    peek->OnKeyEvent(kCtrl, true);
    clock.Advance(50);  // a tick right after the press must not drop it
    peek->OnKeyEvent(kSlash, true);
    EXPECT_THAT(fired, ElementsAre(0, 1));
}

TEST_F(KeyEventsTest, AKeyUpThatNeverCameIsForgottenAndTheTickStops) {
    Down(kCtrl);
    live.ReleaseAll();  // let go on the secure desktop: no event
    clock.Advance(200);
    EXPECT_FALSE(Ticking());
    Down(kStar);  // alone, not with a phantom CTRL
    Down(kCtrl);  // a new longer combination
    EXPECT_THAT(fired, ElementsAre(0));
    // Lost again, and this time the next event finds out before the tick does.
    live.ReleaseAll();
    clock.Advance(100);
    Down(kSlash);
    EXPECT_EQ(GetKeyText(live), "/ Num");
    Up(kSlash);
    Down(kCtrl);
    Down(kStar);
    EXPECT_THAT(fired, ElementsAre(0, 0));
}

TEST_F(KeyEventsTest, StormsFireOnlyByTheRulesAndLeaveNoKeyHeld) {
    // A chord held for 10 s with the last key repeating 30 times a second.
    Down(kCtrl);
    Down(kStar);
    long repeatQueries = 0;
    for (int i = 0; i < 300; ++i) {
        const long before = live.Queries();
        peek->OnKeyEvent(kStar, true);
        repeatQueries += live.Queries() - before;
        clock.Advance(33);
    }
    EXPECT_THAT(fired, ElementsAre(0));
    // A repeat costs at most a look at the keys held (none here has been lost).
    EXPECT_LE(repeatQueries, 300 * 2);
    Up(kStar);
    Up(kCtrl);
    // Fifty keys at once, with a hotkey chord among them, then let go in another order.
    for (std::uint16_t code = 0x30; code < 0x30 + 50; ++code) Down(code);
    Down(kCtrl);
    Down(kStar);
    for (std::uint16_t code = 0x30 + 49; code >= 0x30; --code) Up(code);
    Up(kCtrl);
    Up(kStar);
    EXPECT_THAT(fired, ElementsAre(0));
    // Random events, some never matched by their up; each firing must match the true keys.
    std::mt19937 random(7);
    for (int i = 0; i < 20000; ++i) {
        const auto code = static_cast<std::uint16_t>(random() % 260);
        const bool down = random() % 2 == 0;
        const std::size_t before = fired.size();
        if (random() % 50 == 0) {
            live.Release({code});  // up, but the event is lost
        } else {
            down ? Down(code) : Up(code);
        }
        if (fired.size() != before) {
            EXPECT_EQ(peek->Hotkeys().Item(fired.back()).Key, GetKeyText(live)) << "event " << i;
        }
        if (i % 7 == 0) clock.Advance(20);
    }
    for (std::uint16_t code = 0; code < 256; ++code) Up(code);
    clock.Advance(200);
    EXPECT_FALSE(Ticking());
    fired.clear();
    Down(kCtrl);
    Down(kStar);
    EXPECT_THAT(fired, ElementsAre(0));
}

TEST_F(KeyEventsTest, RecordingAndStoppedDetectionTakeNoHotkeyFromEvents) {
    std::vector<std::string> recorded;
    peek->StartRecord([&](const std::string& text) { recorded.push_back(text); });
    Down(kCtrl);
    Down(kStar);
    clock.Advance(100);
    EXPECT_THAT(recorded, ElementsAre("CTRL+* Num"));  // the dialog still polls
    peek->StopRecord();
    Up(kStar);
    Up(kCtrl);
    clock.Advance(200);
    peek->StopDetect();
    Down(kCtrl);
    Down(kSlash);
    EXPECT_THAT(fired, IsEmpty());
    EXPECT_FALSE(Ticking());
}

TEST_F(KeyEventsTest, KeysPressedDuringAHotkeysActionAreJudgedAfterIt) {
    // The action runs a modal loop in which the other hotkey is pressed.
    peek->StartDetect([&](std::uint16_t index) {
        fired.push_back(index);
        if (index != 0) return;
        Up(kStar);
        Down(kSlash);
        clock.Advance(50);  // the loop runs the tick too
    });
    Down(kCtrl);
    live.Press({kStar});  // before the event, which the action outlasts
    peek->OnKeyEvent(kStar, true);
    EXPECT_THAT(fired, ElementsAre(0));  // not 0, 1: nothing fires inside the action
    clock.Advance(50);
    EXPECT_THAT(fired, ElementsAre(0, 1));
}

TEST_F(KeyEventsTest, ACallbackMayFreeTheDetectorFromAnEvent) {
    peek->StartDetect([this](std::uint16_t) { peek.reset(); });
    Down(kCtrl);
    Down(kStar);
    EXPECT_EQ(peek, nullptr);
    EXPECT_EQ(clock.Advance(1000), 0);
}

TEST(KeyEventsRefused, WithoutEventsTheDetectorPollsAndIgnoresStrayEvents) {
    KeySet live;
    ManualTimers clock;
    HotkeyDetector peek(live, clock);
    peek.AddHotkey("HideThis", "", "CTRL+* Num");
    std::vector<int> fired;
    peek.StartDetect([&](std::uint16_t index) { fired.push_back(index); });
    EXPECT_EQ(clock.Advance(1000), 20);  // idle, and still polling
    peek.OnKeyEvent(kCtrl, true);
    peek.OnKeyEvent(kStar, true);
    EXPECT_THAT(fired, IsEmpty());
    live.Hold({kCtrl, kStar});
    clock.Advance(50);
    EXPECT_THAT(fired, ElementsAre(0));
}

TEST(HeldKeys, AModifierLetGoOnOneSideIsStillDownWhileTheOtherSideIsHeld) {
    KeySet live;
    HeldKeys keys(live);
    keys.BeginEvent(vk::kLControl, true);
    keys.BeginEvent(vk::kRControl, true);
    live.Hold({kCtrl, vk::kLControl, vk::kRControl});
    keys.BeginEvent(vk::kLControl, false);
    EXPECT_TRUE(keys.IsKeyDown(kCtrl));
    EXPECT_FALSE(keys.IsKeyDown(vk::kLControl));
    keys.BeginEvent(vk::kRControl, false);
    EXPECT_FALSE(keys.IsKeyDown(kCtrl));  // the live state still says down: the event wins
    keys.EndEvent();
    EXPECT_FALSE(keys.AnyHeld());
}

// AltGr arrives as a made-up left Ctrl down and, right after it, a right Alt down; the live state
// then shows Ctrl and Alt both down. Typing with AltGr (€, @, {) must not fire Ctrl+Alt hotkeys.
class AltGrTest : public ::testing::Test {
  protected:
    AltGrTest() {
        KeySet chord;
        chord.Hold({kCtrl, vk::kMenu, kStar});
        peek.AddHotkey("CtrlAltStar", "", GetKeyText(chord));
        peek.FollowKeyEvents();
        peek.StartDetect([this](std::uint16_t index) { fired.push_back(index); });
    }
    void Down(std::uint16_t code, std::initializer_list<std::uint16_t> liveCodes) {
        peek.OnKeyEvent(code, true);
        live.Press(liveCodes);
    }
    void Up(std::uint16_t code, std::initializer_list<std::uint16_t> liveCodes) {
        peek.OnKeyEvent(code, false);
        live.Release(liveCodes);
    }
    void AltGrDown() {
        Down(vk::kLControl, {kCtrl, vk::kLControl});
        Down(vk::kRMenu, {vk::kMenu, vk::kRMenu});
    }
    void AltGrUp() {
        Up(vk::kLControl, {kCtrl, vk::kLControl});
        Up(vk::kRMenu, {vk::kMenu, vk::kRMenu});
    }
    void Star() {
        Down(kStar, {kStar});
        Up(kStar, {kStar});
    }

    KeySet live;
    ManualTimers clock;
    HotkeyDetector peek{live, clock};
    std::vector<int> fired;
};

TEST_F(AltGrTest, AltGrIsNotCtrlAltButTheKeysPressedByHandAre) {
    AltGrDown();
    Star();
    // Held with auto-repeat, AltGr repeats both of its halves.
    Down(vk::kLControl, {});
    Down(vk::kRMenu, {});
    Star();
    AltGrUp();
    EXPECT_THAT(fired, IsEmpty());

    // Left Ctrl and left Alt by hand.
    Down(vk::kLControl, {kCtrl, vk::kLControl});
    Down(vk::kLMenu, {vk::kMenu, vk::kLMenu});
    Star();
    Up(vk::kLMenu, {vk::kMenu, vk::kLMenu});
    Up(vk::kLControl, {kCtrl, vk::kLControl});
    EXPECT_THAT(fired, ElementsAre(0));
}

TEST_F(AltGrTest, ACtrlKeyTheUserHoldsStillCountsBesideAltGr) {
    // The right Ctrl is never made up.
    Down(vk::kRControl, {kCtrl, vk::kRControl});
    AltGrDown();
    Star();
    EXPECT_THAT(fired, ElementsAre(0));
    AltGrUp();
    Up(vk::kRControl, {kCtrl, vk::kRControl});
    // A left Ctrl already held when AltGr comes is the user's: AltGr's own Ctrl down is then a
    // repeat of it, not a fresh press.
    Down(vk::kLControl, {kCtrl, vk::kLControl});
    AltGrDown();
    Star();
    EXPECT_THAT(fired, ElementsAre(0, 0));
    AltGrUp();
    // Once AltGr is let go, a Ctrl+Alt chord is one again, whatever the order of the presses.
    Down(vk::kRMenu, {vk::kMenu, vk::kRMenu});
    Down(vk::kLControl, {kCtrl, vk::kLControl});
    Star();
    EXPECT_THAT(fired, ElementsAre(0, 0, 0));
}

TEST_F(AltGrTest, TheKeyRecordingWritesWhatTheUserPressed) {
    std::vector<std::string> recorded;
    peek.StartRecord([&](const std::string& text) { recorded.push_back(text); });
    AltGrDown();
    Down(kStar, {kStar});
    clock.Advance(100);
    Up(kStar, {kStar});
    AltGrUp();
    clock.Advance(100);
    // By hand, Ctrl and Alt make the chord the hotkey above fires on.
    Down(vk::kLControl, {kCtrl, vk::kLControl});
    Down(vk::kLMenu, {vk::kMenu, vk::kLMenu});
    Down(kStar, {kStar});
    clock.Advance(100);
    ASSERT_EQ(recorded.size(), 2U);
    EXPECT_EQ(recorded[0].find("CTRL"), std::string::npos) << recorded[0];
    EXPECT_EQ(recorded[1], peek.Hotkeys().Item(0).Key);
}

TEST(HeldKeys, AltGrsCtrlIsNotCountedEvenWhereTheLiveStateShowsIt) {
    KeySet live;
    HeldKeys keys(live);
    keys.BeginEvent(vk::kLControl, true);
    EXPECT_TRUE(keys.IsKeyDown(kCtrl));  // no telling yet: it may be the user's Ctrl
    keys.EndEvent();
    keys.BeginEvent(vk::kRMenu, true);
    keys.EndEvent();
    live.Hold({kCtrl, vk::kLControl, vk::kMenu, vk::kRMenu});
    EXPECT_TRUE(keys.AltGrHeld());
    EXPECT_FALSE(keys.IsKeyDown(kCtrl));
    EXPECT_FALSE(keys.IsKeyDown(vk::kLControl));
    EXPECT_TRUE(keys.IsKeyDown(vk::kMenu));
    keys.BeginEvent(vk::kLControl, false);
    keys.EndEvent();
    EXPECT_FALSE(keys.AltGrHeld());
    keys.Clear();
    EXPECT_TRUE(keys.IsKeyDown(kCtrl));  // the live state alone, once nothing marks AltGr
}

}  // namespace
}  // namespace quenvix::core
