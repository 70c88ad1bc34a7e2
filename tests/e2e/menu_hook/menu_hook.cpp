// Reads the open popup menu from inside the program that shows it. Menus belong to the process
// that made them (under Wine another process's GetMenuItemInfo fails), so `testwin menu` puts
// this DLL into the menu window's thread with SetWindowsHookEx(WH_CALLWNDPROC) and sends that
// window the registered message below; the hook, running in that thread, writes what the user
// sees into a shared section: one line per item, "depth|text|picture", where depth counts the
// submenus above the item, text is "-" for a separator, and picture is 1 when the item has a
// bitmap (hbmpItem, or a checked/unchecked bitmap).
#include <windows.h>

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

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK ReadMenuHook(int code, WPARAM wp, LPARAM lp) {
    static const UINT kRead = RegisterWindowMessageW(L"QuenvixTestReadMenu");
    const auto* call = reinterpret_cast<const CWPSTRUCT*>(lp);
    if (code == HC_ACTION && call && call->message == kRead) {
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
