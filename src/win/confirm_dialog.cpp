#include "win/confirm_dialog.h"

#include "core/error.h"
#include "core/settings_store.h"

namespace quenvix::win {
namespace {

constexpr int kClientWidth = 362;
constexpr int kClientHeight = 126;
constexpr int kPanelTop = kClientHeight - 33;  // the bottom strip holding the box and buttons
constexpr int kIconSize = 32;

std::wstring MemoText(const std::vector<std::string>& lines) {
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i) text += "\r\n";
        text += lines[i];
    }
    return Widen(text);
}

}  // namespace

ConfirmDialog::ConfirmDialog(const core::DialogFace& face, HWND owner) {
    CreateDialogWindow(L"QuenvixConfirmDlg", Widen(face.caption), kClientWidth, kClientHeight,
                       owner);
    if (!Hwnd()) throw core::Error("Cannot create the " + face.caption + " window");
    Prepare(face);
}

void ConfirmDialog::Prepare(const core::DialogFace& face) {
    information_ = face.informationPicture;
    const wchar_t* symbol = information_ ? IDI_INFORMATION : IDI_QUESTION;
    // A system icon loaded shared: the system owns it, so it is never destroyed here.
    HANDLE picture = LoadImageW(nullptr, symbol, IMAGE_ICON, S(kIconSize), S(kIconSize), LR_SHARED);
    HWND image = AddControl(L"STATIC", L"", WS_VISIBLE | SS_ICON | SS_CENTERIMAGE, 15, 16, 41, 41,
                            kPictureId);
    SendMessageW(image, STM_SETICON, reinterpret_cast<WPARAM>(picture), 0);
    // A read-only edit without border or scroll bars: it wraps long lines and takes the form's
    // background, and its text can still be selected and copied.
    AddControl(L"EDIT", MemoText(face.lines), WS_VISIBLE | ES_MULTILINE | ES_READONLY, 56, 8, 297,
               81, kTextId);
    AddControl(L"BUTTON", L"Don't show this message again",
               WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, 8, kPanelTop + 8, 177, 17, kNoMore);
    HWND ok = AddControl(L"BUTTON", L"OK", WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, face.okLeft,
                         kPanelTop, 75, 25, IDOK);
    AddControl(L"BUTTON", L"Cancel",
               (face.showCancel ? WS_VISIBLE : 0) | WS_TABSTOP | BS_PUSHBUTTON, 272, kPanelTop, 75,
               25, IDCANCEL);
    SetDefaultButton(IDOK);
    focus_ = ok;
}

core::DialogAnswer ConfirmDialog::ShowModal(HWND owner) {
    const int result = RunModal(owner);
    const bool ticked = IsDlgButtonChecked(Hwnd(), kNoMore) == BST_CHECKED;
    return {result == IDOK, ticked};
}

bool ConfirmDialog::PreTranslate(MSG& msg) {
    // A notice has no Cancel button, so Escape has nothing to press; its close box still ends it.
    return information_ && (msg.message == WM_KEYDOWN || msg.message == WM_CHAR) &&
           msg.wParam == VK_ESCAPE && (msg.hwnd == Hwnd() || IsChild(Hwnd(), msg.hwnd));
}

LRESULT ConfirmDialog::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_ACTIVATE) {
        // Keep the focus on a control, as a dialog does, so Tab, Space and Enter work.
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focused = GetFocus();
            if (focused && IsChild(Hwnd(), focused)) focus_ = focused;
        } else if (focus_) {
            SetFocus(focus_);
        }
        return 0;
    }
    return ModalDialog::OnMessage(msg, wParam, lParam);
}

bool ConfirmUnlessSilenced(core::SettingsStore& settings, const core::DialogText& text,
                           HWND owner) {
    return core::RunConfirmation(
        settings, text,
        [owner](const core::DialogFace& face) {
            ConfirmDialog dialog(face, owner);
            return dialog.ShowModal(owner);
        },
        [owner](const std::string& message) { ReportError(owner, message); });
}

}  // namespace quenvix::win
