// Shell actions against the real system: the Run entry in the registry, GUIDs from ole32, the
// executable's own path, and a shell that is handed a target it cannot open.
#include "win/shell.h"

#include <gtest/gtest.h>
#include <objbase.h>
#include <windows.h>

#include <set>
#include <string>

#include "win/registry.h"
#include "win/ui.h"

namespace quenvix::win {
namespace {

constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

std::optional<std::pair<DWORD, std::wstring>> RunEntry() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kRunKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    UniqueHkey owner(key);
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key, L"Quenvix", nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    std::wstring text(size / sizeof(wchar_t), L'\0');
    RegQueryValueExW(key, L"Quenvix", nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size);
    return std::make_pair(type, text);
}

TEST(Shell, RunOnStartupWritesTheQuotedPathAndRemovesIt) {
    const std::optional<std::pair<DWORD, std::wstring>> before = RunEntry();
    Win32Registry registry;
    SetRunOnStartup(registry, true);
    const std::wstring quoted = L"\"" + Widen(ExecutablePath()) + L"\"";
    EXPECT_EQ(RunEntry(), std::make_pair(DWORD{REG_SZ}, quoted + L'\0'));
    SetRunOnStartup(registry, false);
    EXPECT_EQ(RunEntry(), std::nullopt);
    EXPECT_NO_THROW(SetRunOnStartup(registry, false));
    if (before) {  // leave the prefix as it was found
        HKEY key = nullptr;
        RegCreateKeyExW(HKEY_CURRENT_USER, kRunKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr);
        UniqueHkey owner(key);
        RegSetValueExW(key, L"Quenvix", 0, before->first,
                       reinterpret_cast<const BYTE*>(before->second.data()),
                       static_cast<DWORD>(before->second.size() * sizeof(wchar_t)));
    }
}

TEST(Shell, NewGuidsAreDistinctAndInTheRegistryForm) {
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        const std::string text = NewGUIDString();
        ASSERT_EQ(text.size(), 38u) << text;
        EXPECT_EQ(text.front(), '{');
        EXPECT_EQ(text.back(), '}');
        // The same text the system itself gives for that GUID.
        GUID parsed{};
        ASSERT_EQ(CLSIDFromString(Widen(text).c_str(), &parsed), NOERROR) << text;
        LPOLESTR systemText = nullptr;
        ASSERT_EQ(StringFromCLSID(parsed, &systemText), S_OK);
        EXPECT_EQ(Widen(text), std::wstring(systemText));
        CoTaskMemFree(systemText);
        seen.insert(text);
    }
    EXPECT_EQ(seen.size(), 200u);
}

TEST(Shell, PathsComeFromTheRunningExecutable) {
    const std::string exe = ExecutablePath();
    ASSERT_GT(exe.size(), 4u);
    EXPECT_EQ(GetFileAttributesW(Widen(exe).c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
    const std::string dir = exe.substr(0, exe.find_last_of('\\') + 1);
    EXPECT_EQ(HelpPagePath(), dir + "Help\\Default.htm");
}

TEST(Shell, ATargetTheShellCannotOpenFailsQuietly) {
    EXPECT_FALSE(ShellOpen("C:\\no such folder\\Help\\Default.htm"));
}

}  // namespace
}  // namespace quenvix::win
