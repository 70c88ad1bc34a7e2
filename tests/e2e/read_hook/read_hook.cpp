// Reads what another program shows from inside that program. Menus belong to the process that
// made them (under Wine another process's GetMenuItemInfo fails), and a tab control's items and
// places are answered only to pointers of its own process, so testwin puts this DLL into the
// window's thread with SetWindowsHookEx(WH_CALLWNDPROC) and sends the window one of the
// registered messages below; the hook, running in that thread, writes what the user sees into a
// shared section.
// - To an open popup menu ("#32768"): one line per item, "depth|text|picture", where depth
//   counts the submenus above the item, text is "-" for a separator, and picture is 1 when the
//   item has a bitmap (hbmpItem, or a checked/unchecked bitmap).
// - To a tab control: one line per tab, "text|left top right bottom" on the screen.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <string>

namespace {

const wchar_t kSection[] = L"QuenvixTestMenuEntries";
constexpr DWORD kSectionBytes = 1 << 20;

void Describe(HMENU menu, int depth, std::wstring& out) {
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count && depth < 4; ++i) {
        wchar_t text[512] = {};
        MENUITEMINFOW item{};
        item.cbSize = sizeof item;
        item.fMask = MIIM_FTYPE | MIIM_STRING | MIIM_BITMAP | MIIM_CHECKMARKS | MIIM_SUBMENU;
        item.dwTypeData = text;
        item.cch = 511;
        if (!GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &item)) {
            out += std::to_wstring(depth) + L"|?|0\n";
            continue;
        }
        const bool picture = item.hbmpItem || item.hbmpChecked || item.hbmpUnchecked;
        out += std::to_wstring(depth) + L"|" + ((item.fType & MFT_SEPARATOR) ? L"-" : text) + L"|" +
               (picture ? L"1" : L"0") + L"\n";
        if (item.hSubMenu) Describe(item.hSubMenu, depth + 1, out);
    }
}

void Publish(const std::wstring& text) {
    HANDLE section = OpenFileMappingW(FILE_MAP_WRITE, FALSE, kSection);
    if (!section) return;
    if (void* view = MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, kSectionBytes)) {
        const size_t chars = text.size() < kSectionBytes / sizeof(wchar_t) - 1
                                 ? text.size()
                                 : kSectionBytes / sizeof(wchar_t) - 1;
        auto* target = static_cast<wchar_t*>(view);
        CopyMemory(target, text.data(), chars * sizeof(wchar_t));
        target[chars] = L'\0';
        UnmapViewOfFile(view);
    }
    CloseHandle(section);
}

std::wstring DescribeTabs(HWND tabs) {
    std::wstring out;
    const int count = TabCtrl_GetItemCount(tabs);
    for (int i = 0; i < count; ++i) {
        wchar_t text[256] = {};
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = text;
        item.cchTextMax = 255;
        RECT r{};
        if (!TabCtrl_GetItem(tabs, i, &item) || !TabCtrl_GetItemRect(tabs, i, &r)) continue;
        MapWindowPoints(tabs, nullptr, reinterpret_cast<POINT*>(&r), 2);
        out += std::wstring(text) + L"|" + std::to_wstring(r.left) + L" " + std::to_wstring(r.top) +
               L" " + std::to_wstring(r.right) + L" " + std::to_wstring(r.bottom) + L"\n";
    }
    return out;
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK ReadHook(int code, WPARAM wp, LPARAM lp) {
    static const UINT kReadMenu = RegisterWindowMessageW(L"QuenvixTestReadMenu");
    static const UINT kReadTabs = RegisterWindowMessageW(L"QuenvixTestReadTabs");
    const auto* call = reinterpret_cast<const CWPSTRUCT*>(lp);
    if (code == HC_ACTION && call && call->message == kReadTabs) {
        Publish(L"ok\n" + DescribeTabs(call->hwnd));
    }
    if (code == HC_ACTION && call && call->message == kReadMenu) {
        std::wstring text = L"ok\n";
        // The popup window answers with the menu it shows (MN_GETHMENU, learn.microsoft.com).
        if (auto menu = reinterpret_cast<HMENU>(SendMessageW(call->hwnd, MN_GETHMENU, 0, 0))) {
            Describe(menu, 0, text);
        }
        Publish(text);
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}
