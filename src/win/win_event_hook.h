#pragma once
// Other programs' windows as they come and go, for the rules: an out-of-context WinEvent hook
// that hears of top-level windows being created, shown and minimised, and the readers of the
// facts the rules look at in a window (which Win32Desktop answers with). Out of context, the system
// queues the events to the thread that set the hook, which takes them as it takes its messages:
// nothing is injected into the other programs, and the handler runs on our UI thread.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>

#include "core/ports/window_events.h"
#include "core/rules.h"

namespace quenvix::win {

struct WinEventHookDeleter {
    void operator()(HWINEVENTHOOK hook) const noexcept {
        if (hook) UnhookWinEvent(hook);
    }
};
using UniqueWinEventHook =
    std::unique_ptr<std::remove_pointer_t<HWINEVENTHOOK>, WinEventHookDeleter>;

class WinEventHook {
  public:
    // EVENT_OBJECT_CREATE, EVENT_OBJECT_DESTROY, EVENT_OBJECT_SHOW, EVENT_SYSTEM_MINIMIZESTART
    // and EVENT_OBJECT_NAMECHANGE, as the rules name them.
    using Handler = std::function<void(core::RuleEvent event, HWND window)>;

    // Hooks the events for the calling thread, which must take its messages; caption changes
    // only when asked for (every program's every caption change comes to us then). Each hook the
    // system refuses is logged; the rest still works.
    WinEventHook(Handler handler, bool captionChanges);
    ~WinEventHook();
    WinEventHook(const WinEventHook&) = delete;
    WinEventHook& operator=(const WinEventHook&) = delete;

    // Whether the system took both hooks.
    bool Installed() const { return createShowHook_ && minimizeHook_; }

    // The function the system calls. It passes on events of other programs' top-level windows
    // only, from a hook of this thread that still lives. Some systems never send some of the
    // events; a test hands them in here with the hook the system would have named.
    static void CALLBACK OnEvent(HWINEVENTHOOK hook, DWORD event, HWND window, LONG idObject,
                                 LONG idChild, DWORD eventThread, DWORD eventTime) noexcept;
    HWINEVENTHOOK CreateShowHook() const { return createShowHook_.get(); }
    HWINEVENTHOOK MinimizeHook() const { return minimizeHook_.get(); }
    HWINEVENTHOOK CaptionHook() const { return captionHook_.get(); }
    bool HearsCaptionChanges() const { return hearsCaptionChanges_; }

  private:
    void Register(HWINEVENTHOOK hook);

    Handler handler_;
    UniqueWinEventHook createShowHook_;
    UniqueWinEventHook minimizeHook_;
    UniqueWinEventHook captionHook_;
    bool hearsCaptionChanges_ = false;
};

// What the rules look at in a window. The caption is
// read only when asked for (a window just created is often still busy and has none yet): asked
// with a short time-out and never waiting on a hung window, else the text the system keeps for
// the window; at most the characters the rules look at.
core::WindowFacts ReadWindowFacts(HWND window, bool withCaption);

// The file name of the executable of the window's process ("notepad.exe"); empty when the
// process cannot be asked (it ended, or runs at a level we may not query).
std::string ExecutableOf(HWND window);

// Whether a minimised window goes back to maximised when restored: the state it had before it
// was minimised, which is the state to bring it back in.
bool RestoresToMaximized(HWND window);

// The events, for the rules, from a WinEventHook of the UI thread made while they are followed.
class Win32WindowEvents final : public core::WindowEvents {
  public:
    void Follow(Handler handler, bool captionChanges) override;
    void Stop() override { hook_.reset(); }
    bool Following() const override { return hook_ != nullptr; }
    bool FollowsCaptionChanges() const override { return hook_ && hook_->HearsCaptionChanges(); }

  private:
    std::unique_ptr<WinEventHook> hook_;
};

}  // namespace quenvix::win
