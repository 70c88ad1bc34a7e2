#include "win/key_record_dialog.h"

#include "core/error.h"

namespace quenvix::win {
namespace {

constexpr FontSpec kFont{};
constexpr FontSpec kKeyFont{nullptr, 13};
constexpr COLORREF kKeyColour = RGB(0, 0, 255);
constexpr DWORD kLabel = WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_NOPREFIX;
// Key texts can be long ("CTRL+ALT+SHIFT+…"): cut visibly rather than silently.
constexpr DWORD kKeyLabel = kLabel | SS_ENDELLIPSIS;
// BS_NOTIFY: a button focused by a click must tell, so that it becomes the one Enter presses.
constexpr DWORD kButton = WS_VISIBLE | WS_TABSTOP | BS_NOTIFY;

bool ModifierHeld() {
    // The state that goes with the message being handled, not the keyboard as it is now.
    return (GetKeyState(VK_SHIFT) & 0x8000) || (GetKeyState(VK_CONTROL) & 0x8000) ||
           (GetKeyState(VK_MENU) & 0x8000);
}

}  // namespace

KeyRecordDialog::KeyRecordDialog(HWND owner) : owner_(owner) {
    CreateDialogWindow(L"KeyRecordDialog", L"Changing short-key", 243, 173, owner);
    if (!Hwnd()) throw core::Error("Cannot create the Changing short-key window");
    AddControl(L"STATIC", L"Changing short-key for ", kLabel | SS_ENDELLIPSIS, 8, 8, 227, 14,
               kHeadingId, kFont);
    AddControl(L"STATIC", L"Original short key:", kLabel, 8, 24, 110, 14, kOldKeyLabelId, kFont);
    oldKeyLabel_ = AddControl(L"STATIC", L"", kKeyLabel, 120, 24, 115, 16, kOldKey, kKeyFont);
    AddControl(L"STATIC", L"New short key:", kLabel, 8, 48, 110, 14, kNewKeyLabelId, kFont);
    newKeyLabel_ = AddControl(L"STATIC", L"", kKeyLabel, 120, 48, 115, 16, kNewKey, kKeyFont);
    // Taller than three lines of text need: a wider message font wraps into a fourth, which
    // would otherwise be cut off. The space down to the buttons is free.
    AddControl(L"STATIC",
               L"Press the new combination key on your keyboard, started with Ctrl, Shift or Alt "
               L"key(s), followed by any other letter or number key.",
               WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 8, 72, 222, 58, kHintId, kFont);
    // Created in tab order: Cancel first, so it is the first to get the focus.
    cancelButton_ = AddControl(L"BUTTON", L"Cancel", kButton | BS_PUSHBUTTON, 152, 136, 75, 25,
                               IDCANCEL, kFont);
    okButton_ =
        AddControl(L"BUTTON", L"OK", kButton | BS_DEFPUSHBUTTON, 72, 136, 75, 25, IDOK, kFont);
    if (!cancelButton_ || !okButton_ || !oldKeyLabel_ || !newKeyLabel_) {
        throw core::Error("Cannot create the Changing short-key window");
    }
    SetDefaultButton(IDOK);
}

bool KeyRecordDialog::Execute(const std::string& description, const std::string& oldKey,
                              core::HotkeyDetector& detector) {
    detector_ = &detector;
    SetDlgItemTextW(Hwnd(), kHeadingId, Widen("Changing short-key for " + description).c_str());
    SetWindowTextW(oldKeyLabel_, Widen(oldKey).c_str());
    KeyRecorded(oldKey);
    FocusButton(cancelButton_);
    // Recording must end however the dialog does, or detection would stay suspended for good.
    struct StopRecording {
        core::HotkeyDetector& detector;
        ~StopRecording() { detector.StopRecord(); }
    } stop{detector};
    return RunModal(owner_) == IDOK;
}

void KeyRecordDialog::OnShown() {
    if (detector_) detector_->StartRecord([this](const std::string& text) { KeyRecorded(text); });
}

void KeyRecordDialog::KeyRecorded(const std::string& text) {
    newKey_ = text;
    SetWindowTextW(newKeyLabel_, Widen(text).c_str());
}

void KeyRecordDialog::FocusButton(HWND button) {
    MarkFocused(button);
    if (GetActiveWindow() == Hwnd()) SetFocus(button);
}

void KeyRecordDialog::MarkFocused(HWND button) {
    focus_ = button;
    SendMessageW(cancelButton_, BM_SETSTYLE,
                 button == cancelButton_ ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
    SendMessageW(okButton_, BM_SETSTYLE, button == okButton_ ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON,
                 TRUE);
}

bool KeyRecordDialog::PreTranslate(MSG& msg) {
    if (msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN) return false;
    if (msg.hwnd != Hwnd() && !IsChild(Hwnd(), msg.hwnd)) return false;
    switch (msg.wParam) {
        case VK_TAB:
            // Only the two buttons take the focus: Tab and Shift+Tab both go to the other one.
            if (msg.message == WM_KEYDOWN) {
                FocusButton(GetFocus() == okButton_ ? cancelButton_ : okButton_);
            }
            return true;
        case VK_RETURN:
        case VK_ESCAPE:
            // Shift, Control and Alt belong to the combination being pressed: Enter or Escape
            // held with them is part of it, not a command to the dialog.
            if (ModifierHeld()) return true;
            if (msg.wParam == VK_ESCAPE) {
                OnCommand(IDCANCEL, BN_CLICKED, cancelButton_);
            } else {
                const HWND focused = GetFocus() == cancelButton_ ? cancelButton_ : okButton_;
                OnCommand(GetDlgCtrlID(focused), BN_CLICKED, focused);
            }
            return true;
        default:
            return false;
    }
}

LRESULT KeyRecordDialog::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_SHOWWINDOW:
            if (wParam) OnShown();
            break;
        case WM_ACTIVATE:
            // Keep the focus on a button across deactivation, as a dialog does.
            if (LOWORD(wParam) == WA_INACTIVE) {
                const HWND focused = GetFocus();
                if (focused == cancelButton_ || focused == okButton_) focus_ = focused;
            } else {
                SetFocus(focus_ ? focus_ : cancelButton_);
            }
            return 0;
        case WM_COMMAND:
            // Buttons with BS_NOTIFY also report focus changes; only a click is a command. A
            // button that got the focus, by a click or otherwise, is the one Enter presses.
            if (lParam != 0 && HIWORD(wParam) != BN_CLICKED) {
                const HWND button = reinterpret_cast<HWND>(lParam);
                if (HIWORD(wParam) == BN_SETFOCUS &&
                    (button == cancelButton_ || button == okButton_)) {
                    MarkFocused(button);
                }
                return 0;
            }
            break;
        case WM_CTLCOLORSTATIC: {
            const HWND control = reinterpret_cast<HWND>(lParam);
            if (control != oldKeyLabel_ && control != newKeyLabel_) break;
            const HDC dc = reinterpret_cast<HDC>(wParam);
            // Blue keys on the face colour; with high contrast on, the user's own text colour.
            SetTextColor(dc, HighContrastOn() ? GetSysColor(COLOR_BTNTEXT) : kKeyColour);
            SetBkMode(dc, TRANSPARENT);
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        }
        default:
            break;
    }
    return ModalDialog::OnMessage(msg, wParam, lParam);
}

}  // namespace quenvix::win
