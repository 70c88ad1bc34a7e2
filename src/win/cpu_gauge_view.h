#pragma once
// The CPU gauge on screen: each tick samples the processor load, draws the gauge and puts it into
// image 0 of the image list that the tray icon shows. The tray icon's own thread runs the ticks
// (TrayIcon::SetPictureUpdate), so the user-interface thread sleeps through them.
#include <map>
#include <memory>
#include <mutex>
#include <optional>

#include "core/cpu_gauge.h"
#include "win/shared_image_list.h"
#include "win/ui.h"

namespace quenvix::win {

// The DPI the notification area's icons are shown at: the taskbar's (the system's without one).
UINT TaskbarDpi();
// The notification area's icon size (the small-icon size) at `dpi`.
int TrayIconSize(UINT dpi);

// The gauge's image list (gaugeImages) at the tray's icon size, holding the picture shown
// before the first tick. `size` 0 takes TrayIconSize(TaskbarDpi()).
std::shared_ptr<SharedImageList> CreateCpuImageList(int size = 0);

// A picture as the colour and mask bitmaps an image list takes, scaled to `size` pixels.
struct PictureBitmaps {
    UniqueBitmap image;
    UniqueBitmap mask;
};
PictureBitmaps MakePictureBitmaps(const core::Picture& picture, int size);

class CpuGaugeView {
  public:
    // `counters` outlives the view; the views of successive icon sizes share it.
    CpuGaugeView(std::shared_ptr<SharedImageList> gaugeImages, core::CpuCounters& counters);
    ~CpuGaugeView();
    CpuGaugeView(const CpuGaugeView&) = delete;
    CpuGaugeView& operator=(const CpuGaugeView&) = delete;

    // One tick. False when the gauge cannot run on this system at all: the ticks should then
    // stop and the list keeps its initial picture. A failed sample only skips this tick's
    // drawing. Errors while drawing are thrown.
    bool Tick();

    // The load drawn by the last tick that drew one.
    std::optional<double> LastLoad() const noexcept { return lastLoad_; }

  private:
    const SharedIcon& LevelIcon(int level, double load);

    std::shared_ptr<SharedImageList> gaugeImages_;
    core::CpuUsageSampler sampler_;
    // The icon of each level shown so far, made when the level is first shown.
    std::map<int, SharedIcon> levelIcons_;
    std::optional<int> shownLevel_;
    std::optional<double> lastLoad_;
    // Ticks come from one thread at a time, except from an icon thread given up on at a stop
    // that the next icon's thread then overlaps: the sampler's counters must not be torn.
    std::mutex tickMutex_;
};

}  // namespace quenvix::win
