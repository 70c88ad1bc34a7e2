#pragma once
// What the program is asked to do by its command line, and the small fixed-size message that
// carries such a request to the copy that is already running.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quenvix::core {

enum class CommandVerb { Start, Exit, RestoreAll, HideAll, Show, Version, Help };

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

std::string UsageText();
std::string VersionText();

// The request as it travels to the running copy: the magic goes beside the payload (the copy-data
// tag), the payload is a format number and the verb's code, little-endian.
inline constexpr std::uint32_t kForwardMagic = 0x51565843;  // "QVXC"
inline constexpr std::size_t kForwardPayloadSize = 8;
using ForwardPayload = std::array<std::uint8_t, kForwardPayloadSize>;

// Only verbs for which NeedsRunningCopy is true can be encoded.
ForwardPayload EncodeForwardedVerb(CommandVerb verb);
// The verb of a received request, or nothing when the tag, the size, the format or the code is not
// exactly what EncodeForwardedVerb makes.
std::optional<CommandVerb> DecodeForwardedVerb(std::uint64_t magic, const void* data,
                                               std::size_t size);

}  // namespace quenvix::core
