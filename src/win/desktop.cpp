#include "win/desktop.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <new>
#include <vector>

#include "win/log.h"
#include "win/taskbar.h"
#include "win/win_event_hook.h"
#include "win/window_traits.h"

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

}  // namespace

std::string GetWindowCaption(HWND wnd) {
    std::wstring buffer(kCaptionLimit + 1, L'\0');
    const int copied = InternalGetWindowText(wnd, buffer.data(), kCaptionLimit + 1);
    buffer.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
    return Narrow(buffer);
}

UniqueBitmap IconPicture(HICON icon, bool* drawn) {
    if (drawn) *drawn = false;
    std::uint32_t* pixels = nullptr;
    UniqueBitmap bitmap = CreateTopDownBitmap(kPictureSize, kPictureSize, &pixels);
    if (!bitmap) return {};
    constexpr int kPixels = kPictureSize * kPictureSize;
    for (int i = 0; i < kPixels; ++i) pixels[i] = 0xFFFFFFFFu;  // opaque white
    if (!icon) return bitmap;

    UniqueDc dc(CreateCompatibleDC(nullptr));
    if (!dc) return bitmap;
    bool ok = false;
    {
        const SelectedObject selected(dc.get(), bitmap.get());
        ok = DrawIconEx(dc.get(), 0, 0, icon, kPictureSize, kPictureSize, 0, nullptr, DI_NORMAL) !=
             0;
    }
    GdiFlush();
    // GDI may leave the alpha byte of drawn pixels at zero; the picture is opaque throughout.
    for (int i = 0; i < kPixels; ++i) pixels[i] |= 0xFF000000u;
    if (drawn) *drawn = ok;
    return bitmap;
}

namespace {

// Pictures whose window has not answered the icon query yet, by request number. The answer
// comes on the asking thread, but a picture may be dropped first: the number then finds nothing.
std::mutex g_waitingMutex;
std::map<ULONG_PTR, WindowBitmap*> g_waiting;
ULONG_PTR g_lastRequest = 0;

}  // namespace

WindowBitmap::~WindowBitmap() {
    if (request_ == 0) return;
    const std::lock_guard lock(g_waitingMutex);
    g_waiting.erase(request_);
}

std::unique_ptr<WindowBitmap> WindowBitmap::OfWindow(HWND window) {
    // The icons belong to the window or its class: drawn, never destroyed here.
    auto icon = reinterpret_cast<HICON>(GetClassLongPtrW(window, GCLP_HICONSM));
    if (!icon) icon = reinterpret_cast<HICON>(GetClassLongPtrW(window, GCLP_HICON));
    auto picture = std::make_unique<WindowBitmap>(IconPicture(icon));
    ULONG_PTR request = 0;
    {
        const std::lock_guard lock(g_waitingMutex);
        request = ++g_lastRequest;
        g_waiting.emplace(request, picture.get());
        picture->request_ = request;
    }
    // Unlocked: a window of this very thread answers inside the call, answer and all.
    if (!SendMessageCallbackW(window, WM_GETICON, ICON_SMALL, 0, &WindowBitmap::IconAnswered,
                              request)) {
        const std::lock_guard lock(g_waitingMutex);
        g_waiting.erase(request);
        picture->request_ = 0;
    }
    return picture;
}

void CALLBACK WindowBitmap::IconAnswered(HWND, UINT, ULONG_PTR request, LRESULT icon) {
    // Called from the system's message retrieval: nothing may be thrown back into it.
    try {
        const std::lock_guard lock(g_waitingMutex);
        const auto it = g_waiting.find(request);
        if (it == g_waiting.end()) return;
        WindowBitmap* picture = it->second;
        g_waiting.erase(it);
        picture->request_ = 0;
        if (!icon) return;  // none of its own: the class icon stays
        bool drawn = false;
        UniqueBitmap own = IconPicture(reinterpret_cast<HICON>(icon), &drawn);
        if (drawn) picture->bitmap_ = std::move(own);
    } catch (...) {
    }
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

core::WindowOrigin Win32Desktop::Origin(core::WindowId w) {
    core::WindowOrigin origin;
    DWORD pid = 0;
    origin.threadId = GetWindowThreadProcessId(ToHwnd(w), &pid);
    if (origin.threadId == 0) return {};
    origin.processId = pid;
    origin.processStartTime = ProcessStartTime(pid);
    return origin;
}

std::uint64_t Win32Desktop::ProcessStartTime(std::uint32_t processId) {
    // Bounded: processes that ended give their entries up first, and past that the cache starts
    // anew rather than hold handles without end.
    constexpr std::size_t kKnownProcessLimit = 256;
    const std::lock_guard lock(processesMutex_);
    if (const auto it = processes_.find(processId); it != processes_.end()) {
        return it->second.startTime;
    }
    if (processes_.size() >= kKnownProcessLimit) {
        std::erase_if(processes_, [](const auto& known) {
            return WaitForSingleObject(known.second.handle.get(), 0) != WAIT_TIMEOUT;
        });
        if (processes_.size() >= kKnownProcessLimit) processes_.clear();
    }
    UniqueHandle process(
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, processId));
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!process || !GetProcessTimes(process.get(), &created, &exited, &kernel, &user)) return 0;
    const std::uint64_t startTime =
        (static_cast<std::uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
    processes_.emplace(processId, KnownProcess{std::move(process), startTime});
    return startTime;
}

std::uint32_t Win32Desktop::OwnProcessId() {
    return GetCurrentProcessId();
}

std::string Win32Desktop::Caption(core::WindowId w) {
    return GetWindowCaption(ToHwnd(w));
}

std::unique_ptr<core::WindowPicture> Win32Desktop::Picture(core::WindowId w) {
    return WindowBitmap::OfWindow(ToHwnd(w));
}

core::ShowResult Win32Desktop::ShowAsync(core::WindowId w, core::ShowCommand command) {
    if (ShowWindowAsync(ToHwnd(w), ToShowCode(command))) return core::ShowResult::Queued;
    // User Interface Privilege Isolation keeps a process from commanding the windows of one of
    // higher integrity (an elevated Task Manager, an administrator's console); the refusal comes
    // back as ERROR_ACCESS_DENIED, as for PostMessage ("User Interface Privilege Isolation",
    // learn.microsoft.com; ShowWindowAsync: "If the operation was successfully started, the
    // return value is nonzero"). Where the system instead takes the command and drops it, all
    // we can know without waiting is that it was queued: the window then simply never gets to
    // our hide, and its record stays until the window is restored or gone.
    const DWORD error = GetLastError();
    LogFailure("ShowWindowAsync", error);
    return error == ERROR_ACCESS_DENIED ? core::ShowResult::Refused : core::ShowResult::Failed;
}

core::WindowTraits Win32Desktop::Traits(core::WindowId w) {
    return ReadWindowTraits(ToHwnd(w));
}

void Win32Desktop::AnimateTray(core::WindowId w, bool fromTray) {
    win::AnimateTray(ToHwnd(w), fromTray);
}

std::optional<core::WindowFacts> Win32Desktop::Facts(core::WindowId w, bool withCaption) {
    if (!IsWindow(ToHwnd(w))) return std::nullopt;
    return ReadWindowFacts(ToHwnd(w), withCaption);
}

bool Win32Desktop::RestoresToMaximized(core::WindowId w) {
    return win::RestoresToMaximized(ToHwnd(w));
}

}  // namespace quenvix::win
