#pragma once
// The one text file that holds every setting of a portable copy (core/file_registry.h reads and
// writes it). The Win32 adapter keeps it beside the program; the unit tests keep it in memory.
#include <string>
#include <string_view>

namespace quenvix::core {

class SettingsFile {
  public:
    enum class State {
        Missing,     // no file yet: nothing stored
        Read,        // `text` is the whole file
        Unreadable,  // there, but it cannot be read now (locked, no access): must not be replaced
    };
    struct Contents {
        State state = State::Missing;
        std::string text;
    };

    virtual ~SettingsFile() = default;

    virtual Contents Read() = 0;
    // Puts `text` in the file's place as one step: afterwards the file holds either all of the new
    // text or, on failure (read-only file, full disk, a crash), all of the old one.
    virtual bool Replace(std::string_view text) = 0;
};

}  // namespace quenvix::core
