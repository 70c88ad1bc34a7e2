#pragma once
// The settings file of a portable copy, in memory: its text, whether it exists or can be read, and
// a switch that makes every replacement fail the way a read-only file or a full disk does (the old
// text stays whole).
#include <string>
#include <string_view>

#include "core/ports/settings_file.h"

namespace quenvix::test {

class MemorySettingsFile : public core::SettingsFile {
  public:
    State state = State::Missing;
    std::string text;
    bool failReplace = false;
    int replaces = 0;  // successful ones

    Contents Read() override { return {state, state == State::Read ? text : std::string()}; }
    bool Replace(std::string_view newText) override {
        if (failReplace || state == State::Unreadable) return false;
        text = newText;
        state = State::Read;
        ++replaces;
        return true;
    }
};

}  // namespace quenvix::test
