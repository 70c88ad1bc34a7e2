#pragma once
// The small modal dialog that asks the program's questions and gives its notices, with its
// "Don't show this message again" box.
#include <windows.h>

#include "core/dialog_text.h"
#include "win/ui.h"

namespace quenvix::core {
class SettingsStore;
}

namespace quenvix::win {

class ConfirmDialog : public ModalDialog {
  public:
    // Control identifiers besides IDOK and IDCANCEL.
    static constexpr int kTextId = 100;
    static constexpr int kNoMore = 101;  // "Don't show this message again"
    static constexpr int kPictureId = 102;

    // Creates the (hidden) dialog filled with `face`; throws core::Error when it cannot.
    ConfirmDialog(const core::DialogFace& face, HWND owner);

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
bool ConfirmUnlessSilenced(core::SettingsStore& settings, const core::DialogText& text, HWND owner);

}  // namespace quenvix::win
