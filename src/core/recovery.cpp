#include "core/recovery.h"

#include <algorithm>
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

namespace {

// "<sessionValue>-<n>" for n of 2 and more: 0 when `name` is not one of this session's spares.
int SpareNumber(std::string_view name, std::string_view sessionValue) {
    if (!name.starts_with(sessionValue) || name.size() < sessionValue.size() + 2 ||
        name[sessionValue.size()] != '-') {
        return 0;
    }
    std::string_view digits = name.substr(sessionValue.size() + 1);
    int n = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
    if (ec != std::errc{} || end != digits.data() + digits.size() || n < 2 || digits[0] == '0') {
        return 0;
    }
    return n;
}

std::string SpareName(std::string_view sessionValue, int n) {
    return std::string(sessionValue) + "-" + std::to_string(n);
}

}  // namespace

RecordsToTakeBack CollectRecords(SettingsStore& store, std::string_view sessionValue) {
    // Value names are compared as the registry compares them: without regard to case.
    const std::string legacy = AsciiLower(kRecoveryValue);
    const std::string session = AsciiLower(sessionValue);
    // The earlier version's record first, then the session's own, then its spares in order.
    std::vector<std::string> found;
    try {
        found = store.ValueNames(kRecoverySection);
    } catch (const Error&) {
        // The names cannot be listed: the two this version always knows are looked at all the same.
    }
    for (const std::string_view known : {kRecoveryValue, sessionValue}) {
        if (std::find(found.begin(), found.end(), known) == found.end()) found.emplace_back(known);
    }
    std::vector<std::pair<int, std::string>> names;
    for (std::string& name : found) {
        const std::string lower = AsciiLower(name);
        if (lower == legacy) {
            names.emplace_back(-1, std::move(name));
        } else if (lower == session) {
            names.emplace_back(0, std::move(name));
        } else if (const int n = SpareNumber(lower, session)) {
            names.emplace_back(n, std::move(name));
        }
    }
    // Found under both spellings (listed, and added as known): once.
    std::stable_sort(names.begin(), names.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    names.erase(std::unique(names.begin(), names.end(),
                            [](const auto& a, const auto& b) { return a.first == b.first; }),
                names.end());
    RecordsToTakeBack records;
    for (const auto& [order, name] : names) {
        const std::optional<std::string> text = ReadRecoveryText(store, name);
        if (!text) {
            records.unreadable.push_back(name);
            continue;
        }
        records.readable.push_back(name);
        for (RecoveryEntry& entry : DecodeRecovery(*text)) {
            records.entries.push_back(std::move(entry));
        }
    }
    const auto unreadable = [&](const std::string& name) {
        return std::any_of(records.unreadable.begin(), records.unreadable.end(),
                           [&](const std::string& u) { return AsciiLower(u) == AsciiLower(name); });
    };
    records.ownValue = std::string(sessionValue);
    for (int n = 2; unreadable(records.ownValue); ++n)
        records.ownValue = SpareName(sessionValue, n);
    return records;
}

void RetireTakenRecords(SettingsStore& store, const RecordsToTakeBack& records) {
    for (const std::string& name : records.readable) {
        if (AsciiLower(name) == AsciiLower(records.ownValue)) continue;
        try {
            store.DeleteValue(kRecoverySection, name);
        } catch (const Error&) {
            // Taken back again at the next start, and its windows known by their handles then.
        }
    }
}

}  // namespace quenvix::core
