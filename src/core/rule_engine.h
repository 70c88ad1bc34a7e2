#pragma once
// What the rules do as windows come and go: the decisions behind the window events, the watch of
// windows just created and the memory of windows to leave alone. The shell hands in the events
// and the time, and the desktop the windows are read from; it hides what it is told to hide.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/ports/desktop.h"
#include "core/ports/window_events.h"
#include "core/rule_watch.h"
#include "core/rules.h"

namespace quenvix::core {

// How long after the rules first hear of a window a new caption makes them judge it again: a
// program that shows its window as "Loading" and names it once its document is open does so
// within moments. Later changes (a clock in the caption, the page of a browser) are the window's
// life, not its start, and are left alone.
inline constexpr std::uint64_t kCaptionSettleMs = 10000;
// Where the system does not report caption changes, a window of a program a caption rule names
// is looked at this often instead, for the same first ten seconds.
inline constexpr std::uint64_t kCaptionLookMs = 500;
// Windows whose decision is kept at most. Far more than are ever open at once: only a run of
// missed destroy events gets there, and then every decision is made afresh.
inline constexpr std::size_t kDecisionCapacity = 4096;

// A window to hide now, and the rule action that wants it hidden. For a minimise, the window is
// recorded in the state it had before it was minimised.
struct RuleHide {
    WindowId window = kNoWindow;
    RuleAction action = RuleAction::Appear;

    friend bool operator==(const RuleHide&, const RuleHide&) = default;
};

class RuleEngine {
  public:
    // `inHiddenList` tells whether a window is in our hidden list: our own hide of it makes it
    // show and minimise on its way out of sight, and those are not the user's doing.
    RuleEngine(Desktop& desktop, std::function<bool(WindowId)> inHiddenList);

    // New rules take effect at once; windows being watched stay watched only while an "appear"
    // rule is left.
    void SetRules(RuleSet rules);
    const RuleSet& Rules() const { return rules_; }
    // Whether any rule is on: without one, the shell does not even listen for window events.
    bool Active() const { return hasAppear_ || hasMinimise_; }
    // Whether the watch timer has to run (every kWatchStepMs while true, stopped otherwise).
    bool WatchPending() const { return !watches_.Empty() || !captionWatches_.empty(); }
    // Whether caption changes matter: an "appear" rule that is on names caption text.
    bool WantsCaptionChanges() const { return captionAppear_; }
    // Windows with a decision kept (for the tests and the benchmark).
    std::size_t DecisionCount() const { return decisions_.size(); }

    // One window event; `nowMs` from a steady millisecond clock. The decision for a window is
    // kept for its life (until its destroy event, or until the rules change), so a window shown
    // again and again costs its program one question, not one per show; a caption change in the
    // first kCaptionSettleMs after we first heard of the window has it judged again.
    std::optional<RuleHide> OnEvent(RuleEvent event, WindowId window, std::uint64_t nowMs);
    // One step of the watch timer.
    std::vector<RuleHide> OnWatchTimer(std::uint64_t nowMs);
    // The windows already open when the program starts (or when rules change), in the system's
    // order: those an "appear" rule takes.
    std::vector<RuleHide> OnWindowsOpen(const std::vector<WindowId>& windows, std::uint64_t nowMs);
    // The user brought the window back (menu, hotkey, "Restore all"): no "appear" rule hides it
    // again while it lives.
    void BroughtBack(WindowId window, std::uint64_t nowMs);
    // The windows the user brought back, the newest kBroughtBackKept, oldest first: the shell
    // keeps them for the next run.
    std::vector<WindowKey> BroughtBackWindows() const { return broughtBack_.Keys(); }
    // The windows an earlier run was told the user brought back. Each that still lives in the
    // same process (same id, same start time: not a later process given the id) and thread is
    // left alone as if brought back in this run; the rest are forgotten.
    void AdoptBroughtBack(const std::vector<WindowKey>& keys);

  private:
    enum class Verdict {
        Unjudged,
        NoRuleForIt,     // its program and class leave no "appear" rule: final for its life
        NotThisCaption,  // no "appear" rule takes it with the caption it had
        LeftAlone,       // hidden by a rule once, or brought back by the user
    };
    struct Decision {
        std::uint64_t sinceMs = 0;  // when we first heard of the window
        Verdict verdict = Verdict::Unjudged;
    };

    Decision& DecisionFor(WindowId window, std::uint64_t nowMs);
    std::optional<RuleHide> DecideAppear(WindowId window, std::uint64_t nowMs);
    std::optional<RuleHide> OnCaptionChanged(WindowId window, std::uint64_t nowMs);
    bool Settling(const Decision& decision, std::uint64_t nowMs) const;
    void LookAtCaptions(std::uint64_t nowMs, std::vector<RuleHide>& hides);

    bool InHiddenList(WindowId window) const { return inHiddenList_ && inHiddenList_(window); }

    Desktop& desktop_;
    std::function<bool(WindowId)> inHiddenList_;
    RuleSet rules_;
    bool hasAppear_ = false;
    bool hasMinimise_ = false;
    bool captionAppear_ = false;
    std::unordered_map<WindowId, Decision> decisions_;
    // Until the system is seen to report caption changes, the windows that may still be named
    // into a rule, with when each was last looked at.
    bool captionEventsSeen_ = false;
    std::vector<std::pair<WindowId, std::uint64_t>> captionWatches_;
    WatchList watches_;
    RuleMemory memory_;
    RuleMemory broughtBack_{kBroughtBackKept};
};

}  // namespace quenvix::core
