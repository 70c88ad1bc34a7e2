#pragma once
// An image list that the user-interface thread and the tray icon's thread both use: the one
// draws pictures into it, the other makes icons from it. Every access is serialised, and each
// change of the pictures bumps a generation count, so a reader can tell "nothing new" cheaply.
// Plain GDI bitmaps rather than a common-controls image list: the tray icon is all an idle
// program shows, and it should not need that library loaded.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

#include "win/ui.h"

namespace quenvix::win {

class SharedImageList {
  public:
    // Masked 32-bit images of width x height pixels.
    SharedImageList(int width, int height);
    ~SharedImageList();
    SharedImageList(const SharedImageList&) = delete;
    SharedImageList& operator=(const SharedImageList&) = delete;

    int Width() const noexcept { return width_; }
    int Height() const noexcept { return height_; }

    // Appends an image (the bitmaps are copied); the new index, or -1.
    int Add(HBITMAP image, HBITMAP mask);
    // Replaces image `index`; the new picture is in the list when this returns.
    bool Replace(int index, HBITMAP image, HBITMAP mask);
    int Count() const;
    std::uint64_t Generation() const;

    // A new icon of image `index` (null when there is no such image), and the generation that
    // the picture belongs to.
    UniqueIcon GetIcon(int index, std::uint64_t* generation = nullptr) const;

    // `onChange` runs after every change of the pictures, on the changing thread and under the
    // list's lock (so it must not use the list): a reader can sleep until there is something new.
    // Returns the ticket for Unwatch; after Unwatch returns the callback is never running.
    int Watch(std::function<void()> onChange);
    void Unwatch(int ticket);

  private:
    struct Image {
        UniqueBitmap color;
        UniqueBitmap mask;
    };

    mutable std::mutex mutex_;
    std::vector<Image> images_;
    int width_;
    int height_;
    std::uint64_t generation_ = 0;
    std::map<int, std::function<void()>> watchers_;
    int nextTicket_ = 0;

    void Changed();
    // Copies of the caller's bitmaps; empty when either cannot be copied.
    static Image Copied(HBITMAP image, HBITMAP mask);
};

}  // namespace quenvix::win
