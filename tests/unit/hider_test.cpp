#include "core/hider.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>

#include "core/product.h"
#include "core/recovery.h"
#include "core/settings_store.h"
#include "core/text.h"
#include "fakes/fake_desktop.h"
#include "fakes/memory_registry.h"

namespace quenvix::core {
namespace {

using test::AnimateCall;
using test::AsyncCall;
using test::FakeDesktop;
using test::FakeWindow;
using SC = ShowCommand;

constexpr WindowId kSettings = 0x501;
constexpr WindowId kOwnerWnd = 0x502;
constexpr const char* kRecoveryKey = "Software\\Tarmel\\Quenvix\\Hidden";

// The tray menu's hidden-window entries as texts, each with the record it stands for.
class EntryLog : public HiddenEntries {
  public:
    struct Entry {
        const HiddenWindow* info;
        std::string text;
    };
    std::vector<Entry> entries;

    void Append(const HiddenWindow& info, const std::string& text) override {
        entries.push_back({&info, text});
    }
    void Remove(const HiddenWindow& info) override {
        std::erase_if(entries, [&](const Entry& e) { return e.info == &info; });
    }
    void Clear() override { entries.clear(); }
    void Redescribe(const HiddenWindow& info, const std::string& text) override {
        for (auto& e : entries) {
            if (e.info == &info) e.text = text;
        }
    }

    std::vector<std::string> Texts() const {
        std::vector<std::string> out;
        for (const auto& e : entries) out.push_back(e.text);
        return out;
    }
};

// Every list the hider reported, and how often writing the record failed.
class ListLog : public HiddenListObserver {
  public:
    std::vector<std::vector<RecoveryEntry>> lists;
    int writeFailures = 0;

    void HiddenListChanged(const std::vector<RecoveryEntry>& e) override { lists.push_back(e); }
    void RecoveryWriteFailed() override { ++writeFailures; }
};

FakeWindow Win(std::string caption, WindowOrigin origin = {100, 200, 1000}) {
    FakeWindow w;
    w.caption = std::move(caption);
    w.origin = origin;
    return w;
}

class HiderTest : public ::testing::Test {
  protected:
    HiderTest() {
        // The program's own windows, as they sit on every desktop.
        FakeWindow own;
        own.origin = {FakeDesktop::kOwnPid, 1, 77};
        desktop.Add(kOwnerWnd, own);
        own.owner = kOwnerWnd;
        desktop.Add(kSettings, own);
    }

    std::vector<WindowId> Handles() const {
        std::vector<WindowId> out;
        for (const auto& r : hider.HiddenList()) out.push_back(r->Handle);
        return out;
    }
    // Checks that the menu entries are the records, one each, in list order.
    void ExpectEntriesMatchList() const {
        ASSERT_EQ(entries.entries.size(), hider.HiddenCount());
        for (std::size_t i = 0; i < hider.HiddenCount(); ++i) {
            EXPECT_EQ(entries.entries[i].info, hider.RecordAt(i)) << "entry " << i;
        }
    }
    std::vector<RecoveryEntry> Recovery() const {
        const auto text = registry.GetString(kRecoveryKey, "Windows");
        return text ? DecodeRecovery(*text) : std::vector<RecoveryEntry>{};
    }
    std::vector<WindowId> RecoveryHandles() const {
        std::vector<WindowId> out;
        for (const auto& e : Recovery()) out.push_back(e.handle);
        return out;
    }

    FakeDesktop desktop;
    test::MemoryRegistry registry;
    SettingsStore store{registry, kSettingsKeyPath};
    EntryLog entries;
    ListLog observer;
    Hider hider{desktop, &store, &entries, {kSettings, kOwnerWnd}, &observer};
};

// ---- hide-active -----------------------------------------------------------------------------

TEST_F(HiderTest, HideActiveHidesTheRootOfTheForegroundOwnerChain) {
    desktop.Add(0x10, Win("Editor"));
    desktop.Add(0x11, Win("Find")).owner = 0x10;
    desktop.Add(0x12, Win("Find options")).owner = 0x11;
    desktop.SetForeground(0x12);

    hider.HideActiveWindow();

    EXPECT_EQ(Handles(), std::vector<WindowId>{0x10});
    EXPECT_EQ(hider.HiddenList()[0]->Caption, "Editor");
    EXPECT_EQ(desktop.HiddenOrder(), std::vector<WindowId>{0x10});
}

TEST_F(HiderTest, HideActiveLeavesAloneWhatMustStay) {
    desktop.Add(0x20, Win("Taskbar"));
    desktop.Add(0x21, Win("Program Manager"));
    desktop.Add(0x22, Win("Second taskbar"));
    desktop.SetTaskbar(0x20);
    desktop.SetProgramManager(0x21);
    desktop.ShellWindow(0x22, "Shell_SecondaryTrayWnd");
    // One of our own dialogs: its chain ends at the application's owner window.
    FakeWindow dialog = Win("Confirm", {FakeDesktop::kOwnPid, 1, 77});
    dialog.owner = kSettings;
    desktop.Add(0x23, dialog);
    // An ownerless window of our own process.
    desktop.Add(0x24, Win("About", {FakeDesktop::kOwnPid, 1, 77}));

    for (WindowId w : {WindowId{0x20}, WindowId{0x21}, WindowId{0x22}, WindowId{0x23},
                       WindowId{0x24}, kSettings, kOwnerWnd}) {
        desktop.SetForeground(w);
        hider.HideActiveWindow();
        EXPECT_EQ(hider.HiddenCount(), 0u) << "foreground " << w;
    }
    // Nothing in front, or something in front that is not a top-level window we know of.
    desktop.SetForeground(kNoWindow);
    hider.HideActiveWindow();
    desktop.SetForeground(0x999);
    hider.HideActiveWindow();
    EXPECT_EQ(hider.HiddenCount(), 0u);
    EXPECT_TRUE(desktop.calls.empty());
}

TEST_F(HiderTest, OwnerChainStopsBelowTheDesktopAndSurvivesLoops) {
    desktop.Add(0x30, Win("Desktop-owned")).owner = FakeDesktop::kDesktop;
    desktop.SetForeground(0x30);
    hider.HideActiveWindow();
    EXPECT_EQ(Handles(), std::vector<WindowId>{0x30});

    // Two windows owning each other: the walk ends, one of them is hidden, once.
    desktop.Add(0x31, Win("A")).owner = 0x32;
    desktop.Add(0x32, Win("B")).owner = 0x31;
    desktop.SetForeground(0x31);
    hider.HideActiveWindow();
    EXPECT_EQ(hider.HiddenCount(), 2u);
}

TEST_F(HiderTest, RestoreLastGoesNewestFirstAndSkipsWhatIsNoLongerOurs) {
    desktop.Add(0x41, Win("Oldest")).zoomed = true;
    desktop.Add(0x42, Win("Shown again by its program"));
    desktop.Add(0x43, Win("Middle")).iconic = true;
    desktop.Add(0x44, Win("Closed while hidden"));
    desktop.Add(0x45, Win("Handle reused"));
    for (WindowId w = 0x41; w <= 0x45; ++w) {
        desktop.SetForeground(w);
        hider.HideActiveWindow();
    }
    desktop.ShowByProgram(0x42);  // its hide had arrived
    desktop.Destroy(0x44);
    desktop.At(0x45).origin = {999, 1, 5};
    desktop.calls.clear();

    // The newest still ours is Middle: the two newer records are forgotten on the way, without a
    // command to either, and Middle comes back exactly as its tray entry would bring it.
    EXPECT_TRUE(hider.RestoreLastHidden());
    EXPECT_EQ(desktop.calls, (std::vector<test::DesktopCall>{AsyncCall(0x43, SC::Show),
                                                             AsyncCall(0x43, SC::Show)}));
    EXPECT_EQ(Handles(), (std::vector<WindowId>{0x41, 0x42}));

    // Pressed again: the one before, skipping the window its program showed.
    desktop.calls.clear();
    EXPECT_TRUE(hider.RestoreLastHidden());
    EXPECT_EQ(desktop.calls, (std::vector<test::DesktopCall>{AnimateCall(0x41, true),
                                                             AsyncCall(0x41, SC::ShowMaximized),
                                                             AsyncCall(0x41, SC::Show)}));
    EXPECT_TRUE(hider.HiddenList().empty());
    EXPECT_TRUE(RecoveryHandles().empty());
    ExpectEntriesMatchList();
    EXPECT_FALSE(hider.RestoreLastHidden());
}

TEST_F(HiderTest, RestoreLastKeepsAWindowWhoseHideIsStillOnItsWay) {
    desktop.Add(0x46, Win("Slow"));
    desktop.At(0x46).busy = true;
    desktop.SetForeground(0x46);
    hider.HideActiveWindow();
    // Still showing, but only because it has not got to the hide: it is ours to bring back.
    EXPECT_TRUE(hider.RestoreLastHidden());
    desktop.At(0x46).busy = false;
    desktop.RunQueue(0x46);
    EXPECT_TRUE(desktop.IsVisible(0x46));
    EXPECT_FALSE(desktop.IsIconic(0x46));
}

// ---- hide-all --------------------------------------------------------------------------------

TEST_F(HiderTest, HideAllTakesOrdinaryWindowsInEnumerationOrder) {
    desktop.Add(0x53, Win("Third in order"));
    desktop.Add(0x51, Win("Invisible")).visible = false;
    desktop.Add(0x50, Win("Desktop-owned")).owner = FakeDesktop::kDesktop;
    desktop.Add(0x54, Win("Tool palette")).exStyle = kExToolWindow | 0x100;
    desktop.Add(0x55, Win("Owned dialog")).owner = 0x53;
    desktop.Add(0x56, Win("Minimised")).iconic = true;
    desktop.Add(0x57, Win("Taskbar"));
    desktop.Add(0x58, Win("Program Manager"));
    desktop.Add(0x59, Win("Own unowned window", {FakeDesktop::kOwnPid, 1, 77}));
    // No task-manager window registered, as on a shell that lacks one: the taskbar must still
    // stay.
    desktop.SetTaskbar(0x57);
    desktop.SetProgramManager(0x58);

    hider.HideAllWindows();

    const std::vector<WindowId> expected = {0x53, 0x50, 0x56};
    EXPECT_EQ(Handles(), expected);
    // They disappear from the bottom up.
    EXPECT_EQ(desktop.HiddenOrder(), (std::vector<WindowId>{0x56, 0x50, 0x53}));
    EXPECT_EQ(entries.Texts(),
              (std::vector<std::string>{"Third in order", "Desktop-owned", "Minimised"}));
    EXPECT_TRUE(desktop.IsVisible(kSettings));
    EXPECT_TRUE(desktop.IsVisible(0x57));
    EXPECT_TRUE(desktop.IsVisible(0x59));
}

TEST_F(HiderTest, HideAllCollectsFirstAndSkipsWindowsClosedMeanwhile) {
    desktop.Add(0x60, Win("First"));
    desktop.Add(0x61, Win("Closes when another hides"));
    desktop.Add(0x62, Win("Last"));
    FakeWindow popup = Win("Shown by another as it hides");
    popup.visible = false;
    desktop.Add(0x63, popup);
    desktop.onCall = [&](const test::DesktopCall& c) {
        if (c.window != 0x61 && desktop.Exists(0x61)) {
            desktop.Destroy(0x61);
            desktop.At(0x63).visible = true;
        }
    };

    hider.HideAllWindows();

    EXPECT_EQ(Handles(), (std::vector<WindowId>{0x60, 0x62}));
    EXPECT_TRUE(desktop.CallsFor(0x61).empty());
    EXPECT_TRUE(desktop.CallsFor(0x63).empty());
}

// ---- hiding one window: state, commands, record ---------------------------------------------

TEST_F(HiderTest, HidingIssuesCommandsByStateAndAnimatesUnlessMinimised) {
    desktop.Add(0x70, Win("Normal"));
    desktop.Add(0x71, Win("Minimised")).iconic = true;
    FakeWindow zoomed = Win("Maximised");
    zoomed.zoomed = true;
    desktop.Add(0x72, zoomed);

    hider.HideAllWindows();

    ASSERT_EQ(hider.HiddenCount(), 3u);
    EXPECT_EQ(hider.RecordAt(0)->State, ShowState::Normal);
    EXPECT_EQ(hider.RecordAt(1)->State, ShowState::Minimized);
    EXPECT_EQ(hider.RecordAt(2)->State, ShowState::Maximized);
    EXPECT_EQ(
        desktop.CallsFor(0x70),
        (std::vector<test::DesktopCall>{AnimateCall(0x70, false), AsyncCall(0x70, SC::Hide),
                                        AsyncCall(0x70, SC::Minimize), AsyncCall(0x70, SC::Hide)}));
    EXPECT_EQ(desktop.CallsFor(0x71), (std::vector<test::DesktopCall>{AsyncCall(0x71, SC::Hide),
                                                                      AsyncCall(0x71, SC::Minimize),
                                                                      AsyncCall(0x71, SC::Hide)}));
    EXPECT_EQ(desktop.CallsFor(0x72).front(), AnimateCall(0x72, false));
    for (WindowId w : {0x70, 0x71, 0x72}) {
        EXPECT_FALSE(desktop.IsVisible(w));
        EXPECT_TRUE(desktop.IsIconic(w));
    }
    // The record carries the window's picture and owner.
    const auto* picture = dynamic_cast<const test::FakePicture*>(hider.RecordAt(0)->Picture.get());
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->window, 0x70u);
    EXPECT_EQ(hider.RecordAt(0)->Origin, (WindowOrigin{100, 200, 1000}));
}

TEST_F(HiderTest, RestoringBringsEachStateBack) {
    desktop.Add(0x70, Win("Normal"));
    desktop.Add(0x71, Win("Minimised")).iconic = true;
    desktop.Add(0x72, Win("Maximised")).zoomed = true;
    hider.HideAllWindows();
    desktop.calls.clear();

    while (hider.HiddenCount() > 0) hider.RestoreWindow(*hider.RecordAt(0));

    EXPECT_EQ(desktop.calls,
              (std::vector<test::DesktopCall>{
                  AnimateCall(0x70, true), AsyncCall(0x70, SC::Restore), AsyncCall(0x70, SC::Show),
                  AsyncCall(0x71, SC::Show), AsyncCall(0x71, SC::Show),  // no animation
                  AnimateCall(0x72, true), AsyncCall(0x72, SC::ShowMaximized),
                  AsyncCall(0x72, SC::Show)}));
    EXPECT_TRUE(desktop.IsVisible(0x70));
    EXPECT_FALSE(desktop.IsIconic(0x70));
    EXPECT_TRUE(desktop.IsVisible(0x71));
    EXPECT_TRUE(desktop.IsIconic(0x71));
    EXPECT_TRUE(desktop.IsZoomed(0x72));
    EXPECT_TRUE(entries.entries.empty());
}

// A window a "minimise" rule sent to the tray was left minimised by its user: so it comes back at
// the session's end, at Exit and after a crash (through the record's state); only the user's own
// restore puts it back as it was before that minimise.
TEST_F(HiderTest, AWindowTakenAtItsMinimiseComesBackMinimisedUnlessTheUserBringsItBack) {
    desktop.Add(0x90, Win("Player")).iconic = true;
    desktop.Add(0x91, Win("Chat")).iconic = true;
    std::vector<WindowId> broughtBack;
    hider.SetBroughtBackHandler([&](WindowId w) { broughtBack.push_back(w); });
    hider.HideMinimizedWindow(0x90, ShowState::Maximized);
    hider.HideMinimizedWindow(0x91, ShowState::Normal);
    const std::vector<RecoveryEntry> record = Recovery();
    ASSERT_EQ(record.size(), 2u);
    EXPECT_EQ(record[0].state, ShowState::Minimized);
    EXPECT_EQ(record[0].userState, ShowState::Maximized);
    EXPECT_EQ(observer.lists.back(), record);  // what the crash guard and the guardian get

    // A later run takes both back with both states.
    Hider next{desktop, &store, nullptr, {kSettings, kOwnerWnd}};
    next.AdoptRecovered();
    ASSERT_EQ(next.HiddenCount(), 2u);
    EXPECT_EQ(next.RecordAt(0)->State, ShowState::Maximized);
    EXPECT_EQ(next.RecordAt(0)->StateOnExit, ShowState::Minimized);

    desktop.calls.clear();
    hider.ShowForSessionEnd();
    hider.HideAgainAfterCancelledEnd();
    EXPECT_EQ(desktop.CallsFor(0x91).front(), AsyncCall(0x91, SC::Show));
    desktop.calls.clear();
    hider.RestoreWindow(*hider.RecordAt(0));
    hider.RestoreAllOnExit();
    EXPECT_EQ(desktop.calls, (std::vector<test::DesktopCall>{
                                 AnimateCall(0x90, true), AsyncCall(0x90, SC::ShowMaximized),
                                 AsyncCall(0x90, SC::Show), AsyncCall(0x91, SC::Show),
                                 AsyncCall(0x91, SC::Show)}));
    EXPECT_TRUE(desktop.IsIconic(0x91));
    EXPECT_EQ(broughtBack, (std::vector<WindowId>{0x90}));  // the exit is not the user's doing
}

TEST_F(HiderTest, HungWindowIsHiddenAndRestoredWithoutWaitingForIt) {
    desktop.Add(0x80, Win("Not responding")).hung = true;
    desktop.SetForeground(0x80);

    hider.HideActiveWindow();
    EXPECT_EQ(
        desktop.CallsFor(0x80),
        (std::vector<test::DesktopCall>{AnimateCall(0x80, false), AsyncCall(0x80, SC::Hide),
                                        AsyncCall(0x80, SC::Minimize), AsyncCall(0x80, SC::Hide)}));
    EXPECT_EQ(hider.RecordAt(0)->Caption, "");
    EXPECT_EQ(entries.Texts(), std::vector<std::string>{""});

    // Still showing only because it has not got to our queued hide yet: not forgotten, however
    // long it stays hung.
    ASSERT_TRUE(desktop.IsVisible(0x80));
    hider.RefreshHiddenMenu();
    EXPECT_EQ(hider.HiddenCount(), 1u);
    hider.RestoreWindow(*hider.RecordAt(0));
    EXPECT_EQ(hider.HiddenCount(), 0u);
    // Once its thread resumes it runs everything in order and ends up as it was.
    desktop.At(0x80).hung = false;
    desktop.RunQueue(0x80);
    EXPECT_TRUE(desktop.IsVisible(0x80));
    EXPECT_FALSE(desktop.IsIconic(0x80));
}

TEST_F(HiderTest, AWindowLeavesOnlyOnceSeenHiddenAndThenShownByItsProgram) {
    // Three programs that answer messages but leave our queued commands waiting.
    desktop.Add(0x84, Win("Gets to the hide late"));
    desktop.Add(0x85, Win("Gets to it, then shows again"));
    desktop.Add(0x86, Win("Never gets to it"));
    for (WindowId w = 0x84; w <= 0x86; ++w) desktop.At(w).busy = true;
    hider.HideAllWindows();
    ASSERT_TRUE(desktop.IsVisible(0x84));

    // However often the menu opens and "restore last" passes, a window that still shows because
    // its hide waits in its queue stays listed: when the hide runs, it is ours to bring back.
    for (int opening = 0; opening < 3; ++opening) hider.RefreshHiddenMenu();
    EXPECT_EQ(Handles(), (std::vector<WindowId>{0x84, 0x85, 0x86}));

    for (WindowId w : {0x84, 0x85}) {
        desktop.At(w).busy = false;
        desktop.RunQueue(w);
    }
    hider.RefreshHiddenMenu();
    EXPECT_EQ(hider.HiddenCount(), 3u);
    // Its program shows one of them again, after the hide was seen done: that one goes. One
    // that only shows minimised may be between our minimise and the hide behind it: it stays.
    desktop.ShowByProgram(0x85);
    desktop.At(0x84).visible = true;
    hider.RefreshHiddenMenu();
    EXPECT_EQ(Handles(), (std::vector<WindowId>{0x84, 0x86}));
    EXPECT_EQ(RecoveryHandles(), (std::vector<WindowId>{0x84, 0x86}));
    ExpectEntriesMatchList();

    // The newest, still waiting, is what "restore last" brings back; its queue then ends up
    // showing it as it was.
    EXPECT_TRUE(hider.RestoreLastHidden());
    EXPECT_EQ(Handles(), std::vector<WindowId>{0x84});
    desktop.At(0x86).busy = false;
    desktop.RunQueue(0x86);
    EXPECT_TRUE(desktop.IsVisible(0x86));
    EXPECT_FALSE(desktop.IsIconic(0x86));
}

TEST_F(HiderTest, RestoresAreQueuedWithoutWaitingForAnyWindow) {
    desktop.Add(0x88, Win("Hung")).hung = true;
    desktop.Add(0x89, Win("Busy, maximised")).zoomed = true;
    desktop.Add(0x8A, Win("Answers"));
    hider.HideAllWindows();
    desktop.At(0x89).busy = true;  // hidden, but slow to get to what comes next
    desktop.calls.clear();

    hider.RestoreAllOnExit();

    EXPECT_EQ(
        desktop.calls,
        (std::vector<test::DesktopCall>{
            AnimateCall(0x88, true), AsyncCall(0x88, SC::Restore), AsyncCall(0x88, SC::Show),
            AnimateCall(0x89, true), AsyncCall(0x89, SC::ShowMaximized), AsyncCall(0x89, SC::Show),
            AnimateCall(0x8A, true), AsyncCall(0x8A, SC::Restore), AsyncCall(0x8A, SC::Show)}));
    EXPECT_EQ(hider.HiddenCount(), 0u);
    EXPECT_TRUE(Recovery().empty());
    EXPECT_TRUE(desktop.IsVisible(0x8A));
    // The others come back whenever their threads get to the queue, the hung one's hide first.
    desktop.At(0x88).hung = desktop.At(0x89).busy = false;
    desktop.RunQueue(0x88);
    desktop.RunQueue(0x89);
    EXPECT_TRUE(desktop.IsVisible(0x88));
    EXPECT_FALSE(desktop.IsIconic(0x88));
    EXPECT_TRUE(desktop.IsVisible(0x89));
    EXPECT_TRUE(desktop.IsZoomed(0x89));
}

TEST_F(HiderTest, ObserverHearsEveryChangeWithTheListAsRecorded) {
    desktop.Add(0x8C, Win("One"));
    desktop.Add(0x8D, Win("Two")).iconic = true;
    hider.HideAllWindows();
    // Both windows are heard of before either disappears, then again with their captions.
    ASSERT_EQ(observer.lists.size(), 2u);
    EXPECT_EQ(observer.lists[0].size(), 2u);
    EXPECT_EQ(observer.lists[1], Recovery());

    hider.RefreshHiddenMenu();  // nothing changed, nothing heard
    EXPECT_EQ(observer.lists.size(), 2u);
    desktop.ShowByProgram(0x8D);
    hider.RefreshHiddenMenu();
    ASSERT_EQ(observer.lists.size(), 3u);
    EXPECT_EQ(observer.lists.back(), Recovery());
    EXPECT_EQ(observer.lists.back().at(0).caption, "One");
    hider.RestoreWindow(*hider.RecordAt(0));
    EXPECT_TRUE(observer.lists.back().empty());
    EXPECT_EQ(observer.writeFailures, 0);
}

TEST_F(HiderTest, EntryTextIsTheFirst32CharactersWhileTheListKeepsAll) {
    const std::string forty = "0123456789012345678901234567890123456789";
    std::string cyrillic, chinese, emoji;
    for (int i = 0; i < 40; ++i) {
        cyrillic += "Ж";
        chinese += "中";
        emoji += "\xF0\x9F\x98\x80";
    }
    desktop.Add(0x90, Win(forty));
    desktop.Add(0x91, Win(cyrillic));
    desktop.Add(0x92, Win(chinese));
    desktop.Add(0x93, Win(emoji));
    desktop.Add(0x94, Win(""));
    desktop.Add(0x95, Win("Short"));
    hider.HideAllWindows();

    const auto texts = entries.Texts();
    ASSERT_EQ(texts.size(), 6u);
    EXPECT_EQ(texts[0], forty.substr(0, 32));
    EXPECT_EQ(hider.RecordAt(0)->Caption, forty);
    for (int i = 1; i <= 3; ++i) {
        EXPECT_EQ(CharacterCount(texts[i]), 32u);
        EXPECT_EQ(texts[i], FirstCharacters(hider.RecordAt(i)->Caption, 32));
        EXPECT_EQ(CharacterCount(hider.RecordAt(i)->Caption), 40u);
    }
    EXPECT_EQ(texts[4], "");
    EXPECT_EQ(texts[5], "Short");
}

TEST_F(HiderTest, HidingTheSameWindowTwiceKeepsTwoRecordsUntilTheMenuOpens) {
    desktop.Add(0xA0, Win("Twice"));
    desktop.SetForeground(0xA0);
    hider.HideActiveWindow();
    hider.HideActiveWindow();  // already hidden, still in front
    ASSERT_EQ(hider.HiddenCount(), 2u);
    EXPECT_EQ(hider.RecordAt(0)->State, ShowState::Normal);
    EXPECT_EQ(hider.RecordAt(1)->State, ShowState::Minimized);
    EXPECT_EQ(entries.entries.size(), 2u);

    hider.RestoreWindow(*hider.RecordAt(0));
    EXPECT_TRUE(desktop.IsVisible(0xA0));
    EXPECT_FALSE(desktop.IsIconic(0xA0));
    hider.RefreshHiddenMenu();
    EXPECT_EQ(hider.HiddenCount(), 0u);
    EXPECT_TRUE(entries.entries.empty());
}

// ---- the menu refresh --------------------------------------------------------------------------

TEST_F(HiderTest, RefreshForgetsWindowsThatCameBackDiedOrChangedHands) {
    for (WindowId w = 0xB0; w <= 0xB6; ++w) desktop.Add(w, Win("W" + std::to_string(w - 0xB0)));
    hider.HideAllWindows();
    ASSERT_EQ(hider.HiddenCount(), 7u);
    desktop.calls.clear();

    desktop.ShowByProgram(0xB1);                   // shown again by its program
    desktop.Destroy(0xB2);                         // closed while hidden
    desktop.At(0xB3).origin = {101, 200, 1000};    // handle reused by another program
    desktop.At(0xB4).origin = {100, 200, 2000};    // same process id, restarted
    desktop.At(0xB5).origin = {100, 201, 1000};    // another thread of the same process
    desktop.At(0xB6).origin.processStartTime = 0;  // start time could not be read now
    hider.RefreshHiddenMenu();

    EXPECT_EQ(Handles(), (std::vector<WindowId>{0xB0, 0xB6}));
    EXPECT_EQ(entries.Texts(), (std::vector<std::string>{"W0", "W6"}));
    ExpectEntriesMatchList();
    EXPECT_TRUE(desktop.calls.empty());  // nothing shown or hidden
    EXPECT_EQ(RecoveryHandles(), (std::vector<WindowId>{0xB0, 0xB6}));

    // Opening the menu again without a change gives the same entries.
    hider.RefreshHiddenMenu();
    EXPECT_EQ(entries.Texts(), (std::vector<std::string>{"W0", "W6"}));
    ExpectEntriesMatchList();
}

TEST_F(HiderTest, ACaptionChangeAndThePictureWithItAreReadAtTheNextRefreshForThatWindowOnly) {
    for (WindowId w = 0xB0; w <= 0xB2; ++w) desktop.Add(w, Win("W" + std::to_string(w - 0xB0)));
    hider.HideAllWindows();
    const auto recordBefore = registry.GetString(kRecoveryKey, "Windows");
    desktop.At(0xB0).caption = "Renamed, and no one said so";
    desktop.At(0xB1).caption = std::string(40, 'x');
    hider.CaptionChanged(0xB1);
    hider.CaptionChanged(0xC0);  // not ours
    std::vector<WindowId> asked, pictured;
    desktop.onCaption = [&](WindowId w) { asked.push_back(w); };
    desktop.onPicture = [&](WindowId w) { pictured.push_back(w); };

    hider.RefreshHiddenMenu();
    EXPECT_EQ(asked, (std::vector<WindowId>{0xB1}));
    EXPECT_EQ(pictured, (std::vector<WindowId>{0xB1}));
    EXPECT_EQ(entries.Texts(), (std::vector<std::string>{"W0", std::string(32, 'x'), "W2"}));
    EXPECT_EQ(hider.RecordAt(1)->Caption, std::string(40, 'x'));
    EXPECT_EQ(registry.GetString(kRecoveryKey, "Windows"), recordBefore);
    // Read once: the next refresh asks nothing.
    hider.RefreshHiddenMenu();
    EXPECT_EQ(asked.size(), 1u);
}

TEST_F(HiderTest, RestoringAReusedHandleShowsNothing) {
    desktop.Add(0xC0, Win("Mine"));
    hider.HideAllWindows();
    // The window died and another program's hidden window got its handle.
    desktop.At(0xC0).origin = {555, 1, 1};
    desktop.calls.clear();
    hider.RestoreWindow(*hider.RecordAt(0));
    EXPECT_TRUE(desktop.calls.empty());
    EXPECT_FALSE(desktop.IsVisible(0xC0));
    EXPECT_EQ(hider.HiddenCount(), 0u);

    // A window that vanished is forgotten without a command too.
    desktop.Add(0xC1, Win("Gone soon"));
    hider.HideAllWindows();
    desktop.Destroy(0xC1);
    desktop.calls.clear();
    hider.RestoreWindow(*hider.RecordAt(0));
    EXPECT_TRUE(desktop.calls.empty());
    EXPECT_EQ(hider.HiddenCount(), 0u);
}

// ---- restore all -------------------------------------------------------------------------------

TEST_F(HiderTest, RestoreAllGoesInListOrderAndTakesWindowsHiddenMeanwhile) {
    desktop.Add(0xD0, Win("One"));
    desktop.Add(0xD1, Win("Two"));
    desktop.Add(0xD2, Win("Three"));
    hider.HideAllWindows();
    desktop.Add(0xD3, Win("Hidden during the run"));
    desktop.calls.clear();

    int runs = 0;
    hider.RestoreAll([&] {
        // Pending messages include the hotkey that hides one more window.
        if (++runs == 2) {
            desktop.SetForeground(0xD3);
            hider.HideActiveWindow();
        }
        return true;
    });

    std::vector<WindowId> restored;
    for (const auto& c : desktop.calls)
        if (c.kind == test::DesktopCall::ShowAsync && c.command == SC::Show)
            restored.push_back(c.window);
    EXPECT_EQ(restored, (std::vector<WindowId>{0xD0, 0xD1, 0xD2, 0xD3}));
    EXPECT_EQ(runs, 5);  // before each window, and once more to find nothing left
    EXPECT_EQ(hider.HiddenCount(), 0u);
    EXPECT_TRUE(entries.entries.empty());
    EXPECT_TRUE(Recovery().empty());
}

TEST_F(HiderTest, RestoreAllCopesWithMessagesThatEmptyTheList) {
    desktop.Add(0xD5, Win("One"));
    desktop.Add(0xD6, Win("Two"));
    hider.HideAllWindows();
    // A menu refresh during the run finds both windows shown by their programs.
    hider.RestoreAll([&] {
        desktop.ShowByProgram(0xD5);
        desktop.ShowByProgram(0xD6);
        hider.RefreshHiddenMenu();
        return true;
    });
    EXPECT_EQ(hider.HiddenCount(), 0u);
    hider.RestoreAll({});  // nothing hidden, no message runner: returns
}

TEST_F(HiderTest, RestoreAllStopsWhenTheProgramIsClosing) {
    desktop.Add(0xD7, Win("One"));
    desktop.Add(0xD8, Win("Two"));
    hider.HideAllWindows();
    int runs = 0;
    hider.RestoreAll([&] { return ++runs < 2; });
    EXPECT_EQ(runs, 2);
    EXPECT_EQ(Handles(), std::vector<WindowId>{0xD8});
    ExpectEntriesMatchList();
    // Cut short, the record may still name a window already back, never lack one still hidden.
    EXPECT_EQ(RecoveryHandles(), (std::vector<WindowId>{0xD7, 0xD8}));
}

TEST_F(HiderTest, ExitRestoresEarliestFirstAndLeavesTheRecoveryRecordEmpty) {
    desktop.Add(0xE0, Win("First"));
    desktop.Add(0xE1, Win("Second"));
    desktop.SetForeground(0xE1);
    hider.HideActiveWindow();
    desktop.SetForeground(0xE0);
    hider.HideActiveWindow();
    EXPECT_EQ(RecoveryHandles(), (std::vector<WindowId>{0xE1, 0xE0}));
    desktop.calls.clear();

    hider.RestoreAllOnExit();

    EXPECT_EQ(desktop.calls.front().window, 0xE1u);
    EXPECT_EQ(desktop.calls.back().window, 0xE0u);
    EXPECT_TRUE(desktop.IsVisible(0xE0));
    EXPECT_TRUE(desktop.IsVisible(0xE1));
    EXPECT_EQ(registry.GetString(kRecoveryKey, "Windows"), "");
}

// ---- crash recovery ---------------------------------------------------------------------------

TEST_F(HiderTest, RecoveryRecordIsWrittenBeforeTheWindowDisappears) {
    desktop.Add(0xF0, Win("Report\nwith a line feed and a \\"));
    std::vector<WindowId> recordedAtFirstCommand;
    desktop.onCall = [&](const test::DesktopCall&) {
        if (recordedAtFirstCommand.empty()) recordedAtFirstCommand = RecoveryHandles();
    };
    desktop.SetForeground(0xF0);
    hider.HideActiveWindow();
    EXPECT_EQ(recordedAtFirstCommand, std::vector<WindowId>{0xF0});
    EXPECT_EQ(
        Recovery(),
        (std::vector<RecoveryEntry>{
            {0xF0, {100, 200, 1000}, ShowState::Normal, "Report\nwith a line feed and a \\", {}}}));
    hider.RestoreWindow(*hider.RecordAt(0));
    EXPECT_TRUE(Recovery().empty());
}

TEST_F(HiderTest, HideAllWritesEveryWindowDownBeforeAnyDisappears) {
    for (WindowId w : {0xE0, 0xE1, 0xE2}) desktop.Add(w, Win("Window"));
    std::vector<WindowId> recordedAtFirstCommand;
    desktop.onCall = [&](const test::DesktopCall&) {
        if (recordedAtFirstCommand.empty()) recordedAtFirstCommand = RecoveryHandles();
    };
    hider.HideAllWindows();
    EXPECT_EQ(recordedAtFirstCommand, (std::vector<WindowId>{0xE0, 0xE1, 0xE2}));
    // Every window is told to hide before any is told its second command, the bottom one first
    // (so that the activation is not handed down through each of them); the list keeps the
    // system's order.
    std::vector<WindowId> firstHides;
    for (const auto& c : desktop.calls) {
        if (c.kind == test::DesktopCall::ShowAsync && c.command == SC::Minimize) break;
        if (c.kind == test::DesktopCall::ShowAsync) firstHides.push_back(c.window);
    }
    EXPECT_EQ(firstHides, (std::vector<WindowId>{0xE2, 0xE1, 0xE0}));
    EXPECT_EQ(Handles(), (std::vector<WindowId>{0xE0, 0xE1, 0xE2}));
}

TEST_F(HiderTest, PanicQueuesEveryHideFirstAndWritesTheRecordAsOftenForFortyWindowsAsForOne) {
    // Captions and pictures wait until every window has its hide on the way: a window whose
    // program is slow to answer must not hold up the others. The record is written down before
    // any window goes and once more with the captions, never once per window.
    auto panic = [&](WindowId first, int count) {
        for (int i = 0; i < count; ++i) desktop.Add(first + i, Win("Panic " + std::to_string(i)));
        const auto callsBefore = desktop.calls.size();
        const int writesBefore = registry.valueWrites;
        std::set<WindowId> hiddenAtFirstQuery;
        bool asked = false;
        auto firstQuery = [&](WindowId) {
            if (std::exchange(asked, true)) return;
            for (auto c = desktop.calls.begin() + callsBefore; c != desktop.calls.end(); ++c) {
                if (c->kind == test::DesktopCall::ShowAsync && c->command == SC::Hide) {
                    hiddenAtFirstQuery.insert(c->window);
                }
            }
        };
        desktop.onCaption = desktop.onPicture = firstQuery;
        hider.HideAllWindows();
        EXPECT_EQ(hiddenAtFirstQuery.size(), static_cast<std::size_t>(count));
        return registry.valueWrites - writesBefore;
    };
    const int writesForOne = panic(0x300, 1);
    hider.RestoreAllOnExit();
    desktop.Destroy(0x300);
    EXPECT_EQ(panic(0x400, 40), writesForOne);
    EXPECT_EQ(hider.HiddenCount(), 40u);
    EXPECT_EQ(Recovery().back().caption, "Panic 39");
    EXPECT_EQ(entries.entries.size(), 40u);
}

TEST_F(HiderTest, CaptionAndIconAreAskedForOnlyOnceTheHideIsOnItsWay) {
    // A program slow to answer the caption query must not hold up its window's hide.
    desktop.Add(0xE8, Win("Slow to answer"));
    std::vector<test::DesktopCall> issuedBeforeTheCaption;
    desktop.onCaption = [&](WindowId) {
        if (issuedBeforeTheCaption.empty()) issuedBeforeTheCaption = desktop.CallsFor(0xE8);
    };
    desktop.SetForeground(0xE8);
    hider.HideActiveWindow();
    ASSERT_FALSE(issuedBeforeTheCaption.empty());
    EXPECT_EQ(issuedBeforeTheCaption.back(), AsyncCall(0xE8, SC::Hide));
    EXPECT_EQ(hider.RecordAt(0)->Caption, "Slow to answer");
    EXPECT_EQ(entries.entries.at(0).text, "Slow to answer");
    EXPECT_EQ(Recovery().at(0).caption, "Slow to answer");
}

TEST_F(HiderTest, HidingGoesOnWhenTheRecordCannotBeWritten) {
    registry.SetFailCreate(true);
    registry.SetFailSet(true);
    desktop.Add(0xF1, Win("Still hidden"));
    desktop.SetForeground(0xF1);
    EXPECT_NO_THROW(hider.HideActiveWindow());
    EXPECT_FALSE(desktop.IsVisible(0xF1));
    // Each failure is reported; the list is still heard of as it is.
    const int failuresWhileHiding = observer.writeFailures;
    EXPECT_GT(failuresWhileHiding, 0);
    EXPECT_EQ(observer.lists.back().at(0).handle, 0xF1u);
    EXPECT_NO_THROW(hider.RestoreAllOnExit());
    EXPECT_TRUE(desktop.IsVisible(0xF1));
    EXPECT_GT(observer.writeFailures, failuresWhileHiding);
}

// ---- show commands the system refuses ----------------------------------------------------------

TEST_F(HiderTest, ARefusedHideIsNotRecordedAndTheUserHearsOncePerWindow) {
    std::vector<RefusedCommand> refusals;
    hider.SetRefusedHandler([&](const RefusedCommand& r) { refusals.push_back(r); });
    desktop.Add(0x300, Win("Administrator: console")).elevated = true;
    desktop.Add(0x301, Win("Editor"));
    desktop.Add(0x302, Win("Task Manager")).elevated = true;

    hider.HideAllWindows();
    EXPECT_EQ(Handles(), std::vector<WindowId>{0x301});
    EXPECT_EQ(RecoveryHandles(), std::vector<WindowId>{0x301});
    EXPECT_EQ(entries.Texts(), std::vector<std::string>{"Editor"});
    // Nothing more is sent to a window that refused the first command.
    EXPECT_EQ(desktop.CallsFor(0x300).back(), AsyncCall(0x300, SC::Hide));
    ASSERT_EQ(refusals.size(), 2u);
    EXPECT_EQ(refusals[0].caption, "Task Manager");  // bottom first, as the hides go out
    EXPECT_TRUE(refusals[0].hiding && refusals[0].firstForWindow);

    // Panic again, and the hotkey on one of them: heard of each time, told only once.
    hider.HideAllWindows();
    desktop.SetForeground(0x300);
    hider.HideActiveWindow();
    ASSERT_EQ(refusals.size(), 5u);
    for (std::size_t i = 2; i < refusals.size(); ++i) EXPECT_FALSE(refusals[i].firstForWindow);
    // A new window that got the handle of a closed one is another window.
    desktop.Destroy(0x300);
    desktop.Add(0x300, Win("Another", {300, 1, 1})).elevated = true;
    hider.HideWindow(0x300);
    EXPECT_TRUE(refusals.back().firstForWindow);
}

TEST_F(HiderTest, ARefusedRestoreKeepsTheRecordAndIsTriedAgainUntilTheExit) {
    std::vector<RefusedCommand> refusals;
    hider.SetRefusedHandler([&](const RefusedCommand& r) { refusals.push_back(r); });
    // Hidden by us; the system refuses to show it again (taken back from a run that had the
    // rights, say).
    desktop.Add(0x310, Win("Older"));
    desktop.Add(0x311, Win("Refuses to come back"));
    desktop.Add(0x312, Win("Newest"));
    hider.HideAllWindows();
    desktop.At(0x311).elevated = true;

    EXPECT_FALSE(hider.RestoreWindow(*hider.RecordAt(1)));
    EXPECT_EQ(Handles(), (std::vector<WindowId>{0x310, 0x311, 0x312}));
    ASSERT_EQ(refusals.size(), 1u);
    EXPECT_FALSE(refusals[0].hiding);

    // "Restore last" passes over it to the one before, each time trying it again.
    EXPECT_TRUE(hider.RestoreLastHidden());
    EXPECT_TRUE(hider.RestoreLastHidden());
    EXPECT_EQ(Handles(), std::vector<WindowId>{0x311});
    EXPECT_FALSE(hider.RestoreLastHidden());
    EXPECT_EQ(refusals.size(), 3u);

    // "Restore all" tries it once per run, then ends.
    desktop.Add(0x313, Win("One more"));
    desktop.SetForeground(0x313);
    hider.HideActiveWindow();
    int runs = 0;
    hider.RestoreAll([&] { return ++runs < 10; });
    EXPECT_EQ(runs, 3);
    EXPECT_EQ(Handles(), std::vector<WindowId>{0x311});

    // The exit leaves it in the record, for the next start; once it gives way, it comes back.
    hider.RestoreAllOnExit();
    EXPECT_EQ(RecoveryHandles(), std::vector<WindowId>{0x311});
    desktop.At(0x311).elevated = false;
    hider.RestoreAllOnExit();
    EXPECT_TRUE(desktop.IsVisible(0x311));
    EXPECT_TRUE(Recovery().empty());
}

// ---- a small, linear list
// ------------------------------------------------------------------------

TEST_F(HiderTest, AClosedWindowLeavesTheListAndTheRecordAtTheNextChange) {
    for (WindowId w = 0x320; w < 0x324; ++w) desktop.Add(w, Win("W"));
    hider.HideAllWindows();
    desktop.Destroy(0x320);
    desktop.Destroy(0x322);
    desktop.Add(0x324, Win("New"));
    desktop.SetForeground(0x324);
    hider.HideActiveWindow();
    EXPECT_EQ(Handles(), (std::vector<WindowId>{0x321, 0x323, 0x324}));
    EXPECT_EQ(RecoveryHandles(), (std::vector<WindowId>{0x321, 0x323, 0x324}));
    ExpectEntriesMatchList();
    // A restore takes the dead along too.
    desktop.Destroy(0x324);
    hider.RestoreWindow(*hider.RecordAt(0));
    EXPECT_EQ(RecoveryHandles(), std::vector<WindowId>{0x323});
    ExpectEntriesMatchList();
}

TEST_F(HiderTest, AFullRecordGivesUpTheOldestDeadEntriesFirstAndNeverTheNewest) {
    const WindowId first = 0x100000;
    const std::size_t total = kRecoveryEntryLimit + 3;
    for (std::size_t i = 0; i < total; ++i) desktop.Add(first + i, Win("W"));
    hider.HideAllWindows();
    // The three oldest give way to the newest.
    std::vector<WindowId> record = RecoveryHandles();
    ASSERT_EQ(record.size(), kRecoveryEntryLimit);
    EXPECT_EQ(record.front(), first + 3);
    EXPECT_EQ(record.back(), first + total - 1);

    // Windows that died make room before any living one does: three die, one more is hidden,
    // and of the living only the oldest gives way.
    for (WindowId w : {first + 10, first + 20, first + 30}) desktop.Destroy(w);
    desktop.Add(0x340, Win("Newest"));
    desktop.SetForeground(0x340);
    hider.HideActiveWindow();
    record = RecoveryHandles();
    ASSERT_EQ(record.size(), kRecoveryEntryLimit);
    EXPECT_EQ(record.front(), first + 1);
    EXPECT_EQ(record.back(), 0x340u);
    EXPECT_EQ(std::count(record.begin(), record.end(), first + 20), 0);
}

TEST_F(HiderTest, AFailedRecordWriteIsTriedOnceMoreThenReported) {
    // A cleaner deletes the program's key while windows are hidden: the next write makes it anew.
    desktop.Add(0x330, Win("First"));
    desktop.Add(0x331, Win("Second"));
    desktop.SetForeground(0x330);
    hider.HideActiveWindow();
    registry.DeleteKey("Software\\Tarmel\\Quenvix");
    desktop.SetForeground(0x331);
    hider.HideActiveWindow();
    EXPECT_EQ(RecoveryHandles(), (std::vector<WindowId>{0x330, 0x331}));
    EXPECT_EQ(observer.writeFailures, 0);

    // A write that fails once and then goes through is no failure; one that fails twice is
    // reported, once.
    registry.FailNextSets(1);
    hider.RestoreWindow(*hider.RecordAt(0));
    EXPECT_EQ(observer.writeFailures, 0);
    EXPECT_EQ(RecoveryHandles(), std::vector<WindowId>{0x331});
    registry.FailNextSets(2);
    hider.RestoreWindow(*hider.RecordAt(0));
    EXPECT_EQ(observer.writeFailures, 1);
    EXPECT_EQ(RecoveryHandles(), std::vector<WindowId>{0x331});  // stale, as it could not change
}

// A new run of the program over the same desktop and registry.
class RecoveryTest : public HiderTest {
  protected:
    void WriteRecord(const std::vector<RecoveryEntry>& e) {
        registry.PutString(kRecoveryKey, "Windows", EncodeRecovery(e));
    }
    void Hidden(WindowId w, std::string caption, WindowOrigin origin = {100, 200, 1000}) {
        FakeWindow win = Win(std::move(caption), origin);
        win.visible = false;
        win.iconic = true;
        desktop.Add(w, win);
    }
};

TEST_F(RecoveryTest, AdoptsOnlyWindowsThatAreStillHiddenAndStillTheSame) {
    Hidden(0x100, "Kept");
    Hidden(0x101, "Restarted process", {100, 200, 9999});
    Hidden(0x102, "Handle reused", {300, 400, 1000});
    Hidden(0x105, "Kept, start time unknown at hiding");
    Hidden(0x106, "", {100, 200, 1000});
    WriteRecord({{0x100, {100, 200, 1000}, ShowState::Maximized, "Kept", {}},
                 {0x101, {100, 200, 1000}, ShowState::Normal, "x", {}},
                 {0x102, {100, 200, 1000}, ShowState::Normal, "x", {}},
                 {0x104, {100, 200, 1000}, ShowState::Normal, "Gone", {}},
                 {0x105, {100, 200, 0}, ShowState::Minimized, "x", {}},
                 {0x100, {100, 200, 1000}, ShowState::Minimized, "Duplicate", {}},
                 {0x106, {100, 200, 1000}, ShowState::Normal, "Recorded caption", {}}});

    hider.AdoptRecovered();

    EXPECT_EQ(Handles(), (std::vector<WindowId>{0x100, 0x105, 0x106}));
    EXPECT_EQ(hider.RecordAt(0)->State, ShowState::Maximized);
    EXPECT_EQ(hider.RecordAt(1)->State, ShowState::Minimized);
    EXPECT_EQ(hider.RecordAt(1)->Origin, (WindowOrigin{100, 200, 1000}));
    // The window's own caption, or the recorded one when it gives none.
    EXPECT_EQ(entries.Texts(), (std::vector<std::string>{"Kept", "Kept, start time unknown at hidi",
                                                         "Recorded caption"}));
    ExpectEntriesMatchList();
    EXPECT_TRUE(desktop.calls.empty());  // adopted, not shown
    EXPECT_EQ(RecoveryHandles(), (std::vector<WindowId>{0x100, 0x105, 0x106}));

    // The adopted window comes back in the state it had before the first run hid it.
    hider.RestoreWindow(*hider.RecordAt(0));
    EXPECT_TRUE(desktop.IsVisible(0x100));
    EXPECT_TRUE(desktop.IsZoomed(0x100));
}

TEST_F(RecoveryTest, AWindowStillShowingIsKeptUntilSeenHiddenAndShownAgain) {
    // The last run ended before these windows got to its hide.
    desktop.Add(0x108, Win("Gets to it now"));
    desktop.Add(0x109, Win("Never gets to it"));
    WriteRecord({{0x108, {100, 200, 1000}, ShowState::Normal, "x", {}},
                 {0x109, {100, 200, 1000}, ShowState::Maximized, "x", {}}});
    hider.AdoptRecovered();
    EXPECT_EQ(Handles(), (std::vector<WindowId>{0x108, 0x109}));
    EXPECT_EQ(RecoveryHandles(), (std::vector<WindowId>{0x108, 0x109}));
    EXPECT_TRUE(desktop.calls.empty());

    desktop.At(0x108).visible = false;
    desktop.At(0x108).iconic = true;
    hider.RefreshHiddenMenu();
    EXPECT_EQ(hider.HiddenCount(), 2u);
    desktop.ShowByProgram(0x108);
    hider.RefreshHiddenMenu();
    EXPECT_EQ(Handles(), std::vector<WindowId>{0x109});
    EXPECT_EQ(RecoveryHandles(), std::vector<WindowId>{0x109});
}

TEST_F(RecoveryTest, EachRecordNameKeepsItsOwnWindows) {
    Hider session{desktop, &store, nullptr, {kSettings, kOwnerWnd}, nullptr, "Windows 2"};
    desktop.Add(0x150, Win("Hidden by the second session"));
    desktop.SetForeground(0x150);
    session.HideActiveWindow();
    EXPECT_TRUE(Recovery().empty());
    const auto own = registry.GetString(kRecoveryKey, "Windows 2");
    ASSERT_TRUE(own);
    EXPECT_EQ(DecodeRecovery(*own).at(0).handle, 0x150u);

    // A run under the default name does not take it; one under the same name does.
    hider.AdoptRecovered();
    EXPECT_EQ(hider.HiddenCount(), 0u);
    Hider next{desktop, &store, nullptr, {kSettings, kOwnerWnd}, nullptr, "Windows 2"};
    next.AdoptRecovered();
    EXPECT_EQ(next.HiddenCount(), 1u);
}

TEST_F(RecoveryTest, NeverAdoptsTheShellOrOurOwnWindows) {
    Hidden(0x110, "Taskbar hidden by someone else");
    desktop.SetTaskbar(0x110);
    desktop.At(kSettings).visible = false;
    WriteRecord({{0x110, {100, 200, 1000}, ShowState::Normal, "", {}},
                 {kSettings, {FakeDesktop::kOwnPid, 1, 77}, ShowState::Normal, "", {}}});
    hider.AdoptRecovered();
    EXPECT_EQ(hider.HiddenCount(), 0u);
    EXPECT_EQ(registry.GetString(kRecoveryKey, "Windows"), "");
}

TEST_F(RecoveryTest, DamagedRecordIsIgnoredQuietly) {
    Hidden(0x120, "Good");
    registry.PutString(
        kRecoveryKey, "Windows",
        "\xFF\xFE garbage\n120 x\n" + std::string(5000, '9') + " 1 2 3 0 huge\n" +
            EncodeRecovery({{0x120, {100, 200, 1000}, ShowState::Normal, "Good", {}}}));
    EXPECT_NO_THROW(hider.AdoptRecovered());
    EXPECT_EQ(Handles(), std::vector<WindowId>{0x120});
    EXPECT_EQ(RecoveryHandles(), std::vector<WindowId>{0x120});

    // A value of the wrong type, or one far beyond any record, is not taken back and is left as
    // it is: the take-back never overwrites what it could not read.
    Hider secondRun{desktop, &store, nullptr, {kSettings, kOwnerWnd}};
    registry.PutRaw(kRecoveryKey, "Windows", kRegDword, {1, 0, 0, 0});
    EXPECT_EQ(secondRun.AdoptRecovered(), TakeBack::Unreadable);
    EXPECT_EQ(secondRun.HiddenCount(), 0u);
    EXPECT_EQ(registry.GetRaw(kRecoveryKey, "Windows")->first, kRegDword);
    const std::string huge =
        EncodeRecovery({{0x120, {100, 200, 1000}, ShowState::Normal, "Good", {}}}) +
        std::string(kRecoveryTextLimit, 'x');
    registry.PutString(kRecoveryKey, "Windows", huge);
    EXPECT_EQ(secondRun.AdoptRecovered(), TakeBack::Unreadable);
    EXPECT_EQ(secondRun.HiddenCount(), 0u);
    EXPECT_EQ(registry.GetString(kRecoveryKey, "Windows"), huge);

    // No record at all.
    Hider thirdRun{desktop, &store, nullptr, {}};
    registry.PutString(kRecoveryKey, "Windows", "");
    thirdRun.AdoptRecovered();
    EXPECT_EQ(thirdRun.HiddenCount(), 0u);
}

TEST_F(RecoveryTest, HidingAfterAdoptionKeepsBothInTheRecord) {
    Hidden(0x130, "From the last run");
    WriteRecord({{0x130, {100, 200, 1000}, ShowState::Normal, "", {}}});
    hider.AdoptRecovered();
    desktop.Add(0x131, Win("New"));
    desktop.SetForeground(0x131);
    hider.HideActiveWindow();
    EXPECT_EQ(RecoveryHandles(), (std::vector<WindowId>{0x130, 0x131}));
    hider.RestoreAllOnExit();
    EXPECT_TRUE(desktop.IsVisible(0x130));
    EXPECT_TRUE(Recovery().empty());
}

}  // namespace
}  // namespace quenvix::core
