#include "win/taskbar.h"

#include <algorithm>

namespace quenvix::win {
namespace {

// The rectangle a window has, or will have once shown: a minimised (or hidden-and-minimised)
// window's own rectangle lies far off the screen.
bool ShownRect(HWND wnd, RECT& rect) {
    if (!::IsIconic(wnd)) return GetWindowRect(wnd, &rect) != 0;
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    if (!GetWindowPlacement(wnd, &placement)) return false;
    rect = placement.rcNormalPosition;
    if (placement.flags & WPF_RESTORETOMAXIMIZED) {
        MONITORINFO monitor{};
        monitor.cbSize = sizeof monitor;
        if (GetMonitorInfoW(MonitorFromRect(&rect, MONITOR_DEFAULTTONEAREST), &monitor)) {
            rect = monitor.rcWork;
        }
    }
    return true;
}

}  // namespace

HWND TaskbarWindow() {
    // Any title: some shells give their taskbar one.
    return FindWindowW(L"Shell_TrayWnd", nullptr);
}

RECT TrayRect() {
    RECT rect{};
    if (HWND taskbar = TaskbarWindow()) {
        HWND area = FindWindowExW(taskbar, nullptr, L"TrayNotifyWnd", nullptr);
        if (GetWindowRect(area ? area : taskbar, &rect)) {
            if (!area) rect.left = std::max(rect.left, rect.right - (rect.bottom - rect.top));
            return rect;
        }
    }
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &rect, 0);
    const int side = GetSystemMetrics(SM_CYSMICON);
    return RECT{rect.right - side, rect.bottom - side, rect.right, rect.bottom};
}

void AnimateCaption(HWND wnd, const RECT& windowRect, bool fromTray) {
    const RECT trayRect = TrayRect();
    if (fromTray) {
        DrawAnimatedRects(wnd, IDANI_CAPTION, &trayRect, &windowRect);
    } else {
        DrawAnimatedRects(wnd, IDANI_CAPTION, &windowRect, &trayRect);
    }
}

void AnimateTray(HWND wnd, bool fromTray) {
    RECT windowRect{};
    if (!ShownRect(wnd, windowRect)) return;  // gone: nothing to animate towards
    AnimateCaption(wnd, windowRect, fromTray);
}

}  // namespace quenvix::win
