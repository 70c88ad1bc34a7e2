#include "win/status_bar.h"

#include <commctrl.h>

#include "win/shell.h"

namespace quenvix::win {

StatusBar::StatusBar(FormWindow& window, int id) : window_(window) {
    const FontSpec formFont{};  // the user's message font
    bar_ =
        CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, window_.Hwnd(),
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), AppInstance(), nullptr);
    SendMessageW(bar_, WM_SETFONT, reinterpret_cast<WPARAM>(window_.FontFor(formFont)), FALSE);
    SendMessageW(bar_, SB_SETMINHEIGHT, static_cast<WPARAM>(window_.S(kHeight96)), 0);
    Layout();
}

void StatusBar::ShowHint() {
    SendMessageW(bar_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(hint_.c_str()));
}

void StatusBar::ShowNotice(const std::wstring& text) {
    SendMessageW(bar_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void StatusBar::OnClick() {
    if (hint_.empty()) return;
    const DWORD attributes = GetFileAttributesW(hint_.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        ShellOpen(Narrow(hint_));
    }
}

void StatusBar::Layout() {
    if (!bar_) return;
    // One part across the whole bar (-1: "extends to the border of the window"), so that a
    // notice is read whole.
    int parts[] = {-1};
    SendMessageW(bar_, SB_SETPARTS, 1, reinterpret_cast<LPARAM>(parts));
    SendMessageW(bar_, WM_SIZE, 0, 0);
}

}  // namespace quenvix::win
