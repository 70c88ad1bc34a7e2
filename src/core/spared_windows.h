#pragma once
// The one list of windows that are never hidden, whoever asks: the hide-this and hide-all keys,
// "Panic!", the rules and the take-back of a crashed run's windows all decide here.
#include <string_view>

#include "core/ports/desktop.h"

namespace quenvix::core {

// Why a window is never hidden; No for one that may be.
enum class Spared {
    No,
    DesktopWindow,  // the root window of the desktop
    Ours,           // the program's own windows, dialogs and message boxes
    Taskbar,        // the taskbar, and the one on every further monitor
    Desktop,        // the window that shows the wallpaper and the desktop's icons
    ShellCore,      // Start, Search, the notification and action centres
    ToolWindow,     // a tool window without a taskbar button
    Cloaked,        // out of sight already: a suspended app, another virtual desktop
};

// Class names of the shell's windows, as the shell registers them.
inline constexpr std::string_view kTaskbarClass = "Shell_TrayWnd";
inline constexpr std::string_view kSecondaryTaskbarClass = "Shell_SecondaryTrayWnd";
inline constexpr std::string_view kProgramManagerClass = "Progman";
inline constexpr std::string_view kWorkerClass = "WorkerW";
inline constexpr std::string_view kDesktopViewClass = "SHELLDLL_DefView";
inline constexpr std::string_view kCoreWindowClass = "Windows.UI.Core.CoreWindow";

// Whether the program with this executable name is one of the shell's own hosts of its
// full-screen and flyout surfaces (compared without regard to case).
bool IsShellHost(std::string_view executable);

// The reason that comes first, in the order of the enumeration.
Spared WhySpared(const WindowTraits& traits);

}  // namespace quenvix::core
