#include "core/settings_store.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/error.h"
#include "error_of.h"
#include "fakes/memory_registry.h"

namespace quenvix::core {
namespace {

using test::MemoryRegistry;
using Bytes = std::vector<std::uint8_t>;

constexpr std::string_view kPath = "\\Software\\Tarmel\\Quenvix\\";
constexpr std::string_view kKey = "Software\\Tarmel\\Quenvix";
constexpr std::string_view kMain = "Software\\Tarmel\\Quenvix\\Main";

Bytes BytesOf(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

using test::ErrorOf;

class SettingsTest : public ::testing::Test {
  protected:
    MemoryRegistry registry;
};

// ---- opening the program's key ------------------------------------------------------------------

TEST_F(SettingsTest, CreatesTheProgramKeyFromTheRootOfTheCurrentUser) {
    SettingsStore store(registry, kPath);
    EXPECT_TRUE(store.HasKey());
    EXPECT_TRUE(registry.HasKey(kKey));
    store.WriteString("Main", "GUID", "x");
    EXPECT_EQ(registry.GetString(kMain, "GUID"), "x");
}

TEST_F(SettingsTest, TrimsBlanksAndControlCharactersAroundThePath) {
    SettingsStore store(registry, " \t\r\n\\Software\\Tarmel\\Quenvix\\ \x01");
    store.WriteBool("Main", "Startup", true);
    EXPECT_EQ(registry.GetString(kMain, "Startup"), "1");
    // A path without the leading backslash names the same key: nothing is open yet.
    SettingsStore relative(registry, "Software\\Tarmel\\Quenvix");
    EXPECT_TRUE(relative.ReadBool("Main", "Startup", false));
}

TEST_F(SettingsTest, KeepsNoKeyOpenBetweenCalls) {
    registry.PutRaw(kMain, "Startup", kRegDword, {1, 0, 0, 0});
    SettingsStore store(registry, kPath);
    EXPECT_EQ(registry.OpenHandleCount(), 0u);
    store.ReadString("Main", "GUID", "");
    store.WriteString("Short key", "HideThis", "CTRL+* Num");
    store.WriteDate("Last update check", 2.0);
    EXPECT_THROW(store.ReadBool("Main", "Startup", true), Error);
    registry.SetFailSet(true);
    EXPECT_THROW(store.WriteString("Main", "GUID", ""), Error);
    EXPECT_EQ(registry.OpenHandleCount(), 0u);
}

TEST_F(SettingsTest, AKeyDeletedUnderTheStoreIsMadeAgainByTheNextWrite) {
    SettingsStore store(registry, kPath);
    store.WriteString("Main", "GUID", "{G}");
    registry.DeleteKey(kKey);
    // Read: as if never written, and nothing made by the read.
    EXPECT_EQ(store.ReadString("Main", "GUID", "none"), "none");
    EXPECT_FALSE(registry.HasKey(kKey));
    store.WriteString("Hidden", "Windows", "1 2 3 4 0 x\n");
    store.WriteDate("Last update check", 3.0);
    EXPECT_EQ(registry.GetString(std::string(kKey) + "\\Hidden", "Windows"), "1 2 3 4 0 x\n");
    EXPECT_EQ(store.ReadDate("Last update check"), 3.0);
    // A section deleted on its own, too.
    registry.DeleteKey(std::string(kKey) + "\\Hidden");
    store.WriteString("Hidden", "Windows", "");
    EXPECT_EQ(registry.GetString(std::string(kKey) + "\\Hidden", "Windows"), "");
}

TEST_F(SettingsTest, WithoutAKeyReadsGiveDefaultsAndWritesFailWithoutTouchingTheRegistry) {
    // Blank path, or a key that can be neither created nor opened: the store must never fall
    // back to writing below the root.
    registry.SetFailCreate(true);
    SettingsStore failed(registry, kPath);
    SettingsStore blank(registry, " \t ");
    for (SettingsStore* store : {&failed, &blank}) {
        // The blank path stays keyless even where keys can be made.
        if (store == &blank) registry.SetFailCreate(false);
        EXPECT_FALSE(store->HasKey());
        EXPECT_EQ(store->ReadString("Short key", "HideAll", "CTRL+/ Num"), "CTRL+/ Num");
        EXPECT_TRUE(store->ReadBool("Main", "Startup", true));
        EXPECT_EQ(ErrorOf([&] { store->WriteString("Main", "GUID", "g"); }),
                  "Failed to create key Main");
        EXPECT_EQ(ErrorOf([&] { store->WriteBool("Dialogs", "AskToClose", true); }),
                  "Failed to create key Dialogs");
        EXPECT_EQ(ErrorOf([&] { store->WriteDate("Last update check", 1.0); }),
                  "Failed to set data for 'Last update check'");
        EXPECT_EQ(ErrorOf([&] { store->ReadDate("Last update check"); }),
                  "Failed to get data for 'Last update check'");
    }
    EXPECT_EQ(registry.CurrentUserEntryCount(), 0u);
}

TEST_F(SettingsTest, AnExistingKeyThatCannotBeCreatedIsStillRead) {
    registry.PutString(kMain, "GUID", "{G}");
    registry.SetFailCreate(true);
    SettingsStore store(registry, kPath);
    EXPECT_EQ(store.ReadString("Main", "GUID", ""), "{G}");
    EXPECT_EQ(ErrorOf([&] { store.WriteString("Update", "Website", "w"); }),
              "Failed to create key Update");
    EXPECT_FALSE(registry.HasKey("Software\\Tarmel\\Quenvix\\Update"));
}

TEST_F(SettingsTest, SectionsStayBelowTheProgramKey) {
    SettingsStore store(registry, kPath);
    store.WriteString("\\Elsewhere", "v", "t");
    EXPECT_FALSE(registry.HasKey("Elsewhere"));
    EXPECT_EQ(registry.GetString("Software\\Tarmel\\Quenvix\\Elsewhere", "v"), "t");
}

// ---- strings ------------------------------------------------------------------------------------

TEST_F(SettingsTest, MissingSectionsAndValuesGiveTheDefaultAndCreateNothing) {
    SettingsStore store(registry, kPath);
    const std::size_t before = registry.CurrentUserEntryCount();
    EXPECT_EQ(store.ReadString("Update", "Website", "https://w"), "https://w");
    EXPECT_TRUE(store.ReadBool("Preference", "Automatic update check", true));
    EXPECT_FALSE(registry.HasKey("Software\\Tarmel\\Quenvix\\Update"));
    registry.PutString(kMain, "Other", "o");
    EXPECT_EQ(store.ReadString("Main", "GUID", "dflt"), "dflt");
    EXPECT_EQ(registry.CurrentUserEntryCount(), before + 2);  // only what the test put there
}

TEST_F(SettingsTest, WritesStoreRegSzWithTheTerminatingNul) {
    SettingsStore store(registry, kPath);
    store.WriteString("Short key", "HideThis", "CTRL+* Num");
    store.WriteString("Main", "GUID", "");
    store.WriteBool("Main", "Startup", true);
    store.WriteBool("Dialogs", "AskToClose", false);
    using Raw = std::pair<std::uint32_t, Bytes>;
    EXPECT_EQ(registry.GetRaw("Software\\Tarmel\\Quenvix\\Short key", "HideThis"),
              Raw(kRegSz, BytesOf(std::string_view("CTRL+* Num\0", 11))));
    EXPECT_EQ(registry.GetRaw(kMain, "GUID"), Raw(kRegSz, Bytes{0}));
    EXPECT_EQ(registry.GetRaw(kMain, "Startup"), Raw(kRegSz, Bytes{'1', 0}));
    EXPECT_EQ(registry.GetRaw("Software\\Tarmel\\Quenvix\\Dialogs", "AskToClose"),
              Raw(kRegSz, Bytes{'0', 0}));
}

TEST_F(SettingsTest, ReadsWhatIsStoredEveryTimeWithoutCaching) {
    SettingsStore store(registry, kPath);
    store.WriteString("Main", "GUID", "first");
    EXPECT_EQ(store.ReadString("main", "guid", ""), "first");  // names ignore case
    registry.PutString(kMain, "GUID", "changed outside");
    EXPECT_EQ(store.ReadString("Main", "GUID", ""), "changed outside");
    registry.PutString(kMain, "GUID", "Grüße 中文");
    EXPECT_EQ(store.ReadString("Main", "GUID", ""), "Grüße 中文");
}

TEST_F(SettingsTest, TextEndsAtTheFirstNulOrAtTheEndOfTheData) {
    SettingsStore store(registry, kPath);
    registry.PutRaw(kMain, "a", kRegSz, BytesOf(std::string_view("left\0right\0", 11)));
    registry.PutRaw(kMain, "b", kRegSz, BytesOf("no terminator"));
    registry.PutRaw(kMain, "c", kRegSz, {});
    registry.PutRaw(kMain, "d", kRegSz, {0, 0, 0});
    EXPECT_EQ(store.ReadString("Main", "a", "x"), "left");
    EXPECT_EQ(store.ReadString("Main", "b", "x"), "no terminator");
    EXPECT_EQ(store.ReadString("Main", "c", "x"), "");
    EXPECT_EQ(store.ReadString("Main", "d", "x"), "");
}

TEST_F(SettingsTest, ExpandableStringsAreReadWithoutExpansion) {
    SettingsStore store(registry, kPath);
    registry.PutRaw(kMain, "GUID", kRegExpandSz, BytesOf(std::string_view("%TEMP%\\x\0", 9)));
    EXPECT_EQ(store.ReadString("Main", "GUID", ""), "%TEMP%\\x");
}

TEST_F(SettingsTest, NonStringTypesFailButEmptyDataReadsAsEmptyText) {
    SettingsStore store(registry, kPath);
    registry.PutRaw(kMain, "Startup", kRegDword, {1, 0, 0, 0});
    registry.PutRaw(kMain, "Multi", kRegMultiSz, {'a', 0, 0});
    registry.PutRaw(kMain, "Bin", kRegBinary, {'1', 0});
    registry.PutRaw(kMain, "EmptyBin", kRegBinary, {});
    for (const char* name : {"Startup", "Multi", "Bin"}) {
        EXPECT_EQ(ErrorOf([&] { store.ReadString("Main", name, "d"); }),
                  "Invalid data type for '" + std::string(name) + "'");
        // On/off reads fail the same way rather than falling back to the default.
        EXPECT_EQ(ErrorOf([&] { store.ReadBool("Main", name, true); }),
                  "Invalid data type for '" + std::string(name) + "'");
    }
    EXPECT_EQ(store.ReadString("Main", "EmptyBin", "d"), "");
    EXPECT_TRUE(store.ReadBool("Main", "EmptyBin", true));
}

TEST_F(SettingsTest, WriteFailuresCarryTheirMessages) {
    SettingsStore store(registry, kPath);
    registry.SetFailCreate(true);
    EXPECT_EQ(ErrorOf([&] { store.WriteString("Short key", "HideThis", "x"); }),
              "Failed to create key Short key");
    registry.SetFailCreate(false);
    registry.SetFailSet(true);
    EXPECT_EQ(ErrorOf([&] { store.WriteBool("Main", "Startup", true); }),
              "Failed to set data for 'Startup'");
    EXPECT_FALSE(registry.HasValue(kMain, "Startup"));
}

// ---- on/off -------------------------------------------------------------------------------------

TEST_F(SettingsTest, OnOffIsAnyNonZeroNumberAndAnythingElseIsTheDefault) {
    SettingsStore store(registry, kPath);
    struct Case {
        const char* text;
        int expected;  // 1 on, 0 off, -1 the caller's default
    };
    const Case cases[] = {
        {"1", 1},           {"0", 0},
        {"7", 1},           {"-3", 1},
        {"+0", 0},          {"  12", 1},
        {"$1F", 1},         {"$0", 0},
        {"0x10", 1},        {"0X0", 0},
        {"00", 0},          {"2147483647", 1},
        {"-2147483648", 1}, {"$FFFFFFFF", 1},
        {"", -1},           {"yes", -1},
        {"true", -1},       {"1 ", -1},
        {"1.0", -1},        {"0x", -1},
        {"$", -1},          {"-", -1},
        {"2147483648", -1}, {"$100000000", -1},
        {"\t1", -1},        {"99999999999999999999999", -1},
    };
    for (const Case& c : cases) {
        registry.PutString(kMain, "Startup", c.text);
        for (bool def : {false, true}) {
            const bool expected = c.expected < 0 ? def : c.expected == 1;
            EXPECT_EQ(store.ReadBool("Main", "Startup", def), expected)
                << "text '" << c.text << "', default " << def;
        }
    }
}

// ---- the date -----------------------------------------------------------------------------------

TEST_F(SettingsTest, DateIsEightLittleEndianBytesOfADouble) {
    SettingsStore store(registry, kPath);
    store.WriteDate("Last update check", 45292.0);  // 1 January 2024
    // 45292.0 = 0x40E61D8000000000
    using Raw = std::pair<std::uint32_t, Bytes>;
    EXPECT_EQ(registry.GetRaw(kKey, "Last update check"),
              Raw(kRegBinary, Bytes({0, 0, 0, 0, 0x80, 0x1D, 0xE6, 0x40})));
    EXPECT_EQ(store.ReadDate("last UPDATE check"), 45292.0);
    store.WriteDate("Last update check", -0.25);
    EXPECT_EQ(store.ReadDate("Last update check"), -0.25);
}

TEST_F(SettingsTest, DateFailures) {
    SettingsStore store(registry, kPath);
    const std::string name = "Last update check";
    const auto readError = [&] { return ErrorOf([&] { store.ReadDate(name); }); };
    EXPECT_EQ(readError(), "Failed to get data for 'Last update check'");
    registry.PutRaw(kKey, name, kRegBinary, Bytes(9, 0));
    EXPECT_EQ(readError(), "Failed to get data for 'Last update check'");
    registry.PutRaw(kKey, name, kRegBinary, Bytes(7, 0));
    EXPECT_EQ(readError(), "Invalid data type for 'Last update check'");
    registry.PutRaw(kKey, name, kRegSz, Bytes(8, '1'));
    EXPECT_EQ(readError(), "Invalid data type for 'Last update check'");
    registry.PutRaw(kKey, name, kRegQword, Bytes(8, 0));
    EXPECT_EQ(readError(), "Invalid data type for 'Last update check'");
    registry.SetFailSet(true);
    EXPECT_EQ(ErrorOf([&] { store.WriteDate(name, 1.0); }),
              "Failed to set data for 'Last update check'");
}

// ---- the number parser --------------------------------------------------------------------------

TEST(ParseWholeNumber, ValuesAndLimits) {
    EXPECT_EQ(ParseWholeNumber("42"), 42);
    EXPECT_EQ(ParseWholeNumber("-2147483648"), -2147483648LL);
    EXPECT_EQ(ParseWholeNumber("$ff"), 255);
    EXPECT_EQ(ParseWholeNumber("-0x10"), -16);
    EXPECT_EQ(ParseWholeNumber("   +8"), 8);
    EXPECT_EQ(ParseWholeNumber("-2147483649"), std::nullopt);
    EXPECT_EQ(ParseWholeNumber("4 2"), std::nullopt);
    EXPECT_EQ(ParseWholeNumber("+-1"), std::nullopt);
    EXPECT_EQ(ParseWholeNumber("$g"), std::nullopt);
    EXPECT_EQ(ParseWholeNumber("   "), std::nullopt);
}

// ---- randomised values --------------------------------------------------------------------------

// Arbitrary values of every type and size must give exactly the documented result or error, and
// never read past the data (run this under the sanitizers).
class RandomValues : public ::testing::TestWithParam<std::uint32_t> {};

Bytes RandomBytes(std::mt19937& rng) {
    std::uniform_int_distribution<int> shape(0, 29);
    std::size_t size = 0;
    switch (shape(rng)) {
        case 0:
            size = 0;
            break;
        case 1:
            size = 1;
            break;
        case 2:
            size = 7 + rng() % 3;
            break;  // around a date's size
        case 3:
            size = 100000 + rng() % 200000;
            break;  // huge
        default:
            size = rng() % 40;
            break;
    }
    Bytes bytes(size);
    // Mostly digits, signs and NULs, so that numbers and cut texts are common.
    static constexpr char kAlphabet[] = "0123456789+-$xX abcfF\t";
    for (auto& b : bytes) {
        const unsigned pick = rng() % 10;
        b = pick < 6   ? static_cast<std::uint8_t>(kAlphabet[rng() % (sizeof kAlphabet - 1)])
            : pick < 8 ? 0
                       : static_cast<std::uint8_t>(rng());
    }
    return bytes;
}

TEST_P(RandomValues, ReadsGiveTheDocumentedResultForAnyStoredValue) {
    std::mt19937 rng(GetParam());
    MemoryRegistry registry;
    SettingsStore store(registry, kPath);
    const std::uint32_t types[] = {kRegNone,  kRegSz,      kRegExpandSz, kRegBinary,
                                   kRegDword, kRegMultiSz, kRegQword,    0x12345678};
    for (int i = 0; i < 1000; ++i) {
        const std::uint32_t type = types[rng() % std::size(types)];
        Bytes bytes = RandomBytes(rng);
        // A heap copy sized exactly, so that any read past the end is caught by ASan.
        registry.PutRaw(kMain, "v", type, bytes);
        registry.PutRaw(kKey, "d", type, bytes);

        const bool isText = type == kRegSz || type == kRegExpandSz;
        const std::string invalid = "Invalid data type for 'v'";
        std::string expectedText;
        const auto nul = std::find(bytes.begin(), bytes.end(), std::uint8_t{0});
        expectedText.assign(bytes.begin(), nul);

        if (!bytes.empty() && !isText) {
            EXPECT_EQ(ErrorOf([&] { store.ReadString("Main", "v", "def"); }), invalid);
            EXPECT_EQ(ErrorOf([&] { store.ReadBool("Main", "v", true); }), invalid);
        } else {
            EXPECT_EQ(store.ReadString("Main", "v", "def"), expectedText);
            const std::optional<long long> n = ParseWholeNumber(expectedText);
            EXPECT_EQ(store.ReadBool("Main", "v", true), n ? *n != 0 : true);
            EXPECT_EQ(store.ReadBool("Main", "v", false), n ? *n != 0 : false);
        }

        if (bytes.size() > 8) {
            EXPECT_EQ(ErrorOf([&] { store.ReadDate("d"); }), "Failed to get data for 'd'");
        } else if (type != kRegBinary || bytes.size() < 8) {
            EXPECT_EQ(ErrorOf([&] { store.ReadDate("d"); }), "Invalid data type for 'd'");
        } else {
            double expected;
            std::memcpy(&expected, bytes.data(), 8);  // the test machines are little-endian
            const double got = store.ReadDate("d");
            EXPECT_EQ(std::bit_cast<std::uint64_t>(got), std::bit_cast<std::uint64_t>(expected));
        }
    }
    EXPECT_EQ(registry.OpenHandleCount(), 0u);
}

TEST_P(RandomValues, WrittenTextsAndDatesReadBackUnchanged) {
    std::mt19937 rng(GetParam() ^ 0x9e3779b9u);
    MemoryRegistry registry;
    SettingsStore store(registry, kPath);
    for (int i = 0; i < 1000; ++i) {
        // NUL-free text: a NUL would end it on reading back.
        std::string text(rng() % 300, '\0');
        for (char& c : text) c = static_cast<char>(1 + rng() % 255);
        store.WriteString("Section", "value", text);
        ASSERT_EQ(store.ReadString("Section", "value", "x"), text);

        const double date = std::bit_cast<double>((std::uint64_t{rng()} << 32) | rng());
        store.WriteDate("date", date);
        ASSERT_EQ(std::bit_cast<std::uint64_t>(store.ReadDate("date")),
                  std::bit_cast<std::uint64_t>(date));
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, RandomValues, ::testing::Values(1u, 2u, 3u, 20240101u, 77777u));

}  // namespace
}  // namespace quenvix::core
