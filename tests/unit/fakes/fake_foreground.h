#pragma once
// The foreground as Windows rules it, over a scripted desktop: a process may set the foreground
// or pass the right on only while it is the foreground process, received the last input event,
// or was passed the right by one that held it; and nobody may while a menu is active. What counts
// as "received the last input event" is what the system delivered to the process: the keys and
// clicks of its own windows, and the WM_HOTKEY of a hotkey it registered. A key that the process
// only saw through raw input (RIDEV_INPUTSINK: input "while the application is not in the
// foreground") went to the foreground window's process, which keeps the right.
// https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-setforegroundwindow
// https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-allowsetforegroundwindow
// https://learn.microsoft.com/windows/win32/api/winuser/ns-winuser-rawinputdevice
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "core/ports/foreground.h"
#include "fakes/fake_desktop.h"

namespace quenvix::test {

class FakeForeground : public core::Foreground {
  public:
    explicit FakeForeground(FakeDesktop& desktop) : desktop_(desktop) {}

    // The user typed or clicked into `window`, which is in the foreground now: its process
    // received the input, and every right passed on before is void.
    void UserInput(core::WindowId window) {
        desktop_.SetForeground(window);
        Delivered(ProcessOf(window));
    }
    // A key pressed while the foreground window has the keyboard, which another process also
    // saw through raw input: the key went to the foreground window's process all the same.
    void KeySeenThroughRawInput(std::uint32_t) { Delivered(ProcessOf(Current())); }
    // The system delivered a registered hotkey's WM_HOTKEY to `processId`: that message was the
    // last input event, and it was the process's.
    void HotkeyDelivered(std::uint32_t processId) { Delivered(processId); }
    // A click on the process's notification-area icon: the shell took the input and passes its
    // right on to the icon's process.
    void IconClicked(std::uint32_t processId) {
        Delivered(kShellPid);
        allowed_.insert(processId);
    }
    static constexpr std::uint32_t kShellPid = 4;

    void SetMenuActive(bool active) { menuActive_ = active; }
    // The window's own program activates it (as it does when told to show it).
    bool ActivateFrom(core::WindowId window) {
        if (!MaySet(ProcessOf(window))) return false;
        desktop_.SetForeground(window);
        return true;
    }
    // "Allow <pid>", "Set <window>", each with "refused" when it was.
    std::vector<std::string> calls;

    core::WindowId Current() override { return desktop_.ForegroundWindow(); }
    bool Allow(std::uint32_t processId) override {
        const bool ok = MaySet(FakeDesktop::kOwnPid);
        if (ok) allowed_.insert(processId);
        calls.push_back("Allow " + std::to_string(processId) + (ok ? "" : " refused"));
        return ok;
    }
    bool Set(core::WindowId window) override {
        const bool ok = MaySet(FakeDesktop::kOwnPid) && desktop_.Exists(window);
        if (ok) desktop_.SetForeground(window);
        calls.push_back("Set " + std::to_string(window) + (ok ? "" : " refused"));
        return ok;
    }

  private:
    void Delivered(std::uint32_t processId) {
        lastInput_ = processId;
        allowed_.clear();
    }
    std::uint32_t ProcessOf(core::WindowId window) { return desktop_.Origin(window).processId; }
    bool MaySet(std::uint32_t processId) {
        if (menuActive_) return false;
        const core::WindowId foreground = desktop_.ForegroundWindow();
        return foreground == core::kNoWindow || ProcessOf(foreground) == processId ||
               lastInput_ == processId || allowed_.contains(processId);
    }

    FakeDesktop& desktop_;
    std::uint32_t lastInput_ = 0;
    std::set<std::uint32_t> allowed_;
    bool menuActive_ = false;
};

}  // namespace quenvix::test
