#pragma once
// A portable copy: a file "portable.ini" beside quenvix.exe keeps the program out of the registry
// and out of %LOCALAPPDATA%. Its settings and records then live in "quenvix-settings.ini" in the
// same folder (core/file_registry.h, through the same registry port, so every meaning and error
// text stays), and its log beside it too. The registry is then neither written nor read for the
// user's settings, even when settings of an installed copy are there.
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/file_registry.h"
#include "core/ports/settings_file.h"
#include "win/registry.h"

namespace quenvix::win {

inline constexpr std::wstring_view kPortableMarker = L"portable.ini";
inline constexpr std::wstring_view kPortableSettings = L"quenvix-settings.ini";

// The program's folder ("C:\\...\\Quenvix", no final backslash) when the marker lies in it;
// nothing otherwise. Asked once: the answer holds for the process's life.
const std::optional<std::wstring>& PortableFolder();

// The settings file on disk. Replace writes a temporary file beside it, flushes it, and moves it
// over the old one in one step (MoveFileExW with MOVEFILE_REPLACE_EXISTING |
// MOVEFILE_WRITE_THROUGH): a crash, a full disk or a read-only file leaves the old text whole.
class Win32SettingsFile final : public core::SettingsFile {
  public:
    explicit Win32SettingsFile(std::wstring path) : path_(std::move(path)) {}
    Contents Read() override;
    bool Replace(std::string_view text) override;

  private:
    std::wstring path_;
};

// The registry the program works through: the user's, or in a portable copy the settings file
// (which still reads the machine's keys, the processor's speed, from the registry).
class SettingsBackend {
  public:
    SettingsBackend();
    SettingsBackend(const SettingsBackend&) = delete;
    SettingsBackend& operator=(const SettingsBackend&) = delete;

    core::RegistryBackend& Registry() noexcept;
    bool Portable() const noexcept { return file_ != nullptr; }

  private:
    Win32Registry system_;
    std::unique_ptr<Win32SettingsFile> file_;
    std::unique_ptr<core::FileRegistry> portable_;
};

}  // namespace quenvix::win
