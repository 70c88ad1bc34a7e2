// quenvix_guardian.exe: waits for the copy of Quenvix it guards to end and, unless that copy
// ended the normal way with nothing hidden, shows every window of the copy's hidden list again.
// The crash filter covers a crash; it cannot cover what ends a process without running any of its
// code (TerminateProcess, Task Manager's "End task", a fail-fast, "taskkill /f"). Then only
// another process can give the windows back at once.
//
// It is kept as small as a waiting process can be: kernel32 and user32 only, no C runtime, no
// window, no thread of its own, one wait. See win/guardian_section.h for how it is started.
#include <windows.h>

#include "win/guardian_section.h"

// Without the C runtime the compiler's own calls for block copies and fills land here.
extern "C" void* memset(void* target, int value, size_t size) {
    auto* bytes = static_cast<volatile unsigned char*>(target);
    while (size--) *bytes++ = static_cast<unsigned char>(value);
    return target;
}

extern "C" void* memcpy(void* target, const void* source, size_t size) {
    auto* to = static_cast<volatile unsigned char*>(target);
    const auto* from = static_cast<const unsigned char*>(source);
    while (size--) *to++ = *from++;
    return target;
}

namespace quenvix::guardian {
namespace {

using win::GuardianSection;

// Exit codes of the guardian's run; the launcher's is the guardian's process id, 0 on failure.
constexpr UINT kDone = 0;
constexpr UINT kBadArguments = 2;

// The program's log: beside the programs in a portable copy (a "portable.ini" there), which writes
// nothing to %LOCALAPPDATA%, else in %LOCALAPPDATA%\Quenvix. False when there is none to be had.
bool LogPath(wchar_t (&path)[MAX_PATH + 40]) {
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
        wchar_t* slash = path + n;
        while (slash > path && *slash != L'\\') --slash;
        lstrcpyW(slash, L"\\portable.ini");
        if (GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES) {
            lstrcpyW(slash, L"\\quenvix.log");
            return true;
        }
    }
    const DWORD m = GetEnvironmentVariableW(L"LOCALAPPDATA", path, MAX_PATH);
    if (m == 0 || m >= MAX_PATH) return false;
    lstrcatW(path, L"\\Quenvix");
    CreateDirectoryW(path, nullptr);
    lstrcatW(path, L"\\quenvix.log");
    return true;
}

// Appends one line to the program's log, as the program's own log writes them. Best effort: the
// guardian has nothing to tell anyone if it cannot.
void Log(const char* text, unsigned long number = 0, unsigned long count = 0) {
    wchar_t path[MAX_PATH + 40];
    if (!LogPath(path)) return;
    const HANDLE file =
        CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    SYSTEMTIME now{};
    GetLocalTime(&now);
    char message[256];
    wsprintfA(message, text, number, count);
    char line[400];
    const int length = wsprintfA(line, "%04u-%02u-%02u %02u:%02u:%02u.%03u [%lu] %s\r\n", now.wYear,
                                 now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
                                 now.wMilliseconds, GetCurrentThreadId(), message);
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(length), &written, nullptr);
    CloseHandle(file);
}

// The command line after the program's name, which may be quoted.
const wchar_t* Arguments() {
    const wchar_t* p = GetCommandLineW();
    if (*p == L'"') {
        ++p;
        while (*p && *p != L'"') ++p;
        if (*p) ++p;
    } else {
        while (*p && *p != L' ' && *p != L'\t') ++p;
    }
    return p;
}

void SkipBlanks(const wchar_t*& p) {
    while (*p == L' ' || *p == L'\t') ++p;
}

bool TakeWord(const wchar_t*& p, const wchar_t* word) {
    SkipBlanks(p);
    const wchar_t* q = p;
    while (*word && *q == *word) ++q, ++word;
    if (*word || (*q && *q != L' ' && *q != L'\t')) return false;
    p = q;
    return true;
}

// One decimal number, as the copy writes it: digits only, no leading zero, below 2^63.
bool TakeNumber(const wchar_t*& p, unsigned long long& value) {
    SkipBlanks(p);
    if (*p < L'1' || *p > L'9') return false;
    value = 0;
    int digits = 0;
    while (*p >= L'0' && *p <= L'9') {
        if (++digits > 18) return false;
        value = value * 10 + static_cast<unsigned>(*p++ - L'0');
    }
    return *p == 0 || *p == L' ' || *p == L'\t';
}

struct GuardArguments {
    DWORD copy = 0;            // the copy's process id
    HANDLE process = nullptr;  // the copy's process, inherited, with SYNCHRONIZE
    HANDLE section = nullptr;  // the section, inherited, with FILE_MAP_READ
};

bool ParseGuardArguments(const wchar_t* p, GuardArguments& out) {
    unsigned long long copy = 0, process = 0, section = 0;
    if (!TakeNumber(p, copy) || !TakeNumber(p, process) || !TakeNumber(p, section)) return false;
    SkipBlanks(p);
    if (*p || copy > 0xFFFFFFFFull) return false;
    out.copy = static_cast<DWORD>(copy);
    out.process = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(process));
    out.section = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(section));
    return true;
}

// Starts `commandLine` with exactly the two handles inherited, out of our job where the job
// allows it; answers the new process's id, or 0.
DWORD StartWithHandles(wchar_t* commandLine, HANDLE process, HANDLE section) {
    wchar_t program[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, program, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return 0;
    wchar_t folder[MAX_PATH];
    const UINT f = GetSystemDirectoryW(folder, MAX_PATH);

    // Only these two handles are inherited, whatever else may be inheritable here
    // (https://learn.microsoft.com/en-us/windows/win32/api/processthreadsapi/nf-processthreadsapi-updateprocthreadattribute,
    // PROC_THREAD_ATTRIBUTE_HANDLE_LIST).
    alignas(8) unsigned char listStorage[256];
    SIZE_T size = sizeof listStorage;
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(listStorage);
    HANDLE handles[2] = {process, section};
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    // No window ever shows, so no "starting" cursor for it either.
    startup.StartupInfo.dwFlags = STARTF_FORCEOFFFEEDBACK;
    DWORD flags = 0;
    if (InitializeProcThreadAttributeList(list, 1, 0, &size) &&
        UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles,
                                  sizeof handles, nullptr, nullptr)) {
        startup.lpAttributeList = list;
        flags = EXTENDED_STARTUPINFO_PRESENT;
    }
    PROCESS_INFORMATION info{};
    // A job ended together with the copy (a launcher's, a terminal's) would take the guardian
    // with it. A job that forbids breakaway fails the call with access denied; then the guardian
    // shares it, and the log says so.
    BOOL started = CreateProcessW(
        program, commandLine, nullptr, nullptr, TRUE, flags | CREATE_BREAKAWAY_FROM_JOB, nullptr,
        f > 0 && f < MAX_PATH ? folder : nullptr, &startup.StartupInfo, &info);
    if (!started && GetLastError() == ERROR_ACCESS_DENIED) {
        Log("Guardian: the job Quenvix runs in allows no breakaway; the guardian shares it");
        started =
            CreateProcessW(program, commandLine, nullptr, nullptr, TRUE, flags, nullptr,
                           f > 0 && f < MAX_PATH ? folder : nullptr, &startup.StartupInfo, &info);
    }
    if (startup.lpAttributeList) DeleteProcThreadAttributeList(list);
    if (!started) {
        Log("Guardian: the launcher could not start the guardian (error %lu)", GetLastError());
        return 0;
    }
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return info.dwProcessId;
}

// The launcher: starts the guardian with the same arguments and ends at once.
UINT Detach(const wchar_t* arguments) {
    GuardArguments parsed;
    if (!ParseGuardArguments(arguments, parsed)) {
        Log("Guardian: started with arguments no copy of Quenvix makes; it ends");
        return 0;
    }
    wchar_t commandLine[200];
    // Kernel handles carry 32 significant bits, so that 32- and 64-bit processes can share them
    // (https://learn.microsoft.com/en-us/windows/win32/winprog64/interprocess-communication).
    wsprintfW(commandLine, L"\"%s\" %lu %lu %lu", quenvix::win::kGuardianProgram, parsed.copy,
              static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(parsed.process)),
              static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(parsed.section)));
    return StartWithHandles(commandLine, parsed.process, parsed.section);
}

// Whether another guardian, newer than this one and still running, owns the list.
bool ListOwnedByAnother(const GuardianSection& section) {
    const DWORD owner = section.guardianProcessId.load(std::memory_order_acquire);
    if (owner == 0 || owner == GetCurrentProcessId()) return false;
    const HANDLE other = OpenProcess(SYNCHRONIZE, FALSE, owner);
    if (!other) return false;
    const bool running = WaitForSingleObject(other, 0) == WAIT_TIMEOUT;
    CloseHandle(other);
    return running;
}

UINT Guard(const wchar_t* arguments) {
    GuardArguments parsed;
    // The handles must be what the copy handed down: its process, and a section of ours that
    // names it. Made-up numbers name no such thing here.
    if (!ParseGuardArguments(arguments, parsed) || GetProcessId(parsed.process) != parsed.copy) {
        Log("Guardian: started with arguments no copy of Quenvix makes; it ends");
        return kBadArguments;
    }
    const auto* section = static_cast<const GuardianSection*>(
        MapViewOfFile(parsed.section, FILE_MAP_READ, 0, 0, sizeof(GuardianSection)));
    if (!section || section->magic.load(std::memory_order_acquire) != win::kGuardianMagic ||
        section->processId.load(std::memory_order_relaxed) != parsed.copy) {
        Log("Guardian: started with arguments no copy of Quenvix makes; it ends");
        return kBadArguments;
    }
    if (WaitForSingleObject(parsed.process, INFINITE) != WAIT_OBJECT_0) {
        // We cannot tell that it ended: better leave the windows to the recovery record than
        // pull them out from under a copy that still runs.
        Log("Guardian: the wait for process %lu failed (error %lu)", parsed.copy, GetLastError());
        return kDone;
    }
    if (section->cleanExit.load(std::memory_order_acquire) != 0) return kDone;
    if (ListOwnedByAnother(*section)) return kDone;
    unsigned long shown = 0;
    // Whatever the list holds, only windows that exist are commanded: the section is the copy's,
    // but a bad list must cost nothing but a look at each handle.
    win::VisitGuardedList(section->list, [&](std::uint64_t handle, core::ShowState state) {
        const HWND window = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(handle));
        if (!IsWindow(window)) return;
        win::ShowInRecordedState(window, state);
        ++shown;
    });
    Log("Guardian: process %lu ended without its clean exit; windows shown again: %lu", parsed.copy,
        shown);
    return kDone;
}

}  // namespace
}  // namespace quenvix::guardian

// The entry point itself: no C runtime to start.
extern "C" [[noreturn]] void GuardianStart() {
    using namespace quenvix::guardian;
    const wchar_t* arguments = Arguments();
    const UINT code =
        TakeWord(arguments, quenvix::win::kDetachOption) ? Detach(arguments) : Guard(arguments);
    ExitProcess(code);
}
