#pragma once
// The crash-recovery record: while windows are hidden, enough about each is kept in the
// settings store that a restarted program can take them back. Without it a crash would leave
// those windows hidden for good, with nothing on screen to bring them back.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/ports/desktop.h"

namespace quenvix::core {

inline constexpr std::string_view kRecoverySection = "Hidden";
inline constexpr std::string_view kRecoveryValue = "Windows";

struct RecoveryEntry {
    WindowId handle = kNoWindow;
    WindowOrigin origin;
    std::uint8_t state = 0;  // 0 normal, 1 minimised, 2 maximised
    std::string caption;

    friend bool operator==(const RecoveryEntry&, const RecoveryEntry&) = default;
};

// Longest caption kept in the record; the caption is only a fallback there.
inline constexpr std::size_t kRecoveryCaptionLimit = 256;
// Entries read back at most: a damaged value must not make the start-up crawl.
inline constexpr std::size_t kRecoveryEntryLimit = 4096;

// One line per entry: "handle pid start thread state caption", numbers in decimal, the caption
// last with backslash, CR, LF and NUL escaped so that a line never breaks inside it.
std::string EncodeRecovery(const std::vector<RecoveryEntry>& entries);

// The entries of `text` that are well formed, in order; anything else is skipped line by line.
std::vector<RecoveryEntry> DecodeRecovery(std::string_view text);

}  // namespace quenvix::core
