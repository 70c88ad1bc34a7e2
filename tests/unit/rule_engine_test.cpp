#include "core/rule_engine.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "fakes/window_facts.h"

namespace quenvix::core {
namespace {

// A scripted desktop: windows with their facts and owners, and the hidden list.
class ScriptedWindows : public RuleWindowSource {
  public:
    struct Entry {
        WindowFacts facts;
        WindowKey key;
    };
    std::map<std::uint64_t, Entry> windows;
    std::set<std::uint64_t> hiddenList;
    int captionReads = 0;

    WindowFacts& Add(std::uint64_t id, std::string exe, std::string cls, std::string caption,
                     bool visible = true, std::uint32_t pid = 100) {
        Entry entry{test::VisibleWindow(std::move(exe), std::move(cls), std::move(caption)),
                    WindowKey{id, pid, 1, 1000 + pid}};
        entry.facts.visible = visible;
        return (windows[id] = std::move(entry)).facts;
    }

    std::optional<WindowFacts> Facts(std::uint64_t window, bool withCaption) override {
        const auto found = windows.find(window);
        if (found == windows.end()) return std::nullopt;
        WindowFacts facts = found->second.facts;
        if (withCaption) {
            ++captionReads;
        } else {
            facts.caption.clear();
        }
        return facts;
    }
    WindowKey Key(std::uint64_t window) override {
        const auto found = windows.find(window);
        return found == windows.end() ? WindowKey{window, 0, 0, 0} : found->second.key;
    }
    bool InHiddenList(std::uint64_t window) override { return hiddenList.contains(window); }
};

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

    ScriptedWindows desktop;
    RuleEngine engine{desktop};
};

TEST_F(RuleEngineTest, WindowCreatedHiddenIsHiddenOnceItShowsWithItsCaption) {
    SetRules({Rule{true, RuleAction::Appear, "mail.exe", "", "Reminder"}});
    WindowFacts& reminder = desktop.Add(1, "Mail.exe", "Frame", "", false);
    desktop.Add(2, "other.exe", "Frame", "Reminder", false);

    EXPECT_EQ(engine.OnEvent(RuleEvent::Created, 1, 0), std::nullopt);
    EXPECT_EQ(engine.OnEvent(RuleEvent::Created, 2, 0), std::nullopt);
    EXPECT_EQ(desktop.captionReads, 0);  // a window just created is not asked for its caption
    EXPECT_TRUE(engine.WatchPending());
    EXPECT_TRUE(engine.OnWatchTimer(100).empty());

    reminder.visible = true;  // shown, but its caption is not the rule's yet
    EXPECT_TRUE(engine.OnWatchTimer(200).empty());
    EXPECT_FALSE(engine.WatchPending());  // looked at once shown: decided

    // The same window shown again with the caption (a system that sends the show event).
    reminder.caption = "Reminder: meeting";
    EXPECT_EQ(engine.OnEvent(RuleEvent::Shown, 1, 300), (RuleHide{1, RuleAction::Appear}));

    // Windows no rule can take are not asked for their captions when they show.
    const int reads = desktop.captionReads;
    EXPECT_EQ(engine.OnEvent(RuleEvent::Shown, 2, 400), std::nullopt);
    desktop.Add(3, "mail.exe", "Tip", "Reminder").exStyle = kExToolWindow;
    EXPECT_EQ(engine.OnEvent(RuleEvent::Shown, 3, 400), std::nullopt);
    EXPECT_EQ(desktop.captionReads, reads);
}

TEST_F(RuleEngineTest, WatchEndsWhenTheWindowDiesOrNeverShows) {
    SetRules({AppearByClass("Popup")});
    desktop.Add(1, "a.exe", "Popup", "", false);
    desktop.Add(2, "a.exe", "Popup", "", false);
    engine.OnEvent(RuleEvent::Created, 1, 0);
    engine.OnEvent(RuleEvent::Created, 2, 0);
    desktop.windows.erase(1);  // died within the watch
    EXPECT_TRUE(engine.OnWatchTimer(100).empty());
    EXPECT_TRUE(engine.WatchPending());
    EXPECT_TRUE(engine.OnWatchTimer(kWatchLifetimeMs).empty());
    EXPECT_FALSE(engine.WatchPending());  // the timer can stop
    desktop.windows[2].facts.visible = true;
    EXPECT_TRUE(engine.OnWatchTimer(kWatchLifetimeMs + 100).empty());

    // A window that becomes owned or a tool window while watched is dropped, not hidden.
    desktop.Add(3, "a.exe", "Popup", "", false);
    engine.OnEvent(RuleEvent::Created, 3, 0);
    desktop.windows[3].facts.exStyle = kExToolWindow;
    desktop.windows[3].facts.visible = true;
    EXPECT_TRUE(engine.OnWatchTimer(100).empty());
    EXPECT_FALSE(engine.WatchPending());
}

TEST_F(RuleEngineTest, NoRulesOrNoAppearRuleMeansNoWatchAtAll) {
    desktop.Add(1, "a.exe", "Popup", "t", false);
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
    desktop.Add(1, "chat.exe", "Chat", "Inbox");
    desktop.Add(2, "chat.exe", "Chat", "Call");
    EXPECT_EQ(engine.OnWindowsOpen({1, 2}), Appeared({1, 2}));

    // Our own hide shows and minimises it on its way: it is in the hidden list then.
    desktop.hiddenList = {1, 2};
    EXPECT_EQ(engine.OnEvent(RuleEvent::Shown, 1, 0), std::nullopt);
    // Brought back by the user, or shown again by its program: left alone while it lives.
    desktop.hiddenList.clear();
    engine.BroughtBack(1);
    EXPECT_EQ(engine.OnEvent(RuleEvent::Shown, 1, 0), std::nullopt);
    EXPECT_EQ(engine.OnEvent(RuleEvent::Shown, 2, 0), std::nullopt);
    EXPECT_TRUE(engine.OnWindowsOpen({1, 2}).empty());

    // Its handle reused by a new window of a new process: that one is hidden.
    desktop.Add(1, "chat.exe", "Chat", "Inbox", true, 200);
    EXPECT_EQ(engine.OnEvent(RuleEvent::Shown, 1, 0), (RuleHide{1, RuleAction::Appear}));

    // A window hidden by hotkey and brought back by the user is not taken by a rule either.
    desktop.Add(3, "chat.exe", "Chat", "Later");
    engine.BroughtBack(3);
    EXPECT_EQ(engine.OnEvent(RuleEvent::Shown, 3, 0), std::nullopt);
}

TEST_F(RuleEngineTest, MinimiseRuleHidesEveryMinimiseButNotOurOwnHide) {
    SetRules({Rule{true, RuleAction::Minimise, "player.exe", "", ""}, AppearByClass("Chat")});
    desktop.Add(1, "Player.exe", "Main", "Song");
    desktop.Add(2, "chat.exe", "Chat", "Inbox");
    EXPECT_EQ(engine.OnEvent(RuleEvent::MinimizeStarted, 1, 0),
              (RuleHide{1, RuleAction::Minimise}));
    desktop.hiddenList = {1};  // our hide minimises it as well
    EXPECT_EQ(engine.OnEvent(RuleEvent::MinimizeStarted, 1, 0), std::nullopt);
    desktop.hiddenList.clear();  // restored from the tray, minimised again
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
    desktop.Add(1, "explorer.exe", "Shell_TrayWnd", "");
    desktop.Add(2, "explorer.exe", "Progman", "Program Manager");
    desktop.Add(3, "explorer.exe", "CabinetWClass", "Documents");
    desktop.Add(4, "explorer.exe", "QuenvixMainForm", "Quenvix").ours = true;
    desktop.Add(5, "explorer.exe", "CabinetWClass", "Hidden one", false);
    EXPECT_EQ(engine.OnWindowsOpen({1, 2, 3, 4, 5}), Appeared({3}));
    for (std::uint64_t id : {1, 2, 4}) {
        EXPECT_EQ(engine.OnEvent(RuleEvent::Shown, id, 0), std::nullopt);
        EXPECT_EQ(engine.OnEvent(RuleEvent::MinimizeStarted, id, 0), std::nullopt);
        engine.OnEvent(RuleEvent::Created, id, 0);
    }
    EXPECT_FALSE(engine.WatchPending());
}

}  // namespace
}  // namespace quenvix::core
