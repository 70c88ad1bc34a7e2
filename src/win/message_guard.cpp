#include "win/message_guard.h"

#include <atomic>

#include "win/log.h"

namespace quenvix::win {

namespace {

// The message the WH_CALLWNDPROC hook saw last: the system calls the hook just before the window
// procedure, for sent messages only, with wParam nonzero when this thread sent it
// (learn.microsoft.com/windows/win32/winmsg/callwndproc). Messages dispatched from our queue pass
// no hook: what others post is filtered before any loop of ours dispatches it (ForgedPostFilter).
struct SentMessage {
    HWND hwnd = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    bool byThisThread = true;
    bool pending = false;
};

thread_local SentMessage t_lastSent;
// The origin of the message the innermost window procedure of ours is handling.
thread_local bool t_handlingForeign = false;

LRESULT CALLBACK NoteSender(int code, WPARAM byThisThread, LPARAM lParam) {
    if (code == HC_ACTION) {
        const auto& sent = *reinterpret_cast<const CWPSTRUCT*>(lParam);
        t_lastSent =
            SentMessage{sent.hwnd, sent.message, sent.wParam, sent.lParam, byThisThread != 0, true};
    }
    return CallNextHookEx(nullptr, code, byThisThread, lParam);
}

struct OriginHook {
    HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, &NoteSender, nullptr, GetCurrentThreadId());
    OriginHook() {
        if (!hook) LogLastError("SetWindowsHookExW (message origins)");
    }
    ~OriginHook() {
        if (hook) UnhookWindowsHookEx(hook);
    }
    OriginHook(const OriginHook&) = delete;
    OriginHook& operator=(const OriginHook&) = delete;
};

}  // namespace

void WatchMessageOrigins() {
    thread_local OriginHook hook;
}

MessageOrigin::MessageOrigin(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept
    : outerForeign_(t_handlingForeign) {
    const SentMessage& sent = t_lastSent;
    // The hook's note belongs to this message only when it names it exactly; a note left by a
    // message to a window that is not ours (a control) says nothing about this one.
    const bool noted = sent.pending && sent.hwnd == hwnd && sent.message == message &&
                       sent.wParam == wParam && sent.lParam == lParam;
    t_handlingForeign = noted && !sent.byThisThread;
    t_lastSent.pending = false;
}

MessageOrigin::~MessageOrigin() {
    t_handlingForeign = outerForeign_;
}

bool SentByThisThread() {
    return !t_handlingForeign;
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
    const MessageOrigin origin(hwnd, msg, wParam, lParam);
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
    if (code == HC_ACTION && sentByThread) {
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

bool IsOwnCommand(HWND window, WPARAM wParam, LPARAM control) {
    if (!SentByThisThread()) return false;
    if (control == 0) return true;
    const auto hwnd = reinterpret_cast<HWND>(control);
    if (!IsChild(window, hwnd) || GetWindowThreadProcessId(hwnd, nullptr) != GetCurrentThreadId()) {
        return false;
    }
    // A button can be made to report a click by a message (BM_CLICK) whatever its state; a user
    // cannot click a disabled one, nor anything in a window that a modal box of ours disables.
    if (HIWORD(wParam) != BN_CLICKED) return true;
    return IsWindowEnabled(hwnd) && IsWindowEnabled(GetAncestor(hwnd, GA_ROOT));
}

}  // namespace quenvix::win
