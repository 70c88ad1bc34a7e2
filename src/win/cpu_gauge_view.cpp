#include "win/cpu_gauge_view.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/error.h"
#include "win/cpu_counters.h"

namespace quenvix::win {

UINT TaskbarDpi() {
    // The notification area's icons are drawn at the DPI of the taskbar's monitor; the taskbar is
    // aware of every monitor's DPI, so asking its window for it gives that monitor's.
    HWND taskbar = FindWindowW(L"Shell_TrayWnd", nullptr);
    return DpiOf(taskbar);
}

int TrayIconSize(UINT dpi) {
    // GetSystemMetricsForDpi (Windows 10 1607 on) answers for any DPI; GetSystemMetrics only at
    // the system's, from where the size is scaled
    // (learn.microsoft.com/windows/win32/api/winuser/nf-winuser-getsystemmetricsfordpi).
    using ForDpiFn = int(WINAPI*)(int, UINT);
    static const auto forDpi = reinterpret_cast<ForDpiFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetSystemMetricsForDpi")));
    int size = forDpi ? forDpi(SM_CXSMICON, dpi) : 0;
    if (size <= 0) {
        const int systemSize = GetSystemMetrics(SM_CXSMICON);
        size = systemSize > 0
                   ? MulDiv(systemSize, static_cast<int>(dpi), static_cast<int>(DpiOf(nullptr)))
                   : Scale(core::kGaugeSize, dpi);
    }
    // Within what the gauge can be drawn at.
    return std::clamp(size, core::kGaugeSize / 2, 16 * core::kGaugeSize);
}

PictureBitmaps MakePictureBitmaps(const core::Picture& source, int size) {
    // Drawn at its size already, as a rule; scaled only where it was not.
    const core::Picture picture = source.Size() == size ? source : core::ScaleNearest(source, size);

    std::uint32_t* pixels = nullptr;
    UniqueBitmap image = CreateTopDownBitmap(size, size, &pixels);
    if (!image) throw core::Error("Failed to create the gauge bitmap");

    // Monochrome rows are padded to 16 bits; a set bit is transparent.
    const int stride = (size + 15) / 16 * 2;
    std::vector<std::uint8_t> maskBits(static_cast<std::size_t>(stride) * size, 0);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const core::Rgb c = picture.At(x, y);
            std::uint32_t& pixel = pixels[y * size + x];
            if (picture.Transparent(x, y)) {
                // Black under the mask: an icon shows its colour where the mask is set.
                pixel = 0;
                maskBits[y * stride + x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
            } else {
                pixel = 0xFF000000u | (std::uint32_t{c.r} << 16) | (std::uint32_t{c.g} << 8) | c.b;
            }
        }
    }
    GdiFlush();
    UniqueBitmap mask(CreateBitmap(size, size, 1, 1, maskBits.data()));
    if (!mask) throw core::Error("Failed to create the gauge mask");
    return PictureBitmaps{std::move(image), std::move(mask)};
}

std::shared_ptr<SharedImageList> CreateCpuImageList(int size) {
    if (size <= 0) size = TrayIconSize(TaskbarDpi());
    auto list = std::make_shared<SharedImageList>(size, size);
    const PictureBitmaps bitmaps = MakePictureBitmaps(core::InitialCPUGauge(size), size);
    if (list->Add(MakeSharedIcon(bitmaps.image.get(), bitmaps.mask.get())) != 0) {
        throw core::Error("Failed to add the gauge picture");
    }
    return list;
}

CpuGaugeView::CpuGaugeView(std::shared_ptr<SharedImageList> gaugeImages,
                           core::CpuCounters& counters)
    : gaugeImages_(std::move(gaugeImages)),
      // Off the user-interface thread there is nothing to keep answering while the counters
      // are read.
      sampler_(counters) {}

CpuGaugeView::~CpuGaugeView() = default;

bool CpuGaugeView::Tick() {
    const std::lock_guard lock(tickMutex_);
    if (!IsWinNT()) return false;
    double load = 0.0;
    if (!sampler_.GetCPUUsage(load)) return true;

    lastLoad_ = load;
    // A picture equal to the one shown is neither drawn nor put in again: the tray's thread then
    // has nothing new and sleeps on.
    const int level = core::GaugeLevel(load, gaugeImages_->Width());
    if (shownLevel_ == level) return true;
    if (!gaugeImages_->Replace(0, LevelIcon(level, load))) {
        throw core::Error("Failed to replace the gauge picture");
    }
    shownLevel_ = level;
    return true;
}

const SharedIcon& CpuGaugeView::LevelIcon(int level, double load) {
    // An idle machine's load often hovers at the edge of two levels, and the picture then swaps
    // twice a second: each level is drawn and made into an icon once, and swapped in after that.
    SharedIcon& icon = levelIcons_[level];
    if (!icon) {
        const int size = gaugeImages_->Width();
        const PictureBitmaps bitmaps = MakePictureBitmaps(core::DrawCPUGauge(load, size), size);
        icon = MakeSharedIcon(bitmaps.image.get(), bitmaps.mask.get());
        if (!icon) throw core::Error("Failed to make the gauge picture");
    }
    return icon;
}

}  // namespace quenvix::win
