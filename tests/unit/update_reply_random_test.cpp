// The update reply comes from the network: any bytes at all must give either a refusal or a
// reply that keeps every promise of the parser, never a crash or a read past the body. Run
// under the sanitizers by the native-asan preset.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "core/text.h"
#include "core/update.h"

namespace quenvix::core {
namespace {

// Bodies shaped like replies, line by line, with every line open to damage: wrong products,
// hostile addresses, stray CR/LF/NUL bytes, raw bytes and huge lines.
std::string RandomBody(std::mt19937& rng) {
    static const std::vector<std::string> products = {"Quenvix", "QUENVIX", "quenvix ", "Quenvi",
                                                      ""};
    static const std::vector<std::string> addresses = {
        "http://127.0.0.1:8080", "https://x.example/d", "HTTPS://X.EXAMPLE",
        "file:///C:/calc.exe",   "javascript:alert(1)", "http://",
        "https://a b",           "ftp://x.example",     ""};
    static const std::vector<std::string> others = {"1.3", "1.2", "notes", "", "\xE4\xB8\xAD"};
    static const std::vector<std::string> endings = {"\r", "\n", "\r\n", std::string(1, '\0')};
    std::uniform_int_distribution<int> percent(0, 99);
    std::uniform_int_distribution<int> byte(0, 255);
    auto pick = [&](const std::vector<std::string>& from) {
        return from[std::uniform_int_distribution<std::size_t>(0, from.size() - 1)(rng)];
    };
    std::string body;
    const int lines = std::uniform_int_distribution<int>(0, 9)(rng);
    for (int i = 0; i < lines; ++i) {
        std::string line = i == 0               ? pick(products)
                           : (i == 2 || i == 3) ? pick(addresses)
                                                : pick(others);
        if (percent(rng) < 15) line.insert(line.begin(), static_cast<char>(byte(rng)));
        if (percent(rng) < 3)
            line += std::string(static_cast<std::size_t>(percent(rng)) * 1024, 'x');
        body += line;
        if (i + 1 < lines || percent(rng) < 50) body += pick(endings);
    }
    return body;
}

TEST(UpdateReplyRandom, AnyBodyIsRefusedOrKeepsEveryPromise) {
    for (unsigned seed : {1u, 2u, 3u, 4u, 5u}) {
        std::mt19937 rng(seed);
        int accepted = 0;
        for (int i = 0; i < 4000; ++i) {
            const std::string body = RandomBody(rng);
            const std::vector<std::string> lines = SplitReplyLines(body);
            for (const std::string& line : lines) {
                ASSERT_EQ(line.find_first_of(std::string("\r\n\0", 3)), std::string::npos);
            }
            const auto reply = ParseUpdateReply(body, "Quenvix");
            if (!reply) continue;
            ++accepted;
            ASSERT_GE(lines.size(), 4u);
            EXPECT_EQ(AsciiLower(lines[0]), "quenvix");
            EXPECT_TRUE(IsWebAddress(reply->website)) << reply->website;
            EXPECT_TRUE(IsWebAddress(reply->downloadUrl)) << reply->downloadUrl;
            EXPECT_EQ(reply->latestVersion, lines[1]);
            const std::vector<std::string> memo = MemoLines(*reply);
            ASSERT_FALSE(memo.empty());
            EXPECT_EQ(memo.front(), "Version " + reply->latestVersion);
            if (memo.size() > 2) {
                EXPECT_FALSE(memo.back().empty());
            }
        }
        // The pieces are chosen so that some bodies pass: the promises above are really checked.
        EXPECT_GT(accepted, 0) << "seed " << seed;
    }
}

}  // namespace
}  // namespace quenvix::core
