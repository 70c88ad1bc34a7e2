#include "win/tray_icon.h"

// clang-format off
#include <windows.h>
#include <mmsystem.h>
// clang-format on
#include <process.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "core/text.h"
#include "win/log.h"
#include "win/ui.h"

namespace quenvix::win {

namespace {

constexpr std::size_t kTipCharacters = 64;
// An add that failed (no taskbar yet) is tried again this often.
constexpr ULONGLONG kAddRetryMs = 1000;
constexpr int kStillPollMs = 50;
// A still icon sleeps until something changes; it looks again this often all the same, so that
// no wait is without end.
constexpr auto kStillRecheck = std::chrono::seconds(60);
// Stopping the thread waits this long for the icon's removal; a shell that hangs longer keeps
// the thread, which the process's exit ends.
constexpr DWORD kStopBoundMs = 2000;
constexpr DWORD kSoundFlags = SND_ALIAS | SND_NOWAIT | SND_NODEFAULT | SND_ASYNC;

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

int PlatformPriority(ThreadPriority priority) {
    switch (priority) {
        case ThreadPriority::Idle:
            return THREAD_PRIORITY_IDLE;
        case ThreadPriority::Lowest:
            return THREAD_PRIORITY_LOWEST;
        case ThreadPriority::Lower:
            return THREAD_PRIORITY_BELOW_NORMAL;
        case ThreadPriority::Normal:
            return THREAD_PRIORITY_NORMAL;
        case ThreadPriority::Higher:
            return THREAD_PRIORITY_ABOVE_NORMAL;
        case ThreadPriority::Highest:
            return THREAD_PRIORITY_HIGHEST;
        case ThreadPriority::TimeCritical:
            return THREAD_PRIORITY_TIME_CRITICAL;
    }
    return THREAD_PRIORITY_NORMAL;
}

// Waits up to `boundMs` for `handle` while still answering messages that other threads send to
// this thread's windows: the icon thread's shell call may be waiting on one of them. True when
// the handle was signalled.
bool WaitAnsweringSentMessages(HANDLE handle, DWORD boundMs) {
    const ULONGLONG deadline = GetTickCount64() + boundMs;
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        const DWORD left = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
        const DWORD r = MsgWaitForMultipleObjects(1, &handle, FALSE, left, QS_SENDMESSAGE);
        if (r != WAIT_OBJECT_0 + 1) return r == WAIT_OBJECT_0;
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

ShiftState CurrentShiftState() {
    return ShiftState{GetKeyState(VK_SHIFT) < 0, GetKeyState(VK_CONTROL) < 0,
                      GetKeyState(VK_MENU) < 0};
}

}  // namespace

// ---- the icon's thread ----------------------------------------------------------------------

// Shared by its owner and the thread itself, so that a thread given up on by Stop still has
// everything it uses.
class TrayIconThread : public std::enable_shared_from_this<TrayIconThread> {
  public:
    TrayIconThread(HWND window, ShellNotifyIconFn shell)
        : window_(window), shell_(std::move(shell)) {}

    // Separate from construction so that the first pass already sees the settings.
    void Start() {
        auto keep = std::make_unique<std::shared_ptr<TrayIconThread>>(shared_from_this());
        const uintptr_t h =
            _beginthreadex(nullptr, 0, &TrayIconThread::Run, keep.get(), 0, nullptr);
        if (!h) throw core::Error("Failed to start the tray icon thread");
        keep.release();  // the thread's own reference now
        thread_.reset(reinterpret_cast<HANDLE>(h));
    }

    // Ends the thread, which removes the icon. Gives up after a bound: a shell that does not
    // answer must not hang the program.
    void Stop() {
        Poke([this] { terminated_ = true; });
        if (thread_) WaitAnsweringSentMessages(thread_.get(), kStopBoundMs);
    }

    void SetAnimation(bool animated, int delay) {
        Poke([&] {
            animated_ = animated;
            delay_ = animated ? std::max(delay, 0) : kStillPollMs;
            poked_ = true;
        });
    }

    void SetIcon(std::wstring tip, int iconIndex, std::shared_ptr<SharedImageList> imageList) {
        Poke([&] {
            hint_ = std::move(tip);
            iconIndex_ = iconIndex;
            imageList_ = std::move(imageList);
            changed_ = true;
        });
    }

    // The shell came back (or was never there): put the icon in again.
    void Readd() {
        Poke([this] { readd_ = true; });
    }

    void SetPriority(int priority) {
        if (thread_) SetThreadPriority(thread_.get(), priority);
    }

  private:
    static unsigned __stdcall Run(void* keep) {
        const std::unique_ptr<std::shared_ptr<TrayIconThread>> self(
            static_cast<std::shared_ptr<TrayIconThread>*>(keep));
        Guarded(nullptr, [&] { (*self)->Execute(); });
        return 0;
    }

    // Changes the hand-over state under the lock and wakes the thread.
    template <class Change>
    void Poke(Change&& change) {
        {
            std::lock_guard lock(mutex_);
            change();
        }
        wake_.notify_all();
    }

    struct Pass {
        bool changed, animated, readd, terminated;
        int delay, iconIndex;
        std::wstring hint;
        std::shared_ptr<SharedImageList> imageList;
    };

    Pass TakeState() {
        std::lock_guard lock(mutex_);
        Pass pass{changed_, animated_, readd_, terminated_, delay_, iconIndex_, {}, {}};
        if (changed_) {
            pass.hint = hint_;
            pass.imageList = imageList_;
        }
        changed_ = false;
        readd_ = false;
        poked_ = false;
        imageChanged_ = false;
        return pass;
    }

    // Until something new arrives: settings, a picture, a re-add, the end; or, while the icon
    // has not been added yet, the next try. True to go on.
    bool WaitForChange() {
        std::unique_lock lock(mutex_);
        const auto bound = added_ ? std::chrono::milliseconds(kStillRecheck)
                                  : std::chrono::milliseconds(kAddRetryMs);
        wake_.wait_for(lock, bound, [this] {
            return terminated_ || readd_ || changed_ || poked_ || imageChanged_;
        });
        return !terminated_;
    }

    // Takes the icon's pictures from `list` from now on, and hears of each new one.
    void UseList(std::shared_ptr<SharedImageList> list) {
        if (list == list_) return;
        if (list_) list_->Unwatch(watchTicket_);
        list_ = std::move(list);
        if (list_) watchTicket_ = list_->Watch([this] { Poke([this] { imageChanged_ = true; }); });
    }

    // Pauses for `delay` ms, or less when asked to stop or to re-add; true to go on.
    bool Pause(int delay) {
        std::unique_lock lock(mutex_);
        if (delay == 0) {
            lock.unlock();
            std::this_thread::yield();
            lock.lock();
        } else {
            wake_.wait_for(lock, std::chrono::milliseconds(delay),
                           [this] { return terminated_ || readd_; });
        }
        return !terminated_;
    }

    bool Shell(DWORD message) {
        const bool done = shell_(message, &nid_) != FALSE;
        // Traced when the shell starts refusing, not at every animation frame after that.
        if (!done && !shellRefusing_) {
            LogLastError("Shell_NotifyIconW (message " + std::to_string(message) + ")");
        }
        shellRefusing_ = !done;
        return done;
    }

    void Add() {
        lastAdd_ = GetTickCount64();
        // An add of an icon that is still there fails; the icon is then simply refreshed.
        added_ = Shell(NIM_ADD) || Shell(NIM_MODIFY);
    }

    // Makes the icon of image `index` and hands it to the shell, unless the shell already shows
    // exactly that picture (a still gauge then costs no shell call at all).
    void ShowImage(int index, bool force) {
        std::uint64_t generation = list_ ? list_->Generation() : 0;
        if (!force && shownValid_ && shownList_ == list_.get() && shownIndex_ == index &&
            shownGeneration_ == generation) {
            return;
        }
        icon_.reset();
        if (list_) icon_ = list_->GetIcon(index, &generation);
        nid_.hIcon = icon_.get();
        shownValid_ = true;
        shownList_ = list_.get();
        shownIndex_ = index;
        shownGeneration_ = generation;
        if (added_) Shell(NIM_MODIFY);
    }

    void Execute() {
        nid_.cbSize = sizeof(nid_);
        nid_.hWnd = window_;
        nid_.uID = kTrayIconId;
        nid_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
        nid_.uCallbackMessage = kTrayIconCallbackMessage;
        Add();
        int frame = 0;
        bool tipPending = false;
        for (;;) {
            Pass pass = TakeState();
            if (pass.terminated) break;
            if (pass.changed) {
                std::fill(std::begin(nid_.szTip), std::end(nid_.szTip), L'\0');
                std::copy(pass.hint.begin(), pass.hint.end(), nid_.szTip);
                UseList(std::move(pass.imageList));
                tipPending = true;
                if (!pass.animated) {
                    ShowImage(pass.iconIndex, true);
                    tipPending = false;
                }
            }
            const int count = list_ ? list_->Count() : 0;
            if (pass.animated) {
                ShowImage(frame, tipPending);
                tipPending = false;
                if (++frame >= count) frame = 0;
            } else if (shownValid_) {
                // The image shown may have a new picture.
                ShowImage(shownIndex_, false);
            }
            if (pass.readd || (!added_ && GetTickCount64() - lastAdd_ >= kAddRetryMs)) Add();
            // Only an animation of several pictures needs the clock; a single picture (the
            // gauge) is handed on when it changes, and the thread sleeps in between.
            const bool goOn = pass.animated && count > 1 ? Pause(pass.delay) : WaitForChange();
            if (!goOn) break;
        }
        UseList(nullptr);
        Shell(NIM_DELETE);
        nid_.hIcon = nullptr;
        icon_.reset();
    }

    // Hand-over from the user-interface thread, under mutex_.
    std::mutex mutex_;
    std::condition_variable wake_;
    bool animated_ = false;
    int delay_ = kStillPollMs;
    std::wstring hint_;
    int iconIndex_ = 0;
    std::shared_ptr<SharedImageList> imageList_;
    bool changed_ = false;
    bool readd_ = false;
    bool terminated_ = false;
    bool poked_ = false;
    bool imageChanged_ = false;

    const HWND window_;
    const ShellNotifyIconFn shell_;
    UniqueHandle thread_;

    // The thread's own state.
    NOTIFYICONDATAW nid_{};
    bool shellRefusing_ = false;
    UniqueIcon icon_;
    std::shared_ptr<SharedImageList> list_;
    int watchTicket_ = 0;
    bool added_ = false;
    ULONGLONG lastAdd_ = 0;
    bool shownValid_ = false;
    const SharedImageList* shownList_ = nullptr;
    int shownIndex_ = 0;
    std::uint64_t shownGeneration_ = 0;
};

// ---- the hidden callback window ---------------------------------------------------------------

class TrayIcon::CallbackWindow : public Window {
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
        return DefaultProc(msg, wParam, lParam);
    }

  private:
    friend class TrayIcon;
    TrayIcon& icon_;
};

// ---- TrayIcon ----------------------------------------------------------------------------

TrayIcon::TrayIcon(HWND owner, ShellNotifyIconFn shell)
    : owner_(owner),
      shell_(shell ? std::move(shell) : ShellNotifyIconFn(&Shell_NotifyIconW)),
      taskbarCreated_(RegisterWindowMessageW(L"TaskbarCreated")) {
    window_ = std::make_unique<CallbackWindow>(*this);
    // An elevated copy would otherwise never hear that the shell restarted.
    if (taskbarCreated_)
        ChangeWindowMessageFilterEx(Window(), taskbarCreated_, MSGFLT_ALLOW, nullptr);
}

TrayIcon::~TrayIcon() {
    SetActive(false);
    RemoveHook();
}

HWND TrayIcon::Window() const noexcept {
    return window_->Hwnd();
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

void TrayIcon::SetAnimatePriority(ThreadPriority value) {
    if (animatePriority_ == value) return;
    animatePriority_ = value;
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

void TrayIcon::SetPopupMenu(HMENU value) {
    popupMenu_ = value;
}

void TrayIcon::SetMinimizeOwnerToTray(bool value) {
    if (minimizeOwnerToTray_ == value) return;
    if (value) {
        InstallHook();
    } else {
        RemoveHook();
    }
    minimizeOwnerToTray_ = value;
}

void TrayIcon::UpdateThread(bool withIcon) {
    if (active_) {
        const bool starting = !thread_;
        if (starting) thread_ = std::make_shared<TrayIconThread>(Window(), shell_);
        thread_->SetAnimation(animated_, animateDelay_);
        if (withIcon || starting) thread_->SetIcon(TrayTip(hint_), iconIndex_, imageList_);
        if (starting) thread_->Start();
        thread_->SetPriority(PlatformPriority(animatePriority_));
    } else if (thread_) {
        thread_->Stop();
        thread_.reset();
    }
}

bool TrayIcon::IconWndProc(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (msg == kTrayIconCallbackMessage) {
        switch (static_cast<UINT>(lParam)) {
            case WM_LBUTTONDOWN:
                IconMouseDown(MouseButton::Left);
                break;
            case WM_LBUTTONUP:
                IconMouseUp(MouseButton::Left);
                break;
            case WM_LBUTTONDBLCLK:
                if (OnDblClick) OnDblClick();
                break;
            case WM_RBUTTONDOWN:
                IconMouseDown(MouseButton::Right);
                break;
            case WM_RBUTTONUP:
                IconMouseUp(MouseButton::Right);
                break;
            case WM_MBUTTONDOWN:
                IconMouseDown(MouseButton::Middle);
                break;
            case WM_MBUTTONUP:
                IconMouseUp(MouseButton::Middle);
                break;
            default:
                break;
        }
        return true;
    }
    if (taskbarCreated_ && msg == taskbarCreated_) {
        if (thread_) thread_->Readd();
        return true;
    }
    return OnMenuMessage && OnMenuMessage(msg, wParam, lParam, result);
}

void TrayIcon::IconMouseDown(MouseButton button) {
    POINT pt{};
    GetCursorPos(&pt);
    if (OnMouseDown) OnMouseDown(button, CurrentShiftState(), pt.x, pt.y);
}

void TrayIcon::IconMouseUp(MouseButton button) {
    POINT pt{};
    GetCursorPos(&pt);
    if (OnMouseUp) OnMouseUp(button, CurrentShiftState(), pt.x, pt.y);
    if (button != MouseButton::Middle && popupMenu_) {
        PopupMenuAt(pt, false);
    } else if (button == MouseButton::Left && minimizeOwnerToTray_) {
        RestoreFromTray();
    }
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
    // Without the foreground the menu would not close when the user clicks elsewhere; the
    // WM_NULL lets it see that click.
    SetForegroundWindow(Window());
    const UINT command = static_cast<UINT>(TrackPopupMenuEx(
        popupMenu_, TPM_RETURNCMD | TPM_RIGHTBUTTON, pt.x, pt.y, Window(), nullptr));
    PostMessageW(Window(), WM_NULL, 0, 0);
    if (owner_ && IsWindow(owner_)) SetForegroundWindow(owner_);
    if (command != 0 && OnMenuCommand) OnMenuCommand(command);
}

// ---- minimising into the tray ---------------------------------------------------------------

void TrayIcon::InstallHook() {
    DWORD pid = 0;
    // Only our own window on this thread can be subclassed.
    const bool ours = owner_ && IsWindow(owner_) &&
                      GetWindowThreadProcessId(owner_, &pid) == GetCurrentThreadId() &&
                      pid == GetCurrentProcessId();
    if (!ours || !SetWindowSubclass(owner_, &TrayIcon::OwnerWndProc, 1,
                                    reinterpret_cast<DWORD_PTR>(this))) {
        throw TrayIconError("Owner must be a form");
    }
    hooked_ = true;
}

void TrayIcon::RemoveHook() {
    if (!hooked_) return;
    if (IsWindow(owner_)) RemoveWindowSubclass(owner_, &TrayIcon::OwnerWndProc, 1);
    hooked_ = false;
}

LRESULT CALLBACK TrayIcon::OwnerWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                          UINT_PTR, DWORD_PTR self) {
    // Only the plain minimise command: one with extra low-order flags goes its usual way.
    if (msg == WM_SYSCOMMAND && wParam == SC_MINIMIZE) {
        Guarded(hwnd, [self] { reinterpret_cast<TrayIcon*>(self)->MinimizeToTray(); });
        return 0;
    }
    if (msg == WM_NCDESTROY) {
        reinterpret_cast<TrayIcon*>(self)->RemoveHook();
    }
    return DefSubclassProc(hwnd, msg, wParam, lParam);
}

RECT GetTrayRect() {
    RECT rect{};
    // Any title: some shells give their taskbar one.
    if (HWND taskbar = FindWindowW(L"Shell_TrayWnd", nullptr)) {
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

void TrayIcon::MinimizeToTray() {
    PlaySoundW(L"Minimize", nullptr, kSoundFlags);
    RECT from{};
    GetWindowRect(owner_, &from);
    const RECT to = GetTrayRect();
    DrawAnimatedRects(owner_, IDANI_CAPTION, &from, &to);
    ShowWindow(owner_, SW_HIDE);
    SetActive(true);
}

void TrayIcon::RestoreFromTray() {
    PlaySoundW(L"RestoreUp", nullptr, kSoundFlags);
    const RECT from = GetTrayRect();
    RECT to{};
    GetWindowRect(owner_, &to);
    DrawAnimatedRects(owner_, IDANI_CAPTION, &from, &to);
    ShowWindow(owner_, SW_SHOW);
    UpdateWindow(owner_);
    SetActive(false);
}

}  // namespace quenvix::win
