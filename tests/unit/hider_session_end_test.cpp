// The hidden list while the session asks to end: the windows show but stay listed, go back into
// hiding when the end is cancelled, and are simply forgotten when it goes ahead.
#include <gtest/gtest.h>

#include "core/hider.h"
#include "core/product.h"
#include "core/recovery.h"
#include "core/settings_store.h"
#include "fakes/fake_desktop.h"
#include "fakes/memory_registry.h"

namespace quenvix::core {
namespace {

using test::AsyncCall;
using test::FakeDesktop;
using test::FakeWindow;
using SC = ShowCommand;

constexpr WindowId kNormal = 0x70;
constexpr WindowId kMinimized = 0x71;
constexpr WindowId kMaximized = 0x72;
constexpr const char* kRecoveryKey = "Software\\Tarmel\\Quenvix\\Hidden";

class Entries : public HiddenEntries {
  public:
    std::vector<const HiddenWindow*> shown;
    void Append(const HiddenWindow& info, const std::string&) override { shown.push_back(&info); }
    void Remove(const HiddenWindow& info) override { std::erase(shown, &info); }
    void Clear() override { shown.clear(); }
};

class HiderSessionEndTest : public ::testing::Test {
  protected:
    HiderSessionEndTest() {
        desktop.Add(kNormal);
        desktop.Add(kMinimized).iconic = true;
        desktop.Add(kMaximized).zoomed = true;
        hider.HideAllWindows();
    }

    std::string State(WindowId w) {
        if (!desktop.Exists(w)) return "gone";
        if (!desktop.IsVisible(w)) return "hidden";
        return desktop.IsIconic(w) ? "minimised" : desktop.IsZoomed(w) ? "maximised" : "normal";
    }
    std::vector<std::string> States() {
        return {State(kNormal), State(kMinimized), State(kMaximized)};
    }
    std::string Record() { return registry.GetString(kRecoveryKey, "Windows").value_or(""); }

    FakeDesktop desktop;
    test::MemoryRegistry registry;
    SettingsStore store{registry, kSettingsKeyPath};
    Entries entries;
    Hider hider{desktop, &store, &entries, {}, nullptr};
};

using Strings = std::vector<std::string>;

// (Shown, hidden again and listed all along: ApplicationTest and scenario_session_end.sh.)
TEST_F(HiderSessionEndTest, TheMenuRefreshKeepsThemAndASecondQueryCommandsNothing) {
    hider.ShowForSessionEnd();
    ASSERT_EQ(States(), (Strings{"normal", "minimised", "maximised"}));
    // Seen hidden before and shown now, they are not taken for windows their programs showed.
    hider.RefreshHiddenMenu();
    EXPECT_EQ(hider.HiddenCount(), 3u);
    EXPECT_EQ(entries.shown.size(), 3u);
    const auto issued = desktop.calls.size();
    hider.ShowForSessionEnd();
    EXPECT_EQ(desktop.calls.size(), issued);
}

TEST_F(HiderSessionEndTest, AWindowThatClosedOrChangedHandsMeanwhileIsForgottenNotHidden) {
    hider.ShowForSessionEnd();
    desktop.Destroy(kNormal);
    // Its handle now names another program's window.
    desktop.At(kMaximized).origin = {999, 1, 5};
    desktop.calls.clear();

    hider.HideAgainAfterCancelledEnd();
    EXPECT_EQ(hider.HiddenCount(), 1u);
    EXPECT_EQ(entries.shown.size(), 1u);
    EXPECT_EQ(State(kMinimized), "hidden");
    EXPECT_EQ(State(kMaximized), "maximised");
    EXPECT_TRUE(desktop.CallsFor(kMaximized).empty());
    const auto kept = DecodeRecovery(Record());
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].handle, kMinimized);
}

TEST_F(HiderSessionEndTest, GoingAheadForgetsTheShownWindowsWithoutCommandingThemAgain) {
    // One window shows by the time the session asks, one is hung and gets its show commands
    // later, behind the hide.
    desktop.At(kMinimized).hung = true;
    hider.ShowForSessionEnd();
    // The user maximised the first one while its program asked about unsaved work.
    desktop.ShowAsync(kNormal, SC::ShowMaximized);
    desktop.calls.clear();

    hider.ForgetShownForSessionEnd();
    hider.RestoreAllOnExit();
    EXPECT_TRUE(desktop.calls.empty());
    EXPECT_EQ(State(kNormal), "maximised");
    EXPECT_EQ(hider.HiddenCount(), 0u);
    EXPECT_TRUE(entries.shown.empty());
    EXPECT_TRUE(DecodeRecovery(Record()).empty());
    desktop.At(kMinimized).hung = false;
    desktop.RunQueue(kMinimized);
    EXPECT_EQ(State(kMinimized), "minimised");
}

}  // namespace
}  // namespace quenvix::core
