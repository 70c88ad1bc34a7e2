#include "core/recovery.h"

#include <charconv>
#include <limits>
#include <optional>

#include "core/error.h"
#include "core/settings_store.h"
#include "core/text.h"

namespace quenvix::core {
namespace {

void AppendEscaped(std::string& out, std::string_view text) {
    for (char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\0':
                out += "\\0";
                break;
            default:
                out += c;
        }
    }
}

std::string Unescaped(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        switch (text[++i]) {
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case '0':
                out += '\0';
                break;
            default:
                out += text[i];  // "\\" and anything unknown: the character itself
        }
    }
    return out;
}

// Takes one decimal field ended by a space off the front of `rest`. Leading zeros, signs,
// blanks and values beyond the type are refused.
template <class T>
std::optional<T> TakeNumber(std::string_view& rest) {
    const auto space = rest.find(' ');
    if (space == std::string_view::npos) return std::nullopt;
    const std::string_view field = rest.substr(0, space);
    if (field.empty() || (field.size() > 1 && field[0] == '0')) return std::nullopt;
    T value{};
    const auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), value);
    if (ec != std::errc{} || end != field.data() + field.size()) return std::nullopt;
    rest.remove_prefix(space + 1);
    return value;
}

constexpr char kUserStateMark = '=';

std::optional<ShowState> StateOf(char digit) {
    if (digit < '0' || digit > '2') return std::nullopt;
    return static_cast<ShowState>(digit - '0');
}

char DigitOf(ShowState state) {
    return static_cast<char>('0' + static_cast<int>(state));
}

// "=handle state": the user's state of the entry with that handle.
void ApplyUserState(std::string_view line, std::vector<RecoveryEntry>& entries) {
    line.remove_prefix(1);
    const auto handle = TakeNumber<std::uint64_t>(line);
    const auto state = line.size() == 1 ? StateOf(line[0]) : std::nullopt;
    if (!handle || !state) return;
    for (auto e = entries.rbegin(); e != entries.rend(); ++e) {
        if (e->handle == *handle) {
            e->userState = *state;
            return;
        }
    }
}

std::optional<RecoveryEntry> DecodeLine(std::string_view line) {
    const auto handle = TakeNumber<std::uint64_t>(line);
    const auto pid = TakeNumber<std::uint32_t>(line);
    const auto start = TakeNumber<std::uint64_t>(line);
    const auto thread = TakeNumber<std::uint32_t>(line);
    if (!handle || !pid || !start || !thread || *handle == kNoWindow) return std::nullopt;
    // The state is the one digit before the caption; the caption may be empty.
    const auto state = line.empty() ? std::nullopt : StateOf(line[0]);
    if (!state) return std::nullopt;
    if (line.size() > 1 && line[1] != ' ') return std::nullopt;
    RecoveryEntry entry;
    entry.handle = *handle;
    entry.origin = {*pid, *thread, *start};
    entry.state = *state;
    if (line.size() > 2) {
        entry.caption = FirstCharacters(Unescaped(line.substr(2)), kRecoveryCaptionLimit);
    }
    return entry;
}

}  // namespace

RecoveryEntry MakeRecoveryEntry(WindowId handle, const WindowOrigin& origin, ShowState state,
                                ShowState userState, std::string caption) {
    RecoveryEntry entry{handle, origin, state, std::move(caption), {}};
    if (userState != state) entry.userState = userState;
    return entry;
}

std::string EncodeRecovery(const std::vector<RecoveryEntry>& entries) {
    std::string out;
    for (const auto& e : entries) out += EncodeRecoveryLine(e);
    return out;
}

std::string EncodeRecoveryLine(const RecoveryEntry& e) {
    std::string out = std::to_string(e.handle);
    out += ' ';
    out += std::to_string(e.origin.processId);
    out += ' ';
    out += std::to_string(e.origin.processStartTime);
    out += ' ';
    out += std::to_string(e.origin.threadId);
    out += ' ';
    out += DigitOf(e.state);
    out += ' ';
    AppendEscaped(out, FirstCharacters(e.caption, kRecoveryCaptionLimit));
    out += '\n';
    if (UserState(e) != e.state) {
        out += kUserStateMark;
        out += std::to_string(e.handle);
        out += ' ';
        out += DigitOf(UserState(e));
        out += '\n';
    }
    return out;
}

std::string JoinRecoveryLines(const std::vector<RecoveryEntry>& entries,
                              const std::vector<std::string>& lines,
                              const std::function<bool(WindowId)>& exists) {
    std::vector<bool> keep(lines.size(), true);
    std::size_t excess =
        lines.size() > kRecoveryEntryLimit ? lines.size() - kRecoveryEntryLimit : 0;
    for (std::size_t i = 0; i < lines.size() && excess > 0; ++i) {
        if (!exists(entries[i].handle)) {
            keep[i] = false;
            --excess;
        }
    }
    for (std::size_t i = 0; i < lines.size() && excess > 0; ++i) {
        if (keep[i]) {
            keep[i] = false;
            --excess;
        }
    }
    std::size_t length = 0;
    for (const std::string& line : lines) length += line.size();
    std::string text;
    text.reserve(length);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (keep[i]) text += lines[i];
    }
    return text;
}

std::vector<RecoveryEntry> DecodeRecovery(std::string_view text) {
    std::vector<RecoveryEntry> entries;
    while (!text.empty() && entries.size() < kRecoveryEntryLimit) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);  // edited on Windows
        if (line.starts_with(kUserStateMark)) {
            ApplyUserState(line, entries);
        } else if (auto entry = DecodeLine(line)) {
            entries.push_back(std::move(*entry));
        }
    }
    return entries;
}

std::optional<std::string> ReadRecoveryText(SettingsStore& store, std::string_view value) {
    std::optional<std::string> text;
    try {
        text = store.ReadString(kRecoverySection, value, "");
    } catch (const Error&) {
        return std::nullopt;  // a value of another type
    }
    if (text->size() > kRecoveryTextLimit) return std::nullopt;
    return text;
}

bool WriteRecoveryText(SettingsStore& store, std::string_view value, std::string_view text) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            store.WriteString(kRecoverySection, value, text);
            return true;
        } catch (const Error&) {
        }
    }
    return false;
}

LegacyTakeOver TakeOverLegacyRecord(SettingsStore& store, std::string_view sessionValue) {
    if (sessionValue == kRecoveryValue) return LegacyTakeOver::Nothing;
    const std::optional<std::string> legacy = ReadRecoveryText(store, kRecoveryValue);
    if (!legacy) return LegacyTakeOver::Unreadable;
    if (legacy->empty()) return LegacyTakeOver::Nothing;
    // Neither record is touched while this run's own cannot be read.
    const std::optional<std::string> own = ReadRecoveryText(store, sessionValue);
    if (!own) return LegacyTakeOver::Unreadable;
    if (own->empty() && !WriteRecoveryText(store, sessionValue, *legacy)) {
        return LegacyTakeOver::Nothing;  // the old record stays for a later start
    }
    WriteRecoveryText(store, kRecoveryValue, "");
    return LegacyTakeOver::TakenOver;
}

}  // namespace quenvix::core
