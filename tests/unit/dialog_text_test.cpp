#include "core/dialog_text.h"

#include <gtest/gtest.h>

#include "core/error.h"
#include "core/settings_store.h"
#include "fakes/memory_registry.h"

namespace quenvix::core {
namespace {

using Lines = std::vector<std::string>;

TEST(DialogLines, CutsAtEveryLineFeedOnly) {
    EXPECT_EQ(DialogLines(""), Lines({""}));
    EXPECT_EQ(DialogLines("Close Quenvix?"), Lines({"Close Quenvix?"}));
    EXPECT_EQ(DialogLines("one\n\ntwo"), Lines({"one", "", "two"}));
    EXPECT_EQ(DialogLines("end\n"), Lines({"end", ""}));
    EXPECT_EQ(DialogLines("\n"), Lines({"", ""}));
    // Only character 10 separates: a carriage return stays in its line.
    EXPECT_EQ(DialogLines("a\r\nb\rc"), Lines({"a\r", "b\rc"}));
}

TEST(DialogLines, TheAutomaticUpdateQuestionHasItsFiveLines) {
    EXPECT_EQ(AutoUpdateCheckText.Kind, DialogKind::Question);
    EXPECT_EQ(AutoUpdateCheckText.Ident, "AutoUpdateCheck");
    EXPECT_EQ(DialogLines(AutoUpdateCheckText.Text),
              Lines({"Automatic update check will be activated.",
                     "Uncheck menu Help\\Automatic update check to disable.",
                     "This feature needs internet connection where",
                     "no personal information will be sent out.",
                     "Continue the automatic update check?"}));
}

TEST(FaceOf, InformationHasOnlyOkWhereCancelStandsAndItsOwnCaption) {
    const DialogFace notice = FaceOf({DialogKind::Notice, "Hiding window", "a\nb"});
    EXPECT_EQ(notice.caption, "Information");
    EXPECT_FALSE(notice.showCancel);
    EXPECT_EQ(notice.okLeft, 272);
    EXPECT_TRUE(notice.informationPicture);
    EXPECT_EQ(notice.lines, Lines({"a", "b"}));
    // Every other kind, including values no caller uses, is a question.
    for (int kind : {0, 1, 3, 255}) {
        const DialogFace question = FaceOf({static_cast<DialogKind>(kind), "x", ""});
        EXPECT_EQ(question.caption, "Confirmation") << kind;
        EXPECT_TRUE(question.showCancel);
        EXPECT_EQ(question.okLeft, 192);
        EXPECT_FALSE(question.informationPicture);
    }
}

class ConfirmationTest : public ::testing::Test {
  protected:
    static constexpr std::string_view kDialogs = "Software\\Tarmel\\Quenvix\\Dialogs";
    test::MemoryRegistry registry;
    SettingsStore store{registry, "\\Software\\Tarmel\\Quenvix\\"};
    const DialogText askToClose{DialogKind::Question, "AskToClose", "Close Quenvix?"};
    int shown = 0;
    std::vector<std::string> reported;

    bool Run(const DialogText& text, DialogAnswer answer) {
        return RunConfirmation(
            store, text,
            [&](const DialogFace& face) {
                ++shown;
                EXPECT_EQ(face.lines, DialogLines(text.Text));
                return answer;
            },
            [&](const std::string& message) { reported.push_back(message); });
    }
};

TEST_F(ConfirmationTest, AnswersAsTheUserDidAndLeavesTheRegistryAloneWithoutTheBox) {
    const std::size_t entries = registry.CurrentUserEntryCount();
    EXPECT_TRUE(Run(askToClose, {true, false}));
    EXPECT_FALSE(Run(askToClose, {false, false}));
    EXPECT_EQ(shown, 2);
    EXPECT_EQ(registry.CurrentUserEntryCount(), entries);
}

TEST_F(ConfirmationTest, TickedBoxSilencesTheMessageEvenWhenCancelled) {
    EXPECT_FALSE(Run(askToClose, {false, true}));
    EXPECT_EQ(registry.GetRaw(kDialogs, "AskToClose"),
              std::make_pair(kRegSz, std::vector<std::uint8_t>{'1', 0}));
    EXPECT_TRUE(Run(askToClose, {false, false}));
    EXPECT_EQ(shown, 1);
    // Other messages are not affected.
    EXPECT_FALSE(Run({DialogKind::Question, "Closing is hiding", "x"}, {false, false}));
    EXPECT_EQ(shown, 2);
}

TEST_F(ConfirmationTest, StoredValueDecidesWhatIsSilenced) {
    registry.PutString(kDialogs, "askTOclose", "1");
    EXPECT_TRUE(Run(askToClose, {false, false}));
    EXPECT_EQ(shown, 0);
    registry.PutString(kDialogs, "AskToClose", "0");  // set back outside the program
    EXPECT_FALSE(Run(askToClose, {false, false}));
    registry.PutString(kDialogs, "AskToClose", "not a number");
    EXPECT_FALSE(Run(askToClose, {false, false}));
    EXPECT_EQ(shown, 2);
}

TEST_F(ConfirmationTest, DamagedMemoryIsReportedOnceAndNeverBlocksTheAnswer) {
    // Every wrong type a .reg file or a policy could leave behind.
    const std::vector<std::pair<std::uint32_t, std::vector<std::uint8_t>>> damaged = {
        {kRegDword, {1, 0, 0, 0}},
        {kRegBinary, {'1'}},
        {kRegMultiSz, {'1', 0, 0}},
        {kRegQword, {1, 0, 0, 0, 0, 0, 0, 0}}};
    for (const auto& [type, bytes] : damaged) {
        for (const bool tick : {false, true}) {
            reported.clear();
            shown = 0;
            registry.PutRaw(kDialogs, "AskToClose", type, bytes);
            EXPECT_TRUE(Run(askToClose, {true, tick}));
            EXPECT_EQ(shown, 1);
            EXPECT_EQ(reported, std::vector<std::string>{"Invalid data type for 'AskToClose'"});
            // Repaired with the user's choice: the next run is silent or asks, without a report.
            EXPECT_EQ(registry.GetRaw(kDialogs, "AskToClose"),
                      std::make_pair(kRegSz, std::vector<std::uint8_t>{
                                                 static_cast<std::uint8_t>(tick ? '1' : '0'), 0}));
            EXPECT_EQ(Run(askToClose, {false, false}), tick);
            EXPECT_EQ(shown, tick ? 1 : 2);
            EXPECT_EQ(reported.size(), 1u);
        }
    }
}

TEST_F(ConfirmationTest, FailedWriteIsReportedAndTheAnswerStillCounts) {
    registry.SetFailCreate(true);
    EXPECT_TRUE(Run({DialogKind::Notice, "Hiding window", "x"}, {true, true}));
    EXPECT_EQ(reported, std::vector<std::string>{"Failed to create key Dialogs"});
}

}  // namespace
}  // namespace quenvix::core
