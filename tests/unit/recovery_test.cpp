#include "core/recovery.h"

#include <gtest/gtest.h>

#include <limits>

#include "core/settings_store.h"
#include "core/text.h"
#include "fakes/memory_registry.h"

namespace quenvix::core {
namespace {

RecoveryEntry Entry(WindowId handle, std::string caption, ShowState state = ShowState::Normal) {
    return {handle, {1234, 5678, 133500000000000000ull}, state, std::move(caption), {}};
}

TEST(RecoveryEncoding, RoundTripsCaptionsThatLookLikeTheFormat) {
    const std::vector<RecoveryEntry> entries = {
        Entry(0x1A2B3C4D5E6F7081ull, "Plain", ShowState::Normal),
        Entry(2, "two\nlines\r\nand a back\\slash \\n not a newline", ShowState::Minimized),
        Entry(3, "", ShowState::Maximized),
        Entry(4, std::string("nul\0inside", 10), ShowState::Normal),
        Entry(5, "Документ — Блокнот 中文 \xF0\x9F\x98\x80", ShowState::Minimized),
        Entry(6, " leading and trailing blanks ", ShowState::Normal),
        Entry(std::numeric_limits<std::uint64_t>::max(), "handles use all 64 bits",
              ShowState::Normal),
    };
    const std::string text = EncodeRecovery(entries);
    // One line per entry, whatever the captions hold.
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 7);
    EXPECT_EQ(text.find('\0'), std::string::npos);
    EXPECT_EQ(DecodeRecovery(text), entries);
}

TEST(RecoveryEncoding, KeepsOnlyTheStartOfAVeryLongCaption) {
    std::string longCaption;
    for (int i = 0; i < 300; ++i) longCaption += "ж";
    const auto decoded = DecodeRecovery(EncodeRecovery({Entry(9, longCaption)}));
    ASSERT_EQ(decoded.size(), 1u);
    EXPECT_EQ(CharacterCount(decoded[0].caption), kRecoveryCaptionLimit);
}

TEST(RecoveryDecoding, SkipsDamagedLinesAndKeepsTheGoodOnes) {
    const std::string text =
        "garbage\n"
        "11 1 2 3 0 first good\n"
        "0 1 2 3 0 no window\n"
        "12 1 2 3 3 state out of range\n"
        "13 1 2 3 12 two-digit state\n"
        "14 99999999999 2 3 0 pid beyond 32 bits\n"
        "15 1 2 99999999999 0 thread beyond 32 bits\n"
        "16 1 999999999999999999999999 3 0 start time beyond 64 bits\n"
        "-17 1 2 3 0 negative\n"
        "+18 1 2 3 0 signed\n"
        "019 1 2 3 0 leading zero\n"
        "20  1 2 3 0 double blank\n"
        "21 1 2 3\n"
        "22 1 2 3 x\n"
        "0x17 1 2 3 0 hex\n"
        "\n"
        "23 4 5 6 2\r\n"
        "24 7 8 9 1 last good";
    const auto decoded = DecodeRecovery(text);
    ASSERT_EQ(decoded.size(), 3u);
    EXPECT_EQ(decoded[0], (RecoveryEntry{11, {1, 3, 2}, ShowState::Normal, "first good", {}}));
    EXPECT_EQ(decoded[1], (RecoveryEntry{23, {4, 6, 5}, ShowState::Maximized, "", {}}));
    EXPECT_EQ(decoded[2], (RecoveryEntry{24, {7, 9, 8}, ShowState::Minimized, "last good", {}}));
}

// The user's state of a window a "minimise" rule took travels on a line of its own, which an
// earlier version skips as damage: it still reads every entry, in the state for the exit.
TEST(RecoveryDecoding, TheUsersStateRoundTripsAndAnOlderRecordStillReads) {
    RecoveryEntry player = Entry(31, "Player", ShowState::Minimized);
    player.userState = ShowState::Maximized;
    const std::vector<RecoveryEntry> entries = {player, Entry(32, "=32 2", ShowState::Normal)};
    const std::string text = EncodeRecovery(entries);
    EXPECT_EQ(DecodeRecovery(text), entries);

    std::string older;  // the lines an earlier version can read, and wrote
    for (std::size_t start = 0, end; start < text.size(); start = end + 1) {
        end = text.find('\n', start);
        if (text[start] != '=') older += text.substr(start, end - start + 1);
    }
    ASSERT_LT(older.size(), text.size());
    const auto fromOlder = DecodeRecovery(older);
    ASSERT_EQ(fromOlder.size(), 2u);
    EXPECT_EQ(fromOlder[0].userState, std::nullopt);
    EXPECT_EQ(UserState(fromOlder[0]), ShowState::Minimized);

    // A user's state for no entry, or a damaged one, changes nothing.
    EXPECT_EQ(DecodeRecovery("=31 2\n" + older + "=99 2\n=31 7\n=31 \n=x 1\n"), fromOlder);
}

TEST(RecoveryDecoding, StopsAtTheEntryLimit) {
    std::string text;
    for (std::size_t i = 1; i <= kRecoveryEntryLimit + 10; ++i) {
        text += std::to_string(i) + " 1 2 3 0 w\n";
    }
    EXPECT_EQ(DecodeRecovery(text).size(), kRecoveryEntryLimit);
    EXPECT_TRUE(DecodeRecovery("").empty());
    EXPECT_TRUE(DecodeRecovery(std::string(100000, '\\')).empty());
}

TEST(SameOwner, TellsAReusedHandleFromTheSameWindow) {
    const WindowOrigin then{10, 20, 500};
    EXPECT_TRUE(SameOwner(then, {10, 20, 500}));
    EXPECT_FALSE(SameOwner(then, {11, 20, 500}));  // another program
    EXPECT_FALSE(SameOwner(then, {10, 21, 500}));  // another thread of it
    EXPECT_FALSE(SameOwner(then, {10, 20, 501}));  // the process id was reused
    // A start time that could not be read is no proof against.
    EXPECT_TRUE(SameOwner(then, {10, 20, 0}));
    EXPECT_TRUE(SameOwner({10, 20, 0}, then));
    EXPECT_FALSE(SameOwner(then, {}));  // the window is gone
}

TEST(CollectRecords, NamesThisRunsRecordAfterTheFirstNameThatCanBeRead) {
    constexpr const char* kHidden = "Software\\Tarmel\\Quenvix\\Hidden";
    test::MemoryRegistry registry;
    SettingsStore store(registry, "\\Software\\Tarmel\\Quenvix\\");
    EXPECT_EQ(CollectRecords(store, "Windows.1").ownValue, "Windows.1");

    registry.PutRaw(kHidden, "Windows.1", kRegDword, {1, 0, 0, 0});
    registry.PutString(kHidden, "Windows.1-2", std::string(kRecoveryTextLimit + 1, '1'));
    registry.PutString(kHidden, "Windows.1-3", EncodeRecovery({Entry(9, "spare")}));
    // Not spares of this session: another session's, a spare numbered oddly, a rule's note.
    registry.PutString(kHidden, "Windows.10", EncodeRecovery({Entry(10, "x")}));
    registry.PutString(kHidden, "Windows.1-02", EncodeRecovery({Entry(11, "x")}));
    registry.PutString(kHidden, "BroughtBack.1", EncodeRecovery({Entry(12, "x")}));
    const RecordsToTakeBack records = CollectRecords(store, "Windows.1");
    // As the registry lists them: its names are compared without regard to case.
    ASSERT_EQ(records.unreadable.size(), 2u);
    EXPECT_EQ(AsciiLower(records.unreadable[0]), "windows.1");
    EXPECT_EQ(AsciiLower(records.unreadable[1]), "windows.1-2");
    EXPECT_EQ(records.ownValue, "Windows.1-3");
    ASSERT_EQ(records.entries.size(), 1u);
    EXPECT_EQ(records.entries[0].handle, 9u);

    RetireTakenRecords(store, records);  // its own stays, as do the unreadable ones
    EXPECT_TRUE(registry.HasValue(kHidden, "Windows.1-3"));
    EXPECT_EQ(registry.GetRaw(kHidden, "Windows.1")->first, kRegDword);
    EXPECT_TRUE(registry.HasValue(kHidden, "Windows.1-02"));
}

}  // namespace
}  // namespace quenvix::core
