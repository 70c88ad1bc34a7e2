#include "win/desktop.h"

// (after windows.h)
#include <shellapi.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <new>
#include <vector>

#include "win/cpu_gauge_view.h"
#include "win/log.h"
#include "win/taskbar.h"
#include "win/win_event_hook.h"
#include "win/window_traits.h"

namespace quenvix::win {

int ShowCode(core::ShowCommand command) noexcept {
    switch (command) {
        case core::ShowCommand::Hide:
            return SW_HIDE;
        case core::ShowCommand::ShowNormal:
            return SW_SHOWNORMAL;
        case core::ShowCommand::ShowMaximized:
            return SW_SHOWMAXIMIZED;
        case core::ShowCommand::ShowNormalNoActivate:
            return SW_SHOWNOACTIVATE;
        case core::ShowCommand::ShowMinimizedNoActivate:
            return SW_SHOWMINNOACTIVE;
        case core::ShowCommand::ShowAsIsNoActivate:
            break;
    }
    return SW_SHOWNA;
}

namespace {

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

int MenuPictureSize() {
    return TrayIconSize(TaskbarDpi());
}

UniqueBitmap IconPicture(HICON icon, int size, bool* drawn) {
    if (drawn) *drawn = false;
    std::uint32_t* pixels = nullptr;
    UniqueBitmap bitmap = CreateTopDownBitmap(size, size, &pixels);
    if (!bitmap) return {};
    const int pixelCount = size * size;
    for (int i = 0; i < pixelCount; ++i) pixels[i] = 0xFFFFFFFFu;  // opaque white
    if (!icon) return bitmap;

    UniqueDc dc(CreateCompatibleDC(nullptr));
    if (!dc) return bitmap;
    bool ok = false;
    {
        const SelectedObject selected(dc.get(), bitmap.get());
        ok = DrawIconEx(dc.get(), 0, 0, icon, size, size, 0, nullptr, DI_NORMAL) != 0;
    }
    GdiFlush();
    // GDI may leave the alpha byte of drawn pixels at zero; the picture is opaque throughout.
    for (int i = 0; i < pixelCount; ++i) pixels[i] |= 0xFF000000u;
    if (drawn) *drawn = ok;
    return bitmap;
}

namespace {

// Pictures whose window has not answered the icon query yet, by request number, with the icon
// asked for. The answer comes on the asking thread, but a picture may be dropped first: the
// number then finds nothing.
struct Waiting {
    WindowBitmap* picture;
    WPARAM which;
};
std::mutex g_waitingMutex;
std::map<ULONG_PTR, Waiting> g_waiting;
ULONG_PTR g_lastRequest = 0;

// The small icon of the window's program file; null when there is none or it cannot be read.
// Reading it asks nothing of the program.
UniqueIcon ProgramFileIcon(HWND window) {
    DWORD processId = 0;
    if (!GetWindowThreadProcessId(window, &processId)) return {};
    UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process) return {};
    std::wstring path(32768, L'\0');
    auto length = static_cast<DWORD>(path.size());
    if (!QueryFullProcessImageNameW(process.get(), 0, path.data(), &length)) return {};
    path.resize(length);
    HICON small = nullptr;
    if (ExtractIconExW(path.c_str(), 0, nullptr, &small, 1) == 0) return {};
    return UniqueIcon(small);
}

}  // namespace

WindowBitmap::~WindowBitmap() {
    if (request_ == 0) return;
    const std::lock_guard lock(g_waitingMutex);
    g_waiting.erase(request_);
}

std::unique_ptr<WindowBitmap> WindowBitmap::OfWindow(HWND window) {
    // The class's icons belong to the class, the application icon to the system: drawn, never
    // destroyed here.
    auto icon = reinterpret_cast<HICON>(GetClassLongPtrW(window, GCLP_HICONSM));
    if (!icon) icon = reinterpret_cast<HICON>(GetClassLongPtrW(window, GCLP_HICON));
    UniqueIcon fileIcon;
    if (!icon) {
        fileIcon = ProgramFileIcon(window);
        icon = fileIcon.get();
    }
    if (!icon) icon = LoadIconW(nullptr, IDI_APPLICATION);
    const int size = MenuPictureSize();
    auto picture = std::make_unique<WindowBitmap>(IconPicture(icon, size), size);
    picture->Ask(window, ICON_SMALL);
    return picture;
}

void WindowBitmap::Ask(HWND window, WPARAM which) {
    ULONG_PTR request = 0;
    {
        const std::lock_guard lock(g_waitingMutex);
        request = ++g_lastRequest;
        g_waiting.emplace(request, Waiting{this, which});
        request_ = request;
    }
    // Unlocked: a window of this very thread answers inside the call, answer and all.
    if (!SendMessageCallbackW(window, WM_GETICON, which, 0, &WindowBitmap::IconAnswered, request)) {
        const std::lock_guard lock(g_waitingMutex);
        g_waiting.erase(request);
        if (request_ == request) request_ = 0;
    }
}

void CALLBACK WindowBitmap::IconAnswered(HWND window, UINT, ULONG_PTR request, LRESULT icon) {
    // Called from the system's message retrieval: nothing may be thrown back into it. The
    // picture lives on this thread, so it stays while its answer is handled.
    try {
        Waiting waiting{};
        {
            const std::lock_guard lock(g_waitingMutex);
            const auto it = g_waiting.find(request);
            if (it == g_waiting.end()) return;
            waiting = it->second;
            g_waiting.erase(it);
            waiting.picture->request_ = 0;
        }
        if (!icon) {
            // No small icon of its own: its big one, drawn small; else what was drawn stays.
            if (waiting.which == ICON_SMALL) waiting.picture->Ask(window, ICON_BIG);
            return;
        }
        // A handle already destroyed is not drawn; a huge icon is drawn down to size.
        bool drawn = false;
        UniqueBitmap own =
            IconPicture(reinterpret_cast<HICON>(icon), waiting.picture->size_, &drawn);
        if (!drawn) return;
        waiting.picture->bitmap_ = std::move(own);
        ++waiting.picture->version_;
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
    if (ShowWindowAsync(ToHwnd(w), ShowCode(command))) return core::ShowResult::Queued;
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
