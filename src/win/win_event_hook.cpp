#include "win/win_event_hook.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "win/desktop.h"
#include "win/log.h"
#include "win/ui.h"
#include "win/window_traits.h"

namespace quenvix::win {
namespace {

// How long a window may take to tell its caption. Short: this runs on the UI thread, and the
// text the system keeps for the window is the fallback.
constexpr UINT kCaptionTimeoutMs = 20;

// WinEvent callbacks carry no pointer of ours; the hook handle leads to the object, and only on
// the thread that set it (each thread gets its own events).
thread_local std::vector<std::pair<HWINEVENTHOOK, WinEventHook*>> threadHooks;

WinEventHook* HookObject(HWINEVENTHOOK hook) {
    for (const auto& [handle, object] : threadHooks) {
        if (handle == hook) return object;
    }
    return nullptr;
}

UniqueWinEventHook SetHook(DWORD first, DWORD last) {
    UniqueWinEventHook hook(SetWinEventHook(first, last, nullptr, &WinEventHook::OnEvent, 0, 0,
                                            WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS));
    if (!hook) LogLastError("SetWinEventHook");
    return hook;
}

bool IsTopLevel(HWND window) {
    return GetAncestor(window, GA_PARENT) == GetDesktopWindow();
}

// The hook asks the system to skip our own windows' events, but not every system does (Wine 8
// sends them); the rules never act on our windows, so they stop here.
bool IsOurs(HWND window) {
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    return processId == GetCurrentProcessId();
}

std::string CaptionStart(HWND window) {
    // Characters beyond the basic plane take two UTF-16 units.
    const std::size_t capacity = 2 * core::kRuleCaptionChars + 1;
    std::wstring buffer(capacity, L'\0');
    DWORD_PTR copied = 0;
    if (SendMessageTimeoutW(window, WM_GETTEXT, capacity, reinterpret_cast<LPARAM>(buffer.data()),
                            SMTO_ABORTIFHUNG | SMTO_BLOCK, kCaptionTimeoutMs, &copied)) {
        buffer.resize(copied < capacity ? static_cast<std::size_t>(copied) : capacity - 1);
    } else {
        const int length = InternalGetWindowText(window, buffer.data(), static_cast<int>(capacity));
        buffer.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    }
    buffer.resize(wcsnlen(buffer.c_str(), buffer.size()));
    // Cut in the middle of a character: that half would only become a replacement character.
    if (!buffer.empty() && buffer.back() >= 0xD800 && buffer.back() <= 0xDBFF) buffer.pop_back();
    return Narrow(buffer);
}

}  // namespace

WinEventHook::WinEventHook(Handler handler, bool captionChanges)
    : handler_(std::move(handler)), hearsCaptionChanges_(captionChanges) {
    // One hook covers create, destroy and show (0x8000 to 0x8002).
    createShowHook_ = SetHook(EVENT_OBJECT_CREATE, EVENT_OBJECT_SHOW);
    minimizeHook_ = SetHook(EVENT_SYSTEM_MINIMIZESTART, EVENT_SYSTEM_MINIMIZESTART);
    if (captionChanges) captionHook_ = SetHook(EVENT_OBJECT_NAMECHANGE, EVENT_OBJECT_NAMECHANGE);
    Register(createShowHook_.get());
    Register(minimizeHook_.get());
    Register(captionHook_.get());
}

WinEventHook::~WinEventHook() {
    // Events already queued for our hooks may still be dispatched: they find no object.
    std::erase_if(threadHooks, [this](const auto& entry) { return entry.second == this; });
}

void WinEventHook::Register(HWINEVENTHOOK hook) {
    if (hook) threadHooks.emplace_back(hook, this);
}

void CALLBACK WinEventHook::OnEvent(HWINEVENTHOOK hook, DWORD event, HWND window, LONG idObject,
                                    LONG idChild, DWORD, DWORD) noexcept {
    Guarded(nullptr, [&] {
        if (idObject != OBJID_WINDOW || idChild != CHILDID_SELF || !window) return;
        core::RuleEvent kind;
        switch (event) {
            case EVENT_OBJECT_CREATE:
                kind = core::RuleEvent::Created;
                break;
            case EVENT_OBJECT_SHOW:
                kind = core::RuleEvent::Shown;
                break;
            case EVENT_SYSTEM_MINIMIZESTART:
                kind = core::RuleEvent::MinimizeStarted;
                break;
            case EVENT_OBJECT_NAMECHANGE:
                kind = core::RuleEvent::CaptionChanged;
                break;
            case EVENT_OBJECT_DESTROY:
                kind = core::RuleEvent::Destroyed;
                break;
            default:
                return;
        }
        WinEventHook* object = HookObject(hook);
        if (!object || !object->handler_) return;
        // Out of context the event comes after the fact: a destroyed window is gone by now and
        // can no longer be asked whose it is. Forgetting a handle we never knew costs nothing.
        if (kind != core::RuleEvent::Destroyed && (!IsTopLevel(window) || IsOurs(window))) return;
        // A copy: the handler may end the hook (the rules were changed), and with it itself.
        const Handler handler = object->handler_;
        handler(kind, window);
    });
}

std::string ExecutableOf(HWND window) {
    DWORD processId = 0;
    if (!GetWindowThreadProcessId(window, &processId) || processId == 0) return {};
    UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process) return {};
    std::wstring path(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD size = static_cast<DWORD>(path.size());
        if (QueryFullProcessImageNameW(process.get(), 0, path.data(), &size)) {
            path.resize(size);
            const std::size_t slash = path.find_last_of(L"\\/");
            return Narrow(slash == std::wstring::npos ? path : path.substr(slash + 1));
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
        path.resize(path.size() * 4);  // long paths: up to 32767 characters
    }
    return {};
}

core::WindowFacts ReadWindowFacts(HWND window, bool withCaption) {
    core::WindowFacts facts;
    // The same traits hide-all goes by: one list of windows that are never hidden.
    static_cast<core::WindowTraits&>(facts) = ReadWindowTraits(window, true);
    if (withCaption) facts.caption = CaptionStart(window);
    facts.topLevel = IsTopLevel(window);
    const auto owner = reinterpret_cast<HWND>(GetWindowLongPtrW(window, GWLP_HWNDPARENT));
    facts.ownedByWindow = owner != nullptr && owner != GetDesktopWindow();
    facts.visible = IsWindowVisible(window) != FALSE;
    return facts;
}

void Win32WindowEvents::Follow(Handler handler, bool captionChanges) {
    // The old hooks go first: an event queued for them finds no object and is dropped.
    hook_.reset();
    hook_ = std::make_unique<WinEventHook>(
        [handler = std::move(handler)](core::RuleEvent event, HWND window) {
            handler(event, ToId(window));
        },
        captionChanges);
}

bool RestoresToMaximized(HWND window) {
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    if (!GetWindowPlacement(window, &placement)) return false;
    if (placement.showCmd == SW_SHOWMINIMIZED || IsIconic(window)) {
        return (placement.flags & WPF_RESTORETOMAXIMIZED) != 0;
    }
    // The minimise has not begun yet: the window is as it is now.
    return IsZoomed(window) != FALSE;
}

}  // namespace quenvix::win
