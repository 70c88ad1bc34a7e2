#pragma once
// Runs `fn` and answers the core's error message it threw, or "(no error)".
#include <string>
#include <utility>

#include "core/error.h"

namespace quenvix::test {

template <class Fn>
std::string ErrorOf(Fn&& fn) {
    try {
        std::forward<Fn>(fn)();
    } catch (const core::Error& e) {
        return e.what();
    }
    return "(no error)";
}

}  // namespace quenvix::test
