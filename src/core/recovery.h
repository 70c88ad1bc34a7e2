#pragma once
// The crash-recovery record: while windows are hidden, enough about each is kept in the
// settings store that a restarted program can take them back. Without it a crash would leave
// those windows hidden for good, with nothing on screen to bring them back.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/ports/desktop.h"

namespace quenvix::core {

class SettingsStore;

inline constexpr std::string_view kRecoverySection = "Hidden";
inline constexpr std::string_view kRecoveryValue = "Windows";

// How a hidden window comes back; stored in the record as its digit.
enum class ShowState : std::uint8_t { Normal = 0, Minimized = 1, Maximized = 2 };

struct RecoveryEntry {
    WindowId handle = kNoWindow;
    WindowOrigin origin;
    // How it comes back when nobody asks for it: at Exit, the session's end, a crash or a kill.
    ShowState state = ShowState::Normal;
    std::string caption;
    // How it comes back when the user brings it back, where that differs: a window a "minimise"
    // rule took returns to where it was before that minimise only when the user asks for it.
    std::optional<ShowState> userState;

    friend bool operator==(const RecoveryEntry&, const RecoveryEntry&) = default;
};

inline ShowState UserState(const RecoveryEntry& entry) {
    return entry.userState.value_or(entry.state);
}

// An entry with the user's state kept only where it differs from `state`, as the record keeps it.
RecoveryEntry MakeRecoveryEntry(WindowId handle, const WindowOrigin& origin, ShowState state,
                                ShowState userState, std::string caption);

// Longest caption kept in the record; the caption is only a fallback there.
inline constexpr std::size_t kRecoveryCaptionLimit = 256;
// Entries read back at most: a damaged value must not make the start-up crawl.
inline constexpr std::size_t kRecoveryEntryLimit = 4096;

// Longest record text read back. Each entry line is at most about 1.1 KB (its caption escaped),
// so anything longer than the entry limit's worth is damage, not a record.
inline constexpr std::size_t kRecoveryTextLimit = kRecoveryEntryLimit * 1100;

// One line per entry: "handle pid start thread state caption", numbers in decimal, the caption
// last with backslash, CR, LF and NUL escaped so that a line never breaks inside it. An entry
// whose user's state differs has a second line, "=handle state": an earlier version skips it as
// a line it cannot read and still brings the window back in `state`.
std::string EncodeRecovery(const std::vector<RecoveryEntry>& entries);
// One entry's line, its "\n" included: the record is these lines in order.
std::string EncodeRecoveryLine(const RecoveryEntry& entry);

// The record's text from each entry's line, made once when the entry was (a write then only joins
// them). Beyond kRecoveryEntryLimit, entries whose window no longer `exists` give way first, the
// oldest of them first, then the oldest living ones: the newest windows are the ones a user is
// likeliest to miss.
std::string JoinRecoveryLines(const std::vector<RecoveryEntry>& entries,
                              const std::vector<std::string>& lines,
                              const std::function<bool(WindowId)>& exists);

// The entries of `text` that are well formed, in order; anything else is skipped line by line.
std::vector<RecoveryEntry> DecodeRecovery(std::string_view text);

// The record's text as stored under `value`: empty when there is none, nullopt when it cannot be
// used (not text, or far longer than any record we write). A record that cannot be read is left
// as it is: the next start may still make sense of it, and overwriting it would lose it for good.
std::optional<std::string> ReadRecoveryText(SettingsStore& store, std::string_view value);

// Writes the record, and once more if that fails: a key deleted under us (by a registry cleaner,
// say) is created afresh by the second attempt. False when both failed.
bool WriteRecoveryText(SettingsStore& store, std::string_view value, std::string_view text);

// Every record a start takes back. An earlier version kept one record, under the plain value
// name; each run now keeps its own, named after its session (`sessionValue`), and a run that finds
// that one unreadable keeps its own under "<sessionValue>-2", "-3", ... instead: a record that
// cannot be read is never written over, and every start takes back all that can be.
struct RecordsToTakeBack {
    // Where this run keeps its record: the session's own name unless that one cannot be read.
    std::string ownValue;
    // The entries of every readable record, the earlier version's first.
    std::vector<RecoveryEntry> entries;
    // The records read; those other than ownValue go once this run's record holds their entries.
    std::vector<std::string> readable;
    // Left exactly as they are (another type, far too long).
    std::vector<std::string> unreadable;
};

RecordsToTakeBack CollectRecords(SettingsStore& store, std::string_view sessionValue);

// Deletes the records taken back other than this run's own. Only once this run's record has been
// written: until then they are the only place those windows are named.
void RetireTakenRecords(SettingsStore& store, const RecordsToTakeBack& records);

}  // namespace quenvix::core
