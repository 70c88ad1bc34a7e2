#pragma once
// The small window toolkit every window of the program is built on: string conversion at the
// Win32 boundary, owning handle wrappers, DPI scaling, the one error reporter, a window base class
// that binds the C++ object to its HWND, and a modal dialog base with a DPI-aware control layout.
#include <windows.h>
// (after windows.h)
#include <objbase.h>

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "win/message_guard.h"

namespace quenvix::win {

// ---- strings --------------------------------------------------------------------------------
std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view wide);

// ---- errors ---------------------------------------------------------------------------------
// Shows `message` the way the application reports any error that leaves an action: a message box,
// after which the program goes on.
void ReportError(HWND owner, const std::string& message);

// Runs fn and reports whatever it throws. Every entry point called by Windows (window procedures,
// timer and enumeration callbacks, thread starts) goes through this, so no exception crosses into
// the system.
template <class Fn>
void Guarded(HWND owner, Fn&& fn) noexcept {
    try {
        fn();
    } catch (const std::exception& e) {
        ReportError(owner, e.what());
    } catch (...) {
        ReportError(owner, "Unexpected error");
    }
}

// ---- owning handles (move-only) -------------------------------------------------------------
struct GdiObjectDeleter {
    void operator()(void* h) const noexcept {
        if (h) DeleteObject(static_cast<HGDIOBJ>(h));
    }
};
struct IconDeleter {
    void operator()(HICON h) const noexcept {
        if (h) DestroyIcon(h);
    }
};
struct MenuDeleter {
    void operator()(HMENU h) const noexcept {
        if (h) DestroyMenu(h);
    }
};
struct HkeyDeleter {
    void operator()(HKEY h) const noexcept {
        if (h) RegCloseKey(h);
    }
};
struct HandleDeleter {
    void operator()(HANDLE h) const noexcept {
        if (h && h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
};
struct DcDeleter {
    void operator()(HDC h) const noexcept {
        if (h) DeleteDC(h);
    }
};
using UniqueFont = std::unique_ptr<std::remove_pointer_t<HFONT>, GdiObjectDeleter>;
using UniqueBitmap = std::unique_ptr<std::remove_pointer_t<HBITMAP>, GdiObjectDeleter>;
using UniqueBrush = std::unique_ptr<std::remove_pointer_t<HBRUSH>, GdiObjectDeleter>;
using UniquePen = std::unique_ptr<std::remove_pointer_t<HPEN>, GdiObjectDeleter>;
using UniqueIcon = std::unique_ptr<std::remove_pointer_t<HICON>, IconDeleter>;
using UniqueMenu = std::unique_ptr<std::remove_pointer_t<HMENU>, MenuDeleter>;
using UniqueHkey = std::unique_ptr<std::remove_pointer_t<HKEY>, HkeyDeleter>;
using UniqueHandle = std::unique_ptr<void, HandleDeleter>;
using UniqueDc = std::unique_ptr<std::remove_pointer_t<HDC>, DcDeleter>;

// A window's (or the screen's) device context, released when it goes.
class WindowDc {
  public:
    explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~WindowDc() {
        if (dc_) ReleaseDC(window_, dc_);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC Get() const noexcept { return dc_; }
    explicit operator bool() const noexcept { return dc_ != nullptr; }

  private:
    HWND window_;
    HDC dc_;
};

// The device context of a WM_PAINT, ended when it goes.
class PaintDc {
  public:
    explicit PaintDc(HWND window) : window_(window), dc_(BeginPaint(window, &paint_)) {}
    ~PaintDc() { EndPaint(window_, &paint_); }
    PaintDc(const PaintDc&) = delete;
    PaintDc& operator=(const PaintDc&) = delete;
    HDC Get() const noexcept { return dc_; }

  private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_;
};

// A GDI object selected into a device context; the previous one is selected back when it goes.
class SelectedObject {
  public:
    SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
    ~SelectedObject() {
        if (old_ && old_ != HGDI_ERROR) SelectObject(dc_, old_);
    }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

  private:
    HDC dc_;
    HGDIOBJ old_;
};

// The calling thread's COM apartment, left when it goes (only if entering it succeeded).
class ComApartment {
  public:
    explicit ComApartment(DWORD model) : result_(CoInitializeEx(nullptr, model)) {}
    ~ComApartment() {
        if (SUCCEEDED(result_)) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

  private:
    HRESULT result_;
};

// ---- DPI ------------------------------------------------------------------------------------
// The DPI a window is shown at (the system DPI where the per-monitor query is missing).
UINT DpiOf(HWND hwnd);
// A length given in 96-DPI pixels, at `dpi`.
int Scale(int px96, UINT dpi);

// The character height, in 96-DPI pixels, that the forms are laid out for: the size of their
// ordinary text, which is the user's message font.
inline constexpr int kFormCharHeightPx96 = 11;

// A font of the forms. With no `face` it is the user's message font (the one message boxes use,
// Segoe UI 9 pt on a Windows 10 machine as delivered), and `charHeightPx96` is then relative to
// kFormCharHeightPx96: 13 is that font 13/11 as high, whatever its own size. A named face is for
// decoration only (the about box's titles) and has exactly that height.
struct FontSpec {
    const wchar_t* face = nullptr;
    int charHeightPx96 = kFormCharHeightPx96;
    bool bold = false;
    bool underline = false;
};

// The user's message font as it is at `dpi`.
LOGFONTW MessageFont(UINT dpi);
// The font `font` describes, at `dpi`.
UniqueFont MakeFont(const FontSpec& font, UINT dpi);

// True while the user has high contrast on: then everything a window of ours paints itself takes
// the system's colours instead of its own.
bool HighContrastOn();

HINSTANCE AppInstance();

// The next message for this thread, removed from its queue, the user's input first: raw input
// and the system's hotkeys before whatever other programs posted. A flood of posts, which the
// queue would otherwise hand out first, cannot hold up a key for longer than one message.
bool PeekNextMessage(MSG& msg);

// Messages RunPendingMessages runs at most by default: another program that posts without end
// must not keep a run (the one between two windows of "Restore all", say) from returning.
inline constexpr int kMessageBatch = 64;

// Runs the messages waiting for this thread, at most `maxMessages`, while `goOn` (when given)
// answers true. A quit request is put back for the main loop and ends the run: false then, and
// when `goOn` said stop.
bool RunPendingMessages(const std::function<bool()>& goOn = {}, int maxMessages = kMessageBatch);

// A window's text (a caption, a control's text) as UTF-8, from a window of this program; other
// programs' windows are asked with a time-out instead (GetWindowCaption).
std::string WindowText(HWND hwnd);

// A 32-bit top-down DIB section of the given size and its pixels (0xAARRGGBB, row after row);
// null when the system refuses one.
UniqueBitmap CreateTopDownBitmap(int width, int height, std::uint32_t** pixels);

// ---- window base ----------------------------------------------------------------------------
class Window {
  public:
    Window() = default;
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;
    virtual ~Window();

    HWND Hwnd() const noexcept { return hwnd_; }

  protected:
    // Registers the class on first use and creates the window, bound to this object.
    HWND CreateBound(const wchar_t* className, DWORD style, DWORD exStyle,
                     const std::wstring& title, int x, int y, int width, int height, HWND parent,
                     HMENU menu = nullptr,
                     HBRUSH background = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    // Everything not handled goes to DefaultProc.
    virtual LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT DefaultProc(UINT msg, WPARAM wParam, LPARAM lParam);

  private:
    static LRESULT CALLBACK StaticProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    HWND hwnd_ = nullptr;
    // Inside our own CreateWindowExW for this object.
    bool creating_ = false;
};

// A hidden window of the program's machinery (the tray icon's, the timers', the keyboard's): it
// lives as long as the part that owns it, so a close request, from anyone, is refused.
class ServiceWindow : public Window {
  protected:
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg == WM_CLOSE) return 0;
        return Window::OnMessage(msg, wParam, lParam);
    }
};

// ---- modal dialog base ----------------------------------------------------------------------

// A window whose child controls are placed in 96-DPI pixels and follow DPI changes.
class FormWindow : public Window {
  public:
    UINT Dpi() const { return dpi_; }
    int S(int px96) const { return Scale(px96, dpi_); }
    // A child control placed in 96-DPI pixels; it is moved and re-fonted when the DPI changes.
    // Public, so that a part of a window (a page of it) can place its own controls.
    HWND AddControl(const wchar_t* className, const std::wstring& text, DWORD style, int x, int y,
                    int width, int height, int id, const FontSpec& font = {}, DWORD exStyle = 0,
                    HWND parent = nullptr);
    HFONT FontFor(const FontSpec& wanted);

  protected:
    // Takes the DPI of the (created) window; call once after creation.
    void AdoptDpi() { dpi_ = DpiOf(Hwnd()); }
    // Sizes the window so that its client area is `client96` at the current DPI.
    void SizeToClient(SIZE client96, DWORD style, DWORD exStyle, bool hasMenu = false);
    // Re-places every control for a new DPI.
    void ApplyLayout(UINT newDpi);
    // Follows a new DPI: the window keeps its place and gets the size it has at that DPI (the
    // rectangle that comes with WM_DPICHANGED is not used: anyone can send that message).
    void ChangeDpi(UINT newDpi);
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

  private:
    struct Placed {
        HWND hwnd;
        RECT rect96;
        FontSpec font;
    };
    std::vector<Placed> placed_;
    // What SizeToClient was last given, to size the window again at a new DPI.
    SIZE client96_{};
    DWORD style_ = 0;
    DWORD exStyle_ = 0;
    bool hasMenu_ = false;
    std::vector<std::pair<FontSpec, UniqueFont>> fonts_;
    UINT dpi_ = 96;
};

class ModalDialog : public FormWindow {
  public:
    bool IsModal() const noexcept { return running_; }

  protected:
    // Creates the (hidden) dialog window with a client area of the given 96-DPI size, centred on
    // the primary screen.
    void CreateDialogWindow(const wchar_t* className, const std::wstring& caption,
                            int clientWidth96, int clientHeight96, HWND owner,
                            DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME,
                            DWORD exStyle = WS_EX_DLGMODALFRAME);
    // Shows the window over `owner` (disabled meanwhile) and runs messages until EndModal.
    int RunModal(HWND owner);
    void EndModal(int result);
    void SetDefaultButton(int id) { defaultId_ = id; }
    void CenterOnScreen();

    // Hook for keys before the dialog navigation sees them; return true when consumed.
    virtual bool PreTranslate(MSG& msg);
    // Commands from controls, Enter (IDOK) and Escape (IDCANCEL). Default: OK and Cancel end.
    virtual void OnCommand(int id, int code, HWND control);
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

  private:
    int defaultId_ = IDOK;
    int result_ = IDCANCEL;
    bool running_ = false;
};

}  // namespace quenvix::win
