// A portable copy's settings file on a real file system: read, replaced whole, a read-only file
// and a folder that cannot take the new text both leave the old text as it was, and nothing is
// left beside it.
#include <windows.h>
// (after windows.h)
#include <gtest/gtest.h>

#include <string>

#include "core/settings_store.h"
#include "win/portable.h"

namespace quenvix::win {
namespace {

using State = core::SettingsFile::State;

class SettingsFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        folder_ = std::wstring(temp) + L"quenvix-settings-test-\u00e4-" +
                  std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(folder_.c_str(), nullptr);
        path_ = folder_ + L"\\quenvix-settings.ini";
    }
    void TearDown() override {
        SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path_.c_str());
        DeleteFileW((path_ + L".new").c_str());
        RemoveDirectoryW(folder_.c_str());
    }
    bool LeftoverBeside() const {
        return GetFileAttributesW((path_ + L".new").c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    std::wstring folder_;
    std::wstring path_;
};

TEST_F(SettingsFileTest, ReadReplacedWholeAndRefusedWhenReadOnly) {
    Win32SettingsFile file(path_);
    EXPECT_EQ(file.Read().state, State::Missing);
    ASSERT_TRUE(file.Replace("one\r\n"));
    ASSERT_TRUE(file.Replace("[S]\r\n\"v\"=\"\xc3\xa4\"\r\n"));
    auto read = file.Read();
    EXPECT_EQ(read.state, State::Read);
    EXPECT_EQ(read.text, "[S]\r\n\"v\"=\"\xc3\xa4\"\r\n");
    EXPECT_FALSE(LeftoverBeside());

    ASSERT_TRUE(SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(file.Replace("lost"));
    EXPECT_EQ(file.Read().text, "[S]\r\n\"v\"=\"\xc3\xa4\"\r\n");
    EXPECT_FALSE(LeftoverBeside());
}

TEST_F(SettingsFileTest, TheStoreOverTheFileSaysWhatTheRegistrySays) {
    Win32SettingsFile file(path_);
    core::FileRegistry registry(file);
    core::SettingsStore store(registry, "\\Software\\Tarmel\\Quenvix\\");
    store.WriteString("Main", "Update", "https://kept.example");
    ASSERT_TRUE(SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_READONLY));
    try {
        store.WriteString("Main", "Update", "https://lost.example");
        ADD_FAILURE() << "a read-only file took the write";
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "Failed to set data for 'Update'");
    }
    EXPECT_EQ(store.ReadString("Main", "Update", ""), "https://kept.example");
}

TEST_F(SettingsFileTest, AFolderThatIsGoneFailsTheWriteAndLeavesNothing) {
    Win32SettingsFile file(folder_ + L"\\no such folder\\quenvix-settings.ini");
    EXPECT_EQ(file.Read().state, State::Missing);
    EXPECT_FALSE(file.Replace("text"));
}

}  // namespace
}  // namespace quenvix::win
