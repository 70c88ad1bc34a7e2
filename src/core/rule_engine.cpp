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

RuleEngine::RuleEngine(Desktop& desktop, std::function<bool(WindowId)> inHiddenList)
    : desktop_(desktop), inHiddenList_(std::move(inHiddenList)) {}

void RuleEngine::SetRules(RuleSet rules) {
    rules_ = std::move(rules);
    hasAppear_ = rules_.Has(RuleAction::Appear);
    hasMinimise_ = rules_.Has(RuleAction::Minimise);
    captionAppear_ = rules_.NamesCaption(RuleAction::Appear);
    if (!hasAppear_) watches_ = WatchList();
    // Judged by other rules; and without a rule on, no destroy event would tell us to forget.
    decisions_.clear();
    captionWatches_.clear();
}

std::optional<RuleHide> RuleEngine::OnEvent(RuleEvent event, WindowId window, std::uint64_t nowMs) {
    switch (event) {
        case RuleEvent::Created: {
            if (!hasAppear_) return std::nullopt;
            // Most windows are created hidden and shown a moment later, and not every system
            // tells us when: watched until they show. The caption is left for then.
            const auto facts = desktop_.Facts(window, false);
            if (facts && rules_.MayAppear(AsOnScreen(*facts))) {
                watches_.Watch(window, nowMs);
                DecisionFor(window, nowMs);  // its life starts now, not when it shows
            }
            return std::nullopt;
        }
        case RuleEvent::Shown:
            if (!hasAppear_) return std::nullopt;
            return DecideAppear(window, nowMs);
        case RuleEvent::CaptionChanged:
            return OnCaptionChanged(window, nowMs);
        case RuleEvent::Destroyed:
            decisions_.erase(window);
            watches_.Unwatch(window);
            return std::nullopt;
        case RuleEvent::MinimizeStarted: {
            if (!hasMinimise_ || InHiddenList(window)) return std::nullopt;
            const auto facts = desktop_.Facts(window, true);
            if (!facts || !rules_.Hides(*facts, RuleAction::Minimise)) return std::nullopt;
            return RuleHide{window, RuleAction::Minimise};
        }
    }
    return std::nullopt;
}

std::vector<RuleHide> RuleEngine::OnWatchTimer(std::uint64_t nowMs) {
    std::vector<RuleHide> hides;
    const auto ready = watches_.Step(nowMs, [this](WindowId window) {
        const auto facts = desktop_.Facts(window, false);
        if (!facts) return WatchLook::Drop;
        const WindowFacts onScreen = AsOnScreen(*facts);
        if (!IsEligible(onScreen)) return WatchLook::Drop;
        return onScreen.visible ? WatchLook::Ready : WatchLook::Wait;
    });
    for (const WindowId window : ready) {
        if (auto hide = DecideAppear(window, nowMs)) hides.push_back(*hide);
    }
    LookAtCaptions(nowMs, hides);
    return hides;
}

void RuleEngine::LookAtCaptions(std::uint64_t nowMs, std::vector<RuleHide>& hides) {
    std::vector<std::pair<WindowId, std::uint64_t>> current;
    current.swap(captionWatches_);  // a look that leaves the caption unwanted watches it again
    for (const auto& [window, lastLook] : current) {
        const auto found = decisions_.find(window);
        if (found == decisions_.end() || found->second.verdict != Verdict::NotThisCaption ||
            !Settling(found->second, nowMs)) {
            continue;
        }
        if (nowMs >= lastLook && nowMs - lastLook < kCaptionLookMs) {
            captionWatches_.emplace_back(window, lastLook);
            continue;
        }
        found->second.verdict = Verdict::Unjudged;
        if (auto hide = DecideAppear(window, nowMs)) hides.push_back(*hide);
    }
}

bool RuleEngine::Settling(const Decision& decision, std::uint64_t nowMs) const {
    // A clock that went back counts as no time passed.
    return nowMs < decision.sinceMs || nowMs - decision.sinceMs < kCaptionSettleMs;
}

std::vector<RuleHide> RuleEngine::OnWindowsOpen(const std::vector<WindowId>& windows,
                                                std::uint64_t nowMs) {
    std::vector<RuleHide> hides;
    if (!hasAppear_) return hides;
    for (const WindowId window : windows) {
        if (auto hide = DecideAppear(window, nowMs)) hides.push_back(*hide);
    }
    return hides;
}

void RuleEngine::BroughtBack(WindowId window, std::uint64_t nowMs) {
    const WindowKey key = KeyOf(desktop_, window);
    memory_.Remember(key);
    broughtBack_.Remember(key);
    if (Active()) DecisionFor(window, nowMs).verdict = Verdict::LeftAlone;
}

void RuleEngine::AdoptBroughtBack(const std::vector<WindowKey>& keys) {
    for (const WindowKey& key : keys) {
        // A start time that could not be read proves nothing: such a window is not adopted.
        if (key.origin.processStartTime == 0 || KeyOf(desktop_, key.window) != key) continue;
        memory_.Remember(key);
        broughtBack_.Remember(key);
    }
}

RuleEngine::Decision& RuleEngine::DecisionFor(WindowId window, std::uint64_t nowMs) {
    if (decisions_.size() >= kDecisionCapacity && !decisions_.contains(window)) {
        decisions_.clear();
    }
    return decisions_.try_emplace(window, Decision{nowMs, Verdict::Unjudged}).first->second;
}

std::optional<RuleHide> RuleEngine::OnCaptionChanged(WindowId window, std::uint64_t nowMs) {
    if (!captionAppear_) return std::nullopt;
    if (!captionEventsSeen_) {
        // The system reports caption changes: no window needs to be looked at for them.
        captionEventsSeen_ = true;
        captionWatches_.clear();
    }
    // A window not judged yet is judged when it shows, with the caption it has then.
    const auto found = decisions_.find(window);
    if (found == decisions_.end() || found->second.verdict != Verdict::NotThisCaption) {
        return std::nullopt;
    }
    if (!Settling(found->second, nowMs)) return std::nullopt;
    found->second.verdict = Verdict::Unjudged;
    return DecideAppear(window, nowMs);
}

std::optional<RuleHide> RuleEngine::DecideAppear(WindowId window, std::uint64_t nowMs) {
    if (InHiddenList(window)) return std::nullopt;
    Decision& decision = DecisionFor(window, nowMs);
    if (decision.verdict != Verdict::Unjudged) return std::nullopt;
    // Every window that shows comes here; its caption (a question to its program) is asked only
    // when its program and class leave a rule that could take it. What the window is allowed
    // (owner, style, cloaking) is looked at every time: it may change while its program starts.
    const auto plain = desktop_.Facts(window, false);
    if (!plain || !plain->visible || !IsEligible(*plain)) return std::nullopt;
    if (!rules_.MayAppear(*plain)) {
        decision.verdict = Verdict::NoRuleForIt;
        return std::nullopt;
    }
    const auto facts = desktop_.Facts(window, true);
    if (!facts || !facts->visible) return std::nullopt;
    if (!rules_.Hides(*facts, RuleAction::Appear)) {
        if (!IsEligible(*facts)) return std::nullopt;
        decision.verdict = Verdict::NotThisCaption;
        if (captionAppear_ && !captionEventsSeen_ && Settling(decision, nowMs) &&
            captionWatches_.size() < kMaxWatches) {
            captionWatches_.emplace_back(window, nowMs);
        }
        return std::nullopt;
    }
    decision.verdict = Verdict::LeftAlone;
    const WindowKey key = KeyOf(desktop_, window);
    if (memory_.Contains(key)) return std::nullopt;
    // Hidden once by a rule: if its program shows it again, the program wins, or the two of us
    // would take turns for as long as the window lives (and the hidden list would grow).
    memory_.Remember(key);
    watches_.Unwatch(window);
    return RuleHide{window, RuleAction::Appear};
}

}  // namespace quenvix::core
