#pragma once
// The shell's own windows as the program needs them: the taskbar and its notification area (the
// tray), the desktop's Program Manager, the task-manager window, and the caption animation that
// shows a window going into the tray or coming out of it.
#include <windows.h>

namespace quenvix::win {

HWND TaskbarWindow();
HWND ProgramManagerWindow();
// The top-level window that holds the system's task-manager window, null if there is none.
HWND TaskManagerWindow();

// The screen rectangle of the notification area. Where the shell has no window for it, the
// icon-sized right end of the taskbar; without a taskbar, the bottom-right corner of the work
// area. Both animations aim here.
RECT TrayRect();

// The caption animation between `windowRect` and the tray, towards the tray unless `fromTray`.
void AnimateCaption(HWND wnd, const RECT& windowRect, bool fromTray);
// The same for a window as it is or will be once shown (a minimised one's own rectangle lies far
// off the screen); nothing for a window that is gone.
void AnimateTray(HWND wnd, bool fromTray);

}  // namespace quenvix::win
