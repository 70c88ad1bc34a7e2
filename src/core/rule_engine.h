#pragma once
// What the rules do as windows come and go: the decisions behind the window events, the watch of
// windows just created and the memory of windows to leave alone. The shell hands in the events
// and the time, reads windows for it, and hides what it is told to hide.
#include <cstdint>
#include <optional>
#include <vector>

#include "core/rule_watch.h"
#include "core/rules.h"

namespace quenvix::core {

// Windows as the rules see them. The shell reads real windows; the unit tests script them.
class RuleWindowSource {
  public:
    virtual ~RuleWindowSource() = default;
    // The window's facts, the caption only when asked for; nullopt when the window is gone.
    virtual std::optional<WindowFacts> Facts(std::uint64_t window, bool withCaption) = 0;
    virtual WindowKey Key(std::uint64_t window) = 0;
    // Whether the window is in our hidden list: our own hide of it makes it show and minimise
    // on its way out of sight, and those are not the user's doing.
    virtual bool InHiddenList(std::uint64_t window) = 0;
};

enum class RuleEvent { Created, Shown, MinimizeStarted };

// A window to hide now, and the rule action that wants it hidden. For a minimise, the window is
// recorded in the state it had before it was minimised.
struct RuleHide {
    std::uint64_t window = 0;
    RuleAction action = RuleAction::Appear;

    friend bool operator==(const RuleHide&, const RuleHide&) = default;
};

class RuleEngine {
  public:
    explicit RuleEngine(RuleWindowSource& windows);

    // New rules take effect at once; windows being watched stay watched only while an "appear"
    // rule is left.
    void SetRules(RuleSet rules);
    const RuleSet& Rules() const { return rules_; }
    // Whether any rule is on: without one, the shell does not even listen for window events.
    bool Active() const { return hasAppear_ || hasMinimise_; }
    // Whether the watch timer has to run (every kWatchStepMs while true, stopped otherwise).
    bool WatchPending() const { return !watches_.Empty(); }

    // One window event; `nowMs` from a steady millisecond clock.
    std::optional<RuleHide> OnEvent(RuleEvent event, std::uint64_t window, std::uint64_t nowMs);
    // One step of the watch timer.
    std::vector<RuleHide> OnWatchTimer(std::uint64_t nowMs);
    // The windows already open when the program starts (or when rules change), in the system's
    // order: those an "appear" rule takes.
    std::vector<RuleHide> OnWindowsOpen(const std::vector<std::uint64_t>& windows);
    // The user brought the window back (menu, hotkey, "Restore all"): no "appear" rule hides it
    // again while it lives.
    void BroughtBack(std::uint64_t window);

  private:
    std::optional<RuleHide> DecideAppear(std::uint64_t window);

    RuleWindowSource& windows_;
    RuleSet rules_;
    bool hasAppear_ = false;
    bool hasMinimise_ = false;
    WatchList watches_;
    RuleMemory memory_;
};

}  // namespace quenvix::core
