#include "win/cpu_counters.h"

// clang-format off
#include <windows.h>
#include <winternl.h>
// clang-format on

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "win/log.h"

namespace quenvix::win {

namespace {

// The 64-bit layouts of the three information records, and where the fields we use sit.
constexpr ULONG kBasicInformation = 0;
constexpr ULONG kTimeOfDayInformation = 3;
constexpr ULONG kProcessorPerformanceInformation = 8;
constexpr ULONG kBasicSize = 64;
constexpr std::size_t kProcessorCountOffset = 56;  // unsigned 8-bit
constexpr ULONG kTimeOfDaySize = 48;
constexpr std::size_t kCurrentTimeOffset = 8;
constexpr ULONG kProcessorRecordSize = 48;  // one per processor
constexpr std::size_t kIdleTimeOffset = 0;

static_assert(sizeof(SYSTEM_BASIC_INFORMATION) == kBasicSize);
static_assert(offsetof(SYSTEM_BASIC_INFORMATION, NumberOfProcessors) == kProcessorCountOffset);
static_assert(sizeof(SYSTEM_TIMEOFDAY_INFORMATION) == kTimeOfDaySize);
static_assert(offsetof(SYSTEM_TIMEOFDAY_INFORMATION, CurrentTime) == kCurrentTimeOffset);
static_assert(sizeof(SYSTEM_PROCESSOR_PERFORMANCE_INFORMATION) == kProcessorRecordSize);
static_assert(offsetof(SYSTEM_PROCESSOR_PERFORMANCE_INFORMATION, IdleTime) == kIdleTimeOffset);

constexpr LONG kStatusInfoLengthMismatch = static_cast<LONG>(0xC0000004);
constexpr ULONG kLargestRecord = 4096;

// Fills `buffer` with record `infoClass`. Some systems know a longer (newer) or shorter (older)
// form of a record than ours; they say which, and the query is made once more with that size.
using Record = std::array<std::uint64_t, kLargestRecord / 8>;

// `filled`, when given, receives how many bytes the system wrote.
bool Query(Win32CpuCounters::QueryFn query, ULONG infoClass, ULONG size, Record& buffer,
           ULONG* filled = nullptr) {
    if (!query) return false;
    for (int attempt = 0; attempt < 2; ++attempt) {
        buffer.fill(0);
        ULONG wanted = 0;
        const LONG status = query(infoClass, buffer.data(), size, &wanted);
        if (status == 0) {
            if (filled) *filled = std::min(wanted, size);
            return true;
        }
        if (status != kStatusInfoLengthMismatch || wanted == 0 || wanted == size ||
            wanted > kLargestRecord) {
            // The gauge stops for good after a refusal: this is traced once per class at most.
            char text[96];
            std::snprintf(text, sizeof text,
                          "NtQuerySystemInformation (class %lu, %lu bytes) failed: 0x%08lX",
                          static_cast<unsigned long>(infoClass), static_cast<unsigned long>(size),
                          static_cast<unsigned long>(status));
            Log(text);
            return false;
        }
        size = wanted;
    }
    return false;
}

template <class T>
std::optional<T> Field(const Record& buffer, std::size_t offset) {
    if (offset + sizeof(T) > buffer.size() * sizeof(std::uint64_t)) return std::nullopt;
    T value;
    std::memcpy(&value, reinterpret_cast<const unsigned char*>(buffer.data()) + offset, sizeof(T));
    return value;
}

}  // namespace

Win32CpuCounters::Win32CpuCounters()
    : query_(reinterpret_cast<QueryFn>(reinterpret_cast<void*>(
          GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")))) {
    if (!query_) LogLastError("GetProcAddress (NtQuerySystemInformation)");
}

std::optional<unsigned> Win32CpuCounters::ProcessorCount() {
    Record buffer;
    if (!Query(query_, kBasicInformation, kBasicSize, buffer)) return std::nullopt;
    const auto count = Field<std::uint8_t>(buffer, kProcessorCountOffset);
    if (!count) return std::nullopt;
    return *count;
}

std::optional<std::int64_t> Win32CpuCounters::SystemTime() {
    Record buffer;
    if (!Query(query_, kTimeOfDayInformation, kTimeOfDaySize, buffer)) return std::nullopt;
    return Field<std::int64_t>(buffer, kCurrentTimeOffset);
}

std::optional<std::int64_t> Win32CpuCounters::IdleTime() {
    // The idle time of every processor, summed: the same figure as the system-wide performance
    // record's, which under Wine costs half as much again to read (it gathers the memory
    // figures too), twice a second.
    Record buffer;
    constexpr ULONG kRoom = kLargestRecord / kProcessorRecordSize * kProcessorRecordSize;
    ULONG filled = 0;
    if (!Query(query_, kProcessorPerformanceInformation, kRoom, buffer, &filled)) {
        return std::nullopt;
    }
    if (filled < kProcessorRecordSize) return std::nullopt;
    std::int64_t idle = 0;
    for (ULONG at = 0; at + kProcessorRecordSize <= filled; at += kProcessorRecordSize) {
        idle += Field<std::int64_t>(buffer, at + kIdleTimeOffset).value_or(0);
    }
    return idle;
}

bool IsWinNT() {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    if (!GetVersionExW(&info)) return false;
    return info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

}  // namespace quenvix::win
