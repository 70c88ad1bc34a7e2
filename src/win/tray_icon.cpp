#include "win/tray_icon.h"

#include "win/taskbar.h"
#include "win/tray_icon_thread.h"

// clang-format off
#include <windows.h>
#include <commctrl.h>
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
        if (starting) {
            thread_->SetPictureUpdate(RunningPictureUpdate(), pictureUpdateMs_);
            thread_->Start();
        }
        thread_->SetPriority(PlatformPriority(animatePriority_));
    } else if (thread_) {
        thread_->Stop();
        thread_.reset();
    }
}

// ---- minimising into the tray ---------------------------------------------------------------

void TrayIcon::InstallHook() {
    DWORD pid = 0;
    // Only our own window on this thread can be subclassed.
    const bool ours = owner_ && IsWindow(owner_) &&
                      GetWindowThreadProcessId(owner_, &pid) == GetCurrentThreadId() &&
                      pid == GetCurrentProcessId();
    if (!ours ||
        !SetWindowSubclass(owner_, &TrayIcon::OwnerWndProc, 1, reinterpret_cast<DWORD_PTR>(this))) {
        throw TrayIconError("Owner must be a form");
    }
    hooked_ = true;
}

void TrayIcon::RemoveHook() {
    if (!hooked_) return;
    if (IsWindow(owner_)) RemoveWindowSubclass(owner_, &TrayIcon::OwnerWndProc, 1);
    hooked_ = false;
}

LRESULT CALLBACK TrayIcon::OwnerWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                        DWORD_PTR self) {
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

void TrayIcon::MinimizeToTray() {
    PlaySoundW(L"Minimize", nullptr, kSoundFlags);
    RECT from{};
    GetWindowRect(owner_, &from);
    AnimateCaption(owner_, from, false);
    ShowWindow(owner_, SW_HIDE);
    SetActive(true);
}

void TrayIcon::RestoreFromTray() {
    PlaySoundW(L"RestoreUp", nullptr, kSoundFlags);
    RECT to{};
    GetWindowRect(owner_, &to);
    AnimateCaption(owner_, to, true);
    ShowWindow(owner_, SW_SHOW);
    UpdateWindow(owner_);
    SetActive(false);
}

}  // namespace quenvix::win
