#pragma once
// Handing documents, addresses and mail links to the shell; the installation identifier; the
// program's own path and its entry among the programs started at log-on.
#include <string>
#include <string_view>

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

// Registers (on) or unregisters (off) the running executable under the current user's Run key.
// Silent when that key cannot be opened; a refused write raises the store's message.
void SetRunOnStartup(bool on);

}  // namespace quenvix::win
