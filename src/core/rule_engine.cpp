#include "core/rule_engine.h"

#include <utility>

namespace quenvix::core {
namespace {

// A window the window manager keeps out of sight is not shown yet, as far as the watch goes: a
// Store app's window is made cloaked and uncloaked once it has drawn itself.
WindowFacts AsOnScreen(WindowFacts facts) {
    facts.visible = facts.visible && !facts.cloaked;
    facts.cloaked = false;
    return facts;
}

}  // namespace

RuleEngine::RuleEngine(RuleWindowSource& windows) : windows_(windows) {}

void RuleEngine::SetRules(RuleSet rules) {
    rules_ = std::move(rules);
    hasAppear_ = rules_.Has(RuleAction::Appear);
    hasMinimise_ = rules_.Has(RuleAction::Minimise);
    if (!hasAppear_) watches_ = WatchList();
}

std::optional<RuleHide> RuleEngine::OnEvent(RuleEvent event, std::uint64_t window,
                                            std::uint64_t nowMs) {
    switch (event) {
        case RuleEvent::Created: {
            if (!hasAppear_) return std::nullopt;
            // Most windows are created hidden and shown a moment later, and not every system
            // tells us when: watched until they show. The caption is left for then.
            const auto facts = windows_.Facts(window, false);
            if (facts && rules_.MayAppear(AsOnScreen(*facts))) watches_.Watch(window, nowMs);
            return std::nullopt;
        }
        case RuleEvent::Shown:
            if (!hasAppear_) return std::nullopt;
            return DecideAppear(window);
        case RuleEvent::MinimizeStarted: {
            if (!hasMinimise_ || windows_.InHiddenList(window)) return std::nullopt;
            const auto facts = windows_.Facts(window, true);
            if (!facts || !rules_.Hides(*facts, RuleAction::Minimise)) return std::nullopt;
            return RuleHide{window, RuleAction::Minimise};
        }
    }
    return std::nullopt;
}

std::vector<RuleHide> RuleEngine::OnWatchTimer(std::uint64_t nowMs) {
    std::vector<RuleHide> hides;
    const auto ready = watches_.Step(nowMs, [this](std::uint64_t window) {
        const auto facts = windows_.Facts(window, false);
        if (!facts) return WatchLook::Drop;
        const WindowFacts onScreen = AsOnScreen(*facts);
        if (!IsEligible(onScreen)) return WatchLook::Drop;
        return onScreen.visible ? WatchLook::Ready : WatchLook::Wait;
    });
    for (const std::uint64_t window : ready) {
        if (auto hide = DecideAppear(window)) hides.push_back(*hide);
    }
    return hides;
}

std::vector<RuleHide> RuleEngine::OnWindowsOpen(const std::vector<std::uint64_t>& windows) {
    std::vector<RuleHide> hides;
    if (!hasAppear_) return hides;
    for (const std::uint64_t window : windows) {
        if (auto hide = DecideAppear(window)) hides.push_back(*hide);
    }
    return hides;
}

void RuleEngine::BroughtBack(std::uint64_t window) {
    memory_.Remember(windows_.Key(window));
}

std::optional<RuleHide> RuleEngine::DecideAppear(std::uint64_t window) {
    if (windows_.InHiddenList(window)) return std::nullopt;
    // Every window that shows comes here; its caption (a question to its program) is asked only
    // when its program and class leave a rule that could take it.
    const auto plain = windows_.Facts(window, false);
    if (!plain || !plain->visible || !rules_.MayAppear(*plain)) return std::nullopt;
    const auto facts = windows_.Facts(window, true);
    if (!facts || !facts->visible) return std::nullopt;
    if (!rules_.Hides(*facts, RuleAction::Appear)) return std::nullopt;
    const WindowKey key = windows_.Key(window);
    if (memory_.Contains(key)) return std::nullopt;
    // Hidden once by a rule: if its program shows it again, the program wins, or the two of us
    // would take turns for as long as the window lives (and the hidden list would grow).
    memory_.Remember(key);
    watches_.Unwatch(window);
    return RuleHide{window, RuleAction::Appear};
}

}  // namespace quenvix::core
