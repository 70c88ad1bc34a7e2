#include "win/guardian.h"

#include <string>

#include "win/log.h"

namespace quenvix::win {
namespace {

// A guardian that ends this soon after it came up is taken for one that could not attach.
constexpr ULONGLONG kEarlyEndMs = 2000;
// Early ends in a row after which no guardian is started any more.
constexpr int kEarlyEndLimit = 3;

std::wstring ProgramBesideThis() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    const auto slash = path.find_last_of(L"\\/");
    path.resize(slash == std::wstring::npos ? 0 : slash + 1);
    return path + kGuardianProgram;
}

// A duplicate of `handle` that a child process inherits, with `access` only; closed on return.
UniqueHandle InheritableDuplicate(HANDLE handle, DWORD access) {
    HANDLE duplicate = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &duplicate, access, TRUE,
                         0)) {
        LogLastError("DuplicateHandle (guardian)");
        return UniqueHandle();
    }
    return UniqueHandle(duplicate);
}

std::wstring Decimal(HANDLE handle) {
    // Kernel handles carry 32 significant bits, so that 32- and 64-bit processes can share them
    // (https://learn.microsoft.com/en-us/windows/win32/winprog64/interprocess-communication).
    return std::to_wstring(static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(handle)));
}

// Whether `process` runs the guardian program: the id a launcher answers could, in theory, have
// been taken by another process already.
bool RunsProgram(HANDLE process, const std::wstring& program) {
    std::wstring path(32768, L'\0');
    DWORD size = static_cast<DWORD>(path.size());
    if (!QueryFullProcessImageNameW(process, 0, path.data(), &size)) return true;  // cannot tell
    path.resize(size);
    return CompareStringOrdinal(path.c_str(), -1, program.c_str(), -1, TRUE) == CSTR_EQUAL;
}

}  // namespace

void GuardianMapping::ViewDeleter::operator()(GuardianSection* view) const noexcept {
    if (view) UnmapViewOfFile(view);
}

std::optional<GuardianMapping> GuardianMapping::Create(std::uint32_t processId) {
    UniqueHandle mapping(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                            sizeof(GuardianSection), nullptr));
    if (!mapping) {
        LogLastError("CreateFileMappingW (guardian)");
        return {};
    }
    auto* view = static_cast<GuardianSection*>(
        MapViewOfFile(mapping.get(), FILE_MAP_WRITE, 0, 0, sizeof(GuardianSection)));
    if (!view) {
        LogLastError("MapViewOfFile (guardian)");
        return {};
    }
    // A new section is zero-filled: an empty list, no clean exit. The magic goes in last.
    view->processId.store(processId, std::memory_order_relaxed);
    view->magic.store(kGuardianMagic, std::memory_order_release);
    return GuardianMapping(std::move(mapping), view);
}

std::unique_ptr<Guardian> Guardian::Start(std::wstring program, HANDLE guarded) {
    if (program.empty()) program = ProgramBesideThis();
    if (!guarded) guarded = GetCurrentProcess();
    auto mapping = GuardianMapping::Create(GetProcessId(guarded));
    if (!mapping) return nullptr;
    std::unique_ptr<Guardian> guardian(
        new Guardian(std::move(program), guarded, std::move(*mapping)));
    if (!guardian->Launch()) return nullptr;
    AddMessageWaitSource(*guardian);
    return guardian;
}

Guardian::~Guardian() {
    RemoveMessageWaitSource(*this);
}

bool Guardian::Launch() {
    // What the guardian needs of us it inherits, through the launcher: our process, to wait on,
    // and the section, to read. Held by the guardian, neither goes with us.
    // The guardian checks with GetProcessId that the handle is the copy's, which needs the
    // limited query right besides the wait's.
    const UniqueHandle self =
        InheritableDuplicate(guarded_, SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION);
    const UniqueHandle section = InheritableDuplicate(mapping_.Handle(), FILE_MAP_READ);
    if (!self || !section) return false;
    std::wstring commandLine = L"\"" + program_ + L"\" " + kDetachOption + L" " +
                               std::to_wstring(GetProcessId(guarded_)) + L" " +
                               Decimal(self.get()) + L" " + Decimal(section.get());

    // Only these two handles are inherited, whatever else of ours may be inheritable
    // (https://learn.microsoft.com/en-us/windows/win32/api/processthreadsapi/nf-processthreadsapi-updateprocthreadattribute,
    // PROC_THREAD_ATTRIBUTE_HANDLE_LIST).
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::vector<unsigned char> storage(size);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage.data());
    HANDLE handles[2] = {self.get(), section.get()};
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof(startup);
    // The launcher never shows a window, so no "starting" cursor for it either
    // (https://learn.microsoft.com/en-us/windows/win32/api/processthreadsapi/ns-processthreadsapi-startupinfow).
    startup.StartupInfo.dwFlags = STARTF_FORCEOFFFEEDBACK;
    DWORD flags = 0;
    if (size > 0 && InitializeProcThreadAttributeList(list, 1, 0, &size)) {
        if (UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles,
                                      sizeof(handles), nullptr, nullptr)) {
            startup.lpAttributeList = list;
            flags = EXTENDED_STARTUPINFO_PRESENT;
        } else {
            DeleteProcThreadAttributeList(list);
        }
    }
    // Started in the system folder, so that it never holds ours (an uninstaller must be able to
    // remove it). Out of our job where the job allows: see the launcher.
    wchar_t folder[MAX_PATH] = {};
    const UINT n = GetSystemDirectoryW(folder, MAX_PATH);
    PROCESS_INFORMATION info{};
    BOOL started =
        CreateProcessW(program_.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                       flags | CREATE_BREAKAWAY_FROM_JOB, nullptr,
                       n > 0 && n < MAX_PATH ? folder : nullptr, &startup.StartupInfo, &info);
    if (!started && GetLastError() == ERROR_ACCESS_DENIED) {
        if (!toldOfJob_) {
            toldOfJob_ = true;
            Log("The job Quenvix runs in allows no breakaway: its guardian shares it, and ends "
                "with it if the job is ended");
        }
        started = CreateProcessW(program_.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                 flags, nullptr, n > 0 && n < MAX_PATH ? folder : nullptr,
                                 &startup.StartupInfo, &info);
    }
    const DWORD error = GetLastError();
    if (startup.lpAttributeList) DeleteProcThreadAttributeList(list);
    if (!started) {
        LogFailure("CreateProcessW (guardian)", error);
        return false;
    }
    CloseHandle(info.hThread);
    launcher_.reset(info.hProcess);
    return true;
}

HANDLE Guardian::WaitHandle() const {
    if (!watching_) return nullptr;
    return launcher_ ? launcher_.get() : process_.get();
}

void Guardian::Serve() noexcept {
    if (launcher_) {
        if (WaitForSingleObject(launcher_.get(), 0) == WAIT_OBJECT_0) Attach();
        return;
    }
    if (process_ && WaitForSingleObject(process_.get(), 0) == WAIT_OBJECT_0) Replace();
}

void Guardian::Attach() {
    DWORD id = 0;
    if (!GetExitCodeProcess(launcher_.get(), &id)) id = 0;
    launcher_.reset();
    UniqueHandle process(
        id == 0 || id == STILL_ACTIVE
            ? nullptr
            : OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
    if (!process || !RunsProgram(process.get(), program_)) {
        // The launcher could not start it, or it is gone already: counted like an early end.
        processId_ = id;
        process_.reset();
        Relaunch(true, "The guardian could not be started (the launcher answered " +
                           std::to_string(id) + "); another is tried");
        return;
    }
    process_ = std::move(process);
    processId_ = id;
    attachedAt_ = GetTickCount64();
    mapping_.Section().guardianProcessId.store(id, std::memory_order_release);
    Log("Guardian started: process " + std::to_string(id));
}

void Guardian::Replace() {
    const bool early = GetTickCount64() - attachedAt_ < kEarlyEndMs;
    process_.reset();
    Relaunch(early, "Warning: the guardian (process " + std::to_string(processId_) +
                        ") has ended; another is started with the current list");
}

void Guardian::Relaunch(bool early, const std::string& note) {
    earlyEnds_ = early ? earlyEnds_ + 1 : 0;
    if (earlyEnds_ < kEarlyEndLimit) {
        Log(note);
        if (Launch()) return;
    }
    watching_ = false;
    Log("Warning: no guardian is started any more; if Quenvix is ended by force, its hidden "
        "windows wait for its next start");
}

void Guardian::Publish(const std::vector<core::RecoveryEntry>& entries) noexcept {
    WriteGuardedList(mapping_.Section().list, entries);
}

void Guardian::MarkCleanExit() noexcept {
    mapping_.Section().cleanExit.store(1, std::memory_order_release);
}

}  // namespace quenvix::win
