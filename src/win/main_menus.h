#pragma once
// The program's two menus, the settings window's menu bar and the tray icon's popup, built from one
// table: each item's place, id, text and the command it gives. Ids are fixed numbers: the tests use
// them.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "core/command.h"
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

struct MenuItem {
    MenuPlace place;
    int id;  // 0: a separator
    std::wstring text;
    std::optional<core::Command> command;  // none: the item only closes the menu
};

class CommandMenus {
  public:
    explicit CommandMenus(std::vector<MenuItem> table);

    // Gives the menu bar to `window`, which owns it from then on.
    void AttachMenuBar(HWND window);
    HMENU MenuBar() const { return menuBar_; }
    HMENU TrayMenu() const { return trayMenu_.get(); }
    // The command of the item with this id in `place`; nothing when the table has none there, or
    // when that item gives none.
    std::optional<core::Command> CommandOf(int id, MenuPlace place) const;
    // The same for every place but the tray menu, whose items come only as its own choice.
    std::optional<core::Command> CommandOutsideTray(int id) const;

  private:
    std::vector<MenuItem> table_;
    HMENU menuBar_ = nullptr;
    UniqueMenu unattachedBar_;  // owns the bar until a window does
    UniqueMenu trayMenu_;
};

// The settings window's menu bar and the tray menu, in menu order.
std::vector<MenuItem> MainMenuTable();

}  // namespace quenvix::win
