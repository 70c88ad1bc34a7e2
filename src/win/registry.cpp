#include "win/registry.h"

#include <windows.h>

#include <cstring>
#include <limits>
#include <string>

#include "win/log.h"
#include "win/ui.h"

namespace quenvix::win {
namespace {

HKEY ToHkey(core::RegistryBackend::Key key) {
    return reinterpret_cast<HKEY>(key);
}
core::RegistryBackend::Key FromHkey(HKEY key) {
    return reinterpret_cast<core::RegistryBackend::Key>(key);
}

bool IsRoot(HKEY key) {
    return key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE;
}

// Registry text is UTF-16: an odd trailing byte of a damaged value cannot be part of it.
std::vector<std::uint8_t> TextToUtf8(const std::vector<std::uint8_t>& wideBytes) {
    std::wstring wide(wideBytes.size() / sizeof(wchar_t), L'\0');
    std::memcpy(wide.data(), wideBytes.data(), wide.size() * sizeof(wchar_t));
    const std::string utf8 = Narrow(wide);
    return {utf8.begin(), utf8.end()};
}

std::vector<std::uint8_t> Utf8ToText(std::span<const std::uint8_t> utf8) {
    const std::wstring wide =
        Widen(std::string_view(reinterpret_cast<const char*>(utf8.data()), utf8.size()));
    std::vector<std::uint8_t> bytes(wide.size() * sizeof(wchar_t));
    std::memcpy(bytes.data(), wide.data(), bytes.size());
    return bytes;
}

}  // namespace

core::RegistryBackend::Key Win32Registry::Root(core::RegistryRoot root) {
    return FromHkey(root == core::RegistryRoot::CurrentUser ? HKEY_CURRENT_USER
                                                            : HKEY_LOCAL_MACHINE);
}

core::RegistryBackend::Key Win32Registry::OpenKey(Key parent, std::string_view path,
                                                  core::RegistryAccess access) {
    HKEY key = nullptr;
    const REGSAM sam = access == core::RegistryAccess::Read ? KEY_READ : KEY_ALL_ACCESS;
    if (const LSTATUS status = RegOpenKeyExW(ToHkey(parent), Widen(path).c_str(), 0, sam, &key);
        status != ERROR_SUCCESS) {
        // A key that is not there yet is the normal case of a first start, not a failure.
        if (status != ERROR_FILE_NOT_FOUND) LogFailure("RegOpenKeyExW", static_cast<DWORD>(status));
        return kNoKey;
    }
    return FromHkey(key);
}

core::RegistryBackend::Key Win32Registry::CreateKey(Key parent, std::string_view path) {
    HKEY key = nullptr;
    if (const LSTATUS status =
            RegCreateKeyExW(ToHkey(parent), Widen(path).c_str(), 0, nullptr,
                            REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr);
        status != ERROR_SUCCESS) {
        LogFailure("RegCreateKeyExW", static_cast<DWORD>(status));
        return kNoKey;
    }
    return FromHkey(key);
}

std::optional<core::RegistryValue> Win32Registry::QueryValue(Key key, std::string_view name) {
    const std::wstring wideName = Widen(name);
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (RegQueryValueExW(ToHkey(key), wideName.c_str(), nullptr, &type, nullptr, &size) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> data;
    // The value may grow between the two calls (another program writing it): ask again.
    for (int attempt = 0; attempt < 4; ++attempt) {
        data.resize(size);
        LONG status = RegQueryValueExW(ToHkey(key), wideName.c_str(), nullptr, &type,
                                       data.empty() ? nullptr : data.data(), &size);
        if (status == ERROR_MORE_DATA) continue;
        if (status != ERROR_SUCCESS) {
            LogFailure("RegQueryValueExW", static_cast<DWORD>(status));
            return std::nullopt;
        }
        data.resize(size);
        if (core::IsStringType(type)) data = TextToUtf8(data);
        return core::RegistryValue{type, std::move(data)};
    }
    return std::nullopt;
}

bool Win32Registry::SetValue(Key key, std::string_view name, std::uint32_t type,
                             std::span<const std::uint8_t> data) {
    std::vector<std::uint8_t> converted;
    if (core::IsStringType(type)) {
        converted = Utf8ToText(data);
        data = converted;
    }
    if (data.size() > std::numeric_limits<DWORD>::max()) return false;
    const LSTATUS status = RegSetValueExW(ToHkey(key), Widen(name).c_str(), 0, type, data.data(),
                                          static_cast<DWORD>(data.size()));
    if (status != ERROR_SUCCESS) LogFailure("RegSetValueExW", static_cast<DWORD>(status));
    return status == ERROR_SUCCESS;
}

void Win32Registry::DeleteValue(Key key, std::string_view name) {
    const LSTATUS status = RegDeleteValueW(ToHkey(key), Widen(name).c_str());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
        LogFailure("RegDeleteValueW", static_cast<DWORD>(status));
    }
}

std::vector<std::string> Win32Registry::ValueNames(Key key) {
    std::vector<std::string> names;
    // Value names are at most 16383 characters.
    std::wstring buffer(16384, L'\0');
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(buffer.size());
        const LSTATUS status = RegEnumValueW(ToHkey(key), index, buffer.data(), &length, nullptr,
                                             nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS) {
            LogFailure("RegEnumValueW", static_cast<DWORD>(status));
            break;
        }
        names.push_back(Narrow(std::wstring_view(buffer.data(), length)));
    }
    return names;
}

void Win32Registry::CloseKey(Key key) {
    if (key != kNoKey && !IsRoot(ToHkey(key))) RegCloseKey(ToHkey(key));
}

}  // namespace quenvix::win
