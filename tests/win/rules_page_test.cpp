// The "Rules" page and the rule dialog on real windows, over the "Rules" section as the settings
// store holds it: the stored rules on show, each change stored at once, the dialog driven as a
// user drives it (a thread timer, dispatched by the dialog's own modal loop, plays the user),
// the keyboard, and a section at its limits. The dialog's window list is checked against a window
// of another process: this test program started again with --child-window.
#include "win/rules_page.h"

#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/text.h"
#include "dialog_script.h"
#include "win/rule_edit_dialog.h"

namespace quenvix::win {
namespace {

constexpr wchar_t kChildClass[] = L"QuenvixRulesPageTestChild";
constexpr wchar_t kChildCaption[] = L"Rules page test \u2013 another program";
constexpr DWORD kChildWaitMs = 20000;

// The "Rules" section of the settings store, in memory.
class Section : public core::RuleValueWriter {
  public:
    void Write(std::string_view name, std::string_view text) override {
        values[std::string(name)] = std::string(text);
    }
    bool Remove(std::string_view name) override { return values.erase(std::string(name)) > 0; }
    std::optional<std::string> Read(std::string_view name) const {
        const auto found = values.find(std::string(name));
        if (found == values.end()) return std::nullopt;
        return found->second;
    }
    std::map<std::string, std::string> values;
};

std::wstring TextOf(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)), L'\0');
    GetWindowTextW(window, text.data(), static_cast<int>(text.size() + 1));
    return text;
}

// ---- playing the user in the dialog ----------------------------------------------------------
using Step = test::DialogScript::OneTickStep;

test::DialogScript::Ending RuleDialogEnding() {
    return {
        [] { return FindWindowW(RuleEditDialog::kClassName, nullptr); },
        [](HWND dialog) { PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0); }};
}

Step Type(int id, const std::wstring& text) {
    return [id, text](HWND dialog) { SetDlgItemTextW(dialog, id, text.c_str()); };
}
// Posted, as a click arrives: the dialog's own loop takes it, not this timer callback.
Step Press(int id) {
    return [id](HWND dialog) {
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
    };
}
Step Choose(int radioOrBox, bool checked) {
    return [=](HWND dialog) {
        CheckDlgButton(dialog, radioOrBox, checked ? BST_CHECKED : BST_UNCHECKED);
        if (radioOrBox == RuleEditDialog::kMinimise || radioOrBox == RuleEditDialog::kAppear) {
            const int other = radioOrBox == RuleEditDialog::kMinimise ? RuleEditDialog::kAppear
                                                                      : RuleEditDialog::kMinimise;
            CheckDlgButton(dialog, other, checked ? BST_UNCHECKED : BST_CHECKED);
        }
    };
}

// ---- the page on a window of its own ----------------------------------------------------------
class RulesPageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        host_ = CreateWindowExW(WS_EX_CONTROLPARENT, L"STATIC", L"Rules page test",
                                WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 620, 320, nullptr,
                                nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(host_, nullptr);
    }
    void TearDown() override {
        page_.reset();
        DestroyWindow(host_);
    }

    void Store(std::size_t index, const core::Rule& rule) {
        section_.values[std::to_string(index)] = *core::FormatRule(rule);
    }
    RulesPage& Open() {
        storage_ = RuleStorageOver(
            [this] {
                std::vector<std::string> names;
                for (const auto& [name, text] : section_.values) names.push_back(name);
                return names;
            },
            [this](std::string_view name) { return section_.Read(name); }, section_,
            [this](std::string_view name, std::string_view) { skipped_.emplace_back(name); });
        page_ = std::make_unique<RulesPage>(
            host_, RECT{0, 0, 600, 280}, *storage_,
            [this](const std::vector<core::Rule>& rules) { announced_.push_back(rules); });
        list_ = GetDlgItem(page_->Hwnd(), RulesPage::kList);
        return *page_;
    }
    // What the section holds now, read back as the program reads it at its start.
    std::vector<core::Rule> Stored() const { return storage_->Load(); }

    // Clicks a page button with `steps` played in the dialog it opens (if any).
    void Click(int id, std::vector<Step> steps = {}) {
        test::DialogScript script(RuleDialogEnding(), steps);
        script.Play([&] { SendMessageW(GetDlgItem(page_->Hwnd(), id), BM_CLICK, 0, 0); });
        EXPECT_FALSE(script.EndedByScript()) << "the dialog did not end as the steps should have";
        EXPECT_EQ(script.StepsDone(), script.StepCount());
    }
    // A key pressed in the list, through the host's dialog navigation as the program's message
    // loop hands it on.
    void Key(WPARAM key, std::vector<Step> steps = {}) {
        test::DialogScript script(RuleDialogEnding(), steps);
        script.Play([&] {
            SetFocus(list_);
            PostMessageW(list_, WM_KEYDOWN, key, 0);
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                if (!IsDialogMessageW(host_, &msg)) {
                    TranslateMessage(&msg);
                    DispatchMessageW(&msg);
                }
            }
        });
        EXPECT_EQ(script.StepsDone(), script.StepCount());
    }
    void Select(int row) {
        ListView_SetItemState(list_, -1, 0, LVIS_SELECTED);
        ListView_SetItemState(list_, row, LVIS_SELECTED | LVIS_FOCUSED,
                              LVIS_SELECTED | LVIS_FOCUSED);
    }
    int SelectedRow() const { return ListView_GetNextItem(list_, -1, LVNI_SELECTED); }
    std::wstring Cell(int row, int column) const {
        std::wstring text(RulesPage::kShownChars + 16, L'\0');
        ListView_GetItemText(list_, row, column, text.data(), static_cast<int>(text.size()));
        text.resize(wcslen(text.c_str()));
        return text;
    }
    std::vector<std::wstring> Row(int row) const {
        return {Cell(row, 0), Cell(row, 1), Cell(row, 2), Cell(row, 3), Cell(row, 4)};
    }
    bool Enabled(int id) const { return IsWindowEnabled(GetDlgItem(page_->Hwnd(), id)) != FALSE; }

    HWND host_ = nullptr;
    HWND list_ = nullptr;
    Section section_;
    std::unique_ptr<RuleStorage> storage_;
    std::unique_ptr<RulesPage> page_;
    std::vector<std::string> skipped_;
    std::vector<std::vector<core::Rule>> announced_;
};

const core::Rule kNotepad{true, core::RuleAction::Appear, "notepad.exe", "", ""};
const core::Rule kMailer{false, core::RuleAction::Minimise, "", "MailFrame", "Inbox"};
const core::Rule kPlayer{true, core::RuleAction::Minimise, "player.exe", "", "Now playing"};

TEST_F(RulesPageTest, ShowsTheStoredRulesInOrderPassingOverADamagedValue) {
    Store(1, kNotepad);
    section_.values["2"] = "1\tsometimes\tx.exe\t\t";
    Store(3, kMailer);
    Open();
    EXPECT_EQ(skipped_, std::vector<std::string>{"2"});
    EXPECT_EQ(page_->Rules(), (std::vector<core::Rule>{kNotepad, kMailer}));
    ASSERT_EQ(ListView_GetItemCount(list_), 2);
    EXPECT_EQ(Row(0),
              (std::vector<std::wstring>{L"On", L"When it appears", L"notepad.exe", L"", L""}));
    EXPECT_EQ(Row(1),
              (std::vector<std::wstring>{L"Off", L"When minimised", L"", L"MailFrame", L"Inbox"}));
    EXPECT_TRUE(ListView_GetCheckState(list_, 0));
    EXPECT_FALSE(ListView_GetCheckState(list_, 1));
    // The first rule is chosen: it can be edited, removed and moved down, not up.
    EXPECT_EQ(SelectedRow(), 0);
    EXPECT_TRUE(Enabled(RulesPage::kAdd) && Enabled(RulesPage::kEdit) &&
                Enabled(RulesPage::kRemove) && Enabled(RulesPage::kDown));
    EXPECT_FALSE(Enabled(RulesPage::kUp));
    // Nothing chosen: only adding makes sense.
    Select(-1);
    EXPECT_TRUE(Enabled(RulesPage::kAdd));
    EXPECT_FALSE(Enabled(RulesPage::kEdit) || Enabled(RulesPage::kRemove) ||
                 Enabled(RulesPage::kUp) || Enabled(RulesPage::kDown));
    // Nothing was stored just by looking.
    EXPECT_TRUE(announced_.empty());
    EXPECT_EQ(section_.values.count("2"), 1u);
}

TEST_F(RulesPageTest, AddedRuleIsCleanedAppendedStoredAndAnnounced) {
    Store(1, kNotepad);
    Open();
    std::wstring title;
    bool startsOnAndAppear = false;
    bool focusInProgram = false;
    Click(
        RulesPage::kAdd,
        {[&](HWND dialog) {
             title = TextOf(dialog);
             focusInProgram = GetFocus() == GetDlgItem(dialog, RuleEditDialog::kProgram);
             startsOnAndAppear =
                 IsDlgButtonChecked(dialog, RuleEditDialog::kOn) == BST_CHECKED &&
                 IsDlgButtonChecked(dialog, RuleEditDialog::kAppear) == BST_CHECKED &&
                 TextOf(GetDlgItem(dialog, RuleEditDialog::kProgram)).empty();
         },
         Type(RuleEditDialog::kProgram, L"calc.exe"), Type(RuleEditDialog::kClass, L"Sci\tCalc"),
         Choose(RuleEditDialog::kMinimise, true), Choose(RuleEditDialog::kOn, false), Press(IDOK)});
    EXPECT_EQ(title, L"Add rule");
    EXPECT_TRUE(startsOnAndAppear);
    EXPECT_TRUE(focusInProgram);
    const core::Rule added{false, core::RuleAction::Minimise, "calc.exe", "SciCalc", ""};
    const std::vector<core::Rule> expected{kNotepad, added};
    EXPECT_EQ(page_->Rules(), expected);
    EXPECT_EQ(Stored(), expected);
    EXPECT_EQ(section_.values["2"], "0\tminimise\tcalc.exe\tSciCalc\t");
    EXPECT_EQ(announced_, std::vector<std::vector<core::Rule>>{expected});
    EXPECT_EQ(Row(1),
              (std::vector<std::wstring>{L"Off", L"When minimised", L"calc.exe", L"SciCalc", L""}));
    EXPECT_EQ(SelectedRow(), 1);

    // Cancelled, nothing changes.
    Click(RulesPage::kAdd, {Type(RuleEditDialog::kProgram, L"other.exe"), Press(IDCANCEL)});
    EXPECT_EQ(Stored(), expected);
    EXPECT_EQ(announced_.size(), 1u);
}

TEST_F(RulesPageTest, RuleWithNothingToMatchIsRefusedAndTheDialogStaysOpen) {
    Open();
    std::wstring warning;
    bool stillOpen = false;
    Click(RulesPage::kAdd, {Type(RuleEditDialog::kCaption, L"\t\x01"), Press(IDOK),
                            [&](HWND dialog) {
                                // The warning is up, over the dialog.
                                const HWND box = FindWindowW(L"#32770", L"Quenvix");
                                if (!box) return;
                                warning = TextOf(GetDlgItem(box, 0xFFFF));
                                PostMessageW(box, WM_COMMAND, IDOK, 0);
                                stillOpen = IsWindowVisible(dialog) != FALSE;
                            },
                            [&](HWND dialog) { stillOpen = stillOpen && IsWindowEnabled(dialog); },
                            Type(RuleEditDialog::kCaption, L"Untitled"), Press(IDOK)});
    EXPECT_NE(warning.find(L"nothing to match"), std::wstring::npos) << Narrow(warning);
    EXPECT_TRUE(stillOpen);
    const core::Rule added{true, core::RuleAction::Appear, "", "", "Untitled"};
    EXPECT_EQ(Stored(), std::vector<core::Rule>{added});
    EXPECT_EQ(announced_.size(), 1u);
}

TEST_F(RulesPageTest, UpDownRemoveAndTheKeysReorderAndStoreAtOnce) {
    Store(1, kNotepad);
    Store(2, kMailer);
    Store(3, kPlayer);
    Open();
    Select(2);
    EXPECT_FALSE(Enabled(RulesPage::kDown));
    Click(RulesPage::kUp);
    EXPECT_EQ(Stored(), (std::vector<core::Rule>{kNotepad, kPlayer, kMailer}));
    EXPECT_EQ(SelectedRow(), 1);
    Click(RulesPage::kUp);
    EXPECT_EQ(Stored(), (std::vector<core::Rule>{kPlayer, kNotepad, kMailer}));
    EXPECT_FALSE(Enabled(RulesPage::kUp));
    Click(RulesPage::kDown);
    EXPECT_EQ(Stored(), (std::vector<core::Rule>{kNotepad, kPlayer, kMailer}));
    EXPECT_EQ(announced_.size(), 3u);

    // Enter edits the chosen rule, with its fields in the dialog.
    std::wstring title, program, caption;
    Key(VK_RETURN, {[&](HWND dialog) {
                        title = TextOf(dialog);
                        program = TextOf(GetDlgItem(dialog, RuleEditDialog::kProgram));
                        caption = TextOf(GetDlgItem(dialog, RuleEditDialog::kCaption));
                    },
                    Choose(RuleEditDialog::kAppear, true), Press(IDOK)});
    EXPECT_EQ(title, L"Edit rule");
    EXPECT_EQ(program, L"player.exe");
    EXPECT_EQ(caption, L"Now playing");
    core::Rule edited = kPlayer;
    edited.action = core::RuleAction::Appear;
    EXPECT_EQ(Stored(), (std::vector<core::Rule>{kNotepad, edited, kMailer}));

    // Delete removes it; the rule after it is chosen, and the stale value goes.
    Key(VK_DELETE);
    EXPECT_EQ(Stored(), (std::vector<core::Rule>{kNotepad, kMailer}));
    EXPECT_EQ(section_.values.count("3"), 0u);
    EXPECT_EQ(SelectedRow(), 1);
    Click(RulesPage::kRemove);
    Click(RulesPage::kRemove);
    EXPECT_TRUE(Stored().empty());
    EXPECT_TRUE(section_.values.empty());
    EXPECT_FALSE(Enabled(RulesPage::kRemove));
    EXPECT_EQ(announced_.size(), 7u);
    // Tab leaves the list for the first button that can be pressed.
    Key(VK_TAB);
    EXPECT_EQ(GetFocus(), GetDlgItem(page_->Hwnd(), RulesPage::kAdd));
}

TEST_F(RulesPageTest, TickingTheBoxTurnsARuleOnOrOff) {
    Store(1, kNotepad);
    Store(2, kMailer);
    Open();
    ListView_SetCheckState(list_, 1, TRUE);
    ListView_SetCheckState(list_, 0, FALSE);
    core::Rule mailerOn = kMailer;
    mailerOn.enabled = true;
    core::Rule notepadOff = kNotepad;
    notepadOff.enabled = false;
    EXPECT_EQ(Stored(), (std::vector<core::Rule>{notepadOff, mailerOn}));
    EXPECT_EQ(Cell(0, 0), L"Off");
    EXPECT_EQ(Cell(1, 0), L"On");
    EXPECT_EQ(announced_.size(), 2u);
}

TEST_F(RulesPageTest, AFullSectionOfHugeRulesStaysUsable) {
    const std::string huge(10000, 'x');
    for (std::size_t i = 1; i <= core::kMaxRules + 1; ++i) {
        Store(i, core::Rule{true, core::RuleAction::Appear, std::to_string(i) + huge, huge,
                            huge + std::to_string(i)});
    }
    const ULONGLONG start = GetTickCount64();
    Open();
    std::printf("257 rules of 30,000 characters each shown in %llu ms\n", GetTickCount64() - start);
    ASSERT_EQ(ListView_GetItemCount(list_), static_cast<int>(core::kMaxRules + 1));
    const std::wstring shown = Cell(256, 2);
    EXPECT_EQ(shown.size(), RulesPage::kShownChars + 1);
    EXPECT_EQ(shown.substr(0, 4), L"257x");
    EXPECT_EQ(shown.back(), L'\u2026');
    // More rules than are in force: the page says so, and still takes another.
    const HWND beyond = GetDlgItem(page_->Hwnd(), RulesPage::kBeyondLimit);
    EXPECT_TRUE(IsWindowVisible(beyond));
    EXPECT_NE(TextOf(beyond).find(L"first 256 rules"), std::wstring::npos);
    const auto listBottom = [&] {
        RECT r{};
        GetWindowRect(list_, &r);
        return r.bottom;
    };
    RECT notice{};
    GetWindowRect(beyond, &notice);
    EXPECT_LE(listBottom(), notice.top);  // the list makes room for it
    EXPECT_TRUE(Enabled(RulesPage::kAdd));
    // Moving the last one up stores every rule whole; removing one hides the sentence.
    Select(256);
    Click(RulesPage::kUp);
    const std::vector<core::Rule> stored = Stored();
    ASSERT_EQ(stored.size(), core::kMaxRules + 1);
    EXPECT_EQ(stored[255].executable, "257" + huge);
    EXPECT_EQ(stored[256].caption, huge + "256");
    // Editing one shows its whole text and takes it back unchanged.
    std::size_t edited = 0;
    Click(RulesPage::kEdit,
          {[&](HWND dialog) { edited = TextOf(GetDlgItem(dialog, RuleEditDialog::kClass)).size(); },
           Press(IDOK)});
    EXPECT_EQ(edited, huge.size());
    EXPECT_EQ(Stored(), stored);
    Click(RulesPage::kRemove);
    EXPECT_FALSE(IsWindowVisible(beyond));
    EXPECT_EQ(listBottom(), notice.bottom);
}

// ---- the window list of the dialog --------------------------------------------------------------
int RunChildWindow() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = [](HWND window, UINT msg, WPARAM wParam, LPARAM lParam) -> LRESULT {
        if (msg == WM_DESTROY) PostQuitMessage(0);
        return DefWindowProcW(window, msg, wParam, lParam);
    };
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kChildClass;
    RegisterClassExW(&wc);
    CreateWindowExW(0, kChildClass, kChildCaption, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 60, 60, 300,
                    200, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    // Ends by itself should the test never close it.
    SetTimer(nullptr, 0, 60000, [](HWND, UINT, UINT_PTR, DWORD) { PostQuitMessage(1); });
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    return 0;
}

std::wstring ExeName() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring self(path);
    return self.substr(self.find_last_of(L"\\/") + 1);
}

TEST_F(RulesPageTest, DialogFillsItsFieldsFromAnotherProgramsWindow) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring commandLine = L"\"" + std::wstring(path) + L"\" --child-window";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(CreateProcessW(path, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &info));
    UniqueHandle process(info.hProcess);
    CloseHandle(info.hThread);
    HWND child = nullptr;
    for (ULONGLONG end = GetTickCount64() + kChildWaitMs; GetTickCount64() < end; Sleep(20)) {
        child = FindWindowW(kChildClass, nullptr);
        if (child && IsWindowVisible(child)) break;
    }
    ASSERT_TRUE(child && IsWindowVisible(child));

    Open();
    std::vector<std::wstring> entries;
    Click(RulesPage::kAdd,
          {[&](HWND dialog) {
               const HWND list = GetDlgItem(dialog, RuleEditDialog::kOpenWindows);
               const int count = static_cast<int>(SendMessageW(list, CB_GETCOUNT, 0, 0));
               for (int i = 0; i < count; ++i) {
                   std::wstring entry(
                       static_cast<std::size_t>(SendMessageW(list, CB_GETLBTEXTLEN, i, 0)), L'\0');
                   SendMessageW(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(entry.data()));
                   entry.resize(wcslen(entry.c_str()));
                   entries.push_back(entry);
               }
               const auto ours = std::find(entries.begin(), entries.end(),
                                           std::wstring(kChildCaption) + L" \u2014 " + ExeName());
               if (ours == entries.end()) return;
               SendMessageW(list, CB_SETCURSEL, ours - entries.begin(), 0);
               PostMessageW(dialog, WM_COMMAND,
                            MAKEWPARAM(RuleEditDialog::kOpenWindows, CBN_SELCHANGE),
                            reinterpret_cast<LPARAM>(list));
           },
           Press(IDOK)});
    PostMessageW(child, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process.get(), 5000) != WAIT_OBJECT_0) {
        TerminateProcess(process.get(), 1);
    }
    // Our own windows are never offered: the page's host is one of them.
    for (const std::wstring& entry : entries) {
        EXPECT_EQ(entry.find(L"Rules page test \u2014"), std::wstring::npos) << Narrow(entry);
    }
    const std::vector<core::Rule> stored = Stored();
    ASSERT_EQ(stored.size(), 1u) << "the other program's window was not offered";
    EXPECT_EQ(core::FoldCase(stored[0].executable), core::FoldCase(Narrow(ExeName())));
    EXPECT_EQ(stored[0].windowClass, Narrow(kChildClass));
    EXPECT_EQ(stored[0].caption, Narrow(kChildCaption));
}

}  // namespace
}  // namespace quenvix::win

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--child-window") {
        return quenvix::win::RunChildWindow();
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
