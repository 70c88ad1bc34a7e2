#pragma once
// The tray icon's own thread: it adds, refreshes and removes the icon, so that the icon's picture
// keeps up with the image list even while the user interface is busy or modal. Shared by its
// owner (TrayIcon) and the thread itself, so that a thread given up on by Stop still has
// everything it uses.
// clang-format off
#include <windows.h>
#include <mmsystem.h>
// clang-format on
#include <process.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "core/error.h"
#include "win/log.h"
#include "win/shared_image_list.h"
#include "win/tray_icon.h"
#include "win/ui.h"

namespace quenvix::win {

// An add that failed (no taskbar yet) is tried again this often.
inline constexpr ULONGLONG kAddRetryMs = 1000;
inline constexpr int kStillPollMs = 50;
// A still icon sleeps until something changes; it looks again this often all the same, so that
// no wait is without end.
inline constexpr auto kStillRecheck = std::chrono::seconds(60);
// Stopping the thread waits this long for the icon's removal; a shell that hangs longer keeps
// the thread, which the process's exit ends.
inline constexpr DWORD kStopBoundMs = 2000;

// Waits up to `boundMs` for `handle` while still answering messages that other threads send to
// this thread's windows: the icon thread's shell call may be waiting on one of them. True when
// the handle was signalled.
inline bool WaitAnsweringSentMessages(HANDLE handle, DWORD boundMs) {
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

class TrayIconThread : public std::enable_shared_from_this<TrayIconThread> {
  public:
    TrayIconThread(HWND window, ShellNotifyIconFn shell)
        : window_(window), shell_(std::move(shell)) {
        if (!wakeEvent_) throw core::Error("Failed to create the tray icon thread's event");
    }

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

    void SetPictureUpdate(std::function<bool()> update, int intervalMs) {
        Poke([&] {
            pictureUpdate_ = std::move(update);
            pictureUpdateInterval_ = std::chrono::milliseconds(intervalMs);
            pictureUpdateChanged_ = true;
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
        (*self)->ownThreadId_ = GetCurrentThreadId();
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
        // The thread's own changes (a picture update's new picture) need no wake: it looks at
        // the hand-over before it waits again.
        if (GetCurrentThreadId() != ownThreadId_) SetEvent(wakeEvent_.get());
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
        if (pictureUpdateChanged_) {
            // A new update runs at once: the first picture should not wait a whole interval.
            ownPictureUpdate_ = std::move(pictureUpdate_);
            ownPictureUpdateInterval_ = pictureUpdateInterval_;
            nextPictureUpdate_ = std::chrono::steady_clock::now();
            pictureUpdateChanged_ = false;
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
        auto until =
            std::chrono::steady_clock::now() + (added_ ? std::chrono::milliseconds(kStillRecheck)
                                                       : std::chrono::milliseconds(kAddRetryMs));
        if (ownPictureUpdate_) until = std::min(until, nextPictureUpdate_);
        WaitUntil(lock, until, [this] {
            return terminated_ || readd_ || changed_ || poked_ || imageChanged_ ||
                   pictureUpdateChanged_;
        });
        return !terminated_;
    }

    // Waits, with `lock` let go meanwhile, until `ready` holds or `until` has come. A kernel
    // event rather than a condition variable: under Wine the gauge's tick then costs the thread
    // one wait on the server instead of several.
    template <class Ready>
    void WaitUntil(std::unique_lock<std::mutex>& lock, std::chrono::steady_clock::time_point until,
                   Ready ready) {
        while (!ready()) {
            const auto now = std::chrono::steady_clock::now();
            if (now >= until) return;
            // Rounded up, so a wait never ends just short of its time and spins.
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(until - now).count() + 1;
            lock.unlock();
            // A poke between the look at `ready` and this wait leaves the event set.
            WaitForSingleObject(wakeEvent_.get(), static_cast<DWORD>(left));
            lock.lock();
        }
    }

    // Runs the picture update when it is due. What it changes in the list reaches the shell in
    // the same pass, as any other new picture does.
    void UpdatePictureIfDue() {
        if (!ownPictureUpdate_ || std::chrono::steady_clock::now() < nextPictureUpdate_) return;
        bool goOn = true;
        try {
            goOn = ownPictureUpdate_();
            pictureUpdateFailing_ = false;
        } catch (const std::exception& e) {
            // Traced when it starts failing, not at every run after that.
            if (!pictureUpdateFailing_) Log(std::string("Tray picture update: ") + e.what());
            pictureUpdateFailing_ = true;
        } catch (...) {
            if (!pictureUpdateFailing_) Log("Tray picture update: unknown error");
            pictureUpdateFailing_ = true;
        }
        if (!goOn) ownPictureUpdate_ = nullptr;
        nextPictureUpdate_ = std::chrono::steady_clock::now() + ownPictureUpdateInterval_;
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
            WaitUntil(lock, std::chrono::steady_clock::now() + std::chrono::milliseconds(delay),
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
        if (list_) icon_ = list_->Icon(index, &generation);
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
            UpdatePictureIfDue();
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
        ownPictureUpdate_ = nullptr;
    }

    // Hand-over from the user-interface thread, under mutex_.
    std::mutex mutex_;
    // Set at every change of the hand-over; resets itself when the thread's wait takes it.
    UniqueHandle wakeEvent_{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    std::atomic<DWORD> ownThreadId_{0};
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
    std::function<bool()> pictureUpdate_;
    std::chrono::milliseconds pictureUpdateInterval_{0};
    bool pictureUpdateChanged_ = false;

    const HWND window_;
    const ShellNotifyIconFn shell_;
    UniqueHandle thread_;

    // The thread's own state.
    NOTIFYICONDATAW nid_{};
    bool shellRefusing_ = false;
    // Held while the shell shows it: the list may drop it meanwhile.
    SharedIcon icon_;
    std::shared_ptr<SharedImageList> list_;
    int watchTicket_ = 0;
    bool added_ = false;
    ULONGLONG lastAdd_ = 0;
    bool shownValid_ = false;
    const SharedImageList* shownList_ = nullptr;
    int shownIndex_ = 0;
    std::uint64_t shownGeneration_ = 0;
    std::function<bool()> ownPictureUpdate_;
    std::chrono::milliseconds ownPictureUpdateInterval_{0};
    std::chrono::steady_clock::time_point nextPictureUpdate_;
    bool pictureUpdateFailing_ = false;
};

}  // namespace quenvix::win
