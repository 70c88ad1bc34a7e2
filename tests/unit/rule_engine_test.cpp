#include "core/rule_engine.h"

#include <gtest/gtest.h>

#include <set>

#include "fakes/fake_desktop.h"

namespace quenvix::core {
namespace {

Rule AppearByClass(std::string cls) {
    return Rule{true, RuleAction::Appear, "", cls, ""};
}

class RuleEngineTest : public testing::Test {
  protected:
    void SetRules(std::vector<Rule> rules) { engine.SetRules(RuleSet(std::move(rules))); }
    std::vector<RuleHide> Appeared(std::vector<std::uint64_t> ids) {
        std::vector<RuleHide> out;
        for (auto id : ids) out.push_back({id, RuleAction::Appear});
        return out;
    }

    // A window as the rules see it, owned by process `pid` (whose start time follows from it).
    test::FakeWindow& Add(WindowId id, std::string exe, std::string cls, std::string caption,
                          bool visible = true, std::uint32_t pid = 100) {
        test::FakeWindow& window = desktop.Add(id);
        window.executable = std::move(exe);
        window.windowClass = std::move(cls);
        window.caption = std::move(caption);
        window.visible = visible;
        window.origin = {pid, 1, 1000 + pid};
        return window;
    }

    test::FakeDesktop desktop;
    std::set<WindowId> hiddenList;
    RuleEngine engine{desktop, [this](WindowId window) { return hiddenList.contains(window); }};
};

TEST_F(RuleEngineTest, WindowCreatedHiddenIsHiddenOnceItShowsWithItsCaption) {
    SetRules({Rule{true, RuleAction::Appear, "mail.exe", "", "Reminder"}});
    test::FakeWindow& reminder = Add(1, "Mail.exe", "Frame", "", false);
    Add(2, "other.exe", "Frame", "Reminder", false);

    EXPECT_EQ(engine.OnEvent(RuleEvent::Created, 1, 0), std::nullopt);
    EXPECT_EQ(engine.OnEvent(RuleEvent::Created, 2, 0), std::nullopt);
    EXPECT_EQ(desktop.captionReads, 0);  // a window just created is not asked for its caption
    EXPECT_TRUE(engine.WatchPending());
    EXPECT_TRUE(engine.OnWatchTimer(100).empty());

    reminder.visible = true;  // shown, but its caption is not the rule's yet
    EXPECT_TRUE(engine.OnWatchTimer(200).empty());
    // Looked at once shown: decided, but for its caption, which may still come.
    EXPECT_TRUE(engine.WatchPending());

    // Shown again, it is not asked again; its caption set, it is.
    reminder.caption = "Reminder: meeting";
    EXPECT_EQ(engine.OnEvent(RuleEvent::Shown, 1, 300), std::nullopt);
    EXPECT_EQ(engine.OnEvent(RuleEvent::CaptionChanged, 1, 300), (RuleHide{1, RuleAction::Appear}));

    // Windows no rule can take are not asked for their captions when they show.
    const int reads = desktop.captionReads;
    EXPECT_EQ(engine.OnEvent(RuleEvent::Shown, 2, 400), std::nullopt);
    Add(3, "mail.exe", "Tip", "Reminder").exStyle = kExToolWindow;
    EXPECT_EQ(engine.OnEvent(RuleEvent::Shown, 3, 400), std::nullopt);
    EXPECT_EQ(desktop.captionReads, reads);
}

TEST_F(RuleEngineTest, WatchEndsWhenTheWindowDiesOrNeverShows) {
    SetRules({AppearByClass("Popup")});
    Add(1, "a.exe", "Popup", "", false);
    Add(2, "a.exe", "Popup", "", false);
    engine.OnEvent(RuleEvent::Created, 1, 0);
    engine.OnEvent(RuleEvent::Created, 2, 0);
    desktop.Destroy(1);  // died within the watch
    EXPECT_TRUE(engine.OnWatchTimer(100).empty());
    EXPECT_TRUE(engine.WatchPending());
    EXPECT_TRUE(engine.OnWatchTimer(kWatchLifetimeMs).empty());
    EXPECT_FALSE(engine.WatchPending());  // the timer can stop
    desktop.At(2).visible = true;
    EXPECT_TRUE(engine.OnWatchTimer(kWatchLifetimeMs + 100).empty());

    // A window that becomes owned or a tool window while watched is dropped, not hidden.
    Add(3, "a.exe", "Popup", "", false);
    engine.OnEvent(RuleEvent::Created, 3, 0);
    desktop.At(3).exStyle = kExToolWindow;
    desktop.At(3).visible = true;
    EXPECT_TRUE(engine.OnWatchTimer(100).empty());
    EXPECT_FALSE(engine.WatchPending());
}

TEST_F(RuleEngineTest, NoRulesOrNoAppearRuleMeansNoWatchAtAll) {
    Add(1, "a.exe", "Popup", "t", false);
    EXPECT_FALSE(engine.Active());
    EXPECT_EQ(engine.OnEvent(RuleEvent::Created, 1, 0), std::nullopt);
    EXPECT_FALSE(engine.WatchPending());

    SetRules({Rule{true, RuleAction::Minimise, "", "Popup", ""}, AppearByClass("Other")});
    EXPECT_TRUE(engine.Active());
    engine.OnEvent(RuleEvent::Created, 1, 0);  // only a minimise rule matches it
    EXPECT_FALSE(engine.WatchPending());

    SetRules({AppearByClass("Popup")});
    engine.OnEvent(RuleEvent::Created, 1, 0);
    EXPECT_TRUE(engine.WatchPending());
    SetRules({AppearByClass("Popup")});
    EXPECT_TRUE(engine.WatchPending());
    SetRules({Rule{false, RuleAction::Appear, "", "Popup", ""}});  // switched off
    EXPECT_FALSE(engine.WatchPending());
    EXPECT_FALSE(engine.Active());
}

TEST_F(RuleEngineTest, AppearRuleHidesAWindowOnceInItsLife) {
    SetRules({AppearByClass("Chat")});
    Add(1, "chat.exe", "Chat", "Inbox");
    Add(2, "chat.exe", "Chat", "Call");
    EXPECT_EQ(engine.OnWindowsOpen({1, 2}, 0), Appeared({1, 2}));

    // Our own hide shows and minimises it on its way: it is in the hidden list then.
    hiddenList = {1, 2};
    EXPECT_EQ(engine.OnEvent(RuleEvent::Shown, 1, 0), std::nullopt);
    // Brought back by the user, or shown again by its program: left alone while it lives.
    hiddenList.clear();
    engine.BroughtBack(1, 0);
    EXPECT_EQ(engine.OnEvent(RuleEvent::Shown, 1, 0), std::nullopt);
    EXPECT_EQ(engine.OnEvent(RuleEvent::Shown, 2, 0), std::nullopt);
    EXPECT_TRUE(engine.OnWindowsOpen({1, 2}, 0).empty());

    // Its handle reused by a new window of a new process: that one is hidden.
    engine.OnEvent(RuleEvent::Destroyed, 1, 0);
    Add(1, "chat.exe", "Chat", "Inbox", true, 200);
    EXPECT_EQ(engine.OnEvent(RuleEvent::Shown, 1, 0), (RuleHide{1, RuleAction::Appear}));

    // A window hidden by hotkey and brought back by the user is not taken by a rule either.
    Add(3, "chat.exe", "Chat", "Later");
    engine.BroughtBack(3, 0);
    EXPECT_EQ(engine.OnEvent(RuleEvent::Shown, 3, 0), std::nullopt);
}

TEST_F(RuleEngineTest, MinimiseRuleHidesEveryMinimiseButNotOurOwnHide) {
    SetRules({Rule{true, RuleAction::Minimise, "player.exe", "", ""}, AppearByClass("Chat")});
    Add(1, "Player.exe", "Main", "Song");
    Add(2, "chat.exe", "Chat", "Inbox");
    EXPECT_EQ(engine.OnEvent(RuleEvent::MinimizeStarted, 1, 0),
              (RuleHide{1, RuleAction::Minimise}));
    hiddenList = {1};  // our hide minimises it as well
    EXPECT_EQ(engine.OnEvent(RuleEvent::MinimizeStarted, 1, 0), std::nullopt);
    hiddenList.clear();  // restored from the tray, minimised again
    EXPECT_EQ(engine.OnEvent(RuleEvent::MinimizeStarted, 1, 0),
              (RuleHide{1, RuleAction::Minimise}));
    // An "appear" rule does not act on a minimise, nor a minimise rule on a show.
    EXPECT_EQ(engine.OnEvent(RuleEvent::MinimizeStarted, 2, 0), std::nullopt);
    EXPECT_EQ(engine.OnEvent(RuleEvent::Shown, 1, 0), std::nullopt);
    EXPECT_EQ(engine.OnEvent(RuleEvent::MinimizeStarted, 9, 0), std::nullopt);  // gone
}

TEST_F(RuleEngineTest, RuleForEveryExplorerWindowSparesTheShellAndUs) {
    SetRules({Rule{true, RuleAction::Appear, "explorer.exe", "", ""},
              Rule{true, RuleAction::Minimise, "explorer.exe", "", ""}});
    Add(1, "explorer.exe", "Shell_TrayWnd", "");
    Add(2, "explorer.exe", "Progman", "Program Manager");
    Add(3, "explorer.exe", "CabinetWClass", "Documents");
    Add(4, "explorer.exe", "QuenvixMainForm", "Quenvix", true, test::FakeDesktop::kOwnPid);  // ours
    Add(5, "explorer.exe", "CabinetWClass", "Hidden one", false);
    EXPECT_EQ(engine.OnWindowsOpen({1, 2, 3, 4, 5}, 0), Appeared({3}));
    for (std::uint64_t id : {1, 2, 4}) {
        EXPECT_EQ(engine.OnEvent(RuleEvent::Shown, id, 0), std::nullopt);
        EXPECT_EQ(engine.OnEvent(RuleEvent::MinimizeStarted, id, 0), std::nullopt);
        engine.OnEvent(RuleEvent::Created, id, 0);
    }
    EXPECT_FALSE(engine.WatchPending());
}

// A program that shows its window as "Loading" and names it later: the rules look again at each
// new caption in the first ten seconds after they heard of the window, and never after.
TEST_F(RuleEngineTest, ACaptionSetLaterIsJudgedAgainInTheWindowsFirstTenSeconds) {
    SetRules({Rule{true, RuleAction::Appear, "mail.exe", "", "Reminder"}});
    EXPECT_TRUE(engine.WantsCaptionChanges());
    test::FakeWindow& late = Add(1, "mail.exe", "Frame", "Loading", false);
    test::FakeWindow& tooLate = Add(2, "mail.exe", "Frame", "Loading", false);
    Add(3, "other.exe", "Frame", "Loading");
    engine.OnEvent(RuleEvent::Created, 1, 1000);
    engine.OnEvent(RuleEvent::Created, 2, 1000);
    late.visible = tooLate.visible = true;
    EXPECT_TRUE(engine.OnWatchTimer(1100).empty());
    EXPECT_EQ(engine.OnEvent(RuleEvent::Shown, 3, 1100), std::nullopt);

    EXPECT_EQ(engine.OnEvent(RuleEvent::CaptionChanged, 1, 1500), std::nullopt);  // "Loading"
    late.caption = "Reminder: standup";
    EXPECT_EQ(engine.OnEvent(RuleEvent::CaptionChanged, 1, 1000 + kCaptionSettleMs - 1),
              (RuleHide{1, RuleAction::Appear}));
    EXPECT_EQ(engine.OnEvent(RuleEvent::CaptionChanged, 1, 1000 + kCaptionSettleMs - 1),
              std::nullopt);  // hidden once: decided for good

    const int reads = desktop.captionReads;
    tooLate.caption = "Reminder: lunch";
    EXPECT_EQ(engine.OnEvent(RuleEvent::CaptionChanged, 2, 1000 + kCaptionSettleMs), std::nullopt);
    // Neither the window past its start nor one whose program no rule names is asked again.
    EXPECT_EQ(engine.OnEvent(RuleEvent::CaptionChanged, 3, 1200), std::nullopt);
    EXPECT_EQ(desktop.captionReads, reads);

    // A window we first hear of when it shows (no creation event) starts its ten seconds then.
    Add(4, "mail.exe", "Frame", "Loading");
    EXPECT_EQ(engine.OnEvent(RuleEvent::Shown, 4, 50000), std::nullopt);
    desktop.At(4).caption = "Reminder";
    EXPECT_EQ(engine.OnEvent(RuleEvent::CaptionChanged, 4, 55000),
              (RuleHide{4, RuleAction::Appear}));

    // Rules without caption text do not ask for caption changes at all.
    SetRules({AppearByClass("Frame")});
    EXPECT_FALSE(engine.WantsCaptionChanges());
}

// Where the system never reports a caption change, the watch timer looks at such a window twice a
// second instead, for its first ten seconds only; once the system is seen reporting them, it stops.
TEST_F(RuleEngineTest, WithoutCaptionEventsTheWatchLooksAtTheCaptionForTenSeconds) {
    SetRules({Rule{true, RuleAction::Appear, "mail.exe", "", "Reminder"}});
    Add(1, "mail.exe", "Frame", "Loading");
    Add(2, "mail.exe", "Frame", "Loading");
    EXPECT_EQ(engine.OnEvent(RuleEvent::Shown, 1, 0), std::nullopt);
    EXPECT_EQ(engine.OnEvent(RuleEvent::Shown, 2, 0), std::nullopt);
    EXPECT_TRUE(engine.WatchPending());
    const int reads = desktop.captionReads;
    for (std::uint64_t t = kWatchStepMs; t < kCaptionLookMs; t += kWatchStepMs) {
        EXPECT_TRUE(engine.OnWatchTimer(t).empty());
    }
    EXPECT_EQ(desktop.captionReads, reads);  // not before half a second
    desktop.At(1).caption = "Reminder: standup";
    EXPECT_EQ(engine.OnWatchTimer(kCaptionLookMs), Appeared({1}));

    std::uint64_t t = kCaptionLookMs;
    for (; engine.WatchPending() && t < 2 * kCaptionSettleMs; t += kWatchStepMs) {
        EXPECT_TRUE(engine.OnWatchTimer(t).empty());
    }
    EXPECT_GE(t, kCaptionSettleMs);
    EXPECT_LE(t, kCaptionSettleMs + kCaptionLookMs);
    EXPECT_LE(desktop.captionReads,
              reads + 1 + static_cast<int>(kCaptionSettleMs / kCaptionLookMs));

    // A system that does report them needs no looks.
    Add(3, "mail.exe", "Frame", "Loading");
    engine.OnEvent(RuleEvent::Shown, 3, t);
    EXPECT_TRUE(engine.WatchPending());
    engine.OnEvent(RuleEvent::CaptionChanged, 2, t);
    EXPECT_FALSE(engine.WatchPending());
}

// A program that hides and shows its window again and again costs one question about it, not one
// per show; a destroyed window's decision goes with it, and so do all decisions when rules change.
TEST_F(RuleEngineTest, TheDecisionIsKeptForTheWindowsLifeOnly) {
    SetRules({Rule{true, RuleAction::Appear, "mail.exe", "", "Reminder"}});
    Add(1, "mail.exe", "Frame", "Inbox");
    Add(2, "other.exe", "Frame", "Reminder");
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(engine.OnEvent(RuleEvent::Shown, 1, 20000 + i), std::nullopt);
        EXPECT_EQ(engine.OnEvent(RuleEvent::Shown, 2, 20000 + i), std::nullopt);
    }
    EXPECT_EQ(desktop.captionReads, 1);
    EXPECT_EQ(desktop.factReads, 3);  // each window's program once, and window 1's caption
    EXPECT_EQ(engine.DecisionCount(), 2u);

    // Its handle given to a new window once it is destroyed: that one is judged afresh.
    engine.OnEvent(RuleEvent::Destroyed, 1, 30000);
    Add(1, "mail.exe", "Frame", "Reminder", true, 300);
    EXPECT_EQ(engine.OnEvent(RuleEvent::Shown, 1, 30000), (RuleHide{1, RuleAction::Appear}));

    // What a window may be (a tool window, owned, cloaked) is looked at each time: it may change
    // while its program starts, and a window refused for it is not decided.
    Add(5, "mail.exe", "Frame", "Reminder").exStyle = kExToolWindow;
    EXPECT_EQ(engine.OnEvent(RuleEvent::Shown, 5, 30000), std::nullopt);
    desktop.At(5).exStyle = 0;
    EXPECT_EQ(engine.OnEvent(RuleEvent::Shown, 5, 30100), (RuleHide{5, RuleAction::Appear}));

    // New rules, new decisions: window 2 is taken by a rule for its program.
    SetRules({Rule{true, RuleAction::Appear, "other.exe", "", ""}});
    EXPECT_EQ(engine.DecisionCount(), 0u);
    EXPECT_EQ(engine.OnEvent(RuleEvent::Shown, 2, 40000), (RuleHide{2, RuleAction::Appear}));
}

// An update restarts the program: the windows the user brought back stay out while they live,
// and a window whose process id now names a later process is not taken for one of them.
TEST_F(RuleEngineTest, WindowsBroughtBackInAnEarlierRunAreLeftAloneWhileTheyLive) {
    for (std::uint64_t id = 1; id <= 4; ++id) Add(id, "chat.exe", "Chat", "Inbox");
    desktop.At(4).origin.processStartTime = 0;  // its start could not be read
    std::string record;
    {
        RuleEngine earlier{desktop, {}};
        for (std::uint64_t id = 1; id <= 4; ++id) earlier.BroughtBack(id, 0);
        record = EncodeWindowKeys(earlier.BroughtBackWindows());
    }
    desktop.At(2).origin.processStartTime = 9999;  // pid reused by a new process
    desktop.Destroy(3);                            // gone
    Add(3, "chat.exe", "Chat", "Inbox", true, 300);
    engine.AdoptBroughtBack(DecodeWindowKeys("damaged\n1 2 3\n" + record + "5 1 1 x\n"));
    EXPECT_EQ(engine.BroughtBackWindows(), (std::vector<WindowKey>{KeyOf(desktop, 1)}));

    SetRules({AppearByClass("Chat")});
    EXPECT_EQ(engine.OnWindowsOpen({1, 2, 3, 4}, 0), Appeared({2, 3, 4}));

    // Only the newest are kept for the next run.
    for (std::uint64_t id = 100; id < 100 + kBroughtBackKept + 10; ++id) {
        Add(id, "chat.exe", "Chat", "Inbox");
        engine.BroughtBack(id, 0);
    }
    const auto kept = DecodeWindowKeys(EncodeWindowKeys(engine.BroughtBackWindows()));
    ASSERT_EQ(kept.size(), kBroughtBackKept);
    EXPECT_EQ(kept.back(), KeyOf(desktop, 100 + kBroughtBackKept + 9));
}

}  // namespace
}  // namespace quenvix::core
