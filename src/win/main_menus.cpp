#include "win/main_menus.h"

#include "core/error.h"
#include "core/product.h"

namespace quenvix::win {
namespace {

void AppendItems(HMENU menu, const std::vector<MenuItem>& table, MenuPlace place) {
    for (const MenuItem& command : table) {
        if (command.place != place) continue;
        if (command.id == 0) {
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        } else {
            AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(command.id), command.text.c_str());
        }
    }
}

}  // namespace

CommandMenus::CommandMenus(std::vector<MenuItem> table) : table_(std::move(table)) {
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

std::optional<core::Command> CommandMenus::CommandOf(int id, MenuPlace place) const {
    for (const MenuItem& item : table_) {
        if (id != 0 && item.id == id && item.place == place) return item.command;
    }
    return std::nullopt;
}

std::optional<core::Command> CommandMenus::CommandOutsideTray(int id) const {
    for (const MenuPlace place :
         {MenuPlace::FilesMenu, MenuPlace::MenuBar, MenuPlace::HelpMenu, MenuPlace::Nowhere}) {
        if (const auto command = CommandOf(id, place)) return command;
    }
    return std::nullopt;
}

std::vector<MenuItem> MainMenuTable() {
    using enum MenuPlace;
    using enum core::Command;
    return {
        {FilesMenu, kMenuExitId, L"Exit", Exit},
        {MenuBar, kMenuHideId, L"Hide", HideSettings},
        {HelpMenu, kMenuHelpContentsId, L"Help contents", HelpContents},
        {HelpMenu, kMenuAutomaticCheckId, L"Automatic update check", ToggleAutomaticCheck},
        {HelpMenu, kMenuCheckUpdateId, L"Check update", CheckUpdate},
        {HelpMenu, kMenuMailSupportId, L"E-mail support", MailSupport},
        {HelpMenu, kMenuWebsiteId, L"Website: " + Widen(core::kWebsite), Website},
        {HelpMenu, kMenuLogFolderId, L"Open log folder", OpenLogFolder},
        {HelpMenu, 0, L"", {}},
        {HelpMenu, kMenuAboutId, L"About", About},
        {TrayMenu, kTrayShowSettingsId, L"Show settings", ShowSettings},
        {TrayMenu, kTrayCheckUpdateId, L"Check update", CheckUpdate},
        {TrayMenu, kTrayWebsiteId, L"Website", Website},
        {TrayMenu, kTrayExitId, L"Exit", Exit},
        {TrayMenu, 0, L"", {}},
        {TrayMenu, kTrayCloseMenuId, L"Close this menu", {}},
        {TrayMenu, kTrayRestoreAllId, L"Restore all", RestoreAll},
        {TrayMenu, kTrayPanicId, L"Panic!", HideAllWindows},
        {TrayMenu, 0, L"", {}},  // the hidden windows follow
        // "Windows Task Manager" has no item: its id still runs it.
        {Nowhere, kTrayTaskManagerId, L"Windows Task Manager", TaskManager},
    };
}

}  // namespace quenvix::win
