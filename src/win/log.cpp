#include "win/log.h"

#include <shlobj.h>

#include <cstdio>

#include "win/portable.h"
#include "win/ui.h"

namespace quenvix::win {
namespace {

// Keeps GetLastError as the caller left it: logging is never part of the program's logic.
class KeepLastError {
  public:
    KeepLastError() : error_(GetLastError()) {}
    ~KeepLastError() { SetLastError(error_); }
    KeepLastError(const KeepLastError&) = delete;
    KeepLastError& operator=(const KeepLastError&) = delete;

  private:
    DWORD error_;
};

// %LOCALAPPDATA%\Quenvix; a portable copy's own folder (win/portable.h).
std::wstring LogFolder() {
    if (const auto& portable = PortableFolder()) return *portable;
    PWSTR path = nullptr;
    std::wstring folder;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &path)) && path) {
        folder = path;
    }
    CoTaskMemFree(path);
    if (folder.empty()) {
        wchar_t buffer[MAX_PATH] = {};
        const DWORD n = GetEnvironmentVariableW(L"LOCALAPPDATA", buffer, MAX_PATH);
        if (n > 0 && n < MAX_PATH) folder = buffer;
    }
    return folder.empty() ? std::wstring() : folder + L"\\Quenvix";
}

}  // namespace

LogFile::LogFile(std::wstring folder, std::uint64_t bound)
    : folder_(std::move(folder)), bound_(bound) {}

void LogFile::Write(std::string_view text) noexcept {
    const KeepLastError keep;
    try {
        SYSTEMTIME now{};
        GetLocalTime(&now);
        char stamp[64];
        std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u.%03u [%lu] ", now.wYear,
                      now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds,
                      static_cast<unsigned long>(GetCurrentThreadId()));
        std::string line = stamp;
        // One entry, one line: a line break inside the text would make two.
        for (const char c : text) line += (c == '\r' || c == '\n') ? ' ' : c;
        line += "\r\n";
        const std::lock_guard lock(mutex_);
        WriteLocked(line);
    } catch (...) {
    }
}

void LogFile::WriteLocked(const std::string& line) {
    if (folder_.empty()) return;
    CreateDirectoryW(folder_.c_str(), nullptr);
    const std::wstring path = FilePath();
    // Opened for each line: another copy of the program (the second start that is turned away)
    // may append to the same file, and nothing stays locked between lines.
    auto open = [&] {
        return UniqueHandle(CreateFileW(path.c_str(), FILE_APPEND_DATA,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    };
    UniqueHandle file = open();
    if (file.get() == INVALID_HANDLE_VALUE) return;
    LARGE_INTEGER size{};
    if (GetFileSizeEx(file.get(), &size) && size.QuadPart > 0 &&
        static_cast<std::uint64_t>(size.QuadPart) + line.size() > bound_) {
        file.reset();
        MoveFileExW(path.c_str(), OlderFilePath().c_str(), MOVEFILE_REPLACE_EXISTING);
        file = open();
        if (file.get() == INVALID_HANDLE_VALUE) return;
    }
    DWORD written = 0;
    WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

LogFile& ProgramLog() {
    static LogFile log(LogFolder());
    return log;
}

void Log(std::string_view text) noexcept {
    ProgramLog().Write(text);
}

std::string ErrorText(DWORD error) {
    wchar_t* buffer = nullptr;
    auto format = [&](WORD language) {
        return FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                                  FORMAT_MESSAGE_ALLOCATE_BUFFER,
                              nullptr, error, language, reinterpret_cast<LPWSTR>(&buffer), 0,
                              nullptr);
    };
    DWORD length = format(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    if (length == 0) length = format(MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    std::wstring text = length ? std::wstring(buffer, length) : std::wstring();
    LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) {
        text.pop_back();
    }
    char number[16];
    std::snprintf(number, sizeof number, "%lu", static_cast<unsigned long>(error));
    std::string out = number;
    if (!text.empty()) {
        out += ' ';
        out += Narrow(text);
    }
    return out;
}

void LogFailure(std::string_view call, DWORD error) noexcept {
    const KeepLastError keep;
    try {
        Log(std::string(call) + " failed: " + ErrorText(error));
    } catch (...) {
    }
}

void LogLastError(std::string_view call) noexcept {
    LogFailure(call, GetLastError());
}

}  // namespace quenvix::win
