#include "win/shell.h"

#include <objbase.h>
#include <shellapi.h>
#include <windows.h>

#include <array>

#include "core/guid_text.h"
#include "core/shell_text.h"
#include "win/log.h"
#include "win/ui.h"

namespace quenvix::win {

bool ShellOpen(std::string_view target) noexcept {
    try {
        const std::wstring file = Widen(target);
        SHELLEXECUTEINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = SEE_MASK_FLAG_NO_UI;
        info.lpVerb = L"open";
        info.lpFile = file.c_str();
        info.nShow = SW_SHOWNORMAL;
        if (ShellExecuteExW(&info)) return true;
        LogLastError("ShellExecuteExW");
        return false;
    } catch (...) {
        return false;
    }
}

std::string NewGUIDString() {
    GUID guid{};
    if (const HRESULT result = CoCreateGuid(&guid); FAILED(result)) {
        LogFailure("CoCreateGuid", static_cast<DWORD>(result));
        return {};
    }
    std::array<std::uint8_t, 8> data4{};
    for (std::size_t i = 0; i < data4.size(); ++i) data4[i] = guid.Data4[i];
    return core::GuidText(guid.Data1, guid.Data2, guid.Data3, data4);
}

std::string ExecutablePath() {
    // Paths may be longer than MAX_PATH; grow until the name fits.
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            LogLastError("GetModuleFileNameW");
            return {};
        }
        if (length < path.size()) {
            path.resize(length);
            return Narrow(path);
        }
        if (path.size() >= 32768) return {};
        path.resize(path.size() * 2);
    }
}

std::string HelpPagePath() {
    return core::HelpPageBeside(ExecutablePath());
}

std::string TemporaryFolder() {
    // https://learn.microsoft.com/windows/win32/api/fileapi/nf-fileapi-gettemppathw: the TMP or
    // TEMP variable as it is set, which is often the short form of the path.
    std::wstring path(MAX_PATH + 1, L'\0');
    const DWORD length = GetTempPathW(static_cast<DWORD>(path.size()), path.data());
    if (length == 0 || length > path.size()) {
        LogLastError("GetTempPathW");
        return {};
    }
    path.resize(length);
    const DWORD longLength = GetLongPathNameW(path.c_str(), nullptr, 0);
    if (longLength == 0) return Narrow(path);  // gone or unreadable: compare as given
    std::wstring longPath(longLength, L'\0');
    const DWORD written = GetLongPathNameW(path.c_str(), longPath.data(), longLength);
    if (written == 0 || written >= longLength) return Narrow(path);
    longPath.resize(written);
    return Narrow(longPath);
}

core::RunEntry SetRunOnStartup(core::RegistryBackend& registry, bool on) {
    return core::ApplyRunOnStartup(registry, on, ExecutablePath(), on ? TemporaryFolder() : "");
}

}  // namespace quenvix::win
