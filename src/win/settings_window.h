#pragma once
// The settings window the user sees: its menu bar, the tab control with a page behind each tab,
// and the status bar. It is the window installers and tests look for (class QuenvixMainForm) and
// carries its own taskbar button while it shows. Everything it does beyond showing itself goes to
// the program (SettingsHost): its menus' and buttons' commands, its close, and the messages the
// system sends the program's window.
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "win/settings_page.h"
#include "win/ui.h"

namespace quenvix::win {

class CommandMenus;
class StatusBar;

class SettingsWindow : public FormWindow {
  public:
    // Makes a page over `area` (client coordinates of `form`) when the window is first to show.
    using PageMaker =
        std::function<std::unique_ptr<SettingsPage>(FormWindow& form, const RECT& area)>;

    // Created hidden, owned by `owner`, with the menu bar of `menus`; `host` and `menus` outlive
    // the window.
    SettingsWindow(HWND owner, SettingsHost& host, CommandMenus& menus);
    ~SettingsWindow() override;

    // A page behind a tab called `title`, after the tabs offered before. Made at the window's
    // first showing, as its other controls: a program that only sits in the tray never loads the
    // common controls.
    void OfferPage(const wchar_t* title, PageMaker make);
    // Shows the window centred on the screen (its controls made first), or hides it, in both
    // cases with the caption's flight from or to the tray.
    void ShowCentred();
    void Hide();
    // A line for the user that needs no answer; kept for a status bar that does not exist yet.
    void ShowNotice(const std::wstring& text);
    void ShowHint();
    // The pages' share of one of the program's commands.
    void RunPageCommand(core::Command command);
    // The pages go, before what they show does.
    void DropPages();

    HWND Tabs() const { return tabs_; }

  protected:
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

  private:
    void CreateControls();
    // The part of the window the pages take: the tab control's display area.
    RECT PageArea() const;
    // The chosen tab's page shows, the others hide.
    void ShowChosenPage();
    void OnNotify(const NMHDR& header);
    void OnDpiChanged(UINT msg, WPARAM wParam, LPARAM lParam);
    void ShowOrHide(bool show);
    // Activated, the window gives the keyboard to the control that had it, or to its first one,
    // as a dialog does: typed keys reach a control, never the bare window.
    void OnActivate(bool active);

    struct OfferedPage {
        const wchar_t* title;
        PageMaker make;
    };
    SettingsHost& host_;
    CommandMenus& menus_;
    std::vector<OfferedPage> offered_;
    HWND tabs_ = nullptr;
    std::vector<std::unique_ptr<SettingsPage>> pages_;
    std::unique_ptr<StatusBar> statusBar_;
    std::wstring notice_;
    HWND focus_ = nullptr;  // the control that had the keyboard when the window was deactivated
};

}  // namespace quenvix::win
