#include "loopback_server.h"
// (the server header brings in Winsock before windows.h)
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "win/http.h"

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

WinHttpClient::Limits ShortLimits() {
    WinHttpClient::Limits limits;
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

TEST(WinHttpClient, OkReplyGivesStatusAndBodyAndSendsTheRequestAsBuilt) {
    // A body with a NUL in it must come back whole.
    static const char kRaw[] = "Quenvix\r\n1.3\r\nhttp://a\r\nhttp://b\r\n\0x";
    const std::string body(kRaw, sizeof kRaw - 1);
    LoopbackServer server([&](const std::string&) { return HttpResponse("200 OK", body); });
    WinHttpClient client(ShortLimits());
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

TEST(WinHttpClient, NotFoundAndRedirectComeBackAsTheirStatus) {
    LoopbackServer server([](const std::string& head) -> std::optional<std::string> {
        if (head.find("GET /missing") == 0) return HttpResponse("404 Not Found", "gone");
        if (head.find("GET /moved") == 0) {
            return HttpResponse("302 Found", "elsewhere", "Location: /target\r\n");
        }
        return HttpResponse("200 OK", "target reached");
    });
    WinHttpClient client(ShortLimits());

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

TEST(WinHttpClient, BodyIsBoundedExactly) {
    LoopbackServer server([](const std::string& head) -> std::optional<std::string> {
        const std::size_t size = head.find("GET /big") == 0 ? 64 * 1024 + 1 : 64 * 1024;
        return HttpResponse("200 OK", std::string(size, 'x'));
    });
    WinHttpClient client(ShortLimits());
    const auto atLimit = client.Get(Request(server.Base() + "/fits"));
    ASSERT_TRUE(atLimit.has_value());
    EXPECT_EQ(atLimit->body.size(), 64u * 1024u);
    EXPECT_FALSE(client.Get(Request(server.Base() + "/big")).has_value());
}

TEST(WinHttpClient, SilentServerFailsInsteadOfHanging) {
    // The server accepts and never answers; without working time-outs this test never ends.
    LoopbackServer server(
        [](const std::string&) -> std::optional<std::string> { return std::nullopt; });
    WinHttpClient client(ShortLimits());
    EXPECT_FALSE(client.Get(Request(server.Base() + "/silent")).has_value());
    EXPECT_EQ(server.Requests().size(), 1u);
}

TEST(WinHttpClient, UnusableAddressesFailWithoutARequest) {
    LoopbackServer server([](const std::string&) { return HttpResponse("200 OK", "x"); });
    WinHttpClient client(ShortLimits());
    EXPECT_FALSE(client.Get(Request("ftp://127.0.0.1:" + std::to_string(server.Port()) + "/x")));
    EXPECT_FALSE(client.Get(Request("not an address")));
    EXPECT_FALSE(client.Get(Request("")));
    // A header value with a line break would inject headers of its own.
    auto injected = Request(server.Base() + "/x");
    injected.headers.push_back({"Accept", "a\r\nX-Evil: 1"});
    EXPECT_FALSE(client.Get(injected));
    EXPECT_TRUE(server.Requests().empty());
}

}  // namespace
}  // namespace quenvix::win
