// The portable copy's settings file: what a person reads in it, what survives a damaged line, a
// file that cannot be read or written, and the machine's keys it leaves to the registry.
#include "core/file_registry.h"

#include <gtest/gtest.h>

#include <string>

#include "core/error.h"
#include "core/settings_store.h"
#include "error_of.h"
#include "fakes/memory_registry.h"
#include "fakes/memory_settings_file.h"

namespace quenvix::core {
namespace {

using State = SettingsFile::State;
constexpr std::string_view kStorePath = "\\Software\\Tarmel\\Quenvix\\";

using test::ErrorOf;

class FileRegistryTest : public ::testing::Test {
  protected:
    test::MemorySettingsFile file;
    FileRegistry registry{file};
    SettingsStore store{registry, kStorePath};
};

TEST_F(FileRegistryTest, APersonReadsAndEditsTheFile) {
    store.WriteString("Main", "Update", "https://example.org/\"q\"");
    store.WriteBool("Main", "Startup", true);
    auto key = UniqueRegistryKey(
        registry,
        registry.CreateKey(registry.Root(RegistryRoot::CurrentUser), "Software\\Tarmel\\Quenvix"));
    const std::vector<std::uint8_t> date = {0, 0, 0, 0, 0, 0x10, 0xe6, 0x40};
    ASSERT_TRUE(registry.SetValue(key.Get(), "Last", kRegQword, date));
    ASSERT_TRUE(
        registry.SetValue(key.Get(), "Raw", kRegBinary, std::vector<std::uint8_t>{1, 0xab}));
    EXPECT_NE(file.text.find("[Software\\Tarmel\\Quenvix\\Main]\r\n"), std::string::npos)
        << file.text;
    EXPECT_NE(file.text.find("\"Update\"=\"https://example.org/\\\"q\\\"\"\r\n"),
              std::string::npos);
    EXPECT_NE(file.text.find("\"Startup\"=\"1\""), std::string::npos);
    EXPECT_NE(file.text.find("\"Last\"=qword:40e6100000000000"), std::string::npos);
    EXPECT_NE(file.text.find("\"Raw\"=hex:01,ab"), std::string::npos);
    EXPECT_EQ(file.text.rfind("; ", 0), 0u) << "a new file starts with a word on what it is";

    // Edited by hand, with a comment and a header in another spelling: read as written, and the
    // comment stays when the program writes.
    file.text =
        "; mine\n[HKEY_CURRENT_USER\\software\\tarmel\\quenvix\\MAIN]\n"
        "\"update\" = \"https://edited.example\"   \n; keep me too\n";
    EXPECT_EQ(store.ReadString("Main", "Update", ""), "https://edited.example");
    store.WriteBool("Main", "Startup", false);
    EXPECT_NE(file.text.find("; mine"), std::string::npos);
    EXPECT_NE(file.text.find("; keep me too"), std::string::npos);
    EXPECT_EQ(store.ReadString("Main", "Update", ""), "https://edited.example");
    EXPECT_FALSE(store.ReadBool("Main", "Startup", true));
}

TEST_F(FileRegistryTest, ADamagedLineReadsAsADamagedValueAndIsNotLost) {
    file.state = State::Read;
    file.text =
        "[Software\\Tarmel\\Quenvix\\Main]\r\n"
        "\"Startup\"=dword:zz\r\n"       // a value that cannot be read
        "\"Update\"=\"unterminated\r\n"  // nor this one
        "garbage that is no value\r\n"   // nor a name
        "\"Hide\"=\"1\"\r\n";
    EXPECT_EQ(ErrorOf([&] { store.ReadBool("Main", "Startup", false); }),
              "Invalid data type for 'Startup'");
    EXPECT_EQ(ErrorOf([&] { store.ReadString("Main", "Update", ""); }),
              "Invalid data type for 'Update'");
    EXPECT_TRUE(store.ReadBool("Main", "Hide", false));
    // Another value written: every unreadable line is still there, as it was.
    store.WriteBool("Main", "Hide", false);
    for (const char* line :
         {"\"Startup\"=dword:zz", "\"Update\"=\"unterminated", "garbage that is no value"}) {
        EXPECT_NE(file.text.find(line), std::string::npos) << line;
    }
    // The damaged value itself, written by the program, is put right.
    store.WriteBool("Main", "Startup", true);
    EXPECT_TRUE(store.ReadBool("Main", "Startup", false));
    EXPECT_EQ(file.text.find("dword:zz"), std::string::npos);
}

TEST_F(FileRegistryTest, AFileThatCannotBeWrittenKeepsItsTextAndSaysSoAsTheRegistryWould) {
    store.WriteString("Main", "Update", "https://kept.example");
    const std::string before = file.text;
    file.failReplace = true;  // read-only, or the disk is full
    EXPECT_EQ(ErrorOf([&] { store.WriteString("Main", "Update", "https://lost.example"); }),
              "Failed to set data for 'Update'");
    EXPECT_EQ(file.text, before);
    EXPECT_EQ(store.ReadString("Main", "Update", ""), "https://kept.example");
}

TEST_F(FileRegistryTest, AFileThatCannotBeReadIsNeverReplaced) {
    file.state = State::Unreadable;
    file.text = "what we could not read";
    const int replaces = file.replaces;
    EXPECT_EQ(store.ReadString("Main", "Update", "default"), "default");
    EXPECT_EQ(ErrorOf([&] { store.WriteString("Main", "Update", "x"); }).substr(0, 6), "Failed");
    EXPECT_EQ(file.replaces, replaces);
    EXPECT_EQ(file.text, "what we could not read");
}

TEST(FileRegistryMachine, TheMachinesKeysAreReadFromTheRegistryAndNeverWritten) {
    test::MemoryRegistry machine;
    machine.PutMachineRaw("HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", "~MHz", kRegDword,
                          {0xb8, 0x0b, 0, 0});
    test::MemorySettingsFile file;
    FileRegistry registry(file, &machine);
    const auto root = registry.Root(RegistryRoot::LocalMachine);
    UniqueRegistryKey cpu(
        registry, registry.OpenKey(root, "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0",
                                   RegistryAccess::Read));
    ASSERT_TRUE(cpu);
    const auto mhz = registry.QueryValue(cpu.Get(), "~MHz");
    ASSERT_TRUE(mhz);
    EXPECT_EQ(mhz->data, (std::vector<std::uint8_t>{0xb8, 0x0b, 0, 0}));
    EXPECT_FALSE(registry.SetValue(cpu.Get(), "~MHz", kRegDword, mhz->data));
    EXPECT_EQ(registry.CreateKey(root, "SOFTWARE\\Tarmel"), RegistryBackend::kNoKey);
    cpu.Reset();
    EXPECT_EQ(machine.OpenHandleCount(), 0u);
    EXPECT_EQ(file.replaces, 0);
    EXPECT_EQ(machine.CurrentUserEntryCount(), 0u) << "nothing of the user's went to the registry";
}

}  // namespace
}  // namespace quenvix::core
