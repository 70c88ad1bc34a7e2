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

// Writes the program's Run value (the quoted executable path) when `on`, deletes it otherwise.
// When the Run key cannot be opened the entry is left as it was and nothing is reported; a value
// the registry refuses raises "Failed to set data for 'Quenvix'".
void ApplyRunOnStartup(RegistryBackend& registry, bool on, std::string_view executablePath);

}  // namespace quenvix::core
