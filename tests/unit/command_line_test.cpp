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

TEST(CommandLine, TheGuardiansLineIsTakenOnlyExactlyAsACopyMakesIt) {
    const std::string name = GuardSectionName(4242, 0x00c0ffee);
    EXPECT_EQ(name, "QuenvixGuard.4242.00c0ffee");
    const auto request = Parse({"--guard", "4242", name});
    EXPECT_EQ(request.verb, CommandVerb::Guard);
    EXPECT_TRUE(request.error.empty()) << request.error;
    EXPECT_EQ(request.guardedProcess, 4242u);
    EXPECT_EQ(request.guardSection, name);
    EXPECT_FALSE(NeedsRunningCopy(CommandVerb::Guard));
    // The largest process id and nonce still make an argument that is not too long.
    EXPECT_EQ(Parse({"--guard", "4294967295", GuardSectionName(4294967295u, 0xffffffffu)}).verb,
              CommandVerb::Guard);

    // Whatever else a user writes with it is an unknown argument, and the text says no more.
    const std::vector<std::vector<std::string>> near{
        {"--guard"},
        {"--guard", "4242"},
        {"/guard", "4242", name},
        {"--GUARD", "4242", name},
        {" --guard", "4242", name},
        {"--guard", "4242", name, "--exit"},
        {"--guard", "4243", name},  // the section of another process
        {"--guard", "04242", "QuenvixGuard.04242.00c0ffee"},
        {"--guard", "0", GuardSectionName(0, 1)},
        {"--guard", "4294967296", "QuenvixGuard.4294967296.0000000"},
        {"--guard", "4242", "QuenvixGuard.4242.00C0FFEE"},
        {"--guard", "4242", "QuenvixGuard.4242.00c0ffe"},
        {"--guard", "4242", "Global\\QuenvixGuard.4242.00c0ffee"},
    };
    for (const auto& args : near) {
        const auto refused = Parse(args);
        EXPECT_EQ(refused.verb, CommandVerb::Start) << args.size() << " " << args[0];
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
