#include "win/shared_image_list.h"

namespace quenvix::win {

SharedIcon MakeSharedIcon(HBITMAP image, HBITMAP mask) {
    ICONINFO info{TRUE, 0, 0, mask, image};
    HICON icon = CreateIconIndirect(&info);
    if (!icon) return nullptr;
    return SharedIcon(icon, [](HICON held) { DestroyIcon(held); });
}

SharedImageList::SharedImageList(int width, int height) : width_(width), height_(height) {}

SharedImageList::~SharedImageList() = default;

int SharedImageList::Add(SharedIcon icon) {
    if (!icon) return -1;
    std::lock_guard lock(mutex_);
    images_.push_back(std::move(icon));
    Changed();
    return static_cast<int>(images_.size()) - 1;
}

bool SharedImageList::Replace(int index, SharedIcon icon) {
    if (!icon) return false;
    std::lock_guard lock(mutex_);
    if (index < 0 || index >= static_cast<int>(images_.size())) return false;
    images_[static_cast<std::size_t>(index)] = std::move(icon);
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

SharedIcon SharedImageList::Icon(int index, std::uint64_t* generation) const {
    std::lock_guard lock(mutex_);
    if (generation) *generation = generation_;
    if (index < 0 || index >= static_cast<int>(images_.size())) return nullptr;
    return images_[static_cast<std::size_t>(index)];
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
