// The settings window over pages of the test's own: the tab the user clicks shows its page and
// only that one, a DPI change places every page anew, and whatever is the program's (commands
// and the system's messages) is handed to the host, never done by the window itself.
#include "win/settings_window.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "send_from_process.h"
#include "send_from_thread.h"
#include "win/app.h"
#include "win/main_menus.h"

namespace quenvix::win {
namespace {

class RecordingHost : public SettingsHost {
  public:
    void Run(core::Command command) override { commands.push_back(command); }
    void OnCloseRequest() override {}
    bool MinimiseToTray() override { return false; }
    void OnWindowDestroyed() override {}
    bool Ending() const override { return ending; }
    std::optional<LRESULT> OnProgramMessage(UINT msg, WPARAM, LPARAM) override {
        programMessages.push_back(msg);
        if (msg == WM_QUERYENDSESSION) return 7;
        return std::nullopt;
    }

    std::vector<core::Command> commands;
    std::vector<UINT> programMessages;
    bool ending = false;
};

// A page with one control, id `controlId`, that counts what the window asks of it.
class ProbePage : public SettingsPage {
  public:
    ProbePage(FormWindow& form, const RECT& area, int controlId) : controlId_(controlId) {
        page_ = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, area.left, area.top,
                                area.right - area.left, area.bottom - area.top, form.Hwnd(),
                                nullptr, nullptr, nullptr);
    }
    ~ProbePage() override { DestroyWindow(page_); }
    HWND Page() const override { return page_; }
    void Place(const RECT& area) override {
        placedAt = area;
        ++placed;
        SetWindowPos(page_, HWND_TOP, area.left, area.top, area.right - area.left,
                     area.bottom - area.top, SWP_NOACTIVATE);
    }
    bool OnCommand(int id, int) override {
        if (id != controlId_) return false;
        ++commands;
        return true;
    }
    bool RunCommand(core::Command command) override {
        if (command != core::Command::ChangeHotkey) return false;
        ++runs;
        return true;
    }

    RECT placedAt{};
    int placed = 0;
    int commands = 0;
    int runs = 0;

  private:
    int controlId_;
    HWND page_ = nullptr;
};

class SettingsWindowTest : public ::testing::Test {
  protected:
    SettingsWindowTest() {
        for (int i = 0; i < 3; ++i) {
            form.OfferPage(kTitles[i], [this, i](FormWindow& window, const RECT& area) {
                auto page = std::make_unique<ProbePage>(window, area, 500 + i);
                pages.push_back(page.get());
                return page;
            });
        }
    }

    std::vector<HWND> ShownPages() {
        std::vector<HWND> shown;
        for (const ProbePage* page : pages) {
            if (IsWindowVisible(page->Page())) shown.push_back(page->Page());
        }
        return shown;
    }
    // What a click on the tab does: the tab control tells the window.
    void ClickTab(int index) {
        RECT tab{};
        ASSERT_TRUE(TabCtrl_GetItemRect(form.Tabs(), index, &tab));
        const LPARAM at = MAKELPARAM((tab.left + tab.right) / 2, (tab.top + tab.bottom) / 2);
        SendMessageW(form.Tabs(), WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageW(form.Tabs(), WM_LBUTTONUP, 0, at);
    }

    static constexpr const wchar_t* kTitles[] = {L"One", L"Two", L"Three"};
    AppWindow owner;
    RecordingHost host;
    CommandMenus menus{MainMenuTable()};
    SettingsWindow form{owner.Hwnd(), host, menus};
    std::vector<ProbePage*> pages;
};

TEST_F(SettingsWindowTest, EachTabShowsItsOwnPageAloneAndADpiChangePlacesThemAll) {
    EXPECT_TRUE(pages.empty()) << "no page before the window first shows";
    form.ShowCentred();
    ASSERT_EQ(pages.size(), 3u);
    ASSERT_EQ(TabCtrl_GetItemCount(form.Tabs()), 3);
    wchar_t title[16] = {};
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = title;
    item.cchTextMax = 16;
    TabCtrl_GetItem(form.Tabs(), 2, &item);
    EXPECT_STREQ(title, L"Three");
    EXPECT_EQ(ShownPages(), std::vector<HWND>{pages[0]->Page()});

    ClickTab(2);
    EXPECT_EQ(TabCtrl_GetCurSel(form.Tabs()), 2);
    EXPECT_EQ(ShownPages(), std::vector<HWND>{pages[2]->Page()});
    ClickTab(1);
    EXPECT_EQ(ShownPages(), std::vector<HWND>{pages[1]->Page()});

    // The pages lie in the tab control's display area, under its row of tabs.
    RECT tabs{};
    GetWindowRect(form.Tabs(), &tabs);
    MapWindowPoints(nullptr, form.Hwnd(), reinterpret_cast<POINT*>(&tabs), 2);
    const RECT before = pages[1]->placedAt;
    EXPECT_GT(before.top, tabs.top);
    EXPECT_LE(before.bottom, tabs.bottom);

    // Twice the DPI: every page, shown or not, is placed over the larger area; the chosen one
    // still shows alone.
    std::vector<int> placedBefore;
    for (const ProbePage* page : pages) placedBefore.push_back(page->placed);
    SendMessageW(form.Hwnd(), WM_DPICHANGED, MAKEWPARAM(form.Dpi() * 2, form.Dpi() * 2), 0);
    for (std::size_t i = 0; i < pages.size(); ++i) {
        EXPECT_GT(pages[i]->placed, placedBefore[i]) << "page " << i;
        EXPECT_GE(pages[i]->placedAt.right - pages[i]->placedAt.left,
                  2 * (before.right - before.left) - 4)
            << "page " << i;
    }
    EXPECT_EQ(ShownPages(), std::vector<HWND>{pages[1]->Page()});
    // The program heard of it too (its tray icon follows the DPI).
    EXPECT_NE(std::find(host.programMessages.begin(), host.programMessages.end(),
                        static_cast<UINT>(WM_DPICHANGED)),
              host.programMessages.end());
}

// An assistive tool moves between the tabs by sending the tab control its own messages from its
// process: the tab control tells the window from our thread, and the chosen page shows as after
// a click. A notice sent to the window by another program (its pointer is not ours) does nothing.
TEST_F(SettingsWindowTest, TabsDrivenByAnotherProgramShowTheirPages) {
    form.ShowCentred();
    ASSERT_EQ(pages.size(), 3u);
    test::SendFromAnotherThread(form.Tabs(), TCM_SETCURFOCUS, 2, 0);
    EXPECT_EQ(ShownPages(), std::vector<HWND>{pages[2]->Page()});
    ASSERT_TRUE(test::SendFromAnotherProcess(form.Tabs(), TCM_SETCURFOCUS, 1, 0));
    EXPECT_EQ(ShownPages(), std::vector<HWND>{pages[1]->Page()});
    RECT tab{};
    ASSERT_TRUE(TabCtrl_GetItemRect(form.Tabs(), 0, &tab));
    const LPARAM at = MAKELPARAM((tab.left + tab.right) / 2, (tab.top + tab.bottom) / 2);
    ASSERT_TRUE(test::SendFromAnotherProcess(form.Tabs(), WM_LBUTTONDOWN, MK_LBUTTON, at));
    ASSERT_TRUE(test::SendFromAnotherProcess(form.Tabs(), WM_LBUTTONUP, 0, at));
    EXPECT_EQ(ShownPages(), std::vector<HWND>{pages[0]->Page()});

    // (Wine refuses to carry this one to another process at all; Windows carries the bare
    // pointer.)
    test::SendFromAnotherProcess(form.Hwnd(), WM_NOTIFY, 0, 0x10);
    test::SendFromAnotherThread(form.Hwnd(), WM_NOTIFY, 0, 0x10);
    test::SendFromAnotherThread(form.Hwnd(), WM_COMMAND, MAKEWPARAM(kMenuHideId, 0), 0);
    EXPECT_EQ(ShownPages(), std::vector<HWND>{pages[0]->Page()});
    EXPECT_TRUE(host.commands.empty());
}

TEST_F(SettingsWindowTest, CommandsGoToTheProgramOrTheirPageUntilTheProgramEnds) {
    form.ShowCentred();
    SendMessageW(form.Hwnd(), WM_COMMAND, MAKEWPARAM(kMenuHideId, 0), 0);
    EXPECT_EQ(host.commands, std::vector<core::Command>{core::Command::HideSettings});
    // A page's control reaches its own page only.
    SendMessageW(form.Hwnd(), WM_COMMAND, MAKEWPARAM(501, BN_CLICKED), 0);
    EXPECT_EQ(pages[0]->commands + pages[1]->commands + pages[2]->commands, 1);
    EXPECT_EQ(pages[1]->commands, 1);
    // The program hands a page's command back: the first page that takes it runs it, once.
    form.RunPageCommand(core::Command::ChangeHotkey);
    EXPECT_EQ(pages[0]->runs, 1);
    EXPECT_EQ(pages[1]->runs + pages[2]->runs, 0);

    // The system's messages to the program are the program's to answer.
    EXPECT_EQ(SendMessageW(form.Hwnd(), WM_QUERYENDSESSION, 0, 0), 7);

    // Once the program ends, neither menus nor controls do anything.
    host.ending = true;
    SendMessageW(form.Hwnd(), WM_COMMAND, MAKEWPARAM(kMenuHideId, 0), 0);
    SendMessageW(form.Hwnd(), WM_COMMAND, MAKEWPARAM(501, BN_CLICKED), 0);
    EXPECT_EQ(host.commands.size(), 1u);
    EXPECT_EQ(pages[1]->commands, 1);
}

}  // namespace
}  // namespace quenvix::win
