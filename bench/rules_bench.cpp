// What one rule check costs for a window, with the most rules we read (256): the case folding of
// the window's texts and the comparison against every rule, for a window that no rule matches
// (the common case, and the worst: every rule is looked at), one that the last rule matches, and
// one with a very long caption. Reported per window.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "core/rules.h"
#include "fakes/window_facts.h"

namespace {

using quenvix::core::Rule;
using quenvix::core::RuleAction;
using quenvix::core::RuleSet;
using quenvix::core::WindowFacts;

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

}  // namespace
