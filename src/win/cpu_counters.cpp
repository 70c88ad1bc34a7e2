#include "win/cpu_counters.h"

#include <windows.h>

#include "win/log.h"

namespace quenvix::win {

namespace {

std::int64_t Ticks(const FILETIME& time) {
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) |
                                     time.dwLowDateTime);
}

}  // namespace

std::optional<unsigned> Win32CpuCounters::ProcessorCount() {
    // GetSystemTimes sums the idle time over every processor of every group, so the count must
    // span the groups too (GetSystemInfo counts only the calling thread's group).
    // https://learn.microsoft.com/windows/win32/api/winbase/nf-winbase-getactiveprocessorcount
    const DWORD count = GetActiveProcessorCount(ALL_PROCESSOR_GROUPS);
    if (count != 0) return static_cast<unsigned>(count);
    SYSTEM_INFO info{};
    GetSystemInfo(&info);
    if (info.dwNumberOfProcessors == 0) return std::nullopt;
    return static_cast<unsigned>(info.dwNumberOfProcessors);
}

std::optional<std::int64_t> Win32CpuCounters::SystemTime() {
    // The current time of day in 100 ns units: the same unit as the idle time.
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    return Ticks(now);
}

std::optional<std::int64_t> Win32CpuCounters::IdleTime() {
    // "On a multiprocessor system, the values returned are the sum of the designated times
    // across all processors."
    // https://learn.microsoft.com/windows/win32/api/processthreadsapi/nf-processthreadsapi-getsystemtimes
    FILETIME idle{}, kernel{}, user{};
    if (!GetSystemTimes(&idle, &kernel, &user)) {
        if (!idleFailureLogged_.exchange(true)) LogLastError("GetSystemTimes");
        return std::nullopt;
    }
    return Ticks(idle);
}

bool IsWinNT() {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    if (!GetVersionExW(&info)) return false;
    return info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

}  // namespace quenvix::win
