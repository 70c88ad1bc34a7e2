#pragma once
// The plain-text outline of a form: the captions and hints of its controls and the captions of
// its menu items, one line each. Forms describe themselves as a small tree of nodes; the rules
// here decide which lines that tree gives.
#include <string>
#include <vector>

namespace quenvix::core {

// Only these kinds contribute a caption line; everything else is `Other`.
enum class ControlKind { Form, Label, GroupBox, CheckBox, Button, SpeedButton, Other };

struct MenuItemNode {
    std::string caption;
    bool visible = true;
    std::vector<MenuItemNode> items;
};

struct ControlNode {
    ControlKind kind = ControlKind::Other;
    std::string caption;
    std::string hint;
    bool windowed = false;               // only windowed controls have their children outlined
    std::vector<MenuItemNode> mainMenu;  // top-level items of a form's main menu
    std::vector<ControlNode> children;
};

// Where a form writes its outline: the list handed down from its owner (none at first) and the
// form's indentation depth.
struct OutlineTarget {
    std::vector<std::string>* lines = nullptr;
    int baseDepth = 0;
};

// Appends the lines of `control` (and below) outlined at depth `depth`; nothing without a list.
void OutlineControl(const OutlineTarget& target, const ControlNode& control, int depth);
void OutlineMenuItem(const OutlineTarget& target, const MenuItemNode& item, int depth);

// What a freshly built form does: take over the owner's list when the owner is such a form
// (`ownerTarget` is null otherwise), and outline itself when it then has one.
void OutlineAfterConstruction(OutlineTarget& self, const OutlineTarget* ownerTarget,
                              const ControlNode& form);

}  // namespace quenvix::core
