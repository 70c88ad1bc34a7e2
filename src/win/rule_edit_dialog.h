#pragma once
// The dialog in which the user writes one rule: what a window must have to be taken (program,
// class, caption text), what happens to it, and whether the rule is on. Its fields can be filled
// from one of the windows open now, so nobody has to guess a class name.
#include <windows.h>

#include <optional>
#include <vector>

#include "core/rules.h"
#include "win/ui.h"

namespace quenvix::win {

class RuleEditDialog : public ModalDialog {
  public:
    static constexpr const wchar_t* kClassName = L"QuenvixRuleEditDialog";
    // Control identifiers besides IDOK and IDCANCEL.
    static constexpr int kProgram = 100;
    static constexpr int kClass = 101;
    static constexpr int kCaption = 102;
    static constexpr int kAppear = 103;
    static constexpr int kMinimise = 104;
    static constexpr int kOn = 105;
    static constexpr int kOpenWindows = 106;

    // Creates the (hidden) dialog; throws core::Error when it cannot. `title` is the caption:
    // "Add rule" or "Edit rule".
    RuleEditDialog(HWND owner, const std::wstring& title);

    // Shows the dialog with `rule` in its fields until it closes. The rule as the user left it,
    // cleaned of characters a stored rule cannot hold, when closed with OK; nullopt otherwise.
    std::optional<core::Rule> Execute(const core::Rule& rule);

  protected:
    void OnCommand(int id, int code, HWND control) override;
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

  private:
    void Show(const core::Rule& rule);
    core::Rule Entered() const;
    void ListOpenWindows();
    void FillFromOpenWindow();

    HWND owner_ = nullptr;
    HWND openWindows_ = nullptr;
    HWND focus_ = nullptr;  // the control that had the focus when the dialog was deactivated
    std::vector<core::WindowFacts> windows_;  // one per entry of openWindows_ after the first
    std::optional<core::Rule> result_;
};

// The windows of other programs that rules may take, as the user sees them now: visible,
// eligible top-level windows, in the system's z-order. Never waits on any of them: captions are
// the text the system keeps for each window.
std::vector<core::WindowFacts> OpenProgramWindows();

// Opens the dialog modally over `owner` to edit `rule`; the edited rule, or nullopt when the user
// cancelled.
std::optional<core::Rule> EditRule(HWND owner, const core::Rule& rule, bool adding);

}  // namespace quenvix::win
