#include "loopback_server.h"
// (the server header brings in Winsock before windows.h)
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <iostream>
#include <vector>

#include "core/product.h"
#include "core/settings_store.h"
#include "fakes/memory_registry.h"
#include "win/http.h"
#include "win/update_dialog.h"

namespace quenvix::win {
namespace {

using test::HttpResponse;
using test::LoopbackServer;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

core::HttpRequest Request(const std::string& url, std::size_t maxBody = 64 * 1024) {
    core::HttpRequest request;
    request.url = url;
    request.headers = {{"Accept", "text/html, */*"},
                       {"User-Agent", "Mozilla/3.0 (compatible; Indy Library)"}};
    request.maxBodyBytes = maxBody;
    return request;
}

Win32HttpClient::Limits ShortLimits() {
    Win32HttpClient::Limits limits;
    limits.resolveMs = 2000;
    limits.connectMs = 2000;
    limits.sendMs = 2000;
    limits.receiveMs = 2000;
    limits.totalMs = 10000;
    return limits;
}

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (auto pos = text.find(part); pos != std::string::npos; pos = text.find(part, pos + 1)) ++n;
    return n;
}

TEST(Win32HttpClient, OkReplyGivesStatusAndBodyAndSendsTheRequestAsBuilt) {
    // A body with a NUL in it must come back whole.
    static const char kRaw[] = "Quenvix\r\n1.3\r\nhttp://a\r\nhttp://b\r\n\0x";
    const std::string body(kRaw, sizeof kRaw - 1);
    LoopbackServer server([&](const std::string&) { return HttpResponse("200 OK", body); });
    Win32HttpClient client(ShortLimits());
    const auto reply = client.Get(Request(
        server.Base() +
        "/Quenvix/UpdateInfo.php?currentversion=1.2&id={0A1B2C3D-0000-4000-8000-00000000ABCD}"));
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->status, 200);
    EXPECT_EQ(reply->body, body);

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    const auto& head = requests[0];
    // The braces reach the server as braces, not %7B / %7D.
    EXPECT_THAT(head, StartsWith("GET /Quenvix/UpdateInfo.php?currentversion=1.2&id="
                                 "{0A1B2C3D-0000-4000-8000-00000000ABCD} HTTP/1.1\r\n"));
    EXPECT_THAT(head, HasSubstr("\r\nAccept: text/html, */*\r\n"));
    EXPECT_THAT(head, HasSubstr("\r\nUser-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n"));
    EXPECT_EQ(Count(head, "User-Agent:"), 1u);
    EXPECT_EQ(Count(head, "Accept:"), 1u);
}

TEST(Win32HttpClient, NotFoundAndRedirectComeBackAsTheirStatus) {
    LoopbackServer server([](const std::string& head) -> std::optional<std::string> {
        if (head.find("GET /missing") == 0) return HttpResponse("404 Not Found", "gone");
        if (head.find("GET /moved") == 0) {
            return HttpResponse("302 Found", "elsewhere", "Location: /target\r\n");
        }
        return HttpResponse("200 OK", "target reached");
    });
    Win32HttpClient client(ShortLimits());

    const auto missing = client.Get(Request(server.Base() + "/missing"));
    ASSERT_TRUE(missing.has_value());
    EXPECT_EQ(missing->status, 404);

    const auto moved = client.Get(Request(server.Base() + "/moved"));
    ASSERT_TRUE(moved.has_value());
    EXPECT_EQ(moved->status, 302);
    EXPECT_THAT(moved->body, Not(HasSubstr("target reached")));
    // The redirect was not followed: the server saw exactly the two requests above.
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_THAT(requests[1], StartsWith("GET /moved "));
}

TEST(Win32HttpClient, BodyIsBoundedExactly) {
    LoopbackServer server([](const std::string& head) -> std::optional<std::string> {
        const std::size_t size = head.find("GET /big") == 0 ? 64 * 1024 + 1 : 64 * 1024;
        return HttpResponse("200 OK", std::string(size, 'x'));
    });
    Win32HttpClient client(ShortLimits());
    const auto atLimit = client.Get(Request(server.Base() + "/fits"));
    ASSERT_TRUE(atLimit.has_value());
    EXPECT_EQ(atLimit->body.size(), 64u * 1024u);
    EXPECT_FALSE(client.Get(Request(server.Base() + "/big")).has_value());
}

TEST(Win32HttpClient, SilentServerFailsInsteadOfHanging) {
    // The server accepts and never answers; without working time-outs this test never ends.
    LoopbackServer server(
        [](const std::string&) -> std::optional<std::string> { return std::nullopt; });
    Win32HttpClient client(ShortLimits());
    EXPECT_FALSE(client.Get(Request(server.Base() + "/silent")).has_value());
    EXPECT_EQ(server.Requests().size(), 1u);
}

TEST(Win32HttpClient, UnusableAddressesFailWithoutARequest) {
    LoopbackServer server([](const std::string&) { return HttpResponse("200 OK", "x"); });
    Win32HttpClient client(ShortLimits());
    EXPECT_FALSE(client.Get(Request("ftp://127.0.0.1:" + std::to_string(server.Port()) + "/x")));
    EXPECT_FALSE(client.Get(Request("not an address")));
    EXPECT_FALSE(client.Get(Request("")));
    // A header value with a line break would inject headers of its own.
    auto injected = Request(server.Base() + "/x");
    injected.headers.push_back({"Accept", "a\r\nX-Evil: 1"});
    EXPECT_FALSE(client.Get(injected));
    EXPECT_TRUE(server.Requests().empty());
}

// ---- the way out: the user's proxy ----------------------------------------------------------

// Stands in for WinHttpOpen: records the access types asked for and refuses those in `refused`.
struct OpenCalls {
    static inline std::vector<DWORD> types;
    static inline std::vector<DWORD> refused;
    static void* WINAPI Open(const wchar_t*, DWORD type, const wchar_t* proxy,
                             const wchar_t* bypass, DWORD) {
        types.push_back(type);
        // No named proxy is ever given: the user's settings decide.
        if (proxy || bypass) return nullptr;
        if (std::find(refused.begin(), refused.end(), type) != refused.end()) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        return reinterpret_cast<void*>(static_cast<std::uintptr_t>(0x100 + type));
    }
};

TEST(OpenProxiedSession, AsksForTheUsersProxySettingsAndFallsBackWhereTheyAreUnknown) {
    constexpr DWORD kAutomatic = 4, kDefault = 0;
    // Windows 8.1 and later: the automatic type, nothing else.
    OpenCalls::types.clear();
    OpenCalls::refused.clear();
    EXPECT_EQ(OpenProxiedSession(L"agent", &OpenCalls::Open), reinterpret_cast<void*>(0x104));
    EXPECT_EQ(OpenCalls::types, (std::vector<DWORD>{kAutomatic}));
    // An older system refuses it: the proxy configured for WinHTTP, never "no proxy".
    OpenCalls::types.clear();
    OpenCalls::refused = {kAutomatic};
    EXPECT_EQ(OpenProxiedSession(L"agent", &OpenCalls::Open), reinterpret_cast<void*>(0x100));
    EXPECT_EQ(OpenCalls::types, (std::vector<DWORD>{kAutomatic, kDefault}));
    // Refused both ways: no session, and the caller gives up on this check.
    OpenCalls::types.clear();
    OpenCalls::refused = {kAutomatic, kDefault};
    EXPECT_EQ(OpenProxiedSession(L"agent", &OpenCalls::Open), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

// ---- the request off the user-interface thread ------------------------------------------------

// Stage limits far beyond any wait below: only the overall deadline or a cancel can end a
// request to a server that does not finish its answer.
Win32HttpClient::Limits PatientLimits(int totalMs) {
    Win32HttpClient::Limits limits;
    limits.resolveMs = limits.connectMs = limits.sendMs = limits.receiveMs = 120000;
    limits.totalMs = totalMs;
    return limits;
}

// A message-only window of the test's thread that counts the end-of-request messages it gets.
class ReplyWindow {
  public:
    ReplyWindow()
        : hwnd_(CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                                nullptr)) {}
    ~ReplyWindow() { DestroyWindow(hwnd_); }
    HWND Hwnd() const { return hwnd_; }

    // Runs this thread's messages for at most `ms` or until the first end-of-request message.
    bool WaitForReply(int ms) {
        const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(ms);
        for (;;) {
            if (TakeReplies() > 0) return true;
            const ULONGLONG now = GetTickCount64();
            if (now >= deadline) return false;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(deadline - now),
                                      QS_POSTMESSAGE);
        }
    }
    // End-of-request messages already queued for this window.
    int TakeReplies() {
        int n = 0;
        MSG msg;
        while (PeekMessageW(&msg, hwnd_, kUpdateReplyMessage, kUpdateReplyMessage, PM_REMOVE)) {
            ++n;
        }
        return n;
    }

  private:
    HWND hwnd_;
};

// How long something took, for the log (never asserted: the machine may be loaded).
class Stopwatch {
  public:
    long long Ms() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - start_)
            .count();
    }

  private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

bool WaitForRequests(const LoopbackServer& server, std::size_t n) {
    for (int i = 0; i < 400 && server.Requests().size() < n; ++i) Sleep(50);
    return server.Requests().size() >= n;
}

TEST(BackgroundGet, ReplyArrivesOnceAsAMessageToTheRequestingThread) {
    LoopbackServer server([](const std::string&) { return HttpResponse("200 OK", "fresh"); });
    ReplyWindow window;
    BackgroundGet get(window.Hwnd(), kUpdateReplyMessage, Request(server.Base() + "/x"),
                      ShortLimits());
    ASSERT_TRUE(window.WaitForReply(30000));
    EXPECT_TRUE(get.Done());
    const auto reply = get.TakeReply();
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->status, 200);
    EXPECT_EQ(reply->body, "fresh");
    EXPECT_FALSE(get.TakeReply().has_value());
    // The deadline watch, still waiting when the reply came, posts nothing more.
    ASSERT_TRUE(get.WaitForThreads(5000));
    EXPECT_EQ(window.TakeReplies(), 0);
}

TEST(BackgroundGet, SilentOrTricklingServerEndsAtTheDeadlineWithoutAReply) {
    // One server says nothing at all; the other answers a whole, valid reply, but one byte per
    // 200 ms, so that its head alone takes longer than the deadline.
    LoopbackServer silent(
        [](const std::string&) -> std::optional<std::string> { return std::nullopt; });
    LoopbackServer trickle(
        [](const std::string&) { return HttpResponse("200 OK", "Quenvix\r\n1.3\r\n"); }, 200);
    for (const auto* server : {&silent, &trickle}) {
        ReplyWindow window;
        const Stopwatch watch;
        BackgroundGet get(window.Hwnd(), kUpdateReplyMessage, Request(server->Base() + "/slow"),
                          PatientLimits(1500));
        ASSERT_TRUE(window.WaitForReply(30000)) << server->Base();
        std::cout << "[ measured ] " << (server == &silent ? "silent" : "trickling")
                  << " server: failure after " << watch.Ms() << " ms (deadline 1500 ms)\n";
        EXPECT_FALSE(get.TakeReply().has_value()) << server->Base();
        EXPECT_EQ(server->Requests().size(), 1u);
    }
}

TEST(BackgroundGet, AfterCancelEvenALateGoodAnswerIsNeverPosted) {
    // The server answers well, but only two seconds after it took the request: long after the
    // cancel. Closing the handles ends the blocked call on Windows; a WinHTTP that lets it run on
    // (Wine's) hands the worker that answer, which must go nowhere.
    LoopbackServer server([](const std::string&) {
        Sleep(2000);
        return HttpResponse("200 OK", "too late");
    });
    ReplyWindow window;
    BackgroundGet get(window.Hwnd(), kUpdateReplyMessage, Request(server.Base() + "/late"),
                      PatientLimits(120000));
    ASSERT_TRUE(WaitForRequests(server, 1));
    Stopwatch watch;
    get.Cancel();
    std::cout << "[ measured ] Cancel returned after " << watch.Ms() << " ms\n";
    // Every limit is two minutes away: the worker ends by the cancel or by the late answer.
    ASSERT_TRUE(get.WaitForThreads(30000));
    std::cout << "[ measured ] worker ended " << watch.Ms() << " ms after the cancel\n";
    EXPECT_FALSE(get.Done());
    EXPECT_FALSE(get.TakeReply().has_value());
    EXPECT_EQ(window.TakeReplies(), 0);
}

// The main window's check against a server that answers 404: nothing to show, but the check
// stays running until its message has been handled, and only one request goes out meanwhile.
TEST(UpdateChecker, OneCheckAtATimeUntilItsReplyIsHandled) {
    LoopbackServer server([](const std::string&) { return HttpResponse("404 Not Found", "x"); });
    test::MemoryRegistry registry;
    core::SettingsStore settings(registry, core::kSettingsKeyPath);
    settings.WriteString(core::kUpdateSection, core::kWebsiteValue, server.Base());
    ReplyWindow window;
    Win32Clock clock;
    UpdateChecker checker(window.Hwnd(), settings, clock, ShortLimits());

    EXPECT_TRUE(checker.Start(true));
    EXPECT_FALSE(checker.Start(true));
    EXPECT_FALSE(checker.Start(false));
    ASSERT_TRUE(window.WaitForReply(30000));
    EXPECT_TRUE(checker.Pending());
    EXPECT_FALSE(checker.Start(true));
    EXPECT_FALSE(checker.Finish());  // a refused reply shows nothing
    EXPECT_FALSE(checker.Pending());
    EXPECT_EQ(server.Requests().size(), 1u);
    EXPECT_FALSE(checker.Finish());  // a stray message finds no check

    EXPECT_TRUE(checker.Start(true));
    ASSERT_TRUE(window.WaitForReply(30000));
    EXPECT_FALSE(checker.Finish());
    EXPECT_EQ(server.Requests().size(), 2u);
}

}  // namespace
}  // namespace quenvix::win
