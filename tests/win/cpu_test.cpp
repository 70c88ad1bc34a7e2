// The system's processor counters and one gauge tick into a real image list.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>

#include "core/cpu_gauge.h"
#include "fakes/fake_cpu_counters.h"
#include "icon_pixels.h"
#include "win/cpu_counters.h"
#include "win/cpu_gauge_view.h"

namespace quenvix::win {
namespace {

using test::Difference;
using test::FakeCpuCounters;
using test::ReadIcon;

std::int64_t FileTimeNow() {
    FILETIME ft{};
    GetSystemTimeAsFileTime(&ft);
    return (std::int64_t{ft.dwHighDateTime} << 32) | ft.dwLowDateTime;
}

TEST(Win32CpuCounters, CountTheProcessorsAndTimeIdlenessInOneUnit) {
    ASSERT_TRUE(IsWinNT());
    Win32CpuCounters counters;

    SYSTEM_INFO info{};
    GetSystemInfo(&info);
    EXPECT_EQ(counters.ProcessorCount(), std::optional<unsigned>(info.dwNumberOfProcessors));

    // The system time is the current time of day in 100 ns units since 1601.
    const std::int64_t before = FileTimeNow();
    const std::optional<std::int64_t> start = counters.SystemTime();
    const std::int64_t after = FileTimeNow();
    ASSERT_TRUE(start);
    EXPECT_GE(*start, before - 10'000'000);
    EXPECT_LE(*start, after + 10'000'000);

    // Idle time only grows, and in the same unit as the clock: over an interval, all the
    // processors together cannot have idled longer than the interval times their number (one
    // scheduler tick of slack each). Milliseconds or a single processor's figure would fail.
    const std::optional<std::int64_t> idle1 = counters.IdleTime();
    Sleep(300);
    const std::optional<std::int64_t> idle2 = counters.IdleTime();
    const std::optional<std::int64_t> end = counters.SystemTime();
    ASSERT_TRUE(idle1 && idle2 && end);
    EXPECT_GT(*idle1, 0);
    EXPECT_GE(*idle2, *idle1);
    const std::int64_t slack = 200'000 * static_cast<std::int64_t>(info.dwNumberOfProcessors);
    EXPECT_LE(*idle2 - *idle1, (*end - *start) * info.dwNumberOfProcessors + slack);
}

TEST(Win32CpuCounters, TwoRealSamplesGiveALoadWithinTheGaugeRange) {
    Win32CpuCounters counters;
    core::CpuUsageSampler sampler(counters);
    double load = -1.0;
    ASSERT_TRUE(sampler.GetCPUUsage(load));
    EXPECT_EQ(load, 0.0);
    Sleep(1000);
    ASSERT_TRUE(sampler.GetCPUUsage(load));
    // Idle time is counted in scheduler ticks, so a nearly idle machine may read a hair below
    // the formula's floor of 0.5.
    EXPECT_GE(load, 0.0);
    EXPECT_LE(load, 100.5);
}

// ---- one tick into the image list -----------------------------------------------------------

struct GaugeFixture : ::testing::Test {
    std::unique_ptr<FakeCpuCounters> counters;
    std::shared_ptr<SharedImageList> list = CreateCpuImageList(16);
    std::unique_ptr<CpuGaugeView> view;

    void MakeView() {
        view.reset();
        counters = std::make_unique<FakeCpuCounters>();
        view = std::make_unique<CpuGaugeView>(list, *counters);
    }
    std::string ShownDifference(const core::Picture& picture) {
        return Difference(ReadIcon(list->Icon(0).get()), picture);
    }
};

TEST_F(GaugeFixture, TheListStartsWithTheInitialPicture) {
    EXPECT_EQ(list->Count(), 1);
    EXPECT_EQ(ShownDifference(core::InitialCPUGauge()), "");
}

TEST_F(GaugeFixture, EachTickPutsTheDrawnGaugeIntoImageZero) {
    MakeView();
    ASSERT_TRUE(view->Tick());  // first sample: an empty gauge
    EXPECT_EQ(view->LastLoad(), 0.0);
    EXPECT_EQ(ShownDifference(core::DrawCPUGauge(0.0)), "");

    counters->processors = 2;
    counters->Advance(5'000'000, 5'000'000);
    ASSERT_TRUE(view->Tick());
    EXPECT_EQ(view->LastLoad(), 50.5);
    EXPECT_EQ(ShownDifference(core::DrawCPUGauge(50.5)), "");
    EXPECT_EQ(list->Count(), 1);

    // Back to a level shown before: its picture comes back, as the very icon made then.
    const HICON halfLoad = list->Icon(0).get();
    counters->Advance(10'000'000, 20'000'000);
    ASSERT_TRUE(view->Tick());
    EXPECT_EQ(ShownDifference(core::DrawCPUGauge(0.5)), "");
    counters->Advance(5'000'000, 5'000'000);
    ASSERT_TRUE(view->Tick());
    EXPECT_EQ(ShownDifference(core::DrawCPUGauge(50.5)), "");
    EXPECT_EQ(list->Icon(0).get(), halfLoad);
}

TEST_F(GaugeFixture, AFailedSampleOrAnUnchangedPictureLeavesTheListAlone) {
    MakeView();
    ASSERT_TRUE(view->Tick());
    const std::uint64_t drawn = list->Generation();

    counters->idleTime.reset();
    EXPECT_TRUE(view->Tick());  // the timer goes on
    EXPECT_EQ(list->Generation(), drawn);
    EXPECT_EQ(ShownDifference(core::DrawCPUGauge(0.0)), "");

    // No elapsed time: nothing to measure, nothing drawn, no crash.
    counters->idleTime = 0;
    EXPECT_TRUE(view->Tick());
    EXPECT_EQ(list->Generation(), drawn);

    // 0.5 % load draws the same empty gauge as before: the tray gets nothing new to fetch.
    counters->Advance(1000, 1000);
    EXPECT_TRUE(view->Tick());
    EXPECT_EQ(view->LastLoad(), 0.5);
    EXPECT_EQ(list->Generation(), drawn);

    counters->Advance(1000, 0);
    EXPECT_TRUE(view->Tick());
    EXPECT_GT(list->Generation(), drawn);
    EXPECT_EQ(ShownDifference(core::DrawCPUGauge(100.5)), "");
}

TEST_F(GaugeFixture, AHighDpiListGetsTheGaugeDrawnAtItsOwnSize) {
    // 150 %: drawn at 24 pixels, not a 16-pixel picture blown up.
    list = CreateCpuImageList(24);
    EXPECT_EQ(ShownDifference(core::InitialCPUGauge(24)), "");
    MakeView();
    view->Tick();
    counters->Advance(1000, 500);
    view->Tick();
    EXPECT_EQ(ShownDifference(core::DrawCPUGauge(50.5, 24)), "");
    EXPECT_NE(core::DrawCPUGauge(50.5, 24), core::ScaleNearest(core::DrawCPUGauge(50.5), 24));
}

TEST(TrayIconSize, IsTheSmallIconSizeOfEachDpi) {
    // 16 pixels at 100 %, and in step with the DPI above it, whatever the system DPI is.
    EXPECT_EQ(TrayIconSize(96), 16);
    EXPECT_EQ(TrayIconSize(144), 24);
    EXPECT_EQ(TrayIconSize(192), 32);
    EXPECT_GE(TaskbarDpi(), 96u);
}

}  // namespace
}  // namespace quenvix::win
