#include "win/tray_icon_thread.h"

#include <process.h>

#include <algorithm>
#include <exception>
#include <iterator>
#include <thread>
#include <utility>

#include "core/error.h"
#include "win/log.h"

namespace quenvix::win {

namespace {

// An add that failed (no taskbar yet) is tried again this often.
constexpr ULONGLONG kAddRetryMs = 1000;
constexpr int kStillPollMs = 50;
// A still icon sleeps until something changes; it looks again this often all the same, so that
// no wait is without end.
constexpr auto kStillRecheck = std::chrono::seconds(60);
// Stopping the thread waits this long for the icon's removal; a shell that hangs longer keeps
// the thread, which the process's exit ends.
constexpr DWORD kStopBoundMs = 2000;

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

// As much of `text` as the shell's field takes, never half a character.
template <std::size_t N>
void CopyField(const std::wstring& text, wchar_t (&field)[N]) {
    std::size_t length = std::min(text.size(), N - 1);
    if (length < text.size() && length > 0 && IS_HIGH_SURROGATE(text[length - 1])) --length;
    text.copy(field, length);
    field[length] = L'\0';
}

}  // namespace

// ---- the other threads' side ------------------------------------------------------------------

TrayIconThread::TrayIconThread(HWND window, ShellNotifyIconFn shell)
    : window_(window), shell_(std::move(shell)) {
    if (!wakeEvent_) throw core::Error("Failed to create the tray icon thread's event");
}

void TrayIconThread::Start() {
    auto keep = std::make_unique<std::shared_ptr<TrayIconThread>>(shared_from_this());
    const uintptr_t h = _beginthreadex(nullptr, 0, &TrayIconThread::Run, keep.get(), 0, nullptr);
    if (!h) throw core::Error("Failed to start the tray icon thread");
    keep.release();  // the thread's own reference now
    thread_.reset(reinterpret_cast<HANDLE>(h));
}

void TrayIconThread::Stop() {
    Poke([](Shared& s) { s.terminated = true; });
    if (thread_) WaitAnsweringSentMessages(thread_.get(), kStopBoundMs);
}

void TrayIconThread::SetAnimation(bool animated, int delay) {
    Poke([&](Shared& s) {
        s.animated = animated;
        s.delay = animated ? std::max(delay, 0) : kStillPollMs;
        s.poked = true;
    });
}

void TrayIconThread::SetIcon(std::wstring tip, int iconIndex,
                             std::shared_ptr<SharedImageList> imageList) {
    Poke([&](Shared& s) {
        s.tip = std::move(tip);
        s.iconIndex = iconIndex;
        s.imageList = std::move(imageList);
        s.changed = true;
    });
}

void TrayIconThread::SetPictureUpdate(std::function<bool()> update, int intervalMs) {
    Poke([&](Shared& s) {
        s.pictureUpdate = std::move(update);
        s.pictureUpdateInterval = std::chrono::milliseconds(intervalMs);
        s.pictureUpdateChanged = true;
    });
}

void TrayIconThread::Readd() {
    Poke([](Shared& s) { s.readd = true; });
}

void TrayIconThread::ShowBalloon(std::wstring title, std::wstring text, bool warning) {
    Poke([&](Shared& s) {
        s.balloons.push_back(Balloon{std::move(title), std::move(text), warning});
    });
}

void TrayIconThread::FocusIcon() {
    Poke([](Shared& s) { s.focusIcon = true; });
}

void TrayIconThread::Wake() {
    // The thread's own changes (a picture update's new picture) need no wake: it looks at the
    // hand-over before it waits again.
    if (GetCurrentThreadId() != ownThreadId_) SetEvent(wakeEvent_.get());
}

// ---- the thread ---------------------------------------------------------------------------

unsigned __stdcall TrayIconThread::Run(void* keep) {
    const std::unique_ptr<std::shared_ptr<TrayIconThread>> self(
        static_cast<std::shared_ptr<TrayIconThread>*>(keep));
    (*self)->ownThreadId_ = GetCurrentThreadId();
    Guarded(nullptr, [&] { (*self)->Execute(); });
    return 0;
}

void TrayIconThread::Execute() {
    NOTIFYICONDATAW& nid = own_.nid;
    nid.cbSize = sizeof(nid);
    nid.hWnd = window_;
    nid.uID = kTrayIconId;
    nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    nid.uCallbackMessage = kTrayIconCallbackMessage;
    Add();
    int frame = 0;
    bool tipPending = false;
    for (;;) {
        UpdatePictureIfDue();
        Pass pass = TakeState();
        if (pass.terminated) break;
        if (pass.changed) {
            std::fill(std::begin(nid.szTip), std::end(nid.szTip), L'\0');
            std::copy(pass.tip.begin(), pass.tip.end(), nid.szTip);
            UseList(std::move(pass.imageList));
            tipPending = true;
            if (!pass.animated) {
                ShowImage(pass.iconIndex, true);
                tipPending = false;
            }
        }
        const int count = own_.list ? own_.list->Count() : 0;
        if (pass.animated) {
            ShowImage(frame, tipPending);
            tipPending = false;
            if (++frame >= count) frame = 0;
        } else if (own_.shownValid) {
            // The image shown may have a new picture.
            ShowImage(own_.shownIndex, false);
        }
        if (pass.readd || (!own_.added && GetTickCount64() - own_.lastAdd >= kAddRetryMs)) Add();
        TellWaiting();
        // Only an animation of several pictures needs the clock; a single picture (the gauge)
        // is handed on when it changes, and the thread sleeps in between.
        const bool goOn = pass.animated && count > 1 ? Pause(pass.delay) : WaitForChange();
        if (!goOn) break;
    }
    UseList(nullptr);
    Shell(NIM_DELETE);
    nid.hIcon = nullptr;
    own_.icon.reset();
    own_.pictureUpdate = nullptr;
}

TrayIconThread::Pass TrayIconThread::TakeState() {
    std::lock_guard lock(mutex_);
    Shared& s = shared_;
    Pass pass{s.changed, s.animated, s.readd, s.terminated, s.delay, s.iconIndex, {}, {}};
    if (s.changed) {
        pass.tip = s.tip;
        pass.imageList = s.imageList;
    }
    if (s.pictureUpdateChanged) {
        // A new update runs at once: the first picture should not wait a whole interval.
        own_.pictureUpdate = std::move(s.pictureUpdate);
        own_.pictureUpdateInterval = s.pictureUpdateInterval;
        own_.nextPictureUpdate = std::chrono::steady_clock::now();
        s.pictureUpdateChanged = false;
    }
    s.changed = s.readd = s.poked = s.imageChanged = false;
    for (Balloon& balloon : s.balloons) own_.balloons.push_back(std::move(balloon));
    s.balloons.clear();
    own_.focusIcon = own_.focusIcon || std::exchange(s.focusIcon, false);
    return pass;
}

bool TrayIconThread::Woken(bool anyChange) const {
    const Shared& s = shared_;
    if (s.terminated || s.readd || !s.balloons.empty() || s.focusIcon) return true;
    return anyChange && (s.changed || s.poked || s.imageChanged || s.pictureUpdateChanged);
}

// Until something new arrives: settings, a picture, a re-add, the end; or, while the icon has
// not been added yet, the next try. True to go on.
bool TrayIconThread::WaitForChange() {
    std::unique_lock lock(mutex_);
    auto until =
        std::chrono::steady_clock::now() + (own_.added ? std::chrono::milliseconds(kStillRecheck)
                                                       : std::chrono::milliseconds(kAddRetryMs));
    if (own_.pictureUpdate) until = std::min(until, own_.nextPictureUpdate);
    WaitUntil(lock, until, true);
    return !shared_.terminated;
}

// Pauses for `delay` ms, or less when asked to stop or to re-add; true to go on.
bool TrayIconThread::Pause(int delay) {
    std::unique_lock lock(mutex_);
    if (delay == 0) {
        lock.unlock();
        std::this_thread::yield();
        lock.lock();
    } else {
        WaitUntil(lock, std::chrono::steady_clock::now() + std::chrono::milliseconds(delay), false);
    }
    return !shared_.terminated;
}

// Waits, with `lock` let go meanwhile, until woken or `until` has come. A kernel event rather
// than a condition variable: under Wine the gauge's tick then costs the thread one wait on the
// server instead of several.
void TrayIconThread::WaitUntil(std::unique_lock<std::mutex>& lock,
                               std::chrono::steady_clock::time_point until, bool anyChange) {
    while (!Woken(anyChange)) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= until) return;
        // Rounded up, so a wait never ends just short of its time and spins.
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - now).count() + 1;
        lock.unlock();
        // A poke between the look at the flags and this wait leaves the event set.
        WaitForSingleObject(wakeEvent_.get(), static_cast<DWORD>(left));
        lock.lock();
    }
}

// Runs the picture update when it is due. What it changes in the list reaches the shell in the
// same pass, as any other new picture does.
void TrayIconThread::UpdatePictureIfDue() {
    if (!own_.pictureUpdate || std::chrono::steady_clock::now() < own_.nextPictureUpdate) return;
    bool goOn = true;
    std::string failure;
    try {
        goOn = own_.pictureUpdate();
    } catch (const std::exception& e) {
        failure = e.what();
    } catch (...) {
        failure = "unknown error";
    }
    // Traced when it starts failing, not at every run after that.
    if (!failure.empty() && !own_.pictureUpdateFailing) Log("Tray picture update: " + failure);
    own_.pictureUpdateFailing = !failure.empty();
    if (!goOn) own_.pictureUpdate = nullptr;
    own_.nextPictureUpdate = std::chrono::steady_clock::now() + own_.pictureUpdateInterval;
}

// Takes the icon's pictures from `list` from now on, and hears of each new one.
void TrayIconThread::UseList(std::shared_ptr<SharedImageList> list) {
    if (list == own_.list) return;
    if (own_.list) own_.list->Unwatch(own_.watchTicket);
    own_.list = std::move(list);
    if (own_.list) {
        own_.watchTicket =
            own_.list->Watch([this] { Poke([](Shared& s) { s.imageChanged = true; }); });
    }
}

bool TrayIconThread::Shell(DWORD message) {
    const bool done = shell_(message, &own_.nid) != FALSE;
    // Traced when the shell starts refusing, not at every animation frame after that.
    if (!done && !own_.shellRefusing) {
        LogLastError("Shell_NotifyIconW (message " + std::to_string(message) + ")");
    }
    own_.shellRefusing = !done;
    return done;
}

void TrayIconThread::Add() {
    own_.lastAdd = GetTickCount64();
    // An add of an icon that is still there fails; the icon is then simply refreshed.
    own_.added = Shell(NIM_ADD) || Shell(NIM_MODIFY);
    // From this version on the shell tells a keyboard selection (NIN_KEYSELECT, WM_CONTEXTMENU)
    // from a click, and NIM_SETFOCUS is understood; the callback's lParam stays the mouse
    // message ("Shell_NotifyIcon", learn.microsoft.com/windows/win32/api/shellapi).
    own_.nid.uVersion = NOTIFYICON_VERSION;
    if (own_.added) Shell(NIM_SETVERSION);
}

// What waited for the icon to be in: the balloons, one call each, and the focus.
void TrayIconThread::TellWaiting() {
    if (!own_.added) return;
    for (const Balloon& balloon : own_.balloons) {
        // A copy: NIF_INFO left in the icon's own data would show the balloon again at every
        // change of the picture.
        NOTIFYICONDATAW info = own_.nid;
        info.uFlags = NIF_INFO;
        CopyField(balloon.text, info.szInfo);
        CopyField(balloon.title, info.szInfoTitle);
        info.dwInfoFlags = balloon.warning ? NIIF_WARNING : NIIF_INFO;
        if (!shell_(NIM_MODIFY, &info)) LogLastError("Shell_NotifyIconW (balloon)");
    }
    own_.balloons.clear();
    if (std::exchange(own_.focusIcon, false) && !shell_(NIM_SETFOCUS, &own_.nid)) {
        LogLastError("Shell_NotifyIconW (focus)");
    }
}

// Makes the icon of image `index` and hands it to the shell, unless the shell already shows
// exactly that picture (a still gauge then costs no shell call at all).
void TrayIconThread::ShowImage(int index, bool force) {
    const SharedImageList* list = own_.list.get();
    std::uint64_t generation = list ? list->Generation() : 0;
    if (!force && own_.shownValid && own_.shownList == list && own_.shownIndex == index &&
        own_.shownGeneration == generation) {
        return;
    }
    own_.icon.reset();
    if (list) own_.icon = list->Icon(index, &generation);
    own_.nid.hIcon = own_.icon.get();
    own_.shownValid = true;
    own_.shownList = list;
    own_.shownIndex = index;
    own_.shownGeneration = generation;
    if (own_.added) Shell(NIM_MODIFY);
}

}  // namespace quenvix::win
