#include "win/hotkey_page.h"

#include <commctrl.h>
#include <uxtheme.h>

#include "core/error.h"
#include "win/key_record_dialog.h"
#include "win/key_settings.h"
#include "win/message_wait.h"

namespace quenvix::win {
namespace {

enum : int {
    kHotkeyGroupId = 301,
    kHotkeyComboId,
    kKeyEditId,
    kChangeButtonId,
    kDefaultButtonId,
    kRunOnStartupId,
};

// The page is a child dialog over the tab control's display area, so that Tab moves between its
// controls and, with visual styles, its controls sit on the tab's own background.
INT_PTR CALLBACK PageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam) {
    const MessageOrigin origin(page, msg, wParam, lParam);
    switch (msg) {
        case WM_INITDIALOG:
            return TRUE;
        case WM_COMMAND:
            // Our controls' commands go on, whoever pressed the button; one that another program
            // sends the page itself would arrive at the window as ours.
            if (SentByThisThread()) SendMessageW(GetParent(page), msg, wParam, lParam);
            return TRUE;
        case WM_NOTIFY:
            // Only our own controls' notices go on; the header pointer of anyone else's is not
            // ours to read.
            if (SentByThisThread()) SendMessageW(GetParent(page), msg, wParam, lParam);
            return TRUE;
        default:
            return FALSE;
    }
}

HWND CreatePage(HWND parent) {
    struct alignas(4) EmptyTemplate {
        DLGTEMPLATE header;
        WORD menu, windowClass, title;
    } tmpl{{WS_CHILD | WS_VISIBLE | DS_CONTROL, WS_EX_CONTROLPARENT, 0, 0, 0, 0, 0}, 0, 0, 0};
    HWND page = CreateDialogIndirectParamW(AppInstance(), &tmpl.header, parent, PageProc, 0);
    if (page) EnableThemeDialogTexture(page, ETDT_ENABLETAB);
    return page;
}

}  // namespace

HotkeyPage::HotkeyPage(FormWindow& form, const RECT& area, KeySettings& keys, SettingsHost& host)
    : form_(form), keys_(keys), host_(host) {
    page_ = CreatePage(form_.Hwnd());
    if (!page_) throw core::Error("The settings page could not be created");
    Place(area);
    CreateControls();
}

void HotkeyPage::CreateControls() {
    const FontSpec formFont{};  // the user's message font
    const HWND page = page_;
    hotkeyGroup_ = form_.AddControl(L"BUTTON", L"Short-cut keys: ", WS_VISIBLE | BS_GROUPBOX, 4, 0,
                                    177, 81, kHotkeyGroupId, formFont, 0, page);
    hotkeyCombo_ =
        form_.AddControl(WC_COMBOBOXW, L"", WS_VISIBLE | WS_TABSTOP | CBS_DROPDOWNLIST | WS_VSCROLL,
                         4 + 8, 16, 161, 120, kHotkeyComboId, formFont, 0, page);
    keyEdit_ =
        form_.AddControl(WC_EDITW, L"", WS_VISIBLE | WS_TABSTOP | ES_READONLY | ES_AUTOHSCROLL,
                         4 + 8, 48, 89, 21, kKeyEditId, formFont, WS_EX_CLIENTEDGE, page);
    changeButton_ = form_.AddControl(L"BUTTON", L"Change", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
                                     4 + 104, 48, 65, 22, kChangeButtonId, formFont, 0, page);
    runOnStartupCheck_ =
        form_.AddControl(L"BUTTON", L"Run on startup", WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX,
                         192, 8, 129, 17, kRunOnStartupId, formFont, 0, page);
    defaultButton_ =
        form_.AddControl(L"BUTTON", L"Default", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 280, 78,
                         65, 22, kDefaultButtonId, formFont, 0, page);
    // The group box frames the controls inside it and must lie behind them.
    SetWindowPos(hotkeyGroup_, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

    // The "Change" button shows its hint as a tooltip.
    hintTip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                               form_.Hwnd(), nullptr, AppInstance(), nullptr);
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = form_.Hwnd();
    tool.uId = reinterpret_cast<UINT_PTR>(changeButton_);
    tool.lpszText = const_cast<wchar_t*>(L"");
    SendMessageW(hintTip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));

    SendMessageW(runOnStartupCheck_, BM_SETCHECK,
                 keys_.RunOnStartup() ? BST_CHECKED : BST_UNCHECKED, 0);
    FillKeyList();
}

void HotkeyPage::Place(const RECT& area) {
    SetWindowPos(page_, HWND_TOP, area.left, area.top, area.right - area.left,
                 area.bottom - area.top, SWP_NOACTIVATE);
}

void HotkeyPage::FillKeyList() {
    SendMessageW(hotkeyCombo_, CB_RESETCONTENT, 0, 0);
    keys_.Detector().FillList(keyLines_);
    for (const auto& line : keyLines_) {
        SendMessageW(hotkeyCombo_, CB_ADDSTRING, 0,
                     reinterpret_cast<LPARAM>(Widen(line.first).c_str()));
    }
    SendMessageW(hotkeyCombo_, CB_SETCURSEL, 0, 0);
    OnHotkeySelected();
}

void HotkeyPage::SetChangeHint(const std::wstring& hint) {
    changeHint_ = hint;
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.hwnd = form_.Hwnd();
    tool.uId = reinterpret_cast<UINT_PTR>(changeButton_);
    tool.lpszText = changeHint_.data();
    SendMessageW(hintTip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

void HotkeyPage::OnHotkeySelected() {
    const LRESULT sel = SendMessageW(hotkeyCombo_, CB_GETCURSEL, 0, 0);
    if (sel == CB_ERR || static_cast<size_t>(sel) >= keyLines_.size()) return;
    const auto& line = keyLines_[static_cast<size_t>(sel)];
    SetWindowTextW(keyEdit_, Widen(line.second->Key).c_str());
    SetChangeHint(L"Edit short-cut key for " + Widen(line.first));
}

void HotkeyPage::ChangeKey() {
    const LRESULT sel = SendMessageW(hotkeyCombo_, CB_GETCURSEL, 0, 0);
    if (sel == CB_ERR || static_cast<size_t>(sel) >= keyLines_.size()) return;
    auto& line = keyLines_[static_cast<size_t>(sel)];
    wchar_t current[256] = {};
    GetWindowTextW(keyEdit_, current, 256);
    keys_.ReleaseSystemKeys();
    KeyRecordDialog dialog(form_.Hwnd());
    const bool recorded = dialog.Execute(line.first, Narrow(current), keys_.Detector());
    if (recorded) {
        line.second->Key = dialog.NewKey();
        SetWindowTextW(keyEdit_, Widen(line.second->Key).c_str());
    }
    keys_.RegisterSystemKeys();
    if (recorded) keys_.Save();
}

void HotkeyPage::DefaultKeys() {
    if (MessageBoxWhileServing(form_.Hwnd(), L"Restore all short-keys to original value?",
                               L"Confirm", MB_OKCANCEL | MB_ICONQUESTION) != IDOK) {
        return;
    }
    // The list's lines point at the hotkeys that are about to be freed.
    SendMessageW(hotkeyCombo_, CB_RESETCONTENT, 0, 0);
    keyLines_.clear();
    SendMessageW(runOnStartupCheck_, BM_SETCHECK, BST_CHECKED, 0);
    keys_.ResetToDefaults();
    FillKeyList();
}

void HotkeyPage::ApplyRunOnStartupBox() {
    keys_.SetRunOnStartup(SendMessageW(runOnStartupCheck_, BM_GETCHECK, 0, 0) == BST_CHECKED);
}

const std::array<HotkeyPage::ButtonCommand, 3> HotkeyPage::kButtonCommands{{
    {kChangeButtonId, core::Command::ChangeHotkey},
    {kDefaultButtonId, core::Command::DefaultHotkeys},
    {kRunOnStartupId, core::Command::SetRunOnStartup},
}};

std::optional<core::Command> HotkeyPage::CommandOfButton(int id, int code) {
    if (code != BN_CLICKED) return std::nullopt;
    for (const ButtonCommand& button : kButtonCommands) {
        if (button.id == id) return button.command;
    }
    return std::nullopt;
}

bool HotkeyPage::OnCommand(int id, int code) {
    // A button's click is a command of the program's, run (or not, once the exit has begun) by
    // the program, which hands it back through RunCommand.
    if (const auto command = CommandOfButton(id, code)) {
        host_.Run(*command);
        return true;
    }
    if (id != kHotkeyComboId) return false;
    if (code == CBN_SELCHANGE) OnHotkeySelected();
    return true;
}

bool HotkeyPage::RunCommand(core::Command command) {
    switch (command) {
        case core::Command::ChangeHotkey:
            ChangeKey();
            return true;
        case core::Command::DefaultHotkeys:
            DefaultKeys();
            return true;
        case core::Command::SetRunOnStartup:
            ApplyRunOnStartupBox();
            return true;
        default:
            return false;
    }
}

}  // namespace quenvix::win
