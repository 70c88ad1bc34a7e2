#pragma once
// The main window's two menus, the menu bar and the tray icon's popup, built from one table: each
// command's id, text, place and what it does. Ids are fixed numbers: other programs and the tests
// post them.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "win/ui.h"

namespace quenvix::win {

enum : int {
    // Menu bar.
    kMenuExitId = 100,
    kMenuHideId,
    kMenuHelpContentsId,
    kMenuAutomaticCheckId,
    kMenuCheckUpdateId,
    kMenuMailSupportId,
    kMenuWebsiteId,
    kMenuAboutId,
    kMenuLogFolderId = 400,
    // Tray menu.
    kTrayShowSettingsId = 200,
    kTrayCheckUpdateId,
    kTrayWebsiteId,
    kTrayTaskManagerId,
    kTrayExitId,
    kTrayCloseMenuId,
    kTrayRestoreAllId,
    kTrayPanicId,
};

// Hidden-window entries of the tray menu take ids from here upward.
inline constexpr UINT kFirstEntryId = 1000;
inline constexpr UINT kLastEntryId = 9999;

enum class MenuPlace {
    FilesMenu,  // "&Files" of the menu bar
    MenuBar,    // an item of the bar itself, between "&Files" and "&Help"
    HelpMenu,   // "&Help" of the menu bar
    TrayMenu,
    Nowhere,  // a command with no item (it still runs when its id arrives)
};

struct MenuCommand {
    MenuPlace place;
    int id;  // 0: a separator
    std::wstring text;
    std::function<void()> run;  // empty: the item does nothing (it only closes the menu)
};

class CommandMenus {
  public:
    explicit CommandMenus(std::vector<MenuCommand> table);

    // Gives the menu bar to `window`, which owns it from then on.
    void AttachMenuBar(HWND window);
    HMENU MenuBar() const { return menuBar_; }
    HMENU TrayMenu() const { return trayMenu_.get(); }
    // Runs the command with this id if it lives in `place`; false when the table has none there.
    bool Run(int id, MenuPlace place) const;
    // Runs the command with this id unless it is the tray menu's; false when there is none.
    bool RunOutsideTray(int id) const;

  private:
    bool RunWhere(int id, const std::function<bool(MenuPlace)>& inPlace) const;
    std::vector<MenuCommand> table_;
    HMENU menuBar_ = nullptr;
    UniqueMenu unattachedBar_;  // owns the bar until a window does
    UniqueMenu trayMenu_;
};

// What the main window itself does for its commands; the rest (web site, help, mail, log folder,
// task manager) the table does alone.
struct MainWindowActions {
    std::function<void()> exit;
    std::function<void()> hide;
    std::function<void()> toggleAutomaticCheck;
    std::function<void()> checkUpdate;
    std::function<void()> about;
    std::function<void()> showSettings;
    std::function<void()> restoreAll;
    std::function<void()> panic;
};

// The main window's commands: the menu bar's and the tray menu's, in menu order.
std::vector<MenuCommand> MainMenuTable(const MainWindowActions& actions);

}  // namespace quenvix::win
