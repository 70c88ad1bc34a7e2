#include "core/command_line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
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
        const auto request = EncodeForwardedVerb(verb);
        EXPECT_EQ(DecodeForwardedVerb(request.data(), request.size()), verb);
    }
    for (const auto verb : {CommandVerb::Start, CommandVerb::Version, CommandVerb::Help}) {
        EXPECT_FALSE(NeedsRunningCopy(verb));
        const auto request = EncodeForwardedVerb(verb);
        EXPECT_FALSE(DecodeForwardedVerb(request.data(), request.size()));
    }
    EXPECT_EQ(UsageText().find("--restore-all") != std::string::npos, true);
    EXPECT_EQ(VersionText(), "Quenvix 1.2");
}

TEST(CommandLine, ReceiverRefusesAnythingButTheExactRequest) {
    const auto good = EncodeForwardedVerb(CommandVerb::Exit);
    ASSERT_EQ(DecodeForwardedVerb(good.data(), good.size()), CommandVerb::Exit);
    // Cut short (in half, by one byte), nothing at all, or more than was ever sent.
    EXPECT_FALSE(DecodeForwardedVerb(good.data(), good.size() / 2));
    EXPECT_FALSE(DecodeForwardedVerb(good.data(), good.size() - 1));
    EXPECT_FALSE(DecodeForwardedVerb(nullptr, good.size()));
    EXPECT_FALSE(DecodeForwardedVerb(good.data(), 0));
    std::vector<std::uint8_t> huge(1 << 20, 0);
    std::copy(good.begin(), good.end(), huge.begin());
    EXPECT_FALSE(DecodeForwardedVerb(huge.data(), huge.size()));
    EXPECT_FALSE(DecodeForwardedVerb(huge.data(), good.size() + 1));
    // Each byte changed on its own: a wrong magic, a wrong format number or an unknown verb code.
    for (std::size_t i = 0; i < good.size(); ++i) {
        auto bad = good;
        bad[i] ^= 0x40;
        EXPECT_FALSE(DecodeForwardedVerb(bad.data(), bad.size())) << i;
    }
    // The answer's shape is not a request, and a request's is not an answer.
    const auto reply = EncodeForwardReply(kExitDone);
    EXPECT_FALSE(DecodeForwardedVerb(reply.data(), reply.size()));
    EXPECT_FALSE(DecodeForwardReply(good.data(), good.size()));
}

TEST(CommandLine, AnswerCarriesOnlyTheExitCodesOfAForwardedOption) {
    for (const int code : {kExitDone, kExitNotRunning}) {
        const auto reply = EncodeForwardReply(code);
        EXPECT_EQ(DecodeForwardReply(reply.data(), reply.size()), code);
        EXPECT_FALSE(DecodeForwardReply(reply.data(), reply.size() - 1));
    }
    // A bad command line is the asking process's own business, never the running copy's answer.
    const auto other = EncodeForwardReply(kExitBadCommandLine);
    EXPECT_FALSE(DecodeForwardReply(other.data(), other.size()));
    auto wrongMagic = EncodeForwardReply(kExitDone);
    wrongMagic[3] ^= 1;
    EXPECT_FALSE(DecodeForwardReply(wrongMagic.data(), wrongMagic.size()));
}

TEST(CommandLine, GuardingIsNoOptionOfTheProgram) {
    // The guardian is a program of its own; the line an earlier version started it with is an
    // unknown argument like any other, and the text says no more.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--guard", "4242", "QuenvixGuard.4242.00c0ffee"}, {"--guard"}}) {
        const auto refused = Parse(args);
        EXPECT_EQ(refused.verb, CommandVerb::Start);
        EXPECT_NE(refused.error.find("Unknown argument '"), std::string::npos) << refused.error;
    }
    EXPECT_EQ(UsageText().find("guard"), std::string::npos);
}

TEST(CommandLine, RestoreRecordedIsAnsweredHereAndTold) {
    for (const char* arg : {"--restore-recorded", "/RESTORE-RECORDED", "-Restore-Recorded"}) {
        const auto request = Parse({arg});
        EXPECT_EQ(request.verb, CommandVerb::RestoreRecorded) << arg;
        EXPECT_TRUE(request.error.empty()) << request.error;
    }
    EXPECT_FALSE(NeedsRunningCopy(CommandVerb::RestoreRecorded));
    EXPECT_NE(UsageText().find("--restore-recorded"), std::string::npos);
}

}  // namespace
}  // namespace quenvix::core
