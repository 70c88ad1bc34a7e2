// The key recording dialog on real windows, with the detector polling a scripted keyboard. A
// thread timer, dispatched by the dialog's own modal loop, plays the user one step at a time.
#include "win/key_record_dialog.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <climits>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/ports/key_state.h"
#include "dialog_script.h"
#include "fakes/key_set.h"
#include "win/timer.h"

namespace quenvix::win {
namespace {

namespace vk = core::vk;

using Step = test::DialogScript::Step;

std::string TextOf(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)), L'\0');
    GetWindowTextW(window, text.data(), static_cast<int>(text.size() + 1));
    return Narrow(text);
}

std::string ItemText(HWND dialog, int id) {
    return TextOf(GetDlgItem(dialog, id));
}

// Sets the modifiers this thread sees as held, as the messages it reads would.
void HoldModifiers(bool shift, bool control) {
    BYTE state[256];
    GetKeyboardState(state);
    state[VK_SHIFT] = shift ? 0x80 : 0;
    state[VK_CONTROL] = control ? 0x80 : 0;
    SetKeyboardState(state);
}

Step Key(WPARAM key) {
    return [key](HWND dialog) {
        HWND focus = GetFocus();
        PostMessageW(focus ? focus : dialog, WM_KEYDOWN, key, 0);
        return true;
    };
}
Step Do(std::function<void()> action) {
    return [action](HWND) {
        action();
        return true;
    };
}
Step WaitForNewKey(std::string text) {
    return [text](HWND dialog) { return ItemText(dialog, KeyRecordDialog::kNewKey) == text; };
}
// Gives the modal loop a few ticks to handle what was posted.
Step Idle(int ticks) {
    auto left = std::make_shared<int>(ticks);
    return [left](HWND) { return --*left <= 0; };
}

class KeyRecordDialogTest : public ::testing::Test {
  protected:
    KeyRecordDialogTest() {
        peek.AddHotkey("HideThis", "To hide the active program", "CTRL+* Num");
        peek.AddHotkey("HideAll", "To hide all programs", "CTRL+/ Num");
        peek.StartDetect([this](std::uint16_t index) { fired.push_back(index); });
    }
    ~KeyRecordDialogTest() override { HoldModifiers(false, false); }

    bool Execute(std::vector<Step> steps) {
        // Something that never shows leaves a step waiting: the dialog is ended after 300 ticks.
        test::DialogScript::Ending ending{[this] { return dialog.Hwnd(); },
                                          [](HWND d) { PostMessageW(d, WM_CLOSE, 0, 0); }};
        ending.spareTicks = INT_MAX;
        ending.tickLimit = 300;
        ending.tickMs = 30;
        script.emplace(std::move(ending), std::move(steps));
        const bool result = script->Play(
            [&] { return dialog.Execute("To hide the active program", "CTRL+* Num", peek); });
        EXPECT_FALSE(script->EndedByScript()) << "stuck at step " << script->StepsDone();
        EXPECT_EQ(script->StepsDone(), script->StepCount());
        return result;
    }

    // Runs messages until `done` holds or a generous limit passes.
    static bool PumpUntil(const std::function<bool()>& done) {
        const ULONGLONG giveUp = GetTickCount64() + 10000;
        while (!done() && GetTickCount64() < giveUp) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        }
        return done();
    }

    test::KeySet keys;
    Win32Timers timers;
    core::HotkeyDetector peek{keys, timers};
    std::vector<int> fired;
    KeyRecordDialog dialog{nullptr};
    std::optional<test::DialogScript> script;
};

TEST_F(KeyRecordDialogTest, OpensWithTheOldKeyAndTheFocusOnCancel) {
    HWND cancel = nullptr;
    std::string caption, label3, oldKey, newKey;
    RECT client{};
    HWND afterCancel = nullptr;
    const bool ok = Execute({
        [&](HWND d) {
            caption = TextOf(d);
            label3 = ItemText(d, KeyRecordDialog::kHeadingId);
            oldKey = ItemText(d, KeyRecordDialog::kOldKey);
            newKey = ItemText(d, KeyRecordDialog::kNewKey);
            cancel = GetFocus();
            afterCancel = GetNextDlgTabItem(d, GetDlgItem(d, IDCANCEL), FALSE);
            GetClientRect(d, &client);
            return true;
        },
        Key(VK_RETURN),  // the focus is on Cancel, so Enter cancels
    });
    EXPECT_FALSE(ok);
    EXPECT_EQ(caption, "Changing short-key");
    EXPECT_EQ(label3, "Changing short-key for To hide the active program");
    EXPECT_EQ(oldKey, "CTRL+* Num");
    EXPECT_EQ(newKey, "CTRL+* Num");
    EXPECT_EQ(GetDlgCtrlID(cancel), IDCANCEL);
    EXPECT_EQ(GetDlgCtrlID(afterCancel), IDOK);
    const UINT dpi = DpiOf(dialog.Hwnd());
    EXPECT_EQ(client.right, Scale(243, dpi));
    EXPECT_EQ(client.bottom, Scale(173, dpi));
    EXPECT_EQ(dialog.NewKey(), "CTRL+* Num");
}

TEST_F(KeyRecordDialogTest, ShowsEachRecordedCombinationAndOkTakesTheLast) {
    const bool ok = Execute({
        Do([&] { keys.Hold({vk::kControl}); }),
        WaitForNewKey("CTRL"),
        Do([&] {
            keys.Hold({vk::kControl, 'A'});
        }),
        WaitForNewKey("CTRL+A"),
        Do([&] { keys.Hold({vk::kControl}); }),
        Idle(5),
        Do([&] { keys.Hold({}); }),
        Idle(5),
        WaitForNewKey("CTRL+A"),
        Key(VK_TAB),
        Key(VK_RETURN),
    });
    EXPECT_TRUE(ok);
    EXPECT_EQ(dialog.NewKey(), "CTRL+A");
}

TEST_F(KeyRecordDialogTest, ExistingHotkeyIsRecordedNotFiredAndDetectionResumesAfterwards) {
    const bool ok = Execute({
        Do([&] {
            keys.Hold({vk::kControl, vk::kDivide});
        }),
        WaitForNewKey("CTRL+/ Num"),
        Do([&] { keys.Hold({}); }),
        Idle(5),
        Key(VK_ESCAPE),
    });
    EXPECT_FALSE(ok);
    EXPECT_TRUE(fired.empty());
    // Closing stopped the recording: after its last tick the detector fires again.
    keys.Hold({vk::kControl, vk::kDivide});
    EXPECT_TRUE(PumpUntil([&] { return !fired.empty(); }));
    EXPECT_EQ(fired, std::vector<int>{1});
}

TEST_F(KeyRecordDialogTest, EnterAndEscapeDoNothingWhileAModifierIsHeld) {
    const bool ok = Execute({
        Key(VK_TAB),  // OK has the focus: Enter would take the text
        Do([] { HoldModifiers(true, false); }),
        Key(VK_ESCAPE),
        Key(VK_RETURN),
        Do([] { HoldModifiers(false, true); }),
        Key(VK_RETURN),
        Idle(5),
        Do([] { HoldModifiers(false, false); }),
        Key(VK_ESCAPE),
    });
    EXPECT_FALSE(ok);
}

TEST_F(KeyRecordDialogTest, ClosingTheWindowCancelsAndClickingOkAccepts) {
    EXPECT_FALSE(Execute({[](HWND d) { return PostMessageW(d, WM_CLOSE, 0, 0) != 0; }}));
    EXPECT_TRUE(Execute({
        Do([&] { keys.Hold({vk::kShift}); }),
        WaitForNewKey("SHIFT"),
        [](HWND d) {
            SendMessageW(GetDlgItem(d, IDOK), BM_CLICK, 0, 0);
            return true;
        },
    }));
    EXPECT_EQ(dialog.NewKey(), "SHIFT");
}

}  // namespace
}  // namespace quenvix::win
