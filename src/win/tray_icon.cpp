// The path the program takes with its icon: the settings handed to the icon's thread, which is
// made when the icon shows and ended, with the icon removed, when it goes; the shell's restart;
// the shell's callbacks queued and judged on the user-interface thread (a single click waits out
// the double-click time); and the popup menu, with the foreground handed back when it closes.
#include "win/tray_icon.h"

#include <windows.h>

#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "core/error.h"
#include "core/foreground_keeper.h"
#include "core/text.h"
#include "win/desktop.h"
#include "win/foreground.h"
#include "win/message_wait.h"
#include "win/taskbar.h"
#include "win/tray_icon_thread.h"
#include "win/ui.h"

namespace quenvix::win {

namespace {

constexpr std::size_t kTipCharacters = 64;
constexpr UINT_PTR kSingleClickTimerId = 1;
constexpr std::size_t kMaxQueuedMouseActions = 16;

// The hint's first 64 characters, as the shell's tip field takes them. Characters outside the
// basic plane take two UTF-16 units, so 64 of them would not fit the field with its terminator;
// then the cut falls one character earlier rather than inside a pair.
std::wstring TrayTip(const std::string& hint) {
    std::wstring tip = Widen(core::FirstCharacters(hint, kTipCharacters));
    constexpr std::size_t kMaxUnits = sizeof(NOTIFYICONDATAW::szTip) / sizeof(wchar_t) - 1;
    if (tip.size() > kMaxUnits) {
        std::size_t cut = kMaxUnits;
        if (IS_HIGH_SURROGATE(tip[cut - 1])) --cut;
        tip.resize(cut);
    }
    return tip;
}

}  // namespace

// ---- the hidden callback window ---------------------------------------------------------------

class TrayIcon::CallbackWindow : public ServiceWindow {
  public:
    explicit CallbackWindow(TrayIcon& icon) : icon_(icon) {
        // An ordinary (hidden) top-level window, not a message-only one: only those hear the
        // shell's "TaskbarCreated" broadcast, and the icon goes away with the process.
        if (!CreateBound(L"QuenvixNotifyIcon", WS_POPUP, WS_EX_TOOLWINDOW, L"", 0, 0, 0, 0,
                         nullptr)) {
            throw core::Error("Failed to create the tray icon window");
        }
    }

  protected:
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
        LRESULT result = 0;
        if (icon_.IconWndProc(msg, wParam, lParam, result)) return result;
        return ServiceWindow::OnMessage(msg, wParam, lParam);
    }

  private:
    friend class TrayIcon;
    TrayIcon& icon_;
};

// ---- the shell's reports, ahead of what was posted before them ------------------------------

// The shell sends its report, which is taken between any two messages of the queue; the posted
// wake-up that runs it would wait behind everything posted before (another program may flood
// the queue). This source runs the waiting actions from the thread's own message wait as soon
// as the report is in. The posted wake-up stays for the loops that are not ours (a menu's, a
// message box's), and finds nothing left to do where this came first.
class TrayIcon::MouseActionSource final : public MessageWaitSource {
  public:
    explicit MouseActionSource(TrayIcon& icon) : icon_(icon) {
        if (event_) AddMessageWaitSource(*this);
    }
    ~MouseActionSource() { RemoveMessageWaitSource(*this); }
    MouseActionSource(const MouseActionSource&) = delete;
    MouseActionSource& operator=(const MouseActionSource&) = delete;

    void Signal() const noexcept {
        if (event_) SetEvent(event_.get());
    }
    HANDLE WaitHandle() const override { return event_.get(); }
    ULONGLONG Deadline() const override { return 0; }
    void Serve() noexcept override {
        Guarded(icon_.Window(), [this] { icon_.RunQueuedMouseActions(); });
    }

  private:
    TrayIcon& icon_;
    UniqueHandle event_{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
};

// ---- TrayIcon ----------------------------------------------------------------------------

TrayIcon::TrayIcon(core::Desktop& desktop, core::Foreground& foreground, ShellNotifyIconFn shell)
    : desktop_(desktop),
      foreground_(foreground),
      shell_(shell ? std::move(shell) : ShellNotifyIconFn(&Shell_NotifyIconW)),
      taskbarCreated_(RegisterWindowMessageW(L"TaskbarCreated")) {
    window_ = std::make_unique<CallbackWindow>(*this);
    mouseSource_ = std::make_unique<MouseActionSource>(*this);
    // An elevated copy would otherwise never hear that the shell restarted.
    if (taskbarCreated_)
        ChangeWindowMessageFilterEx(Window(), taskbarCreated_, MSGFLT_ALLOW, nullptr);
}

TrayIcon::~TrayIcon() {
    SetActive(false);
}

HWND TrayIcon::Window() const noexcept {
    return window_->Hwnd();
}

HANDLE TrayIcon::ThreadHandle() const noexcept {
    return thread_ ? thread_->Handle() : nullptr;
}

void TrayIcon::SetActive(bool value) {
    if (active_ == value) return;
    active_ = value;
    UpdateThread(true);
}

void TrayIcon::SetAnimated(bool value) {
    if (animated_ == value) return;
    animated_ = value;
    UpdateThread(false);
}

void TrayIcon::SetAnimateDelay(int value) {
    value = std::max(value, 0);
    if (animateDelay_ == value) return;
    animateDelay_ = value;
    UpdateThread(false);
}

void TrayIcon::SetHint(const std::string& value) {
    if (hint_ == value) return;
    hint_ = value;
    UpdateThread(true);
}

void TrayIcon::SetIconIndex(int value) {
    if (iconIndex_ == value) return;
    iconIndex_ = value;
    UpdateThread(true);
}

void TrayIcon::SetImageList(std::shared_ptr<SharedImageList> value) {
    if (imageList_ == value) return;
    imageList_ = std::move(value);
    iconIndex_ = 0;
    UpdateThread(true);
}

void TrayIcon::SetPictureUpdate(std::function<bool()> update, int intervalMs) {
    pictureUpdate_ = std::move(update);
    pictureUpdateMs_ = std::max(intervalMs, 1);
    if (thread_) thread_->SetPictureUpdate(RunningPictureUpdate(), pictureUpdateMs_);
}

void TrayIcon::SetPictureUpdatePaused(bool paused) {
    if (pictureUpdatePaused_ == paused) return;
    pictureUpdatePaused_ = paused;
    if (thread_) thread_->SetPictureUpdate(RunningPictureUpdate(), pictureUpdateMs_);
}

std::function<bool()> TrayIcon::RunningPictureUpdate() const {
    return pictureUpdatePaused_ ? std::function<bool()>() : pictureUpdate_;
}

void TrayIcon::UpdateThread(bool withIcon) {
    if (active_) {
        const bool starting = !thread_;
        if (starting) thread_ = std::make_shared<TrayIconThread>(Window(), shell_);
        thread_->SetAnimation(animated_, animateDelay_);
        if (withIcon || starting) thread_->SetIcon(TrayTip(hint_), iconIndex_, imageList_);
        if (starting) {
            thread_->SetPictureUpdate(RunningPictureUpdate(), pictureUpdateMs_);
            for (WaitingBalloon& b : waitingBalloons_) {
                thread_->ShowBalloon(std::move(b.title), std::move(b.text), b.warning);
            }
            waitingBalloons_.clear();
            thread_->Start();
            OnThreadStarted(thread_->Handle());
        }
    } else if (thread_) {
        thread_->Stop();
        thread_.reset();
    }
}

void TrayIcon::ShowBalloon(const std::string& title, const std::string& text, bool warning) {
    if (thread_) {
        thread_->ShowBalloon(Widen(title), Widen(text), warning);
    } else {
        waitingBalloons_.push_back(WaitingBalloon{Widen(title), Widen(text), warning});
    }
}

// ---- clicks and the popup menu -----------------------------------------------------------

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
    return OnOtherMessage(msg, wParam, lParam, result);
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
        case NIN_SELECT:
        case NIN_KEYSELECT:
        case WM_CONTEXTMENU:
            break;
        default:
            return;
    }
    // A flood of callbacks (the shell does not send one; another program might) keeps only what
    // a person could have done in the meantime.
    if (queuedMouse_.size() >= kMaxQueuedMouseActions) return;
    POINT pt{};
    GetCursorPos(&pt);
    queuedMouse_.push_back(MouseAction{mouseMessage, pt, GetTickCount64()});
    mouseSource_->Signal();
    if (queuedMouse_.size() == 1) PostMessageW(Window(), kRunQueuedMouseActions, 0, 0);
}

void TrayIcon::RunQueuedMouseActions() {
    // Taken as a whole first: an action may open the menu, whose loop runs the next wake-up.
    std::vector<MouseAction> actions;
    actions.swap(queuedMouse_);
    for (const MouseAction& action : actions) {
        OnMouseAction(action.message, action.pt, action.at);
        previousAction_ = action.message;
    }
}

void TrayIcon::OnMouseAction(UINT mouseMessage, POINT pt, ULONGLONG at) {
    OnShellMouse(mouseMessage, pt);
    switch (mouseMessage) {
        case NIN_SELECT:
        case NIN_KEYSELECT:
        case WM_CONTEXTMENU:
            OnKeyboardSelection(mouseMessage, at);
            break;
        case WM_LBUTTONDOWN:
            doubleClickRelease_ = false;
            UpdateMenuAtPress();
            break;
        case WM_RBUTTONDOWN:
            UpdateMenuAtPress();
            break;
        case WM_LBUTTONUP:
            if (std::exchange(doubleClickRelease_, false)) break;
            if (popupMenu_) {
                // Opened at once, the menu would take the second click of a double click, and
                // the shell would never see the double click.
                singleClickPending_ = true;
                singleClickPoint_ = pt;
                SetTimer(Window(), kSingleClickTimerId, GetDoubleClickTime(), nullptr);
            } else {
                OnClickWithoutMenu();
            }
            break;
        case WM_LBUTTONDBLCLK:
            CancelSingleClick();
            updatedAtPress_ = false;
            doubleClickRelease_ = true;
            if (OnDblClick) OnDblClick();
            break;
        case WM_RBUTTONUP:
            CancelSingleClick();
            PopupMenuAt(pt, false, std::exchange(updatedAtPress_, false));
            break;
        default:
            break;
    }
}

void TrayIcon::OnKeyboardSelection(UINT message, ULONGLONG at) {
    // After a click the shell reports it once more, in the keyboard's words: NIN_SELECT after the
    // left button comes up, WM_CONTEXTMENU after the right one. The click has had its answer.
    if ((message == NIN_SELECT && previousAction_ == WM_LBUTTONUP) ||
        (message == WM_CONTEXTMENU && previousAction_ == WM_RBUTTONUP)) {
        return;
    }
    // Enter reports its selection twice; a second report at once is the same key.
    const bool echo = message == lastSelection_ && at - lastSelectionAt_ < GetDoubleClickTime();
    lastSelection_ = message;
    lastSelectionAt_ = at;
    if (echo) return;
    CancelSingleClick();
    // Win + B, the arrows and Enter (or the menu key): the menu opens at the icon, not wherever
    // the mouse pointer happens to be.
    RECT icon{};
    if (!IconRect(icon)) {
        POINT pt{};
        GetCursorPos(&pt);
        icon = RECT{pt.x, pt.y, pt.x, pt.y};
    }
    PopupMenuAt(POINT{icon.left, icon.top}, false, false, &icon);
}

bool TrayIcon::IconRect(RECT& rect) {
    // Windows 7 and later ("Shell_NotifyIconGetRect"); asked for by name so that a shell without
    // it (Wine's answers E_NOTIMPL) leaves the notification area's own rectangle.
    using GetRectFn = HRESULT(WINAPI*)(const NOTIFYICONIDENTIFIER*, RECT*);
    static const auto getRect = reinterpret_cast<GetRectFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"shell32.dll"), "Shell_NotifyIconGetRect")));
    NOTIFYICONIDENTIFIER id{};
    id.cbSize = sizeof id;
    id.hWnd = Window();
    id.uID = kTrayIconId;
    if (getRect && SUCCEEDED(getRect(&id, &rect))) return true;
    rect = TrayRect();
    return !IsRectEmpty(&rect);
}

void TrayIcon::OnSingleClickTimeout() {
    KillTimer(Window(), kSingleClickTimerId);
    // Only a click that is still waiting opens the menu: the timer's message alone proves nothing.
    if (!std::exchange(singleClickPending_, false)) return;
    PopupMenuAt(singleClickPoint_, false, std::exchange(updatedAtPress_, false));
}

void TrayIcon::UpdateMenuAtPress() {
    // While the menu is open, a press on the icon only ends it; its items stay as they are.
    updatedAtPress_ = false;
    if (!popupMenu_ || menuOpen_ || !UpdateMenu) return;
    UpdateMenu();
    updatedAtPress_ = true;
}

void TrayIcon::CancelSingleClick() {
    singleClickPending_ = false;
    KillTimer(Window(), kSingleClickTimerId);
}

void TrayIcon::ShowPopupMenu(bool selectLastItem) {
    POINT pt{};
    GetCursorPos(&pt);
    PopupMenuAt(pt, selectLastItem, false);
}

void TrayIcon::PopupMenuAt(POINT pt, bool selectLastItem, bool updated, const RECT* iconRect) {
    // A second request while the menu is open (its loop still runs our messages) must not stack
    // a second menu on the first.
    if (!popupMenu_ || menuOpen_) return;
    menuOpen_ = true;
    struct Closed {
        bool& open;
        ~Closed() { open = false; }
    } closed{menuOpen_};
    if (!updated && UpdateMenu) UpdateMenu();
    if (OnPopup) OnPopup();
    const int count = GetMenuItemCount(popupMenu_);
    // Opened from the keyboard, the menu is ready for the arrows: its first item is selected.
    if (iconRect && count > 0) PostMessageW(Window(), WM_KEYDOWN, VK_DOWN, 0);
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
    core::ForegroundKeeper keeper(desktop_, foreground_);
    keeper.MenuOpening();
    // Without the foreground the menu would not close when the user clicks elsewhere ("the
    // current window must be the foreground window before the application calls
    // TrackPopupMenu"); the WM_NULL lets it see that click.
    // https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-trackpopupmenu
    SetForegroundWindow(Window());
    // At the icon, the menu goes beside it rather than over it: towards the middle of the
    // icon's monitor, from the icon's edge (and the icon is excluded, where the system heeds it).
    UINT align = 0;
    TPMPARAMS beside{};
    beside.cbSize = sizeof beside;
    if (iconRect) {
        beside.rcExclude = *iconRect;
        MONITORINFO monitor{};
        monitor.cbSize = sizeof monitor;
        GetMonitorInfoW(MonitorFromRect(iconRect, MONITOR_DEFAULTTONEAREST), &monitor);
        const RECT& area = monitor.rcMonitor;
        const bool lower = iconRect->top + iconRect->bottom > area.top + area.bottom;
        const bool right = iconRect->left + iconRect->right > area.left + area.right;
        pt.x = right ? iconRect->right : iconRect->left;
        pt.y = lower ? iconRect->top : iconRect->bottom;
        align = TPM_VERTICAL | (lower ? TPM_BOTTOMALIGN : TPM_TOPALIGN) |
                (right ? TPM_RIGHTALIGN : TPM_LEFTALIGN);
    }
    const UINT command =
        static_cast<UINT>(TrackPopupMenuEx(popupMenu_, TPM_RETURNCMD | TPM_RIGHTBUTTON | align,
                                           pt.x, pt.y, Window(), iconRect ? &beside : nullptr));
    PostMessageW(Window(), WM_NULL, 0, 0);
    // Closed from the keyboard without a choice (Escape): the keyboard goes back to the
    // notification area, on the icon, where the user left it (NIM_SETFOCUS).
    if (iconRect && command == 0 && thread_) thread_->FocusIcon();
    // The command may bring a window back, which then takes the foreground, or end the program
    // and this object with it: the keeper and the question are locals for that reason.
    const std::function<bool(HWND)> heldHidden = IsHeldHidden;
    const std::function<bool()> bringingForward = IsBringingForward;
    if (command != 0 && OnMenuCommand) OnMenuCommand(command);
    if (bringingForward && bringingForward()) return;
    keeper.MenuClosed(
        [&heldHidden](core::WindowId w) { return heldHidden && heldHidden(ToHwnd(w)); });
}

}  // namespace quenvix::win
