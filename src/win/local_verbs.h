#pragma once
// The options this process answers by itself before anything of the program starts: the
// guardian's run ("--guard", started by a running copy) and "--restore-recorded" (an
// uninstaller's last word). Everything else goes on to HandleCommandLine.
#include <optional>

#include "core/ports/desktop.h"
#include "core/ports/registry_backend.h"

namespace quenvix::win {

// The exit code when the command line asked for one of these, otherwise nothing. The guardian's
// run creates no window and loads nothing beyond what the program's imports bring.
std::optional<int> HandleLocalVerb(core::RegistryBackend& registry, core::Desktop& desktop);

// "--restore-recorded": when no copy runs in this session, shows every window of this session's
// recovery record that is still the window it names, as the next start would take it back and
// then give it back, and leaves the record empty. With a copy running it does nothing: that copy
// holds the windows and gives them back at its own end. Answers the exit code.
int RestoreRecordedWindows(core::RegistryBackend& registry, core::Desktop& desktop);

}  // namespace quenvix::win
