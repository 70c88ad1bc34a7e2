#include "win/tray_icon_extras.h"

// clang-format off
#include <windows.h>
#include <commctrl.h>
#include <mmsystem.h>
// clang-format on

#include <utility>

#include "win/taskbar.h"
#include "win/ui.h"

namespace quenvix::win {

namespace {

constexpr DWORD kSoundFlags = SND_ALIAS | SND_NOWAIT | SND_NODEFAULT | SND_ASYNC;

// The platform's priority of each ThreadPriority, in the enumeration's order.
constexpr int kPlatformPriorities[] = {THREAD_PRIORITY_IDLE,         THREAD_PRIORITY_LOWEST,
                                       THREAD_PRIORITY_BELOW_NORMAL, THREAD_PRIORITY_NORMAL,
                                       THREAD_PRIORITY_ABOVE_NORMAL, THREAD_PRIORITY_HIGHEST,
                                       THREAD_PRIORITY_TIME_CRITICAL};

ShiftState CurrentShiftState() {
    return ShiftState{GetKeyState(VK_SHIFT) < 0, GetKeyState(VK_CONTROL) < 0,
                      GetKeyState(VK_MENU) < 0};
}

}  // namespace

ExtendedTrayIcon::ExtendedTrayIcon(core::Desktop& desktop, core::Foreground& foreground, HWND owner,
                                   ShellNotifyIconFn shell)
    : TrayIcon(desktop, foreground, std::move(shell)), owner_(owner) {}

ExtendedTrayIcon::~ExtendedTrayIcon() {
    RemoveHook();
}

// ---- the thread's priority --------------------------------------------------------------------

void ExtendedTrayIcon::SetAnimatePriority(ThreadPriority value) {
    if (animatePriority_ == value) return;
    animatePriority_ = value;
    if (HANDLE thread = ThreadHandle()) OnThreadStarted(thread);
}

void ExtendedTrayIcon::OnThreadStarted(HANDLE thread) {
    SetThreadPriority(thread, kPlatformPriorities[static_cast<int>(animatePriority_)]);
}

// ---- button events and the menu's messages ------------------------------------------------------

void ExtendedTrayIcon::OnShellMouse(UINT mouseMessage, POINT pt) {
    const bool down = mouseMessage == WM_LBUTTONDOWN || mouseMessage == WM_RBUTTONDOWN ||
                      mouseMessage == WM_MBUTTONDOWN;
    const bool up = mouseMessage == WM_LBUTTONUP || mouseMessage == WM_RBUTTONUP ||
                    mouseMessage == WM_MBUTTONUP;
    const auto& event = down ? OnMouseDown : OnMouseUp;
    if (!(down || up) || !event) return;
    const MouseButton button =
        mouseMessage == WM_LBUTTONDOWN || mouseMessage == WM_LBUTTONUP   ? MouseButton::Left
        : mouseMessage == WM_RBUTTONDOWN || mouseMessage == WM_RBUTTONUP ? MouseButton::Right
                                                                         : MouseButton::Middle;
    event(button, CurrentShiftState(), pt.x, pt.y);
}

bool ExtendedTrayIcon::OnOtherMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    return OnMenuMessage && OnMenuMessage(msg, wParam, lParam, result);
}

// ---- minimising into the tray ---------------------------------------------------------------

void ExtendedTrayIcon::SetMinimizeOwnerToTray(bool value) {
    if (minimizeOwnerToTray_ == value) return;
    if (value) {
        InstallHook();
    } else {
        RemoveHook();
    }
    minimizeOwnerToTray_ = value;
}

void ExtendedTrayIcon::OnClickWithoutMenu() {
    if (minimizeOwnerToTray_) RestoreFromTray();
}

void ExtendedTrayIcon::InstallHook() {
    DWORD pid = 0;
    // Only our own window on this thread can be subclassed.
    const bool ours = owner_ && IsWindow(owner_) &&
                      GetWindowThreadProcessId(owner_, &pid) == GetCurrentThreadId() &&
                      pid == GetCurrentProcessId();
    if (!ours || !SetWindowSubclass(owner_, &ExtendedTrayIcon::OwnerWndProc, 1,
                                    reinterpret_cast<DWORD_PTR>(this))) {
        throw TrayIconError("Owner must be a form");
    }
    hooked_ = true;
}

void ExtendedTrayIcon::RemoveHook() {
    if (!hooked_) return;
    if (IsWindow(owner_)) RemoveWindowSubclass(owner_, &ExtendedTrayIcon::OwnerWndProc, 1);
    hooked_ = false;
}

LRESULT CALLBACK ExtendedTrayIcon::OwnerWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                                UINT_PTR, DWORD_PTR self) {
    auto* icon = reinterpret_cast<ExtendedTrayIcon*>(self);
    // Only the plain minimise command: one with extra low-order flags goes its usual way.
    if (msg == WM_SYSCOMMAND && wParam == SC_MINIMIZE) {
        Guarded(hwnd, [icon] { icon->MinimizeToTray(); });
        return 0;
    }
    if (msg == WM_NCDESTROY) icon->RemoveHook();
    return DefSubclassProc(hwnd, msg, wParam, lParam);
}

void ExtendedTrayIcon::MinimizeToTray() {
    MoveOwner(false);
}

void ExtendedTrayIcon::RestoreFromTray() {
    MoveOwner(true);
}

// The owner into the tray or out of it, with the system's sound and the caption animation; the
// icon shows only while the owner is in the tray.
void ExtendedTrayIcon::MoveOwner(bool fromTray) {
    PlaySoundW(fromTray ? L"RestoreUp" : L"Minimize", nullptr, kSoundFlags);
    RECT rect{};
    GetWindowRect(owner_, &rect);
    AnimateCaption(owner_, rect, fromTray);
    ShowWindow(owner_, fromTray ? SW_SHOW : SW_HIDE);
    if (fromTray) UpdateWindow(owner_);
    SetActive(!fromTray);
}

}  // namespace quenvix::win
