// The confirmation dialog on real windows: its two faces, and how each way of closing it answers
// and is remembered. A thread timer, dispatched by the dialog's own modal loop, plays the user.
#include "win/confirm_dialog.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/settings_store.h"
#include "dialog_script.h"
#include "fakes/memory_registry.h"

namespace quenvix::win {
namespace {

using Step = test::DialogScript::OneTickStep;
constexpr wchar_t kDialogClass[] = L"QuenvixConfirmDlg";

HWND Focused(HWND dialog) {
    HWND focus = GetFocus();
    return focus ? focus : dialog;
}

Step PressKey(WPARAM key) {
    return [key](HWND dialog) { PostMessageW(Focused(dialog), WM_KEYDOWN, key, 0); };
}
Step Click(int id) {
    return [id](HWND dialog) { SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0); };
}
Step Close() {
    return [](HWND dialog) { PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); };
}

std::wstring TextOf(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)), L'\0');
    GetWindowTextW(window, text.data(), static_cast<int>(text.size() + 1));
    return text;
}

// Left edge of a control in its dialog's client coordinates.
int LeftOf(HWND dialog, int id) {
    RECT r{};
    GetWindowRect(GetDlgItem(dialog, id), &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r.left;
}

class ConfirmDialogTest : public ::testing::Test {
  protected:
    static constexpr std::string_view kDialogs = "Software\\Tarmel\\Quenvix\\Dialogs";
    test::MemoryRegistry registry;
    core::SettingsStore store{registry, "\\Software\\Tarmel\\Quenvix\\"};

    // Runs ConfirmUnlessSilenced with `steps` played one per timer tick; returns its answer.
    bool Run(const core::DialogText& text, std::vector<Step> steps) {
        script.emplace(
            test::DialogScript::Ending{[] { return FindWindowW(kDialogClass, nullptr); },
                                       [](HWND dialog) { PostMessageW(dialog, WM_CLOSE, 0, 0); }},
            steps);
        const bool answer =
            script->Play([&] { return ConfirmUnlessSilenced(store, text, nullptr); });
        EXPECT_FALSE(script->EndedByScript()) << "the dialog did not end as the steps should have";
        return answer;
    }

    std::optional<test::DialogScript> script;
};

TEST_F(ConfirmDialogTest, QuestionShowsBothButtonsAndTheTextLineByLine) {
    const std::size_t entries = registry.CurrentUserEntryCount();
    const bool answer = Run(
        {core::DialogKind::Question, "AskToClose", "first\n\nsecond"},
        {[](HWND dialog) {
             const UINT dpi = DpiOf(dialog);
             EXPECT_EQ(TextOf(dialog), L"Confirmation");
             RECT client{};
             GetClientRect(dialog, &client);
             EXPECT_EQ(client.right, Scale(362, dpi));
             EXPECT_EQ(client.bottom, Scale(126, dpi));
             EXPECT_EQ(TextOf(GetDlgItem(dialog, ConfirmDialog::kTextId)), L"first\r\n\r\nsecond");
             EXPECT_TRUE(IsWindowVisible(GetDlgItem(dialog, IDCANCEL)));
             EXPECT_EQ(LeftOf(dialog, IDOK), Scale(192, dpi));
             EXPECT_EQ(LeftOf(dialog, IDCANCEL), Scale(272, dpi));
             EXPECT_EQ(IsDlgButtonChecked(dialog, ConfirmDialog::kNoMore), BST_UNCHECKED);
         },
         Click(IDOK)});
    EXPECT_TRUE(answer);
    EXPECT_EQ(script->StepsDone(), 2u);
    // Not ticked: nothing is remembered.
    EXPECT_EQ(registry.CurrentUserEntryCount(), entries);
}

TEST_F(ConfirmDialogTest, EnterAnswersOkAndEscapeOrTheCloseBoxCancel) {
    const core::DialogText text{core::DialogKind::Question, "Closing is hiding", "x"};
    EXPECT_TRUE(Run(text, {PressKey(VK_RETURN)}));
    EXPECT_FALSE(Run(text, {PressKey(VK_ESCAPE)}));
    EXPECT_FALSE(Run(text, {Close()}));
    EXPECT_FALSE(Run(text, {Click(IDCANCEL)}));
    EXPECT_FALSE(registry.HasValue(kDialogs, "Closing is hiding"));
}

TEST_F(ConfirmDialogTest, NoticeHasOnlyOkInCancelsPlaceAndIgnoresEscape) {
    bool openAfterEscape = false;
    const bool answer =
        Run({core::DialogKind::Notice, "Hiding window", "notice"},
            {[](HWND dialog) {
                 EXPECT_EQ(TextOf(dialog), L"Information");
                 EXPECT_FALSE(IsWindowVisible(GetDlgItem(dialog, IDCANCEL)));
                 EXPECT_EQ(LeftOf(dialog, IDOK), Scale(272, DpiOf(dialog)));
             },
             PressKey(VK_ESCAPE),
             [&](HWND dialog) { openAfterEscape = IsWindowVisible(dialog) != FALSE; }, Close()});
    EXPECT_TRUE(openAfterEscape);
    EXPECT_FALSE(answer);
}

TEST_F(ConfirmDialogTest, TickedBoxSilencesTheMessageWhicheverWayItCloses) {
    const core::DialogText text{core::DialogKind::Question, "AskToClose", "Close Quenvix?"};
    EXPECT_FALSE(Run(text, {Click(ConfirmDialog::kNoMore), PressKey(VK_ESCAPE)}));
    EXPECT_EQ(registry.GetString(kDialogs, "AskToClose"), "1");
    // Silenced: answered OK at once, without a window.
    EXPECT_TRUE(Run(text, {}));
    EXPECT_EQ(script->StepsDone(), 0u);

    const core::DialogText notice{core::DialogKind::Notice, "Hiding window", "n"};
    EXPECT_FALSE(Run(notice, {Click(ConfirmDialog::kNoMore), Close()}));
    EXPECT_EQ(registry.GetString(kDialogs, "Hiding window"), "1");
}

// The error reporter's message box: its text is kept and the box is answered with OK.
std::wstring g_reported;
void CALLBACK AnswerErrorBox(HWND, UINT, UINT_PTR, DWORD) {
    HWND box = FindWindowW(L"#32770", L"Quenvix");
    if (!box) return;
    EnumChildWindows(
        box,
        [](HWND child, LPARAM) -> BOOL {
            wchar_t cls[16] = {};
            GetClassNameW(child, cls, 16);
            if (lstrcmpiW(cls, L"Static") == 0 && GetWindowTextLengthW(child) > 0) {
                g_reported += TextOf(child);
            }
            return TRUE;
        },
        0);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
}

TEST_F(ConfirmDialogTest, AWronglyTypedMemoryIsReportedThenAskedAndRepaired) {
    registry.PutRaw(kDialogs, "AskToClose", core::kRegDword, {1, 0, 0, 0});
    g_reported.clear();
    const UINT_PTR boxTimer = SetTimer(nullptr, 0, 50, AnswerErrorBox);
    // The user can still leave: the question comes after the report, and OK answers it.
    EXPECT_TRUE(Run({core::DialogKind::Question, "AskToClose", "Close Quenvix?"}, {Click(IDOK)}));
    KillTimer(nullptr, boxTimer);
    EXPECT_EQ(g_reported, L"Invalid data type for 'AskToClose'");
    EXPECT_EQ(script->StepsDone(), 1u);
    EXPECT_EQ(registry.GetString(kDialogs, "AskToClose"), "0");
}

}  // namespace
}  // namespace quenvix::win
