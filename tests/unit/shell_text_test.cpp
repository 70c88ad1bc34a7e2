#include "core/shell_text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include "core/error.h"
#include "core/guid_text.h"
#include "fakes/memory_registry.h"

namespace quenvix::core {
namespace {

TEST(GuidText, FieldsAndMemoryBytesGiveTheRegistryForm) {
    EXPECT_EQ(
        GuidText(0x6B29FC40, 0xCA47, 0x1067, {0xB3, 0x1D, 0x00, 0xDD, 0x01, 0x06, 0x62, 0xDA}),
        "{6B29FC40-CA47-1067-B31D-00DD010662DA}");
    EXPECT_EQ(GuidText(0, 0, 0, {}), "{00000000-0000-0000-0000-000000000000}");
    const std::array<std::uint8_t, 16> memory = {0x33, 0x22, 0x11, 0x00, 0x55, 0x44, 0x77, 0x66,
                                                 0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
    EXPECT_EQ(GuidText(memory), "{00112233-4455-6677-8899-AABBCCDDEEFF}");
}

TEST(GuidText, AnyBytesGiveThirtyEightCharactersOfTheRightShape) {
    std::mt19937 rng(7);
    for (int i = 0; i < 2000; ++i) {
        std::array<std::uint8_t, 16> bytes{};
        for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
        const std::string text = GuidText(bytes);
        ASSERT_EQ(text.size(), 38u);
        for (std::size_t k = 0; k < text.size(); ++k) {
            const char c = text[k];
            if (k == 0)
                ASSERT_EQ(c, '{');
            else if (k == 37)
                ASSERT_EQ(c, '}');
            else if (k == 9 || k == 14 || k == 19 || k == 24)
                ASSERT_EQ(c, '-');
            else
                ASSERT_TRUE((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')) << text;
        }
        // The last eight bytes appear in order, two digits each.
        char tail[3];
        std::snprintf(tail, sizeof tail, "%02X", bytes[15]);
        ASSERT_EQ(text.substr(35, 2), tail);
    }
}

TEST(SupportMailLink, AppendsTheCaptionUnescaped) {
    EXPECT_EQ(SupportMailLink("Quenvix Classic version 1.2 (Freeware)"),
              "mailto:support@tarmel.example?subject=Quenvix Classic version 1.2 (Freeware)");
    EXPECT_EQ(SupportMailLink(""), "mailto:support@tarmel.example?subject=");
}

TEST(HelpPageBeside, TakesTheExecutablesDirectory) {
    EXPECT_EQ(HelpPageBeside("C:\\Program Files\\Quenvix\\quenvix.exe"),
              "C:\\Program Files\\Quenvix\\Help\\Default.htm");
    EXPECT_EQ(HelpPageBeside("\\\\server\\share\\q.exe"), "\\\\server\\share\\Help\\Default.htm");
    EXPECT_EQ(HelpPageBeside("C:q.exe"), "C:Help\\Default.htm");
    EXPECT_EQ(HelpPageBeside("q.exe"), "Help\\Default.htm");
}

class RunOnStartupTest : public ::testing::Test {
  protected:
    std::optional<std::string> Entry() const { return registry.GetString(kRunKeyPath, "Quenvix"); }
    test::MemoryRegistry registry;
};

TEST_F(RunOnStartupTest, OnWritesTheQuotedPathAndOffDeletesIt) {
    ApplyRunOnStartup(registry, true, "C:\\Program Files\\Quenvix\\quenvix.exe");
    EXPECT_EQ(registry.GetRaw(kRunKeyPath, "Quenvix")->first, kRegSz);
    EXPECT_EQ(Entry(), "\"C:\\Program Files\\Quenvix\\quenvix.exe\"");
    // Started from a new place: the entry follows.
    ApplyRunOnStartup(registry, true, "D:\\Tools\\quenvix.exe");
    EXPECT_EQ(Entry(), "\"D:\\Tools\\quenvix.exe\"");

    registry.PutString(kRunKeyPath, "Other", "\"other.exe\"");
    ApplyRunOnStartup(registry, false, "D:\\Tools\\quenvix.exe");
    EXPECT_FALSE(registry.HasValue(kRunKeyPath, "Quenvix"));
    EXPECT_TRUE(registry.HasValue(kRunKeyPath, "Other"));
    ApplyRunOnStartup(registry, false, "D:\\Tools\\quenvix.exe");  // already gone: no error
    EXPECT_EQ(registry.OpenHandleCount(), 0u);
}

TEST_F(RunOnStartupTest, AnUnopenableRunKeyIsLeftAloneSilently) {
    registry.PutString(kRunKeyPath, "Quenvix", "\"old.exe\"");
    registry.SetFailCreate(true);
    EXPECT_NO_THROW(ApplyRunOnStartup(registry, false, "new.exe"));
    EXPECT_NO_THROW(ApplyRunOnStartup(registry, true, "new.exe"));
    EXPECT_EQ(Entry(), "\"old.exe\"");
}

TEST_F(RunOnStartupTest, ARefusedWriteIsReported) {
    registry.SetFailSet(true);
    try {
        ApplyRunOnStartup(registry, true, "q.exe");
        ADD_FAILURE() << "expected an error";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Failed to set data for 'Quenvix'");
    }
    EXPECT_EQ(registry.OpenHandleCount(), 0u);
}

// A program run from a zip opened in place lives in the temporary folder, which is emptied
// before the next log-on: the Run value would point at nothing.
TEST_F(RunOnStartupTest, NothingIsWrittenForAProgramInsideTheTemporaryFolder) {
    const std::string temp = "C:\\Users\\Ann\\AppData\\Local\\Temp\\";
    registry.PutString(kRunKeyPath, "Quenvix", "\"D:\\Tools\\quenvix.exe\"");
    EXPECT_EQ(ApplyRunOnStartup(
                  registry, true,
                  "c:\\users\\ann\\appdata\\local\\temp\\Temp1_quenvix.zip\\quenvix.exe", temp),
              RunEntry::FromTemporaryFolder);
    EXPECT_EQ(Entry(), "\"D:\\Tools\\quenvix.exe\"");  // the installed copy keeps its entry
    // Turning it off still works from there.
    EXPECT_EQ(ApplyRunOnStartup(registry, false, temp + "7zO1234\\quenvix.exe", temp),
              RunEntry::Removed);
    EXPECT_FALSE(registry.HasValue(kRunKeyPath, "Quenvix"));
    // A neighbour whose name only begins like the temporary folder is not inside it.
    EXPECT_EQ(ApplyRunOnStartup(registry, true,
                                "C:\\Users\\Ann\\AppData\\Local\\Temporal\\quenvix.exe", temp),
              RunEntry::Written);
    EXPECT_EQ(ApplyRunOnStartup(registry, true, "D:\\Tools\\quenvix.exe", ""), RunEntry::Written);
}

TEST(InsideFolder, ComparesAsWindowsComparesPaths) {
    EXPECT_TRUE(IsInsideFolder("C:\\Temp\\a\\q.exe", "c:/temp"));
    EXPECT_TRUE(IsInsideFolder("C:/TEMP/q.exe", "C:\\Temp\\"));
    EXPECT_TRUE(IsInsideFolder("C:\\ÄRGER\\q.exe", "C:\\ärger"));
    EXPECT_FALSE(IsInsideFolder("C:\\Temp", "C:\\Temp\\"));  // the folder itself
    EXPECT_FALSE(IsInsideFolder("C:\\Temp2\\q.exe", "C:\\Temp"));
    EXPECT_FALSE(IsInsideFolder("D:\\Temp\\q.exe", "C:\\Temp"));
    EXPECT_FALSE(IsInsideFolder("C:\\q.exe", ""));
}

}  // namespace
}  // namespace quenvix::core
