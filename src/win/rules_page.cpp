#include "win/rules_page.h"

#include <commctrl.h>

#include <algorithm>
#include <utility>

#include "core/error.h"
#include "win/rule_edit_dialog.h"

namespace quenvix::win {
namespace {

constexpr FontSpec kFont{};
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 23;
constexpr int kMargin = 4;
constexpr int kNoticeHeight = 28;  // two lines of text
constexpr UINT_PTR kListKeysId = 1;
// State image 2 of a list with check boxes is the ticked box.
constexpr UINT kTicked = INDEXTOSTATEIMAGEMASK(2);
struct Column {
    const wchar_t* title;
    int width96;
};
constexpr Column kColumns[] = {
    {L"On", 44}, {L"Action", 100}, {L"Program", 90}, {L"Class", 90}, {L"Caption text", 120}};
// Posted to show the stored rules again after a change from the list could not be stored.
constexpr UINT kRefill = WM_APP + 1;

std::wstring Shown(const std::string& text) {
    std::wstring wide = Widen(text);
    if (wide.size() <= RulesPage::kShownChars) return wide;
    std::size_t keep = RulesPage::kShownChars;
    // Never half a character outside the basic plane.
    if (wide[keep - 1] >= 0xD800 && wide[keep - 1] <= 0xDBFF) --keep;
    wide.resize(keep);
    return wide + L"\u2026";
}

const wchar_t* OnText(bool enabled) {
    return enabled ? L"On" : L"Off";
}

void SetCell(HWND list, int row, int column, const std::wstring& text) {
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = const_cast<wchar_t*>(text.c_str());
    SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

// Enter in the list edits the chosen rule and Delete removes it. The dialog navigation would
// take Enter for the window's default button, so the list asks for it.
LRESULT CALLBACK ListKeys(HWND list, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                          DWORD_PTR page) {
    const MessageOrigin origin(list, msg, wParam, lParam);
    switch (msg) {
        case WM_GETDLGCODE:
            if (wParam == VK_RETURN) {
                return DefSubclassProc(list, msg, wParam, lParam) | DLGC_WANTMESSAGE;
            }
            break;
        case WM_KEYDOWN:
            // Typed keys come from our queue; a key message another program sends is no typing.
            if ((wParam == VK_RETURN || wParam == VK_DELETE) && SentByThisThread()) {
                const int id = wParam == VK_RETURN ? RulesPage::kEdit : RulesPage::kRemove;
                SendMessageW(reinterpret_cast<HWND>(page), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                             0);
                return 0;
            }
            break;
        case WM_CHAR:
            // The Enter that was handled above would only beep.
            if (wParam == L'\r') return 0;
            break;
        case WM_NCDESTROY:
            RemoveWindowSubclass(list, ListKeys, kListKeysId);
            break;
        default:
            break;
    }
    return DefSubclassProc(list, msg, wParam, lParam);
}

}  // namespace

RulesPage::RulesPage(HWND parent, const RECT& area, RuleStorage& storage, ChangeHandler onChanged)
    : storage_(storage), onChanged_(std::move(onChanged)) {
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&icc);
    // WS_EX_CONTROLPARENT: the settings window's dialog navigation goes into the page, so Tab
    // moves between its controls.
    CreateBound(kClassName, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, WS_EX_CONTROLPARENT, L"",
                area.left, area.top, area.right - area.left, area.bottom - area.top, parent);
    if (!Hwnd()) throw core::Error("The rules page could not be created");
    AdoptDpi();
    const int dpi = static_cast<int>(Dpi());
    CreateControls(MulDiv(area.right - area.left, 96, dpi),
                   MulDiv(area.bottom - area.top, 96, dpi));
    Place(area);
    Reload();
}

void RulesPage::CreateControls(int width96, int height96) {
    const int buttonLeft = width96 - kMargin - kButtonWidth;
    list_ = AddControl(
        WC_LISTVIEWW, L"",
        WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER,
        kMargin, kMargin, std::max(buttonLeft - 2 * kMargin, 40),
        std::max(height96 - 2 * kMargin, 40), kList, kFont, WS_EX_CLIENTEDGE);
    if (!list_) throw core::Error("The rules page could not be created");
    ListView_SetExtendedListViewStyle(list_, LVS_EX_FULLROWSELECT | LVS_EX_CHECKBOXES);
    for (int i = 0; i < static_cast<int>(std::size(kColumns)); ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.pszText = const_cast<wchar_t*>(kColumns[i].title);
        column.cx = S(kColumns[i].width96);
        column.iSubItem = i;
        SendMessageW(list_, LVM_INSERTCOLUMNW, static_cast<WPARAM>(i),
                     reinterpret_cast<LPARAM>(&column));
    }
    SetWindowSubclass(list_, ListKeys, kListKeysId, reinterpret_cast<DWORD_PTR>(Hwnd()));

    // Four rows fit the settings window's small page: "Up" and "Down" share the last one.
    struct Button {
        const wchar_t* text;
        int id;
        int x, y, width;
    };
    const int half = (kButtonWidth - 4) / 2;
    const Button buttons[] = {{L"Add\u2026", kAdd, 0, 0, kButtonWidth},
                              {L"Edit\u2026", kEdit, 0, 25, kButtonWidth},
                              {L"Remove", kRemove, 0, 50, kButtonWidth},
                              {L"Up", kUp, 0, 75, half},
                              {L"Down", kDown, kButtonWidth - half, 75, half}};
    for (const Button& button : buttons) {
        if (!AddControl(L"BUTTON", button.text, WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
                        buttonLeft + button.x, kMargin + button.y, button.width, kButtonHeight,
                        button.id, kFont)) {
            throw core::Error("The rules page could not be created");
        }
    }
    // Under the list, which gives up the room while the sentence shows (the page is small).
    const std::wstring beyond = L"Only the first " + std::to_wstring(core::kMaxRules) +
                                L" rules are in force; the ones after them are kept but do "
                                L"nothing.";
    if (!AddControl(L"STATIC", beyond, SS_LEFT, kMargin, height96 - kMargin - kNoticeHeight,
                    std::max(buttonLeft - 2 * kMargin, 40), kNoticeHeight, kBeyondLimit, kFont)) {
        throw core::Error("The rules page could not be created");
    }
}

void RulesPage::Place(const RECT& area) {
    // Over the page control, as the other pages: a page created after it would lie behind it.
    SetWindowPos(Hwnd(), HWND_TOP, area.left, area.top, area.right - area.left,
                 area.bottom - area.top, SWP_NOACTIVATE);
    const UINT dpi = DpiOf(Hwnd());
    if (dpi == Dpi()) return;
    ApplyLayout(dpi);
    for (int i = 0; i < static_cast<int>(std::size(kColumns)); ++i) {
        ListView_SetColumnWidth(list_, i, S(kColumns[i].width96));
    }
    ShowBeyondLimit();  // the layout gave the list its whole height back
}

void RulesPage::Reload() {
    rules_ = storage_.Load();
    Fill(rules_.empty() ? -1 : 0);
}

void RulesPage::Fill(int selected) {
    filling_ = true;
    SendMessageW(list_, WM_SETREDRAW, FALSE, 0);
    ListView_DeleteAllItems(list_);
    for (int row = 0; row < static_cast<int>(rules_.size()); ++row) {
        const core::Rule& rule = rules_[static_cast<std::size_t>(row)];
        const std::wstring on = OnText(rule.enabled);
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = row;
        item.pszText = const_cast<wchar_t*>(on.c_str());
        SendMessageW(list_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        ListView_SetCheckState(list_, row, rule.enabled);
        SetCell(list_, row, 1,
                rule.action == core::RuleAction::Appear ? L"When it appears" : L"When minimised");
        SetCell(list_, row, 2, Shown(rule.executable));
        SetCell(list_, row, 3, Shown(rule.windowClass));
        SetCell(list_, row, 4, Shown(rule.caption));
    }
    if (selected >= 0 && selected < static_cast<int>(rules_.size())) {
        ListView_SetItemState(list_, selected, LVIS_SELECTED | LVIS_FOCUSED,
                              LVIS_SELECTED | LVIS_FOCUSED);
        ListView_EnsureVisible(list_, selected, FALSE);
    }
    SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list_, nullptr, TRUE);
    filling_ = false;
    EnableButtons();
}

int RulesPage::Selected() const {
    return static_cast<int>(SendMessageW(list_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1),
                                         MAKELPARAM(LVNI_SELECTED, 0)));
}

void RulesPage::EnableButtons() {
    const int selected = Selected();
    const int count = static_cast<int>(rules_.size());
    const std::pair<int, bool> states[] = {
        {kAdd, true},
        {kEdit, selected >= 0},
        {kRemove, selected >= 0},
        {kUp, selected > 0},
        {kDown, selected >= 0 && selected < count - 1},
    };
    for (const auto& [id, enabled] : states) {
        const HWND button = GetDlgItem(Hwnd(), id);
        // A button that goes grey with the focus would leave the keyboard nowhere.
        if (!enabled && GetFocus() == button) SetFocus(list_);
        EnableWindow(button, enabled ? TRUE : FALSE);
    }
    ShowBeyondLimit();
}

void RulesPage::ShowBeyondLimit() {
    // The rules after the ones in force are kept, never dropped; the user is told so, not left
    // to wonder why a rule far down the list does nothing.
    const bool beyond = rules_.size() > core::kMaxRules;
    const HWND notice = GetDlgItem(Hwnd(), kBeyondLimit);
    RECT list{};
    RECT text{};
    GetWindowRect(list_, &list);
    GetWindowRect(notice, &text);
    const int bottom = beyond ? static_cast<int>(text.top) - S(2) : static_cast<int>(text.bottom);
    SetWindowPos(list_, nullptr, 0, 0, list.right - list.left, bottom - list.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(notice, beyond ? SW_SHOWNA : SW_HIDE);
}

void RulesPage::Commit(std::vector<core::Rule> next, int selected) {
    storage_.Save(next);
    rules_ = std::move(next);
    Fill(selected);
    if (onChanged_) onChanged_(rules_);
}

void RulesPage::Add() {
    const std::optional<core::Rule> rule = EditRule(GetAncestor(Hwnd(), GA_ROOT), {}, true);
    if (!rule) return;
    std::vector<core::Rule> next = rules_;
    next.push_back(*rule);
    const int last = static_cast<int>(next.size()) - 1;
    Commit(std::move(next), last);
}

void RulesPage::Edit() {
    const int row = Selected();
    if (row < 0) return;
    const std::optional<core::Rule> rule =
        EditRule(GetAncestor(Hwnd(), GA_ROOT), rules_[static_cast<std::size_t>(row)], false);
    if (!rule || *rule == rules_[static_cast<std::size_t>(row)]) return;
    std::vector<core::Rule> next = rules_;
    next[static_cast<std::size_t>(row)] = *rule;
    Commit(std::move(next), row);
}

void RulesPage::Remove() {
    const int row = Selected();
    if (row < 0) return;
    std::vector<core::Rule> next = rules_;
    next.erase(next.begin() + row);
    const int nextRow = std::min(row, static_cast<int>(next.size()) - 1);
    Commit(std::move(next), nextRow);
}

void RulesPage::Move(int by) {
    const int row = Selected();
    const int to = row + by;
    if (row < 0 || to < 0 || to >= static_cast<int>(rules_.size())) return;
    std::vector<core::Rule> next = rules_;
    std::swap(next[static_cast<std::size_t>(row)], next[static_cast<std::size_t>(to)]);
    Commit(std::move(next), to);
}

void RulesPage::SetEnabled(int row, bool enabled) {
    if (row < 0 || row >= static_cast<int>(rules_.size())) return;
    if (rules_[static_cast<std::size_t>(row)].enabled == enabled) return;
    std::vector<core::Rule> next = rules_;
    next[static_cast<std::size_t>(row)].enabled = enabled;
    // The box is already as the user left it; only its text follows. The list is not rebuilt,
    // as it is still in the middle of the change it reports.
    storage_.Save(next);
    rules_ = std::move(next);
    SetCell(list_, row, 0, OnText(enabled));
    if (onChanged_) onChanged_(rules_);
}

void RulesPage::OnButton(int id) {
    switch (id) {
        case kAdd:
            Add();
            break;
        case kEdit:
            Edit();
            break;
        case kRemove:
            Remove();
            break;
        case kUp:
            Move(-1);
            break;
        case kDown:
            Move(1);
            break;
        default:
            break;
    }
}

void RulesPage::OnNotify(const NMHDR& header, LPARAM lParam) {
    if (header.hwndFrom != list_ || filling_) return;
    switch (header.code) {
        case LVN_ITEMCHANGED: {
            const auto& change = *reinterpret_cast<const NMLISTVIEW*>(lParam);
            if (!(change.uChanged & LVIF_STATE)) break;
            if ((change.uNewState ^ change.uOldState) & LVIS_STATEIMAGEMASK) {
                // The box was ticked or cleared by the user; a change that cannot be stored
                // puts the box back as the stored rule has it.
                const bool ticked = (change.uNewState & LVIS_STATEIMAGEMASK) == kTicked;
                const int row = change.iItem;
                try {
                    SetEnabled(row, ticked);
                } catch (...) {
                    // Not rebuilt here: the list is still in the middle of its own change.
                    PostMessageW(Hwnd(), kRefill, 0, 0);
                    throw;
                }
            }
            EnableButtons();
            break;
        }
        case NM_DBLCLK:
            if (reinterpret_cast<const NMITEMACTIVATE*>(lParam)->iItem >= 0) {
                Edit();
            }
            break;
        default:
            break;
    }
}

LRESULT RulesPage::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_COMMAND:
            if (lParam == 0 || HIWORD(wParam) == BN_CLICKED) {
                const int id = LOWORD(wParam);
                Guarded(Hwnd(), [&] { OnButton(id); });
            }
            return 0;
        case kRefill:
            Fill(Selected());
            return 0;
        case WM_NOTIFY:
            // The header pointer of a notice from another thread is not ours to read.
            if (SentByThisThread() && lParam) {
                Guarded(Hwnd(), [&] { OnNotify(*reinterpret_cast<const NMHDR*>(lParam), lParam); });
            }
            return 0;
        default:
            return FormWindow::OnMessage(msg, wParam, lParam);
    }
}

}  // namespace quenvix::win
