#include "win/hotkey_page.h"

#include <commctrl.h>
#include <uxtheme.h>

#include <utility>

#include "core/error.h"
#include "core/hotkey_settings.h"
#include "core/key_chord.h"
#include "win/key_record_dialog.h"
#include "win/log.h"
#include "win/message_wait.h"
#include "win/shell.h"

namespace quenvix::win {
namespace {

enum : int {
    kTabsId = 300,
    kHotkeyGroupId,
    kHotkeyComboId,
    kKeyEditId,
    kChangeButtonId,
    kDefaultButtonId,
    kRunOnStartupId,
};

// The page is a child dialog over the tab control's display area, so that Tab moves between its
// controls and, with visual styles, its controls sit on the tab's own background.
INT_PTR CALLBACK PageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_INITDIALOG:
            return TRUE;
        case WM_COMMAND:
            SendMessageW(GetParent(page), msg, wParam, lParam);
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

HotkeyPage::HotkeyPage(FormWindow& window, core::HotkeyDetector& detector,
                       core::SettingsStore& settings, core::RegistryBackend& registry, SIZE size96)
    : window_(window),
      detector_(detector),
      settings_(settings),
      registry_(registry),
      size96_(size96) {}

void HotkeyPage::CreateControls() {
    if (HasControls()) return;
    const SIZE size96 = size96_;
    const FontSpec formFont{};  // the user's message font
    tabs_ = window_.AddControl(WC_TABCONTROLW, L"", WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0, size96.cx,
                               size96.cy, kTabsId, formFont);
    TCITEMW tab{};
    tab.mask = TCIF_TEXT;
    wchar_t controls[] = L"Controls";
    tab.pszText = controls;
    TabCtrl_InsertItem(tabs_, 0, &tab);

    controlsPage_ = CreatePage(window_.Hwnd());
    if (!controlsPage_) throw core::Error("The settings page could not be created");
    Layout();
    const HWND page = controlsPage_;
    hotkeyGroup_ = window_.AddControl(L"BUTTON", L"Short-cut keys: ", WS_VISIBLE | BS_GROUPBOX, 4,
                                      0, 177, 81, kHotkeyGroupId, formFont, 0, page);
    hotkeyCombo_ = window_.AddControl(WC_COMBOBOXW, L"",
                                      WS_VISIBLE | WS_TABSTOP | CBS_DROPDOWNLIST | WS_VSCROLL,
                                      4 + 8, 16, 161, 120, kHotkeyComboId, formFont, 0, page);
    keyEdit_ =
        window_.AddControl(WC_EDITW, L"", WS_VISIBLE | WS_TABSTOP | ES_READONLY | ES_AUTOHSCROLL,
                           4 + 8, 48, 89, 21, kKeyEditId, formFont, WS_EX_CLIENTEDGE, page);
    changeButton_ =
        window_.AddControl(L"BUTTON", L"Change", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 4 + 104,
                           48, 65, 22, kChangeButtonId, formFont, 0, page);
    runOnStartupCheck_ =
        window_.AddControl(L"BUTTON", L"Run on startup", WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX,
                           192, 8, 129, 17, kRunOnStartupId, formFont, 0, page);
    defaultButton_ =
        window_.AddControl(L"BUTTON", L"Default", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 280, 78,
                           65, 22, kDefaultButtonId, formFont, 0, page);
    // The group box frames the controls inside it and must lie behind them.
    SetWindowPos(hotkeyGroup_, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

    // The "Change" button shows its hint as a tooltip.
    hintTip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                               window_.Hwnd(), nullptr, AppInstance(), nullptr);
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = window_.Hwnd();
    tool.uId = reinterpret_cast<UINT_PTR>(changeButton_);
    tool.lpszText = const_cast<wchar_t*>(L"");
    SendMessageW(hintTip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));

    SendMessageW(runOnStartupCheck_, BM_SETCHECK, runOnStartup_ ? BST_CHECKED : BST_UNCHECKED, 0);
    FillKeyList();
}

RECT HotkeyPage::PageArea() const {
    RECT area{};
    GetClientRect(tabs_, &area);
    TabCtrl_AdjustRect(tabs_, FALSE, &area);
    MapWindowPoints(tabs_, window_.Hwnd(), reinterpret_cast<POINT*>(&area), 2);
    return area;
}

void HotkeyPage::Layout() {
    if (!HasControls()) return;
    const RECT area = PageArea();
    SetWindowPos(controlsPage_, HWND_TOP, area.left, area.top, area.right - area.left,
                 area.bottom - area.top, SWP_NOACTIVATE);
}

void HotkeyPage::RegisterShowListKey() {
    if (showListRegistered_) UnregisterHotKey(window_.Hwnd(), kShowListHotkeyId);
    showListRegistered_ = false;
    const auto index = core::HotkeyIndexOf(core::Command::ShowHiddenList);
    if (!index || *index >= detector_.Hotkeys().Count()) return;
    const std::string& text = detector_.Hotkeys().Item(*index).Key;
    // An earlier hotkey with the same text wins that press; the list must not open as well.
    for (std::size_t i = 0; i < *index; ++i) {
        if (detector_.Hotkeys().Item(i).Key == text) return;
    }
    const auto chord = core::ChordOfKeyText(text);
    if (!chord) return;  // modifiers only, or off: the detector alone serves it
    const UINT modifiers = MOD_NOREPEAT | (chord->ctrl ? MOD_CONTROL : 0) |
                           (chord->alt ? MOD_ALT : 0) | (chord->shift ? MOD_SHIFT : 0);
    showListRegistered_ =
        RegisterHotKey(window_.Hwnd(), kShowListHotkeyId, modifiers, chord->key) != FALSE;
    // Taken by another program: the detector still opens the list, without the foreground right.
    if (!showListRegistered_) LogLastError("RegisterHotKey");
}

void HotkeyPage::FillKeyList() {
    if (!HasControls()) return;
    SendMessageW(hotkeyCombo_, CB_RESETCONTENT, 0, 0);
    detector_.FillList(keyLines_);
    for (const auto& line : keyLines_) {
        SendMessageW(hotkeyCombo_, CB_ADDSTRING, 0,
                     reinterpret_cast<LPARAM>(Widen(line.first).c_str()));
    }
    SendMessageW(hotkeyCombo_, CB_SETCURSEL, 0, 0);
    OnHotkeySelected();
}

void HotkeyPage::SetDefaultKeys() {
    // The list's lines point at the hotkeys that are about to be freed.
    SendMessageW(hotkeyCombo_, CB_RESETCONTENT, 0, 0);
    keyLines_.clear();
    core::SetDefaultKeys(detector_);
    FillKeyList();
}

void HotkeyPage::LoadSettings() {
    const HWND owner = window_.Hwnd();
    core::LoadHotkeys(detector_, settings_,
                      [owner](const std::string& message) { ReportError(owner, message); });
    FillKeyList();
    RegisterShowListKey();
    // An unreadable choice leaves the Windows start-up entry as it is.
    Guarded(owner, [&] {
        // Read before the controls exist: the check box shows it when they are made.
        runOnStartup_ = settings_.ReadBool("Main", "Startup", true);
        ApplyRunOnStartup();
    });
}

void HotkeyPage::SaveHotkeys() {
    core::SaveHotkeys(detector_, settings_);
}

void HotkeyPage::SetChangeHint(const std::wstring& hint) {
    changeHint_ = hint;
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.hwnd = window_.Hwnd();
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
    // While the user presses a new combination, the list's registration must not take it.
    if (showListRegistered_) UnregisterHotKey(window_.Hwnd(), kShowListHotkeyId);
    showListRegistered_ = false;
    KeyRecordDialog dialog(window_.Hwnd());
    const bool recorded = dialog.Execute(line.first, Narrow(current), detector_);
    if (recorded) {
        line.second->Key = dialog.NewKey();
        SetWindowTextW(keyEdit_, Widen(line.second->Key).c_str());
    }
    RegisterShowListKey();
    if (recorded) SaveHotkeys();
}

void HotkeyPage::DefaultKeys() {
    if (MessageBoxWhileServing(window_.Hwnd(), L"Restore all short-keys to original value?",
                               L"Confirm", MB_OKCANCEL | MB_ICONQUESTION) != IDOK) {
        return;
    }
    SetDefaultKeys();
    runOnStartup_ = true;
    SendMessageW(runOnStartupCheck_, BM_SETCHECK, BST_CHECKED, 0);
    ApplyRunOnStartup();
    RegisterShowListKey();
    SaveHotkeys();
}

void HotkeyPage::ApplyRunOnStartupBox() {
    runOnStartup_ = SendMessageW(runOnStartupCheck_, BM_GETCHECK, 0, 0) == BST_CHECKED;
    ApplyRunOnStartup();
}

void HotkeyPage::ApplyRunOnStartup() {
    settings_.WriteBool("Main", "Startup", runOnStartup_);
    if (SetRunOnStartup(registry_, runOnStartup_) == core::RunEntry::FromTemporaryFolder) {
        TellRunsFromTemporaryFolder();
    }
}

void HotkeyPage::TellRunsFromTemporaryFolder() {
    // Once a run: the choice is applied at every start and at every click of the box.
    if (std::exchange(toldTemporaryFolder_, true)) return;
    MessageBoxW(window_.Hwnd(),
                L"Quenvix runs from a temporary folder (probably from inside a zip file), which "
                L"will be gone by the next time you log on, so it cannot start with Windows from "
                L"there. Extract it to a folder of its own, or install it, and start it from "
                L"there to use \"Run on startup\".",
                L"Run on startup", MB_OK | MB_ICONINFORMATION);
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
    if (id != kHotkeyComboId) return false;
    if (code == CBN_SELCHANGE) OnHotkeySelected();
    return true;
}

}  // namespace quenvix::win
