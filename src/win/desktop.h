#pragma once
// The desktop over user32: other programs' top-level windows, their captions and icons, the
// show commands, the shell's own windows and the caption animation towards the tray.
#include <windows.h>

#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

#include "core/ports/desktop.h"
#include "core/rules.h"
#include "win/ui.h"

namespace quenvix::win {

inline HWND ToHwnd(core::WindowId id) {
    return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(id));
}
inline core::WindowId ToId(HWND hwnd) {
    return static_cast<core::WindowId>(reinterpret_cast<std::uintptr_t>(hwnd));
}

// Longest caption we read, in UTF-16 units.
inline constexpr int kCaptionLimit = 4096;

// The side of a tray menu picture: the system's small-icon size at the DPI of the taskbar's
// monitor, where the menu shows (16 at 100 %, 24 at 150 %, 32 at 200 %).
int MenuPictureSize();

// ShowWindow's code for the command.
int ShowCode(core::ShowCommand command) noexcept;

// The caption as UTF-8: the text Windows keeps for the window, as the taskbar shows it. Reading
// it asks nothing of the window's program, so a busy or hung one (or one busy hiding because we
// told it to) cannot hold us up. Empty when there is none or the window is gone.
std::string GetWindowCaption(HWND wnd);

// A `size` x `size` 32-bit top-down DIB of `icon` (drawn to that size, whatever its own) over a
// white background, fully opaque: a menu draws a 32-bit bitmap with its alpha, and GDI's icon
// drawing may leave the alpha at zero. A plain white square when there is no icon or it cannot
// be drawn; `drawn` tells which. Null only when GDI cannot make a bitmap.
UniqueBitmap IconPicture(HICON icon, int size, bool* drawn = nullptr);

// A window's picture as handed to the hider.
class WindowBitmap : public core::WindowPicture {
  public:
    WindowBitmap(UniqueBitmap bitmap, int size) : bitmap_(std::move(bitmap)), size_(size) {}
    ~WindowBitmap() override;
    WindowBitmap(const WindowBitmap&) = delete;
    WindowBitmap& operator=(const WindowBitmap&) = delete;

    // At once what the system knows without asking the window's program: its class's small or
    // big icon, else its program file's, else the system's application icon (never a blank
    // square). Its own icon (WM_GETICON: the small one, else the big one) replaces that when the
    // window's program answers, which this thread hears while it takes its messages. Nothing
    // waits for that answer: a program slow to give it (busy hiding, or hung) holds nothing up.
    static std::unique_ptr<WindowBitmap> OfWindow(HWND window);

    HBITMAP Get() const noexcept { return bitmap_.get(); }
    // Counts the pictures drawn since the first: a copy of an older one is out of date.
    unsigned Version() const noexcept { return version_; }

  private:
    void Ask(HWND window, WPARAM which);
    static void CALLBACK IconAnswered(HWND window, UINT msg, ULONG_PTR request, LRESULT icon);

    UniqueBitmap bitmap_;
    int size_;
    unsigned version_ = 0;
    ULONG_PTR request_ = 0;  // the icon query still unanswered, 0 when none
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
    core::WindowOrigin Origin(core::WindowId window) override;
    std::uint32_t OwnProcessId() override;
    std::string Caption(core::WindowId window) override;
    std::unique_ptr<core::WindowPicture> Picture(core::WindowId window) override;
    core::ShowResult ShowAsync(core::WindowId window, core::ShowCommand command) override;
    core::WindowTraits Traits(core::WindowId window) override;
    void AnimateTray(core::WindowId window, bool fromTray) override;
    std::optional<core::WindowFacts> Facts(core::WindowId window, bool withCaption) override;
    bool RestoresToMaximized(core::WindowId window) override;

  private:
    // A process's start time, read once. The open handle keeps the process id from being given
    // to another process: an id is valid "until all handles to the process are closed and the
    // process object is freed; at this point, the identifier may be reused"
    // (https://learn.microsoft.com/windows/win32/api/processthreadsapi/ns-processthreadsapi-process_information).
    // So a time kept with its handle can never belong to a newer process of the same id.
    // Asking each hidden window's origin at every menu refresh would otherwise cost three more
    // questions to the system per window.
    std::uint64_t ProcessStartTime(std::uint32_t processId);

    struct KnownProcess {
        UniqueHandle handle;
        std::uint64_t startTime = 0;
    };
    std::mutex processesMutex_;
    std::unordered_map<std::uint32_t, KnownProcess> processes_;
};

}  // namespace quenvix::win
