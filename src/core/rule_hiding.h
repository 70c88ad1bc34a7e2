#pragma once
// Rules at work: the stored rules, the window events that feed them, the short watch of new
// windows, and the hides they decide, through the same hidden list as the hotkeys. With no rule
// on, no event is followed and nothing ticks, so an idle program stays asleep.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/ports/clock.h"
#include "core/ports/desktop.h"
#include "core/ports/timer.h"
#include "core/ports/window_events.h"
#include "core/rule_engine.h"
#include "core/rules.h"

namespace quenvix::core {

class Hider;
class SettingsStore;

// The value of the recovery section that keeps the windows the user brought back; per session,
// as the recovery record: the copies of two sessions never write over each other.
std::string BroughtBackValueName(std::uint32_t session);

// The system services the rules work through; each outlives the RuleHiding given it.
struct RuleSystem {
    Desktop& desktop;
    WindowEvents& events;
    TimerFactory& timers;
    Clock& clock;
};

class RuleHiding {
  public:
    // What goes to the log (never a window's caption).
    using Note = std::function<void(const std::string& line)>;

    // `settings` and `hider` outlive this object.
    RuleHiding(SettingsStore& settings, Hider& hider, const RuleSystem& system,
               std::uint32_t session, Note note);
    ~RuleHiding();
    RuleHiding(const RuleHiding&) = delete;
    RuleHiding& operator=(const RuleHiding&) = delete;

    // The user brought `window` back (menu, hotkey, "Restore all"): no "appear" rule takes it
    // again while it lives.
    void BroughtBack(WindowId window);
    // Reads the stored rules and hides the matching windows that are open already.
    void Start();
    // The rules page changed (and stored) the rules.
    void SetRules(const std::vector<Rule>& rules);

    // The "Rules" section of the settings store, for the rules page.
    RuleValueNames Names();
    RuleValueReader Reader();
    RuleValueWriter& Writer();
    // A stored rule that was skipped goes to the log; it is never put in front of the user.
    void ReportProblem(std::string_view name, std::string_view why);

  private:
    class StoreWriter;

    void OnEvent(RuleEvent event, WindowId window);
    void OnWatchTick();
    void Hide(const std::vector<RuleHide>& hides);
    // Events are followed while a rule is on; the watch timer runs only while a new window is
    // watched.
    void Listen();

    SettingsStore& settings_;
    Hider& hider_;
    RuleSystem system_;
    Note note_;
    std::unique_ptr<StoreWriter> writer_;
    RuleEngine engine_;
    std::string broughtBackValue_;
    std::unique_ptr<Timer> watchTimer_;
};

}  // namespace quenvix::core
