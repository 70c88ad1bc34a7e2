#pragma once
// Rules at work: the stored rules, the window events that feed them, the short watch of new
// windows, and the hides they decide, through the same hidden list as the hotkeys. With no rule
// on, nothing is hooked and nothing ticks, so an idle program stays asleep.
#include <windows.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/ports/clock.h"
#include "core/ports/desktop.h"
#include "core/ports/timer.h"
#include "core/rule_engine.h"
#include "core/rules.h"
#include "win/win_event_hook.h"

namespace quenvix::core {
class Hider;
class SettingsStore;
}  // namespace quenvix::core

namespace quenvix::win {

class RuleHiding {
  public:
    // All five outlive this object.
    RuleHiding(core::SettingsStore& settings, core::Hider& hider, core::Desktop& desktop,
               core::TimerFactory& timers, core::Clock& clock);
    ~RuleHiding();
    RuleHiding(const RuleHiding&) = delete;
    RuleHiding& operator=(const RuleHiding&) = delete;

    // The user brought `window` back (menu, hotkey, "Restore all"): no "appear" rule takes it
    // again while it lives.
    void BroughtBack(core::WindowId window);
    // Reads the stored rules and hides the matching windows that are open already.
    void Start();
    // The rules page changed (and stored) the rules.
    void SetRules(const std::vector<core::Rule>& rules);

    // The "Rules" section of the settings store, for the rules page.
    core::RuleValueNames Names();
    core::RuleValueReader Reader();
    core::RuleValueWriter& Writer();
    // A stored rule that was skipped goes to the log; it is never put in front of the user.
    static void ReportProblem(std::string_view name, std::string_view why);

  private:
    class StoreWriter;

    void OnEvent(core::RuleEvent event, HWND window);
    void OnWatchTick();
    void Hide(const std::vector<core::RuleHide>& hides);
    // Hooked while a rule is on; the watch timer runs only while a new window is watched.
    void Listen();

    core::SettingsStore& settings_;
    core::Hider& hider_;
    core::Desktop& desktop_;
    core::Clock& clock_;
    std::unique_ptr<StoreWriter> writer_;
    Win32RuleWindows windows_;
    core::RuleEngine engine_;
    // The value of the recovery section that keeps the windows the user brought back.
    std::string broughtBackValue_;
    std::unique_ptr<core::Timer> watchTimer_;
    std::unique_ptr<WinEventHook> hook_;
};

}  // namespace quenvix::win
