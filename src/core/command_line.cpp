#include "core/command_line.h"

#include <cstring>

#include "core/product.h"
#include "core/text.h"

namespace quenvix::core {

namespace {

struct VerbName {
    std::string_view name;
    CommandVerb verb;
    // The code on the wire; 0 for verbs that are never forwarded.
    std::uint32_t code;
};

constexpr VerbName kVerbs[] = {
    {"exit", CommandVerb::Exit, 1},        {"restore-all", CommandVerb::RestoreAll, 2},
    {"hide-all", CommandVerb::HideAll, 3}, {"show", CommandVerb::Show, 4},
    {"version", CommandVerb::Version, 0},  {"help", CommandVerb::Help, 0},
    {"?", CommandVerb::Help, 0},           {"restore-recorded", CommandVerb::RestoreRecorded, 0},
};

// Raised whenever the request changes shape, so that copies of different versions refuse each
// other's requests instead of misreading them.
constexpr std::uint32_t kForwardFormat = 2;
// Longer than any option, short enough to quote back to the user.
constexpr std::size_t kMaxArgumentLength = 32;
constexpr std::size_t kMaxArguments = 16;

std::string_view TrimBlanks(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

std::string Refusal(std::string reason) {
    return reason + "\nTry 'quenvix.exe --help'.";
}

const VerbName* FindVerb(std::string_view option) {
    std::string_view name;
    if (option.starts_with("--")) {
        name = option.substr(2);
    } else if (option.starts_with("-") || option.starts_with("/")) {
        name = option.substr(1);
    } else {
        return nullptr;
    }
    const std::string lower = AsciiLower(name);
    for (const auto& verb : kVerbs) {
        if (verb.name == lower) return &verb;
    }
    return nullptr;
}

void PutLittleEndian(std::uint32_t value, int bytes, std::uint8_t* out) {
    for (int i = 0; i < bytes; ++i) out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t GetLittleEndian(const std::uint8_t* in, int bytes) {
    std::uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | in[i];
    return value;
}

}  // namespace

CommandLineRequest ParseCommandLine(const std::vector<std::string>& args) {
    CommandLineRequest request;
    if (args.size() > kMaxArguments) {
        request.error = Refusal("Too many arguments.");
        return request;
    }
    const VerbName* chosen = nullptr;
    std::string chosenText;
    for (const auto& raw : args) {
        const std::string_view arg = TrimBlanks(raw);
        if (arg.empty()) continue;
        if (arg.size() > kMaxArgumentLength) {
            request.error = Refusal("Argument too long (" + std::to_string(arg.size()) +
                                    " bytes): '" + std::string(arg.substr(0, 16)) + "...'.");
            return request;
        }
        for (const char c : arg) {
            if (static_cast<unsigned char>(c) >= 0x80 || static_cast<unsigned char>(c) < 0x20) {
                request.error = Refusal("Argument with characters other than plain ASCII: '" +
                                        std::string(arg) + "'.");
                return request;
            }
        }
        const VerbName* verb = FindVerb(arg);
        if (!verb) {
            request.error = Refusal("Unknown argument '" + std::string(arg) + "'.");
            return request;
        }
        if (chosen) {
            request.error = Refusal("One option at a time: got '" + chosenText + "' and '" +
                                    std::string(arg) + "'.");
            return request;
        }
        chosen = verb;
        chosenText = arg;
    }
    if (chosen) request.verb = chosen->verb;
    return request;
}

bool NeedsRunningCopy(CommandVerb verb) {
    return CommandOfVerb(verb).has_value();
}

std::optional<Command> CommandOfVerb(CommandVerb verb) {
    for (const VerbCommand& row : kVerbCommands) {
        if (row.verb == verb) return row.command;
    }
    return std::nullopt;
}

std::optional<CommandVerb> VerbOfCommand(Command command) {
    for (const VerbCommand& row : kVerbCommands) {
        if (row.command == command) return row.verb;
    }
    return std::nullopt;
}

std::string UsageText() {
    return "Usage: quenvix.exe [--exit | --restore-all | --hide-all | --show |\n"
           "                   --restore-recorded | --version | --help]\n"
           "\n"
           "Without an option Quenvix starts into the tray. An option goes to the copy that is\n"
           "already running:\n"
           "  --exit         end it; every window it holds hidden comes back\n"
           "  --restore-all  bring back every hidden window\n"
           "  --hide-all     hide every program window (as Ctrl + keypad /)\n"
           "  --show         show the settings window\n"
           "These need no running copy:\n"
           "  --restore-recorded\n"
           "                 when none runs, bring back the windows that a copy which did\n"
           "                 not end cleanly left hidden (as the next start would)\n"
           "  --version      print the version\n"
           "  --help         print this text\n"
           "Options may also be written -exit or /exit, in any case.\n"
           "Exit codes: 0 done, 1 Quenvix is not running, 2 bad command line.";
}

std::string VersionText() {
    return std::string(kProductName) + " " + std::string(kVersion);
}

ForwardRequest EncodeForwardedVerb(CommandVerb verb) {
    ForwardRequest request{};
    PutLittleEndian(kForwardMagic, 4, request.data());
    PutLittleEndian(kForwardFormat, 2, request.data() + 4);
    for (const auto& entry : kVerbs) {
        if (entry.verb == verb && entry.code != 0) {
            PutLittleEndian(entry.code, 2, request.data() + 6);
            break;
        }
    }
    return request;
}

std::optional<CommandVerb> DecodeForwardedVerb(const void* data, std::size_t size) {
    // Whatever arrives is from another process: only the exact size is even looked at.
    if (data == nullptr || size != kForwardRequestSize) return {};
    ForwardRequest request{};
    std::memcpy(request.data(), data, kForwardRequestSize);
    if (GetLittleEndian(request.data(), 4) != kForwardMagic ||
        GetLittleEndian(request.data() + 4, 2) != kForwardFormat) {
        return {};
    }
    const std::uint32_t code = GetLittleEndian(request.data() + 6, 2);
    for (const auto& entry : kVerbs) {
        if (entry.code != 0 && entry.code == code) return entry.verb;
    }
    return {};
}

ForwardReply EncodeForwardReply(int exitCode) {
    ForwardReply reply{};
    PutLittleEndian(kReplyMagic, 4, reply.data());
    PutLittleEndian(static_cast<std::uint32_t>(exitCode), 4, reply.data() + 4);
    return reply;
}

std::optional<int> DecodeForwardReply(const void* data, std::size_t size) {
    if (data == nullptr || size != kForwardReplySize) return {};
    ForwardReply reply{};
    std::memcpy(reply.data(), data, kForwardReplySize);
    if (GetLittleEndian(reply.data(), 4) != kReplyMagic) return {};
    const std::uint32_t code = GetLittleEndian(reply.data() + 4, 4);
    if (code != static_cast<std::uint32_t>(kExitDone) &&
        code != static_cast<std::uint32_t>(kExitNotRunning)) {
        return {};
    }
    return static_cast<int>(code);
}

}  // namespace quenvix::core
