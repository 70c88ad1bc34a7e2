#include "core/hotkey_detector.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "core/error.h"
#include "fakes/key_set.h"
#include "fakes/manual_timer.h"

namespace quenvix::core {
namespace {

using test::KeySet;
using test::ManualTimers;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr std::uint16_t kCtrl = vk::kControl;
constexpr std::uint16_t kShift = vk::kShift;
constexpr std::uint16_t kAlt = vk::kMenu;
constexpr std::uint16_t kStar = vk::kMultiply;
constexpr std::uint16_t kSlash = vk::kDivide;

class HotkeyDetectorTest : public ::testing::Test {
  protected:
    HotkeyDetectorTest() {
        peek = std::make_unique<HotkeyDetector>(keys, clock);
        peek->AddHotkey("HideThis", "To hide the active program", "CTRL+* Num");
        peek->AddHotkey("HideAll", "To hide all programs", "CTRL+/ Num");
    }

    void Detect() {
        peek->StartDetect([this](std::uint16_t index) { fired.push_back(index); });
    }
    void Record() {
        peek->StartRecord([this](const std::string& text) { recorded.push_back(text); });
    }
    // Lets one detection interval pass.
    void Poll() { clock.Advance(HotkeyDetector::kDetectInterval); }
    // The keys go to exactly `down`, then one interval passes.
    void HoldAndPoll(std::initializer_list<std::uint16_t> down) {
        keys.Hold(down);
        Poll();
    }
    test::ManualTimer& DetectTimer() { return *clock.At(0); }
    test::ManualTimer& RecordTimer() { return *clock.At(1); }

    KeySet keys;
    ManualTimers clock;
    std::unique_ptr<HotkeyDetector> peek;
    std::vector<int> fired;
    std::vector<std::string> recorded;
};

TEST_F(HotkeyDetectorTest, NothingPollsBeforeDetectionStarts) {
    keys.Hold({kCtrl, kStar});
    EXPECT_EQ(clock.Advance(5000), 0);
    EXPECT_THAT(fired, IsEmpty());
}

TEST_F(HotkeyDetectorTest, HeldChordFiresOnceOnPress) {
    Detect();
    Poll();
    keys.Hold({kCtrl, kStar});
    clock.Advance(3000);
    EXPECT_THAT(fired, ElementsAre(0));
    HoldAndPoll({});
    EXPECT_THAT(fired, ElementsAre(0));  // not on release
}

TEST_F(HotkeyDetectorTest, ReleasingOneKeyAndPressingItAgainDoesNotRefire) {
    Detect();
    HoldAndPoll({kCtrl});
    HoldAndPoll({kCtrl, kStar});
    EXPECT_THAT(fired, ElementsAre(0));
    HoldAndPoll({kCtrl});
    HoldAndPoll({kCtrl, kStar});
    EXPECT_THAT(fired, ElementsAre(0));
    // Everything let go, then the same sequence again.
    HoldAndPoll({});
    HoldAndPoll({kCtrl});
    HoldAndPoll({kCtrl, kStar});
    EXPECT_THAT(fired, ElementsAre(0, 0));
}

TEST_F(HotkeyDetectorTest, WholeChordPressedWithinOneIntervalAfterReleaseFiresAgain) {
    Detect();
    HoldAndPoll({kCtrl, kStar});
    HoldAndPoll({});
    // Both keys went down between two ticks: the first text seen equals the last one accepted.
    HoldAndPoll({kCtrl, kStar});
    EXPECT_THAT(fired, ElementsAre(0, 0));
}

TEST_F(HotkeyDetectorTest, ModifierOnlyHotkeyFiresOnEveryPress) {
    peek->Hotkeys().Item(1).Key = "SHIFT";
    Detect();
    for (int i = 0; i < 3; ++i) {
        HoldAndPoll({kShift});
        clock.Advance(500);
        HoldAndPoll({});
    }
    EXPECT_THAT(fired, ElementsAre(1, 1, 1));
}

TEST_F(HotkeyDetectorTest, ReleaseAndRepressBetweenTwoTicksIsOnePress) {
    // Polling cannot see a release that no tick samples: the chord counts as held throughout.
    Detect();
    HoldAndPoll({kCtrl, kStar});
    keys.ReleaseAll();
    HoldAndPoll({kCtrl, kStar});
    EXPECT_THAT(fired, ElementsAre(0));
}

TEST_F(HotkeyDetectorTest, ChordToChordWithModifierHeld) {
    Detect();
    HoldAndPoll({kCtrl, kStar});
    HoldAndPoll({kCtrl, kSlash});  // equal length: a new combination
    EXPECT_THAT(fired, ElementsAre(0, 1));
    HoldAndPoll({kCtrl, kSlash, kStar});  // longer, matches nothing
    HoldAndPoll({kCtrl, kStar});          // shorter: ignored until all is let go
    EXPECT_THAT(fired, ElementsAre(0, 1));
    HoldAndPoll({});
    HoldAndPoll({kCtrl, kStar});
    EXPECT_THAT(fired, ElementsAre(0, 1, 0));
}

TEST_F(HotkeyDetectorTest, PartialChordLeftWhileLettingGoDoesNotFire) {
    peek->Hotkeys().Item(0).Key = "CTRL+ALT+A";
    peek->Hotkeys().Item(1).Key = "CTRL+A";
    Detect();
    HoldAndPoll({kCtrl, kAlt, 'A'});
    HoldAndPoll({kCtrl, 'A'});
    HoldAndPoll({kCtrl});
    EXPECT_THAT(fired, ElementsAre(0));
    HoldAndPoll({});
    HoldAndPoll({kCtrl, 'A'});
    EXPECT_THAT(fired, ElementsAre(0, 1));
}

TEST_F(HotkeyDetectorTest, FirstOfEqualTextsWinsAndUnnamedKeysDoNotMatter) {
    peek->AddHotkey("Again", "Same text", "CTRL+/ Num");
    Detect();
    HoldAndPoll({kCtrl, kSlash, vk::kSpace});
    EXPECT_THAT(fired, ElementsAre(1));
}

TEST_F(HotkeyDetectorTest, TextsTheKeyboardCannotProduceNeverFire) {
    peek->Hotkeys().Item(0).Key = "ctrl+* num";
    peek->Hotkeys().Item(1).Key = "";
    peek->AddHotkey("Spaced", "", "CTRL + A");
    peek->AddHotkey("Reordered", "", "A+CTRL");
    Detect();
    for (auto chord : {std::initializer_list<std::uint16_t>{kCtrl, kStar}, {kCtrl, 'A'}, {'A'}}) {
        HoldAndPoll(chord);
        HoldAndPoll({vk::kSpace});  // empty text: released
    }
    EXPECT_THAT(fired, IsEmpty());
}

TEST_F(HotkeyDetectorTest, ChangedKeyTextTakesEffectAtTheNextTick) {
    Detect();
    HoldAndPoll({kCtrl, 'Q'});
    HoldAndPoll({});
    peek->Hotkeys().Item(1).Key = "CTRL+Q";
    HoldAndPoll({kCtrl, 'Q'});
    EXPECT_THAT(fired, ElementsAre(1));
}

TEST_F(HotkeyDetectorTest, EachTickRearmsForAFullIntervalFromItsEnd) {
    Detect();
    EXPECT_EQ(DetectTimer().Interval(), 50u);
    EXPECT_EQ(RecordTimer().Interval(), 100u);
    EXPECT_FALSE(RecordTimer().Enabled());
    // A slow callback: 30 ms pass inside the tick that fires it, and the next tick still waits a
    // full interval from the tick's end, not from its start.
    std::vector<std::uint64_t> firedAt;
    peek->StartDetect([&](std::uint16_t) {
        firedAt.push_back(clock.Now());
        clock.Advance(30);
    });
    keys.Hold({kCtrl, kStar});
    EXPECT_EQ(clock.Advance(50), 1);
    ASSERT_THAT(firedAt, ElementsAre(50u));
    EXPECT_EQ(clock.Now(), 80u);
    EXPECT_EQ(DetectTimer().Deadline(), 130u);
    EXPECT_EQ(clock.Advance(49), 0);
    EXPECT_EQ(clock.Advance(1), 1);
}

TEST_F(HotkeyDetectorTest, CallbackExceptionLeavesTheTickWithPollingStillGoing) {
    int calls = 0;
    peek->StartDetect([&](std::uint16_t) {
        ++calls;
        throw Error("boom");
    });
    keys.Hold({kCtrl, kStar});
    EXPECT_THROW(Poll(), Error);
    EXPECT_TRUE(DetectTimer().Enabled());
    EXPECT_TRUE(DetectTimer().Armed());
    HoldAndPoll({});
    keys.Hold({kCtrl, kSlash});
    EXPECT_THROW(Poll(), Error);
    EXPECT_EQ(calls, 2);

    peek->StartRecord([](const std::string&) { throw std::runtime_error("x"); });
    keys.Hold({kAlt});
    EXPECT_THROW(clock.Advance(100), std::runtime_error);
    EXPECT_TRUE(RecordTimer().Armed());
}

TEST_F(HotkeyDetectorTest, RecordingReportsEachNewCombinationAndSuspendsDetection) {
    Detect();
    Poll();
    Record();
    keys.Hold({kCtrl});
    clock.Advance(100);
    keys.Hold({kCtrl, kStar});
    clock.Advance(300);
    keys.Hold({kCtrl});
    clock.Advance(100);
    keys.Hold({});
    clock.Advance(100);
    EXPECT_THAT(recorded, ElementsAre("CTRL", "CTRL+* Num"));
    EXPECT_THAT(fired, IsEmpty());
    // Modifier alone, key alone: all reported, no judgement.
    keys.Hold({vk::kF1 + 4});
    clock.Advance(100);
    EXPECT_THAT(recorded, ElementsAre("CTRL", "CTRL+* Num", "F5"));
}

TEST_F(HotkeyDetectorTest, DetectionResumesAfterTheLastRecordingTick) {
    Detect();
    Record();
    keys.Hold({kCtrl, kSlash});
    clock.Advance(100);
    EXPECT_THAT(recorded, ElementsAre("CTRL+/ Num"));
    peek->StopRecord();
    // Until the recording timer's next tick, detection stays suspended.
    keys.Hold({});
    clock.Advance(50);
    keys.Hold({kCtrl, kStar});
    clock.Advance(49);
    EXPECT_TRUE(RecordTimer().Enabled());
    EXPECT_THAT(fired, IsEmpty());
    clock.Advance(1);  // the recording tick that ends recording
    EXPECT_FALSE(RecordTimer().Enabled());
    EXPECT_FALSE(RecordTimer().Armed());
    clock.Advance(50);
    EXPECT_THAT(fired, ElementsAre(0));
    EXPECT_THAT(recorded, ElementsAre("CTRL+/ Num"));
}

TEST_F(HotkeyDetectorTest, DetectionGoesOnFromTheStateRecordingLeft) {
    Detect();
    Record();
    keys.Hold({kCtrl, kStar});
    clock.Advance(100);
    peek->StopRecord();
    clock.Advance(200);  // still held: the same combination, nothing new
    EXPECT_THAT(fired, IsEmpty());
    HoldAndPoll({});
    HoldAndPoll({kCtrl, kStar});
    EXPECT_THAT(fired, ElementsAre(0));
}

TEST_F(HotkeyDetectorTest, StartRecordForgetsTheLastCombination) {
    Detect();
    HoldAndPoll({kCtrl, kStar});
    Record();
    clock.Advance(100);  // the held chord is new to the recording
    EXPECT_THAT(recorded, ElementsAre("CTRL+* Num"));
}

TEST_F(HotkeyDetectorTest, StopDetectEndsPollingAtTheNextTick) {
    Detect();
    peek->StopDetect();
    keys.Hold({kCtrl, kStar});
    EXPECT_EQ(clock.Advance(1000), 1);
    EXPECT_FALSE(DetectTimer().Enabled());
    EXPECT_THAT(fired, IsEmpty());
    Detect();
    Poll();
    EXPECT_THAT(fired, ElementsAre(0));
}

TEST_F(HotkeyDetectorTest, DestroyingWithBothTimersRunningStopsAllTicks) {
    Detect();
    Record();
    ASSERT_TRUE(DetectTimer().Armed());
    ASSERT_TRUE(RecordTimer().Armed());
    peek.reset();
    EXPECT_EQ(clock.Alive(), 0u);
    keys.Hold({kCtrl, kStar});
    EXPECT_EQ(clock.Advance(1000), 0);
    EXPECT_THAT(fired, IsEmpty());
    EXPECT_THAT(recorded, IsEmpty());
}

TEST_F(HotkeyDetectorTest, CallbackMayFreeTheDetector) {
    peek->StartDetect([this](std::uint16_t) { peek.reset(); });
    keys.Hold({kCtrl, kStar});
    EXPECT_EQ(clock.Advance(1000), 1);
    EXPECT_EQ(clock.Alive(), 0u);

    peek = std::make_unique<HotkeyDetector>(keys, clock);
    peek->StartRecord([this](const std::string&) { peek.reset(); });
    EXPECT_EQ(clock.Advance(1000), 1);
    EXPECT_EQ(peek, nullptr);
}

// With an input clock, a quiet keyboard is read once and then left alone; any input, and any
// reading taken too soon after the last input, brings a full reading back.
class QuietPollTest : public HotkeyDetectorTest {
  protected:
    // Time passes on both clocks; `input` marks a change of keys at the start of the interval.
    void PollWithClock(std::initializer_list<std::uint16_t> down, bool input) {
        if (input) {
            keys.Hold(down);
            keys.Input();
        }
        keys.AdvanceClock(HotkeyDetector::kDetectInterval);
        Poll();
    }
};

TEST_F(QuietPollTest, QuietKeyboardIsNotReadAgainUntilInputArrives) {
    keys.SetInputClock(1000, 5000);
    Detect();
    Poll();
    const long afterFirst = keys.Queries();
    EXPECT_GT(afterFirst, 0);
    for (int i = 0; i < 10; ++i) PollWithClock({}, false);
    EXPECT_EQ(keys.Queries(), afterFirst);
    // A press is input: the next tick reads the keys and fires.
    PollWithClock({kCtrl, kStar}, true);
    EXPECT_THAT(fired, ElementsAre(0));
    EXPECT_GT(keys.Queries(), afterFirst);
}

TEST_F(QuietPollTest, ReadingCloseAfterInputIsNotTrusted) {
    // The last input is only 10 ms old at the first reading: the stamp may still be shared with
    // input that arrives next, so the following tick reads again even with the same stamp.
    keys.SetInputClock(4990, 5000);
    Detect();
    Poll();
    const long afterFirst = keys.Queries();
    keys.Hold({kCtrl, kStar});  // arrives with the same coarse stamp
    keys.AdvanceClock(HotkeyDetector::kDetectInterval);
    Poll();
    EXPECT_GT(keys.Queries(), afterFirst);
    EXPECT_THAT(fired, ElementsAre(0));
}

TEST_F(QuietPollTest, HeldChordStillFiresOnceAndReleaseIsSeen) {
    keys.SetInputClock(0, 10000);
    Detect();
    PollWithClock({kCtrl, kStar}, true);
    for (int i = 0; i < 5; ++i) PollWithClock({}, false);  // held, no new input
    EXPECT_THAT(fired, ElementsAre(0));
    PollWithClock({}, true);  // let go
    PollWithClock({kCtrl, kStar}, true);
    EXPECT_THAT(fired, ElementsAre(0, 0));
}

TEST(HotkeyListTest, FillListNeedsAtLeastOneHotkey) {
    KeySet keys;
    ManualTimers clock;
    HotkeyDetector peek(keys, clock);
    HotkeyLines lines = {{"keep me", nullptr}};
    try {
        peek.FillList(lines);
        FAIL() << "no exception";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "HotkeyDetector.FillList. No Shortkey has been added");
    }
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].first, "keep me");
}

TEST(HotkeyListTest, FillListReplacesLinesWithReferencesToTheHotkeys) {
    KeySet keys;
    ManualTimers clock;
    HotkeyDetector peek(keys, clock);
    Hotkey& first = peek.AddHotkey("A", "First", "CTRL+A");
    peek.AddHotkey("A", "Second", "");  // duplicate name and empty text are taken
    HotkeyLines lines = {{"old", nullptr}, {"older", nullptr}, {"oldest", nullptr}};
    peek.FillList(lines);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].first, "First");
    EXPECT_EQ(lines[0].second, &first);
    EXPECT_EQ(lines[1].first, "Second");
    EXPECT_EQ(lines[1].second, &peek.Hotkeys().Item(1));
    EXPECT_EQ(first.DefaultKey, "CTRL+A");
    EXPECT_EQ(first.Key, "CTRL+A");
    // A line's hotkey is the detector's own: a change through it is what detection compares.
    lines[1].second->Key = "X";
    EXPECT_EQ(peek.Hotkeys().Item(1).Key, "X");
    EXPECT_THROW(peek.Hotkeys().Item(2), Error);
    peek.Hotkeys().Clear();
    EXPECT_EQ(peek.Hotkeys().Count(), 0u);
}

}  // namespace
}  // namespace quenvix::core
