#pragma once
// A scripted desktop: windows with an owner, styles, show state, caption and owning process,
// in a fixed enumeration order, read by the hider and the rules alike. Show commands change the
// scripted state the way user32 does and are logged, together with the tray animations, so tests
// can check what was issued. A hung or busy window keeps the commands in its queue until the test
// lets it run them.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/ports/desktop.h"
#include "core/rules.h"

namespace quenvix::test {

struct FakeWindow {
    bool visible = true;
    bool iconic = false;
    bool zoomed = false;
    bool hung = false;
    bool busy = false;      // answers, but has not got to its queued commands yet
    bool elevated = false;  // runs with higher rights: every show command is refused
    core::WindowId owner = core::kNoWindow;
    std::uint32_t exStyle = 0;
    std::string caption;
    core::WindowOrigin origin{100, 200, 1000};
    // What the system knows of the window beyond its state: its class, its program, whether it
    // holds the desktop's icon view, whether the shell's process made it, whether it is cloaked.
    std::string windowClass = "Frame";
    std::string executable = "program.exe";
    bool desktopView = false;
    bool shellProcess = false;
    bool cloaked = false;
};

// The picture handed out for a window: which window it was made for.
struct FakePicture : core::WindowPicture {
    explicit FakePicture(core::WindowId w) : window(w) {}
    core::WindowId window;
};

struct DesktopCall {
    enum Kind { ShowAsync, Animate } kind;
    core::WindowId window;
    core::ShowCommand command;  // ShowAsync
    bool fromTray;              // Animate

    friend bool operator==(const DesktopCall&, const DesktopCall&) = default;
};

inline DesktopCall AsyncCall(core::WindowId w, core::ShowCommand c) {
    return {DesktopCall::ShowAsync, w, c, false};
}
inline DesktopCall AnimateCall(core::WindowId w, bool fromTray) {
    return {DesktopCall::Animate, w, core::ShowCommand::Hide, fromTray};
}

class FakeDesktop : public core::Desktop {
  public:
    static constexpr core::WindowId kDesktop = 0x10010;
    static constexpr std::uint32_t kOwnPid = 4242;

    // Adds a window at the end of the enumeration order and returns it for further scripting.
    FakeWindow& Add(core::WindowId id, FakeWindow w = {}) {
        order_.push_back(id);
        return windows_[id] = std::move(w);
    }
    FakeWindow& At(core::WindowId id) { return windows_.at(id); }
    void Destroy(core::WindowId id) {
        windows_.erase(id);
        queued_.erase(id);
        std::erase(order_, id);
    }
    void SetForeground(core::WindowId id) { foreground_ = id; }
    // The shell's windows, by the classes the shell gives them.
    void SetProgramManager(core::WindowId id) { ShellWindow(id, "Progman"); }
    void SetTaskbar(core::WindowId id) { ShellWindow(id, "Shell_TrayWnd"); }
    void ShellWindow(core::WindowId id, std::string windowClass) {
        FakeWindow& w = At(id);
        w.windowClass = std::move(windowClass);
        w.executable = "explorer.exe";
        w.shellProcess = true;
    }
    // The window's own program brings it back onto the screen, as a click on its own tray icon
    // would.
    void ShowByProgram(core::WindowId id) { At(id).visible = true; }
    // The window gets to the commands waiting in its queue and carries them out in order.
    void RunQueue(core::WindowId id) {
        const auto waiting = std::move(queued_[id]);
        queued_.erase(id);
        for (const core::ShowCommand c : waiting) Apply(id, c);
    }

    std::vector<DesktopCall> calls;
    // Called after every command, e.g. to let a test close a window in the middle of hide-all.
    std::function<void(const DesktopCall&)> onCall;
    // Run as the caption or the picture is asked for.
    std::function<void(core::WindowId)> onCaption;
    std::function<void(core::WindowId)> onPicture;
    // Questions the rules asked of live windows; each is one to the system (the program's file:
    // OpenProcess), and each caption one to the window's program.
    int factReads = 0;
    int captionReads = 0;

    // Calls concerning one window, in order.
    std::vector<DesktopCall> CallsFor(core::WindowId id) const {
        std::vector<DesktopCall> out;
        for (const auto& c : calls)
            if (c.window == id) out.push_back(c);
        return out;
    }
    // The windows that received a hiding command, in order of their first one.
    std::vector<core::WindowId> HiddenOrder() const {
        std::vector<core::WindowId> out;
        for (const auto& c : calls)
            if (c.kind != DesktopCall::Animate && c.command == core::ShowCommand::Hide &&
                std::find(out.begin(), out.end(), c.window) == out.end())
                out.push_back(c.window);
        return out;
    }

    // ---- core::Desktop ----
    std::vector<core::WindowId> TopLevelWindows() override { return order_; }
    core::WindowId ForegroundWindow() override { return foreground_; }
    core::WindowId Owner(core::WindowId w) override { return Find(w) ? Find(w)->owner : 0; }
    core::WindowId DesktopWindow() override { return kDesktop; }
    std::uint32_t ExStyle(core::WindowId w) override { return Find(w) ? Find(w)->exStyle : 0; }
    bool IsVisible(core::WindowId w) override { return Find(w) && Find(w)->visible; }
    bool IsIconic(core::WindowId w) override { return Find(w) && Find(w)->iconic; }
    bool IsZoomed(core::WindowId w) override { return Find(w) && Find(w)->zoomed; }
    bool Exists(core::WindowId w) override { return Find(w) != nullptr; }
    core::WindowOrigin Origin(core::WindowId w) override {
        return Find(w) ? Find(w)->origin : core::WindowOrigin{};
    }
    std::uint32_t OwnProcessId() override { return kOwnPid; }
    std::string Caption(core::WindowId w) override {
        if (onCaption) onCaption(w);
        // A hung window does not answer the caption query.
        return Find(w) && !Find(w)->hung ? Find(w)->caption : std::string();
    }
    std::unique_ptr<core::WindowPicture> Picture(core::WindowId w) override {
        if (onPicture) onPicture(w);
        return std::make_unique<FakePicture>(w);
    }
    // As ShowWindowAsync answers: refused for a window of higher rights, failed for one gone.
    core::ShowResult ShowAsync(core::WindowId w, core::ShowCommand c) override {
        FakeWindow* win = Find(w);
        auto result = core::ShowResult::Queued;
        if (!win) {
            result = core::ShowResult::Failed;
        } else if (win->elevated) {
            result = core::ShowResult::Refused;
        } else if (win->hung || win->busy || !queued_[w].empty()) {
            queued_[w].push_back(c);
        } else {
            Apply(w, c);
        }
        Log(AsyncCall(w, c));
        return result;
    }
    core::WindowTraits Traits(core::WindowId w) override {
        core::WindowTraits traits;
        traits.desktopWindow = w == kDesktop;
        FakeWindow* win = Find(w);
        // A window already gone, like our own, is never to be hidden.
        traits.ours = !traits.desktopWindow && (!win || win->origin.processId == kOwnPid);
        if (!win) return traits;
        traits.executable = win->executable;
        traits.windowClass = win->windowClass;
        traits.exStyle = win->exStyle;
        traits.shellProcess = win->shellProcess;
        traits.desktopView = win->desktopView;
        traits.cloaked = win->cloaked;
        return traits;
    }
    void AnimateTray(core::WindowId w, bool fromTray) override { Log(AnimateCall(w, fromTray)); }
    std::optional<core::WindowFacts> Facts(core::WindowId w, bool withCaption) override {
        FakeWindow* win = Find(w);
        if (!win) return std::nullopt;
        ++factReads;
        core::WindowFacts facts;
        static_cast<core::WindowTraits&>(facts) = Traits(w);
        facts.ownedByWindow = win->owner != core::kNoWindow && win->owner != kDesktop;
        facts.visible = win->visible;
        if (withCaption) {
            ++captionReads;
            facts.caption = Caption(w);
        }
        return facts;
    }
    // A minimised window keeps its maximised state in the script until it is restored.
    bool RestoresToMaximized(core::WindowId w) override { return IsZoomed(w); }

  private:
    FakeWindow* Find(core::WindowId w) {
        const auto it = windows_.find(w);
        return it == windows_.end() ? nullptr : &it->second;
    }
    void Apply(core::WindowId id, core::ShowCommand c) {
        FakeWindow* w = Find(id);
        if (!w) return;
        // As ShowWindow documents each command. (Whether an activating one brings the window to
        // the front is the foreground rules' business: FakeForeground.)
        switch (c) {
            case core::ShowCommand::Hide:
                w->visible = false;
                break;
            case core::ShowCommand::ShowNormal:
            case core::ShowCommand::ShowNormalNoActivate:
                w->visible = true;
                w->iconic = w->zoomed = false;
                break;
            case core::ShowCommand::ShowMaximized:
                w->visible = w->zoomed = true;
                w->iconic = false;
                break;
            case core::ShowCommand::ShowMinimizedNoActivate:
                w->visible = w->iconic = true;
                break;
            case core::ShowCommand::ShowAsIsNoActivate:
                w->visible = true;
                break;
        }
    }
    void Log(const DesktopCall& c) {
        calls.push_back(c);
        if (onCall) onCall(c);
    }

    std::map<core::WindowId, FakeWindow> windows_;
    std::map<core::WindowId, std::vector<core::ShowCommand>> queued_;
    std::vector<core::WindowId> order_;
    core::WindowId foreground_ = core::kNoWindow;
};

}  // namespace quenvix::test
