#include "win/rule_hiding.h"

#include <string>

#include "core/hider.h"
#include "core/recovery.h"
#include "core/rule_watch.h"
#include "core/settings_store.h"
#include "win/desktop.h"
#include "win/log.h"
#include "win/ui.h"

namespace quenvix::win {
namespace {

// Per session, as the recovery record: the copies of two sessions never write over each other.
std::string BroughtBackValueName() {
    DWORD session = 0;
    if (!ProcessIdToSessionId(GetCurrentProcessId(), &session)) session = 0;
    return "BroughtBack." + std::to_string(session);
}

}  // namespace

class RuleHiding::StoreWriter : public core::RuleValueWriter {
  public:
    explicit StoreWriter(core::SettingsStore& settings) : settings_(settings) {}
    void Write(std::string_view name, std::string_view text) override {
        settings_.WriteString(core::kRulesSection, name, text);
    }
    bool Remove(std::string_view name) override {
        return settings_.DeleteValue(core::kRulesSection, name);
    }

  private:
    core::SettingsStore& settings_;
};

RuleHiding::RuleHiding(core::SettingsStore& settings, core::Hider& hider, core::Desktop& desktop,
                       core::TimerFactory& timers, core::Clock& clock)
    : settings_(settings),
      hider_(hider),
      desktop_(desktop),
      clock_(clock),
      writer_(std::make_unique<StoreWriter>(settings)),
      windows_([&hider](HWND window) { return hider.IsHidden(ToId(window)); }),
      engine_(windows_),
      broughtBackValue_(BroughtBackValueName()),
      watchTimer_(timers.MakeTimer()) {
    watchTimer_->SetInterval(static_cast<std::uint32_t>(core::kWatchStepMs));
    watchTimer_->SetOnTick([this] { OnWatchTick(); });
}

RuleHiding::~RuleHiding() = default;

void RuleHiding::BroughtBack(core::WindowId window) {
    engine_.BroughtBack(window, clock_.SteadyMs());
    // Written at once: an update ends this run without asking, and the next one must still know.
    if (!core::WriteRecoveryText(settings_, broughtBackValue_,
                                 core::EncodeWindowKeys(engine_.BroughtBackWindows()))) {
        Log("The windows brought back could not be recorded");
    }
}

core::RuleValueWriter& RuleHiding::Writer() {
    return *writer_;
}

core::RuleValueNames RuleHiding::Names() {
    return [this] { return settings_.ValueNames(core::kRulesSection); };
}

core::RuleValueReader RuleHiding::Reader() {
    return [this](std::string_view name) { return settings_.ReadText(core::kRulesSection, name); };
}

void RuleHiding::ReportProblem(std::string_view name, std::string_view why) {
    Log("Rule " + std::string(name) + " skipped: " + std::string(why));
}

void RuleHiding::Start() {
    // Before the rules first look at the open windows: those the user brought back in an earlier
    // run stay where they are.
    if (const auto text = core::ReadRecoveryText(settings_, broughtBackValue_)) {
        engine_.AdoptBroughtBack(core::DecodeWindowKeys(*text));
    }
    SetRules(core::ReadRules(Names(), Reader(), &RuleHiding::ReportProblem).rules);
}

void RuleHiding::SetRules(const std::vector<core::Rule>& rules) {
    engine_.SetRules(core::RuleSet(rules));
    Listen();
    // A new "appear" rule takes the matching windows that are open now, as at start.
    if (engine_.Active())
        Hide(engine_.OnWindowsOpen(desktop_.TopLevelWindows(), clock_.SteadyMs()));
    watchTimer_->SetEnabled(engine_.WatchPending());
}

void RuleHiding::Listen() {
    if (!engine_.Active()) {
        hook_.reset();
    } else if (!hook_ || hook_->HearsCaptionChanges() != engine_.WantsCaptionChanges()) {
        hook_.reset();
        hook_ = std::make_unique<WinEventHook>(
            [this](core::RuleEvent event, HWND window) { OnEvent(event, window); },
            engine_.WantsCaptionChanges());
    }
    watchTimer_->SetEnabled(engine_.WatchPending());
}

void RuleHiding::OnEvent(core::RuleEvent event, HWND window) {
    if (const auto hide = engine_.OnEvent(event, ToId(window), clock_.SteadyMs())) Hide({*hide});
    watchTimer_->SetEnabled(engine_.WatchPending());
}

void RuleHiding::OnWatchTick() {
    Hide(engine_.OnWatchTimer(clock_.SteadyMs()));
    watchTimer_->SetEnabled(engine_.WatchPending());
}

void RuleHiding::Hide(const std::vector<core::RuleHide>& hides) {
    for (const core::RuleHide& hide : hides) {
        const HWND window = ToHwnd(hide.window);
        if (hide.action == core::RuleAction::Minimise) {
            // It comes back from its tray entry as it was before the minimise.
            hider_.HideMinimizedWindow(hide.window, RestoresToMaximized(window)
                                                        ? core::ShowState::Maximized
                                                        : core::ShowState::Normal);
        } else {
            hider_.HideWindow(hide.window);
        }
    }
}

}  // namespace quenvix::win
