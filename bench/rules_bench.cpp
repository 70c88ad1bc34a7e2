// What one rule check costs for a window, with the most rules we read (256): the case folding of
// the window's texts and the comparison against every rule, for a window that no rule matches
// (the common case, and the worst: every rule is looked at), one that the last rule matches, and
// one with a very long caption. Reported per window. Then the window events the rules can judge
// per second, for a program that shows its window again and again (its program matches a rule,
// its caption does not): with the decision kept for the window's life, and judged afresh each
// time as before it was kept; "queries/event" counts the questions to the system per event
// (each one an OpenProcess or a caption request on Windows).
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "core/rule_engine.h"
#include "core/rules.h"
#include "fakes/fake_desktop.h"
#include "fakes/window_facts.h"

namespace {

using quenvix::core::Rule;
using quenvix::core::RuleAction;
using quenvix::core::RuleSet;
using quenvix::core::WindowFacts;
using quenvix::core::WindowKey;

RuleSet ManyRules() {
    std::vector<Rule> rules;
    for (std::size_t i = 0; i < quenvix::core::kMaxRules; ++i) {
        Rule rule;
        rule.action = i % 2 ? RuleAction::Appear : RuleAction::Minimise;
        // A mix of the three kinds of match, each with text of a realistic length.
        switch (i % 3) {
            case 0:
                rule.executable = "Program" + std::to_string(i) + ".exe";
                break;
            case 1:
                rule.windowClass = "Application.Window.Class" + std::to_string(i);
                break;
            default:
                rule.caption = "Écrire – Project " + std::to_string(i) + ".";
                rule.executable = "Editor.exe";
                break;
        }
        rules.push_back(std::move(rule));
    }
    return RuleSet(std::move(rules));
}

void Check(benchmark::State& state, const WindowFacts& facts) {
    const RuleSet rules = ManyRules();
    for (auto _ : state) benchmark::DoNotOptimize(rules.ActionFor(facts));
    state.SetItemsProcessed(state.iterations());
}

void BM_RuleCheckNoMatch(benchmark::State& state) {
    Check(state, quenvix::test::VisibleWindow("EDITOR.EXE", "Application.Window.ClassX",
                                              "Some document - Écrire – Project X - Editor"));
}
BENCHMARK(BM_RuleCheckNoMatch)->Unit(benchmark::kMicrosecond);

void BM_RuleCheckLastRuleMatches(benchmark::State& state) {
    Check(state,
          quenvix::test::VisibleWindow("Editor.exe", "Frame", "ÉCRIRE – PROJECT 254. - Editor"));
}
BENCHMARK(BM_RuleCheckLastRuleMatches)->Unit(benchmark::kMicrosecond);

void BM_RuleCheckLongCaption(benchmark::State& state) {
    std::string caption;
    while (caption.size() < 4096) caption += "Écrire – Project ";
    Check(state, quenvix::test::VisibleWindow("Editor.exe", "Frame", caption));
}
BENCHMARK(BM_RuleCheckLongCaption)->Unit(benchmark::kMicrosecond);

void JudgeShows(benchmark::State& state, bool forgetBetween) {
    // One window of a program a rule names, whose caption no rule wants.
    quenvix::test::FakeDesktop desktop;
    quenvix::test::FakeWindow& window = desktop.Add(1);
    window.executable = "Editor.exe";
    window.caption = "Some document - Editor";
    quenvix::core::RuleEngine engine(desktop, {});
    engine.SetRules(ManyRules());
    std::uint64_t now = 0;
    for (auto _ : state) {
        // A destroy event between two shows makes the engine judge the window as new, every time:
        // the cost of each event before decisions were kept.
        if (forgetBetween) engine.OnEvent(quenvix::core::RuleEvent::Destroyed, 1, now);
        benchmark::DoNotOptimize(engine.OnEvent(quenvix::core::RuleEvent::Shown, 1, ++now));
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["queries/event"] =
        static_cast<double>(desktop.factReads) / static_cast<double>(state.iterations());
}

void BM_ShowEventsJudgedOncePerWindow(benchmark::State& state) {
    JudgeShows(state, false);
}
BENCHMARK(BM_ShowEventsJudgedOncePerWindow);

void BM_ShowEventsJudgedEveryTime(benchmark::State& state) {
    JudgeShows(state, true);
}
BENCHMARK(BM_ShowEventsJudgedEveryTime);

}  // namespace
