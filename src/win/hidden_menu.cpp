#include "win/hidden_menu.h"

#include "win/desktop.h"

namespace quenvix::win {
namespace {

const WindowBitmap* PictureOf(const core::HiddenWindow& info) {
    return dynamic_cast<const WindowBitmap*>(info.Picture.get());
}

UniqueBitmap CopyOf(const core::HiddenWindow& info) {
    const WindowBitmap* picture = PictureOf(info);
    if (!picture || !picture->Get()) return {};
    return UniqueBitmap(
        static_cast<HBITMAP>(CopyImage(picture->Get(), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
}

unsigned VersionOf(const core::HiddenWindow& info) {
    const WindowBitmap* picture = PictureOf(info);
    return picture ? picture->Version() : 0;
}

}  // namespace

std::wstring MenuText(const std::string& text) {
    std::wstring out;
    for (wchar_t c : Widen(text)) {
        if (c == L'&') out += L'&';
        out += c == L'\t' ? L' ' : c;
    }
    return out;
}

HiddenMenu::HiddenMenu(HMENU menu, UINT firstId, UINT idCount)
    : menu_(menu), firstId_(firstId), idCount_(idCount) {}

HiddenMenu::~HiddenMenu() {
    Clear();
}

UINT HiddenMenu::TakeId() {
    if (!freeIds_.empty()) {
        const UINT id = freeIds_.back();
        freeIds_.pop_back();
        return id;
    }
    if (slots_.size() >= idCount_) return 0;
    slots_.emplace_back();
    return firstId_ + static_cast<UINT>(slots_.size() - 1);
}

const core::HiddenWindow* HiddenMenu::RecordFor(UINT id) const noexcept {
    return OwnsId(id) && id - firstId_ < slots_.size() ? slots_[id - firstId_].info : nullptr;
}

void HiddenMenu::Append(const core::HiddenWindow& info, const std::string& text) {
    // With every id taken the window goes without an entry; "Restore all" and the exit still
    // bring it back.
    const UINT id = TakeId();
    if (id == 0) return;
    Entry& entry = slots_[id - firstId_];
    entry = Entry{&info, CopyOf(info), VersionOf(info), MenuText(text), menu_};
    if (!InsertItem(menu_, static_cast<UINT>(GetMenuItemCount(menu_)), id)) {
        entry = Entry{};
        freeIds_.push_back(id);
        return;
    }
    idOf_[&info] = id;
    if (++newestInMenu_ > kNewestInMenu) MoveOldestIntoGroup();
}

bool HiddenMenu::InsertItem(HMENU into, UINT position, UINT id) noexcept {
    const Entry& entry = slots_[id - firstId_];
    MENUITEMINFOW item{};
    item.cbSize = sizeof item;
    item.fMask = MIIM_ID | MIIM_STRING | MIIM_FTYPE | (entry.bitmap ? MIIM_BITMAP : 0);
    item.fType = MFT_STRING;
    item.wID = id;
    item.dwTypeData = const_cast<wchar_t*>(entry.text.c_str());
    item.hbmpItem = entry.bitmap.get();
    return InsertMenuItemW(into, position, TRUE, &item) != FALSE;
}

UINT HiddenMenu::FirstNewestPosition() const noexcept {
    return static_cast<UINT>(GetMenuItemCount(menu_) - newestInMenu_);
}

void HiddenMenu::MoveOldestIntoGroup() noexcept {
    if (!MenuAlive()) return;
    if (groups_.empty() || groups_.back().count >= kGroupSize) {
        Group group{CreatePopupMenu(), 0};
        MENUITEMINFOW item{};
        item.cbSize = sizeof item;
        item.fMask = MIIM_SUBMENU | MIIM_STRING | MIIM_FTYPE;
        item.fType = MFT_STRING;
        item.hSubMenu = group.menu;
        item.dwTypeData = const_cast<wchar_t*>(L"");
        if (!group.menu || !InsertMenuItemW(menu_, FirstNewestPosition(), TRUE, &item)) {
            if (group.menu) DestroyMenu(group.menu);
            return;  // the entry stays in the menu itself
        }
        groups_.push_back(group);
    }
    Group& last = groups_.back();
    const UINT position = FirstNewestPosition();
    const UINT id = GetMenuItemID(menu_, static_cast<int>(position));
    if (!OwnsId(id) || !InsertItem(last.menu, static_cast<UINT>(last.count), id)) {
        // A group just made for this entry would stand empty: it goes with its submenu.
        if (last.count == 0 && position > 0) {
            DeleteMenu(menu_, position - 1, MF_BYPOSITION);
            groups_.pop_back();
        }
        return;
    }
    RemoveMenu(menu_, position, MF_BYPOSITION);
    slots_[id - firstId_].holder = last.menu;
    ++last.count;
    --newestInMenu_;
    NameGroups(groups_.size() - 1);
}

void HiddenMenu::MoveNewestOutOfGroup() noexcept {
    if (groups_.empty() || !MenuAlive()) return;
    Group& last = groups_.back();
    const UINT id = GetMenuItemID(last.menu, last.count - 1);
    if (!OwnsId(id) || !InsertItem(menu_, FirstNewestPosition(), id)) return;
    RemoveMenu(last.menu, static_cast<UINT>(last.count - 1), MF_BYPOSITION);
    slots_[id - firstId_].holder = menu_;
    ++newestInMenu_;
    LeftGroup(groups_.size() - 1);
}

void HiddenMenu::LeftGroup(std::size_t group) noexcept {
    if (--groups_[group].count == 0) {
        // Destroys the submenu with its item.
        const UINT position = FirstNewestPosition() - static_cast<UINT>(groups_.size() - group);
        DeleteMenu(menu_, position, MF_BYPOSITION);
        groups_.erase(groups_.begin() + static_cast<std::ptrdiff_t>(group));
    }
    NameGroups(group);
}

void HiddenMenu::NameGroups(std::size_t first) noexcept {
    int place = 1;
    for (std::size_t g = 0; g < first && g < groups_.size(); ++g) place += groups_[g].count;
    const UINT firstGroupPosition = FirstNewestPosition() - static_cast<UINT>(groups_.size());
    for (std::size_t g = first; g < groups_.size(); ++g) {
        const std::wstring text = L"Windows " + std::to_wstring(place) + L"\u2013" +
                                  std::to_wstring(place + groups_[g].count - 1);
        place += groups_[g].count;
        MENUITEMINFOW item{};
        item.cbSize = sizeof item;
        item.fMask = MIIM_STRING;
        item.dwTypeData = const_cast<wchar_t*>(text.c_str());
        SetMenuItemInfoW(menu_, firstGroupPosition + static_cast<UINT>(g), TRUE, &item);
    }
}

void HiddenMenu::DeleteItem(UINT id) noexcept {
    // The item goes before its bitmap, so the menu never draws a freed one. A destroyed menu
    // took its groups with it.
    Entry& entry = slots_[id - firstId_];
    if (MenuAlive()) DeleteMenu(entry.holder, id, MF_BYCOMMAND);
    entry = Entry{};
}

void HiddenMenu::Remove(const core::HiddenWindow& info) {
    const auto it = idOf_.find(&info);
    if (it == idOf_.end()) return;
    const HMENU holder = slots_[it->second - firstId_].holder;
    DeleteItem(it->second);
    freeIds_.push_back(it->second);
    idOf_.erase(it);
    if (holder == menu_) {
        // The newest of the groups takes the place, so the menu itself keeps its share.
        --newestInMenu_;
        MoveNewestOutOfGroup();
        return;
    }
    for (std::size_t g = 0; g < groups_.size(); ++g) {
        if (groups_[g].menu == holder) {
            if (MenuAlive()) {
                LeftGroup(g);
            } else {
                --groups_[g].count;
            }
            return;
        }
    }
}

void HiddenMenu::Redescribe(const core::HiddenWindow& info, const std::string& text) {
    const auto it = idOf_.find(&info);
    if (it == idOf_.end()) return;
    slots_[it->second - firstId_].text = MenuText(text);
    SetPicture(it->second, true);
}

void HiddenMenu::SetPicture(UINT id, bool withText) noexcept {
    Entry& entry = slots_[id - firstId_];
    UniqueBitmap bitmap = CopyOf(*entry.info);
    const unsigned version = VersionOf(*entry.info);
    if (!MenuAlive()) {
        entry.bitmap = std::move(bitmap);
        entry.pictureVersion = version;
        return;
    }
    MENUITEMINFOW item{};
    item.cbSize = sizeof item;
    item.fMask = MIIM_BITMAP | (withText ? MIIM_STRING : 0);
    item.dwTypeData = const_cast<wchar_t*>(entry.text.c_str());
    item.hbmpItem = bitmap.get();
    // The menu draws the bitmap it holds: the old one goes only once the item no longer does.
    if (SetMenuItemInfoW(entry.holder, id, FALSE, &item)) {
        entry.bitmap = std::move(bitmap);
        entry.pictureVersion = version;
    }
}

void HiddenMenu::UpdatePictures() noexcept {
    // One number compared per entry: cheap enough for every opening of the menu.
    for (const auto& [info, id] : idOf_) {
        if (VersionOf(*info) != slots_[id - firstId_].pictureVersion) SetPicture(id, false);
    }
}

void HiddenMenu::Clear() {
    for (UINT offset = static_cast<UINT>(slots_.size()); offset-- > 0;) {
        if (slots_[offset].info) DeleteItem(firstId_ + offset);
    }
    // The groups' own items are all that is left after the fixed ones.
    newestInMenu_ = 0;
    if (MenuAlive()) {
        const UINT firstGroupPosition = FirstNewestPosition() - static_cast<UINT>(groups_.size());
        for (std::size_t g = 0; g < groups_.size(); ++g) {
            DeleteMenu(menu_, firstGroupPosition, MF_BYPOSITION);
        }
    }
    groups_.clear();
    // Every id is free again, given out from the first once more.
    slots_.clear();
    freeIds_.clear();
    idOf_.clear();
}

}  // namespace quenvix::win
