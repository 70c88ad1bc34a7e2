// The form and modal dialog bases of ui.h: controls placed in 96-DPI pixels that follow the
// window's DPI, and a dialog that runs its own message loop.
#include <utility>

#include "win/message_wait.h"
#include "win/ui.h"

namespace quenvix::win {

namespace {

bool SameFont(const FontSpec& a, const FontSpec& b) {
    const bool sameFace =
        (!a.face && !b.face) || (a.face && b.face && lstrcmpW(a.face, b.face) == 0);
    return sameFace && a.charHeightPx96 == b.charHeightPx96 && a.bold == b.bold &&
           a.underline == b.underline;
}

SIZE OuterSize(SIZE client, DWORD style, DWORD exStyle, UINT dpi) {
    using AdjustFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    static const auto adjustForDpi = reinterpret_cast<AdjustFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "AdjustWindowRectExForDpi")));
    RECT r{0, 0, client.cx, client.cy};
    if (adjustForDpi) {
        adjustForDpi(&r, style, FALSE, exStyle, dpi);
    } else {
        AdjustWindowRectEx(&r, style, FALSE, exStyle);
    }
    return SIZE{r.right - r.left, r.bottom - r.top};
}

// A system metric as it is at `dpi`, the window's: GetSystemMetrics answers at the system's DPI
// only, wrong for a window on a monitor of another scale (GetSystemMetricsForDpi, Windows 10
// 1607 on; before that only the system's DPI exists).
int MetricForDpi(int index, UINT dpi) {
    using ForDpiFn = int(WINAPI*)(int, UINT);
    static const auto forDpi = reinterpret_cast<ForDpiFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetSystemMetricsForDpi")));
    return forDpi ? forDpi(index, dpi) : GetSystemMetrics(index);
}

}  // namespace

void FormWindow::SizeToClient(SIZE client96, DWORD style, DWORD exStyle, bool hasMenu) {
    client96_ = client96;
    style_ = style;
    exStyle_ = exStyle;
    hasMenu_ = hasMenu;
    SIZE outer = OuterSize(SIZE{S(client96.cx), S(client96.cy)}, style, exStyle, dpi_);
    if (hasMenu) outer.cy += MetricForDpi(SM_CYMENU, dpi_);
    SetWindowPos(Hwnd(), nullptr, 0, 0, outer.cx, outer.cy,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
}

HFONT FormWindow::FontFor(const FontSpec& wanted) {
    for (auto& [s, font] : fonts_) {
        if (SameFont(s, wanted)) return font.get();
    }
    fonts_.emplace_back(wanted, MakeFont(wanted, dpi_));
    return fonts_.back().second.get();
}

HWND FormWindow::AddControl(const wchar_t* className, const std::wstring& text, DWORD style, int x,
                            int y, int width, int height, int id, const FontSpec& font,
                            DWORD exStyle, HWND parent) {
    HWND h =
        CreateWindowExW(exStyle, className, text.c_str(), style | WS_CHILD, S(x), S(y), S(width),
                        S(height), parent ? parent : Hwnd(),
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), AppInstance(), nullptr);
    if (h) {
        SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(font)), FALSE);
        placed_.push_back(Placed{h, RECT{x, y, x + width, y + height}, font});
    }
    return h;
}

void FormWindow::ApplyLayout(UINT newDpi) {
    dpi_ = newDpi;
    // Old fonts stay alive until every control has been given its new one.
    auto oldFonts = std::move(fonts_);
    fonts_.clear();
    for (auto& p : placed_) {
        SendMessageW(p.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(p.font)), FALSE);
        SetWindowPos(p.hwnd, nullptr, S(p.rect96.left), S(p.rect96.top),
                     S(p.rect96.right - p.rect96.left), S(p.rect96.bottom - p.rect96.top),
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    InvalidateRect(Hwnd(), nullptr, TRUE);
}

void FormWindow::ChangeDpi(UINT newDpi) {
    // From 50 % to 500 %: anything else is not a DPI a monitor has.
    if (newDpi < 48 || newDpi > 480 || newDpi == dpi_) return;
    const UINT oldDpi = dpi_;
    ApplyLayout(newDpi);
    if (client96_.cx > 0 && client96_.cy > 0) {
        SizeToClient(client96_, style_, exStyle_, hasMenu_);
        return;
    }
    RECT r{};
    GetWindowRect(Hwnd(), &r);
    SetWindowPos(Hwnd(), nullptr, 0, 0,
                 MulDiv(r.right - r.left, static_cast<int>(newDpi), static_cast<int>(oldDpi)),
                 MulDiv(r.bottom - r.top, static_cast<int>(newDpi), static_cast<int>(oldDpi)),
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
}

LRESULT FormWindow::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_DPICHANGED) {
        if (SentByThisThread()) ChangeDpi(HIWORD(wParam));
        return 0;
    }
    // The user chose another message font, or turned high contrast on or off: the controls take
    // the new font and everything is painted again. (Nothing of the message is read: anyone can
    // send it, and at worst the window is drawn once more.)
    if (msg == WM_SETTINGCHANGE &&
        (wParam == SPI_SETNONCLIENTMETRICS || wParam == SPI_SETHIGHCONTRAST)) {
        ApplyLayout(dpi_);
        return 0;
    }
    if (msg == WM_SYSCOLORCHANGE) {
        InvalidateRect(Hwnd(), nullptr, TRUE);
        return 0;
    }
    return Window::OnMessage(msg, wParam, lParam);
}

void ModalDialog::CreateDialogWindow(const wchar_t* className, const std::wstring& caption,
                                     int clientWidth96, int clientHeight96, HWND owner, DWORD style,
                                     DWORD exStyle) {
    CreateBound(className, style, exStyle, caption, CW_USEDEFAULT, CW_USEDEFAULT, clientWidth96,
                clientHeight96, owner);
    AdoptDpi();
    SizeToClient(SIZE{clientWidth96, clientHeight96}, style, exStyle);
    CenterOnScreen();
}

void ModalDialog::CenterOnScreen() {
    RECT r{};
    GetWindowRect(Hwnd(), &r);
    const int w = r.right - r.left;
    const int h = r.bottom - r.top;
    const int x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;
    SetWindowPos(Hwnd(), nullptr, x, y, 0, 0, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOSIZE);
}

int ModalDialog::RunModal(HWND owner) {
    const bool disableOwner = owner && IsWindowEnabled(owner);
    if (disableOwner) EnableWindow(owner, FALSE);
    result_ = IDCANCEL;
    running_ = true;
    ShowWindow(Hwnd(), SW_SHOW);
    SetForegroundWindow(Hwnd());
    MSG msg;
    while (running_) {
        // The program's own wait: the command pipe is served while a dialog is open too.
        const BOOL got = WaitForNextMessage(msg);
        if (got == 0) {
            // Leave WM_QUIT for the program's own loop.
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (got == -1) break;
        if (IsForgedPost(msg) || PreTranslate(msg)) continue;
        if (!IsDialogMessageW(Hwnd(), &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    running_ = false;
    // The owner comes back before this window goes, so activation returns to it.
    if (disableOwner) EnableWindow(owner, TRUE);
    ShowWindow(Hwnd(), SW_HIDE);
    return result_;
}

void ModalDialog::EndModal(int result) {
    result_ = result;
    running_ = false;
    PostMessageW(Hwnd(), WM_NULL, 0, 0);
}

bool ModalDialog::PreTranslate(MSG&) {
    return false;
}

void ModalDialog::OnCommand(int id, int code, HWND) {
    // Only a click ends the dialog: buttons with BS_NOTIFY also report focus changes. Once it has
    // ended, more clicks (a tool pressing "OK" again and again) find nothing to end.
    if (!running_) return;
    if ((id == IDOK || id == IDCANCEL) && code == BN_CLICKED) EndModal(id);
}

LRESULT ModalDialog::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case DM_GETDEFID:
            return MAKELRESULT(defaultId_, DC_HASDEFID);
        case WM_COMMAND:
            OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
            return 0;
        case WM_CLOSE:
            OnCommand(IDCANCEL, 0, nullptr);
            return 0;
        default:
            return FormWindow::OnMessage(msg, wParam, lParam);
    }
}

}  // namespace quenvix::win
