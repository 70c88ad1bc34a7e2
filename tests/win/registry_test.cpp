// The advapi32 backend and the settings store on it, against the real registry. Everything lives
// below a scratch key that is removed before and after each test.
#include "win/registry.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/settings_store.h"
#include "win/ui.h"

namespace quenvix::win {
namespace {

constexpr wchar_t kScratch[] = L"Software\\QuenvixTest";
constexpr wchar_t kStore[] = L"Software\\QuenvixTest\\Store";

struct Raw {
    DWORD type = REG_NONE;
    std::vector<std::uint8_t> bytes;
    bool operator==(const Raw&) const = default;
};

std::optional<Raw> QueryRaw(const wchar_t* keyPath, const wchar_t* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, keyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    UniqueHkey owner(key);
    Raw raw;
    DWORD size = 0;
    if (RegQueryValueExW(key, name, nullptr, &raw.type, nullptr, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    raw.bytes.resize(size);
    RegQueryValueExW(key, name, nullptr, &raw.type, raw.bytes.data(), &size);
    return raw;
}

void PutRaw(const wchar_t* keyPath, const wchar_t* name, DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, keyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    UniqueHkey owner(key);
    ASSERT_EQ(RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size),
              ERROR_SUCCESS);
}

void PutText(const wchar_t* keyPath, const wchar_t* name, DWORD type, std::wstring_view text) {
    PutRaw(keyPath, name, type, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)));
}

bool KeyExists(const wchar_t* keyPath) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, keyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

std::vector<std::uint8_t> WideBytes(std::wstring_view text) {
    std::vector<std::uint8_t> bytes(text.size() * sizeof(wchar_t));
    std::memcpy(bytes.data(), text.data(), bytes.size());
    return bytes;
}

class RegistryTest : public ::testing::Test {
  protected:
    void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, kScratch); }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, kScratch); }

    Win32Registry backend;
};

TEST_F(RegistryTest, StoreWritesUtf16StringsWithTheirNul) {
    core::SettingsStore store(backend, " \\Software\\QuenvixTest\\Store\\ ");
    store.WriteString("Short key", "HideThis", "CTRL+* Num");
    store.WriteString("Main", "GUID", "");
    store.WriteBool("Main", "Startup", true);
    EXPECT_EQ(QueryRaw(L"Software\\QuenvixTest\\Store\\Short key", L"HideThis"),
              (Raw{REG_SZ, WideBytes(std::wstring_view(L"CTRL+* Num", 11))}));
    EXPECT_EQ(QueryRaw(L"Software\\QuenvixTest\\Store\\Main", L"GUID"),
              (Raw{REG_SZ, WideBytes(std::wstring_view(L"", 1))}));
    EXPECT_EQ(QueryRaw(L"Software\\QuenvixTest\\Store\\Main", L"Startup"),
              (Raw{REG_SZ, WideBytes(std::wstring_view(L"1", 2))}));
    EXPECT_EQ(store.ReadString("short KEY", "hidethis", ""), "CTRL+* Num");
}

TEST_F(RegistryTest, AKeyDeletedByAnotherProgramIsMadeAgainByTheNextWrite) {
    core::SettingsStore store(backend, "\\Software\\QuenvixTest\\Store\\");
    store.WriteString("Hidden", "Windows", "1 2 3 4 0 a\n");
    ASSERT_EQ(RegDeleteTreeW(HKEY_CURRENT_USER, kStore), ERROR_SUCCESS);
    EXPECT_FALSE(KeyExists(kStore));
    store.WriteString("Hidden", "Windows", "5 6 7 8 0 b\n");
    EXPECT_EQ(store.ReadString("Hidden", "Windows", ""), "5 6 7 8 0 b\n");
}

TEST_F(RegistryTest, NonAsciiTextRoundTripsAsUtf16) {
    core::SettingsStore store(backend, "\\Software\\QuenvixTest\\Store\\");
    const std::string text = "Grüße 中文 \xF0\x9F\x98\x80";
    store.WriteString("Main", "Name ü", text);
    EXPECT_EQ(store.ReadString("Main", "Name ü", ""), text);
    const auto raw = QueryRaw(L"Software\\QuenvixTest\\Store\\Main", L"Name \u00fc");
    ASSERT_TRUE(raw);
    EXPECT_EQ(raw->bytes, WideBytes(std::wstring_view(L"Grüße 中文 \U0001F600", 12)));
}

TEST_F(RegistryTest, ReadsValuesWrittenByOtherProgramsAsTheyAre) {
    const wchar_t* main = L"Software\\QuenvixTest\\Store\\Main";
    PutText(main, L"Expand", REG_EXPAND_SZ, std::wstring_view(L"%TEMP%\\x", 9));
    PutText(main, L"Cut", REG_SZ, std::wstring_view(L"left\0right", 11));
    PutText(main, L"Unterminated", REG_SZ, L"abc");
    PutRaw(main, L"Odd", REG_SZ, "a\0b", 3);  // a damaged value: half a character at the end
    PutRaw(main, L"Empty", REG_SZ, nullptr, 0);
    const DWORD one = 1;
    PutRaw(main, L"Startup", REG_DWORD, &one, sizeof one);

    core::SettingsStore store(backend, "\\Software\\QuenvixTest\\Store\\");
    EXPECT_EQ(store.ReadString("Main", "Expand", ""), "%TEMP%\\x");
    EXPECT_EQ(store.ReadString("Main", "Cut", ""), "left");
    EXPECT_EQ(store.ReadString("Main", "Unterminated", ""), "abc");
    EXPECT_EQ(store.ReadString("Main", "Odd", ""), "a");
    EXPECT_EQ(store.ReadString("Main", "Empty", "d"), "");
    try {
        store.ReadBool("Main", "Startup", true);
        ADD_FAILURE() << "a REG_DWORD must not read as on/off";
    } catch (const core::Error& e) {
        EXPECT_STREQ(e.what(), "Invalid data type for 'Startup'");
    }
}

// The rules are listed by their value names: every one, whatever its type, and names that are not
// plain ASCII come back as they were written.
TEST_F(RegistryTest, ListsEveryValueNameOfASection) {
    const wchar_t* rules = L"Software\\QuenvixTest\\Store\\Rules";
    PutText(rules, L"1", REG_SZ, L"a");
    PutText(rules, L"1000", REG_SZ, L"b");
    const DWORD one = 1;
    PutRaw(rules, L"3", REG_DWORD, &one, sizeof one);
    PutText(rules, L"r\u00e8gle", REG_SZ, L"c");
    core::SettingsStore store(backend, "\\Software\\QuenvixTest\\Store\\");
    std::vector<std::string> names = store.ValueNames("Rules");
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"1", "1000", "3", "r\xC3\xA8gle"}));
    EXPECT_TRUE(store.ValueNames("No such section").empty());
    EXPECT_FALSE(KeyExists(L"Software\\QuenvixTest\\Store\\No such section"));
}

TEST_F(RegistryTest, ReadsNeverCreateSections) {
    core::SettingsStore store(backend, "\\Software\\QuenvixTest\\Store\\");
    EXPECT_TRUE(KeyExists(kStore));
    EXPECT_EQ(store.ReadString("Update", "Website", "https://w"), "https://w");
    EXPECT_FALSE(store.ReadBool("Dialogs", "AskToClose", false));
    EXPECT_FALSE(KeyExists(L"Software\\QuenvixTest\\Store\\Update"));
    EXPECT_FALSE(KeyExists(L"Software\\QuenvixTest\\Store\\Dialogs"));
}

TEST_F(RegistryTest, DateIsEightBinaryBytes) {
    core::SettingsStore store(backend, "\\Software\\QuenvixTest\\Store\\");
    store.WriteDate("Last update check", 45292.0);
    EXPECT_EQ(QueryRaw(kStore, L"Last update check"),
              (Raw{REG_BINARY, {0, 0, 0, 0, 0x80, 0x1D, 0xE6, 0x40}}));
    EXPECT_EQ(store.ReadDate("Last update check"), 45292.0);
}

TEST_F(RegistryTest, BackendDeletesValuesAndLeavesRootsOpen) {
    const Win32Registry::Key root = backend.Root(core::RegistryRoot::CurrentUser);
    core::UniqueRegistryKey key(backend, backend.CreateKey(root, "Software\\QuenvixTest\\B"));
    ASSERT_TRUE(key);
    const std::uint8_t bytes[] = {1, 2, 3};
    ASSERT_TRUE(backend.SetValue(key.Get(), "v", core::kRegBinary, bytes));
    EXPECT_EQ(backend.QueryValue(key.Get(), "v")->data, std::vector<std::uint8_t>({1, 2, 3}));
    backend.DeleteValue(key.Get(), "v");
    backend.DeleteValue(key.Get(), "v");  // a missing value is no error
    EXPECT_FALSE(backend.QueryValue(key.Get(), "v"));
    backend.CloseKey(root);  // closing a root does nothing: it stays usable
    core::UniqueRegistryKey again(
        backend, backend.OpenKey(root, "Software\\QuenvixTest", core::RegistryAccess::Read));
    EXPECT_TRUE(again);
    EXPECT_EQ(backend.OpenKey(root, "Software\\QuenvixTest\\Missing", core::RegistryAccess::Read),
              Win32Registry::kNoKey);
}

}  // namespace
}  // namespace quenvix::win
