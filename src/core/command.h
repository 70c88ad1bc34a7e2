#pragma once
// Everything the user can ask of the program, each named once. The menus, the hotkeys, the
// command line and the settings window's buttons each offer some of these through a table of
// their own (menu id, hotkey name, option, control id to command); the program carries every
// one out in a single place. A new action is a value here, its case there, and a row in each
// table that offers it.
#include <cstddef>
#include <cstdint>

namespace quenvix::core {

enum class Command : std::uint8_t {
    HideActiveWindow,   // the program in the foreground
    HideAllWindows,     // every ordinary program window ("Panic!" as well)
    RestoreLastHidden,  // the newest window still ours; pressed again, the one before
    RestoreAll,
    ShowHiddenList,  // the tray menu at the mouse pointer, ready for the keyboard
    ShowSettings,
    HideSettings,  // the settings window into the tray, with its notice
    Exit,          // after the question, unless the user silenced it
    ExitUnasked,   // a script's "--exit": no question
    CheckUpdate,
    ToggleAutomaticCheck,
    About,
    HelpContents,
    MailSupport,
    Website,
    OpenLogFolder,
    TaskManager,
    ChangeHotkey,  // new keys for the hotkey chosen in the settings window
    DefaultHotkeys,
    SetRunOnStartup,  // as its box now says
};

inline constexpr std::size_t kCommandCount = static_cast<std::size_t>(Command::SetRunOnStartup) + 1;

}  // namespace quenvix::core
