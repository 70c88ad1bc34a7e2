// The program with fake system services: an in-memory registry, manual timers, a scripted
// desktop, a set of held keys and a shell icon call that only records. What is checked is what the
// user would see: windows hidden and back, the icon there or gone, the program ending or not.
#include "win/application.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
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
#include "dialog_script.h"
#include "fakes/fake_desktop.h"
#include "fakes/key_set.h"
#include "fakes/manual_timer.h"
#include "fakes/memory_registry.h"
#include "send_from_process.h"
#include "send_from_thread.h"
#include "win/app.h"
#include "win/cpu_counters.h"
#include "win/foreground.h"
#include "win/key_settings.h"
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
    void PumpPending() {
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE) && m.message != WM_QUIT &&
               PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&m);
        }
    }
    // The restore hotkey as the system delivers it once it knows its keys.
    void PressRestoreLast() {
        PostMessageW(program->Form(), WM_HOTKEY, KeySettings::kRestoreLastHotkeyId,
                     MAKELPARAM(MOD_CONTROL | MOD_SHIFT, VK_MULTIPLY));
        PumpPending();
    }
    void Ask(const char* question) {
        core::SettingsStore(registry, core::kSettingsKeyPath)
            .WriteBool(core::kDialogsSection, question, false);
    }
    // Runs `inDialog` with `steps` played in the dialog of class `dialogClass` it opens.
    template <class F>
    void WithDialog(const wchar_t* dialogClass, std::vector<test::DialogScript::Step> steps,
                    F&& inDialog) {
        static const wchar_t* wanted;
        wanted = dialogClass;
        test::DialogScript script(
            test::DialogScript::Ending{[] {
                                           const HWND found = FindWindowW(wanted, nullptr);
                                           return found && IsWindowVisible(found) ? found : nullptr;
                                       },
                                       [](HWND dialog) { PostMessageW(dialog, WM_CLOSE, 0, 0); }},
            std::move(steps));
        script.Play(std::forward<F>(inDialog));
        EXPECT_FALSE(script.EndedByScript()) << "the dialog did not end as the steps should have";
    }
    std::vector<std::string> Balloons() {
        std::vector<std::string> balloons;
        for (const std::string& event : Events()) {
            if (event.starts_with("balloon ")) balloons.push_back(event.substr(8));
        }
        return balloons;
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
                      [this](DWORD message, NOTIFYICONDATAW* data) {
                          if (message == NIM_ADD) Note("icon added");
                          if (message == NIM_DELETE) Note("icon removed");
                          if (message == NIM_MODIFY && (data->uFlags & NIF_INFO)) {
                              Note("balloon " + Narrow(data->szInfo));
                          } else if (message == NIM_MODIFY) {
                              Note("picture");
                          }
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

// Turning the automatic check on or off runs the start-up step again a second later, and this
// time the step ends with the window in the tray.
TEST_F(ApplicationTest, TurningTheAutomaticCheckOnOrOffSendsTheWindowIntoTheTrayASecondLater) {
    StartInTray();
    timers.Advance(1000);
    RunPendingMessages();
    program->ShowFromTray();
    Command(kMenuAutomaticCheckId);
    Command(kMenuAutomaticCheckId);  // on, and off again: no check goes out
    EXPECT_FALSE(program->InTray());
    timers.Advance(1000);
    RunPendingMessages();
    EXPECT_TRUE(program->InTray());
    EXPECT_FALSE(IsWindowVisible(program->Form()));
    // The next step, the start-up's own kind, leaves a shown window alone again.
    program->ShowFromTray();
    timers.Advance(1000);
    RunPendingMessages();
    EXPECT_FALSE(program->InTray());
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

    // RestoreLast: the system knows its keys, and only its WM_HOTKEY, which gives the window
    // brought back the right to the foreground, does the work; the detector's press does not.
    PressKeys({kControl, kShift, kMultiply});
    EXPECT_EQ(VisibleCount(), 0u);
    const bool free = RegisterHotKey(nullptr, 0x7000, MOD_CONTROL | MOD_SHIFT, VK_MULTIPLY);
    if (free) UnregisterHotKey(nullptr, 0x7000);
    EXPECT_FALSE(free) << "the restore hotkey is not registered with the system";
    PressRestoreLast();
    EXPECT_TRUE(desktop.IsVisible(kLast));  // only the newest comes back
    EXPECT_EQ(VisibleCount(), 1u);
    EXPECT_EQ(program->HiddenCount(), 2u);
}

// Keys another program registered first cannot be ours: the detector then serves them itself
// (the window comes back, without the foreground right).
TEST_F(ApplicationTest, ARestoreHotkeyTakenByAnotherProgramStillRestores) {
    ASSERT_TRUE(RegisterHotKey(nullptr, 0x7001, MOD_CONTROL | MOD_SHIFT, VK_MULTIPLY));
    Start();
    using namespace core::vk;
    PressKeys({kControl, kDivide});
    ASSERT_EQ(VisibleCount(), 0u);
    PressKeys({kControl, kShift, kMultiply});
    EXPECT_EQ(VisibleCount(), 1u);
    UnregisterHotKey(nullptr, 0x7001);
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
    PressRestoreLast();
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
    PressKeys({core::vk::kControl, core::vk::kDivide});  // HideAll
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
TEST_F(ApplicationTest, ARefusedHideIsToldOnceOnTheStatusLineAndByABalloon) {
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
    // The whole line is in view: the bar's one part reaches its right edge.
    RECT part{};
    SendMessageW(bar, SB_GETRECT, 0, reinterpret_cast<LPARAM>(&part));
    RECT whole{};
    GetClientRect(bar, &whole);
    EXPECT_GE(part.right, whole.right - 30);
    // The user hears of it where he looks, once for the window (after the first start's word on
    // where the icon is). The icon's calls are all made once it has gone.
    program.reset();
    ASSERT_TRUE(WaitForNote("icon removed"));
    ASSERT_EQ(Balloons().size(), 2u);
    EXPECT_EQ(Balloons()[1],
              "Windows did not let Quenvix hide Window 1: it runs as administrator.");
}

// The first start on a machine says where the icon is, once for good.
TEST_F(ApplicationTest, TheFirstStartAloneSaysWhereTheIconIs) {
    const auto count = [this](const std::string& event) {
        const auto events = Events();
        return std::count(events.begin(), events.end(), event);
    };
    StartInTray();
    ASSERT_TRUE(WaitForNote("picture"));
    const auto pictures = count("picture");
    program.reset();
    Start();
    // The icon's thread tells what waited for the icon in the pass that gives it its picture.
    for (int i = 0; i < 500 && count("picture") == pictures; ++i) Sleep(10);
    ASSERT_GT(count("picture"), pictures);
    program.reset();
    ASSERT_EQ(count("icon removed"), 2);
    ASSERT_EQ(Balloons().size(), 1u);
    EXPECT_TRUE(Balloons()[0].starts_with("Quenvix runs in the notification area."));
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

namespace quenvix::win {
namespace {

// Assistive tools press our buttons from their own process (UI Automation's Invoke sends
// BM_CLICK): Exit's question answered that way ends the program, once however often "OK" is
// pressed while it closes; a button of the settings window opens its dialog, whose buttons work
// the same way; and the same command sent straight to the window does nothing.
TEST_F(ApplicationTest, ButtonsPressedByAnotherProgramActLikeClicks) {
    Ask("AskToClose");
    StartInTray();
    program->ShowFromTray();
    const HWND change = FindWindowExW(FindWindowExW(program->Form(), nullptr, L"#32770", nullptr),
                                      nullptr, L"BUTTON", L"Change");
    ASSERT_NE(change, nullptr);
    bool recording = false;
    WithDialog(L"KeyRecordDialog", {[&](HWND dialog) {
                   recording = true;
                   return test::SendFromAnotherProcess(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0,
                                                       0);
               }},
               [&] { return test::SendFromAnotherProcess(change, BM_CLICK, 0, 0); });
    EXPECT_TRUE(recording);
    EXPECT_TRUE(IsWindowEnabled(program->Form()));
    const HWND startup = FindWindowExW(GetParent(change), nullptr, L"BUTTON", L"Run on startup");
    ASSERT_NE(startup, nullptr);
    test::SendFromAnotherThread(startup, BM_CLICK, 0, 0);
    EXPECT_TRUE(
        core::SettingsStore(registry, core::kSettingsKeyPath).ReadBool("Main", "Startup", false));

    ASSERT_TRUE(test::SendFromAnotherProcess(program->Form(), WM_COMMAND,
                                             MAKEWPARAM(GetDlgCtrlID(change), BN_CLICKED),
                                             reinterpret_cast<LPARAM>(change)));
    EXPECT_EQ(FindWindowW(L"KeyRecordDialog", nullptr) &&
                  IsWindowVisible(FindWindowW(L"KeyRecordDialog", nullptr)),
              false);

    TrayChoice(kTrayPanicId);
    ASSERT_EQ(VisibleCount(), 0u);
    WithDialog(L"QuenvixConfirmDlg", {[](HWND dialog) {
                   test::SendFromAnotherProcess(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0, 20);
                   return true;
               }},
               [&] {
                   TrayChoice(kTrayExitId);
                   return 0;
               });
    EXPECT_TRUE(QuitPosted());
    EXPECT_EQ(VisibleCount(), 3u);
    ASSERT_TRUE(WaitForNote("icon removed"));
    const auto events = Events();
    EXPECT_EQ(std::count(events.begin(), events.end(), "icon removed"), 1);
}

// The user starts the program again (its icon is out of sight): the settings window shows and
// comes forward, never the hidden window. With a question of ours open, it waits for the answer
// and then comes forward over everything.
TEST_F(ApplicationTest, ASecondStartShowsTheSettingsWindowOnceNoBoxIsOpen) {
    Ask("AskToClose");
    StartInTray();
    ASSERT_TRUE(CheckSingleInstance(
        L"QuenvixSecondStartTest." + std::to_wstring(GetCurrentProcessId()), program->Owner()));
    // What the second copy broadcasts, posted as the broadcast posts it.
    const auto secondStart = [this] {
        PostMessageW(program->Owner().Hwnd(), InstanceMessage, 0, 0);
    };
    secondStart();
    PumpPending();
    EXPECT_FALSE(program->InTray());
    EXPECT_TRUE(IsWindowVisible(program->Form()));
    EXPECT_EQ(GetForegroundWindow(), program->Form());

    program->HideToTray();
    bool shownWhileAsked = true;
    WithDialog(L"QuenvixConfirmDlg",
               {[&](HWND) {
                    secondStart();
                    return true;
                },
                [&](HWND dialog) {
                    shownWhileAsked = IsWindowVisible(program->Form()) != FALSE;
                    return test::SendFromAnotherProcess(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0,
                                                        0);
                }},
               [&] {
                   TrayChoice(kTrayExitId);
                   return 0;
               });
    EXPECT_FALSE(shownWhileAsked);
    EXPECT_FALSE(QuitPosted());
    PumpPending();
    EXPECT_TRUE(IsWindowVisible(program->Form()));
    EXPECT_EQ(GetForegroundWindow(), program->Form());
}

}  // namespace
}  // namespace quenvix::win
