#include "win/shared_image_list.h"

#include "core/error.h"

namespace quenvix::win {

SharedImageList::SharedImageList(int width, int height) : width_(width), height_(height) {
    list_ = ImageList_Create(width, height, ILC_COLOR32 | ILC_MASK, 1, 1);
    if (!list_) throw core::Error("Failed to create an image list");
}

SharedImageList::~SharedImageList() {
    ImageList_Destroy(list_);
}

int SharedImageList::Add(HBITMAP image, HBITMAP mask) {
    std::lock_guard lock(mutex_);
    const int index = ImageList_Add(list_, image, mask);
    if (index >= 0) Changed();
    return index;
}

bool SharedImageList::Replace(int index, HBITMAP image, HBITMAP mask) {
    std::lock_guard lock(mutex_);
    if (!ImageList_Replace(list_, index, image, mask)) return false;
    Changed();
    return true;
}

int SharedImageList::Count() const {
    std::lock_guard lock(mutex_);
    return ImageList_GetImageCount(list_);
}

std::uint64_t SharedImageList::Generation() const {
    std::lock_guard lock(mutex_);
    return generation_;
}

UniqueIcon SharedImageList::GetIcon(int index, std::uint64_t* generation) const {
    std::lock_guard lock(mutex_);
    if (generation) *generation = generation_;
    if (index < 0 || index >= ImageList_GetImageCount(list_)) return nullptr;
    return UniqueIcon(ImageList_GetIcon(list_, index, ILD_TRANSPARENT));
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
