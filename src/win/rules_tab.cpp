#include "win/rules_tab.h"

#include <commctrl.h>

#include <vector>

#include "core/rule_hiding.h"
#include "win/hotkey_page.h"
#include "win/rules_page.h"

namespace quenvix::win {

RulesTab::RulesTab(HWND window, HotkeyPage& hotkeyPage, core::RuleHiding& rules)
    : hotkeyPage_(hotkeyPage) {
    TCITEMW tab{};
    tab.mask = TCIF_TEXT;
    wchar_t title[] = L"Rules";
    tab.pszText = title;
    TabCtrl_InsertItem(hotkeyPage_.Tabs(), 1, &tab);
    storage_ = RuleStorageOver(
        rules.Names(), rules.Reader(), rules.Writer(),
        [&rules](std::string_view name, std::string_view why) { rules.ReportProblem(name, why); });
    page_ = std::make_unique<RulesPage>(
        window, hotkeyPage_.PageArea(), *storage_,
        [&rules](const std::vector<core::Rule>& changed) { rules.SetRules(changed); });
    OnTabChanged();
}

RulesTab::~RulesTab() = default;

void RulesTab::OnTabChanged() {
    const bool rulesChosen = TabCtrl_GetCurSel(hotkeyPage_.Tabs()) == 1;
    ShowWindow(hotkeyPage_.ControlsPage(), rulesChosen ? SW_HIDE : SW_SHOW);
    // Placing the page also brings it in front of the tab control.
    if (rulesChosen) page_->Place(hotkeyPage_.PageArea());
    ShowWindow(page_->Hwnd(), rulesChosen ? SW_SHOW : SW_HIDE);
}

void RulesTab::Layout() {
    page_->Place(hotkeyPage_.PageArea());
    OnTabChanged();
}

}  // namespace quenvix::win
