#pragma once
// The tray icon's own thread: it adds, refreshes and removes the icon, so that the icon's picture
// keeps up with the image list even while the user interface is busy or modal. Shared by its
// owner (TrayIcon) and the thread itself, so that a thread given up on by Stop still has
// everything it uses.
// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "win/shared_image_list.h"
#include "win/tray_icon.h"
#include "win/ui.h"

namespace quenvix::win {

class TrayIconThread : public std::enable_shared_from_this<TrayIconThread> {
  public:
    TrayIconThread(HWND window, ShellNotifyIconFn shell);

    // Separate from construction so that the first pass already sees the settings.
    void Start();
    // Ends the thread, which removes the icon. Gives up after a bound: a shell that does not
    // answer must not hang the program.
    void Stop();
    HANDLE Handle() const noexcept { return thread_.get(); }

    void SetAnimation(bool animated, int delay);
    void SetIcon(std::wstring tip, int iconIndex, std::shared_ptr<SharedImageList> imageList);
    void SetPictureUpdate(std::function<bool()> update, int intervalMs);
    // The shell came back (or was never there): put the icon in again.
    void Readd();
    // A balloon from the icon with `title` and `text` (a warning's sign with `warning`), shown
    // once the icon is in; a later one replaces it on the screen.
    void ShowBalloon(std::wstring title, std::wstring text, bool warning);
    // Hands the keyboard focus back to the notification area, on the icon (after its menu was
    // closed from the keyboard).
    void FocusIcon();

    struct Balloon {
        std::wstring title;
        std::wstring text;
        bool warning = false;
    };

  private:
    // What the other threads hand over: touched only under mutex_. Each change sets a flag the
    // thread's wait looks at.
    struct Shared {
        bool animated = false;
        int delay = 0;  // always set before the start
        std::wstring tip;
        int iconIndex = 0;
        std::shared_ptr<SharedImageList> imageList;
        std::function<bool()> pictureUpdate;
        std::chrono::milliseconds pictureUpdateInterval{0};
        bool changed = false;  // tip, index or list
        bool pictureUpdateChanged = false;
        bool imageChanged = false;  // a new picture in the list
        bool poked = false;         // the animation's settings
        bool readd = false;
        bool terminated = false;
        std::vector<Balloon> balloons;
        bool focusIcon = false;
    };

    // The thread's own: nobody else touches it.
    struct Own {
        NOTIFYICONDATAW nid{};
        bool added = false;
        ULONGLONG lastAdd = 0;
        bool shellRefusing = false;
        // Held while the shell shows it: the list may drop it meanwhile.
        SharedIcon icon;
        std::shared_ptr<SharedImageList> list;
        int watchTicket = 0;
        // The picture the shell has, so that an unchanged one costs no call.
        bool shownValid = false;
        const SharedImageList* shownList = nullptr;
        int shownIndex = 0;
        std::uint64_t shownGeneration = 0;
        std::function<bool()> pictureUpdate;
        std::chrono::milliseconds pictureUpdateInterval{0};
        std::chrono::steady_clock::time_point nextPictureUpdate;
        bool pictureUpdateFailing = false;
        // Balloons and a focus request waiting for the icon to be in.
        std::vector<Balloon> balloons;
        bool focusIcon = false;
    };

    // One pass's copy of the hand-over.
    struct Pass {
        bool changed, animated, readd, terminated;
        int delay, iconIndex;
        std::wstring tip;
        std::shared_ptr<SharedImageList> imageList;
    };

    static unsigned __stdcall Run(void* keep);
    void Execute();
    // Changes the hand-over under the lock and wakes the thread.
    template <class Change>
    void Poke(Change&& change) {
        {
            std::lock_guard lock(mutex_);
            change(shared_);
        }
        Wake();
    }
    void Wake();
    Pass TakeState();
    bool WaitForChange();
    bool Pause(int delay);
    // True when the thread has something to do: with `anyChange`, any new hand-over; else only
    // the end or a re-add.
    bool Woken(bool anyChange) const;
    void WaitUntil(std::unique_lock<std::mutex>& lock, std::chrono::steady_clock::time_point until,
                   bool anyChange);
    void UpdatePictureIfDue();
    void UseList(std::shared_ptr<SharedImageList> list);
    bool Shell(DWORD message);
    void Add();
    void ShowImage(int index, bool force);
    void TellWaiting();

    // Fixed before the thread starts (the handle is the owner's alone), or safe without the lock.
    const HWND window_;
    const ShellNotifyIconFn shell_;
    UniqueHandle thread_;
    std::atomic<DWORD> ownThreadId_{0};
    // Set at every change of the hand-over; resets itself when the thread's wait takes it.
    UniqueHandle wakeEvent_{CreateEventW(nullptr, FALSE, FALSE, nullptr)};

    std::mutex mutex_;
    Shared shared_;  // under mutex_
    Own own_;        // the thread's alone
};

}  // namespace quenvix::win
