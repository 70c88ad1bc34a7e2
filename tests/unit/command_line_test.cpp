#include "core/command_line.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

namespace quenvix::core {
namespace {

CommandLineRequest Parse(std::vector<std::string> args) {
    return ParseCommandLine(args);
}

TEST(CommandLine, NoArgumentOrOnlyBlanksIsAPlainStart) {
    for (const auto& args : std::vector<std::vector<std::string>>{{}, {""}, {"  ", "\t"}}) {
        const auto request = Parse(args);
        EXPECT_EQ(request.verb, CommandVerb::Start);
        EXPECT_TRUE(request.error.empty()) << request.error;
    }
}

TEST(CommandLine, EveryVerbInEverySpellingAndCase) {
    const struct {
        const char* name;
        CommandVerb verb;
    } cases[] = {{"exit", CommandVerb::Exit},        {"restore-all", CommandVerb::RestoreAll},
                 {"hide-all", CommandVerb::HideAll}, {"show", CommandVerb::Show},
                 {"version", CommandVerb::Version},  {"help", CommandVerb::Help}};
    for (const auto& c : cases) {
        std::string upper = c.name;
        for (auto& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        for (const std::string& arg : {"--" + std::string(c.name), "-" + upper,
                                       "/" + std::string(c.name), "  --" + upper + "\t"}) {
            const auto request = Parse({"", arg, " "});
            EXPECT_EQ(request.verb, c.verb) << arg;
            EXPECT_TRUE(request.error.empty()) << arg << ": " << request.error;
        }
    }
    EXPECT_EQ(Parse({"/?"}).verb, CommandVerb::Help);
}

TEST(CommandLine, RefusesWithAMessageThatNamesTheProblem) {
    const struct {
        std::vector<std::string> args;
        const char* expected;
    } cases[] = {
        {{"--quit"}, "Unknown argument '--quit'"},
        {{"exit"}, "Unknown argument 'exit'"},
        {{"---exit"}, "Unknown argument '---exit'"},
        {{"--"}, "Unknown argument '--'"},
        {{"--restore all"}, "Unknown argument '--restore all'"},
        {{"--exit", "--show"}, "One option at a time: got '--exit' and '--show'"},
        {{"--exit", "/EXIT"}, "One option at a time"},
        {{"--" + std::string(40, 'x')}, "Argument too long (42 bytes)"},
        {{"--sh\xC3\xB6w"}, "other than plain ASCII"},
        {{"--ex\x01it"}, "other than plain ASCII"},
        {std::vector<std::string>(17, ""), "Too many arguments"},
    };
    for (const auto& c : cases) {
        const auto request = Parse(c.args);
        EXPECT_EQ(request.verb, CommandVerb::Start);
        EXPECT_NE(request.error.find(c.expected), std::string::npos) << request.error;
        EXPECT_NE(request.error.find("--help"), std::string::npos) << request.error;
    }
}

TEST(CommandLine, OnlyTheVerbsForTheRunningCopyAreForwarded) {
    for (const auto verb :
         {CommandVerb::Exit, CommandVerb::RestoreAll, CommandVerb::HideAll, CommandVerb::Show}) {
        EXPECT_TRUE(NeedsRunningCopy(verb));
        const auto payload = EncodeForwardedVerb(verb);
        EXPECT_EQ(DecodeForwardedVerb(kForwardMagic, payload.data(), payload.size()), verb);
    }
    for (const auto verb : {CommandVerb::Start, CommandVerb::Version, CommandVerb::Help}) {
        EXPECT_FALSE(NeedsRunningCopy(verb));
        const auto payload = EncodeForwardedVerb(verb);
        EXPECT_FALSE(DecodeForwardedVerb(kForwardMagic, payload.data(), payload.size()));
    }
    EXPECT_EQ(UsageText().find("--restore-all") != std::string::npos, true);
    EXPECT_EQ(VersionText(), "Quenvix 1.2");
}

TEST(CommandLine, ReceiverRefusesAnythingButTheExactMessage) {
    const auto good = EncodeForwardedVerb(CommandVerb::Exit);
    ASSERT_TRUE(DecodeForwardedVerb(kForwardMagic, good.data(), good.size()));
    EXPECT_FALSE(DecodeForwardedVerb(kForwardMagic + 1, good.data(), good.size()));
    EXPECT_FALSE(DecodeForwardedVerb(0x100000000ull | kForwardMagic, good.data(), good.size()));
    EXPECT_FALSE(DecodeForwardedVerb(kForwardMagic, nullptr, good.size()));
    EXPECT_FALSE(DecodeForwardedVerb(kForwardMagic, good.data(), good.size() - 1));
    const std::uint8_t longer[12] = {1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_FALSE(DecodeForwardedVerb(kForwardMagic, longer, sizeof longer));
    // Each byte changed on its own: a wrong format number or an unknown code is refused.
    for (std::size_t i = 0; i < good.size(); ++i) {
        auto bad = good;
        bad[i] ^= 0x40;
        EXPECT_FALSE(DecodeForwardedVerb(kForwardMagic, bad.data(), bad.size())) << i;
    }
}

}  // namespace
}  // namespace quenvix::core
