#pragma once
// The program's own trace: one small text file, %LOCALAPPDATA%\Quenvix\quenvix.log (a portable
// copy's: quenvix.log beside the program, win/portable.h), that tells
// afterwards why something did not work on a user's machine. It holds handles, process ids,
// executable names, counts and system error texts, never window captions or other content of the
// user's. When the file reaches its bound it becomes quenvix.1.log (replacing the older one) and a
// new file begins, so the trace never grows past two bounds.
#include <windows.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace quenvix::win {

class LogFile {
  public:
    static constexpr std::uint64_t kDefaultBound = 256 * 1024;

    LogFile(std::wstring folder, std::uint64_t bound = kDefaultBound);
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // Appends "time stamp, thread id, text" as one line. Any thread may call it; a file that
    // cannot be written costs nothing but the line. GetLastError is as it was before the call.
    void Write(std::string_view text) noexcept;

    const std::wstring& Folder() const { return folder_; }
    std::wstring FilePath() const { return folder_ + L"\\quenvix.log"; }
    std::wstring OlderFilePath() const { return folder_ + L"\\quenvix.1.log"; }

  private:
    void WriteLocked(const std::string& line);

    std::wstring folder_;
    std::uint64_t bound_;
    std::mutex mutex_;
};

// The program's log in the user's local application data folder.
LogFile& ProgramLog();

// Writes a line to the program's log.
void Log(std::string_view text) noexcept;
// Writes "<call> failed: <number> <system text>" for `error` (a GetLastError or LSTATUS value).
void LogFailure(std::string_view call, DWORD error) noexcept;
// LogFailure with the calling thread's GetLastError, which it leaves as it found it.
void LogLastError(std::string_view call) noexcept;

// "<number> <system text>" for a Win32 error, in English where the system has that text.
std::string ErrorText(DWORD error);

}  // namespace quenvix::win
