#include "core/cpu_gauge.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <ostream>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "fakes/fake_cpu_counters.h"

namespace quenvix {
namespace {

using core::Picture;
using test::FakeCpuCounters;

// ---- sampling -------------------------------------------------------------------------------

struct SamplerFixture : ::testing::Test {
    FakeCpuCounters counters;
    int pumps = 0;
    core::CpuUsageSampler sampler{counters, [this] { ++pumps; }};
    double load = -1.0;
};

TEST_F(SamplerFixture, FirstReadingOnlyRecordsTheCounters) {
    counters.systemTime = 5'000'000;
    counters.idleTime = 4'000'000;
    EXPECT_TRUE(sampler.GetCPUUsage(load));
    EXPECT_EQ(load, 0.0);
    EXPECT_EQ(pumps, 0);

    counters.Advance(1000, 250);
    EXPECT_TRUE(sampler.GetCPUUsage(load));
    EXPECT_DOUBLE_EQ(load, 100.5 - 25.0);
    EXPECT_EQ(pumps, 1);
}

TEST_F(SamplerFixture, TwoProcessorsHalfIdleGiveFiftyAndAHalf) {
    counters.processors = 2;
    ASSERT_TRUE(sampler.GetCPUUsage(load));
    // Each processor idle half of the 1000 ticks: 1000 idle ticks summed over both.
    counters.Advance(1000, 1000);
    ASSERT_TRUE(sampler.GetCPUUsage(load));
    EXPECT_DOUBLE_EQ(load, 50.5);
}

TEST_F(SamplerFixture, BusyAndIdleExtremesAndIdleOutrunningTheClock) {
    ASSERT_TRUE(sampler.GetCPUUsage(load));
    counters.Advance(1000, 0);
    ASSERT_TRUE(sampler.GetCPUUsage(load));
    EXPECT_DOUBLE_EQ(load, 100.5);
    counters.Advance(1000, 1000);
    ASSERT_TRUE(sampler.GetCPUUsage(load));
    EXPECT_DOUBLE_EQ(load, 0.5);
    // Not clamped: idle time that grew faster than the clock gives a negative load.
    counters.Advance(1000, 2000);
    ASSERT_TRUE(sampler.GetCPUUsage(load));
    EXPECT_DOUBLE_EQ(load, -99.5);
}

TEST_F(SamplerFixture, CountersBeyondThirtyTwoBitsKeepTheirHighHalf) {
    counters.systemTime = (std::int64_t{7} << 32) + 0xFFFF'FF00;
    counters.idleTime = (std::int64_t{3} << 32) + 0xFFFF'FFF0;
    ASSERT_TRUE(sampler.GetCPUUsage(load));
    // Both deltas cross a 2^32 boundary.
    counters.Advance(0x200, 0x80);
    ASSERT_TRUE(sampler.GetCPUUsage(load));
    EXPECT_DOUBLE_EQ(load, 100.5 - 25.0);
}

enum class Failing { Processors, SystemTime, IdleTime };

class FailedReading : public SamplerFixture, public ::testing::WithParamInterface<Failing> {
  protected:
    void Break() {
        switch (GetParam()) {
            case Failing::Processors:
                counters.processors.reset();
                break;
            case Failing::SystemTime:
                counters.systemTime.reset();
                break;
            case Failing::IdleTime:
                counters.idleTime.reset();
                break;
        }
    }
    void Mend(std::int64_t systemTime, std::int64_t idleTime) {
        counters.processors = 1;
        counters.systemTime = systemTime;
        counters.idleTime = idleTime;
    }
};

TEST_P(FailedReading, ChangesNeitherCounterSoTheNextGoodOneSpansBoth) {
    ASSERT_TRUE(sampler.GetCPUUsage(load));  // baseline at time 0, idle 0
    Break();
    EXPECT_FALSE(sampler.GetCPUUsage(load));
    EXPECT_EQ(load, 0.0);
    // First interval: 1000 ticks all idle; second: 1000 ticks all busy. Measured together the
    // machine was half idle; had the failed call stored anything, the load would read 100.5.
    Mend(2000, 1000);
    ASSERT_TRUE(sampler.GetCPUUsage(load));
    EXPECT_DOUBLE_EQ(load, 50.5);
    EXPECT_EQ(pumps, 1);
}

TEST_P(FailedReading, OnTheVeryFirstCallLeavesTheNextAsTheFirst) {
    Break();
    EXPECT_FALSE(sampler.GetCPUUsage(load));
    Mend(1000, 1000);
    ASSERT_TRUE(sampler.GetCPUUsage(load));
    EXPECT_EQ(load, 0.0);
}

INSTANTIATE_TEST_SUITE_P(EachQuery, FailedReading,
                         ::testing::Values(Failing::Processors, Failing::SystemTime,
                                           Failing::IdleTime));

TEST_F(SamplerFixture, NoElapsedTimeOrNoProcessorsNeverDivideByZero) {
    ASSERT_TRUE(sampler.GetCPUUsage(load));
    counters.Advance(0, 0);
    EXPECT_FALSE(sampler.GetCPUUsage(load));
    EXPECT_EQ(load, 0.0);
    counters.processors = 0;
    counters.Advance(1000, 500);
    EXPECT_FALSE(sampler.GetCPUUsage(load));
    EXPECT_EQ(load, 0.0);
    EXPECT_EQ(pumps, 0);
    // Sampling goes on normally afterwards.
    counters.processors = 1;
    ASSERT_TRUE(sampler.GetCPUUsage(load));
    EXPECT_DOUBLE_EQ(load, 50.5);
}

TEST_F(SamplerFixture, ClockSetBackStartsAFreshInterval) {
    counters.systemTime = 1'000'000;
    ASSERT_TRUE(sampler.GetCPUUsage(load));
    counters.systemTime = 400'000;  // the user moved the clock back
    counters.idleTime = 10;
    EXPECT_FALSE(sampler.GetCPUUsage(load));
    counters.Advance(1000, 0);
    ASSERT_TRUE(sampler.GetCPUUsage(load));
    EXPECT_DOUBLE_EQ(load, 100.5);
}

TEST(SamplerPump, HandlersRunningInsideASampleSeeItsCountersAlreadyStored) {
    FakeCpuCounters counters;
    std::vector<double> nested;
    core::CpuUsageSampler* self = nullptr;
    bool pumped = false;
    core::CpuUsageSampler sampler(counters, [&] {
        if (pumped) return;  // one nested sample is enough
        pumped = true;
        counters.Advance(1000, 1000);
        double inner = -1.0;
        EXPECT_TRUE(self->GetCPUUsage(inner));
        nested.push_back(inner);
    });
    self = &sampler;
    double load = -1.0;
    ASSERT_TRUE(sampler.GetCPUUsage(load));  // baseline, no pumping
    EXPECT_TRUE(nested.empty());
    counters.Advance(1000, 0);
    ASSERT_TRUE(sampler.GetCPUUsage(load));
    EXPECT_DOUBLE_EQ(load, 100.5);
    // The nested sample measured only the second, idle interval ...
    ASSERT_EQ(nested.size(), 1u);
    EXPECT_DOUBLE_EQ(nested[0], 0.5);
    // ... and the outer call did not put its older counters back afterwards.
    counters.Advance(1000, 0);
    ASSERT_TRUE(sampler.GetCPUUsage(load));
    EXPECT_DOUBLE_EQ(load, 100.5);
}

// ---- drawing --------------------------------------------------------------------------------

// Pictures as text: one string per row. Colours: W white, G grey, d dark green, B bright green,
// k black. Mask: '#' opaque, '.' transparent.
Picture FromArt(const std::vector<std::string>& colours, const std::vector<std::string>& mask) {
    Picture picture(static_cast<int>(colours.size()));
    for (int y = 0; y < picture.Size(); ++y) {
        for (int x = 0; x < picture.Size(); ++x) {
            switch (colours[y][x]) {
                case 'W':
                    picture.Set(x, y, core::kGaugeWhite);
                    break;
                case 'G':
                    picture.Set(x, y, core::kGaugeGrey);
                    break;
                case 'd':
                    picture.Set(x, y, core::kGaugeDarkGreen);
                    break;
                case 'B':
                    picture.Set(x, y, core::kGaugeBrightGreen);
                    break;
                default:
                    picture.Set(x, y, core::kGaugeBlack);
                    break;
            }
            picture.SetTransparent(x, y, mask[y][x] == '.');
        }
    }
    return picture;
}

std::string ToArt(const Picture& picture) {
    std::string art;
    for (int y = 0; y < picture.Size(); ++y) {
        for (int x = 0; x < picture.Size(); ++x) {
            const core::Rgb c = picture.At(x, y);
            art += c == core::kGaugeWhite         ? 'W'
                   : c == core::kGaugeGrey        ? 'G'
                   : c == core::kGaugeDarkGreen   ? 'd'
                   : c == core::kGaugeBrightGreen ? 'B'
                   : c == core::kGaugeBlack       ? 'k'
                                                  : '?';
        }
        art += "  ";
        for (int x = 0; x < picture.Size(); ++x) art += picture.Transparent(x, y) ? '.' : '#';
        art += '\n';
    }
    return art;
}

const std::vector<std::string> kGaugeMask = {
    "................", "..############..", "..############..", "..############..",
    "..############..", "..############..", "..############..", "..############..",
    "..############..", "..############..", "..############..", "..############..",
    "..############..", "..############..", "................", "................",
};

constexpr const char* kBlank = "WWWWWWWWWWWWWWWW";
constexpr const char* kTopEdge = "WWGGGGGGGGGGGGWW";
constexpr const char* kDark = "WWGddddddddddWWW";
constexpr const char* kBright = "WWGBBBBBBBBBBWWW";

// Rows 2-12 of the gauge: the inner field with its lowest `bright` rows lit.
std::vector<std::string> GaugeArt(int bright, const char* row0 = kBlank) {
    std::vector<std::string> art = {row0, kTopEdge};
    for (int row = 2; row <= 12; ++row) art.push_back(row > 12 - bright ? kBright : kDark);
    art.insert(art.end(), {kBlank, kBlank, kBlank});
    return art;
}

struct GaugeCase {
    double load;
    std::vector<std::string> colours;
    friend void PrintTo(const GaugeCase& c, std::ostream* os) { *os << "load " << c.load; }
};

class GaugePixels : public ::testing::TestWithParam<GaugeCase> {};

TEST_P(GaugePixels, MatchTheDrawingExactly) {
    const Picture expected = FromArt(GetParam().colours, kGaugeMask);
    const Picture drawn = core::DrawCPUGauge(GetParam().load);
    EXPECT_EQ(drawn, expected) << "drawn:\n" << ToArt(drawn) << "expected:\n" << ToArt(expected);
}

INSTANTIATE_TEST_SUITE_P(
    Loads, GaugePixels,
    ::testing::Values(GaugeCase{0.0, GaugeArt(0)},
                      // 6.5 goes to the even neighbour, 6.565 up to 7.
                      GaugeCase{50.0, GaugeArt(6)}, GaugeCase{50.5, GaugeArt(7)},
                      // The full bar starts at row 0, above the opaque area, under the mask.
                      GaugeCase{100.5, GaugeArt(11, "WWBBBBBBBBBBBBWW")},
                      GaugeCase{-12.5, GaugeArt(0)}, GaugeCase{-1000.0, GaugeArt(0)},
                      // The field is full from 10.5 rounded up, i.e. from about 80.8 on.
                      GaugeCase{80.7, GaugeArt(10)}, GaugeCase{80.8, GaugeArt(11)},
                      GaugeCase{7.7, GaugeArt(1)},
                      GaugeCase{250.0, GaugeArt(11, "WWBBBBBBBBBBBBWW")},
                      GaugeCase{std::nan(""), GaugeArt(0)}));

// The picture as the tray shows it: what the mask hides is black in an icon.
core::Picture OnScreen(core::Picture picture) {
    for (int y = 0; y < picture.Size(); ++y) {
        for (int x = 0; x < picture.Size(); ++x) {
            if (picture.Transparent(x, y)) picture.Set(x, y, core::kGaugeBlack);
        }
    }
    return picture;
}

// The gauge view skips drawing on an equal level: a level that hid a change of picture would
// freeze the tray icon, and levels that differ with the look equal cost a hand-over to the shell
// for nothing (a busy machine's load hovers at the top of the bar). Answers how many looks there
// are.
std::size_t ExpectLevelsMatchLooks(int size) {
    std::vector<double> loads = {std::nan(""), -1e300, -50, -4, -3.85, 1e300, 250, 107.7};
    for (double load = -10; load <= 110; load += 0.25) loads.push_back(load);
    std::vector<core::Picture> pictures;
    for (double load : loads) pictures.push_back(OnScreen(core::DrawCPUGauge(load, size)));
    std::set<int> levels;
    std::vector<core::Picture> distinct;
    for (std::size_t a = 0; a < loads.size(); ++a) {
        levels.insert(core::GaugeLevel(loads[a], size));
        if (std::find(distinct.begin(), distinct.end(), pictures[a]) == distinct.end()) {
            distinct.push_back(pictures[a]);
        }
        for (std::size_t b = a + 1; b < loads.size(); ++b) {
            if (core::GaugeLevel(loads[a], size) != core::GaugeLevel(loads[b], size)) continue;
            EXPECT_EQ(pictures[a], pictures[b])
                << loads[a] << " and " << loads[b] << " at " << size;
            if (pictures[a] != pictures[b]) return 0;
        }
    }
    EXPECT_EQ(levels.size(), distinct.size()) << "at " << size;
    return distinct.size();
}

TEST(GaugeLevel, LevelsAndLooksMatchOneToOne) {
    EXPECT_EQ(ExpectLevelsMatchLooks(16), 12u);
}

// ---- the gauge at the tray's icon sizes of higher DPIs ---------------------------------------

int CountRows(const Picture& picture, core::Rgb colour, int column) {
    int n = 0;
    for (int y = 0; y < picture.Size(); ++y)
        n += !picture.Transparent(column, y) && picture.At(column, y) == colour;
    return n;
}

class GaugeAtSize : public ::testing::TestWithParam<int> {};

TEST_P(GaugeAtSize, KeepsTheDesignsProportionsWithSharpEdges) {
    const int size = GetParam();
    const Picture empty = core::DrawCPUGauge(0.0, size);
    ASSERT_EQ(empty.Size(), size);
    // The opaque area sits where it does at 16 pixels: from 2/16 to 14/16 across, 1/16 down.
    int left = size, right = -1, top = size, bottom = -1;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            if (empty.Transparent(x, y)) continue;
            left = std::min(left, x), right = std::max(right, x);
            top = std::min(top, y), bottom = std::max(bottom, y);
        }
    }
    EXPECT_NEAR(left, size * 2 / 16.0, 1.0);
    EXPECT_NEAR(right + 1, size * 14 / 16.0, 1.0);
    EXPECT_NEAR(top, size / 16.0, 1.0);
    EXPECT_NEAR(bottom + 1, size * 14 / 16.0, 1.0);
    // A sunken frame of whole pixels: grey on the left and top, white on the right and bottom,
    // as deep as a pixel of the 16-pixel design is wide in whole pixels (1 up to 31, 2 at 32 to
    // 47, 3 at 48), so that it does not thin out on a sharp screen.
    const int thickness = size < 32 ? 1 : size < 48 ? 2 : 3;
    const int middle = (top + bottom) / 2;
    for (int i = 0; i < thickness; ++i) {
        EXPECT_EQ(empty.At(left + i, middle), core::kGaugeGrey) << size;
        EXPECT_EQ(empty.At(right - i, middle), core::kGaugeWhite) << size;
        EXPECT_EQ(empty.At((left + right) / 2, top + i), core::kGaugeGrey) << size;
        EXPECT_EQ(empty.At((left + right) / 2, bottom - i), core::kGaugeWhite) << size;
    }
    EXPECT_EQ(empty.At(left + thickness, middle), core::kGaugeDarkGreen) << size;

    // Inside the frame: nothing lit when idle, everything lit when full, half lit at half load.
    const int column = (left + right) / 2;
    const int inner = bottom - top + 1 - 2 * thickness;
    EXPECT_EQ(CountRows(empty, core::kGaugeBrightGreen, column), 0);
    EXPECT_EQ(CountRows(empty, core::kGaugeDarkGreen, column), inner);
    const Picture full = core::DrawCPUGauge(100.5, size);
    EXPECT_EQ(CountRows(full, core::kGaugeBrightGreen, column), inner);
    const Picture half = core::DrawCPUGauge(50.5, size);
    EXPECT_NEAR(CountRows(half, core::kGaugeBrightGreen, column), (inner + 2 * thickness) / 2.0,
                1.0);

    // Each row of the taller bar is a level of its own.
    EXPECT_EQ(ExpectLevelsMatchLooks(size), static_cast<std::size_t>(inner + 1));

    // The picture before the first tick: the same box, a sliver lit at the bottom.
    const Picture initial = core::InitialCPUGauge(size);
    EXPECT_EQ(initial.At(left, middle), core::kGaugeGrey);
    EXPECT_NEAR(CountRows(initial, core::kGaugeBrightGreen, column), size / 8.0, 1.0);
}

INSTANTIATE_TEST_SUITE_P(TrayIconSizes, GaugeAtSize, ::testing::Values(20, 24, 32, 40, 48));

TEST(GaugeAtSize, RefusesSizesItCannotBeDrawnAt) {
    EXPECT_THROW(core::DrawCPUGauge(50, 4), std::invalid_argument);
    EXPECT_THROW(core::InitialCPUGauge(0), std::invalid_argument);
    EXPECT_THROW(core::GaugeLevel(50, 1000), std::invalid_argument);
}

TEST(RoundHalfEven, HalvesGoToTheEvenNeighbour) {
    EXPECT_EQ(core::RoundHalfEven(6.5), 6);
    EXPECT_EQ(core::RoundHalfEven(7.5), 8);
    EXPECT_EQ(core::RoundHalfEven(6.565), 7);
    EXPECT_EQ(core::RoundHalfEven(13.065), 13);
    EXPECT_EQ(core::RoundHalfEven(2.4999), 2);
    EXPECT_EQ(core::RoundHalfEven(-0.5), 0);
    EXPECT_EQ(core::RoundHalfEven(-1.5), -2);
    EXPECT_EQ(core::RoundHalfEven(-2.6), -3);
}

TEST(InitialGauge, IsTheSunkenBoxWithTwoLitRows) {
    const std::vector<std::string> colours = {
        "WWWWWWWWWWWWWWWW", "WWGGGGGGGGGGGWWW", "WWGdddddddddWWWW", "WWGdddddddddWWWW",
        "WWGdddddddddWWWW", "WWGdddddddddWWWW", "WWGdddddddddWWWW", "WWGdddddddddWWWW",
        "WWGdddddddddWWWW", "WWGdddddddddWWWW", "WWGdddddddddWWWW", "WWGdddddddddWWWW",
        "WWGBBBBBBBBBWWWW", "WWGBBBBBBBBBWWWW", "WWWWWWWWWWWWWWWW", "WWWWWWWWWWWWWWWW",
    };
    const std::vector<std::string> mask = {
        "................", "..###########...", "..###########...", "..###########...",
        "..###########...", "..###########...", "..###########...", "..###########...",
        "..###########...", "..###########...", "..###########...", "..###########...",
        "..###########...", "..###########...", "..###########...", "................",
    };
    const Picture expected = FromArt(colours, mask);
    const Picture drawn = core::InitialCPUGauge();
    EXPECT_EQ(drawn, expected) << "drawn:\n" << ToArt(drawn) << "expected:\n" << ToArt(expected);
}

TEST(ScaleNearest, DoublesEveryPixelIntoASharpBlock) {
    const Picture small = core::DrawCPUGauge(50.5);
    const Picture big = core::ScaleNearest(small, 32);
    ASSERT_EQ(big.Size(), 32);
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            ASSERT_EQ(big.At(x, y), small.At(x / 2, y / 2)) << x << "," << y;
            ASSERT_EQ(big.Transparent(x, y), small.Transparent(x / 2, y / 2)) << x << "," << y;
        }
    }
}

TEST(ScaleNearest, OddFactorsRepeatWholeSourcePixelsOnly) {
    // 24 px (150 %): source pixels are repeated once or twice, never blended.
    const Picture small = core::DrawCPUGauge(100.5);
    const Picture big = core::ScaleNearest(small, 24);
    EXPECT_EQ(big.At(0, 0), small.At(0, 0));
    EXPECT_EQ(big.At(23, 23), small.At(15, 15));
    EXPECT_TRUE(big.Transparent(0, 0));
    // Source column 2 (the grey left edge) lands on scaled columns 3 and 4 (x * 16 / 24 == 2).
    EXPECT_EQ(big.At(3, 10), core::kGaugeGrey);
    EXPECT_EQ(big.At(4, 10), core::kGaugeGrey);
    EXPECT_EQ(big.At(5, 10), core::kGaugeBrightGreen);
    EXPECT_EQ(big, core::ScaleNearest(small, 24));
    EXPECT_EQ(core::ScaleNearest(small, 16), small);
}

}  // namespace
}  // namespace quenvix
