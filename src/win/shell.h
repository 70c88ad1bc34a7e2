#pragma once
// Handing documents, addresses and mail links to the shell; the installation identifier; the
// program's own path and its entry among the programs started at log-on.
#include <string>
#include <string_view>

#include "core/ports/registry_backend.h"
#include "core/shell_text.h"

namespace quenvix::win {

// Opens `target` (a path, URL or mailto link) with the verb "open". The shell shows no message
// when it fails and neither does the program: the answer is only whether the shell accepted it.
bool ShellOpen(std::string_view target) noexcept;

// A new GUID in its 38-character braced form, or the empty text when none can be made.
std::string NewGUIDString();

// The full path of the running executable.
std::string ExecutablePath();

// "Help\Default.htm" beside the executable.
std::string HelpPagePath();

// The user's folder for temporary files, in its long form (the system may hand out the short
// 8.3 one, while our own path comes long); empty when it cannot be had.
std::string TemporaryFolder();

// Registers (on) or unregisters (off) the running executable under the current user's Run key,
// except from inside the temporary folder, where it would be gone by the next log-on. Silent when
// that key cannot be opened; a refused write raises the store's message.
core::RunEntry SetRunOnStartup(core::RegistryBackend& registry, bool on);

}  // namespace quenvix::win
