#include "win/message_guard.h"

#include <atomic>

namespace quenvix::win {

bool SentByThisThread() {
    return (InSendMessageEx(nullptr) & (ISMEX_SEND | ISMEX_NOTIFY | ISMEX_CALLBACK)) == 0;
}

bool IsForgedPost(const MSG& msg) {
    return msg.message == WM_NOTIFY || msg.message == WM_DPICHANGED;
}

namespace {

// The item last highlighted in a menu of this thread: the one whose WM_COMMAND the menu posts when
// the user chooses it. Cleared by that command, by the next menu, and by the user's next input
// once the menu has closed.
thread_local UINT t_menuChoice = 0;
thread_local int t_menusOpen = 0;

// Posted, these are forgeries: the system sends them, or they carry a pointer that means nothing
// in this process.
bool OnlyEverSent(UINT message) {
    switch (message) {
        case WM_CREATE:
        case WM_NCCREATE:
        case WM_DESTROY:
        case WM_NCDESTROY:
        case WM_NOTIFY:
        case WM_DPICHANGED:
        case WM_COPYDATA:
        case WM_SETTEXT:
        case WM_GETTEXT:
        case WM_GETMINMAXINFO:
        case WM_WINDOWPOSCHANGING:
        case WM_WINDOWPOSCHANGED:
        case WM_NCCALCSIZE:
        case WM_DRAWITEM:
        case WM_MEASUREITEM:
        case WM_DELETEITEM:
        case WM_COMPAREITEM:
        case WM_STYLECHANGING:
        case WM_STYLECHANGED:
        case WM_HELP:
        case WM_SETTINGCHANGE:
        case WM_QUERYENDSESSION:
        case WM_ENDSESSION:
        case WM_MENUSELECT:
        case WM_ENTERMENULOOP:
        case WM_EXITMENULOOP:
            return true;
        default:
            return false;
    }
}

// The system's popup menu window (class atom 32768).
bool IsMenuWindow(HWND hwnd) {
    return hwnd && GetClassLongPtrW(hwnd, GCW_ATOM) == 0x8000;
}

// Messages that steer a menu's window rather than ask it something: close and life-cycle
// messages, the system's private menu messages (0x1E0..0x1EF, less MN_GETHMENU, which
// accessibility tools ask), and the private range, where Wine keeps its own menu messages. Only
// the menu code of this thread sends them; from anyone else they would take the open menu apart.
bool SteersMenuWindow(UINT message) {
    constexpr UINT kMenuGetHmenu = 0x1E1;
    if (message == kMenuGetHmenu) return false;
    return message == WM_CLOSE || message == WM_DESTROY || message == WM_NCDESTROY ||
           message == WM_NCCREATE || message == WM_CREATE ||
           (message >= 0x1E0 && message <= 0x1EF) || message >= WM_USER;
}

// The menu window class's own procedure (the same for every menu window of the process).
std::atomic<WNDPROC> g_menuWindowProc{nullptr};

LRESULT CALLBACK MenuWindowFilter(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (!SentByThisThread() && SteersMenuWindow(msg)) return 0;
    return CallWindowProcW(g_menuWindowProc.load(), hwnd, msg, wParam, lParam);
}

bool IsInput(UINT message) {
    return (message >= WM_KEYFIRST && message <= WM_KEYLAST) ||
           (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST);
}

LRESULT CALLBACK FilterPosted(int code, WPARAM removal, LPARAM lParam) {
    if (code == HC_ACTION && removal == PM_REMOVE) {
        auto& msg = *reinterpret_cast<MSG*>(lParam);
        if (msg.message == WM_COMMAND) {
            const bool chosen = msg.lParam == 0 && HIWORD(msg.wParam) == 0 && t_menuChoice != 0 &&
                                LOWORD(msg.wParam) == t_menuChoice;
            t_menuChoice = 0;
            if (!chosen) msg.message = WM_NULL;
        } else if (IsInput(msg.message)) {
            // A menu's posted choice comes before any later input (posted messages go first).
            if (t_menusOpen == 0) t_menuChoice = 0;
        } else if (OnlyEverSent(msg.message) ||
                   (SteersMenuWindow(msg.message) && IsMenuWindow(msg.hwnd))) {
            msg.message = WM_NULL;
        }
    }
    return CallNextHookEx(nullptr, code, removal, lParam);
}

// Follows this thread's own menus through the messages they send their owner.
LRESULT CALLBACK FollowMenus(int code, WPARAM sentByThread, LPARAM lParam) {
    if (code == HC_ACTION && SentByThisThread()) {
        const auto& sent = *reinterpret_cast<const CWPSTRUCT*>(lParam);
        switch (sent.message) {
            case WM_ENTERMENULOOP:
                ++t_menusOpen;
                t_menuChoice = 0;
                break;
            case WM_EXITMENULOOP:
                if (t_menusOpen > 0) --t_menusOpen;
                break;
            case WM_MENUSELECT: {
                const UINT flags = HIWORD(sent.wParam);
                // The menu closing (0xFFFF, no menu) keeps the choice its command is about to
                // carry; a submenu or an item that cannot be chosen is no choice.
                if (flags == 0xFFFF && sent.lParam == 0) break;
                t_menuChoice = (flags & (MF_POPUP | MF_SEPARATOR | MF_DISABLED | MF_GRAYED))
                                   ? 0
                                   : LOWORD(sent.wParam);
                break;
            }
            default:
                break;
        }
    }
    return CallNextHookEx(nullptr, code, sentByThread, lParam);
}

// A menu's window takes its orders from this thread's menu code only: a close request sent to it
// destroys it under the open menu, whose loop then runs on without a window (no menu of this
// thread opens again), and Wine's own menu messages would hand it another menu. Each menu window
// is made to pass its messages through MenuWindowFilter first, and none goes at another program's
// request.
LRESULT CALLBACK KeepMenuWindows(int code, WPARAM wParam, LPARAM lParam) {
    const auto hwnd = reinterpret_cast<HWND>(wParam);
    if (code == HCBT_CREATEWND && IsMenuWindow(hwnd)) {
        const auto proc = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hwnd, GWLP_WNDPROC));
        if (proc && proc != &MenuWindowFilter) {
            g_menuWindowProc = proc;
            SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&MenuWindowFilter));
        }
    } else if (code == HCBT_DESTROYWND && !SentByThisThread() && IsMenuWindow(hwnd)) {
        return 1;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

ForgedPostFilter::ForgedPostFilter()
    : posted_(SetWindowsHookExW(WH_GETMESSAGE, &FilterPosted, nullptr, GetCurrentThreadId())),
      sent_(SetWindowsHookExW(WH_CALLWNDPROC, &FollowMenus, nullptr, GetCurrentThreadId())),
      menuWindows_(SetWindowsHookExW(WH_CBT, &KeepMenuWindows, nullptr, GetCurrentThreadId())) {}

ForgedPostFilter::~ForgedPostFilter() {
    if (posted_) UnhookWindowsHookEx(posted_);
    if (sent_) UnhookWindowsHookEx(sent_);
    if (menuWindows_) UnhookWindowsHookEx(menuWindows_);
}

bool MenuOpenOnThisThread() {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    const bool inMenuMode = GetGUIThreadInfo(GetCurrentThreadId(), &info) &&
                            (info.flags & (GUI_INMENUMODE | GUI_POPUPMENUMODE)) != 0;
    return inMenuMode || t_menusOpen > 0;
}

bool IsOwnCommand(HWND window, LPARAM control) {
    if (!SentByThisThread()) return false;
    if (control == 0) return true;
    const auto hwnd = reinterpret_cast<HWND>(control);
    return IsChild(window, hwnd) && GetWindowThreadProcessId(hwnd, nullptr) == GetCurrentThreadId();
}

}  // namespace quenvix::win
