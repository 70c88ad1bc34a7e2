#pragma once
// The "Rules" tab of the settings window: the rules page over the tab control's display area,
// beside the hotkeys' "Controls" page, stored through the settings store as the user edits.
#include <windows.h>

#include <memory>

namespace quenvix::core {
class RuleHiding;
}  // namespace quenvix::core

namespace quenvix::win {

class HotkeyPage;
class RuleStorage;
class RulesPage;

class RulesTab {
  public:
    // Adds the tab and its (hidden) page to `window`; all three outlive this object.
    RulesTab(HWND window, HotkeyPage& hotkeyPage, core::RuleHiding& rules);
    ~RulesTab();
    RulesTab(const RulesTab&) = delete;
    RulesTab& operator=(const RulesTab&) = delete;

    // The user chose another tab: its page shows, the other hides.
    void OnTabChanged();
    // The display area moved (a DPI change).
    void Layout();

  private:
    HotkeyPage& hotkeyPage_;
    std::unique_ptr<RuleStorage> storage_;
    std::unique_ptr<RulesPage> page_;
};

}  // namespace quenvix::win
