#pragma once
// What the tray icon's tests share: a recording stand-in for the shell, which keeps its own notion
// of whether the icon is present as the real one does, image lists of gauge pictures, and the
// shell's callbacks delivered the ways they can arrive.
// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/cpu_gauge.h"
#include "icon_pixels.h"
#include "win/cpu_gauge_view.h"
#include "win/desktop.h"
#include "win/foreground.h"
#include "win/shared_image_list.h"
#include "win/tray_icon.h"
#include "win/ui.h"

namespace quenvix::win::tray_test {

using namespace std::chrono_literals;
using quenvix::test::IconPixels;
using quenvix::test::ReadIcon;

// The real desktop and foreground, which an icon's menu asks where the keyboard was.
inline Win32Desktop desktop;
inline Win32Foreground foreground;

struct ShellCall {
    DWORD message;
    BOOL result;
    NOTIFYICONDATAW data;
    IconPixels icon;  // what the icon showed at the time of the call
};

class RecordingShell {
  public:
    // Adds fail while `refuseAdds` is above 0 (no taskbar yet).
    int refuseAdds = 0;
    // Pass calls on to the system's shell instead of simulating one.
    bool real = false;

    ShellNotifyIconFn Fn() {
        return [this](DWORD message, NOTIFYICONDATAW* data) { return Call(message, data); };
    }

    std::vector<ShellCall> Calls() {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    std::size_t Count(DWORD message) {
        std::lock_guard lock(mutex_);
        return static_cast<std::size_t>(
            std::count_if(calls_.begin(), calls_.end(),
                          [&](const ShellCall& c) { return c.message == message; }));
    }
    // The shell lost its icons (it restarted).
    void Forget() {
        std::lock_guard lock(mutex_);
        present_ = false;
    }
    bool Present() {
        std::lock_guard lock(mutex_);
        return present_;
    }
    // Waits (up to a generous bound) until `done` holds for the calls so far.
    bool WaitFor(const std::function<bool(const std::vector<ShellCall>&)>& done,
                 std::chrono::milliseconds bound = 10s) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, bound, [&] { return done(calls_); });
    }
    bool WaitForCount(DWORD message, std::size_t n) {
        return WaitFor([&](const std::vector<ShellCall>& calls) {
            return static_cast<std::size_t>(std::count_if(calls.begin(), calls.end(), [&](auto& c) {
                       return c.message == message;
                   })) >= n;
        });
    }

  private:
    BOOL Call(DWORD message, NOTIFYICONDATAW* data) {
        IconPixels pixels = ReadIcon(data->hIcon);
        std::lock_guard lock(mutex_);
        BOOL result = FALSE;
        if (real) {
            result = Shell_NotifyIconW(message, data);
        } else if (message == NIM_ADD) {
            if (refuseAdds > 0) {
                --refuseAdds;
            } else if (!present_) {
                present_ = true;
                result = TRUE;
            }
        } else if (message == NIM_MODIFY || message == NIM_SETVERSION || message == NIM_SETFOCUS) {
            result = present_;
        } else if (message == NIM_DELETE) {
            result = present_;
            present_ = false;
        }
        calls_.push_back(ShellCall{message, result, *data, std::move(pixels)});
        changed_.notify_all();
        return result;
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<ShellCall> calls_;
    bool present_ = false;
};

inline std::wstring Tip(const ShellCall& call) {
    return call.data.szTip;
}

// An image list of one picture per load.
inline std::shared_ptr<SharedImageList> ListOf(std::initializer_list<double> loads) {
    auto list = std::make_shared<SharedImageList>(16, 16);
    for (double load : loads) {
        const PictureBitmaps bitmaps = MakePictureBitmaps(core::DrawCPUGauge(load), 16);
        list->Add(MakeSharedIcon(bitmaps.image.get(), bitmaps.mask.get()));
    }
    return list;
}

inline void ReplaceImage0(SharedImageList& list, double load) {
    const PictureBitmaps bitmaps = MakePictureBitmaps(core::DrawCPUGauge(load), 16);
    ASSERT_TRUE(list.Replace(0, MakeSharedIcon(bitmaps.image.get(), bitmaps.mask.get())));
}

inline void PumpFor(std::chrono::milliseconds span) {
    const auto end = std::chrono::steady_clock::now() + span;
    while (std::chrono::steady_clock::now() < end) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        Sleep(10);
    }
}

// How the callback reaches the icon's window. The shell sends it from its own process with
// SendNotifyMessage; a SendMessage from another thread runs the window procedure inside that
// thread's message just the same; a posted one comes from the message loop.
enum class Delivery { NotifiedFromAnotherThread, SentFromAnotherThread, Posted };

inline void DeliverCallback(HWND window, UINT mouseMessage, Delivery how) {
    if (how == Delivery::Posted) {
        PostMessageW(window, kTrayIconCallbackMessage, kTrayIconId, mouseMessage);
        return;
    }
    std::atomic<bool> finished = false;
    std::thread sender([&] {
        if (how == Delivery::NotifiedFromAnotherThread) {
            SendNotifyMessageW(window, kTrayIconCallbackMessage, kTrayIconId, mouseMessage);
        } else {
            DWORD_PTR result = 0;
            SendMessageTimeoutW(window, kTrayIconCallbackMessage, kTrayIconId, mouseMessage,
                                SMTO_NORMAL, 5000, &result);
        }
        finished = true;
    });
    // The receiving thread keeps taking messages while the sender waits for it.
    while (!finished) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        Sleep(1);
    }
    sender.join();
}

// Records what a click on the icon raises, in order: "dblclick", "popup" (the menu closes itself
// as soon as it is open), "command N". Restores the double-click time a test changed.
class ClickRecorder {
  public:
    std::vector<std::string> events;
    UniqueMenu menu{CreatePopupMenu()};

    explicit ClickRecorder(TrayIcon& icon) : icon_(icon) {
        AppendMenuW(menu.get(), MF_STRING, 42, L"First");
        AppendMenuW(menu.get(), MF_STRING, 43, L"Second");
        icon.OnDblClick = [this] { events.push_back("dblclick"); };
        icon.OnPopup = [this] {
            events.push_back("popup");
            // Close the menu as soon as it is open; the timer runs inside its loop.
            SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR id, DWORD) {
                KillTimer(nullptr, id);
                EndMenu();
            });
        };
        icon.OnMenuCommand = [this](UINT id) { events.push_back("command " + std::to_string(id)); };
    }
    ~ClickRecorder() { SetDoubleClickTime(savedDoubleClickTime_); }
    ClickRecorder(const ClickRecorder&) = delete;
    ClickRecorder& operator=(const ClickRecorder&) = delete;

    void Deliver(std::initializer_list<UINT> mouseMessages,
                 Delivery how = Delivery::NotifiedFromAnotherThread) {
        for (UINT m : mouseMessages) DeliverCallback(icon_.Window(), m, how);
    }
    // Takes messages until `n` events have been raised (or a generous bound has passed).
    bool PumpUntilEvents(std::size_t n) {
        const auto end = std::chrono::steady_clock::now() + 10s;
        while (events.size() < n && std::chrono::steady_clock::now() < end) PumpFor(10ms);
        return events.size() >= n;
    }
    std::size_t Count(const std::string& event) const {
        return static_cast<std::size_t>(std::count(events.begin(), events.end(), event));
    }

  private:
    TrayIcon& icon_;
    UINT savedDoubleClickTime_ = GetDoubleClickTime();
};

}  // namespace quenvix::win::tray_test
