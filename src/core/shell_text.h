#pragma once
// Targets the program hands to the shell, and its entry in the user's list of programs started
// at log-on.
#include <string>
#include <string_view>

namespace quenvix::core {

class RegistryBackend;

// "mailto:" + the support address + "?subject=" + caption. The caption goes in as it is, blanks
// and parentheses included: mail programs accept it so.
std::string SupportMailLink(std::string_view caption);

// The help page "Help\Default.htm" in the directory of `executablePath`.
std::string HelpPageBeside(std::string_view executablePath);

// Below HKEY_CURRENT_USER.
inline constexpr std::string_view kRunKeyPath = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// Whether `path` lies inside `folder` (or one below it), compared as Windows compares paths:
// without regard to case, either slash, with or without a trailing one. False for an empty folder.
bool IsInsideFolder(std::string_view path, std::string_view folder);

// What became of the Run value.
enum class RunEntry { Written, Removed, Untouched, FromTemporaryFolder };

// Writes the program's Run value (the quoted executable path) when `on`, deletes it otherwise.
// A program started from inside `temporaryFolder` (a zip opened in place, an archive tool's
// extraction) is gone by the next log-on: no value is written for it, and FromTemporaryFolder
// says so, for the user to hear. When the Run key cannot be opened the entry is left as it was
// and nothing is reported; a value the registry refuses raises "Failed to set data for 'Quenvix'".
RunEntry ApplyRunOnStartup(RegistryBackend& registry, bool on, std::string_view executablePath,
                           std::string_view temporaryFolder = {});

}  // namespace quenvix::core
