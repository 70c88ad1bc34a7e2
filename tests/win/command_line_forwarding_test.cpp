// The command pipe under Wine, with the real pipe, the real process token and the real message
// wait: the server is served by this thread's message loop as the program's is, clients run on
// threads of their own. Each test has its own pipe name, so that a running copy of the program (or
// another test) is never in the way.
#include <gtest/gtest.h>
#include <windows.h>
// (after windows.h)
#include <aclapi.h>

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/command_line.h"
#include "verb_window.h"
#include "win/command_line_forwarding.h"
#include "win/command_pipe.h"
#include "win/command_pipe_client.h"
#include "win/command_pipe_server.h"
#include "win/message_wait.h"

namespace quenvix::win {
namespace {

using core::CommandVerb;
using test::VerbWindow;

std::wstring TestPipeName(const wchar_t* test) {
    return L"\\\\.\\pipe\\QuenvixTest." + std::to_wstring(GetCurrentProcessId()) + L"." + test;
}

// Runs `client` on a thread of its own while this thread runs the program's message loop; the
// client wakes the loop when it is done. Every client has a bound, so this ends.
template <class Client>
void WhileServing(Client client) {
    const DWORD loopThread = GetCurrentThreadId();
    std::atomic<bool> done{false};
    std::thread thread([&] {
        client();
        done = true;
        PostThreadMessageW(loopThread, WM_NULL, 0, 0);
    });
    MSG msg;
    while (!done && WaitForNextMessage(msg) > 0) DispatchMessageW(&msg);
    thread.join();
    // The posted work of a taken verb.
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

// A client that sends whatever bytes it is given and reads an answer, each step bounded.
std::optional<int> SendRaw(const std::wstring& name, const std::vector<std::uint8_t>& bytes) {
    if (!WaitNamedPipeW(name.c_str(), 5000)) return {};
    HANDLE raw = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OVERLAPPED, nullptr);
    if (raw == INVALID_HANDLE_VALUE) return {};
    UniqueHandle pipe(raw);
    DWORD mode = PIPE_READMODE_MESSAGE;
    SetNamedPipeHandleState(pipe.get(), &mode, nullptr, nullptr);
    UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const auto step = [&](bool write, void* data, DWORD size) -> std::optional<DWORD> {
        OVERLAPPED overlapped{};
        overlapped.hEvent = event.get();
        ResetEvent(event.get());
        DWORD done = 0;
        const BOOL ok = write ? WriteFile(pipe.get(), data, size, nullptr, &overlapped)
                              : ReadFile(pipe.get(), data, size, nullptr, &overlapped);
        if (!ok && GetLastError() != ERROR_IO_PENDING) return {};
        if (WaitForSingleObject(event.get(), 5000) != WAIT_OBJECT_0)
            CancelIoEx(pipe.get(), &overlapped);
        if (!GetOverlappedResult(pipe.get(), &overlapped, &done, TRUE)) return {};
        return done;
    };
    std::vector<std::uint8_t> out = bytes;
    if (!step(true, out.data(), static_cast<DWORD>(out.size()))) return {};
    core::ForwardReply reply{};
    const auto read = step(false, reply.data(), static_cast<DWORD>(reply.size()));
    if (!read) return {};
    return core::DecodeForwardReply(reply.data(), *read);
}

std::vector<std::uint8_t> RequestBytes(CommandVerb verb) {
    const auto request = core::EncodeForwardedVerb(verb);
    return {request.begin(), request.end()};
}

TEST(CommandPipe, RequestOfThisUserIsAnsweredAndItsVerbRunsAfterwards) {
    const std::wstring name = TestPipeName(L"taken");
    VerbWindow window;
    ASSERT_NE(window.Hwnd(), nullptr);
    EXPECT_EQ(SendToRunningCopy(name, CommandVerb::Show), SendOutcome::NotRunning);

    CommandPipeServer server(name, [&](CommandVerb verb) { return window.Take(verb); });
    ASSERT_EQ(server.GetStatus(), CommandPipeServer::Status::Listening);
    std::vector<SendOutcome> outcomes;
    std::vector<std::size_t> ranWhenAnswered;
    WhileServing([&] {
        for (const CommandVerb verb : {CommandVerb::HideAll, CommandVerb::RestoreAll,
                                       CommandVerb::Show, CommandVerb::Exit}) {
            // "--exit" would wait for the serving process to end: this one does not.
            outcomes.push_back(SendToRunningCopy(name, verb, SendLimits{5000, 0}));
        }
    });
    EXPECT_EQ(outcomes, std::vector<SendOutcome>(4, SendOutcome::Taken));
    EXPECT_EQ(window.ran, (std::vector<CommandVerb>{CommandVerb::HideAll, CommandVerb::RestoreAll,
                                                    CommandVerb::Show, CommandVerb::Exit}));

    // After an exit nothing more runs, though the request is still answered.
    WhileServing([&] { outcomes.push_back(SendToRunningCopy(name, CommandVerb::HideAll)); });
    EXPECT_EQ(outcomes.back(), SendOutcome::Taken);
    EXPECT_EQ(window.ran.size(), 4u);
}

TEST(CommandPipe, MalformedRequestsAreRefusedWithoutAnAnswerAndTheServerGoesOn) {
    const std::wstring name = TestPipeName(L"malformed");
    VerbWindow window;
    CommandPipeServer server(name, [&](CommandVerb verb) { return window.Take(verb); });
    ASSERT_EQ(server.GetStatus(), CommandPipeServer::Status::Listening);

    const std::vector<std::uint8_t> good = RequestBytes(CommandVerb::RestoreAll);
    std::vector<std::uint8_t> huge(1 << 20, 0x5A);
    std::copy(good.begin(), good.end(), huge.begin());
    std::vector<std::uint8_t> wrongMagic = good;
    wrongMagic[0] ^= 0xFF;
    std::vector<std::uint8_t> unknownVerb = good;
    unknownVerb[6] = 0x7F;
    std::vector<std::uint8_t> longer = good;
    longer.push_back(0);
    const std::vector<std::vector<std::uint8_t>> malformed = {
        {good.begin(), good.begin() + good.size() / 2}, huge, wrongMagic, unknownVerb, longer,
        {'h', 'e', 'l', 'l', 'o', '!', '\r', '\n'},
    };
    std::vector<std::optional<int>> answers;
    std::optional<int> afterwards;
    WhileServing([&] {
        for (const auto& bytes : malformed) answers.push_back(SendRaw(name, bytes));
        afterwards = SendRaw(name, good);
    });
    for (std::size_t i = 0; i < answers.size(); ++i) EXPECT_FALSE(answers[i]) << "request " << i;
    EXPECT_EQ(window.taken, 1);
    EXPECT_EQ(afterwards, core::kExitDone);
    EXPECT_EQ(window.ran, std::vector<CommandVerb>{CommandVerb::RestoreAll});
}

TEST(CommandPipe, ClientThatSaysNothingIsDroppedForTheNextOne) {
    const std::wstring name = TestPipeName(L"silent");
    VerbWindow window;
    CommandPipeServer server(
        name, [&](CommandVerb verb) { return window.Take(verb); }, 300);
    ASSERT_EQ(server.GetStatus(), CommandPipeServer::Status::Listening);

    UniqueHandle silent(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
    ASSERT_NE(silent.get(), INVALID_HANDLE_VALUE);
    SendOutcome outcome = SendOutcome::NotTaken;
    // The next client's own patience is far beyond the server's bound for the silent one.
    WhileServing([&] { outcome = SendToRunningCopy(name, CommandVerb::Show, SendLimits{20000}); });
    EXPECT_EQ(outcome, SendOutcome::Taken);
    EXPECT_EQ(window.ran, std::vector<CommandVerb>{CommandVerb::Show});
    // The silent client was cut off, not merely passed over (a peek never blocks).
    DWORD waiting = 0;
    EXPECT_FALSE(PeekNamedPipe(silent.get(), nullptr, 0, nullptr, &waiting, nullptr));
}

TEST(CommandPipe, NameHeldByAnotherServerIsNeverShared) {
    const std::wstring name = TestPipeName(L"held");
    const auto refuse = [](CommandVerb) { return false; };
    {
        CommandPipeServer first(name, refuse);
        ASSERT_EQ(first.GetStatus(), CommandPipeServer::Status::Listening);
        CommandPipeServer second(name, refuse);
        EXPECT_EQ(second.GetStatus(), CommandPipeServer::Status::NameTaken);
    }
    // A pipe someone else made first, allowing more instances: still not ours to serve under.
    const HANDLE raw = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE,
                                        PIPE_UNLIMITED_INSTANCES, 64, 64, 0, nullptr);
    ASSERT_NE(raw, INVALID_HANDLE_VALUE);
    {
        UniqueHandle squatter(raw);
        CommandPipeServer ours(name, refuse);
        EXPECT_EQ(ours.GetStatus(), CommandPipeServer::Status::NameTaken);
    }
    // Once it is gone, the name is free again.
    CommandPipeServer later(name, refuse);
    EXPECT_EQ(later.GetStatus(), CommandPipeServer::Status::Listening);
}

TEST(CommandPipe, OpenOnlyToThisUserAndTheSystem) {
    const std::wstring name = TestPipeName(L"dacl");
    CommandPipeServer server(name, [](CommandVerb) { return false; });
    ASSERT_EQ(server.GetStatus(), CommandPipeServer::Status::Listening);
    UniqueHandle client(
        CreateFileW(name.c_str(), READ_CONTROL, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_NE(client.get(), INVALID_HANDLE_VALUE);
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(GetSecurityInfo(client.get(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, &dacl, nullptr, &descriptor),
              ERROR_SUCCESS);
    std::unique_ptr<void, decltype(&LocalFree)> owned(descriptor, &LocalFree);
    ASSERT_NE(dacl, nullptr);
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    UniqueHandle ownedToken(token);
    BYTE user[SECURITY_MAX_SID_SIZE + sizeof(TOKEN_USER)];
    DWORD size = 0;
    ASSERT_TRUE(GetTokenInformation(token, TokenUser, user, sizeof user, &size));
    BYTE system[SECURITY_MAX_SID_SIZE];
    DWORD systemSize = sizeof system;
    ASSERT_TRUE(CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &systemSize));
    // Only allowing entries, each for this user or the system: no Everyone, no anonymous account.
    EXPECT_EQ(dacl->AceCount, 2);
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
        ASSERT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
        PSID sid = &ace->SidStart;
        EXPECT_TRUE(EqualSid(sid, reinterpret_cast<TOKEN_USER*>(user)->User.Sid) ||
                    EqualSid(sid, system))
            << "entry " << i;
    }
    // The program's own name is per user and session.
    const std::wstring own = CommandPipeName();
    EXPECT_EQ(own.rfind(L"\\\\.\\pipe\\Quenvix.S-1-", 0), 0u) << own.c_str();
}

}  // namespace
}  // namespace quenvix::win
