#include "win/outlined_form.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace quenvix::win {
namespace {

using ::testing::ElementsAre;

// A small form with a menu bar and a few controls, built the way the program's forms are.
class SampleForm : public OutlinedForm {
  public:
    explicit SampleForm(OutlinedForm* ownerForm) : OutlinedForm(ownerForm) {}

    void Build() {
        CreateDialogWindow(L"QuenvixOutlineSample", L"Sample", 200, 120, nullptr);
        HMENU bar = CreateMenu();
        HMENU file = CreatePopupMenu();
        AppendMenuW(file, MF_STRING, 1, L"Open");
        AppendMenuW(file, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(file, MF_STRING, 2, L"Exit");
        AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), L"File");
        SetMenu(Hwnd(), bar);
        AddControl(L"Static", L"Name", WS_VISIBLE | SS_LEFT, 8, 8, 60, 13, 10);
        AddControl(L"Static", L"", WS_VISIBLE | SS_ICON, 8, 24, 32, 32, 11);
        AddControl(L"Button", L"Keys", WS_VISIBLE | BS_GROUPBOX, 8, 60, 180, 50, 12);
        AddControl(L"Button", L"Run on startup", WS_VISIBLE | BS_AUTOCHECKBOX, 16, 76, 120, 17, 13);
        AddControl(L"Button", L"OK", WS_VISIBLE | BS_PUSHBUTTON, 140, 8, 50, 22, 14);
        AddControl(L"Edit", L"typed text", WS_VISIBLE, 80, 8, 50, 20, 15);
        AfterConstruction();
    }
    ~SampleForm() override {
        if (Hwnd()) DestroyWindow(Hwnd());
    }
};

class OwnerForm : public OutlinedForm {};

TEST(OutlinedForm, OwnedBySuchAFormWithAListItOutlinesItself) {
    std::vector<std::string> lines;
    OwnerForm owner;
    owner.SetOutline(&lines);
    SampleForm form(&owner);
    form.Build();
    EXPECT_EQ(form.Outline(), &lines);
    EXPECT_THAT(lines, ElementsAre("  Menu:File", "  Menu:Open", "  Menu:-", "  Menu:Exit",
                                   " Sample", "  Name", "  Keys", "  Run on startup", "  OK"));
}

TEST(OutlinedForm, OtherOwnersGiveNoOutline) {
    SampleForm orphan(nullptr);
    orphan.Build();
    EXPECT_EQ(orphan.Outline(), nullptr);

    OwnerForm listless;
    SampleForm owned(&listless);
    owned.Build();
    EXPECT_EQ(owned.Outline(), nullptr);
}

}  // namespace
}  // namespace quenvix::win
