#pragma once
// The rest of the tray icon component, which Quenvix itself does not use: minimising the owner
// window into the tray (with the caption animation and the system's sounds) and a left click
// that brings it back, button events with the modifier keys, the messages an owner-drawn popup
// menu sends, and the thread's priority. Kept apart, so that the path the program takes reads
// on its own in tray_icon.
#include <windows.h>

#include <functional>

#include "core/error.h"
#include "win/tray_icon.h"

namespace quenvix::win {

class TrayIconError : public core::Error {
  public:
    using core::Error::Error;
};

enum class ThreadPriority { Idle, Lowest, Lower, Normal, Higher, Highest, TimeCritical };

enum class MouseButton { Left, Right, Middle };

// Modifier keys down when a mouse event is raised.
struct ShiftState {
    bool shift = false;
    bool ctrl = false;
    bool alt = false;
};

class ExtendedTrayIcon : public TrayIcon {
  public:
    // `owner` is the window that MinimizeOwnerToTray acts on; it may be null.
    ExtendedTrayIcon(core::Desktop& desktop, core::Foreground& foreground, HWND owner,
                     ShellNotifyIconFn shell = {});
    // Unhooks the owner.
    ~ExtendedTrayIcon() override;

    ThreadPriority AnimatePriority() const noexcept { return animatePriority_; }
    void SetAnimatePriority(ThreadPriority value);
    bool MinimizeOwnerToTray() const noexcept { return minimizeOwnerToTray_; }
    // Turning it on throws TrayIconError "Owner must be a form" (and stays off) unless the
    // owner is a window of this thread.
    void SetMinimizeOwnerToTray(bool value);
    // The minimise and restore effects of MinimizeOwnerToTray.
    void MinimizeToTray();
    void RestoreFromTray();

    // Raised, like the icon's own events, from the user-interface thread's message loop.
    std::function<void(MouseButton, ShiftState, int x, int y)> OnMouseDown;
    std::function<void(MouseButton, ShiftState, int x, int y)> OnMouseUp;
    // Messages the open popup menu sends to its owner (WM_MEASUREITEM, WM_DRAWITEM,
    // WM_MENUSELECT, WM_INITMENUPOPUP …) — the owner is the hidden window. Return true when
    // handled.
    std::function<bool(UINT msg, WPARAM, LPARAM, LRESULT& result)> OnMenuMessage;

  protected:
    void OnShellMouse(UINT mouseMessage, POINT pt) override;
    void OnClickWithoutMenu() override;
    bool OnOtherMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void OnThreadStarted(HANDLE thread) override;

  private:
    void InstallHook();
    void RemoveHook();
    void MoveOwner(bool fromTray);
    static LRESULT CALLBACK OwnerWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR id, DWORD_PTR self);

    HWND owner_;
    ThreadPriority animatePriority_ = ThreadPriority::Normal;
    bool minimizeOwnerToTray_ = false;
    bool hooked_ = false;
};

}  // namespace quenvix::win
