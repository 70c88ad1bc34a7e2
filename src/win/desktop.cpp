#include "win/desktop.h"

#include <cstdint>
#include <new>
#include <vector>

#include "win/taskbar.h"

namespace quenvix::win {

namespace {

int ToShowCode(core::ShowCommand command) {
    switch (command) {
        case core::ShowCommand::Hide:
            return SW_HIDE;
        case core::ShowCommand::Minimize:
            return SW_MINIMIZE;
        case core::ShowCommand::Restore:
            return SW_RESTORE;
        case core::ShowCommand::Show:
            return SW_SHOW;
        case core::ShowCommand::ShowMaximized:
            return SW_SHOWMAXIMIZED;
    }
    return SW_SHOW;
}

HWND OwnerOf(HWND wnd) {
    return reinterpret_cast<HWND>(GetWindowLongPtrW(wnd, GWLP_HWNDPARENT));
}

BOOL CALLBACK CollectWindow(HWND wnd, LPARAM param) noexcept {
    try {
        reinterpret_cast<std::vector<core::WindowId>*>(param)->push_back(ToId(wnd));
        return TRUE;
    } catch (const std::bad_alloc&) {
        return FALSE;  // no exception may cross the enumeration; what we have is used
    }
}

// A message whose answer is a number, asked without waiting on a hung window.
bool AskWindow(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT timeoutMs,
               DWORD_PTR& answer) {
    answer = 0;
    return SendMessageTimeoutW(wnd, msg, wParam, lParam, SMTO_ABORTIFHUNG | SMTO_BLOCK, timeoutMs,
                               &answer) != 0;
}

}  // namespace

std::string GetWindowCaption(HWND wnd) {
    DWORD_PTR length = 0;
    if (AskWindow(wnd, WM_GETTEXTLENGTH, 0, 0, kCaptionTimeoutMs, length)) {
        if (length == 0) return {};
        const auto capacity =
            static_cast<std::size_t>(length < kCaptionLimit ? length : kCaptionLimit) + 1;
        std::wstring buffer(capacity, L'\0');
        DWORD_PTR copied = 0;
        if (AskWindow(wnd, WM_GETTEXT, capacity, reinterpret_cast<LPARAM>(buffer.data()),
                      kCaptionTimeoutMs, copied)) {
            buffer.resize(copied < capacity ? static_cast<std::size_t>(copied) : capacity - 1);
            // Text up to the first NUL, as a caption is.
            buffer.resize(wcsnlen(buffer.c_str(), buffer.size()));
            return Narrow(buffer);
        }
    }
    // No answer in time: the text Windows keeps for the window needs no answer from it.
    std::wstring buffer(kCaptionLimit + 1, L'\0');
    const int copied = InternalGetWindowText(wnd, buffer.data(), kCaptionLimit + 1);
    buffer.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
    return Narrow(buffer);
}

UniqueBitmap GetWindowIcon(HWND wnd, bool* found) {
    if (found) *found = false;
    std::uint32_t* pixels = nullptr;
    UniqueBitmap bitmap = CreateTopDownBitmap(kPictureSize, kPictureSize, &pixels);
    if (!bitmap) return {};
    constexpr int kPixels = kPictureSize * kPictureSize;
    for (int i = 0; i < kPixels; ++i) pixels[i] = 0xFFFFFFFFu;  // opaque white

    DWORD_PTR answer = 0;
    AskWindow(wnd, WM_GETICON, ICON_SMALL, 0, kIconTimeoutMs, answer);
    // The icons belong to the window or its class: drawn, never destroyed here.
    auto icon = reinterpret_cast<HICON>(answer);
    if (!icon) icon = reinterpret_cast<HICON>(GetClassLongPtrW(wnd, GCLP_HICONSM));
    if (!icon) icon = reinterpret_cast<HICON>(GetClassLongPtrW(wnd, GCLP_HICON));
    if (!icon) return bitmap;

    UniqueDc dc(CreateCompatibleDC(nullptr));
    if (!dc) return bitmap;
    bool drawn = false;
    {
        const SelectedObject selected(dc.get(), bitmap.get());
        drawn = DrawIconEx(dc.get(), 0, 0, icon, kPictureSize, kPictureSize, 0, nullptr,
                           DI_NORMAL) != 0;
    }
    GdiFlush();
    // GDI may leave the alpha byte of drawn pixels at zero; the picture is opaque throughout.
    for (int i = 0; i < kPixels; ++i) pixels[i] |= 0xFF000000u;
    if (found) *found = drawn;
    return bitmap;
}

// ---- Win32Desktop -------------------------------------------------------------------------

std::vector<core::WindowId> Win32Desktop::TopLevelWindows() {
    std::vector<core::WindowId> windows;
    windows.reserve(256);
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

core::WindowId Win32Desktop::ForegroundWindow() {
    return ToId(GetForegroundWindow());
}
core::WindowId Win32Desktop::Owner(core::WindowId w) {
    return ToId(OwnerOf(ToHwnd(w)));
}
core::WindowId Win32Desktop::DesktopWindow() {
    return ToId(GetDesktopWindow());
}

std::uint32_t Win32Desktop::ExStyle(core::WindowId w) {
    return static_cast<std::uint32_t>(GetWindowLongPtrW(ToHwnd(w), GWL_EXSTYLE));
}

bool Win32Desktop::IsVisible(core::WindowId w) {
    return IsWindowVisible(ToHwnd(w)) != 0;
}
bool Win32Desktop::IsIconic(core::WindowId w) {
    return ::IsIconic(ToHwnd(w)) != 0;
}
bool Win32Desktop::IsZoomed(core::WindowId w) {
    return ::IsZoomed(ToHwnd(w)) != 0;
}
bool Win32Desktop::Exists(core::WindowId w) {
    return IsWindow(ToHwnd(w)) != 0;
}
bool Win32Desktop::IsHung(core::WindowId w) {
    // Only the system's record of when the thread last took a message: asking the window
    // itself would make us wait on it.
    return IsHungAppWindow(ToHwnd(w)) != 0;
}

core::WindowOrigin Win32Desktop::Origin(core::WindowId w) {
    core::WindowOrigin origin;
    DWORD pid = 0;
    origin.threadId = GetWindowThreadProcessId(ToHwnd(w), &pid);
    if (origin.threadId == 0) return {};
    origin.processId = pid;
    UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    FILETIME created{}, exited{}, kernel{}, user{};
    if (process && GetProcessTimes(process.get(), &created, &exited, &kernel, &user)) {
        origin.processStartTime =
            (static_cast<std::uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
    }
    return origin;
}

std::uint32_t Win32Desktop::OwnProcessId() {
    return GetCurrentProcessId();
}

std::string Win32Desktop::Caption(core::WindowId w) {
    return GetWindowCaption(ToHwnd(w));
}

std::unique_ptr<core::WindowPicture> Win32Desktop::Picture(core::WindowId w) {
    return std::make_unique<WindowBitmap>(GetWindowIcon(ToHwnd(w)));
}

void Win32Desktop::ShowAsync(core::WindowId w, core::ShowCommand command) {
    ShowWindowAsync(ToHwnd(w), ToShowCode(command));
}

core::WindowId Win32Desktop::TaskmanRoot() {
    return ToId(TaskManagerWindow());
}

core::WindowId Win32Desktop::ProgramManager() {
    return ToId(ProgramManagerWindow());
}

core::WindowId Win32Desktop::Taskbar() {
    return ToId(TaskbarWindow());
}

void Win32Desktop::AnimateTray(core::WindowId w, bool fromTray) {
    win::AnimateTray(ToHwnd(w), fromTray);
}

}  // namespace quenvix::win
