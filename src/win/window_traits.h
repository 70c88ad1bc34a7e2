#pragma once
// What the system knows of a window that decides whether it is ever hidden (core::WhySpared):
// its class and extended style, whether the shell's process made it, whether it holds the
// desktop's icons, and whether the window manager cloaks it. Nothing here asks the window's
// program, so a hung one cannot hold us up.
#include <windows.h>

#include <string>

#include "core/ports/desktop.h"

namespace quenvix::win {

// The class name of a window; empty when it is gone.
std::wstring ClassOf(HWND window);

// Whether the window manager keeps the window out of sight although IsWindowVisible says it
// shows. False where there is no window manager to ask (dwmapi.dll is loaded from the system
// folder the first time, so the program starts without it).
bool IsCloaked(HWND window);

// The traits of a window. Its executable is read only where the decision needs it (a shell
// CoreWindow), unless `withExecutable` asks for it always.
core::WindowTraits ReadWindowTraits(HWND window, bool withExecutable = false);

}  // namespace quenvix::win
