// The command pipe while this thread runs a loop that is not ours: a popup menu (as the tray's)
// and a message box. A menu tells its owner when it is idle (WM_ENTERIDLE); Wine's message boxes
// tell nobody, and are looked into by a timer. Either way the request must be taken from there,
// with the real pipe and a client on a thread of its own, and its work must run outside an open
// menu.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/command_line.h"
#include "verb_window.h"
#include "win/command_line_forwarding.h"
#include "win/command_pipe_client.h"
#include "win/command_pipe_server.h"
#include "win/message_wait.h"
#include "win/ui.h"

namespace quenvix::win {
namespace {

using core::CommandVerb;
using test::VerbWindow;

constexpr wchar_t kBoxTitle[] = L"Quenvix loop test";

std::wstring TestPipeName(const wchar_t* test) {
    return L"\\\\.\\pipe\\QuenvixLoopTest." + std::to_wstring(GetCurrentProcessId()) + L"." + test;
}

// Sends `verb` from a thread of its own while `openLoop` runs a loop on this thread; once the
// client has its answer, `closeLoop` (on the client's thread) ends that loop whatever happened, so
// a loop that never served the pipe fails the test instead of hanging it.
template <class Open, class Close>
SendOutcome SendDuring(const std::wstring& name, CommandVerb verb, Open openLoop, Close closeLoop) {
    std::atomic<SendOutcome> outcome{SendOutcome::NotTaken};
    std::thread client([&] {
        outcome = SendToRunningCopy(name, verb);
        closeLoop();
    });
    openLoop();
    client.join();
    // The work of a taken verb comes from a posted message, after the loop.
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    return outcome;
}

TEST(CommandPipeInOtherLoops, TakenWhileAPopupMenuIsOpenAndRunOnceItHasClosed) {
    ForgedPostFilter filter;
    VerbWindow owner(true);
    const std::wstring name = TestPipeName(L"menu");
    CommandPipeServer server(name, [&](CommandVerb verb) { return owner.Take(verb); });
    ASSERT_EQ(server.GetStatus(), CommandPipeServer::Status::Listening);
    UniqueMenu menu(CreatePopupMenu());
    AppendMenuW(menu.get(), MF_STRING, 1, L"Restore all");
    AppendMenuW(menu.get(), MF_STRING, 2, L"Exit");

    UINT chosen = 0;
    const SendOutcome outcome = SendDuring(
        name, CommandVerb::RestoreAll,
        [&] {
            SetForegroundWindow(owner.Hwnd());
            chosen = static_cast<UINT>(TrackPopupMenuEx(menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON,
                                                        10, 10, owner.Hwnd(), nullptr));
        },
        [&] { PostMessageW(owner.Hwnd(), WM_KEYDOWN, VK_ESCAPE, 0); });

    EXPECT_EQ(outcome, SendOutcome::Taken);
    EXPECT_TRUE(owner.takenInMenu);
    // Closed for the request, with nothing chosen; the request ran after it.
    EXPECT_EQ(chosen, 0u);
    EXPECT_EQ(owner.ran, std::vector<CommandVerb>{CommandVerb::RestoreAll});
    EXPECT_EQ(owner.ranInMenu, std::vector<bool>{false});
}

TEST(CommandPipeInOtherLoops, TakenAndRunWhileAMessageBoxIsOpen) {
    VerbWindow owner(true);
    const std::wstring name = TestPipeName(L"box");
    CommandPipeServer server(name, [&](CommandVerb verb) { return owner.Take(verb); });
    ASSERT_EQ(server.GetStatus(), CommandPipeServer::Status::Listening);

    std::atomic<bool> boxSeen{false};
    const SendOutcome outcome = SendDuring(
        name, CommandVerb::HideAll,
        [&] { MessageBoxWhileServing(owner.Hwnd(), L"waiting", kBoxTitle, MB_OK); },
        [&] {
            // The box may not be up yet when a client that was never served gives up.
            for (int i = 0; i < 200; ++i) {
                if (HWND box = FindWindowW(L"#32770", kBoxTitle)) {
                    boxSeen = true;
                    PostMessageW(box, WM_CLOSE, 0, 0);
                    return;
                }
                Sleep(25);
            }
        });

    EXPECT_TRUE(boxSeen);
    EXPECT_EQ(outcome, SendOutcome::Taken);
    EXPECT_TRUE(owner.takenInMessageBox);
    EXPECT_EQ(owner.ran, std::vector<CommandVerb>{CommandVerb::HideAll});
}

}  // namespace
}  // namespace quenvix::win
