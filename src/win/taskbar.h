#pragma once
// The shell's own windows as the program needs them: the taskbar and its notification area (the
// tray), and the caption animation that shows a window going into the tray or coming out of it.
// Which of the shell's windows are never hidden is core::WhySpared's to say.
#include <windows.h>

namespace quenvix::win {

HWND TaskbarWindow();

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
