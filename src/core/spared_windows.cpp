#include "core/spared_windows.h"

#include <array>

#include "core/text.h"

namespace quenvix::core {

bool IsShellHost(std::string_view executable) {
    // Start (StartMenuExperienceHost), Search (SearchHost on Windows 11, SearchApp and SearchUI
    // before), the notification and action centres and the other shell flyouts
    // (ShellExperienceHost), the touch keyboard and emoji panel (TextInputHost). Their windows
    // are CoreWindows that the shell shows and cloaks by itself.
    static constexpr std::array<std::string_view, 6> kHosts = {
        "startmenuexperiencehost.exe", "searchhost.exe",   "searchapp.exe", "searchui.exe",
        "shellexperiencehost.exe",     "textinputhost.exe"};
    const std::string name = AsciiLower(executable);
    for (const std::string_view host : kHosts) {
        if (name == host) return true;
    }
    return false;
}

Spared WhySpared(const WindowTraits& traits) {
    if (traits.desktopWindow) return Spared::DesktopWindow;
    // Hiding our own dialog would leave the program waiting on a window nobody can see.
    if (traits.ours) return Spared::Ours;
    const std::string_view cls = traits.windowClass;
    // The taskbar is checked by class: where no task-manager window is registered it looks
    // like any other program window, and a hidden taskbar is hard for the user to get back.
    if (cls == kTaskbarClass || cls == kSecondaryTaskbarClass) return Spared::Taskbar;
    // The desktop is Program Manager, or a worker window that the shell moved its icon view
    // into (it does so for wallpaper effects); the shell's other worker windows draw the
    // wallpaper behind that one.
    if (cls == kProgramManagerClass) return Spared::Desktop;
    if (cls == kWorkerClass && (traits.desktopView || traits.shellProcess)) return Spared::Desktop;
    if (cls == kCoreWindowClass && (traits.shellProcess || IsShellHost(traits.executable))) {
        return Spared::ShellCore;
    }
    // "To prevent the window button from being placed on the taskbar, create the unowned window
    // with the WS_EX_TOOLWINDOW extended style", unless WS_EX_APPWINDOW asks for one.
    // https://learn.microsoft.com/windows/win32/shell/taskbar#managing-taskbar-buttons
    if ((traits.exStyle & kExToolWindow) && !(traits.exStyle & kExAppWindow)) {
        return Spared::ToolWindow;
    }
    // A cloaked window is "visible" to IsWindowVisible yet shown nowhere: a suspended Store app,
    // a window on another virtual desktop (which stays there, where the user left it).
    // https://learn.microsoft.com/windows/win32/api/dwmapi/ne-dwmapi-dwmwindowattribute
    if (traits.cloaked) return Spared::Cloaked;
    return Spared::No;
}

}  // namespace quenvix::core
