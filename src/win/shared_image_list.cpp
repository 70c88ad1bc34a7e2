#include "win/shared_image_list.h"

namespace quenvix::win {

SharedImageList::SharedImageList(int width, int height) : width_(width), height_(height) {}

SharedImageList::~SharedImageList() = default;

SharedImageList::Image SharedImageList::Copied(HBITMAP image, HBITMAP mask) {
    // A DIB section stays one, so the colour keeps its alpha; the mask stays monochrome.
    Image copy{UniqueBitmap(
                   static_cast<HBITMAP>(CopyImage(image, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION))),
               UniqueBitmap(static_cast<HBITMAP>(CopyImage(mask, IMAGE_BITMAP, 0, 0, 0)))};
    if (!copy.color || !copy.mask) return {};
    return copy;
}

int SharedImageList::Add(HBITMAP image, HBITMAP mask) {
    Image copy = Copied(image, mask);
    if (!copy.color) return -1;
    std::lock_guard lock(mutex_);
    images_.push_back(std::move(copy));
    Changed();
    return static_cast<int>(images_.size()) - 1;
}

bool SharedImageList::Replace(int index, HBITMAP image, HBITMAP mask) {
    Image copy = Copied(image, mask);
    if (!copy.color) return false;
    std::lock_guard lock(mutex_);
    if (index < 0 || index >= static_cast<int>(images_.size())) return false;
    images_[static_cast<std::size_t>(index)] = std::move(copy);
    Changed();
    return true;
}

int SharedImageList::Count() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(images_.size());
}

std::uint64_t SharedImageList::Generation() const {
    std::lock_guard lock(mutex_);
    return generation_;
}

UniqueIcon SharedImageList::GetIcon(int index, std::uint64_t* generation) const {
    std::lock_guard lock(mutex_);
    if (generation) *generation = generation_;
    if (index < 0 || index >= static_cast<int>(images_.size())) return nullptr;
    const Image& picture = images_[static_cast<std::size_t>(index)];
    // The icon gets bitmaps of its own: the list may replace these at any time.
    ICONINFO info{TRUE, 0, 0, picture.mask.get(), picture.color.get()};
    return UniqueIcon(CreateIconIndirect(&info));
}

int SharedImageList::Watch(std::function<void()> onChange) {
    std::lock_guard lock(mutex_);
    watchers_.emplace(nextTicket_, std::move(onChange));
    return nextTicket_++;
}

void SharedImageList::Unwatch(int ticket) {
    std::lock_guard lock(mutex_);
    watchers_.erase(ticket);
}

void SharedImageList::Changed() {
    ++generation_;
    for (const auto& [ticket, onChange] : watchers_) onChange();
}

}  // namespace quenvix::win
