#pragma once
// An image list shared between threads: whoever draws puts pictures into it (the CPU gauge does so
// on the tray icon's own thread), and the tray icon's thread hands them to the shell. Every access
// is serialised, and each change of the pictures bumps a generation count, so a reader can tell
// "nothing new" cheaply. The pictures are ready-made icons, shared rather than copied: under Wine
// each copy of an icon or bitmap costs a quarter to a third of a millisecond, and the gauge
// changes its picture often. Not a common-controls image list either: the tray icon is all an
// idle program shows, and it should not need that library loaded.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <type_traits>
#include <vector>

#include "win/ui.h"

namespace quenvix::win {

// An icon held by whoever uses it (the list, a cache of pictures, the tray thread while the shell
// reads it), destroyed with its last holder. Nobody changes an icon once made.
using SharedIcon = std::shared_ptr<std::remove_pointer_t<HICON>>;

// An icon of a colour bitmap and a mask, which it copies; null when it cannot be made.
SharedIcon MakeSharedIcon(HBITMAP image, HBITMAP mask);

class SharedImageList {
  public:
    // Masked 32-bit images of width x height pixels.
    SharedImageList(int width, int height);
    ~SharedImageList();
    SharedImageList(const SharedImageList&) = delete;
    SharedImageList& operator=(const SharedImageList&) = delete;

    int Width() const noexcept { return width_; }
    int Height() const noexcept { return height_; }

    // Appends an image; the new index, or -1 for no icon.
    int Add(SharedIcon icon);
    // Replaces image `index`; the new picture is in the list when this returns.
    bool Replace(int index, SharedIcon icon);
    int Count() const;
    std::uint64_t Generation() const;

    // The icon of image `index` (null when there is no such image), and the generation that the
    // picture belongs to.
    SharedIcon Icon(int index, std::uint64_t* generation = nullptr) const;

    // `onChange` runs after every change of the pictures, on the changing thread and under the
    // list's lock (so it must not use the list): a reader can sleep until there is something new.
    // Returns the ticket for Unwatch; after Unwatch returns the callback is never running.
    int Watch(std::function<void()> onChange);
    void Unwatch(int ticket);

  private:
    mutable std::mutex mutex_;
    std::vector<SharedIcon> images_;
    int width_;
    int height_;
    std::uint64_t generation_ = 0;
    std::map<int, std::function<void()>> watchers_;
    int nextTicket_ = 0;

    void Changed();
};

}  // namespace quenvix::win
