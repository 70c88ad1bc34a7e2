// The rest of the tray icon component, which the program does not use: button events with the
// icon's own click judging around them, the thread's priority, the menu's messages, and the owner
// minimised into the tray.
#include "win/tray_icon_extras.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "tray_shell.h"
#include "win/ui.h"

namespace quenvix::win {
namespace {

using namespace tray_test;

struct ExtendedIcon {
    RecordingShell shell;
    std::unique_ptr<ExtendedTrayIcon> icon =
        std::make_unique<ExtendedTrayIcon>(desktop, foreground, nullptr, shell.Fn());
};

// ---- button events ------------------------------------------------------------------------------

// The icon's click judging (double click, the wait of a single click) seen together with the
// button events around it.
struct MouseFixture : ::testing::Test, ExtendedIcon, ClickRecorder {
    MouseFixture() : ClickRecorder(*icon) {
        icon->OnMouseDown = [this](MouseButton b, ShiftState, int, int) {
            events.push_back("down " + Name(b));
        };
        icon->OnMouseUp = [this](MouseButton b, ShiftState, int, int) {
            events.push_back("up " + Name(b));
        };
    }
    static std::string Name(MouseButton b) {
        return b == MouseButton::Left ? "left" : b == MouseButton::Right ? "right" : "middle";
    }
};

TEST_F(MouseFixture, EveryDeliveryRaisesTheEventsInOrderAndADoubleClickOpensNoMenu) {
    // Longer than any pause between these messages, so the first click waits for the second.
    SetDoubleClickTime(5000);
    icon->SetPopupMenu(menu.get());
    for (Delivery how :
         {Delivery::NotifiedFromAnotherThread, Delivery::SentFromAnotherThread, Delivery::Posted}) {
        events.clear();
        Deliver({WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP, WM_RBUTTONDBLCLK,
                 WM_MBUTTONDOWN, WM_MBUTTONUP, WM_MOUSEMOVE},
                how);
        ASSERT_TRUE(PumpUntilEvents(6)) << static_cast<int>(how);
        PumpFor(100ms);
        EXPECT_EQ(events, (std::vector<std::string>{"down left", "up left", "dblclick", "up left",
                                                    "down middle", "up middle"}))
            << static_cast<int>(how);
    }
}

TEST_F(MouseFixture, ALeftClickWaitsForTheDoubleClickTimeARightClickDoesNot) {
    SetDoubleClickTime(5000);
    icon->SetPopupMenu(menu.get());
    Deliver({WM_LBUTTONDOWN, WM_LBUTTONUP});
    ASSERT_TRUE(PumpUntilEvents(2));
    EXPECT_EQ(Count("popup"), 0u) << "the menu opened before a second click could come";
    // A right click opens the menu at once, and the waiting left click is given up.
    Deliver({WM_RBUTTONDOWN, WM_RBUTTONUP});
    ASSERT_TRUE(PumpUntilEvents(5));
    EXPECT_EQ(events, (std::vector<std::string>{"down left", "up left", "down right", "up right",
                                                "popup"}));

    // Two clicks further apart than the double-click time are two clicks: the menu opens.
    SetDoubleClickTime(200);
    events.clear();
    Deliver({WM_LBUTTONDOWN, WM_LBUTTONUP});
    ASSERT_TRUE(PumpUntilEvents(3));
    Deliver({WM_LBUTTONDOWN, WM_LBUTTONUP});
    ASSERT_TRUE(PumpUntilEvents(6));
    EXPECT_EQ(events, (std::vector<std::string>{"down left", "up left", "popup", "down left",
                                                "up left", "popup"}));
    // The middle button opens nothing.
    Deliver({WM_MBUTTONUP});
    PumpFor(400ms);
    EXPECT_EQ(Count("popup"), 2u);
}

// ---- the thread's priority and the menu's messages -------------------------------------------

TEST(TrayIconExtras, TheThreadRunsAtItsPriorityFromTheStartAndAfterAChange) {
    RecordingShell shell;
    ExtendedTrayIcon icon(desktop, foreground, nullptr, shell.Fn());
    icon.SetImageList(ListOf({0.0}));
    // The picture update runs on the icon's thread: it reads that thread's priority.
    std::atomic<int> seen{THREAD_PRIORITY_ERROR_RETURN};
    icon.SetPictureUpdate(
        [&seen] {
            seen = GetThreadPriority(GetCurrentThread());
            return true;
        },
        20);
    icon.SetAnimatePriority(ThreadPriority::Lowest);
    icon.SetActive(true);
    for (int i = 0; i < 500 && seen != THREAD_PRIORITY_LOWEST; ++i) Sleep(10);
    EXPECT_EQ(seen, THREAD_PRIORITY_LOWEST);
    icon.SetAnimatePriority(ThreadPriority::Higher);
    for (int i = 0; i < 500 && seen != THREAD_PRIORITY_ABOVE_NORMAL; ++i) Sleep(10);
    EXPECT_EQ(seen, THREAD_PRIORITY_ABOVE_NORMAL);
    icon.SetActive(false);
}

TEST(TrayIconExtras, TheMenusMessagesReachItsHandlerButTheIconsOwnDoNot) {
    RecordingShell shell;
    ExtendedTrayIcon icon(desktop, foreground, nullptr, shell.Fn());
    std::vector<UINT> offered;
    icon.OnMenuMessage = [&offered](UINT msg, WPARAM, LPARAM, LRESULT& result) {
        offered.push_back(msg);
        result = 7;
        return msg == WM_MENUSELECT;
    };
    EXPECT_EQ(SendMessageW(icon.Window(), WM_MENUSELECT, MAKEWPARAM(0, 0xFFFF), 0), 7);
    SendMessageW(icon.Window(), kTrayIconCallbackMessage, kTrayIconId, WM_MOUSEMOVE);
    SendMessageW(icon.Window(), RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    const auto has = [&offered](UINT msg) {
        return std::find(offered.begin(), offered.end(), msg) != offered.end();
    };
    EXPECT_TRUE(has(WM_MENUSELECT));
    EXPECT_FALSE(has(kTrayIconCallbackMessage));
    EXPECT_FALSE(has(RegisterWindowMessageW(L"TaskbarCreated")));
}

// ---- minimising into the tray -----------------------------------------------------------------

class OwnerWindow {
  public:
    OwnerWindow() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"QuenvixTrayOwner";
        RegisterClassW(&wc);
        hwnd = CreateWindowExW(0, wc.lpszClassName, L"Owner", WS_OVERLAPPEDWINDOW, 100, 100, 300,
                               200, nullptr, nullptr, wc.hInstance, nullptr);
        ShowWindow(hwnd, SW_SHOWNORMAL);
    }
    ~OwnerWindow() { DestroyWindow(hwnd); }
    HWND hwnd;
};

TEST(TrayIconOwner, MinFormToTrayNeedsAWindowOfOurOwn) {
    RecordingShell shell;
    for (HWND owner : {HWND{nullptr}, GetDesktopWindow(), FindWindowW(L"Shell_TrayWnd", nullptr)}) {
        ExtendedTrayIcon icon(desktop, foreground, owner, shell.Fn());
        try {
            icon.SetMinimizeOwnerToTray(true);
            ADD_FAILURE() << "no error for owner " << owner;
        } catch (const TrayIconError& e) {
            EXPECT_STREQ(e.what(), "Owner must be a form");
        }
        EXPECT_FALSE(icon.MinimizeOwnerToTray());
    }
}

TEST(TrayIconOwner, MinimiseGoesToTheTrayAndALeftClickBringsItBack) {
    RecordingShell shell;
    OwnerWindow owner;
    ExtendedTrayIcon icon(desktop, foreground, owner.hwnd, shell.Fn());
    icon.SetMinimizeOwnerToTray(true);
    ASSERT_TRUE(icon.MinimizeOwnerToTray());

    SendMessageW(owner.hwnd, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_FALSE(IsWindowVisible(owner.hwnd));
    EXPECT_TRUE(icon.Active());
    ASSERT_TRUE(shell.WaitForCount(NIM_ADD, 1));

    SendMessageW(icon.Window(), kTrayIconCallbackMessage, kTrayIconId, WM_LBUTTONUP);
    PumpFor(100ms);
    EXPECT_TRUE(IsWindowVisible(owner.hwnd));
    EXPECT_FALSE(icon.Active());
    EXPECT_EQ(shell.Calls().back().message, static_cast<DWORD>(NIM_DELETE));

    // A minimise command with extra flag bits is the window's own business.
    SendMessageW(owner.hwnd, WM_SYSCOMMAND, SC_MINIMIZE | 2, 0);
    PumpFor(100ms);
    EXPECT_FALSE(icon.Active());
    EXPECT_TRUE(IsIconic(owner.hwnd));
    ShowWindow(owner.hwnd, SW_RESTORE);

    // Unhooked: minimising is ordinary again.
    icon.SetMinimizeOwnerToTray(false);
    SendMessageW(owner.hwnd, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_FALSE(icon.Active());
    EXPECT_TRUE(IsIconic(owner.hwnd));
}

TEST(TrayIconOwner, AMenuTakesPrecedenceOverRestoring) {
    RecordingShell shell;
    OwnerWindow owner;
    ExtendedTrayIcon icon(desktop, foreground, owner.hwnd, shell.Fn());
    icon.SetMinimizeOwnerToTray(true);
    SendMessageW(owner.hwnd, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    UniqueMenu menu(CreatePopupMenu());
    AppendMenuW(menu.get(), MF_STRING, 7, L"Item");
    icon.SetPopupMenu(menu.get());
    icon.OnPopup = [] {
        SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR id, DWORD) {
            KillTimer(nullptr, id);
            EndMenu();
        });
    };
    SendMessageW(icon.Window(), kTrayIconCallbackMessage, kTrayIconId, WM_LBUTTONUP);
    PumpFor(1500ms);
    EXPECT_TRUE(icon.Active());
    EXPECT_FALSE(IsWindowVisible(owner.hwnd));
}

}  // namespace
}  // namespace quenvix::win
