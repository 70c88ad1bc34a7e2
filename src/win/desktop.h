#pragma once
// The desktop over user32: other programs' top-level windows, their captions and icons, the
// show commands, the shell's own windows and the caption animation towards the tray.
#include <windows.h>

#include <string>

#include "core/ports/desktop.h"
#include "win/ui.h"

namespace quenvix::win {

inline HWND ToHwnd(core::WindowId id) {
    return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(id));
}
inline core::WindowId ToId(HWND hwnd) {
    return static_cast<core::WindowId>(reinterpret_cast<std::uintptr_t>(hwnd));
}

// Longest caption we ask a window for, in UTF-16 units.
inline constexpr int kCaptionLimit = 4096;
// How long one caption query may wait for a window that is slow but not (yet) hung. Short: the
// text the system keeps for the window is the fallback, and it is the same text for nearly every
// window, while the wait holds up hotkeys and the tray menu.
inline constexpr UINT kCaptionTimeoutMs = 100;
// How long the icon query may wait.
inline constexpr UINT kIconTimeoutMs = 1000;
inline constexpr int kPictureSize = 16;

// The caption as UTF-8, asked of the window with a time-out (a hung window answers nothing);
// when it does not answer, the text Windows keeps for it. Empty when it has none.
std::string GetWindowCaption(HWND wnd);

// A 16 x 16 32-bit top-down DIB of the window's small icon (its own, else its class's) over a
// white background, fully opaque; a plain white square when there is no icon. `found` tells
// which. Null only when GDI cannot make a bitmap.
UniqueBitmap GetWindowIcon(HWND wnd, bool* found = nullptr);

// A window's picture as handed to the hider.
class WindowBitmap : public core::WindowPicture {
  public:
    explicit WindowBitmap(UniqueBitmap bitmap) : bitmap_(std::move(bitmap)) {}
    HBITMAP Get() const noexcept { return bitmap_.get(); }

  private:
    UniqueBitmap bitmap_;
};

class Win32Desktop : public core::Desktop {
  public:
    std::vector<core::WindowId> TopLevelWindows() override;
    core::WindowId ForegroundWindow() override;
    core::WindowId Owner(core::WindowId window) override;
    core::WindowId DesktopWindow() override;
    std::uint32_t ExStyle(core::WindowId window) override;
    bool IsVisible(core::WindowId window) override;
    bool IsIconic(core::WindowId window) override;
    bool IsZoomed(core::WindowId window) override;
    bool Exists(core::WindowId window) override;
    bool IsHung(core::WindowId window) override;
    core::WindowOrigin Origin(core::WindowId window) override;
    std::uint32_t OwnProcessId() override;
    std::string Caption(core::WindowId window) override;
    std::unique_ptr<core::WindowPicture> Picture(core::WindowId window) override;
    void ShowAsync(core::WindowId window, core::ShowCommand command) override;
    core::WindowId TaskmanRoot() override;
    core::WindowId ProgramManager() override;
    core::WindowId Taskbar() override;
    void AnimateTray(core::WindowId window, bool fromTray) override;
};

}  // namespace quenvix::win
