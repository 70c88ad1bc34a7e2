#include "core/rule_hiding.h"

#include <string>

#include "core/hider.h"
#include "core/recovery.h"
#include "core/rule_watch.h"
#include "core/settings_store.h"

namespace quenvix::core {

std::string BroughtBackValueName(std::uint32_t session) {
    return "BroughtBack." + std::to_string(session);
}

class RuleHiding::StoreWriter : public RuleValueWriter {
  public:
    explicit StoreWriter(SettingsStore& settings) : settings_(settings) {}
    void Write(std::string_view name, std::string_view text) override {
        settings_.WriteString(kRulesSection, name, text);
    }
    bool Remove(std::string_view name) override {
        return settings_.DeleteValue(kRulesSection, name);
    }

  private:
    SettingsStore& settings_;
};

RuleHiding::RuleHiding(SettingsStore& settings, Hider& hider, const RuleSystem& system,
                       std::uint32_t session, Note note)
    : settings_(settings),
      hider_(hider),
      system_(system),
      note_(std::move(note)),
      writer_(std::make_unique<StoreWriter>(settings)),
      engine_(system.desktop, [&hider](WindowId window) { return hider.IsHidden(window); }),
      broughtBackValue_(BroughtBackValueName(session)),
      watchTimer_(system.timers.MakeTimer()) {
    watchTimer_->SetInterval(static_cast<std::uint32_t>(kWatchStepMs));
    watchTimer_->SetOnTick([this] { OnWatchTick(); });
}

RuleHiding::~RuleHiding() {
    system_.events.Stop();
}

void RuleHiding::BroughtBack(WindowId window) {
    engine_.BroughtBack(window, system_.clock.SteadyMs());
    // Written at once: an update ends this run without asking, and the next one must still know.
    if (!WriteRecoveryText(settings_, broughtBackValue_,
                           EncodeWindowKeys(engine_.BroughtBackWindows()))) {
        if (note_) note_("The windows brought back could not be recorded");
    }
}

RuleValueWriter& RuleHiding::Writer() {
    return *writer_;
}

RuleValueNames RuleHiding::Names() {
    return [this] { return settings_.ValueNames(kRulesSection); };
}

RuleValueReader RuleHiding::Reader() {
    return [this](std::string_view name) { return settings_.ReadText(kRulesSection, name); };
}

void RuleHiding::ReportProblem(std::string_view name, std::string_view why) {
    if (note_) note_("Rule " + std::string(name) + " skipped: " + std::string(why));
}

void RuleHiding::Start() {
    // Before the rules first look at the open windows: those the user brought back in an earlier
    // run stay where they are.
    if (const auto text = ReadRecoveryText(settings_, broughtBackValue_)) {
        engine_.AdoptBroughtBack(DecodeWindowKeys(*text));
    }
    SetRules(ReadRules(Names(), Reader(), [this](std::string_view name, std::string_view why) {
                 ReportProblem(name, why);
             }).rules);
}

void RuleHiding::SetRules(const std::vector<Rule>& rules) {
    engine_.SetRules(RuleSet(rules));
    Listen();
    // A new "appear" rule takes the matching windows that are open now, as at start.
    if (engine_.Active()) {
        Hide(engine_.OnWindowsOpen(system_.desktop.TopLevelWindows(), system_.clock.SteadyMs()));
    }
    watchTimer_->SetEnabled(engine_.WatchPending());
}

void RuleHiding::Listen() {
    WindowEvents& events = system_.events;
    if (!engine_.Active()) {
        events.Stop();
    } else if (!events.Following() ||
               events.FollowsCaptionChanges() != engine_.WantsCaptionChanges()) {
        events.Follow([this](RuleEvent event, WindowId window) { OnEvent(event, window); },
                      engine_.WantsCaptionChanges());
    }
    watchTimer_->SetEnabled(engine_.WatchPending());
}

void RuleHiding::OnEvent(RuleEvent event, WindowId window) {
    if (const auto hide = engine_.OnEvent(event, window, system_.clock.SteadyMs())) Hide({*hide});
    watchTimer_->SetEnabled(engine_.WatchPending());
}

void RuleHiding::OnWatchTick() {
    Hide(engine_.OnWatchTimer(system_.clock.SteadyMs()));
    watchTimer_->SetEnabled(engine_.WatchPending());
}

void RuleHiding::Hide(const std::vector<RuleHide>& hides) {
    for (const RuleHide& hide : hides) {
        if (hide.action == RuleAction::Minimise) {
            // It comes back from its tray entry as it was before the minimise.
            hider_.HideMinimizedWindow(hide.window, system_.desktop.RestoresToMaximized(hide.window)
                                                        ? ShowState::Maximized
                                                        : ShowState::Normal);
        } else {
            hider_.HideWindow(hide.window);
        }
    }
}

}  // namespace quenvix::core
