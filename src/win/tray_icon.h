#pragma once
// The notification-area icon. A thread of its own (tray_icon_thread) adds, refreshes and removes
// the icon, so its picture keeps up with the image list even while the user interface is busy or
// modal. Mouse actions on the icon reach a hidden window on the user-interface thread, which
// opens the popup menu or raises the double click. The rest of the component (minimising the
// owner into the tray, button events, the thread's priority) is in tray_icon_extras.
// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/ports/desktop.h"
#include "core/ports/foreground.h"
#include "win/shared_image_list.h"

namespace quenvix::win {

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
    // After the popup menu the foreground goes back to the window that had it before (see
    // ForegroundKeeper), through `desktop` and `foreground`, which outlive the icon.
    TrayIcon(core::Desktop& desktop, core::Foreground& foreground, ShellNotifyIconFn shell = {});
    // Removes the icon (stopping the thread).
    virtual ~TrayIcon();
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    // Each setter does nothing for an unchanged value.
    bool Active() const noexcept { return active_; }
    // False returns only once the icon is gone and the thread has ended.
    void SetActive(bool value);
    // Cycles through every image of the list, `delay` ms apart (a negative delay counts as 0),
    // instead of showing IconIndex. With a one-image list (the gauge) the thread only hands on
    // each new picture of that image.
    void SetAnimated(bool value);
    void SetAnimateDelay(int value);
    // UTF-8; the tip shows its first 64 characters.
    void SetHint(const std::string& value);
    int IconIndex() const noexcept { return iconIndex_; }
    void SetIconIndex(int value);
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
    void SetPopupMenu(HMENU value) { popupMenu_ = value; }

    // The hidden window that receives the icon's callback messages.
    HWND Window() const noexcept;

    // A balloon from the icon (UTF-8 texts), shown as soon as the icon is in; `warning` gives it
    // the warning sign. For what the user must hear of without a window of ours in view.
    void ShowBalloon(const std::string& title, const std::string& text, bool warning);

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
    // Whether we hold the window hidden: after the menu, the foreground never goes back to it.
    std::function<bool(HWND)> IsHeldHidden;
    // Whether the menu's command is still bringing a window to the front (its program has not
    // shown it yet): the foreground then stays for that window, not the one before the menu.
    std::function<bool()> IsBringingForward;
    // Brings the popup menu's items up to date. A click's menu shows them as they were when its
    // button went down: the update runs then, not in the time between the button coming up and
    // the menu showing, which the user waits through. A menu opened any other way updates
    // just before it opens. Never while the menu is open.
    std::function<void()> UpdateMenu;
    // Just before the popup menu opens.
    std::function<void()> OnPopup;
    // The command chosen from the popup menu (not raised when it was dismissed).
    std::function<void(UINT id)> OnMenuCommand;

  protected:
    // Where the rest of the component (tray_icon_extras) joins in. Each mouse action as the shell
    // reported it, before the icon's own answer to it:
    virtual void OnShellMouse(UINT /*mouseMessage*/, POINT /*pt*/) {}
    // A left click, not the end of a double click, while there is no popup menu to open:
    virtual void OnClickWithoutMenu() {}
    // The hidden window's messages that the icon leaves alone; true when handled:
    virtual bool OnOtherMessage(UINT /*msg*/, WPARAM, LPARAM, LRESULT& /*result*/) { return false; }
    // Each new thread, once running:
    virtual void OnThreadStarted(HANDLE /*thread*/) {}
    // The running thread, or null.
    HANDLE ThreadHandle() const noexcept;
    // Where the icon is on the screen, for a menu opened from the keyboard; false when the
    // system cannot say.
    virtual bool IconRect(RECT& rect);

  private:
    class CallbackWindow;
    friend class CallbackWindow;
    class MouseActionSource;
    friend class MouseActionSource;

    core::Desktop& desktop_;
    core::Foreground& foreground_;

    void UpdateThread(bool withIcon);
    // The picture update the thread is to run: none while paused.
    std::function<bool()> RunningPictureUpdate() const;
    // True when the message was handled; `result` is then its answer.
    bool IconWndProc(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
    void QueueMouseAction(UINT mouseMessage);
    void RunQueuedMouseActions();
    void OnMouseAction(UINT mouseMessage, POINT pt, ULONGLONG at);
    // The shell's keyboard selection (or its echo of a click, which is dropped).
    void OnKeyboardSelection(UINT message, ULONGLONG at);
    void OnSingleClickTimeout();
    void CancelSingleClick();
    void UpdateMenuAtPress();
    // `updated`: the menu's items were brought up to date when this click's button went down.
    // `iconRect`: opened from the keyboard at the icon, which the menu leaves uncovered.
    void PopupMenuAt(POINT pt, bool selectLastItem, bool updated, const RECT* iconRect = nullptr);

    ShellNotifyIconFn shell_;
    UINT taskbarCreated_;

    bool active_ = false;
    bool animated_ = false;
    int animateDelay_ = 50;
    std::string hint_;
    int iconIndex_ = 0;
    std::shared_ptr<SharedImageList> imageList_;
    std::function<bool()> pictureUpdate_;
    int pictureUpdateMs_ = 0;
    bool pictureUpdatePaused_ = false;
    HMENU popupMenu_ = nullptr;
    bool menuOpen_ = false;

    struct MouseAction {
        UINT message;
        POINT pt;
        ULONGLONG at;  // when the shell reported it
    };
    // Mouse actions the shell reported, waiting to run from the message loop.
    std::vector<MouseAction> queuedMouse_;
    // A left click waiting to see whether a second one makes it a double click.
    bool singleClickPending_ = false;
    POINT singleClickPoint_{};
    // The release that ends a double click is not a click of its own.
    bool doubleClickRelease_ = false;
    // The menu was brought up to date when the button of the click under way went down.
    bool updatedAtPress_ = false;
    // The shell's report before the one being run, and the last keyboard selection's.
    UINT previousAction_ = 0;
    UINT lastSelection_ = 0;
    ULONGLONG lastSelectionAt_ = 0;
    // Balloons asked for while the icon's thread was not running.
    struct WaitingBalloon {
        std::wstring title;
        std::wstring text;
        bool warning;
    };
    std::vector<WaitingBalloon> waitingBalloons_;

    // Declared before the thread, so the window outlives it.
    std::unique_ptr<CallbackWindow> window_;
    std::unique_ptr<MouseActionSource> mouseSource_;
    std::shared_ptr<TrayIconThread> thread_;
};

}  // namespace quenvix::win
