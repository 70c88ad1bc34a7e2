// The tray icon with its real thread and hidden window, on the path the program takes: the icon
// added, its picture and tip, the shell's restart, the clicks and the popup menu, the removal. The
// shell call is replaced by a recording shell (tray_shell.h).
#include "win/tray_icon.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <wtsapi32.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "core/cpu_gauge.h"
#include "icon_pixels.h"
#include "tray_shell.h"
#include "win/cpu_gauge_view.h"
#include "win/message_wait.h"
#include "win/session_notice.h"
#include "win/taskbar.h"
#include "win/ui.h"

namespace quenvix::win {
namespace {

using namespace tray_test;
using test::Difference;

struct TrayIconFixture : ::testing::Test {
    RecordingShell shell;
    std::unique_ptr<TrayIcon> icon = std::make_unique<TrayIcon>(desktop, foreground, shell.Fn());
};

// ---- the icon's life ------------------------------------------------------------------------

TEST_F(TrayIconFixture, ActivatingAddsTheIconAndGivesItTipAndPictureDeactivatingRemovesIt) {
    auto list = ListOf({50.5});
    icon->SetHint("Click mouse to show the menu");
    icon->SetImageList(list);
    EXPECT_TRUE(shell.Calls().empty()) << "an inactive icon makes no shell call";

    icon->SetActive(true);
    ASSERT_TRUE(shell.WaitForCount(NIM_MODIFY, 1));
    std::vector<ShellCall> calls = shell.Calls();
    const ShellCall& add = calls[0];
    EXPECT_EQ(add.message, static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(add.data.cbSize, sizeof(NOTIFYICONDATAW));
    EXPECT_EQ(add.data.hWnd, icon->Window());
    EXPECT_EQ(add.data.uID, kTrayIconId);
    EXPECT_EQ(add.data.uFlags, static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP));
    EXPECT_EQ(add.data.uCallbackMessage, 1124u);
    // Then the version that reports the keyboard's selections, and the tip and picture.
    EXPECT_EQ(calls[1].message, static_cast<DWORD>(NIM_SETVERSION));
    EXPECT_EQ(calls[1].data.uVersion, static_cast<UINT>(NOTIFYICON_VERSION));
    ASSERT_GE(calls.size(), 3u);
    const ShellCall& modify = calls[2];
    EXPECT_EQ(modify.message, static_cast<DWORD>(NIM_MODIFY));
    EXPECT_EQ(Tip(modify), L"Click mouse to show the menu");
    EXPECT_EQ(Difference(modify.icon, core::DrawCPUGauge(50.5)), "");

    icon->SetActive(false);
    calls = shell.Calls();
    EXPECT_EQ(calls.back().message, static_cast<DWORD>(NIM_DELETE));
    EXPECT_FALSE(shell.Present());
    const std::size_t total = calls.size();
    Sleep(200);
    EXPECT_EQ(shell.Calls().size(), total) << "nothing may follow the removal";
}

TEST_F(TrayIconFixture, AStillIconOnlyCallsTheShellForARealChange) {
    auto list = ListOf({0.0, 100.5});
    icon->SetImageList(list);
    icon->SetHint("one");
    icon->SetActive(true);
    ASSERT_TRUE(shell.WaitForCount(NIM_MODIFY, 1));
    icon->SetHint("one");  // unchanged: no new data for the thread
    icon->SetIconIndex(0);
    Sleep(300);  // six polling passes
    EXPECT_EQ(shell.Count(NIM_MODIFY), 1u);

    icon->SetIconIndex(1);
    ASSERT_TRUE(shell.WaitForCount(NIM_MODIFY, 2));
    EXPECT_EQ(Difference(shell.Calls().back().icon, core::DrawCPUGauge(100.5)), "");
    icon->SetHint("two");
    ASSERT_TRUE(shell.WaitForCount(NIM_MODIFY, 3));
    EXPECT_EQ(Tip(shell.Calls().back()), L"two");
}

TEST_F(TrayIconFixture, SettingAListStartsAtItsFirstImageAndNoListShowsNoIcon) {
    icon->SetImageList(ListOf({0.0, 100.5}));
    icon->SetIconIndex(1);
    auto other = ListOf({50.5, 100.5});
    icon->SetImageList(other);
    EXPECT_EQ(icon->IconIndex(), 0);
    icon->SetActive(true);
    ASSERT_TRUE(shell.WaitForCount(NIM_MODIFY, 1));
    EXPECT_EQ(Difference(shell.Calls().back().icon, core::DrawCPUGauge(50.5)), "");

    icon->SetImageList(nullptr);
    ASSERT_TRUE(shell.WaitForCount(NIM_MODIFY, 2));
    EXPECT_EQ(shell.Calls().back().data.hIcon, nullptr);
}

TEST_F(TrayIconFixture, TheTipHoldsTheFirstSixtyFourCharactersWithoutSplittingAny) {
    icon->SetHint(std::string(70, 'x'));
    icon->SetActive(true);
    ASSERT_TRUE(shell.WaitForCount(NIM_MODIFY, 1));
    EXPECT_EQ(Tip(shell.Calls().back()), std::wstring(64, L'x'));

    // Two bytes each in UTF-8, one unit each in the tip.
    std::string accents;
    for (int i = 0; i < 70; ++i) accents += "\xC3\xA9";  // é
    icon->SetHint(accents);
    ASSERT_TRUE(shell.WaitForCount(NIM_MODIFY, 2));
    EXPECT_EQ(Tip(shell.Calls().back()), std::wstring(64, L'\u00E9'));

    // Characters beyond the basic plane take two units: 64 of them would overflow the field,
    // so one fewer is shown, and never half of one.
    std::string faces;
    for (int i = 0; i < 70; ++i) faces += "\xF0\x9F\x98\x80";  // U+1F600
    icon->SetHint(faces);
    ASSERT_TRUE(shell.WaitForCount(NIM_MODIFY, 3));
    std::wstring expected;
    for (int i = 0; i < 63; ++i) expected += L"\xD83D\xDE00";
    EXPECT_EQ(Tip(shell.Calls().back()), expected);
}

TEST_F(TrayIconFixture, StoppingDuringALongPauseReturnsAtOnce) {
    icon->SetImageList(ListOf({50.5}));
    icon->SetAnimated(true);
    icon->SetAnimateDelay(120'000);
    icon->SetActive(true);
    ASSERT_TRUE(shell.WaitForCount(NIM_MODIFY, 1));
    Sleep(50);  // the thread is now well inside its two-minute pause
    const auto start = std::chrono::steady_clock::now();
    icon->SetActive(false);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(shell.Calls().back().message, static_cast<DWORD>(NIM_DELETE));
    // A stop that sat out the pause would take two minutes.
    EXPECT_LT(waited, 60s);
}

TEST_F(TrayIconFixture, AStillIconSleepsUntilItsPictureOrTipChangesThenShowsItAtOnce) {
    auto list = ListOf({0.0});
    icon->SetImageList(list);
    icon->SetAnimated(true);  // one picture: nothing to animate, the delay does not matter
    icon->SetAnimateDelay(120'000);
    icon->SetActive(true);
    ASSERT_TRUE(shell.WaitForCount(NIM_MODIFY, 1));
    ReplaceImage0(*list, 100.5);
    ASSERT_TRUE(shell.WaitForCount(NIM_MODIFY, 2));
    EXPECT_EQ(Difference(shell.Calls().back().icon, core::DrawCPUGauge(100.5)), "");
    icon->SetHint("new tip");
    ASSERT_TRUE(shell.WaitForCount(NIM_MODIFY, 3));
    EXPECT_EQ(Tip(shell.Calls().back()), L"new tip");
    // A list that is no longer the icon's wakes nothing.
    icon->SetImageList(ListOf({50.5}));
    ASSERT_TRUE(shell.WaitForCount(NIM_MODIFY, 4));
    ReplaceImage0(*list, 0.0);
    Sleep(200);
    EXPECT_EQ(shell.Count(NIM_MODIFY), 4u);
}

TEST_F(TrayIconFixture, APictureUpdateRunsOnTheIconsOwnThreadOnlyWhileTheIconShows) {
    auto list = ListOf({0.0});
    icon->SetImageList(list);
    std::atomic<int> runs{0};
    std::atomic<DWORD> runner{0};
    // The first run fails, the second draws a full gauge, the fourth says it can never work here.
    icon->SetPictureUpdate(
        [&runs, &runner, list] {
            runner = GetCurrentThreadId();
            const int run = ++runs;
            if (run == 1) throw std::runtime_error("drawing failed");
            if (run == 2) {
                const PictureBitmaps bitmaps = MakePictureBitmaps(core::DrawCPUGauge(100.5), 16);
                list->Replace(0, MakeSharedIcon(bitmaps.image.get(), bitmaps.mask.get()));
            }
            return run < 4;
        },
        20);
    Sleep(100);
    EXPECT_EQ(runs, 0) << "an icon that is not shown needs no picture";

    icon->SetActive(true);
    // This thread takes no messages meanwhile: the picture goes from the update to the shell
    // without it.
    ASSERT_TRUE(shell.WaitForCount(NIM_MODIFY, 2));
    EXPECT_EQ(Difference(shell.Calls().back().icon, core::DrawCPUGauge(100.5)), "");
    EXPECT_NE(runner, GetCurrentThreadId());
    for (int i = 0; i < 500 && runs < 4; ++i) Sleep(10);
    Sleep(200);
    EXPECT_EQ(runs, 4);
    icon->SetActive(false);
}

// Nobody sees the icon while the session is locked: the picture update stops at the lock and
// starts again at the unlock. The reports are fed as Windows sends them (Wine sends none).
TEST_F(TrayIconFixture, APictureUpdateStopsWhileTheSessionIsLocked) {
    icon->SetImageList(ListOf({0.0}));
    std::atomic<int> runs{0};
    icon->SetPictureUpdate(
        [&runs] {
            ++runs;
            return true;
        },
        20);
    icon->SetActive(true);
    for (int i = 0; i < 500 && runs < 2; ++i) Sleep(10);
    ASSERT_GE(runs, 2);

    HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    {
        SessionNotice notice(window, [this](bool seen) { icon->SetPictureUpdatePaused(!seen); });
        EXPECT_FALSE(notice.OnMessage(WM_TIMER, WTS_SESSION_LOCK));  // not its message
        EXPECT_TRUE(notice.OnMessage(WM_WTSSESSION_CHANGE, WTS_SESSION_LOCK));
        EXPECT_TRUE(icon->PictureUpdatePaused());
        Sleep(100);  // a run under way when the lock came may still end
        const int atLock = runs;
        Sleep(300);
        EXPECT_EQ(runs, atLock) << "the picture was updated while the session was locked";

        // Disconnected as well: unlocking alone does not make the desktop seen.
        notice.OnMessage(WM_WTSSESSION_CHANGE, WTS_CONSOLE_DISCONNECT);
        notice.OnMessage(WM_WTSSESSION_CHANGE, WTS_SESSION_UNLOCK);
        EXPECT_TRUE(icon->PictureUpdatePaused());
        notice.OnMessage(WM_WTSSESSION_CHANGE, WTS_CONSOLE_CONNECT);
        EXPECT_FALSE(icon->PictureUpdatePaused());
        for (int i = 0; i < 500 && runs <= atLock; ++i) Sleep(10);
        EXPECT_GT(runs, atLock);
    }
    DestroyWindow(window);
    icon->SetActive(false);
}

TEST(TrayIconStop, AShellThatHangsOnTheRemovalIsGivenUpOn) {
    struct Hang {
        UniqueHandle release{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
        std::atomic<bool> added{false}, inDelete{false}, finished{false};
    };
    // Shared with the icon's thread, which may outlive the icon.
    auto hang = std::make_shared<Hang>();
    auto icon =
        std::make_unique<TrayIcon>(desktop, foreground, [hang](DWORD message, NOTIFYICONDATAW*) {
            if (message == NIM_DELETE) {
                hang->inDelete = true;
                WaitForSingleObject(hang->release.get(), 30'000);
                hang->finished = true;
            }
            hang->added = true;
            return TRUE;
        });
    icon->SetImageList(ListOf({0.0}));
    icon->SetActive(true);
    for (int i = 0; i < 500 && !hang->added; ++i) Sleep(10);
    ASSERT_TRUE(hang->added);
    icon->SetActive(false);  // an endless wait would hang the test here
    EXPECT_TRUE(hang->inDelete);
    EXPECT_FALSE(hang->finished);
    icon.reset();
    SetEvent(hang->release.get());
    for (int i = 0; i < 500 && !hang->finished; ++i) Sleep(10);
    EXPECT_TRUE(hang->finished);
}

// ---- animation ------------------------------------------------------------------------------

TEST_F(TrayIconFixture, AReplacedImageReachesTheShellWithinOneDelayAndAnUnchangedOneNever) {
    auto list = ListOf({0.0});
    icon->SetImageList(list);
    icon->SetAnimated(true);
    icon->SetAnimateDelay(40);
    icon->SetActive(true);
    ASSERT_TRUE(shell.WaitForCount(NIM_MODIFY, 1));
    // The same picture frame after frame costs no shell call.
    Sleep(400);
    EXPECT_EQ(shell.Count(NIM_MODIFY), 1u);

    ReplaceImage0(*list, 100.5);
    ASSERT_TRUE(shell.WaitForCount(NIM_MODIFY, 2));
    EXPECT_EQ(Difference(shell.Calls().back().icon, core::DrawCPUGauge(100.5)), "");
    Sleep(200);
    EXPECT_EQ(shell.Count(NIM_MODIFY), 2u);
}

TEST_F(TrayIconFixture, AnAnimatedIconCyclesThroughTheWholeList) {
    icon->SetImageList(ListOf({0.0, 50.5, 100.5}));
    icon->SetIconIndex(2);  // ignored while animated
    icon->SetAnimated(true);
    icon->SetAnimateDelay(10);
    icon->SetActive(true);
    ASSERT_TRUE(shell.WaitForCount(NIM_MODIFY, 5));
    icon->SetActive(false);
    std::vector<ShellCall> frames;
    for (const ShellCall& c : shell.Calls()) {
        if (c.message == NIM_MODIFY) frames.push_back(c);
    }
    const double loads[] = {0.0, 50.5, 100.5};
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(Difference(frames[i].icon, core::DrawCPUGauge(loads[i % 3])), "")
            << "frame " << i;
    }
}

TEST_F(TrayIconFixture, SwitchingAnimationOffKeepsTheLastFrame) {
    auto list = ListOf({0.0, 100.5});
    icon->SetImageList(list);
    icon->SetAnimated(true);
    icon->SetAnimateDelay(20);
    icon->SetActive(true);
    ASSERT_TRUE(shell.WaitForCount(NIM_MODIFY, 3));
    icon->SetAnimated(false);
    Sleep(100);  // a frame may have been under way
    const std::size_t shown = shell.Count(NIM_MODIFY);
    Sleep(300);
    EXPECT_EQ(shell.Count(NIM_MODIFY), shown);
}

// ---- the shell going away and coming back -----------------------------------------------------

TEST_F(TrayIconFixture, TheIconIsAddedAgainWhenTheTaskbarIsCreated) {
    auto list = ListOf({50.5});
    icon->SetImageList(list);
    icon->SetHint("tip");
    icon->SetActive(true);
    ASSERT_TRUE(shell.WaitForCount(NIM_MODIFY, 1));

    shell.Forget();
    SendMessageW(icon->Window(), RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    ASSERT_TRUE(shell.WaitForCount(NIM_ADD, 2));
    const auto calls = shell.Calls();
    const ShellCall readd =
        *std::find_if(calls.rbegin(), calls.rend(), [](auto& c) { return c.message == NIM_ADD; });
    EXPECT_EQ(readd.message, static_cast<DWORD>(NIM_ADD));
    EXPECT_TRUE(readd.result);
    // The new icon comes complete, without waiting for a change.
    EXPECT_EQ(Tip(readd), L"tip");
    EXPECT_EQ(Difference(readd.icon, core::DrawCPUGauge(50.5)), "");
    EXPECT_TRUE(shell.Present());
}

TEST_F(TrayIconFixture, ATaskbarCreatedWhileTheIconIsStillThereOnlyRefreshesIt) {
    icon->SetActive(true);
    ASSERT_TRUE(shell.WaitForCount(NIM_MODIFY, 1));
    const std::size_t modifies = shell.Count(NIM_MODIFY);
    SendMessageW(icon->Window(), RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    ASSERT_TRUE(shell.WaitForCount(NIM_MODIFY, modifies + 1));
    Sleep(1500);  // no retrying: the icon is known to be present
    EXPECT_EQ(shell.Count(NIM_ADD), 2u);
}

TEST_F(TrayIconFixture, AFailedAddIsRetriedUntilTheShellTakesIt) {
    shell.refuseAdds = 2;
    icon->SetHint("late");
    icon->SetActive(true);
    ASSERT_TRUE(shell.WaitForCount(NIM_ADD, 3));
    const std::vector<ShellCall> calls = shell.Calls();
    std::vector<BOOL> adds;
    for (const ShellCall& c : calls) {
        if (c.message == NIM_ADD) adds.push_back(c.result);
    }
    EXPECT_EQ(adds, (std::vector<BOOL>{FALSE, FALSE, TRUE}));
    EXPECT_EQ(Tip(calls.back()), L"late");
    EXPECT_TRUE(shell.Present());
    // Once in, it stays in: no more adds.
    Sleep(1500);
    EXPECT_EQ(shell.Count(NIM_ADD), 3u);
}

TEST(TrayIconRealShell, TheShellAcceptsTheIcon) {
    RecordingShell shell;
    shell.real = true;
    TrayIcon icon(desktop, foreground, shell.Fn());
    icon.SetImageList(CreateCpuImageList());
    icon.SetHint("Click mouse to show the menu");
    icon.SetActive(true);
    ASSERT_TRUE(shell.WaitForCount(NIM_MODIFY, 1));
    icon.SetActive(false);
    std::vector<DWORD> messages;
    std::vector<BOOL> results;
    for (const ShellCall& c : shell.Calls()) {
        messages.push_back(c.message);
        results.push_back(c.result);
    }
    EXPECT_EQ(messages, (std::vector<DWORD>{NIM_ADD, NIM_SETVERSION, NIM_MODIFY, NIM_DELETE}));
    EXPECT_EQ(results, (std::vector<BOOL>{TRUE, TRUE, TRUE, TRUE}));
}

// ---- mouse actions ----------------------------------------------------------------------------

// A form with a control, made the way the settings window is made at its first showing.
class ProbeForm : public FormWindow {
  public:
    ProbeForm() {
        CreateBound(L"QuenvixTrayProbeForm", WS_OVERLAPPEDWINDOW, 0, L"probe", 50, 50, 200, 100,
                    nullptr);
        if (Hwnd()) button = AddControl(L"BUTTON", L"x", WS_VISIBLE, 10, 10, 50, 20, 1);
    }
    HWND button = nullptr;
};

struct ClickFixture : TrayIconFixture, ClickRecorder {
    ClickFixture() : ClickRecorder(*icon) {}
};

TEST_F(ClickFixture, WhatAClickSentFromAnotherThreadOpensIsCreatedAndBound) {
    // What a double click on the icon does in the program: a form with controls appears.
    std::unique_ptr<ProbeForm> form;
    icon->OnDblClick = [&] { form = std::make_unique<ProbeForm>(); };
    Deliver({WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP},
            Delivery::SentFromAnotherThread);
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (!form && std::chrono::steady_clock::now() < end) PumpFor(10ms);
    ASSERT_TRUE(form);
    ASSERT_TRUE(form->Hwnd());
    EXPECT_TRUE(form->button);
    EXPECT_EQ(GetWindowLongPtrW(form->Hwnd(), GWLP_USERDATA),
              reinterpret_cast<LONG_PTR>(form.get()));
}

TEST_F(ClickFixture, AChosenItemIsDeliveredAsACommandAfterTheMenuCloses) {
    icon->SetPopupMenu(menu.get());
    static HWND target;
    target = icon->Window();
    icon->OnPopup = [this] {
        events.push_back("popup");
        // Keys to the menu: down, down, Enter picks the second item.
        SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR id, DWORD) {
            KillTimer(nullptr, id);
            for (WPARAM key : {VK_DOWN, VK_DOWN, VK_RETURN}) {
                PostMessageW(target, WM_KEYDOWN, key, 0);
                PostMessageW(target, WM_KEYUP, key, 0xC0000000);
            }
        });
    };
    Deliver({WM_RBUTTONUP});
    ASSERT_TRUE(PumpUntilEvents(2));
    EXPECT_EQ(events, (std::vector<std::string>{"popup", "command 43"}));
}

TEST_F(ClickFixture, AClicksMenuIsUpdatedWhenItsButtonGoesDownAndNeverWhileOpen) {
    icon->SetPopupMenu(menu.get());
    icon->UpdateMenu = [this] { events.push_back("update"); };
    // A right click: the update runs before the button comes up, and not again after it.
    Deliver({WM_RBUTTONDOWN});
    ASSERT_TRUE(PumpUntilEvents(1));
    Deliver({WM_RBUTTONUP});
    ASSERT_TRUE(PumpUntilEvents(2));
    EXPECT_EQ(events, (std::vector<std::string>{"update", "popup"}));

    // A double click opens no menu, so a menu opened later by other means updates afresh.
    events.clear();
    Deliver({WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP});
    ASSERT_TRUE(PumpUntilEvents(2));
    icon->ShowPopupMenu(false);
    EXPECT_EQ(events, (std::vector<std::string>{"update", "dblclick", "update", "popup"}));

    // A left click's menu waits out the double-click time, and uses the update of its press.
    events.clear();
    SetDoubleClickTime(100);
    Deliver({WM_LBUTTONDOWN, WM_LBUTTONUP});
    ASSERT_TRUE(PumpUntilEvents(2));
    PumpFor(300ms);
    EXPECT_EQ(events, (std::vector<std::string>{"update", "popup"}));

    // A press on the icon while the menu is open changes nothing in the open menu, and the
    // next click still updates at its own press.
    events.clear();
    const std::function<void()> closeSoon = icon->OnPopup;
    icon->OnPopup = [&] {
        closeSoon();
        Deliver({WM_RBUTTONDOWN});
    };
    icon->ShowPopupMenu(false);
    PumpFor(300ms);
    icon->OnPopup = closeSoon;
    Deliver({WM_RBUTTONUP});
    ASSERT_TRUE(PumpUntilEvents(4));
    EXPECT_EQ(events, (std::vector<std::string>{"update", "popup", "update", "popup"}));
}

TEST_F(ClickFixture, AClickIsTakenAheadOfAFloodPostedBeforeIt) {
    icon->SetPopupMenu(menu.get());
    // What another program may post to our windows, faster than we take it.
    constexpr int kFlood = 5000;
    for (int i = 0; i < kFlood; ++i) PostMessageW(icon->Window(), WM_NULL, 0, 0);
    // As the shell reports a click: sent without waiting, from elsewhere.
    std::thread([window = icon->Window()] {
        SendNotifyMessageW(window, kTrayIconCallbackMessage, kTrayIconId, WM_RBUTTONUP);
    }).join();
    // The program's own loop: the menu opens from inside the wait, once the report is in.
    int dispatched = 0;
    MSG msg;
    while (events.empty() && dispatched < kFlood && WaitForNextMessage(msg) > 0) {
        DispatchMessageW(&msg);
        ++dispatched;
    }
    ASSERT_TRUE(PumpUntilEvents(1));
    EXPECT_EQ(events.front(), "popup");
    // Taking the sent report costs the one message the same peek returns.
    EXPECT_LE(dispatched, 2);
}

TEST_F(ClickFixture, ForgedWakeUpsAndTimerMessagesOpenNothing) {
    icon->SetPopupMenu(menu.get());
    for (int i = 0; i < 3; ++i) {
        PostMessageW(icon->Window(), kRunQueuedMouseActions, 0, 0);
        PostMessageW(icon->Window(), WM_TIMER, 1, 0);
        SendMessageW(icon->Window(), WM_TIMER, 1, 0);
    }
    PumpFor(300ms);
    EXPECT_TRUE(events.empty());
}

// ---- the keyboard ---------------------------------------------------------------------------

// An icon whose place on the screen the test knows (Wine's shell cannot say where its icons are).
class PlacedIcon : public TrayIcon {
  public:
    static constexpr RECT kPlace{600, 600, 616, 616};
    explicit PlacedIcon(ShellNotifyIconFn shell)
        : TrayIcon(desktop, foreground, std::move(shell)) {}

  protected:
    bool IconRect(RECT& rect) override {
        rect = kPlace;
        return true;
    }
};

struct KeyboardFixture : ::testing::Test {
    KeyboardFixture() {
        icon.SetImageList(ListOf({10}));
        icon.SetActive(true);
        icon.SetPopupMenu(clicks.menu.get());
        static RECT* seen;
        seen = &menuRect;
        icon.OnPopup = [this] {
            clicks.events.push_back("popup");
            // Where the menu opened, then Escape, from inside its loop.
            static HWND owner;
            owner = icon.Window();
            SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR id, DWORD) {
                KillTimer(nullptr, id);
                const HWND menuWindow = FindWindowW(L"#32768", nullptr);
                if (menuWindow) GetWindowRect(menuWindow, seen);
                PostMessageW(owner, WM_KEYDOWN, VK_ESCAPE, 0);
            });
        };
        SetCursorPos(40, 40);
    }
    RecordingShell shell;
    PlacedIcon icon{shell.Fn()};
    ClickRecorder clicks{icon};
    RECT menuRect{};
};

// Win + B, the arrows and Enter (or the menu key) select the icon: its menu opens beside the icon,
// wherever the mouse pointer is, and Escape hands the keyboard back to the notification area.
TEST_F(KeyboardFixture, TheKeyboardOpensTheMenuAtTheIconAndEscapeGivesTheFocusBack) {
    ASSERT_TRUE(shell.WaitForCount(NIM_SETVERSION, 1));
    for (UINT selection : {static_cast<UINT>(NIN_KEYSELECT), static_cast<UINT>(WM_CONTEXTMENU)}) {
        const std::size_t before = clicks.events.size();
        menuRect = RECT{};
        clicks.Deliver({selection});
        ASSERT_TRUE(clicks.PumpUntilEvents(before + 1)) << selection;
        PumpFor(200ms);
        // The icon is in the screen's lower right: the menu stands above it, its right edge at
        // the icon's.
        RECT overlap{};
        EXPECT_FALSE(IntersectRect(&overlap, &menuRect, &PlacedIcon::kPlace))
            << selection << ": " << menuRect.left << "," << menuRect.top << "," << menuRect.right
            << "," << menuRect.bottom;
        EXPECT_GT(menuRect.bottom, PlacedIcon::kPlace.top - 8) << selection;
        EXPECT_GT(menuRect.right, PlacedIcon::kPlace.left) << selection;
        EXPECT_LE(menuRect.right, PlacedIcon::kPlace.right + 8) << selection;
    }
    EXPECT_TRUE(shell.WaitForCount(NIM_SETFOCUS, 2));
    EXPECT_EQ(clicks.Count("popup"), 2u);
}

// After a click the shell reports it once more in the keyboard's words (NIN_SELECT, the context
// menu), and Enter reports its selection twice: each opens no second menu, and a menu the mouse
// opened does not send the focus to the notification area.
TEST_F(KeyboardFixture, EchoesOfAClickOrAKeyOpenNoSecondMenu) {
    ASSERT_TRUE(shell.WaitForCount(NIM_SETVERSION, 1));
    SetDoubleClickTime(100);
    clicks.Deliver({WM_RBUTTONDOWN, WM_RBUTTONUP, WM_CONTEXTMENU});
    clicks.Deliver({WM_LBUTTONDOWN, WM_LBUTTONUP, NIN_SELECT});
    PumpFor(600ms);
    EXPECT_EQ(clicks.Count("popup"), 2u);
    EXPECT_EQ(shell.Count(NIM_SETFOCUS), 0u);
    // Both reports of one Enter arrive together, before either is run.
    std::thread([window = icon.Window()] {
        for (int i = 0; i < 2; ++i) {
            SendNotifyMessageW(window, kTrayIconCallbackMessage, kTrayIconId, NIN_KEYSELECT);
        }
    }).join();
    PumpFor(600ms);
    EXPECT_EQ(clicks.Count("popup"), 3u);
}

// Where the caption animation of the settings window goes to and comes from.
TEST(TrayRectangle, IsOnScreenEvenWithoutANotificationAreaWindow) {
    const RECT tray = TrayRect();
    EXPECT_LT(tray.left, tray.right);
    EXPECT_LT(tray.top, tray.bottom);
    const int left = GetSystemMetrics(SM_XVIRTUALSCREEN), top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    const RECT screen{left, top, left + GetSystemMetrics(SM_CXVIRTUALSCREEN),
                      top + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
    RECT inside{};
    EXPECT_TRUE(IntersectRect(&inside, &tray, &screen));
    if (HWND taskbar = FindWindowW(L"Shell_TrayWnd", nullptr)) {
        RECT bar{};
        GetWindowRect(taskbar, &bar);
        EXPECT_TRUE(IntersectRect(&inside, &tray, &bar)) << "the tray lies on the taskbar";
    }
}

}  // namespace
}  // namespace quenvix::win
