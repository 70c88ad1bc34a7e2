// Messages whose lParam is a pointer, sent to a form from another thread: the form must neither
// read the pointer nor act on the message. The same messages from the form's own thread work.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "send_from_process.h"
#include "send_from_thread.h"
#include "win/ui.h"
// (after windows.h)
#include <commctrl.h>

namespace quenvix::win {
namespace {

using test::SendFromAnotherProcess;
using test::SendFromAnotherThread;

class ProbeForm : public FormWindow {
  public:
    ProbeForm() {
        CreateBound(L"QuenvixForgedMessageTest", WS_OVERLAPPEDWINDOW, 0, L"probe", 50, 50, 200, 100,
                    nullptr);
        AdoptDpi();
        SizeToClient(SIZE{200, 100}, WS_OVERLAPPEDWINDOW, 0);
        AddControl(L"BUTTON", L"x", WS_VISIBLE, 10, 10, 50, 20, 1);
    }
    int notices = 0;

  protected:
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg == WM_NOTIFY) {
            if (!SentByThisThread()) return 0;
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            if (header->code == NM_CLICK) ++notices;
            return 0;
        }
        return FormWindow::OnMessage(msg, wParam, lParam);
    }
};

RECT WindowRect(HWND hwnd) {
    RECT r{};
    GetWindowRect(hwnd, &r);
    return r;
}

TEST(ForgedMessages, PointersFromAnotherThreadAreNeitherReadNorActedOn) {
    ProbeForm form;
    ASSERT_TRUE(form.Hwnd());
    const RECT before = WindowRect(form.Hwnd());
    const UINT dpi = form.Dpi();
    const LPARAM garbage = 0x10;  // no readable memory there

    SendFromAnotherThread(form.Hwnd(), WM_NOTIFY, 1, garbage);
    SendFromAnotherThread(form.Hwnd(), WM_DPICHANGED, MAKEWPARAM(dpi * 2, dpi * 2), garbage);
    // A creation message to a window that exists: the object it points to is not ours.
    CREATESTRUCTW create{};
    create.lpCreateParams = reinterpret_cast<void*>(garbage);
    // Its caption would be taken by the default handling of a creation.
    create.lpszName = L"forged";
    create.style = WS_VSCROLL | WS_HSCROLL;
    SendFromAnotherThread(form.Hwnd(), WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&create));
    SendFromAnotherThread(form.Hwnd(), WM_CREATE, 0, reinterpret_cast<LPARAM>(&create));
    SendFromAnotherThread(form.Hwnd(), WM_NOTIFY, 1, garbage);
    // Posted, the creation message's pointer is no more ours.
    PostMessageW(form.Hwnd(), WM_NCCREATE, 0, garbage);
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
    EXPECT_EQ(GetWindowLongPtrW(form.Hwnd(), GWLP_USERDATA), reinterpret_cast<LONG_PTR>(&form));
    EXPECT_EQ(form.notices, 0);
    EXPECT_EQ(WindowText(form.Hwnd()), "probe");
    EXPECT_EQ(form.Dpi(), dpi);
    const RECT after = WindowRect(form.Hwnd());
    EXPECT_TRUE(EqualRect(&before, &after));
}

// The shell delivers its tray callback from its own process: whatever the program makes while it
// handles such a message (a question, the settings window's controls) must still be made.
class MakerForm : public FormWindow {
  public:
    static constexpr UINT kMake = WM_APP + 7;
    MakerForm() {
        CreateBound(L"QuenvixForgedMessageMaker", WS_OVERLAPPEDWINDOW, 0, L"maker", 50, 50, 200,
                    100, nullptr);
    }
    std::unique_ptr<ProbeForm> made;

  protected:
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg == kMake) {
            made = std::make_unique<ProbeForm>();
            return 0;
        }
        return FormWindow::OnMessage(msg, wParam, lParam);
    }
};

TEST(ForgedMessages, OurOwnWindowsAreMadeWhileWeHandleAnotherThreadsMessage) {
    MakerForm maker;
    ASSERT_TRUE(maker.Hwnd());
    SendFromAnotherThread(maker.Hwnd(), MakerForm::kMake, 0, 0);
    ASSERT_TRUE(maker.made);
    ASSERT_TRUE(maker.made->Hwnd());
    EXPECT_EQ(GetWindowLongPtrW(maker.made->Hwnd(), GWLP_USERDATA),
              reinterpret_cast<LONG_PTR>(maker.made.get()));
    // Its control was made and placed too.
    EXPECT_TRUE(FindWindowExW(maker.made->Hwnd(), nullptr, L"BUTTON", nullptr));
}

TEST(ForgedMessages, OurOwnNoticesAndDpiChangesStillWork) {
    ProbeForm form;
    NMHDR header{form.Hwnd(), 1, static_cast<UINT>(NM_CLICK)};
    SendMessageW(form.Hwnd(), WM_NOTIFY, 1, reinterpret_cast<LPARAM>(&header));
    EXPECT_EQ(form.notices, 1);

    const UINT dpi = form.Dpi();
    const RECT before = WindowRect(form.Hwnd());
    // The rectangle that comes with the message is ignored: the size follows from the DPI.
    RECT bogus{0, 0, 1, 1};
    SendMessageW(form.Hwnd(), WM_DPICHANGED, MAKEWPARAM(dpi * 2, dpi * 2),
                 reinterpret_cast<LPARAM>(&bogus));
    EXPECT_EQ(form.Dpi(), dpi * 2);
    const RECT after = WindowRect(form.Hwnd());
    EXPECT_EQ(after.left, before.left);
    EXPECT_EQ(after.top, before.top);
    RECT client{};
    GetClientRect(form.Hwnd(), &client);
    // At least twice the 96-DPI client size; more by a frame's worth where the system draws
    // frames at another DPI than the one it reported (Wine does).
    EXPECT_GE(client.right, 400);
    EXPECT_GE(client.bottom, 200);
    EXPECT_LT(client.right, 440);
    EXPECT_LT(client.bottom, 250);
    // Not a DPI a monitor can have: nothing changes.
    SendMessageW(form.Hwnd(), WM_DPICHANGED, MAKEWPARAM(5000, 5000), 0);
    EXPECT_EQ(form.Dpi(), dpi * 2);
}

// What other programs post: with the filter in place nothing reaches a window of ours, whatever
// loop takes it, except the choice the user makes in a menu of ours.
class CommandForm : public FormWindow {
  public:
    CommandForm() {
        CreateBound(L"QuenvixForgedCommandTest", WS_OVERLAPPEDWINDOW, 0, L"commands", 50, 50, 200,
                    100, nullptr);
        button = AddControl(L"BUTTON", L"x", WS_VISIBLE, 10, 10, 50, 20, 5);
    }
    HWND button = nullptr;
    std::vector<int> commands;
    int destroys = 0;

  protected:
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg == WM_COMMAND) {
            commands.push_back(LOWORD(wParam));
            return 0;
        }
        if (msg == WM_DESTROY) ++destroys;
        return FormWindow::OnMessage(msg, wParam, lParam);
    }
};

class Service : public ServiceWindow {
  public:
    Service() { CreateBound(L"QuenvixForgedServiceTest", 0, 0, L"", 0, 0, 0, 0, HWND_MESSAGE); }
};

void PumpPending() {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
}

TEST(ForgedMessages, PostedAndForeignCommandsDoNothingOurMenusAndControlsStillWork) {
    const ForgedPostFilter filter;
    CommandForm form;
    Service service;
    ASSERT_TRUE(form.Hwnd() && form.button && service.Hwnd());

    // Posted by anyone, commands, creation and destruction, pointers: none arrives.
    PostMessageW(form.Hwnd(), WM_COMMAND, MAKEWPARAM(42, 0), 0);
    PostMessageW(form.Hwnd(), WM_COMMAND, MAKEWPARAM(5, BN_CLICKED),
                 reinterpret_cast<LPARAM>(form.button));
    PostMessageW(form.Hwnd(), WM_DESTROY, 0, 0);
    PostMessageW(form.Hwnd(), WM_NOTIFY, 1, 0x10);
    PumpPending();
    // Sent from another thread, as another program would: the same.
    SendFromAnotherThread(form.Hwnd(), WM_COMMAND, MAKEWPARAM(43, 0), 0);
    SendFromAnotherThread(form.Hwnd(), WM_DESTROY, 0, 0);
    SendFromAnotherThread(form.Hwnd(), WM_NCDESTROY, 0, 0);
    // A close request to a window of the program's machinery is refused.
    SendFromAnotherThread(service.Hwnd(), WM_CLOSE, 0, 0);
    PostMessageW(service.Hwnd(), WM_CLOSE, 0, 0);
    PumpPending();
    EXPECT_TRUE(form.commands.empty());
    EXPECT_EQ(form.destroys, 0);
    EXPECT_EQ(GetWindowLongPtrW(form.Hwnd(), GWLP_USERDATA), reinterpret_cast<LONG_PTR>(&form));
    EXPECT_TRUE(IsWindow(service.Hwnd()));

    // A click of our own control arrives, and a WM_COMMAND naming a control of another window
    // does not.
    SendMessageW(form.button, BM_CLICK, 0, 0);
    PumpPending();
    EXPECT_EQ(form.commands, std::vector<int>{5});
    CommandForm other;
    SendMessageW(form.Hwnd(), WM_COMMAND, MAKEWPARAM(6, BN_CLICKED),
                 reinterpret_cast<LPARAM>(other.button));
    EXPECT_EQ(form.commands, std::vector<int>{5});

    // A menu that posts its choice, as the menu bar does: chosen with the keyboard, its
    // WM_COMMAND arrives once, and the same command posted again afterwards does not.
    UniqueMenu menu(CreatePopupMenu());
    AppendMenuW(menu.get(), MF_STRING, 71, L"First");
    AppendMenuW(menu.get(), MF_STRING, 72, L"Second");
    static HWND target;
    target = form.Hwnd();
    SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR id, DWORD) {
        KillTimer(nullptr, id);
        for (WPARAM key : {VK_DOWN, VK_DOWN, VK_RETURN}) {
            PostMessageW(target, WM_KEYDOWN, key, 0);
            PostMessageW(target, WM_KEYUP, key, 0xC0000000);
        }
    });
    SetForegroundWindow(form.Hwnd());
    TrackPopupMenuEx(menu.get(), 0, 60, 60, form.Hwnd(), nullptr);
    PumpPending();
    PostMessageW(form.Hwnd(), WM_COMMAND, MAKEWPARAM(72, 0), 0);
    PumpPending();
    EXPECT_EQ(form.commands, (std::vector<int>{5, 72}));
}

// An assistive tool presses a button by sending it BM_CLICK from its own process (UI Automation's
// Invoke does): the click is the user's, and the window acts on it exactly as on a mouse click.
// What no tool needs, a command naming our control sent straight to the window, does nothing; nor
// does a click on a button the user could not click.
TEST(ForgedMessages, AButtonPressedByAnotherProgramActsLikeAClickItsCommandSentDirectlyDoesNot) {
    const ForgedPostFilter filter;
    CommandForm form;
    ASSERT_TRUE(form.Hwnd() && form.button);

    SendFromAnotherThread(form.button, BM_CLICK, 0, 0);
    ASSERT_TRUE(SendFromAnotherProcess(form.button, BM_CLICK, 0, 0));
    PumpPending();
    EXPECT_EQ(form.commands, (std::vector<int>{5, 5}));

    const WPARAM clicked = MAKEWPARAM(5, BN_CLICKED);
    const auto button = reinterpret_cast<LPARAM>(form.button);
    SendFromAnotherThread(form.Hwnd(), WM_COMMAND, clicked, button);
    ASSERT_TRUE(SendFromAnotherProcess(form.Hwnd(), WM_COMMAND, clicked, button));
    ASSERT_TRUE(SendFromAnotherProcess(form.Hwnd(), WM_COMMAND, MAKEWPARAM(43, 0), 0));
    PumpPending();
    EXPECT_EQ(form.commands, (std::vector<int>{5, 5}));

    // Disabled, or in a window a modal box has disabled: no click, whoever sends it.
    EnableWindow(form.button, FALSE);
    SendFromAnotherThread(form.button, BM_CLICK, 0, 0);
    SendMessageW(form.button, BM_CLICK, 0, 0);
    EnableWindow(form.button, TRUE);
    EnableWindow(form.Hwnd(), FALSE);
    ASSERT_TRUE(SendFromAnotherProcess(form.button, BM_CLICK, 0, 0));
    EnableWindow(form.Hwnd(), TRUE);
    PumpPending();
    EXPECT_EQ(form.commands, (std::vector<int>{5, 5}));

    // Our own code inside another program's message still clicks: the origin is the message's.
    static HWND clickTarget;
    clickTarget = form.button;
    class Clicker : public ServiceWindow {
      public:
        Clicker() { CreateBound(L"QuenvixForgedClicker", 0, 0, L"", 0, 0, 0, 0, HWND_MESSAGE); }

      protected:
        LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
            if (msg == WM_APP) {
                SendMessageW(clickTarget, BM_CLICK, 0, 0);
                return 0;
            }
            return ServiceWindow::OnMessage(msg, wParam, lParam);
        }
    } clicker;
    SendFromAnotherThread(clicker.Hwnd(), WM_APP, 0, 0);
    EXPECT_EQ(form.commands, (std::vector<int>{5, 5, 5}));
}

// The open menu's window of this thread, looked for from another thread for at most 5 s.
HWND WaitForMenuWindow() {
    for (int i = 0; i < 200; ++i) {
        HWND menu = FindWindowW(L"#32768", nullptr);
        if (menu && IsWindowVisible(menu)) return menu;
        Sleep(25);
    }
    return nullptr;
}

// Another program's orders to the window of an open menu of ours: the menu stays as it was, the
// keyboard still closes it, and menus open again afterwards.
TEST(ForgedMessages, OrdersToAnOpenMenuLeaveItAndLaterMenusWorking) {
    const ForgedPostFilter filter;
    CommandForm form;
    UniqueMenu menu(CreatePopupMenu());
    AppendMenuW(menu.get(), MF_STRING, 71, L"First");
    const HWND owner = form.Hwnd();

    std::atomic<bool> survived{false};
    std::thread other([&] {
        const HWND menuWindow = WaitForMenuWindow();
        if (menuWindow) {
            DWORD_PTR result = 0;
            SendMessageTimeoutW(menuWindow, WM_CLOSE, 0, 0, SMTO_NORMAL, 2000, &result);
            survived = IsWindow(menuWindow) != FALSE;
            PostMessageW(menuWindow, WM_CLOSE, 0, 0);
            // Wine's "this window shows that menu" and the system's "select this item".
            for (UINT steer : {static_cast<UINT>(WM_USER), 0x1E5u}) {
                SendMessageTimeoutW(menuWindow, steer, 0x1234, 0, SMTO_NORMAL, 2000, &result);
                PostMessageW(menuWindow, steer, 0x1234, 0);
            }
        }
        PostMessageW(owner, WM_KEYDOWN, VK_ESCAPE, 0);
    });
    SetForegroundWindow(owner);
    TrackPopupMenuEx(menu.get(), TPM_RETURNCMD, 60, 60, owner, nullptr);
    other.join();
    EXPECT_TRUE(survived);

    // The next menu shows, and the keyboard closes it as usual.
    std::atomic<bool> shown{false};
    std::thread watcher([&] {
        shown = WaitForMenuWindow() != nullptr;
        PostMessageW(owner, WM_KEYDOWN, VK_ESCAPE, 0);
    });
    TrackPopupMenuEx(menu.get(), TPM_RETURNCMD, 60, 60, owner, nullptr);
    watcher.join();
    EXPECT_TRUE(shown);
}

}  // namespace
}  // namespace quenvix::win
