#include "core/rule_hiding.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>

#include "core/hider.h"
#include "core/product.h"
#include "core/recovery.h"
#include "core/settings_store.h"
#include "fakes/fake_desktop.h"
#include "fakes/manual_timer.h"
#include "fakes/memory_registry.h"

namespace quenvix::core {
namespace {

using test::AsyncCall;
using test::FakeDesktop;
using test::FakeWindow;

constexpr WindowId kSettingsWindow = 0x501;

// Events handed in by the test, as the system's hook would hand them.
class ScriptedEvents : public WindowEvents {
  public:
    void Follow(Handler handler, bool captionChanges) override {
        handler_ = std::move(handler);
        captions_ = captionChanges;
    }
    void Stop() override { handler_ = nullptr; }
    bool Following() const override { return handler_ != nullptr; }
    bool FollowsCaptionChanges() const override { return handler_ && captions_; }
    void Send(RuleEvent event, WindowId window) {
        if (handler_) handler_(event, window);
    }

  private:
    Handler handler_;
    bool captions_ = false;
};

class TimerClock : public Clock {
  public:
    explicit TimerClock(const test::ManualTimers& timers) : timers_(timers) {}
    int Today() override { return 45000; }
    std::uint64_t SteadyMs() override { return timers_.Now(); }

  private:
    const test::ManualTimers& timers_;
};

class RuleHidingTest : public ::testing::Test {
  protected:
    // One run of the program: its hidden list and its rules at work, the user's restores
    // reported to the rules as the main window reports them.
    struct Run {
        explicit Run(RuleHidingTest& t)
            : hider(t.desktop, &t.store, nullptr, {kSettingsWindow, kNoWindow}),
              rules(t.store, hider, t.System(), 1,
                    [&t](const std::string& line) { t.log.insert(line); }) {
            hider.SetBroughtBackHandler(
                [this](WindowId window, bool) { rules.BroughtBack(window); });
            rules.Start();
        }
        Hider hider;
        RuleHiding rules;
    };

    RuleHidingTest() {
        FakeWindow own;
        own.origin = {FakeDesktop::kOwnPid, 1, 77};
        own.executable = "notepad.exe";  // not even our own program's name fools the rules
        desktop.Add(kSettingsWindow, own);
    }
    RuleSystem System() { return {desktop, events, timers, clock}; }
    void StoreRule(std::string_view name, std::string_view line) {
        store.WriteString(kRulesSection, name, line);
    }
    FakeWindow& Open(WindowId id, std::string executable, bool visible = true) {
        FakeWindow& window = desktop.Add(id);
        window.executable = std::move(executable);
        window.visible = visible;
        window.origin = {static_cast<std::uint32_t>(id), 7, 1000 + id};
        return window;
    }

    FakeDesktop desktop;
    test::MemoryRegistry registry;
    SettingsStore store{registry, kSettingsKeyPath};
    test::ManualTimers timers;
    TimerClock clock{timers};
    ScriptedEvents events;
    std::set<std::string> log;
};

// The "appear" rule at work across two runs: a new window is hidden once it shows (heard of at
// its creation, seen shown by the watch timer), one the user brought back stays while it lives,
// and the next run still knows that one from the store while it hides its twin.
TEST_F(RuleHidingTest, HidesWhatAppearsButNeverTwiceWhatTheUserBroughtBackEvenAfterARestart) {
    StoreRule("1", "1\tappear\tNotepad.exe\t\t");
    StoreRule("2", "not a rule");
    auto run = std::make_unique<Run>(*this);
    EXPECT_TRUE(events.Following());
    ASSERT_EQ(log.size(), 1u);  // the damaged value goes to the log, and only it
    EXPECT_EQ(log.begin()->rfind("Rule 2 skipped: ", 0), 0u);
    EXPECT_TRUE(run->hider.HiddenList().empty());  // our own window is never taken

    Open(0x10, "notepad.exe", false);
    events.Send(RuleEvent::Created, 0x10);
    EXPECT_FALSE(run->hider.IsHidden(0x10));
    desktop.At(0x10).visible = true;  // shown without an event of its own
    timers.Advance(kWatchStepMs);
    EXPECT_TRUE(run->hider.IsHidden(0x10));
    EXPECT_FALSE(desktop.IsVisible(0x10));
    timers.Advance(10 * kWatchStepMs);  // nothing left to watch: the timer sleeps
    EXPECT_FALSE(timers.At(0)->Armed());

    ASSERT_TRUE(run->hider.RestoreLastHidden());
    events.Send(RuleEvent::Shown, 0x10);
    EXPECT_TRUE(desktop.IsVisible(0x10));
    EXPECT_FALSE(run->hider.IsHidden(0x10));

    // A restart (an update, say), with a second Notepad window open beside it.
    run.reset();
    EXPECT_FALSE(events.Following());
    Open(0x11, "NOTEPAD.EXE");
    run = std::make_unique<Run>(*this);
    EXPECT_FALSE(run->hider.IsHidden(0x10));
    EXPECT_TRUE(desktop.IsVisible(0x10));
    EXPECT_TRUE(run->hider.IsHidden(0x11));
    events.Send(RuleEvent::Shown, 0x10);
    EXPECT_FALSE(run->hider.IsHidden(0x10));

    // The handle given to another process's window later is a new window: the rule takes it.
    desktop.Destroy(0x10);
    events.Send(RuleEvent::Destroyed, 0x10);
    Open(0x10, "notepad.exe").origin.processStartTime = 9999;
    events.Send(RuleEvent::Shown, 0x10);
    EXPECT_TRUE(run->hider.IsHidden(0x10));
}

// A "minimise" rule sends the window to the tray in the state it will come back in; with no rule
// left on, no event is followed and no timer runs.
TEST_F(RuleHidingTest, MinimiseRuleKeepsTheFormerStateAndNoRuleMeansNoListening) {
    StoreRule("1", "1\tminimise\tviewer.exe\t\t");
    Run run(*this);
    Open(0x20, "viewer.exe").zoomed = true;
    events.Send(RuleEvent::MinimizeStarted, 0x20);
    ASSERT_TRUE(run.hider.IsHidden(0x20));
    desktop.calls.clear();
    ASSERT_TRUE(run.hider.RestoreLastHidden());
    const auto calls = desktop.CallsFor(0x20);
    EXPECT_NE(std::find(calls.begin(), calls.end(), AsyncCall(0x20, ShowCommand::ShowMaximized)),
              calls.end());

    run.rules.SetRules({});
    EXPECT_FALSE(events.Following());
    Open(0x21, "viewer.exe");
    events.Send(RuleEvent::MinimizeStarted, 0x21);
    EXPECT_FALSE(run.hider.IsHidden(0x21));
    EXPECT_EQ(timers.Advance(10 * kWatchStepMs), 0);
}

}  // namespace
}  // namespace quenvix::core
