#include "core/outline.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace quenvix::core {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

ControlNode Make(ControlKind kind, std::string caption, bool windowed = false,
                 std::vector<ControlNode> children = {}) {
    ControlNode node;
    node.kind = kind;
    node.caption = std::move(caption);
    node.windowed = windowed;
    node.children = std::move(children);
    return node;
}

// A form with a menu bar, a panel holding a label, a check box and a button.
ControlNode SampleForm() {
    ControlNode form =
        Make(ControlKind::Form, "Settings", true,
             {Make(ControlKind::Other, "panel", true,
                   {Make(ControlKind::Label, "Name"), Make(ControlKind::CheckBox, "Run on startup"),
                    Make(ControlKind::Button, "OK")})});
    form.mainMenu = {
        {"File", true, {{"Exit", true, {}}}},
        {"Hidden", false, {{"Secret", true, {}}}},
        {"Help", true, {{"About", true, {}}, {"Invisible", false, {{"Below", true, {}}}}}},
    };
    return form;
}

TEST(Outline, FormListsMenuFirstThenItsCaptionThenControlsIndented) {
    std::vector<std::string> lines;
    OutlineTarget target{&lines, 0};
    OutlineControl(target, SampleForm(), 0);
    // Menu lines carry no indentation; invisible items and everything below them are skipped.
    // Controls are indented one blank per level; the panel itself gives no line.
    EXPECT_THAT(lines, ElementsAre("  Menu:File", "  Menu:Exit", "  Menu:Help", "  Menu:About",
                                   " Settings", "   Name", "   Run on startup", "   OK"));
}

TEST(Outline, HintReplacesCaptionAndGivesEvenUncaptionedControlsALine) {
    std::vector<std::string> lines;
    OutlineTarget target{&lines, 0};
    ControlNode panel =
        Make(ControlKind::Other, "ignored", true, {Make(ControlKind::SpeedButton, "Download")});
    panel.hint = "Tools";
    panel.children[0].hint = "Fetch the new version";
    ControlNode groupBox = Make(ControlKind::GroupBox, "Keys");
    OutlineControl(target, Make(ControlKind::Other, "", true, {panel, groupBox}), 2);
    EXPECT_THAT(lines, ElementsAre("  Hint:Tools", "  Hint:Fetch the new version", "    Keys"));
}

TEST(Outline, ChildrenOfNonWindowedControlsAreNotVisited) {
    std::vector<std::string> lines;
    OutlineTarget target{&lines, 0};
    OutlineControl(target, Make(ControlKind::Label, "Top", false, {Make(ControlKind::Label, "x")}),
                   0);
    EXPECT_THAT(lines, ElementsAre(" Top"));
}

TEST(Outline, WritesOnlyThroughATargetWithAListAndNeverIndentsBelowNothing) {
    std::vector<std::string> lines;
    const OutlineTarget none;  // a form that was handed no list
    OutlineControl(none, SampleForm(), 0);
    OutlineMenuItem(none, {"File", true, {}}, 0);
    const OutlineTarget target{&lines, 0};
    // A depth below the first level (a form outlined from a negative base) gives no indentation,
    // not a wrapped-around count of blanks.
    OutlineControl(target, Make(ControlKind::Label, "Top"), -3);
    EXPECT_THAT(lines, ElementsAre("Top"));
}

TEST(OutlineAfterConstruction, OwnerThatIsNotSuchAFormGivesNothing) {
    OutlineTarget self;
    OutlineAfterConstruction(self, nullptr, SampleForm());
    EXPECT_EQ(self.lines, nullptr);
}

TEST(OutlineAfterConstruction, OwnerWithoutAListGivesNothing) {
    OutlineTarget owner;
    OutlineTarget self;
    OutlineAfterConstruction(self, &owner, SampleForm());
    EXPECT_EQ(self.lines, nullptr);
}

TEST(OutlineAfterConstruction, TakesOverTheOwnersListAndAppendsToIt) {
    std::vector<std::string> lines{"existing"};
    OutlineTarget owner{&lines, 3};
    OutlineTarget self;
    OutlineAfterConstruction(
        self, &owner,
        Make(ControlKind::Form, "About", true, {Make(ControlKind::Label, "Version")}));
    EXPECT_EQ(self.lines, &lines);
    // The depth is the form's own (0), not the owner's.
    EXPECT_THAT(lines, ElementsAre("existing", " About", "  Version"));
}

TEST(Outline, MenuOnlyOfFormsIsOutlined) {
    std::vector<std::string> lines;
    OutlineTarget target{&lines, 0};
    ControlNode button = Make(ControlKind::Button, "Go");
    button.mainMenu = {{"Stray", true, {}}};
    OutlineControl(target, button, 0);
    EXPECT_THAT(lines, ElementsAre(" Go"));
    lines.clear();
    ControlNode bare = Make(ControlKind::Other, "");
    OutlineControl(target, bare, 0);
    EXPECT_THAT(lines, IsEmpty());
}

}  // namespace
}  // namespace quenvix::core
