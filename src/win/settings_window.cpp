#include "win/settings_window.h"

#include <commctrl.h>

#include "core/error.h"
#include "core/product.h"
#include "win/command_line_forwarding.h"
#include "win/main_menus.h"
#include "win/status_bar.h"
#include "win/taskbar.h"

namespace quenvix::win {
namespace {

constexpr int kTabsId = 300;
constexpr int kStatusBarId = 307;

// Client area of the window, in 96-DPI pixels.
constexpr SIZE kClient{363, 160};

constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
// The window carries its own taskbar button while it shows (WS_EX_APPWINDOW: "forces a top-level
// window onto the taskbar when the window is visible", learn.microsoft.com/windows/win32/winmsg/
// extended-window-styles), though it is owned by a hidden window ("The Taskbar",
// learn.microsoft.com/windows/win32/shell/taskbar). So Alt+Tab, which lists what the taskbar
// lists, shows this window itself and never the empty owner. Its minimise button sends it to the
// tray (OnMessage, WM_SYSCOMMAND): a taskbar without such buttons for owned windows (Wine's) would
// otherwise leave a minimised window nowhere to come back from.
constexpr DWORD kFormExStyle = WS_EX_TOPMOST | WS_EX_CONTROLPARENT | WS_EX_APPWINDOW;

}  // namespace

SettingsWindow::SettingsWindow(HWND owner, SettingsHost& host, CommandMenus& menus)
    : host_(host), menus_(menus) {
    // Created hidden and never shown by the start itself: the program starts in the tray, and a
    // start at log-on must not take the foreground (or the keys) from what the user types in.
    // The window shows only when asked for (ShowCentred).
    CreateBound(kMainWindowClass, kFormStyle, kFormExStyle, Widen(core::kMainCaption),
                CW_USEDEFAULT, CW_USEDEFAULT, kClient.cx, kClient.cy, owner);
    if (!Hwnd()) throw core::Error("The main window could not be created");
    AdoptDpi();
    menus_.AttachMenuBar(Hwnd());
    SizeToClient(kClient, kFormStyle, kFormExStyle, true);
}

SettingsWindow::~SettingsWindow() = default;

void SettingsWindow::OfferPage(const wchar_t* title, PageMaker make) {
    offered_.push_back({title, std::move(make)});
}

void SettingsWindow::CreateControls() {
    if (tabs_) return;
    // The common controls are loaded here, not at start: the library and its classes are most of
    // what an idle program would otherwise hold in memory.
    INITCOMMONCONTROLSEX classes{sizeof(classes),
                                 ICC_STANDARD_CLASSES | ICC_TAB_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&classes);
    tabs_ = AddControl(WC_TABCONTROLW, L"", WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0, kClient.cx,
                       kClient.cy - StatusBar::kHeight96, kTabsId, FontSpec{});
    // Every tab first: the display area the pages are made for depends on the tabs' row.
    for (std::size_t i = 0; i < offered_.size(); ++i) {
        TCITEMW tab{};
        tab.mask = TCIF_TEXT;
        std::wstring title = offered_[i].title;
        tab.pszText = title.data();
        TabCtrl_InsertItem(tabs_, static_cast<int>(i), &tab);
    }
    for (const OfferedPage& offer : offered_) pages_.push_back(offer.make(*this, PageArea()));
    statusBar_ = std::make_unique<StatusBar>(*this, kStatusBarId);
    if (!notice_.empty()) statusBar_->ShowNotice(notice_);
    ShowChosenPage();
}

RECT SettingsWindow::PageArea() const {
    RECT area{};
    GetClientRect(tabs_, &area);
    TabCtrl_AdjustRect(tabs_, FALSE, &area);
    MapWindowPoints(tabs_, Hwnd(), reinterpret_cast<POINT*>(&area), 2);
    return area;
}

void SettingsWindow::ShowChosenPage() {
    const int chosen = TabCtrl_GetCurSel(tabs_);
    for (std::size_t i = 0; i < pages_.size(); ++i) {
        if (static_cast<int>(i) != chosen) ShowWindow(pages_[i]->Page(), SW_HIDE);
    }
    if (chosen < 0 || static_cast<std::size_t>(chosen) >= pages_.size()) return;
    // Placing the page also brings it in front of the tab control.
    pages_[static_cast<std::size_t>(chosen)]->Place(PageArea());
    ShowWindow(pages_[static_cast<std::size_t>(chosen)]->Page(), SW_SHOW);
}

void SettingsWindow::ShowOrHide(bool show) {
    AnimateTray(Hwnd(), show);
    // Only this window: its owner stays hidden for good (see kFormExStyle).
    ShowWindowAsync(Hwnd(), show ? SW_SHOW : SW_HIDE);
}

void SettingsWindow::Hide() {
    ShowOrHide(false);
}

void SettingsWindow::ShowCentred() {
    CreateControls();
    ShowOrHide(true);
    // Minimised with its own button, the window would come back as a taskbar button only.
    if (IsIconic(Hwnd())) ShowWindow(Hwnd(), SW_RESTORE);
    RECT r{};
    GetWindowRect(Hwnd(), &r);
    const int w = r.right - r.left;
    const int h = r.bottom - r.top;
    SetWindowPos(Hwnd(), nullptr, (GetSystemMetrics(SM_CXSCREEN) - w) / 2,
                 (GetSystemMetrics(SM_CYSCREEN) - h) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void SettingsWindow::ShowNotice(const std::wstring& text) {
    notice_ = text;
    if (statusBar_) statusBar_->ShowNotice(notice_);
}

void SettingsWindow::ShowHint() {
    if (statusBar_) statusBar_->ShowHint();
}

void SettingsWindow::RunPageCommand(core::Command command) {
    for (const auto& page : pages_) {
        if (page->RunCommand(command)) return;
    }
}

void SettingsWindow::DropPages() {
    pages_.clear();
    offered_.clear();
}

void SettingsWindow::OnNotify(const NMHDR& header) {
    if (statusBar_ && header.hwndFrom == statusBar_->Hwnd() && header.code == NM_CLICK) {
        statusBar_->OnClick();
    }
    if (tabs_ && header.hwndFrom == tabs_ && header.code == TCN_SELCHANGE) ShowChosenPage();
}

void SettingsWindow::OnDpiChanged(UINT msg, WPARAM wParam, LPARAM lParam) {
    host_.OnProgramMessage(msg, wParam, lParam);
    FormWindow::OnMessage(msg, wParam, lParam);
    if (!tabs_) return;
    // A page's own window hears of no DPI change: each is placed (and laid out) anew.
    for (const auto& page : pages_) page->Place(PageArea());
    ShowChosenPage();
    statusBar_->Layout();
}

void SettingsWindow::OnActivate(bool active) {
    if (!active) {
        const HWND focus = GetFocus();
        if (focus && IsChild(Hwnd(), focus)) focus_ = focus;
        return;
    }
    HWND target = focus_;
    if (!target || !IsChild(Hwnd(), target) || !IsWindowVisible(target) ||
        !IsWindowEnabled(target)) {
        target = GetNextDlgTabItem(Hwnd(), nullptr, FALSE);
    }
    SetFocus(target ? target : Hwnd());
}

LRESULT SettingsWindow::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    // Once the exit has begun, late commands and clicks find nothing to do.
    if (host_.Ending() && (msg == WM_COMMAND || msg == WM_NOTIFY)) return 0;
    switch (msg) {
        case WM_COMMAND: {
            // The menu bar's items and the pages' controls; the tray menu's come another way.
            const int id = LOWORD(wParam);
            if (const auto command = menus_.CommandOutsideTray(id)) {
                host_.Run(*command);
                return 0;
            }
            for (const auto& page : pages_) {
                if (page->OnCommand(id, HIWORD(wParam))) break;
            }
            return 0;
        }
        case WM_CLOSE:
            host_.OnCloseRequest();
            return 0;
        case WM_SYSCOMMAND:
            // Minimised (its button, its system menu, its taskbar button), it goes to the tray,
            // from where a double click brings it back as it was.
            if ((wParam & 0xFFF0) == SC_MINIMIZE && host_.MinimiseToTray()) return 0;
            return FormWindow::OnMessage(msg, wParam, lParam);
        case WM_NOTIFY:
            if (SentByThisThread()) OnNotify(*reinterpret_cast<const NMHDR*>(lParam));
            return 0;
        case WM_SIZE:
            if (statusBar_) statusBar_->Layout();
            return 0;
        case WM_ACTIVATE:
            // Minimised, the window takes no keyboard at all (the default handling's rule).
            if (HIWORD(wParam) == 0) OnActivate(LOWORD(wParam) != WA_INACTIVE);
            return 0;
        case WM_DESTROY:
            host_.OnWindowDestroyed();
            return 0;
        case WM_DPICHANGED:
            if (SentByThisThread()) OnDpiChanged(msg, wParam, lParam);
            return 0;
        default:
            if (const auto handled = host_.OnProgramMessage(msg, wParam, lParam)) return *handled;
            return FormWindow::OnMessage(msg, wParam, lParam);
    }
}

}  // namespace quenvix::win
