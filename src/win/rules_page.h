#pragma once
// The "Rules" page of the settings window: the list of rules in the order they are tried, with
// buttons to add, edit, remove and move them. Every change is stored at once and announced, so
// the rules in force are always the ones on show.
#include <windows.h>

#include <functional>
#include <memory>
#include <vector>

#include "core/rules.h"
#include "win/rule_storage.h"
#include "win/settings_page.h"
#include "win/ui.h"

namespace quenvix::win {

class RulesPage : public FormWindow, public SettingsPage {
  public:
    static constexpr const wchar_t* kClassName = L"QuenvixRulesPage";
    static constexpr int kList = 200;
    static constexpr int kAdd = 201;
    static constexpr int kEdit = 202;
    static constexpr int kRemove = 203;
    static constexpr int kUp = 204;
    static constexpr int kDown = 205;
    // The sentence that shows while there are more rules than are in force.
    static constexpr int kBeyondLimit = 206;
    // Characters of a field the list shows; the rest is cut off visibly ("…").
    static constexpr std::size_t kShownChars = 200;

    using ChangeHandler = std::function<void(const std::vector<core::Rule>&)>;

    // Creates the page as a child of `parent` over `area` (client coordinates of the parent) and
    // shows the stored rules. `storage` must outlive the page. Throws core::Error when the page
    // cannot be created.
    RulesPage(HWND parent, const RECT& area, RuleStorage& storage, ChangeHandler onChanged);

    const std::vector<core::Rule>& Rules() const { return rules_; }
    // Shows the stored rules again (after they were changed elsewhere).
    void Reload();
    // Puts the page over `area` (client coordinates of the parent), in front of its siblings, and
    // lays its controls out again when the window's DPI has changed since: a child window hears
    // of no DPI change, so the settings window passes it on with this.
    void Place(const RECT& area) override;

    HWND Page() const override { return Hwnd(); }
    // The page's controls answer to the page itself, and no command of the program is its work.
    bool OnCommand(int, int) override { return false; }
    bool RunCommand(core::Command) override { return false; }

  protected:
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

  private:
    void CreateControls(int width96, int height96);
    void Fill(int selected);
    void EnableButtons();
    void ShowBeyondLimit();
    int Selected() const;
    void OnButton(int id);
    void OnNotify(const NMHDR& header, LPARAM lParam);
    // Stores `next`, then shows it with row `selected` chosen and announces it; when storing
    // fails, nothing changes.
    void Commit(std::vector<core::Rule> next, int selected);
    void Add();
    void Edit();
    void Remove();
    void Move(int by);
    void SetEnabled(int row, bool enabled);

    RuleStorage& storage_;
    ChangeHandler onChanged_;
    std::vector<core::Rule> rules_;
    HWND list_ = nullptr;
    bool filling_ = false;  // the list is being rebuilt: its notices are not the user's
};

}  // namespace quenvix::win
