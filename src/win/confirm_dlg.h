#pragma once
// The small modal dialog that asks the program's questions and gives its notices, with its
// "Don't show this message again" box.
#include <windows.h>

#include "core/dialog_text.h"
#include "win/ui.h"

namespace quenvix::core {
class TMyRegistry;
}

namespace quenvix::win {

class TConfirmDlg : public ModalDialog {
  public:
    // Control identifiers besides IDOK (bOK) and IDCANCEL (bCancel).
    static constexpr int kMemo1 = 100;
    static constexpr int kNoMore = 101;  // cbNoMore
    static constexpr int kImage1 = 102;

    // Creates the (hidden) dialog filled with `face`; throws core::Error when it cannot.
    TConfirmDlg(const core::DialogFace& face, HWND owner);

    // Runs the dialog until a button, Escape or the close box ends it.
    core::DialogAnswer ShowModal(HWND owner);

  protected:
    bool PreTranslate(MSG& msg) override;
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

  private:
    void Prepare(const core::DialogFace& face);

    bool information_ = false;
    HWND focus_ = nullptr;  // the control that had the focus when the dialog was deactivated
};

// Shows `text` unless the user silenced it; true when answered OK or silenced. The settings store
// is the one that remembers silenced messages; its errors reach the caller.
bool ConfirmDialog(core::TMyRegistry& settings, const core::TDialogText& text, HWND owner);

}  // namespace quenvix::win
