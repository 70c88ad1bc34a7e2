// The program's log file: its lines, the bound and the older file, two threads at once, and a
// folder it cannot write to.
#include "win/log.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

#include "win/ui.h"

namespace quenvix::win {
namespace {

class LogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        folder_ =
            std::wstring(temp) + L"quenvix-log-test-" + std::to_wstring(GetCurrentProcessId());
        Clean();
    }
    void TearDown() override { Clean(); }
    void Clean() {
        DeleteFileW((folder_ + L"\\quenvix.log").c_str());
        DeleteFileW((folder_ + L"\\quenvix.1.log").c_str());
        RemoveDirectoryW(folder_.c_str());
    }
    static std::vector<std::string> Lines(const std::wstring& path) {
        std::ifstream in(Narrow(path), std::ios::binary);
        std::vector<std::string> lines;
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back(line);
        }
        return lines;
    }
    std::wstring folder_;
};

TEST_F(LogTest, LinesCarryTimeThreadAndTextAndFailuresTheirSystemText) {
    LogFile log(folder_);
    SetLastError(1234);
    log.Write("first\nsecond");
    EXPECT_EQ(GetLastError(), 1234u) << "logging must not change the caller's error";

    const auto lines = Lines(log.FilePath());
    ASSERT_EQ(lines.size(), 1u) << "a line break inside the text must not split the entry";
    const std::regex shape(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} \[(\d+)\] first second)");
    std::smatch match;
    ASSERT_TRUE(std::regex_match(lines[0], match, shape)) << lines[0];
    EXPECT_EQ(match[1].str(), std::to_string(GetCurrentThreadId()));

    EXPECT_EQ(ErrorText(ERROR_ACCESS_DENIED).rfind("5 ", 0), 0u) << ErrorText(ERROR_ACCESS_DENIED);
    EXPECT_GT(ErrorText(ERROR_ACCESS_DENIED).size(), 4u) << "the system's text is missing";
    EXPECT_EQ(ErrorText(0xDEAD0000u), "3735879680") << "an unknown number stands alone";
}

TEST_F(LogTest, AtTheBoundTheFileBecomesTheOlderOneAndANewOneBegins) {
    constexpr std::uint64_t kBound = 1000;
    LogFile log(folder_, kBound);
    const std::string text(60, 'x');  // about 100 bytes a line with the stamp
    for (int i = 0; i < 25; ++i) log.Write(text + std::to_string(i));

    auto size = [](const std::wstring& path) {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1LL;
        return static_cast<long long>(data.nFileSizeLow);
    };
    EXPECT_LE(size(log.FilePath()), static_cast<long long>(kBound));
    EXPECT_LE(size(log.OlderFilePath()), static_cast<long long>(kBound));
    const auto current = Lines(log.FilePath());
    const auto older = Lines(log.OlderFilePath());
    ASSERT_FALSE(current.empty());
    ASSERT_FALSE(older.empty());
    // Nothing of the last two files' worth is lost, and the newest line is in the current file.
    EXPECT_NE(current.back().find(text + "24"), std::string::npos);
    EXPECT_NE(older.back().find(text + std::to_string(24 - static_cast<int>(current.size()))),
              std::string::npos)
        << "the older file must end where the current one begins";
}

TEST_F(LogTest, TwoThreadsWritingAtOnceLoseAndMixNoLine) {
    LogFile log(folder_);
    constexpr int kEach = 300;
    auto writer = [&log](char mark) {
        for (int i = 0; i < kEach; ++i) log.Write(std::string(40, mark) + " " + std::to_string(i));
    };
    std::thread a(writer, 'a');
    std::thread b(writer, 'b');
    a.join();
    b.join();

    const auto lines = Lines(log.FilePath());
    ASSERT_EQ(lines.size(), 2u * kEach);
    int as = 0, bs = 0;
    const std::regex whole(R"(.*\] (a{40}|b{40}) \d+)");
    for (const auto& line : lines) {
        ASSERT_TRUE(std::regex_match(line, whole)) << "torn line: " << line;
        (line.find(std::string(40, 'a')) != std::string::npos ? as : bs)++;
    }
    EXPECT_EQ(as, kEach);
    EXPECT_EQ(bs, kEach);
}

TEST_F(LogTest, AFolderThatCannotBeWrittenCostsOnlyTheLines) {
    // The folder's name is taken by a file: neither folder nor log can be made there.
    {
        std::ofstream blocker(Narrow(folder_), std::ios::binary);
        blocker << "in the way";
    }
    LogFile log(folder_);
    SetLastError(77);
    log.Write("nowhere to go");
    LogFile empty(L"");
    empty.Write("no folder at all");
    EXPECT_EQ(GetLastError(), 77u);
    EXPECT_EQ(GetFileAttributesW(log.FilePath().c_str()), INVALID_FILE_ATTRIBUTES);
    DeleteFileW(folder_.c_str());
}

}  // namespace
}  // namespace quenvix::win
