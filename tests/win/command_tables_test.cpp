// The tables through which menus, hotkeys, options and buttons give commands: within each, every
// way in gives a command of its own and the lookups agree both ways; together they leave no
// command without a way in.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "core/command.h"
#include "core/command_line.h"
#include "core/hotkey_settings.h"
#include "win/hotkey_page.h"
#include "win/main_menus.h"

namespace quenvix::win {
namespace {

using core::Command;

TEST(CommandTables, EveryWayInGivesItsOwnCommandAndEveryCommandHasOne) {
    std::set<Command> offered;

    // Menus. An id is one item; within the tray menu, and within the menu bar with its submenus,
    // no two items give the same command; the tray's ids give nothing from outside it.
    const std::vector<MenuItem> table = MainMenuTable();
    const CommandMenus menus(table);
    std::set<int> menuIds;
    std::map<bool, std::set<Command>> perMenu;
    for (const MenuItem& item : table) {
        if (item.id == 0) continue;
        EXPECT_TRUE(menuIds.insert(item.id).second) << "menu id " << item.id;
        EXPECT_EQ(menus.CommandOf(item.id, item.place), item.command) << item.id;
        const bool tray = item.place == MenuPlace::TrayMenu;
        EXPECT_EQ(menus.CommandOutsideTray(item.id), tray ? std::nullopt : item.command);
        if (!item.command) continue;
        EXPECT_TRUE(perMenu[tray].insert(*item.command).second) << "menu id " << item.id;
        offered.insert(*item.command);
    }

    // Hotkeys: one command each, and the hotkey found again from its command.
    std::set<Command> hotkeyCommands;
    for (std::uint16_t i = 0; i < core::kBuiltInHotkeys.size(); ++i) {
        const auto command = core::CommandOfHotkey(i);
        ASSERT_TRUE(command) << i;
        EXPECT_TRUE(hotkeyCommands.insert(*command).second) << i;
        EXPECT_EQ(core::HotkeyIndexOf(*command), i);
        offered.insert(*command);
    }
    EXPECT_EQ(core::CommandOfHotkey(static_cast<std::uint16_t>(core::kBuiltInHotkeys.size())),
              std::nullopt);

    // Options: exactly those that travel the pipe to a running copy give a command there.
    for (int v = 0; v <= static_cast<int>(core::CommandVerb::RestoreRecorded); ++v) {
        const auto verb = static_cast<core::CommandVerb>(v);
        const auto request = core::EncodeForwardedVerb(verb);
        const bool travels = core::DecodeForwardedVerb(request.data(), request.size()).has_value();
        const auto command = core::CommandOfVerb(verb);
        EXPECT_EQ(command.has_value(), travels) << v;
        if (!command) continue;
        EXPECT_EQ(core::VerbOfCommand(*command), verb) << v;
        offered.insert(*command);
    }

    // Buttons: a click gives the command, nothing else does; their ids are no menu's (both come
    // as the same WM_COMMAND).
    std::set<Command> buttonCommands;
    for (const HotkeyPage::ButtonCommand& button : HotkeyPage::kButtonCommands) {
        EXPECT_EQ(menuIds.count(button.id), 0u) << button.id;
        EXPECT_TRUE(buttonCommands.insert(button.command).second) << button.id;
        EXPECT_EQ(HotkeyPage::CommandOfButton(button.id, BN_CLICKED), button.command);
        EXPECT_EQ(HotkeyPage::CommandOfButton(button.id, BN_SETFOCUS), std::nullopt);
        offered.insert(button.command);
    }

    for (std::size_t c = 0; c < core::kCommandCount; ++c) {
        EXPECT_EQ(offered.count(static_cast<Command>(c)), 1u)
            << "command " << c << " has no way in";
    }
}

}  // namespace
}  // namespace quenvix::win
