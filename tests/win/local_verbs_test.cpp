// "--restore-recorded" over the fakes: what an uninstaller's last word brings back.
#include "win/local_verbs.h"

#include <gtest/gtest.h>

#include "core/command_line.h"
#include "fakes/fake_desktop.h"
#include "fakes/memory_registry.h"
#include "win/app.h"

namespace quenvix::win {
namespace {

constexpr char kHiddenKey[] = "Software\\Tarmel\\Quenvix\\Hidden";

// Only windows that are still the ones recorded come back, each as it was, and the record ends
// empty, so that the next start takes nothing back a second time. A record of the plain value
// that earlier versions kept is taken over first.
TEST(RestoreRecorded, ShowsTheRecordedWindowsStillTheSameAndEmptiesTheRecord) {
    test::MemoryRegistry registry;
    test::FakeDesktop desktop;
    desktop.Add(0x60).visible = false;
    test::FakeWindow zoomed;
    zoomed.visible = false;
    zoomed.zoomed = true;
    desktop.Add(0x61, zoomed);
    test::FakeWindow reused;  // the handle now names another process's window
    reused.visible = false;
    reused.origin = {555, 200, 1000};
    desktop.Add(0x62, reused);
    registry.PutString(kHiddenKey, "Windows",
                       "96 100 1000 200 0 Plain\n97 100 1000 200 2 Zoomed\n98 100 1000 200 0 "
                       "Gone\n");

    EXPECT_EQ(RestoreRecordedWindows(registry, desktop), core::kExitDone);

    EXPECT_TRUE(desktop.IsVisible(0x60));
    EXPECT_TRUE(desktop.IsVisible(0x61) && desktop.IsZoomed(0x61));
    EXPECT_FALSE(desktop.IsVisible(0x62));
    EXPECT_TRUE(desktop.CallsFor(0x62).empty());
    EXPECT_EQ(registry.GetString(kHiddenKey, RecoveryValueName()).value_or(""), "");
    EXPECT_EQ(registry.GetString(kHiddenKey, "Windows").value_or(""), "");
}

}  // namespace
}  // namespace quenvix::win
