#include "win/ui.h"

#include <algorithm>
#include <atomic>
#include <set>
#include <utility>

#include "win/message_wait.h"

namespace quenvix::win {

std::wstring Widen(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

std::string Narrow(std::wstring_view wide) {
    if (wide.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

void ReportError(HWND owner, const std::string& message) {
    if (owner && !IsWindow(owner)) owner = nullptr;
    MessageBoxWhileServing(owner, Widen(message).c_str(), L"Quenvix",
                           MB_OK | MB_ICONERROR | MB_TASKMODAL);
}

HINSTANCE AppInstance() {
    return GetModuleHandleW(nullptr);
}

UniqueBitmap CreateTopDownBitmap(int width, int height, std::uint32_t** pixels) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    UniqueBitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap || !bits) return {};
    *pixels = static_cast<std::uint32_t*>(bits);
    return bitmap;
}

UINT DpiOf(HWND hwnd) {
    // GetDpiForWindow exists from Windows 10 1607 on; older systems only know the system DPI.
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (hwnd && getDpiForWindow) {
        if (UINT dpi = getDpiForWindow(hwnd)) return dpi;
    }
    const WindowDc screen(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen.Get(), LOGPIXELSY) : 96;
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

int Scale(int px96, UINT dpi) {
    return MulDiv(px96, static_cast<int>(dpi), 96);
}

LOGFONTW MessageFont(UINT dpi) {
    // SystemParametersInfoForDpi (Windows 10 1607 on) gives the metrics as they are at any DPI;
    // SystemParametersInfo gives them at the system DPI only, so those are scaled from there
    // (learn.microsoft.com/windows/win32/api/winuser/nf-winuser-systemparametersinfofordpi).
    using ForDpiFn = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);
    static const auto forDpi = reinterpret_cast<ForDpiFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "SystemParametersInfoForDpi")));
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (forDpi && forDpi(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0, dpi)) {
        return metrics.lfMessageFont;
    }
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0)) {
        LOGFONTW font = metrics.lfMessageFont;
        font.lfHeight =
            MulDiv(font.lfHeight, static_cast<int>(dpi), static_cast<int>(DpiOf(nullptr)));
        return font;
    }
    // No metrics at all: the stock GUI font, which the system sizes for 96 DPI.
    LOGFONTW font{};
    if (!GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font)) {
        font.lfHeight = -kFormCharHeightPx96;
        font.lfCharSet = DEFAULT_CHARSET;
    }
    font.lfHeight = MulDiv(font.lfHeight, static_cast<int>(dpi), 96);
    return font;
}

UniqueFont MakeFont(const FontSpec& font, UINT dpi) {
    LOGFONTW lf{};
    if (font.face) {
        lf.lfHeight = -Scale(font.charHeightPx96, dpi);
        lf.lfCharSet = DEFAULT_CHARSET;
        lstrcpynW(lf.lfFaceName, font.face, LF_FACESIZE);
    } else {
        lf = MessageFont(dpi);
        lf.lfHeight = MulDiv(lf.lfHeight, font.charHeightPx96, kFormCharHeightPx96);
    }
    lf.lfWeight = font.bold ? FW_BOLD : FW_NORMAL;
    lf.lfUnderline = font.underline ? TRUE : FALSE;
    lf.lfItalic = FALSE;
    lf.lfQuality = CLEARTYPE_QUALITY;
    return UniqueFont(CreateFontIndirectW(&lf));
}

bool HighContrastOn() {
    // SPI_GETHIGHCONTRAST, HCF_HIGHCONTRASTON
    // (learn.microsoft.com/windows/win32/winauto/high-contrast-parameter).
    HIGHCONTRASTW contrast{};
    contrast.cbSize = sizeof contrast;
    return SystemParametersInfoW(SPI_GETHIGHCONTRAST, contrast.cbSize, &contrast, 0) &&
           (contrast.dwFlags & HCF_HIGHCONTRASTON);
}

// ---- Window ---------------------------------------------------------------------------------

namespace {

// The object whose window this thread's own CreateWindowExW is making right now. Its
// WM_NCCREATE binds to this, never to the pointer the message carries: that message can come
// from anyone, and our own creation can happen while the thread handles another program's sent
// message (the shell's tray callback is one).
thread_local Window* t_windowBeingCreated = nullptr;

}  // namespace

Window::~Window() {
    if (hwnd_) {
        HWND h = hwnd_;
        SetWindowLongPtrW(h, GWLP_USERDATA, 0);
        hwnd_ = nullptr;
        DestroyWindow(h);
    }
}

HWND Window::CreateBound(const wchar_t* className, DWORD style, DWORD exStyle,
                         const std::wstring& title, int x, int y, int width, int height,
                         HWND parent, HMENU menu, HBRUSH background) {
    static std::set<std::wstring> registered;
    if (!registered.count(className)) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = &Window::StaticProc;
        wc.hInstance = AppInstance();
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = background;
        wc.hIcon = LoadIconW(AppInstance(), MAKEINTRESOURCEW(1));
        wc.lpszClassName = className;
        if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return nullptr;
        registered.insert(className);
    }
    // Nested creations (a window made while another one is being created) restore the outer one.
    struct Creating {
        Window* outer = t_windowBeingCreated;
        explicit Creating(Window* self) { t_windowBeingCreated = self; }
        ~Creating() { t_windowBeingCreated = outer; }
    } creating(this);
    WatchMessageOrigins();
    creating_ = true;
    const HWND hwnd = CreateWindowExW(exStyle, className, title.c_str(), style, x, y, width, height,
                                      parent, menu, AppInstance(), nullptr);
    creating_ = false;
    return hwnd;
}

LRESULT Window::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefaultProc(msg, wParam, lParam);
}

LRESULT Window::DefaultProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(hwnd_, msg, wParam, lParam);
}

LRESULT CALLBACK Window::StaticProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    // Bound once, by our own CreateWindowExW, to the object that asked for it. The creation
    // message's own pointer is never read: a WM_NCCREATE that anyone else sends carries whatever
    // they like.
    if (msg == WM_NCCREATE && t_windowBeingCreated && !t_windowBeingCreated->hwnd_ &&
        !GetWindowLongPtrW(hwnd, GWLP_USERDATA)) {
        Window* self = std::exchange(t_windowBeingCreated, nullptr);
        self->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcW(hwnd, msg, wParam, lParam);
    const MessageOrigin origin(hwnd, msg, wParam, lParam);
    // Only DestroyWindow on this thread ends a window of ours; the same messages sent from
    // elsewhere must not unbind it or start an exit. Commands come from our menus and controls.
    if ((msg == WM_DESTROY || msg == WM_NCDESTROY) && !SentByThisThread()) return 0;
    // Creation messages come once, from our own CreateWindowExW. Any other is made up, and its
    // default handling would take the caption (and scroll bars) from the structure it points to.
    if ((msg == WM_NCCREATE || msg == WM_CREATE) && !self->creating_) return 0;
    if (msg == WM_COMMAND && !IsOwnCommand(hwnd, wParam, lParam)) return 0;
    // A menu or message box of ours with nothing to do runs its own loop, which would leave the
    // command pipe unserved until it closes: serve it while that loop idles.
    if (msg == WM_ENTERIDLE && SentByThisThread()) ServeWhileIdle(hwnd);
    // Guarded's catch written out: every message of every window passes here, a key press's on
    // its way to the hotkey's action too, and this keeps that path one frame shorter.
    LRESULT result = 0;
    bool handled = false;
    try {
        result = self->OnMessage(msg, wParam, lParam);
        handled = true;
    } catch (const std::exception& e) {
        ReportError(hwnd, e.what());
    } catch (...) {
        ReportError(hwnd, "Unexpected error");
    }
    if (msg == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
    }
    // A handler that threw has been reported; the system still gets a sane answer.
    return handled ? result : DefWindowProcW(hwnd, msg, wParam, lParam);
}

bool PeekNextMessage(MSG& msg) {
    return PeekMessageW(&msg, nullptr, WM_INPUT, WM_INPUT, PM_REMOVE) ||
           PeekMessageW(&msg, nullptr, WM_HOTKEY, WM_HOTKEY, PM_REMOVE) ||
           PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);
}

bool RunPendingMessages(const std::function<bool()>& goOn, int maxMessages) {
    MSG msg;
    for (int i = 0; i < maxMessages; ++i) {
        if (goOn && !goOn()) return false;
        if (!PeekNextMessage(msg)) break;
        if (msg.message == WM_QUIT) {
            // The message loop must still see it.
            PostQuitMessage(static_cast<int>(msg.wParam));
            return false;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return !goOn || goOn();
}

std::string WindowText(HWND hwnd) {
    const int length = GetWindowTextLengthW(hwnd);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), length + 1)));
    return Narrow(text);
}

}  // namespace quenvix::win
