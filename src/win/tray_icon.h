#pragma once
// The notification-area icon. A background thread owns the icon (adds, refreshes and removes it),
// so its picture keeps up with the image list even while the user interface is busy or modal.
// Mouse actions on the icon reach a hidden window on the user-interface thread, which opens the
// popup menu or raises the events. Optionally the owner window minimises into the tray.
// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/error.h"
#include "win/shared_image_list.h"

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

// The shell's icon call. The program passes Shell_NotifyIconW; tests watch or refuse the calls.
// It is only ever called on the icon's own thread.
using ShellNotifyIconFn = std::function<BOOL(DWORD message, NOTIFYICONDATAW* data)>;

inline constexpr UINT kTrayIconCallbackMessage = WM_USER + 100;  // 1124
inline constexpr UINT kTrayIconId = 0;
// The icon window's wake-up to run the mouse actions queued from the shell's callbacks. It carries
// nothing: whoever sends it can at most run what the shell already asked for.
inline constexpr UINT kRunQueuedMouseActions = WM_APP + 100;

class TrayIconThread;

class TrayIcon {
  public:
    // `owner` is the window that MinimizeOwnerToTray acts on; it may be null. After the popup
    // menu the foreground goes back to the window that had it before (see ForegroundKeeper).
    explicit TrayIcon(HWND owner, ShellNotifyIconFn shell = {});
    // Removes the icon (stopping the thread) and unhooks the owner.
    ~TrayIcon();
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    // Each setter does nothing for an unchanged value.
    bool Active() const noexcept { return active_; }
    // False returns only once the icon is gone and the thread has ended.
    void SetActive(bool value);
    bool Animated() const noexcept { return animated_; }
    void SetAnimated(bool value);
    int AnimateDelay() const noexcept { return animateDelay_; }
    // Milliseconds between frames; a negative value counts as 0.
    void SetAnimateDelay(int value);
    ThreadPriority AnimatePriority() const noexcept { return animatePriority_; }
    void SetAnimatePriority(ThreadPriority value);
    // UTF-8; the tip shows its first 64 characters.
    const std::string& Hint() const noexcept { return hint_; }
    void SetHint(const std::string& value);
    int IconIndex() const noexcept { return iconIndex_; }
    void SetIconIndex(int value);
    const std::shared_ptr<SharedImageList>& ImageList() const noexcept { return imageList_; }
    // Also resets IconIndex to 0. The thread keeps its own reference while it uses the list.
    void SetImageList(std::shared_ptr<SharedImageList> value);
    // Work that brings the icon's picture up to date (the CPU gauge), run on the icon's own
    // thread every `intervalMs` while the icon is shown, counted from the end of the last run:
    // the user-interface thread sleeps through it. It returns false when it can never work here,
    // which ends it; when it throws, that is logged and the next run comes all the same. The
    // thread holds a copy of it, which may outlive this object. Empty means none.
    void SetPictureUpdate(std::function<bool()> update, int intervalMs);
    // While paused (nobody can see the desktop: the session is locked or disconnected) the
    // picture update does not run at all; it runs again from the end of the pause.
    bool PictureUpdatePaused() const noexcept { return pictureUpdatePaused_; }
    void SetPictureUpdatePaused(bool paused);

    // Not owned: the caller keeps the menu alive while it is set.
    HMENU PopupMenu() const noexcept { return popupMenu_; }
    void SetPopupMenu(HMENU value);
    bool MinimizeOwnerToTray() const noexcept { return minimizeOwnerToTray_; }
    // Turning it on throws TrayIconError "Owner must be a form" (and stays off) unless the
    // owner is a window of this thread.
    void SetMinimizeOwnerToTray(bool value);

    // The hidden window that receives the icon's callback messages.
    HWND Window() const noexcept;

    // Opens the popup menu at the mouse pointer as a click on the icon does; with
    // `selectLastItem` the menu opens with its last item selected (unless that is a separator),
    // so Enter chooses it. Does nothing while the menu is already open.
    void ShowPopupMenu(bool selectLastItem);

    // Events, all raised on the user-interface thread from its own message loop, never inside the
    // shell's callback: the shell delivers that from its own process, and whatever runs inside it
    // (a menu, a dialog, a window being shown) would run inside another program's message.
    // A left click opens the menu only once the double-click time has passed without a second
    // click; a double click raises OnDblClick and opens no menu; a right click opens it at once.
    // Each event may be empty.
    std::function<void()> OnDblClick;
    std::function<void(MouseButton, ShiftState, int x, int y)> OnMouseDown;
    std::function<void(MouseButton, ShiftState, int x, int y)> OnMouseUp;
    // Whether we hold the window hidden: after the menu, the foreground never goes back to it.
    std::function<bool(HWND)> IsHeldHidden;
    // Just before the popup menu opens: the place to bring its items up to date.
    std::function<void()> OnPopup;
    // The command chosen from the popup menu (not raised when it was dismissed).
    std::function<void(UINT id)> OnMenuCommand;
    // Messages the open popup menu sends to its owner (WM_MEASUREITEM, WM_DRAWITEM,
    // WM_MENUSELECT, WM_INITMENUPOPUP …) — the owner is the hidden window. Return true when
    // handled.
    std::function<bool(UINT msg, WPARAM, LPARAM, LRESULT& result)> OnMenuMessage;

    // The minimise and restore effects of MinimizeOwnerToTray.
    void MinimizeToTray();
    void RestoreFromTray();

  private:
    class CallbackWindow;
    friend class CallbackWindow;

    void UpdateThread(bool withIcon);
    // True when the message was handled; `result` is then its answer.
    bool IconWndProc(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
    void QueueMouseAction(UINT mouseMessage);
    void RunQueuedMouseActions();
    void OnMouseAction(UINT mouseMessage, POINT pt);
    void OnSingleClickTimeout();
    void CancelSingleClick();
    void PopupMenuAt(POINT pt, bool selectLastItem);
    void InstallHook();
    void RemoveHook();
    static LRESULT CALLBACK OwnerWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR id, DWORD_PTR self);

    HWND owner_;
    ShellNotifyIconFn shell_;
    UINT taskbarCreated_;

    bool active_ = false;
    bool animated_ = false;
    int animateDelay_ = 50;
    ThreadPriority animatePriority_ = ThreadPriority::Normal;
    std::string hint_;
    int iconIndex_ = 0;
    std::shared_ptr<SharedImageList> imageList_;
    // The picture update the thread is to run: none while paused.
    std::function<bool()> RunningPictureUpdate() const;

    std::function<bool()> pictureUpdate_;
    int pictureUpdateMs_ = 0;
    bool pictureUpdatePaused_ = false;
    HMENU popupMenu_ = nullptr;
    bool minimizeOwnerToTray_ = false;
    bool hooked_ = false;
    bool menuOpen_ = false;

    struct MouseAction {
        UINT message;
        POINT pt;
    };
    // Mouse actions the shell reported, waiting to run from the message loop.
    std::vector<MouseAction> queuedMouse_;
    // A left click waiting to see whether a second one makes it a double click.
    bool singleClickPending_ = false;
    POINT singleClickPoint_{};
    // The release that ends a double click is not a click of its own.
    bool doubleClickRelease_ = false;

    // Declared before the thread, so the window outlives it.
    std::unique_ptr<CallbackWindow> window_;
    std::shared_ptr<TrayIconThread> thread_;
};

}  // namespace quenvix::win
