#include "win/guardian.h"

#include <string>

#include "core/command_line.h"
#include "win/crash_guard.h"
#include "win/log.h"

namespace quenvix::win {
namespace {

// Names taken already are skipped; this many in a row means someone is squatting on our names,
// and the program goes on without a guardian rather than race them.
constexpr int kNameAttempts = 4;

std::wstring NamespacedName(const std::string& name) {
    // "Local\": the session's own namespace, which is where the copy and its guardian live.
    return L"Local\\" + Widen(name);
}

std::uint32_t FreshNonce(int attempt) {
    LARGE_INTEGER counter{};
    QueryPerformanceCounter(&counter);
    return static_cast<std::uint32_t>(counter.QuadPart) ^
           static_cast<std::uint32_t>(counter.QuadPart >> 32) ^
           (static_cast<std::uint32_t>(attempt) * 0x9E3779B9u);
}

// A security descriptor whose DACL lets in the user who runs us and nobody else: no other
// account may read what we hide, nor write a list for our guardian to show.
class UserOnlySecurity {
  public:
    UserOnlySecurity() {
        HANDLE rawToken = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &rawToken)) {
            LogLastError("OpenProcessToken (guardian)");
            return;
        }
        const UniqueHandle token(rawToken);
        DWORD size = 0;
        GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
        user_.resize(size);
        if (size == 0 || !GetTokenInformation(token.get(), TokenUser, user_.data(), size, &size)) {
            LogLastError("GetTokenInformation (guardian)");
            return;
        }
        const PSID sid = reinterpret_cast<const TOKEN_USER*>(user_.data())->User.Sid;
        // An ACL's size is a multiple of a DWORD.
        const DWORD aclSize =
            (sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(sid) + 3) & ~DWORD{3};
        acl_.resize(aclSize);
        auto* acl = reinterpret_cast<ACL*>(acl_.data());
        if (!InitializeAcl(acl, aclSize, ACL_REVISION) ||
            !AddAccessAllowedAce(acl, ACL_REVISION, FILE_MAP_ALL_ACCESS, sid) ||
            !InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) ||
            !SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE) ||
            // Protected: nothing inheritable from the namespace joins our one entry.
            !SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
            LogLastError("Security descriptor (guardian)");
            return;
        }
        attributes_.nLength = sizeof(attributes_);
        attributes_.lpSecurityDescriptor = &descriptor_;
        attributes_.bInheritHandle = FALSE;
        ready_ = true;
    }
    UserOnlySecurity(const UserOnlySecurity&) = delete;
    UserOnlySecurity& operator=(const UserOnlySecurity&) = delete;

    SECURITY_ATTRIBUTES* Attributes() { return ready_ ? &attributes_ : nullptr; }

  private:
    std::vector<BYTE> user_;
    std::vector<BYTE> acl_;
    SECURITY_DESCRIPTOR descriptor_{};
    SECURITY_ATTRIBUTES attributes_{};
    bool ready_ = false;
};

std::wstring ThisProgram() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::wstring SystemFolder() {
    wchar_t folder[MAX_PATH] = {};
    const UINT n = GetSystemDirectoryW(folder, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::wstring(folder, n) : std::wstring();
}

}  // namespace

void GuardianMapping::ViewDeleter::operator()(GuardianSection* view) const noexcept {
    if (view) UnmapViewOfFile(view);
}

std::optional<GuardianMapping> GuardianMapping::Create(std::uint32_t processId) {
    UserOnlySecurity security;
    if (!security.Attributes()) return {};
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        std::string name = core::GuardSectionName(processId, FreshNonce(attempt));
        UniqueHandle mapping(CreateFileMappingW(INVALID_HANDLE_VALUE, security.Attributes(),
                                                PAGE_READWRITE, 0, sizeof(GuardianSection),
                                                NamespacedName(name).c_str()));
        const DWORD error = GetLastError();
        if (!mapping && error != ERROR_ACCESS_DENIED) {
            LogFailure("CreateFileMappingW (guardian)", error);
            return {};
        }
        // CreateFileMappingW hands back an existing object of the name as if it had made it,
        // and says so only through ERROR_ALREADY_EXISTS
        // (https://learn.microsoft.com/en-us/windows/win32/api/memoryapi/nf-memoryapi-createfilemappingw).
        // Whoever made it chose its size, its security and its content: not ours to use. One made
        // with a DACL that shuts us out fails with access denied instead: taken all the same.
        if (!mapping || error == ERROR_ALREADY_EXISTS) {
            Log("Guardian: the section name " + name + " is taken; trying another");
            continue;
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
        return GuardianMapping(std::move(name), std::move(mapping), view);
    }
    Log("Guardian: no free section name; going on without a guardian");
    return {};
}

std::optional<GuardianMapping> GuardianMapping::Open(const std::string& name) {
    // Read-only: nothing the guardian does can change what the copy wrote.
    UniqueHandle mapping(OpenFileMappingW(FILE_MAP_READ, FALSE, NamespacedName(name).c_str()));
    if (!mapping) {
        LogLastError("OpenFileMappingW (guardian)");
        return {};
    }
    auto* view = static_cast<GuardianSection*>(
        MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, sizeof(GuardianSection)));
    if (!view) {
        LogLastError("MapViewOfFile (guardian)");
        return {};
    }
    GuardianMapping opened(name, std::move(mapping), view);
    if (view->magic.load(std::memory_order_acquire) != kGuardianMagic) {
        Log("Guardian: " + name + " is not a section of ours");
        return {};
    }
    return opened;
}

std::unique_ptr<Guardian> Guardian::Start(std::wstring program, std::uint32_t processId) {
    if (processId == 0) processId = GetCurrentProcessId();
    if (program.empty()) program = ThisProgram();
    auto mapping = GuardianMapping::Create(processId);
    if (!mapping) return nullptr;

    // CreateProcessW may write into the command line, so it gets a buffer of its own
    // (https://learn.microsoft.com/en-us/windows/win32/api/processthreadsapi/nf-processthreadsapi-createprocessw).
    std::wstring commandLine = L"\"" + program + L"\" " + Widen(core::kGuardOption) + L" " +
                               std::to_wstring(processId) + L" " + Widen(mapping->Name());
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    // The guardian never shows a window, so Windows would show the "starting" cursor for it
    // until its time-out; STARTF_FORCEOFFFEEDBACK keeps the normal one
    // (https://learn.microsoft.com/en-us/windows/win32/api/processthreadsapi/ns-processthreadsapi-startupinfow).
    startup.dwFlags = STARTF_FORCEOFFFEEDBACK;
    // Started in the system folder, so that it never holds the folder it was started from
    // (an uninstaller must be able to remove ours).
    const std::wstring folder = SystemFolder();
    PROCESS_INFORMATION info{};
    // Out of our job where the job allows it: a job that is ended with us (a launcher's, a
    // terminal's) would take the guardian down together with us. A job that refuses breakaway
    // fails the call with access denied; then the guardian shares our job.
    bool started = CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                                  CREATE_BREAKAWAY_FROM_JOB, nullptr,
                                  folder.empty() ? nullptr : folder.c_str(), &startup, &info);
    if (!started && GetLastError() == ERROR_ACCESS_DENIED) {
        started =
            CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                           folder.empty() ? nullptr : folder.c_str(), &startup, &info);
    }
    if (!started) {
        LogLastError("CreateProcessW (guardian)");
        return nullptr;
    }
    CloseHandle(info.hThread);
    Log("Guardian started: process " + std::to_string(info.dwProcessId));
    return std::unique_ptr<Guardian>(
        new Guardian(std::move(*mapping), UniqueHandle(info.hProcess), info.dwProcessId));
}

Guardian::~Guardian() {
    mapping_.Section().cleanExit.store(1, std::memory_order_release);
}

void Guardian::Publish(const std::vector<core::RecoveryEntry>& entries) noexcept {
    WriteGuardedList(mapping_.Section().list, entries);
    // Costs one look at a handle per change of the list, and no thread that waits for it.
    if (watching_ && WaitForSingleObject(process_.get(), 0) == WAIT_OBJECT_0) {
        watching_ = false;
        Log("Warning: the guardian (process " + std::to_string(processId_) +
            ") has ended; if Quenvix is ended by force, its hidden windows wait for its next "
            "start");
    }
}

std::optional<std::size_t> GuardUntilEnd(HANDLE watched, const GuardianSection& section) {
    if (WaitForSingleObject(watched, INFINITE) != WAIT_OBJECT_0) {
        // We cannot tell that it ended: better leave the windows to the recovery record than
        // pull them out from under a copy that still runs.
        LogLastError("WaitForSingleObject (guardian)");
        return {};
    }
    if (section.cleanExit.load(std::memory_order_acquire) != 0) return {};
    std::size_t shown = 0;
    VisitGuardedList(section.list, [&](std::uint64_t handle, core::ShowState state) {
        ShowInRecordedState(reinterpret_cast<HWND>(static_cast<std::uintptr_t>(handle)), state);
        ++shown;
    });
    return shown;
}

int RunGuardian(std::uint32_t processId, const std::string& sectionName) {
    // The copy first, its section second. Until we open it, the section is held by the copy that
    // made it alone and goes when that copy goes; so finding it proves that the process id still
    // named that copy when we opened the process, and not a later process given the same id.
    // SYNCHRONIZE is what a wait needs
    // (https://learn.microsoft.com/en-us/windows/win32/procthread/process-security-and-access-rights).
    const UniqueHandle watched(
        OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!watched) {
        LogLastError("OpenProcess (guardian)");
        return core::kExitNotRunning;
    }
    const auto mapping = GuardianMapping::Open(sectionName);
    if (!mapping) return core::kExitNotRunning;
    if (mapping->Section().processId.load(std::memory_order_relaxed) != processId) {
        Log("Guardian: " + sectionName + " belongs to another process");
        return core::kExitNotRunning;
    }
    if (const auto shown = GuardUntilEnd(watched.get(), mapping->Section())) {
        Log("Guardian: process " + std::to_string(processId) +
            " ended without its clean exit; windows shown again: " + std::to_string(*shown));
    }
    return core::kExitDone;
}

}  // namespace quenvix::win
