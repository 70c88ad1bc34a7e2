#include "win/outlined_form.h"

namespace quenvix::win {
namespace {

core::ControlKind KindOf(HWND hwnd) {
    wchar_t name[64] = {};
    GetClassNameW(hwnd, name, 64);
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_STYLE));
    if (lstrcmpiW(name, L"Static") == 0) {
        const DWORD type = style & SS_TYPEMASK;
        const bool picture = type == SS_ICON || type == SS_BITMAP || type == SS_ENHMETAFILE ||
                             type == SS_OWNERDRAW ||
                             (type >= SS_BLACKRECT && type <= SS_WHITEFRAME) ||
                             (type >= SS_ETCHEDHORZ && type <= SS_ETCHEDFRAME);
        return picture ? core::ControlKind::Other : core::ControlKind::Label;
    }
    if (lstrcmpiW(name, L"Button") == 0) {
        switch (style & BS_TYPEMASK) {
            case BS_GROUPBOX:
                return core::ControlKind::GroupBox;
            case BS_CHECKBOX:
            case BS_AUTOCHECKBOX:
            case BS_3STATE:
            case BS_AUTO3STATE:
                return core::ControlKind::CheckBox;
            case BS_PUSHBUTTON:
            case BS_DEFPUSHBUTTON:
                return core::ControlKind::Button;
            default:
                return core::ControlKind::Other;
        }
    }
    return core::ControlKind::Other;
}

std::vector<core::MenuItemNode> DescribeMenu(HMENU menu) {
    std::vector<core::MenuItemNode> items;
    const int count = menu ? GetMenuItemCount(menu) : 0;
    for (int i = 0; i < count; ++i) {
        wchar_t caption[256] = {};
        MENUITEMINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_STRING | MIIM_SUBMENU;
        info.dwTypeData = caption;
        info.cch = 255;
        if (!GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info)) continue;
        core::MenuItemNode item;
        // A separator is an item whose caption is a single dash.
        item.caption = (info.fType & MFT_SEPARATOR) ? "-" : Narrow(caption);
        item.items = DescribeMenu(info.hSubMenu);
        items.push_back(std::move(item));
    }
    return items;
}

}  // namespace

core::ControlNode OutlinedForm::DescribeChild(HWND child) const {
    core::ControlNode node;
    node.kind = KindOf(child);
    node.caption = WindowText(child);
    node.hint = HintOf(child);
    node.windowed = true;
    // Children in creation order: each new child goes to the bottom of its siblings.
    for (HWND c = GetWindow(child, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        node.children.push_back(DescribeChild(c));
    }
    return node;
}

core::ControlNode OutlinedForm::Describe() const {
    core::ControlNode form = DescribeChild(Hwnd());
    form.kind = core::ControlKind::Form;
    form.mainMenu = DescribeMenu(GetMenu(Hwnd()));
    return form;
}

void OutlinedForm::AfterConstruction() {
    const core::OutlineTarget* owner = ownerForm_ ? &ownerForm_->outline_ : nullptr;
    core::OutlineAfterConstruction(outline_, owner, Describe());
}

}  // namespace quenvix::win
