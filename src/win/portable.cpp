#include "win/portable.h"

#include <windows.h>

#include "win/log.h"
#include "win/ui.h"

namespace quenvix::win {
namespace {

// The program's own path. Not shell.h's ExecutablePath: that one logs a failure, and the log asks
// here for its folder.
std::wstring ProgramPath() {
    std::wstring path(MAX_PATH, L'\0');
    while (path.size() <= 32768) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) return path.substr(0, length);
        path.resize(path.size() * 2);
    }
    return {};
}

std::optional<std::wstring> FindPortableFolder() {
    const std::wstring exe = ProgramPath();
    const std::size_t slash = exe.find_last_of(L"\\/");
    if (exe.empty() || slash == std::wstring::npos) return std::nullopt;
    std::wstring folder = exe.substr(0, slash);
    const std::wstring marker = folder + L"\\" + std::wstring(kPortableMarker);
    const DWORD attributes = GetFileAttributesW(marker.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return std::nullopt;
    }
    return folder;
}

}  // namespace

const std::optional<std::wstring>& PortableFolder() {
    static const std::optional<std::wstring> folder = FindPortableFolder();
    return folder;
}

core::SettingsFile::Contents Win32SettingsFile::Read() {
    // Shared for writing and deleting too: another copy's Replace must never fail on our read.
    UniqueHandle file(CreateFileW(path_.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            return {State::Missing, {}};
        }
        LogFailure("CreateFileW (settings file, read)", error);
        return {State::Unreadable, {}};
    }
    Contents contents{State::Read, {}};
    char buffer[16384];
    DWORD got = 0;
    for (;;) {
        if (!ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr)) {
            LogLastError("ReadFile (settings file)");
            return {State::Unreadable, {}};
        }
        if (got == 0) break;
        contents.text.append(buffer, got);
        // A settings file is a few kilobytes; one of many megabytes is not ours to rewrite.
        if (contents.text.size() > (16u << 20)) return {State::Unreadable, {}};
    }
    return contents;
}

bool Win32SettingsFile::Replace(std::string_view text) {
    // A read-only settings file is the user's wish that it stay as it is. NTFS refuses to rename
    // over a read-only file anyway; some file systems (and Wine) do not, so it is asked here.
    const DWORD attributes = GetFileAttributesW(path_.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        LogFailure("Replace (settings file is read-only)", ERROR_ACCESS_DENIED);
        return false;
    }
    const std::wstring temporary = path_ + L".new";
    {
        UniqueHandle file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file.get() == INVALID_HANDLE_VALUE) {
            LogLastError("CreateFileW (settings file, new)");
            return false;
        }
        DWORD written = 0;
        const bool ok = WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()),
                                  &written, nullptr) &&
                        written == text.size() && FlushFileBuffers(file.get());
        if (!ok) {
            LogLastError("WriteFile (settings file)");
            file.reset();
            DeleteFileW(temporary.c_str());
            return false;
        }
    }
    if (!MoveFileExW(temporary.c_str(), path_.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        LogLastError("MoveFileExW (settings file)");
        DeleteFileW(temporary.c_str());
        return false;
    }
    return true;
}

SettingsBackend::SettingsBackend() {
    if (const auto& folder = PortableFolder()) {
        file_ =
            std::make_unique<Win32SettingsFile>(*folder + L"\\" + std::wstring(kPortableSettings));
        portable_ = std::make_unique<core::FileRegistry>(*file_, &system_);
    }
}

core::RegistryBackend& SettingsBackend::Registry() noexcept {
    if (portable_) return *portable_;
    return system_;
}

}  // namespace quenvix::win
