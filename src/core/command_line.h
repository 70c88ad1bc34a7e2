#pragma once
// What the program is asked to do by its command line, and the small fixed-size messages that
// carry such a request to the copy that is already running and its answer back.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/command.h"

namespace quenvix::core {

// RestoreRecorded is answered by the process that gets it (an uninstaller's last word).
enum class CommandVerb { Start, Exit, RestoreAll, HideAll, Show, Version, Help, RestoreRecorded };

struct CommandLineRequest {
    CommandVerb verb = CommandVerb::Start;
    // Why the command line was refused; empty when it was accepted.
    std::string error;
};

// Process exit codes of a run that only handles its command line.
inline constexpr int kExitDone = 0;
inline constexpr int kExitNotRunning = 1;
inline constexpr int kExitBadCommandLine = 2;

// `args` are the arguments after the program's name, UTF-8. No argument (or only blank ones)
// is a plain start. One option is accepted, written --name, -name or /name in any case, blanks
// around it ignored; anything else is refused with a message for the user.
CommandLineRequest ParseCommandLine(const std::vector<std::string>& args);

// Verbs that are carried out by the running copy rather than by the process that got them.
bool NeedsRunningCopy(CommandVerb verb);

// What the running copy does for each verb it is handed: exactly the verbs NeedsRunningCopy names.
struct VerbCommand {
    CommandVerb verb;
    Command command;
};
inline constexpr std::array<VerbCommand, 4> kVerbCommands{{
    {CommandVerb::Exit, Command::ExitUnasked},
    {CommandVerb::RestoreAll, Command::RestoreAll},
    {CommandVerb::HideAll, Command::HideAllWindows},
    {CommandVerb::Show, Command::ShowSettings},
}};
// The command of a verb the running copy carries out; nothing for any other verb.
std::optional<Command> CommandOfVerb(CommandVerb verb);
// The verb that asks a running copy for `command`; nothing when no option does.
std::optional<CommandVerb> VerbOfCommand(Command command);

std::string UsageText();
std::string VersionText();

// The request as it travels to the running copy through its command pipe, and the answer that
// comes back. Both are eight bytes, little-endian: a magic, then for the request a format number
// and the verb's code, for the reply the exit code the asking process ends with.
inline constexpr std::uint32_t kForwardMagic = 0x51565843;  // "QVXC"
inline constexpr std::uint32_t kReplyMagic = 0x51565852;    // "QVXR"
inline constexpr std::size_t kForwardRequestSize = 8;
inline constexpr std::size_t kForwardReplySize = 8;
using ForwardRequest = std::array<std::uint8_t, kForwardRequestSize>;
using ForwardReply = std::array<std::uint8_t, kForwardReplySize>;

// Only verbs for which NeedsRunningCopy is true can be encoded; any other gets code 0, which
// every receiver refuses.
ForwardRequest EncodeForwardedVerb(CommandVerb verb);
// The verb of a received request, or nothing when the size, the magic, the format or the code is
// not exactly what EncodeForwardedVerb makes. `data` may be null only with `size` 0.
std::optional<CommandVerb> DecodeForwardedVerb(const void* data, std::size_t size);

// The running copy's answer: kExitDone when it took the request, kExitNotRunning when it did not.
ForwardReply EncodeForwardReply(int exitCode);
// The exit code of a received answer, or nothing when it is not one EncodeForwardReply makes.
std::optional<int> DecodeForwardReply(const void* data, std::size_t size);

}  // namespace quenvix::core
