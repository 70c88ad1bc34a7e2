#include "core/update.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "core/error.h"
#include "core/product.h"
#include "core/settings_store.h"
#include "fakes/memory_registry.h"

namespace quenvix::core {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Pair;

constexpr const char* kKey = "Software\\Tarmel\\Quenvix";
constexpr const char* kUpdateKey = "Software\\Tarmel\\Quenvix\\Update";
constexpr const char* kGuid = "{0A1B2C3D-0000-4000-8000-00000000ABCD}";
constexpr int kToday = 45000;

// ---- fakes ----------------------------------------------------------------------------------
class FakeHttp : public HttpClient {
  public:
    std::optional<HttpReply> Get(const HttpRequest& request) override {
        requests.push_back(request);
        if (throws) throw std::runtime_error("socket error");
        return reply;
    }
    void Answer(int status, std::string body) { reply = HttpReply{status, std::move(body)}; }

    std::optional<HttpReply> reply;
    bool throws = false;
    std::vector<HttpRequest> requests;
};

class FakeClock : public Clock {
  public:
    int Today() override { return today; }
    std::uint64_t SteadyMs() override { return 0; }
    int today = kToday;
};

class FakeUi : public UpdateUi {
  public:
    bool ConfirmAutoCheck() override {
        ++questions;
        return answer;
    }
    void ShowUpdate(const std::string& caption, const std::vector<std::string>& memo) override {
        shown.push_back({caption, memo});
    }

    bool answer = true;
    int questions = 0;
    std::vector<std::pair<std::string, std::vector<std::string>>> shown;
};

std::vector<std::uint8_t> DateBytes(double date) {
    std::vector<std::uint8_t> bytes(sizeof date);
    std::memcpy(bytes.data(), &date, sizeof date);
    return bytes;
}

// ---- request address and reply rules ---------------------------------------------------------
TEST(UpdateAddress, IsPlainConcatenationWithoutEscaping) {
    EXPECT_EQ(
        BuildUpdateAddress("https://www.tarmel.example", "Quenvix", "1.2", kGuid),
        std::string("https://www.tarmel.example/Quenvix/UpdateInfo.php?currentversion=1.2&id=") +
            kGuid);
    // A base ending in "/" gives a double slash; blanks and ampersands pass untouched.
    EXPECT_EQ(BuildUpdateAddress("http://h/", "A b", "1&2", ""),
              "http://h//A b/UpdateInfo.php?currentversion=1&2&id=");
}

TEST(ReplyLines, EveryLineEndingCountsAndTheTextStopsAtNul) {
    EXPECT_THAT(SplitReplyLines("a\r\nb\nc\rd"), ElementsAre("a", "b", "c", "d"));
    // LF then CR is two endings; CR CR LF an empty line between.
    EXPECT_THAT(SplitReplyLines("a\n\rb\r\r\nc"), ElementsAre("a", "", "b", "", "c"));
    EXPECT_THAT(SplitReplyLines("a\nb\n"), ElementsAre("a", "b"));
    EXPECT_THAT(SplitReplyLines("\n"), ElementsAre(""));
    EXPECT_THAT(SplitReplyLines(""), IsEmpty());
    EXPECT_THAT(SplitReplyLines(std::string_view("a\nb\0c\nd", 7)), ElementsAre("a", "b"));
    EXPECT_THAT(SplitReplyLines(" padded \t"), ElementsAre(" padded \t"));
}

TEST(WebAddress, OnlyHttpAndHttpsWithAHost) {
    EXPECT_TRUE(IsWebAddress("http://www.tarmel.example/download"));
    EXPECT_TRUE(IsWebAddress("HTTPS://host"));
    EXPECT_TRUE(IsWebAddress("hTtP://127.0.0.1:8080/x?y={z}"));
    EXPECT_FALSE(IsWebAddress("https://"));
    EXPECT_FALSE(IsWebAddress("http:///etc/passwd"));
    EXPECT_FALSE(IsWebAddress("file:///C:/Windows/System32/calc.exe"));
    EXPECT_FALSE(IsWebAddress("C:\\Windows\\System32\\calc.exe"));
    EXPECT_FALSE(IsWebAddress("mailto:a@b"));
    EXPECT_FALSE(IsWebAddress("javascript:alert(1)"));
    EXPECT_FALSE(IsWebAddress(" http://host"));
    EXPECT_FALSE(IsWebAddress("http://host/a b"));
    EXPECT_FALSE(IsWebAddress("http://host/\tx"));
    EXPECT_FALSE(IsWebAddress("httpx://host"));
    EXPECT_FALSE(IsWebAddress(""));
}

TEST(ParseReply, AcceptsProductNameInAnyCaseButNothingAround) {
    const auto upper = ParseUpdateReply("QUENVIX\n1.3\nhttp://a\nhttp://b\nnote", "Quenvix");
    ASSERT_TRUE(upper.has_value());
    EXPECT_EQ(upper->latestVersion, "1.3");
    EXPECT_EQ(upper->website, "http://a");
    EXPECT_EQ(upper->downloadUrl, "http://b");
    EXPECT_THAT(upper->notes, ElementsAre("note"));

    EXPECT_FALSE(ParseUpdateReply("Quenvix \n1.3\nhttp://a\nhttp://b", "Quenvix"));
    EXPECT_FALSE(ParseUpdateReply(" Quenvix\n1.3\nhttp://a\nhttp://b", "Quenvix"));
    EXPECT_FALSE(ParseUpdateReply("Other\n1.3\nhttp://a\nhttp://b", "Quenvix"));
    EXPECT_FALSE(ParseUpdateReply("Quenvix\n1.3\nhttp://a", "Quenvix"));
    EXPECT_FALSE(ParseUpdateReply("", "Quenvix"));
    // A NUL cuts the reply short, so the lines after it do not exist.
    EXPECT_FALSE(
        ParseUpdateReply(std::string_view("Quenvix\n1.3\0\nhttp://a\nhttp://b", 27), "Quenvix"));
}

TEST(ParseReply, RefusesAddressesThatAreNotWebAddresses) {
    EXPECT_FALSE(ParseUpdateReply("Quenvix\n1.3\nfile:///c:/\nhttp://b", "Quenvix"));
    EXPECT_FALSE(ParseUpdateReply("Quenvix\n1.3\nhttp://a\nC:\\evil.exe", "Quenvix"));
    EXPECT_FALSE(ParseUpdateReply("Quenvix\n1.3\nhttp://a\n", "Quenvix"));
    EXPECT_TRUE(ParseUpdateReply("Quenvix\n1.3\nHTTPS://a\nhttps://b/c.zip", "Quenvix"));
}

TEST(Memo, VersionLineBlankLineNotesWithoutTrailingEmptyLines) {
    UpdateReply reply{"1.2", "http://a", "http://b", {}};
    EXPECT_THAT(MemoLines(reply), ElementsAre("Version 1.2"));
    reply.notes = {"First", "", "Second", "", ""};
    EXPECT_THAT(MemoLines(reply), ElementsAre("Version 1.2", "", "First", "", "Second"));
    reply.latestVersion.clear();
    reply.notes = {"", ""};
    EXPECT_THAT(MemoLines(reply), ElementsAre("Version "));
}

TEST(VersionComparison, IsByteByByte) {
    EXPECT_TRUE(IsNewerVersion("1.3", "1.2"));
    EXPECT_TRUE(IsNewerVersion("1.2.1", "1.2"));
    EXPECT_TRUE(IsNewerVersion("2.0", "1.2"));
    EXPECT_FALSE(IsNewerVersion("1.10", "1.2"));
    EXPECT_FALSE(IsNewerVersion("1.2", "1.2"));
    EXPECT_FALSE(IsNewerVersion("1.1.9", "1.2"));
    EXPECT_FALSE(IsNewerVersion("", "1.2"));
    EXPECT_TRUE(IsNewerVersion("1.2", ""));
    // Bytes count as unsigned: a non-ASCII byte is above every ASCII one.
    EXPECT_TRUE(IsNewerVersion("1.\xC3", "1.2"));
    EXPECT_FALSE(IsNewerVersion("1.2", "1.\xC3"));
}

TEST(AutoCheckDue, ThirtyRoundedDaysAndUnreadableDates) {
    EXPECT_FALSE(IsAutoCheckDue(kToday - 29, kToday));
    EXPECT_TRUE(IsAutoCheckDue(kToday - 30, kToday));
    EXPECT_TRUE(IsAutoCheckDue(kToday - 29.5, kToday));
    EXPECT_FALSE(IsAutoCheckDue(kToday - 29.4, kToday));
    EXPECT_FALSE(IsAutoCheckDue(kToday + 400, kToday));  // clock set back
    EXPECT_TRUE(IsAutoCheckDue(std::nullopt, kToday));
    EXPECT_TRUE(IsAutoCheckDue(std::numeric_limits<double>::quiet_NaN(), kToday));
    EXPECT_TRUE(IsAutoCheckDue(-std::numeric_limits<double>::infinity(), kToday));
    EXPECT_TRUE(IsAutoCheckDue(-1e300, kToday));
    EXPECT_FALSE(IsAutoCheckDue(1e300, kToday));
}

TEST(DateSerial, CountsDaysFromTheEndOf1899) {
    EXPECT_EQ(DateSerial(1899, 12, 30), 0);
    EXPECT_EQ(DateSerial(1900, 1, 1), 2);
    EXPECT_EQ(DateSerial(1900, 3, 1), 61);  // 1900 was no leap year
    EXPECT_EQ(DateSerial(1970, 1, 1), 25569);
    EXPECT_EQ(DateSerial(2000, 2, 29), 36585);
    EXPECT_EQ(DateSerial(2000, 3, 1), 36586);
    EXPECT_EQ(DateSerial(2024, 1, 1), 45292);
    EXPECT_EQ(DateSerial(1899, 12, 1), -29);
}

// ---- the whole check ------------------------------------------------------------------------
class UpdateCheckTest : public ::testing::Test {
  protected:
    UpdateCheckTest() { registry.PutString("Software\\Tarmel\\Quenvix\\Main", "GUID", kGuid); }

    // The two halves joined the way the program joins them, with the request in between.
    bool Check(bool manual) {
        const auto request = check.StartCheck(manual, "1.2", "Quenvix");
        return request && check.FinishCheck(FetchReply(http, *request));
    }
    void StoreLastCheck(double date) {
        registry.PutRaw(kKey, "Last update check", 3, DateBytes(date));
    }
    std::optional<double> LastCheck() const {
        const auto raw = registry.GetRaw(kKey, "Last update check");
        if (!raw || raw->second.size() != 8) return std::nullopt;
        double date = 0;
        std::memcpy(&date, raw->second.data(), 8);
        return date;
    }

    test::MemoryRegistry registry;
    SettingsStore settings{registry, kSettingsKeyPath};
    FakeHttp http;
    FakeClock clock;
    FakeUi ui;
    UpdateCheck check{settings, clock, ui};
};

TEST_F(UpdateCheckTest, RequestCarriesStoredBaseGuidAndFixedHeaders) {
    http.Answer(404, "");
    Check(true);
    ASSERT_EQ(http.requests.size(), 1u);
    EXPECT_EQ(http.requests[0].url,
              std::string(kWebsite) + "/Quenvix/UpdateInfo.php?currentversion=1.2&id=" + kGuid);
    EXPECT_THAT(http.requests[0].headers,
                ElementsAre(Pair("Accept", "text/html, */*"),
                            Pair("User-Agent", "Mozilla/3.0 (compatible; Indy Library)")));
    EXPECT_EQ(http.requests[0].maxBodyBytes, 64u * 1024u);
}

TEST_F(UpdateCheckTest, ManualCheckOfTheSameVersionShowsLatestVersionCaption) {
    http.Answer(200,
                "Quenvix\r\n1.2\r\nhttp://next.example\r\nhttp://dl.example/q.zip\r\n"
                "Fixed a crash\r\n\r\nFaster menu\r\n\r\n");
    EXPECT_TRUE(Check(true));
    EXPECT_EQ(ui.questions, 0);
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(ui.shown[0].first, "You still have the latest version");
    EXPECT_THAT(ui.shown[0].second,
                ElementsAre("Version 1.2", "", "Fixed a crash", "", "Faster menu"));
    EXPECT_EQ(registry.GetString(kUpdateKey, "Website"), "http://next.example");
    EXPECT_EQ(registry.GetString(kUpdateKey, "DownloadURL"), "http://dl.example/q.zip");
    EXPECT_EQ(LastCheck(), double{kToday});
}

TEST_F(UpdateCheckTest, ManualCheckWithoutNotesShowsOnlyTheVersion) {
    http.Answer(200, "Quenvix\n1.2\nhttp://a\nhttp://b");
    EXPECT_TRUE(Check(true));
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_THAT(ui.shown[0].second, ElementsAre("Version 1.2"));
}

TEST_F(UpdateCheckTest, ManualCheckOfANewerVersionShowsNewUpdateCaption) {
    http.Answer(299, "quenvix\n1.3\nhttp://a\nhttp://b\nNew");
    EXPECT_TRUE(Check(true));
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(ui.shown[0].first, "There is a new update");
    EXPECT_EQ(check.LatestVersion(), "1.3");
    EXPECT_EQ(check.DownloadUrl(), "http://b");
}

TEST_F(UpdateCheckTest, AutomaticCheckOfTheSameVersionShowsNothingButStoresTheReply) {
    StoreLastCheck(kToday - 45);
    http.Answer(200, "Quenvix\n1.10\nhttp://a\nhttp://b\n");
    EXPECT_FALSE(Check(false));
    EXPECT_EQ(ui.questions, 1);
    EXPECT_THAT(ui.shown, IsEmpty());
    EXPECT_EQ(registry.GetString(kUpdateKey, "Website"), "http://a");
    EXPECT_EQ(registry.GetString(kUpdateKey, "DownloadURL"), "http://b");
    EXPECT_EQ(LastCheck(), double{kToday});
}

TEST_F(UpdateCheckTest, AutomaticCheckOfANewerVersionAsksThenShows) {
    StoreLastCheck(kToday - 30);
    http.Answer(200, "Quenvix\n2.0\nhttp://a\nhttp://b\n");
    EXPECT_TRUE(Check(false));
    EXPECT_EQ(ui.questions, 1);
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(ui.shown[0].first, "There is a new update");
}

TEST_F(UpdateCheckTest, RefusedRepliesAndFailedRequestsShowAndWriteNothing) {
    const std::size_t entries = registry.CurrentUserEntryCount();
    struct Case {
        std::optional<HttpReply> reply;
        bool throws;
    };
    const std::string good = "Quenvix\n1.3\nhttp://a\nhttp://b\n";
    const std::vector<Case> cases = {
        {HttpReply{200, "Quenvix\n1.3\nhttp://a\n"}, false},  // three lines
        {HttpReply{404, good}, false},                        // not found
        {HttpReply{302, good}, false},                        // redirect
        {HttpReply{199, good}, false},
        {HttpReply{300, good}, false},
        {HttpReply{200, "Quenvix \n1.3\nhttp://a\nhttp://b\n"}, false},  // trailing blank
        {HttpReply{200, "Quenvix\n1.3\nhttp://a\nfile:///C:/x.exe\n"}, false},
        {HttpReply{200, good + std::string(64 * 1024, 'x')}, false},  // oversized
        {std::nullopt, false},                                        // no connection
        {std::nullopt, true},                                         // client threw
    };
    for (const auto& c : cases) {
        http.reply = c.reply;
        http.throws = c.throws;
        EXPECT_FALSE(Check(true));
    }
    EXPECT_EQ(http.requests.size(), cases.size());
    EXPECT_THAT(ui.shown, IsEmpty());
    EXPECT_EQ(registry.CurrentUserEntryCount(), entries);
}

TEST_F(UpdateCheckTest, TwentyNineDaysMakesNoRequestButStoresToday) {
    StoreLastCheck(kToday - 29);
    http.Answer(200, "Quenvix\n2.0\nhttp://a\nhttp://b\n");
    EXPECT_FALSE(Check(false));
    EXPECT_EQ(ui.questions, 0);
    EXPECT_THAT(http.requests, IsEmpty());
    EXPECT_EQ(LastCheck(), double{kToday});
    // The next day counts from today, not from the old date.
    clock.today = kToday + 1;
    EXPECT_FALSE(Check(false));
    EXPECT_THAT(http.requests, IsEmpty());
}

TEST_F(UpdateCheckTest, CancellingTheQuestionMakesNoRequestAndWaitsAnotherThirtyDays) {
    StoreLastCheck(kToday - 100);
    ui.answer = false;
    EXPECT_FALSE(Check(false));
    EXPECT_EQ(ui.questions, 1);
    EXPECT_THAT(http.requests, IsEmpty());
    EXPECT_EQ(LastCheck(), double{kToday});
    clock.today = kToday + 29;
    Check(false);
    EXPECT_EQ(ui.questions, 1);
    clock.today = kToday + 29 + 30;
    Check(false);
    EXPECT_EQ(ui.questions, 2);
}

TEST_F(UpdateCheckTest, MissingOrDamagedDateCountsAsDue) {
    http.Answer(404, "");
    EXPECT_FALSE(Check(false));  // first run: nothing stored yet
    EXPECT_EQ(ui.questions, 1);
    EXPECT_EQ(LastCheck(), double{kToday});

    registry.PutString(kKey, "Last update check", "yesterday");  // wrong type
    Check(false);
    EXPECT_EQ(ui.questions, 2);
    registry.PutRaw(kKey, "Last update check", 3, {1, 2, 3});  // too short
    Check(false);
    EXPECT_EQ(ui.questions, 3);
    StoreLastCheck(std::numeric_limits<double>::quiet_NaN());
    Check(false);
    EXPECT_EQ(ui.questions, 4);
    EXPECT_EQ(LastCheck(), double{kToday});
}

TEST_F(UpdateCheckTest, ManualCheckNeitherReadsNorMovesTheDate) {
    StoreLastCheck(kToday - 3);
    http.Answer(404, "");
    Check(true);
    EXPECT_EQ(LastCheck(), double{kToday - 3});
    EXPECT_EQ(ui.questions, 0);
}

TEST_F(UpdateCheckTest, NextRequestGoesToTheBaseTheServerGave) {
    http.Answer(200, "Quenvix\n1.2\nhttps://mirror.example/up\nhttp://b\n");
    Check(true);
    http.Answer(404, "");
    Check(true);
    ASSERT_EQ(http.requests.size(), 2u);
    EXPECT_EQ(
        http.requests[1].url,
        std::string("https://mirror.example/up/Quenvix/UpdateInfo.php?currentversion=1.2&id=") +
            kGuid);
}

TEST_F(UpdateCheckTest, SettingsWriteFailuresReachTheCaller) {
    http.Answer(200, "Quenvix\n1.3\nhttp://a\nhttp://b\n");
    registry.SetFailSet(true);
    EXPECT_THROW(Check(true), Error);
    EXPECT_THAT(ui.shown, IsEmpty());
    // The automatic check fails already when storing today's date.
    EXPECT_THROW(Check(false), Error);
    EXPECT_THAT(http.requests.size(), 1u);
}

}  // namespace
}  // namespace quenvix::core
