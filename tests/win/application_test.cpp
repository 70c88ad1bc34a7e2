// The program with fake system services: an in-memory registry, manual timers, a scripted
// desktop, a set of held keys and a shell icon call that only records. What is checked is what the
// user would see: windows hidden and back, the icon there or gone, the program ending or not.
#include "win/application.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/dialog_text.h"
#include "core/hotkey_settings.h"
#include "core/ports/key_state.h"
#include "core/product.h"
#include "core/recovery.h"
#include "fakes/fake_desktop.h"
#include "fakes/key_set.h"
#include "fakes/manual_timer.h"
#include "fakes/memory_registry.h"
#include "send_from_thread.h"
#include "win/app.h"
#include "win/cpu_counters.h"
#include "win/foreground.h"
#include "win/session_end.h"
#include "win/win_event_hook.h"

namespace quenvix::win {
namespace {

constexpr core::WindowId kFirst = 0x40;
constexpr core::WindowId kLast = 0x42;

class FixedClock : public core::Clock {
  public:
    int Today() override { return 45000; }
    std::uint64_t SteadyMs() override { return GetTickCount64(); }
};

class ApplicationTest : public ::testing::Test {
  protected:
    ApplicationTest() {
        for (core::WindowId w = kFirst; w <= kLast; ++w) {
            test::FakeWindow scripted;
            scripted.caption = "Window " + std::to_string(w - kFirst);
            desktop.Add(w, scripted);
        }
        desktop.SetForeground(kFirst);
        desktop.onCall = [this](const test::DesktopCall& call) {
            if (call.kind == test::DesktopCall::ShowAsync &&
                call.command != core::ShowCommand::Hide) {
                Note("back " + std::to_string(call.window));
            }
        };
        // The questions are answered for good already, the automatic update check is off and
        // the Windows start-up entry is left alone.
        core::SettingsStore settings(registry, core::kSettingsKeyPath);
        for (const char* question : {"AskToClose", "Closing is hiding", "Hiding window"}) {
            settings.WriteBool(core::kDialogsSection, question, true);
        }
        settings.WriteBool("Preference", "Automatic update check", false);
        settings.WriteBool("Main", "Startup", false);
    }

    ~ApplicationTest() override {
        program.reset();
        // An exit leaves its quit message for the loop the program would have run.
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
    }

    void Start() {
        program = std::make_unique<Application>(platform);
        program->Start();
    }
    // The program is in the tray, its icon shown, as soon as it has started.
    void StartInTray() {
        Start();
        ASSERT_TRUE(program->InTray());
        ASSERT_TRUE(WaitForNote("icon added"));
    }

    void Note(const std::string& event) {
        std::lock_guard lock(mutex_);
        events_.push_back(event);
    }
    std::vector<std::string> Events() {
        std::lock_guard lock(mutex_);
        return events_;
    }
    // The icon is the tray thread's; its calls come a moment later.
    bool WaitForNote(const std::string& event) {
        for (int i = 0; i < 500; ++i) {
            const auto events = Events();
            if (std::find(events.begin(), events.end(), event) != events.end()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    // The system sends the session-end messages from outside the program's thread.
    LRESULT SendFromOutside(UINT msg, WPARAM wParam, LPARAM lParam) {
        return test::SendFromAnotherThread(program->Form(), msg, wParam, lParam);
    }
    std::string RecoveryRecord() {
        return core::SettingsStore(registry, core::kSettingsKeyPath)
            .ReadString(core::kRecoverySection, RecoveryValueName(), "");
    }
    bool QuitPosted() {
        MSG msg;
        return PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE) != FALSE;
    }
    void Command(int id) { SendMessageW(program->Form(), WM_COMMAND, MAKEWPARAM(id, 0), 0); }
    // What the tray menu's loop hands back when the user chooses an item.
    void TrayChoice(UINT id) { program->RunTrayChoice(id); }
    // Holds the keys for one detection step, then lets them go for another.
    void PressKeys(std::initializer_list<std::uint16_t> codes) {
        keys.Hold(codes);
        timers.Advance(core::HotkeyDetector::kDetectInterval);
        keys.ReleaseAll();
        timers.Advance(core::HotkeyDetector::kDetectInterval);
    }
    bool RestoreAllEnabled() {
        return !(GetMenuState(program->TrayMenu(), kTrayRestoreAllId, MF_BYCOMMAND) & MF_GRAYED);
    }
    // The hidden windows' entries: the tray menu's items after its fixed ones.
    std::vector<std::wstring> EntryTexts() {
        constexpr int kFixedItems = 9;
        std::vector<std::wstring> texts;
        for (int i = kFixedItems; i < GetMenuItemCount(program->TrayMenu()); ++i) {
            wchar_t text[64] = {};
            GetMenuStringW(program->TrayMenu(), static_cast<UINT>(i), text, 64, MF_BYPOSITION);
            texts.emplace_back(text);
        }
        return texts;
    }
    std::size_t VisibleCount() {
        std::size_t n = 0;
        for (core::WindowId w = kFirst; w <= kLast; ++w) n += desktop.IsVisible(w);
        return n;
    }

    test::MemoryRegistry registry;
    test::ManualTimers timers;
    test::KeySet keys;
    test::FakeDesktop desktop;
    Win32Foreground foreground;
    FixedClock clock;
    Win32WindowEvents windowEvents;
    Win32CpuCounters cpuCounters;
    Platform platform{registry,
                      timers,
                      keys,
                      desktop,
                      foreground,
                      clock,
                      windowEvents,
                      cpuCounters,
                      {},
                      [this](DWORD message, NOTIFYICONDATAW*) {
                          if (message == NIM_ADD) Note("icon added");
                          if (message == NIM_DELETE) Note("icon removed");
                          return TRUE;
                      },
                      false};
    std::unique_ptr<Application> program;

  private:
    std::mutex mutex_;
    std::vector<std::string> events_;
};

// What the user is typing in keeps the foreground and the keys: the program starts (at log-on,
// say) straight into the tray, its icon there before the start-up step has run, and neither the
// settings window nor its empty owner ever shows meanwhile.
TEST_F(ApplicationTest, StartsInTheTrayWithoutShowingAWindowOrTakingTheForeground) {
    HWND typing = CreateWindowExW(0, L"STATIC", L"Typing here", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                  10, 10, 200, 100, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(typing);
    SetForegroundWindow(typing);
    RunPendingMessages();
    const HWND before = GetForegroundWindow();

    Start();
    RunPendingMessages();
    EXPECT_TRUE(program->InTray());
    EXPECT_FALSE(IsWindowVisible(program->Form()));
    EXPECT_FALSE(IsWindowVisible(program->Owner().Hwnd()));
    EXPECT_EQ(GetForegroundWindow(), before);
    EXPECT_TRUE(WaitForNote("icon added"));

    // The start-up step a second later leaves all that as it is.
    timers.Advance(1000);
    RunPendingMessages();
    EXPECT_TRUE(program->InTray());
    EXPECT_FALSE(IsWindowVisible(program->Form()));
    EXPECT_FALSE(IsWindowVisible(program->Owner().Hwnd()));
    EXPECT_EQ(GetForegroundWindow(), before);
    DestroyWindow(typing);
}

// Asked for within the first second (a quick double click on the icon), the window stays up:
// the start-up step does not send it back into the tray. Minimised, it goes to the tray (never
// to nowhere), and shown from there it comes back as it was.
TEST_F(ApplicationTest, ShownWindowOutlivesTheStartUpStepAndMinimisesIntoTheTray) {
    StartInTray();
    program->ShowFromTray();
    RunPendingMessages();
    ASSERT_TRUE(IsWindowVisible(program->Form()));
    timers.Advance(1000);
    RunPendingMessages();
    EXPECT_TRUE(IsWindowVisible(program->Form()));
    EXPECT_FALSE(program->InTray());

    SendMessageW(program->Form(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    RunPendingMessages();
    EXPECT_TRUE(program->InTray());
    EXPECT_FALSE(IsWindowVisible(program->Form()));
    EXPECT_FALSE(IsWindowVisible(program->Owner().Hwnd()));
    program->ShowFromTray();
    RunPendingMessages();
    EXPECT_FALSE(IsIconic(program->Form()));
    EXPECT_TRUE(IsWindowVisible(program->Form()));
}

TEST_F(ApplicationTest, HotkeysHideAndRestoreThroughTheDetector) {
    Start();
    using namespace core::vk;
    PressKeys({kControl, kMultiply});  // HideThis: the foreground program
    EXPECT_FALSE(desktop.IsVisible(kFirst));
    EXPECT_EQ(program->HiddenCount(), 1u);

    PressKeys({kControl, kDivide});  // HideAll: the rest
    EXPECT_EQ(VisibleCount(), 0u);
    EXPECT_EQ(program->HiddenCount(), 3u);

    PressKeys({kControl, kShift, kMultiply});  // RestoreLast: only the newest comes back
    EXPECT_TRUE(desktop.IsVisible(kLast));
    EXPECT_EQ(VisibleCount(), 1u);
    EXPECT_EQ(program->HiddenCount(), 2u);
}

TEST_F(ApplicationTest, ExitBringsEveryWindowBackBeforeTheIconGoes) {
    StartInTray();
    TrayChoice(kTrayPanicId);
    ASSERT_EQ(VisibleCount(), 0u);

    TrayChoice(kTrayExitId);
    EXPECT_EQ(VisibleCount(), 3u);
    EXPECT_TRUE(QuitPosted());
    ASSERT_TRUE(WaitForNote("icon removed"));
    const auto events = Events();
    const auto removed = std::find(events.begin(), events.end(), "icon removed");
    for (core::WindowId w = kFirst; w <= kLast; ++w) {
        const auto back = std::find(events.begin(), events.end(), "back " + std::to_string(w));
        EXPECT_LT(back, removed) << "window " << w;
    }
    // The hotkeys were written back on the way out.
    EXPECT_EQ(core::SettingsStore(registry, core::kSettingsKeyPath)
                  .ReadString(core::kHotkeySection, "HideThis", ""),
              "CTRL+* Num");
    // Late commands find the program ending: nothing is hidden again.
    TrayChoice(kTrayPanicId);
    EXPECT_EQ(VisibleCount(), 3u);
}

TEST_F(ApplicationTest, CloseHidesAShownWindowAndEndsFromTheTray) {
    StartInTray();
    program->ShowFromTray();
    ASSERT_FALSE(program->InTray());
    SendMessageW(program->Form(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(program->InTray());
    EXPECT_TRUE(WaitForNote("icon added"));
    EXPECT_FALSE(QuitPosted());

    TrayChoice(kTrayPanicId);
    SendMessageW(program->Form(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(QuitPosted());
    EXPECT_FALSE(program->InTray());
    EXPECT_EQ(VisibleCount(), 3u);
    EXPECT_TRUE(WaitForNote("icon removed"));
}

TEST_F(ApplicationTest, MenuIdsReachTheirCommands) {
    StartInTray();
    const HMENU bar = program->MenuBar();
    ASSERT_EQ(GetMenuState(bar, kMenuAutomaticCheckId, MF_BYCOMMAND) & MF_CHECKED, 0u);
    Command(kMenuAutomaticCheckId);
    EXPECT_NE(GetMenuState(bar, kMenuAutomaticCheckId, MF_BYCOMMAND) & MF_CHECKED, 0u);
    EXPECT_TRUE(core::SettingsStore(registry, core::kSettingsKeyPath)
                    .ReadBool("Preference", "Automatic update check", false));

    // The tray menu's items run only as its choice: a WM_COMMAND with their ids does nothing.
    Command(kTrayPanicId);
    EXPECT_EQ(VisibleCount(), 3u);
    TrayChoice(kTrayPanicId);
    EXPECT_EQ(VisibleCount(), 0u);
    TrayChoice(kTrayRestoreAllId);
    EXPECT_EQ(VisibleCount(), 3u);
    EXPECT_EQ(program->HiddenCount(), 0u);

    // The tray menu holds its fixed items in their order, then the hidden windows' place.
    std::vector<std::wstring> texts;
    const HMENU tray = program->TrayMenu();
    for (int i = 0; i < GetMenuItemCount(tray); ++i) {
        wchar_t text[64] = {};
        GetMenuStringW(tray, static_cast<UINT>(i), text, 64, MF_BYPOSITION);
        texts.emplace_back(text);
    }
    EXPECT_EQ(texts,
              (std::vector<std::wstring>{L"Show settings", L"Check update", L"Website", L"Exit",
                                         L"", L"Close this menu", L"Restore all", L"Panic!", L""}));
}

TEST_F(ApplicationTest, SessionEndShowsTheHiddenWindowsUntilItIsDecidedThenEndsCleanly) {
    StartInTray();
    // Asked before the programs whose windows it hides.
    DWORD level = 0;
    DWORD flags = 0;
    ASSERT_TRUE(GetProcessShutdownParameters(&level, &flags));
    EXPECT_EQ(level, kShutdownLevel);
    TrayChoice(kTrayPanicId);
    ASSERT_EQ(VisibleCount(), 0u);
    const std::string record = RecoveryRecord();
    ASSERT_FALSE(record.empty());

    // Posted by anyone, neither message does a thing.
    PostMessageW(program->Form(), WM_QUERYENDSESSION, 0, 0);
    PostMessageW(program->Form(), WM_ENDSESSION, TRUE, 0);
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
    EXPECT_EQ(VisibleCount(), 0u);
    EXPECT_FALSE(QuitPosted());

    // The session asks to end: yes, and the windows show for their programs' questions, listed
    // still, the record as it was.
    EXPECT_EQ(SendFromOutside(WM_QUERYENDSESSION, 0, 0), TRUE);
    EXPECT_EQ(VisibleCount(), 3u);
    EXPECT_EQ(program->HiddenCount(), 3u);
    EXPECT_EQ(RecoveryRecord(), record);

    // Cancelled: hidden again, listed, and the program goes on as before.
    SendFromOutside(WM_ENDSESSION, FALSE, 0);
    EXPECT_EQ(VisibleCount(), 0u);
    EXPECT_EQ(program->HiddenCount(), 3u);
    EXPECT_EQ(RecoveryRecord(), record);
    EXPECT_FALSE(QuitPosted());
    using namespace core::vk;
    PressKeys({kControl, kShift, kMultiply});  // RestoreLast
    EXPECT_TRUE(desktop.IsVisible(kLast));
    EXPECT_EQ(program->HiddenCount(), 2u);

    // Restart Manager closes the program: asked, then told the end goes ahead. Everything is
    // back, the hotkeys written, the icon gone and the loop ended, before the answer.
    EXPECT_EQ(SendFromOutside(WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP), TRUE);
    EXPECT_EQ(SendFromOutside(WM_ENDSESSION, TRUE, ENDSESSION_CLOSEAPP), 0);
    EXPECT_EQ(VisibleCount(), 3u);
    EXPECT_EQ(program->HiddenCount(), 0u);
    EXPECT_EQ(RecoveryRecord(), "");
    EXPECT_TRUE(QuitPosted());
    EXPECT_TRUE(WaitForNote("icon removed"));
    EXPECT_EQ(core::SettingsStore(registry, core::kSettingsKeyPath)
                  .ReadString(core::kHotkeySection, "HideThis", ""),
              "CTRL+* Num");
    // Its close request afterwards is taken, and nothing hides anything any more.
    while (PeekMessageW(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
    SendFromOutside(WM_CLOSE, 0, 0);
    EXPECT_TRUE(QuitPosted());
    PressKeys({kControl, kDivide});  // HideAll
    EXPECT_EQ(VisibleCount(), 3u);
}

// Any program may send the query, and nothing need follow it: the user's hide after it is
// carried out and listed, and the windows come back at Exit like any others.
TEST_F(ApplicationTest, ASessionQueryWithNoEndLeavesTheHotkeysWorking) {
    StartInTray();
    TrayChoice(kTrayPanicId);
    ASSERT_EQ(SendFromOutside(WM_QUERYENDSESSION, 0, 0), TRUE);
    ASSERT_EQ(VisibleCount(), 3u);
    using namespace core::vk;
    PressKeys({kControl, kDivide});  // HideAll
    EXPECT_EQ(VisibleCount(), 0u);
    program->RefreshTrayMenu();
    EXPECT_EQ(EntryTexts().size(), 3u);
    EXPECT_EQ(core::DecodeRecovery(RecoveryRecord()).size(), 3u);
    // A late cancel finds nothing of its own to hide again; a late end brings everything back.
    SendFromOutside(WM_ENDSESSION, FALSE, 0);
    EXPECT_EQ(program->HiddenCount(), 3u);
    program->Run(core::Command::ExitUnasked);
    EXPECT_EQ(VisibleCount(), 3u);
    EXPECT_EQ(program->HiddenCount(), 0u);
}

TEST_F(ApplicationTest, ALogoffWithoutAQueryStillBringsEverythingBackAndEnds) {
    StartInTray();
    TrayChoice(kTrayPanicId);
    ASSERT_EQ(VisibleCount(), 0u);
    SendFromOutside(WM_ENDSESSION, TRUE, static_cast<LPARAM>(ENDSESSION_LOGOFF));
    EXPECT_EQ(VisibleCount(), 3u);
    EXPECT_EQ(program->HiddenCount(), 0u);
    EXPECT_TRUE(QuitPosted());
}

// Each time the tray menu opens, its entries follow the list and "Restore all" is offered only
// while something is hidden; an entry brings back its own window only.
TEST_F(ApplicationTest, TrayMenuEntriesFollowTheHiddenListEachTimeItOpens) {
    StartInTray();
    program->RefreshTrayMenu();
    EXPECT_FALSE(RestoreAllEnabled());
    EXPECT_EQ(GetMenuState(program->TrayMenu(), kTrayPanicId, MF_BYCOMMAND) & MF_GRAYED, 0u);

    TrayChoice(kTrayPanicId);
    program->RefreshTrayMenu();
    EXPECT_TRUE(RestoreAllEnabled());
    EXPECT_EQ(EntryTexts(), (std::vector<std::wstring>{L"Window 0", L"Window 1", L"Window 2"}));

    TrayChoice(kFirstEntryId + 1);
    EXPECT_TRUE(desktop.IsVisible(kFirst + 1));
    EXPECT_FALSE(desktop.IsVisible(kFirst));
    EXPECT_EQ(EntryTexts(), (std::vector<std::wstring>{L"Window 0", L"Window 2"}));
    // The same id again (a stale click) changes nothing.
    TrayChoice(kFirstEntryId + 1);
    EXPECT_EQ(program->HiddenCount(), 2u);

    // The others came back by themselves: gone from the menu at its next opening.
    for (core::WindowId w = kFirst; w <= kLast; ++w) desktop.ShowByProgram(w);
    program->RefreshTrayMenu();
    EXPECT_FALSE(RestoreAllEnabled());
    EXPECT_TRUE(EntryTexts().empty());
}

// A window the system will not let us hide is not listed, and the user hears of it once, on the
// settings window's status line, naming its program.
TEST_F(ApplicationTest, ARefusedHideIsToldOnceOnTheStatusLine) {
    StartInTray();
    desktop.At(kFirst + 1).elevated = true;
    TrayChoice(kTrayPanicId);
    TrayChoice(kTrayPanicId);
    program->RefreshTrayMenu();
    EXPECT_EQ(EntryTexts(), (std::vector<std::wstring>{L"Window 0", L"Window 2"}));
    program->ShowFromTray();
    const HWND bar = FindWindowExW(program->Form(), nullptr, STATUSCLASSNAMEW, nullptr);
    ASSERT_NE(bar, nullptr);
    wchar_t text[160] = {};
    GetWindowTextW(bar, text, 160);
    EXPECT_STREQ(text, L"Windows did not let Quenvix hide Window 1: it runs as administrator.");
}

// "Restore all" lets waiting messages run between windows; a hotkey that hides a window meanwhile
// wins: that window stays hidden and listed.
TEST_F(ApplicationTest, RestoreAllRunsPendingMessagesBetweenWindowsAndTheLastCommandWins) {
    StartInTray();
    TrayChoice(kTrayPanicId);
    test::FakeWindow late;
    late.caption = "Late";
    desktop.Add(0x50, late);
    desktop.SetForeground(0x50);
    static Application* target = nullptr;
    target = program.get();
    const UINT_PTR timer = SetTimer(nullptr, 0, 1, [](HWND, UINT, UINT_PTR id, DWORD) {
        KillTimer(nullptr, id);
        target->Run(core::Command::HideActiveWindow);
    });
    ASSERT_NE(timer, 0u);
    Sleep(20);  // the timer is due before the run starts

    TrayChoice(kTrayRestoreAllId);

    EXPECT_EQ(program->HiddenCount(), 1u);
    for (core::WindowId w : {0x40, 0x41, 0x42}) EXPECT_TRUE(desktop.IsVisible(w)) << w;
    EXPECT_FALSE(desktop.IsVisible(0x50));
    program->RefreshTrayMenu();
    EXPECT_EQ(EntryTexts(), std::vector<std::wstring>{L"Late"});
}

// A start after a crash takes back what the record says was left hidden, and lists it.
TEST_F(ApplicationTest, AStartTakesBackWhatACrashedRunLeftHidden) {
    desktop.At(kLast).visible = false;
    registry.PutString("Software\\Tarmel\\Quenvix\\Hidden", RecoveryValueName(),
                       "66 100 1000 200 0 Window 2\n");
    StartInTray();
    program->RefreshTrayMenu();
    EXPECT_EQ(EntryTexts(), std::vector<std::wstring>{L"Window 2"});
    TrayChoice(kTrayRestoreAllId);
    EXPECT_TRUE(desktop.IsVisible(kLast));
}

}  // namespace
}  // namespace quenvix::win
