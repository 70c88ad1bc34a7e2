#pragma once
// The foreground as Windows rules it, over a scripted desktop: a process may set the foreground
// or pass the right on only while it is the foreground process, received the last input event,
// or was passed the right by one that held it; and nobody may while a menu is active.
// https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-setforegroundwindow
// https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-allowsetforegroundwindow
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

    // The user typed or clicked into a window of `processId`: that process holds the right,
    // and every right passed on before is void.
    void UserInput(std::uint32_t processId, core::WindowId foreground) {
        lastInput_ = processId;
        allowed_.clear();
        desktop_.SetForeground(foreground);
    }
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
