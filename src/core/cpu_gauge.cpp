#include "core/cpu_gauge.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <utility>

namespace quenvix::core {

CpuUsageSampler::CpuUsageSampler(CpuCounters& counters, std::function<void()> pumpMessages)
    : counters_(counters), pumpMessages_(std::move(pumpMessages)) {}

bool CpuUsageSampler::GetCPUUsage(double& load) {
    load = 0.0;
    const std::optional<unsigned> processors = counters_.ProcessorCount();
    // A count of 0 is no reading at all: it would divide by zero below.
    if (!processors || *processors == 0) return false;
    const std::optional<std::int64_t> systemNow = counters_.SystemTime();
    if (!systemNow) return false;
    const std::optional<std::int64_t> idleNow = counters_.IdleTime();
    if (!idleNow) return false;

    if (havePrevious_) {
        const double idleDelta = static_cast<double>(*idleNow) - static_cast<double>(prevIdleTime_);
        const double timeDelta =
            static_cast<double>(*systemNow) - static_cast<double>(prevSystemTime_);
        if (!(timeDelta > 0.0)) {
            // No time has passed, or the clock was set back: there is no interval to measure.
            // Start a fresh one from here and leave the picture as it is.
            prevIdleTime_ = *idleNow;
            prevSystemTime_ = *systemNow;
            return false;
        }
        const double idleShare = idleDelta / timeDelta;
        load = 100.5 - idleShare * 100.0 / static_cast<double>(*processors);
    }
    const bool measured = havePrevious_;
    havePrevious_ = true;
    prevIdleTime_ = *idleNow;
    prevSystemTime_ = *systemNow;
    // Last, with the counters already stored: a handler that runs in here may sample again, or
    // even end the program, and finds nothing of this call half done.
    if (measured && pumpMessages_) pumpMessages_();
    return true;
}

// ---- Picture --------------------------------------------------------------------------------

Picture::Picture(int size, Rgb fill)
    : size_(size),
      pixels_(static_cast<std::size_t>(size) * static_cast<std::size_t>(size), fill),
      mask_(pixels_.size(), 0) {
    if (size <= 0) throw std::invalid_argument("picture size must be positive");
}

std::size_t Picture::Index(int x, int y) const {
    if (x < 0 || y < 0 || x >= size_ || y >= size_)
        throw std::out_of_range("pixel outside picture");
    return static_cast<std::size_t>(y) * static_cast<std::size_t>(size_) +
           static_cast<std::size_t>(x);
}

namespace {

// Clips a half-open rectangle to the picture and calls fn(x, y) for each pixel inside.
template <class Fn>
void ForEachPixel(int size, int left, int top, int right, int bottom, Fn&& fn) {
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min(right, size);
    bottom = std::min(bottom, size);
    for (int y = top; y < bottom; ++y) {
        for (int x = left; x < right; ++x) fn(x, y);
    }
}

}  // namespace

void Picture::FillColour(int left, int top, int right, int bottom, Rgb colour) {
    ForEachPixel(size_, left, top, right, bottom, [&](int x, int y) { Set(x, y, colour); });
}

void Picture::FillMask(int left, int top, int right, int bottom, bool transparent) {
    ForEachPixel(size_, left, top, right, bottom,
                 [&](int x, int y) { SetTransparent(x, y, transparent); });
}

void Picture::Line(int x0, int y0, int x1, int y1, Rgb colour) {
    if (x0 != x1 && y0 != y1) throw std::invalid_argument("only straight lines are drawn");
    const int dx = (x1 > x0) - (x1 < x0);
    const int dy = (y1 > y0) - (y1 < y0);
    for (int x = x0, y = y0; x != x1 || y != y1; x += dx, y += dy) {
        if (x >= 0 && y >= 0 && x < size_ && y < size_) Set(x, y, colour);
    }
}

// ---- the gauge ------------------------------------------------------------------------------

long long RoundHalfEven(double value) {
    const double floor = std::floor(value);
    const double diff = value - floor;
    double result = floor;
    if (diff > 0.5) {
        result = floor + 1.0;
    } else if (diff == 0.5) {
        result = std::fmod(floor, 2.0) == 0.0 ? floor : floor + 1.0;
    }
    return static_cast<long long>(result);
}

namespace {

// Edge of the gauge's frame: grey over the top and down the left, white along the bottom and
// up the right, as a sunken box. (right, bottom) is the frame's bottom-right pixel.
void DrawFrame(Picture& image, int left, int top, int right, int bottom) {
    image.Line(right, top, left, top, kGaugeGrey);
    image.Line(left, top, left, bottom, kGaugeGrey);
    image.Line(left, bottom, right, bottom, kGaugeWhite);
    image.Line(right, bottom, right, top, kGaugeWhite);
}

// A frame `thickness` pixels deep, its rings drawn from the outside in.
void DrawFrame(Picture& image, int left, int top, int right, int bottom, int thickness) {
    for (int i = 0; i < thickness; ++i) DrawFrame(image, left + i, top + i, right - i, bottom - i);
}

// A place on the 16-pixel design, at `size` pixels (exact at 16).
int At(int px16, int size) {
    return (px16 * size + kGaugeSize / 2) / kGaugeSize;
}

// How thick the frame's lines are at `size`: one pixel up to 31, two from 32 on.
int FrameThickness(int size) {
    return std::max(1, size / kGaugeSize);
}

// The gauge's geometry at a size, from the 16-pixel design: the opaque area is the full square
// shrunk by 2, its top moved up by one.
struct Bar {
    int left, top, right, bottom, thickness;
    explicit Bar(int size)
        : left(At(2, size)),
          top(At(1, size)),
          right(At(14, size)),
          bottom(At(14, size)),
          thickness(FrameThickness(size)) {}
    int Height() const { return bottom - top; }
};

// How many rows of the bar a load fills, counted up from the frame's bottom edge.
int FilledRows(double load, int height) {
    // NaN and absurd loads (a counter that jumped) must not overflow the integer maths.
    const double scaled = std::isnan(load) ? 0.0 : std::clamp(height * load / 100, -1e6, 1e6);
    // Beyond a full bar or below an empty one the drawing no longer changes.
    return static_cast<int>(std::clamp<long long>(RoundHalfEven(scaled), -1, height));
}

void CheckSize(int size) {
    if (size < kGaugeSize / 2 || size > 16 * kGaugeSize) {
        throw std::invalid_argument("gauge size out of range");
    }
}

}  // namespace

int GaugeLevel(double load, int size) {
    CheckSize(size);
    const Bar bar(size);
    // The frame covers the bar's bottom rows and the rows inside its top edge: the bar shows from
    // one row filled up to all the rows between them.
    return std::clamp(FilledRows(load, bar.Height()), 0, bar.Height() - 2 * bar.thickness);
}

Picture DrawCPUGauge(double load, int size) {
    CheckSize(size);
    const Bar bar(size);
    Picture picture(size);
    picture.FillMask(0, 0, size, size, true);
    picture.FillMask(bar.left, bar.top, bar.right, bar.bottom, false);

    const int filled = FilledRows(load, bar.Height());
    // The bar's top is measured from the frame's bottom edge, so a full bar also paints the rows
    // of the top edge and above the opaque area, where the frame and the mask hide it.
    const int barTop = bar.bottom - bar.thickness - filled;
    picture.FillColour(bar.left, bar.top, bar.right, bar.bottom, kGaugeDarkGreen);
    picture.FillColour(bar.left, barTop, bar.right, bar.bottom, kGaugeBrightGreen);

    DrawFrame(picture, bar.left, bar.top, bar.right - 1, bar.bottom - 1, bar.thickness);
    return picture;
}

Picture InitialCPUGauge(int size) {
    CheckSize(size);
    Picture picture(size);
    picture.FillMask(0, 0, size, size, true);
    // Last column and row, inclusive; at 16 pixels columns 2 to 12 and rows 1 to 14.
    const int left = At(2, size), top = At(1, size);
    const int right = At(13, size) - 1, bottom = At(15, size) - 1;
    const int thickness = FrameThickness(size);
    picture.FillMask(left, top, right + 1, bottom + 1, false);
    picture.FillColour(left, top, right + 1, bottom + 1, kGaugeDarkGreen);
    // A sliver of load: two rows' worth of the 16-pixel design above the bottom edge.
    picture.FillColour(left, bottom + 1 - thickness - At(2, size), right + 1, bottom + 1,
                       kGaugeBrightGreen);
    DrawFrame(picture, left, top, right, bottom, thickness);
    return picture;
}

Picture ScaleNearest(const Picture& picture, int size) {
    Picture scaled(size);
    const int from = picture.Size();
    for (int y = 0; y < size; ++y) {
        const int sy = y * from / size;
        for (int x = 0; x < size; ++x) {
            const int sx = x * from / size;
            scaled.Set(x, y, picture.At(sx, sy));
            scaled.SetTransparent(x, y, picture.Transparent(sx, sy));
        }
    }
    return scaled;
}

}  // namespace quenvix::core
