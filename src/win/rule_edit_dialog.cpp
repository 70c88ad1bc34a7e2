#include "win/rule_edit_dialog.h"

#include <commctrl.h>

#include <algorithm>

#include "core/error.h"
#include "win/message_wait.h"
#include "win/win_event_hook.h"

namespace quenvix::win {
namespace {

constexpr FontSpec kFont{};
constexpr DWORD kLabel = WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_NOPREFIX;
constexpr DWORD kEdit = WS_VISIBLE | WS_TABSTOP | WS_GROUP | ES_AUTOHSCROLL;
// An entry of the window list shows this many characters of a caption at most: the list is for
// recognising a window, and the caption field gets the whole text the rules look at.
constexpr std::size_t kListedCaptionChars = 80;
constexpr int kClientWidth = 380;
constexpr int kClientHeight = 236;
constexpr int kFieldLeft = 160;
constexpr int kFieldWidth = kClientWidth - kFieldLeft - 8;

std::wstring TextOf(HWND control) {
    std::wstring text(static_cast<std::size_t>(std::max(GetWindowTextLengthW(control), 0)), L'\0');
    const int copied = GetWindowTextW(control, text.data(), static_cast<int>(text.size() + 1));
    text.resize(static_cast<std::size_t>(std::max(copied, 0)));
    return text;
}

std::wstring ListEntry(const core::WindowFacts& window) {
    std::wstring caption = Widen(window.caption);
    if (caption.size() > kListedCaptionChars) {
        caption.resize(kListedCaptionChars);
        caption += L"\u2026";
    }
    if (caption.empty()) caption = L"(no caption)";
    const std::wstring program =
        window.executable.empty() ? L"(program unknown)" : Widen(window.executable);
    return caption + L" \u2014 " + program;
}

BOOL CALLBACK CollectWindow(HWND window, LPARAM found) {
    Guarded(nullptr, [&] {
        if (!IsWindowVisible(window)) return;
        core::WindowFacts facts = ReadWindowFacts(window, false);
        if (!facts.visible || !core::IsEligible(facts)) return;
        // The text the system keeps for a top-level window: no message goes to the window, so
        // a hung program cannot stall the dialog.
        const std::size_t capacity = 2 * core::kRuleCaptionChars + 1;
        std::wstring caption(capacity, L'\0');
        const int length =
            InternalGetWindowText(window, caption.data(), static_cast<int>(capacity));
        caption.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
        if (!caption.empty() && caption.back() >= 0xD800 && caption.back() <= 0xDBFF) {
            caption.pop_back();
        }
        facts.caption = Narrow(caption);
        reinterpret_cast<std::vector<core::WindowFacts>*>(found)->push_back(std::move(facts));
    });
    return TRUE;
}

}  // namespace

std::vector<core::WindowFacts> OpenProgramWindows() {
    std::vector<core::WindowFacts> found;
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

RuleEditDialog::RuleEditDialog(HWND owner, const std::wstring& title) : owner_(owner) {
    CreateDialogWindow(kClassName, title, kClientWidth, kClientHeight, owner);
    if (!Hwnd()) throw core::Error("Cannot create the rule window");
    struct Field {
        const wchar_t* label;
        int id;
    };
    const Field fields[] = {{L"Program (e.g. notepad.exe):", kProgram},
                            {L"Window class:", kClass},
                            {L"Caption contains:", kCaption}};
    int y = 10;
    bool created = true;
    for (const Field& field : fields) {
        AddControl(L"STATIC", field.label, kLabel, 8, y + 3, kFieldLeft - 12, 14, -1, kFont);
        created &= AddControl(WC_EDITW, L"", kEdit, kFieldLeft, y, kFieldWidth, 21, field.id, kFont,
                              WS_EX_CLIENTEDGE) != nullptr;
        y += 28;
    }
    AddControl(L"STATIC", L"Action:", kLabel, 8, y + 2, kFieldLeft - 12, 14, -1, kFont);
    created &= AddControl(L"BUTTON", L"Hide when it appears",
                          WS_VISIBLE | WS_TABSTOP | WS_GROUP | BS_AUTORADIOBUTTON, kFieldLeft, y,
                          kFieldWidth, 18, kAppear, kFont) != nullptr;
    created &= AddControl(L"BUTTON", L"Hide when minimised", WS_VISIBLE | BS_AUTORADIOBUTTON,
                          kFieldLeft, y + 20, kFieldWidth, 18, kMinimise, kFont) != nullptr;
    y += 46;
    created &= AddControl(L"BUTTON", L"On", WS_VISIBLE | WS_TABSTOP | WS_GROUP | BS_AUTOCHECKBOX,
                          kFieldLeft, y, kFieldWidth, 18, kOn, kFont) != nullptr;
    y += 30;
    AddControl(L"STATIC", L"Fill from an open window:", kLabel, 8, y + 3, kFieldLeft - 12, 14, -1,
               kFont);
    openWindows_ = AddControl(WC_COMBOBOXW, L"",
                              WS_VISIBLE | WS_TABSTOP | WS_GROUP | WS_VSCROLL | CBS_DROPDOWNLIST,
                              kFieldLeft, y, kFieldWidth, 200, kOpenWindows, kFont);
    created &= openWindows_ != nullptr;
    created &= AddControl(L"BUTTON", L"OK", WS_VISIBLE | WS_TABSTOP | WS_GROUP | BS_DEFPUSHBUTTON,
                          kClientWidth - 166, kClientHeight - 33, 75, 25, IDOK, kFont) != nullptr;
    created &=
        AddControl(L"BUTTON", L"Cancel", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, kClientWidth - 83,
                   kClientHeight - 33, 75, 25, IDCANCEL, kFont) != nullptr;
    if (!created) throw core::Error("Cannot create the rule window");
    SetDefaultButton(IDOK);
}

std::optional<core::Rule> RuleEditDialog::Execute(const core::Rule& rule) {
    result_.reset();
    Show(rule);
    ListOpenWindows();
    focus_ = GetDlgItem(Hwnd(), kProgram);
    RunModal(owner_);
    return result_;
}

void RuleEditDialog::Show(const core::Rule& rule) {
    SetDlgItemTextW(Hwnd(), kProgram, Widen(rule.executable).c_str());
    SetDlgItemTextW(Hwnd(), kClass, Widen(rule.windowClass).c_str());
    SetDlgItemTextW(Hwnd(), kCaption, Widen(rule.caption).c_str());
    const bool appear = rule.action == core::RuleAction::Appear;
    CheckDlgButton(Hwnd(), kAppear, appear ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(Hwnd(), kMinimise, appear ? BST_UNCHECKED : BST_CHECKED);
    CheckDlgButton(Hwnd(), kOn, rule.enabled ? BST_CHECKED : BST_UNCHECKED);
}

core::Rule RuleEditDialog::Entered() const {
    core::Rule rule;
    rule.executable = Narrow(TextOf(GetDlgItem(Hwnd(), kProgram)));
    rule.windowClass = Narrow(TextOf(GetDlgItem(Hwnd(), kClass)));
    rule.caption = Narrow(TextOf(GetDlgItem(Hwnd(), kCaption)));
    rule.action = IsDlgButtonChecked(Hwnd(), kMinimise) == BST_CHECKED ? core::RuleAction::Minimise
                                                                       : core::RuleAction::Appear;
    rule.enabled = IsDlgButtonChecked(Hwnd(), kOn) == BST_CHECKED;
    return core::CleanRule(std::move(rule));
}

void RuleEditDialog::ListOpenWindows() {
    windows_ = OpenProgramWindows();
    SendMessageW(openWindows_, CB_RESETCONTENT, 0, 0);
    for (const core::WindowFacts& window : windows_) {
        SendMessageW(openWindows_, CB_ADDSTRING, 0,
                     reinterpret_cast<LPARAM>(ListEntry(window).c_str()));
    }
    EnableWindow(openWindows_, windows_.empty() ? FALSE : TRUE);
}

void RuleEditDialog::FillFromOpenWindow() {
    const LRESULT chosen = SendMessageW(openWindows_, CB_GETCURSEL, 0, 0);
    if (chosen < 0 || static_cast<std::size_t>(chosen) >= windows_.size()) return;
    const core::WindowFacts& window = windows_[static_cast<std::size_t>(chosen)];
    SetDlgItemTextW(Hwnd(), kProgram, Widen(window.executable).c_str());
    SetDlgItemTextW(Hwnd(), kClass, Widen(window.windowClass).c_str());
    SetDlgItemTextW(Hwnd(), kCaption, Widen(window.caption).c_str());
}

void RuleEditDialog::OnCommand(int id, int code, HWND control) {
    if (id == kOpenWindows && code == CBN_SELCHANGE) {
        FillFromOpenWindow();
        return;
    }
    if (id == IDOK && code == BN_CLICKED) {
        core::Rule rule = Entered();
        if (!core::HasMatch(rule)) {
            MessageBoxWhileServing(
                Hwnd(),
                L"This rule has nothing to match. Give the program, the window class or "
                L"text of the caption (or more than one of them): a rule without any would "
                L"take every window.",
                L"Quenvix", MB_OK | MB_ICONWARNING);
            focus_ = GetDlgItem(Hwnd(), kProgram);
            SetFocus(focus_);
            return;
        }
        result_ = std::move(rule);
    }
    ModalDialog::OnCommand(id, code, control);
}

LRESULT RuleEditDialog::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_ACTIVATE) {
        // The focus stays where the user left it across deactivation, as in any dialog; it
        // starts in the program field.
        if (LOWORD(wParam) == WA_INACTIVE) {
            const HWND focused = GetFocus();
            if (focused && IsChild(Hwnd(), focused)) focus_ = focused;
        } else if (focus_) {
            SetFocus(focus_);
        }
        return 0;
    }
    return ModalDialog::OnMessage(msg, wParam, lParam);
}

std::optional<core::Rule> EditRule(HWND owner, const core::Rule& rule, bool adding) {
    RuleEditDialog dialog(owner, adding ? L"Add rule" : L"Edit rule");
    return dialog.Execute(rule);
}

}  // namespace quenvix::win
