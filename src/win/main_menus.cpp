#include "win/main_menus.h"

#include <shellapi.h>

#include "core/error.h"
#include "core/product.h"
#include "core/shell_text.h"
#include "win/log.h"
#include "win/shell.h"

namespace quenvix::win {
namespace {

void AppendItems(HMENU menu, const std::vector<MenuCommand>& table, MenuPlace place) {
    for (const MenuCommand& command : table) {
        if (command.place != place) continue;
        if (command.id == 0) {
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        } else {
            AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(command.id), command.text.c_str());
        }
    }
}

}  // namespace

CommandMenus::CommandMenus(std::vector<MenuCommand> table) : table_(std::move(table)) {
    trayMenu_.reset(CreatePopupMenu());
    unattachedBar_.reset(CreateMenu());
    menuBar_ = unattachedBar_.get();
    if (!trayMenu_ || !menuBar_) throw core::Error("The menus could not be created");
    HMENU files = CreatePopupMenu();
    HMENU help = CreatePopupMenu();
    AppendItems(files, table_, MenuPlace::FilesMenu);
    AppendItems(help, table_, MenuPlace::HelpMenu);
    AppendMenuW(menuBar_, MF_POPUP, reinterpret_cast<UINT_PTR>(files), L"&Files");
    AppendItems(menuBar_, table_, MenuPlace::MenuBar);
    AppendMenuW(menuBar_, MF_POPUP, reinterpret_cast<UINT_PTR>(help), L"&Help");
    AppendItems(trayMenu_.get(), table_, MenuPlace::TrayMenu);
}

void CommandMenus::AttachMenuBar(HWND window) {
    if (unattachedBar_ && SetMenu(window, menuBar_)) unattachedBar_.release();
}

bool CommandMenus::Run(int id, MenuPlace place) const {
    return RunWhere(id, [place](MenuPlace p) { return p == place; });
}

bool CommandMenus::RunOutsideTray(int id) const {
    return RunWhere(id, [](MenuPlace p) { return p != MenuPlace::TrayMenu; });
}

bool CommandMenus::RunWhere(int id, const std::function<bool(MenuPlace)>& inPlace) const {
    if (id == 0) return false;
    for (const MenuCommand& command : table_) {
        if (command.id != id || !inPlace(command.place)) continue;
        if (command.run) command.run();
        return true;
    }
    return false;
}

std::vector<MenuCommand> MainMenuTable(const MainWindowActions& actions) {
    using enum MenuPlace;
    auto website = [] { ShellOpen(core::kWebsite); };
    return {
        {FilesMenu, kMenuExitId, L"Exit", actions.exit},
        {MenuBar, kMenuHideId, L"Hide", actions.hide},
        {HelpMenu, kMenuHelpContentsId, L"Help contents", [] { ShellOpen(HelpPagePath()); }},
        {HelpMenu, kMenuAutomaticCheckId, L"Automatic update check", actions.toggleAutomaticCheck},
        {HelpMenu, kMenuCheckUpdateId, L"Check update", actions.checkUpdate},
        {HelpMenu, kMenuMailSupportId, L"E-mail support",
         [] { ShellOpen(core::SupportMailLink(core::kMainCaption)); }},
        {HelpMenu, kMenuWebsiteId, L"Website: " + Widen(core::kWebsite), website},
        {HelpMenu, kMenuLogFolderId, L"Open log folder",
         [] {
             CreateDirectoryW(ProgramLog().Folder().c_str(), nullptr);
             ShellOpen(Narrow(ProgramLog().Folder()));
         }},
        {HelpMenu, 0, L"", {}},
        {HelpMenu, kMenuAboutId, L"About", actions.about},
        {TrayMenu, kTrayShowSettingsId, L"Show settings", actions.showSettings},
        {TrayMenu, kTrayCheckUpdateId, L"Check update", actions.checkUpdate},
        {TrayMenu, kTrayWebsiteId, L"Website", website},
        {TrayMenu, kTrayExitId, L"Exit", actions.exit},
        {TrayMenu, 0, L"", {}},
        {TrayMenu, kTrayCloseMenuId, L"Close this menu", {}},
        {TrayMenu, kTrayRestoreAllId, L"Restore all", actions.restoreAll},
        {TrayMenu, kTrayPanicId, L"Panic!", actions.panic},
        {TrayMenu, 0, L"", {}},  // the hidden windows follow
        // "Windows Task Manager" has no item: its id still runs it.
        {Nowhere, kTrayTaskManagerId, L"Windows Task Manager",
         [] { ShellExecuteW(nullptr, L"open", L"taskmgr", L"", L"", SW_SHOWNORMAL); }},
    };
}

}  // namespace quenvix::win
