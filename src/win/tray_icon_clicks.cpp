// The tray icon's clicks and its menu: the shell's callbacks queued and judged on the
// user-interface thread (a single click waits out the double-click time), and the popup menu
// with the foreground handed back when it closes.
#include <windows.h>

#include <functional>
#include <utility>
#include <vector>

#include "core/foreground_keeper.h"
#include "win/desktop.h"
#include "win/foreground.h"
#include "win/tray_icon.h"
#include "win/tray_icon_thread.h"
#include "win/ui.h"

namespace quenvix::win {

namespace {

constexpr UINT_PTR kSingleClickTimerId = 1;
constexpr std::size_t kMaxQueuedMouseActions = 16;

ShiftState CurrentShiftState() {
    return ShiftState{GetKeyState(VK_SHIFT) < 0, GetKeyState(VK_CONTROL) < 0,
                      GetKeyState(VK_MENU) < 0};
}

}  // namespace

bool TrayIcon::IconWndProc(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (msg == kTrayIconCallbackMessage) {
        QueueMouseAction(static_cast<UINT>(lParam));
        return true;
    }
    if (msg == kRunQueuedMouseActions) {
        RunQueuedMouseActions();
        return true;
    }
    if (msg == WM_TIMER && wParam == kSingleClickTimerId) {
        OnSingleClickTimeout();
        return true;
    }
    if (taskbarCreated_ && msg == taskbarCreated_) {
        if (thread_) thread_->Readd();
        return true;
    }
    return OnMenuMessage && OnMenuMessage(msg, wParam, lParam, result);
}

void TrayIcon::QueueMouseAction(UINT mouseMessage) {
    switch (mouseMessage) {
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_LBUTTONDBLCLK:
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP:
        case WM_MBUTTONDOWN:
        case WM_MBUTTONUP:
            break;
        default:
            return;
    }
    // A flood of callbacks (the shell does not send one; another program might) keeps only what
    // a person could have done in the meantime.
    if (queuedMouse_.size() >= kMaxQueuedMouseActions) return;
    POINT pt{};
    GetCursorPos(&pt);
    queuedMouse_.push_back(MouseAction{mouseMessage, pt});
    if (queuedMouse_.size() == 1) PostMessageW(Window(), kRunQueuedMouseActions, 0, 0);
}

void TrayIcon::RunQueuedMouseActions() {
    // Taken as a whole first: an action may open the menu, whose loop runs the next wake-up.
    std::vector<MouseAction> actions;
    actions.swap(queuedMouse_);
    for (const MouseAction& action : actions) OnMouseAction(action.message, action.pt);
}

void TrayIcon::OnMouseAction(UINT mouseMessage, POINT pt) {
    const ShiftState shift = CurrentShiftState();
    auto down = [&](MouseButton button) {
        if (OnMouseDown) OnMouseDown(button, shift, pt.x, pt.y);
    };
    auto up = [&](MouseButton button) {
        if (OnMouseUp) OnMouseUp(button, shift, pt.x, pt.y);
    };
    switch (mouseMessage) {
        case WM_LBUTTONDOWN:
            doubleClickRelease_ = false;
            down(MouseButton::Left);
            break;
        case WM_LBUTTONUP:
            up(MouseButton::Left);
            if (std::exchange(doubleClickRelease_, false)) break;
            if (popupMenu_) {
                // Opened at once, the menu would take the second click of a double click, and
                // the shell would never see the double click.
                singleClickPending_ = true;
                singleClickPoint_ = pt;
                SetTimer(Window(), kSingleClickTimerId, GetDoubleClickTime(), nullptr);
            } else if (minimizeOwnerToTray_) {
                RestoreFromTray();
            }
            break;
        case WM_LBUTTONDBLCLK:
            CancelSingleClick();
            doubleClickRelease_ = true;
            if (OnDblClick) OnDblClick();
            break;
        case WM_RBUTTONDOWN:
            down(MouseButton::Right);
            break;
        case WM_RBUTTONUP:
            up(MouseButton::Right);
            CancelSingleClick();
            PopupMenuAt(pt, false);
            break;
        case WM_MBUTTONDOWN:
            down(MouseButton::Middle);
            break;
        case WM_MBUTTONUP:
            up(MouseButton::Middle);
            break;
        default:
            break;
    }
}

void TrayIcon::OnSingleClickTimeout() {
    KillTimer(Window(), kSingleClickTimerId);
    // Only a click that is still waiting opens the menu: the timer's message alone proves nothing.
    if (!std::exchange(singleClickPending_, false)) return;
    PopupMenuAt(singleClickPoint_, false);
}

void TrayIcon::CancelSingleClick() {
    singleClickPending_ = false;
    KillTimer(Window(), kSingleClickTimerId);
}

void TrayIcon::ShowPopupMenu(bool selectLastItem) {
    POINT pt{};
    GetCursorPos(&pt);
    PopupMenuAt(pt, selectLastItem);
}

void TrayIcon::PopupMenuAt(POINT pt, bool selectLastItem) {
    // A second request while the menu is open (its loop still runs our messages) must not stack
    // a second menu on the first.
    if (!popupMenu_ || menuOpen_) return;
    menuOpen_ = true;
    struct Closed {
        bool& open;
        ~Closed() { open = false; }
    } closed{menuOpen_};
    if (OnPopup) OnPopup();
    const int count = GetMenuItemCount(popupMenu_);
    if (selectLastItem && count > 0) {
        MENUITEMINFOW item{};
        item.cbSize = sizeof item;
        item.fMask = MIIM_FTYPE;
        // The menu's own loop takes this key first: "up" from no selection selects the last
        // item. A separator there means nothing is listed, and nothing is selected.
        if (GetMenuItemInfoW(popupMenu_, static_cast<UINT>(count - 1), TRUE, &item) &&
            !(item.fType & MFT_SEPARATOR)) {
            PostMessageW(Window(), WM_KEYDOWN, VK_UP, 0);
        }
    }
    // Where the keyboard was, for after the menu: our hidden window must not keep it.
    Win32Desktop desktop;
    Win32Foreground foreground;
    core::ForegroundKeeper keeper(desktop, foreground);
    keeper.MenuOpening();
    // Without the foreground the menu would not close when the user clicks elsewhere ("the
    // current window must be the foreground window before the application calls
    // TrackPopupMenu"); the WM_NULL lets it see that click.
    // https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-trackpopupmenu
    SetForegroundWindow(Window());
    const UINT command = static_cast<UINT>(TrackPopupMenuEx(
        popupMenu_, TPM_RETURNCMD | TPM_RIGHTBUTTON, pt.x, pt.y, Window(), nullptr));
    PostMessageW(Window(), WM_NULL, 0, 0);
    // The command may bring a window back, which then takes the foreground, or end the program
    // and this object with it: the keeper and the question are locals for that reason.
    const std::function<bool(HWND)> heldHidden = IsHeldHidden;
    if (command != 0 && OnMenuCommand) OnMenuCommand(command);
    keeper.MenuClosed(
        [&heldHidden](core::WindowId w) { return heldHidden && heldHidden(ToHwnd(w)); });
}

}  // namespace quenvix::win
