#include "core/dialog_text.h"

#include <gtest/gtest.h>

#include "core/error.h"
#include "core/settings.h"
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
    EXPECT_EQ(AutoUpdateCheckText.Kind, dkConfirmation);
    EXPECT_EQ(AutoUpdateCheckText.Ident, "AutoUpdateCheck");
    EXPECT_EQ(DialogLines(AutoUpdateCheckText.Text),
              Lines({"Automatic update check will be activated.",
                     "Uncheck menu Help\\Automatic update check to disable.",
                     "This feature needs internet connection where",
                     "no personal information will be sent out.",
                     "Continue the automatic update check?"}));
}

TEST(FaceOf, InformationHasOnlyOkWhereCancelStandsAndItsOwnCaption) {
    const DialogFace notice = FaceOf({dkInformation, "Hiding window", "a\nb"});
    EXPECT_EQ(notice.caption, "Information");
    EXPECT_FALSE(notice.showCancel);
    EXPECT_EQ(notice.okLeft, 272);
    EXPECT_TRUE(notice.informationPicture);
    EXPECT_EQ(notice.lines, Lines({"a", "b"}));
    // Every other kind, including values no caller uses, is a question.
    for (int kind : {0, 1, 3, 255}) {
        const DialogFace question = FaceOf({static_cast<TDialogKind>(kind), "x", ""});
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
    TMyRegistry store{registry, "\\Software\\Tarmel\\Quenvix\\"};
    const TDialogText askToClose{dkConfirmation, "AskToClose", "Close Quenvix?"};
    int shown = 0;

    bool Run(const TDialogText& text, DialogAnswer answer) {
        return RunConfirmation(store, text, [&](const DialogFace& face) {
            ++shown;
            EXPECT_EQ(face.lines, DialogLines(text.Text));
            return answer;
        });
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
    EXPECT_FALSE(Run({dkConfirmation, "Closing is hiding", "x"}, {false, false}));
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

TEST_F(ConfirmationTest, StoreErrorsReachTheCaller) {
    registry.PutRaw(kDialogs, "AskToClose", kRegDword, {1, 0, 0, 0});
    try {
        Run(askToClose, {true, false});
        ADD_FAILURE() << "a value of the wrong type must fail";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Invalid data type for 'AskToClose'");
    }
    EXPECT_EQ(shown, 0);

    registry.SetFailCreate(true);
    try {
        Run({dkInformation, "Hiding window", "x"}, {true, true});
        ADD_FAILURE() << "a failed write must fail";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Failed to create key Dialogs");
    }
}

}  // namespace
}  // namespace quenvix::core
