#pragma once
// The common base of the program's own forms. Besides being a modal dialog it can write a
// plain-text outline of itself (captions of its controls and menu items) into a list handed
// down from the form that owns it. Only forms owned by another such form ever get a list.
#include <string>
#include <vector>

#include "core/outline.h"
#include "win/ui.h"

namespace quenvix::win {

class OutlinedForm : public ModalDialog {
  public:
    // `ownerForm`: the owning form when that is a OutlinedForm too; null for any other owner.
    explicit OutlinedForm(OutlinedForm* ownerForm = nullptr) : ownerForm_(ownerForm) {}

    // The list this form writes its outline to (null when it has none) and its depth.
    std::vector<std::string>* Outline() const { return outline_.lines; }
    void SetOutline(std::vector<std::string>* outline, int depth = 0) {
        outline_.lines = outline;
        outline_.baseDepth = depth;
    }

    // The form as the outline rules see it, read from the live window and its children.
    core::ControlNode Describe() const;

  protected:
    // Call once the window and all its controls exist.
    void AfterConstruction();
    // Hints of controls; the program's forms show none.
    virtual std::string HintOf(HWND) const { return {}; }

  private:
    core::ControlNode DescribeChild(HWND child) const;

    OutlinedForm* ownerForm_;
    core::OutlineTarget outline_;
};

}  // namespace quenvix::win
