#pragma once
// The about box: product name and slogan, version, processor speed, the
// program's icon, the support mail and web site links and the rights notice. A
// key or a press anywhere but the links, the speed line and the notice closes
// it.
#include <optional>
#include <string>

#include "core/ports/registry_backend.h"
#include "win/outlined_form.h"

namespace quenvix::win {

// The colours the about box paints with: its own blue panel with white and red titles, or, with
// high contrast on, the system's window colours throughout (no shadow, links in the link colour).
struct AboutColours {
    COLORREF panel;
    COLORREF title;
    bool titleShadow;
    COLORREF shadow;
    COLORREF label;
    COLORREF version;
    COLORREF link;
};
AboutColours AboutBoxColours(bool highContrast);

class AboutBox : public OutlinedForm {
  public:
    // `machine` answers the processor speed query.
    explicit AboutBox(core::RegistryBackend& machine, OutlinedForm* ownerForm = nullptr)
        : OutlinedForm(ownerForm), machine_(machine) {}

    void Create(HWND owner);
    // Fills VersionLabel and SpeedLabel. Answers the message of a failed speed read
    // (SpeedLabel then keeps "???"); the caller reports it once the box is on the
    // screen.
    std::optional<std::string> FillVersionAndSpeed();
    // Fills, shows and runs the box until it closes; a failed speed read is
    // reported meanwhile.
    void ShowModal(HWND owner);

    HWND VersionLabel() const { return versionLabel_; }
    HWND SpeedLabel() const { return speedLabel_; }
    HWND MailLink() const { return mailLink_; }
    HWND WebsiteLink() const { return websiteLink_; }
    HWND IconImage() const { return iconImage_; }
    HWND NoticeEdit() const { return noticeEdit_; }
    // The window that received the key or press that closed the box (null while
    // open).
    HWND ClosedBy() const { return closedBy_; }

  protected:
    bool PreTranslate(MSG& msg) override;
    void OnCommand(int id, int code, HWND control) override;
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

  private:
    void OnKeyDown(HWND target);
    void OnPress(HWND target);
    void OnMailLink();
    void OnWebsiteLink();
    void PaintTitles(HDC dc);
    void FitToText(HWND label);
    HBRUSH PanelBrush() const;

    core::RegistryBackend& machine_;
    UniqueBrush panelBrush_;
    UniqueIcon icon_;
    HWND versionLabel_ = nullptr;
    HWND speedLabel_ = nullptr;
    HWND mailLink_ = nullptr;
    HWND websiteLink_ = nullptr;
    HWND iconImage_ = nullptr;
    HWND noticeEdit_ = nullptr;
    HWND closedBy_ = nullptr;
    std::string pendingError_;
};

// The Help menu's "About": shows the box modally over `owner`.
void ShowAboutBox(HWND owner, core::RegistryBackend& machine);

}  // namespace quenvix::win
