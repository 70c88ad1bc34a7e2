#pragma once
// A visible ordinary program window as the rules see it, for the rule tests and benchmark.
#include <string>
#include <utility>

#include "core/rules.h"

namespace quenvix::test {

inline core::WindowFacts VisibleWindow(std::string exe, std::string cls, std::string caption) {
    core::WindowFacts facts;
    facts.executable = std::move(exe);
    facts.windowClass = std::move(cls);
    facts.caption = std::move(caption);
    facts.visible = true;
    return facts;
}

}  // namespace quenvix::test
