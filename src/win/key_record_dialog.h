#pragma once
// The dialog in which the user presses a new combination for a hotkey. While it is open the
// detector records instead of detecting, so pressing an existing hotkey shows its text here
// instead of hiding windows.
#include <windows.h>

#include <string>

#include "core/hotkey_detector.h"
#include "win/ui.h"

namespace quenvix::win {

class KeyRecordDialog : public ModalDialog {
  public:
    // Control identifiers besides IDOK and IDCANCEL.
    static constexpr int kHeadingId = 100;
    static constexpr int kOldKeyLabelId = 101;
    static constexpr int kOldKey = 102;
    static constexpr int kNewKeyLabelId = 103;
    static constexpr int kNewKey = 104;
    static constexpr int kHintId = 105;

    // Creates the (hidden) dialog; throws core::Error when it cannot.
    explicit KeyRecordDialog(HWND owner);

    // Shows the dialog modally, recording with `detector` (not owned) until it closes. True when
    // closed with OK; NewKey then holds the text to take. Recording is stopped on every way out.
    bool Execute(const std::string& description, const std::string& oldKey,
                 core::HotkeyDetector& detector);

    // The key text on show in the new-key label: the old text until a combination has been
    // recorded.
    const std::string& NewKey() const noexcept { return newKey_; }

  protected:
    bool PreTranslate(MSG& msg) override;
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

  private:
    void OnShown();
    void KeyRecorded(const std::string& text);
    // Tab order is Cancel, OK; the focused button is the one Enter presses and looks default.
    void FocusButton(HWND button);
    void MarkFocused(HWND button);

    HWND owner_ = nullptr;
    core::HotkeyDetector* detector_ = nullptr;  // refers to the detector during Execute
    std::string newKey_;
    HWND oldKeyLabel_ = nullptr;
    HWND newKeyLabel_ = nullptr;
    HWND cancelButton_ = nullptr;
    HWND okButton_ = nullptr;
    HWND focus_ = nullptr;  // the button that had the focus when the dialog was deactivated
};

}  // namespace quenvix::win
