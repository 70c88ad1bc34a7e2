#include "core/outline.h"

namespace quenvix::core {
namespace {

bool HasCaptionLine(ControlKind kind) {
    switch (kind) {
        case ControlKind::Form:
        case ControlKind::Label:
        case ControlKind::GroupBox:
        case ControlKind::CheckBox:
        case ControlKind::Button:
        case ControlKind::SpeedButton:
            return true;
        case ControlKind::Other:
            break;
    }
    return false;
}

}  // namespace

void OutlineMenuItem(const OutlineTarget& target, const MenuItemNode& item, int depth) {
    if (target.lines == nullptr || !item.visible) return;
    target.lines->push_back("  Menu:" + item.caption);
    for (const auto& sub : item.items) OutlineMenuItem(target, sub, depth + 1);
}

void OutlineControl(const OutlineTarget& target, const ControlNode& control, int depth) {
    if (target.lines == nullptr) return;
    ++depth;
    std::string line;
    if (HasCaptionLine(control.kind)) {
        line.assign(static_cast<std::size_t>(depth > 0 ? depth : 0), ' ');
        line += control.caption;
    }
    // A form's menu comes before the form's own line.
    if (control.kind == ControlKind::Form) {
        for (const auto& item : control.mainMenu) OutlineMenuItem(target, item, depth);
    }
    if (!control.hint.empty()) line = "  Hint:" + control.hint;
    if (!line.empty()) target.lines->push_back(std::move(line));
    if (control.windowed) {
        for (const auto& child : control.children) OutlineControl(target, child, depth);
    }
}

void OutlineAfterConstruction(OutlineTarget& self, const OutlineTarget* ownerTarget,
                              const ControlNode& form) {
    if (ownerTarget != nullptr) self.lines = ownerTarget->lines;
    if (self.lines != nullptr) OutlineControl(self, form, self.baseDepth);
}

}  // namespace quenvix::core
