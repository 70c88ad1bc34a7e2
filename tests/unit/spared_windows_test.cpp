// The windows that are never hidden: one list, and every way of hiding goes by it. Each kind is
// put before the hide-this key, hide-all ("Panic!" runs the same) and a rule that matches it.
#include "core/spared_windows.h"

#include <gtest/gtest.h>

#include <string>

#include "core/hider.h"
#include "core/rules.h"
#include "fakes/fake_desktop.h"

namespace quenvix::core {
namespace {

using test::FakeDesktop;
using test::FakeWindow;

constexpr WindowId kWindow = 0x500;

// Which ways of hiding took the window.
struct Taken {
    bool hideThis = false;
    bool hideAll = false;
    bool rule = false;

    friend bool operator==(const Taken&, const Taken&) = default;
};
constexpr Taken kNone{};
constexpr Taken kEvery{true, true, true};

std::ostream& operator<<(std::ostream& out, const Taken& t) {
    return out << "{hideThis " << t.hideThis << ", hideAll " << t.hideAll << ", rule " << t.rule
               << "}";
}

Taken TakenBy(const FakeWindow& window) {
    Taken taken;
    {
        FakeDesktop desktop;
        desktop.Add(kWindow, window);
        desktop.SetForeground(kWindow);
        Hider hider(desktop, nullptr, nullptr, {});
        hider.HideActiveWindow();
        taken.hideThis = hider.IsHidden(kWindow) && !desktop.IsVisible(kWindow);
    }
    {
        FakeDesktop desktop;
        desktop.Add(kWindow, window);
        Hider hider(desktop, nullptr, nullptr, {});
        hider.HideAllWindows();
        taken.hideAll = hider.IsHidden(kWindow) && !desktop.IsVisible(kWindow);
    }
    {
        FakeDesktop desktop;
        desktop.Add(kWindow, window);
        WindowFacts facts;
        static_cast<WindowTraits&>(facts) = desktop.Traits(kWindow);
        facts.visible = true;
        const RuleSet rules({Rule{true, RuleAction::Appear, "", window.windowClass, ""}});
        taken.rule = rules.Hides(facts, RuleAction::Appear);
    }
    return taken;
}

FakeWindow OfClass(std::string windowClass, std::string executable = "program.exe") {
    FakeWindow w;
    w.caption = windowClass;
    w.windowClass = std::move(windowClass);
    w.executable = std::move(executable);
    return w;
}

FakeWindow OfShell(std::string windowClass) {
    FakeWindow w = OfClass(std::move(windowClass), "explorer.exe");
    w.shellProcess = true;
    return w;
}

TEST(SparedWindows, AnOrdinaryWindowIsTakenByEveryWay) {
    EXPECT_EQ(TakenBy(OfClass("Notepad", "notepad.exe")), kEvery);
    EXPECT_EQ(WhySpared(FakeDesktop().Traits(FakeDesktop::kDesktop)), Spared::DesktopWindow);
}

TEST(SparedWindows, BothTaskbarsStay) {
    EXPECT_EQ(TakenBy(OfShell("Shell_TrayWnd")), kNone);
    EXPECT_EQ(TakenBy(OfShell("Shell_SecondaryTrayWnd")), kNone);  // on a second monitor
}

TEST(SparedWindows, TheDesktopStaysInEachOfItsForms) {
    EXPECT_EQ(TakenBy(OfShell("Progman")), kNone);
    // The icon view moved into a worker window (wallpaper effects do that).
    FakeWindow icons = OfClass("WorkerW");
    icons.desktopView = true;
    EXPECT_EQ(TakenBy(icons), kNone);
    // The shell's worker window that draws the wallpaper behind it.
    EXPECT_EQ(TakenBy(OfShell("WorkerW")), kNone);
    // The class name alone proves nothing: another program's window of that name may go.
    EXPECT_EQ(TakenBy(OfClass("WorkerW", "player.exe")), kEvery);
}

TEST(SparedWindows, TheShellsCoreWindowsStayButAStoreAppsMayGo) {
    for (const char* host : {"StartMenuExperienceHost.exe", "SearchHost.exe", "searchapp.exe",
                             "SearchUI.exe", "ShellExperienceHost.exe", "TextInputHost.exe"}) {
        EXPECT_EQ(TakenBy(OfClass("Windows.UI.Core.CoreWindow", host)), kNone) << host;
    }
    EXPECT_EQ(TakenBy(OfShell("Windows.UI.Core.CoreWindow")), kNone);  // made by the shell
    EXPECT_EQ(TakenBy(OfClass("Windows.UI.Core.CoreWindow", "CalculatorApp.exe")), kEvery);
}

TEST(SparedWindows, OurOwnWindowsStay) {
    FakeWindow own = OfClass("QuenvixMainForm");
    own.origin.processId = FakeDesktop::kOwnPid;
    EXPECT_EQ(TakenBy(own), kNone);
}

// https://learn.microsoft.com/windows/win32/shell/taskbar#managing-taskbar-buttons
TEST(SparedWindows, AToolWindowStaysUnlessItAsksForATaskbarButton) {
    FakeWindow palette = OfClass("Palette");
    palette.exStyle = kExToolWindow;
    EXPECT_EQ(TakenBy(palette), kNone);
    palette.exStyle = kExToolWindow | kExAppWindow;
    EXPECT_EQ(TakenBy(palette), kEvery);
}

// DWMWA_CLOAKED: https://learn.microsoft.com/windows/win32/api/dwmapi/ne-dwmapi-dwmwindowattribute
TEST(SparedWindows, ACloakedWindowStaysWhereItIs) {
    // A window on another virtual desktop, or a suspended Store app: IsWindowVisible says
    // visible, yet the user sees nothing of it, and it is to be found where it was left.
    FakeWindow elsewhere = OfClass("Notepad", "notepad.exe");
    elsewhere.cloaked = true;
    EXPECT_EQ(TakenBy(elsewhere), kNone);

    FakeDesktop desktop;
    desktop.Add(kWindow, elsewhere);
    desktop.Add(kWindow + 1, OfClass("Notepad", "notepad.exe"));
    Hider hider(desktop, nullptr, nullptr, {});
    hider.HideAllWindows();
    EXPECT_TRUE(desktop.CallsFor(kWindow).empty());  // not even touched
    EXPECT_TRUE(hider.IsHidden(kWindow + 1));
}

TEST(SparedWindows, TheFirstReasonIsGiven) {
    WindowTraits traits;
    traits.windowClass = "Shell_TrayWnd";
    traits.exStyle = kExToolWindow;
    traits.cloaked = true;
    EXPECT_EQ(WhySpared(traits), Spared::Taskbar);
    traits.windowClass = "Frame";
    EXPECT_EQ(WhySpared(traits), Spared::ToolWindow);
    traits.exStyle = 0;
    EXPECT_EQ(WhySpared(traits), Spared::Cloaked);
    traits.ours = true;
    EXPECT_EQ(WhySpared(traits), Spared::Ours);
}

}  // namespace
}  // namespace quenvix::core
