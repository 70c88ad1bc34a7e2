#pragma once
// The processor-load gauge of the tray icon: sampling the system's processor-time counters into a
// load figure, and drawing that figure as a small vertical bar with a mask.
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "core/ports/cpu_counters.h"

namespace quenvix::core {

// Turns successive counter readings into the load of the interval between them.
class CpuUsageSampler {
  public:
    // `pumpMessages` lets pending user-interface messages run once a load has been computed, so a
    // slow query never holds up the interface for a whole tick; it may be empty.
    explicit CpuUsageSampler(CpuCounters& counters, std::function<void()> pumpMessages = {});

    // True when all three readings succeeded and the interval was usable; `load` is then the
    // percentage 100.5 - idle share x 100 / processors (not clamped), or 0.0 for the very first
    // reading, which only records the counters. On false the gauge keeps its last picture: a
    // failed reading leaves the stored counters alone, so the next good one spans both intervals.
    bool GetCPUUsage(double& load);

  private:
    CpuCounters& counters_;
    std::function<void()> pumpMessages_;
    bool havePrevious_ = false;
    std::int64_t prevIdleTime_ = 0;
    std::int64_t prevSystemTime_ = 0;
};

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

inline constexpr Rgb kGaugeGrey{128, 128, 128};
inline constexpr Rgb kGaugeWhite{255, 255, 255};
inline constexpr Rgb kGaugeBlack{0, 0, 0};
inline constexpr Rgb kGaugeDarkGreen{0, 128, 0};
inline constexpr Rgb kGaugeBrightGreen{0, 255, 0};

// A square masked picture: a colour per pixel and a mask bit (true = transparent).
class Picture {
  public:
    // All pixels `fill`, all opaque.
    explicit Picture(int size, Rgb fill = kGaugeWhite);

    int Size() const noexcept { return size_; }
    Rgb At(int x, int y) const { return pixels_[Index(x, y)]; }
    bool Transparent(int x, int y) const { return mask_[Index(x, y)] != 0; }
    void Set(int x, int y, Rgb colour) { pixels_[Index(x, y)] = colour; }
    void SetTransparent(int x, int y, bool transparent) {
        mask_[Index(x, y)] = transparent ? 1 : 0;
    }

    // Rectangles have their right and bottom edges excluded and are clipped to the picture.
    void FillColour(int left, int top, int right, int bottom, Rgb colour);
    void FillMask(int left, int top, int right, int bottom, bool transparent);
    // A horizontal or vertical line from one point to another; the end point is not drawn.
    void Line(int x0, int y0, int x1, int y1, Rgb colour);

    friend bool operator==(const Picture&, const Picture&) = default;

  private:
    std::size_t Index(int x, int y) const;

    int size_;
    std::vector<Rgb> pixels_;
    std::vector<std::uint8_t> mask_;
};

inline constexpr int kGaugeSize = 16;

// Rounds to the nearest whole number, a half going to the even neighbour.
long long RoundHalfEven(double value);

// The gauge is designed at 16 x 16 pixels and drawn at the size of the tray's icons (20 at 120
// DPI, 24 at 144, 32 at 192): each of its edges keeps its place in the square, the frame is one
// pixel thick up to 31 pixels and thicker from 32 on, and the bar has as many rows as the size
// gives it. Sizes from 8 to 256 pixels; others throw std::invalid_argument.

// What the gauge for a load (percent) looks like at `size`, as one number: two loads look the
// same in the tray exactly when they have the same level, so a tick can tell "nothing new"
// without drawing.
int GaugeLevel(double load, int size = kGaugeSize);

// The gauge for a load (percent). Pixels outside the opaque area keep the blank bitmap's white;
// the mask hides them.
Picture DrawCPUGauge(double load, int size = kGaugeSize);

// The picture the gauge shows before the first tick has drawn anything.
Picture InitialCPUGauge(int size = kGaugeSize);

// `picture` enlarged (or reduced) to `size` by nearest neighbour, so the bars stay sharp.
Picture ScaleNearest(const Picture& picture, int size);

}  // namespace quenvix::core
