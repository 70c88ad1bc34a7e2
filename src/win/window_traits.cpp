#include "win/window_traits.h"

#include <dwmapi.h>

#include <string_view>

#include "core/spared_windows.h"
#include "win/log.h"
#include "win/ui.h"
#include "win/win_event_hook.h"

namespace quenvix::win {
namespace {

using DwmGetWindowAttributeFn = HRESULT(WINAPI*)(HWND, DWORD, PVOID, DWORD);

// Looked up once, from the system folder only (never a DLL of that name beside us), so that
// the program still starts, and simply sees nothing cloaked, where dwmapi.dll is missing.
DwmGetWindowAttributeFn WindowAttributeQuery() {
    static const DwmGetWindowAttributeFn query = [] {
        HMODULE dwm = LoadLibraryExW(L"dwmapi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        if (!dwm) {
            LogLastError("LoadLibraryExW (dwmapi.dll)");
            return DwmGetWindowAttributeFn{};
        }
        const auto fn = reinterpret_cast<DwmGetWindowAttributeFn>(
            reinterpret_cast<void*>(GetProcAddress(dwm, "DwmGetWindowAttribute")));
        if (!fn) LogLastError("GetProcAddress (DwmGetWindowAttribute)");
        return fn;  // the library stays loaded for the life of the process
    }();
    return query;
}

DWORD ProcessOf(HWND window) {
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    return processId;
}

}  // namespace

std::wstring ClassOf(HWND window) {
    wchar_t name[257] = {};
    const int length = GetClassNameW(window, name, static_cast<int>(std::size(name)));
    return std::wstring(name, length > 0 ? static_cast<std::size_t>(length) : 0);
}

bool IsCloaked(HWND window) {
    const DwmGetWindowAttributeFn query = WindowAttributeQuery();
    if (!query) return false;
    // DWMWA_CLOAKED: nonzero (the reason: by its app, by the shell, inherited from its owner)
    // when cloaked. A failure (no composition, a window gone) counts as not cloaked.
    // https://learn.microsoft.com/windows/win32/api/dwmapi/ne-dwmapi-dwmwindowattribute
    DWORD cloaked = 0;
    return SUCCEEDED(query(window, DWMWA_CLOAKED, &cloaked, sizeof cloaked)) && cloaked != 0;
}

core::WindowTraits ReadWindowTraits(HWND window, bool withExecutable) {
    core::WindowTraits traits;
    traits.desktopWindow = window == GetDesktopWindow();
    DWORD processId = 0;
    const DWORD threadId = GetWindowThreadProcessId(window, &processId);
    // A window already gone has no thread; like our own, it is never to be hidden.
    traits.ours = threadId == 0 || processId == GetCurrentProcessId();
    traits.windowClass = Narrow(ClassOf(window));
    traits.exStyle = static_cast<std::uint32_t>(GetWindowLongPtrW(window, GWL_EXSTYLE));
    // The shell's process is the one that made the shell window (the desktop's Program
    // Manager). https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-getshellwindow
    const HWND shell = GetShellWindow();
    traits.shellProcess = shell && processId != 0 && ProcessOf(shell) == processId;
    if (traits.windowClass == core::kWorkerClass) {
        traits.desktopView = FindWindowExW(window, nullptr, Widen(core::kDesktopViewClass).c_str(),
                                           nullptr) != nullptr;
    }
    if (withExecutable || traits.windowClass == core::kCoreWindowClass) {
        traits.executable = ExecutableOf(window);
    }
    traits.cloaked = IsCloaked(window);
    return traits;
}

}  // namespace quenvix::win
