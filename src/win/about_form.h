#pragma once
// The about box: product name and slogan, version, processor speed, the
// program's icon, the support mail and web site links and the rights notice. A
// key or a press anywhere but the links, the speed line and the notice closes
// it.
#include <optional>
#include <string>

#include "core/registry_backend.h"
#include "win/my_form.h"

namespace quenvix::win {

class TAboutForm : public TMyForm {
  public:
    // `machine` answers the processor speed query.
    explicit TAboutForm(core::RegistryBackend& machine, TMyForm* ownerForm = nullptr)
        : TMyForm(ownerForm), machine_(machine) {}

    void Create(HWND owner);
    // Fills lbVersion and lbCPUSpeed. Answers the message of a failed speed read
    // (lbCPUSpeed then keeps "???"); the caller reports it once the box is on the
    // screen.
    std::optional<std::string> FormShow();
    // Fills, shows and runs the box until it closes; a failed speed read is
    // reported meanwhile.
    void ShowModal(HWND owner);

    HWND lbVersion() const { return lbVersion_; }
    HWND lbCPUSpeed() const { return lbCPUSpeed_; }
    HWND Label12() const { return label12_; }
    HWND Label13() const { return label13_; }
    HWND Image1() const { return image1_; }
    HWND Memo1() const { return memo1_; }
    // The window that received the key or press that closed the box (null while
    // open).
    HWND ClosedBy() const { return closedBy_; }

  protected:
    bool PreTranslate(MSG& msg) override;
    void OnCommand(int id, int code, HWND control) override;
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

  private:
    void FormKeyDown(HWND target);
    void FormMouseDown(HWND target);
    void Label12Click();
    void Label13Click();
    void PaintTitles(HDC dc);
    void FitToText(HWND label);

    core::RegistryBackend& machine_;
    UniqueBrush panelBrush_;
    UniqueIcon icon_;
    HWND lbVersion_ = nullptr;
    HWND lbCPUSpeed_ = nullptr;
    HWND label12_ = nullptr;
    HWND label13_ = nullptr;
    HWND image1_ = nullptr;
    HWND memo1_ = nullptr;
    HWND closedBy_ = nullptr;
    std::string pendingError_;
};

// The Help menu's "About": shows the box modally over `owner`.
void ShowAboutBox(HWND owner);

}  // namespace quenvix::win
