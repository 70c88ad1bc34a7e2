#include "win/hidden_menu.h"

#include "win/desktop.h"

namespace quenvix::win {
namespace {

UniqueBitmap CopyOf(const core::HiddenWindow& info) {
    const auto* picture = dynamic_cast<const WindowBitmap*>(info.Picture.get());
    if (!picture || !picture->Get()) return {};
    return UniqueBitmap(
        static_cast<HBITMAP>(CopyImage(picture->Get(), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
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
    UniqueBitmap bitmap = CopyOf(info);
    const std::wstring caption = MenuText(text);
    MENUITEMINFOW item{};
    item.cbSize = sizeof item;
    item.fMask = MIIM_ID | MIIM_STRING | MIIM_FTYPE | (bitmap ? MIIM_BITMAP : 0);
    item.fType = MFT_STRING;
    item.wID = id;
    item.dwTypeData = const_cast<wchar_t*>(caption.c_str());
    item.hbmpItem = bitmap.get();
    if (!InsertMenuItemW(menu_, GetMenuItemCount(menu_), TRUE, &item)) {
        freeIds_.push_back(id);
        return;
    }
    slots_[id - firstId_] = Entry{&info, std::move(bitmap)};
    idOf_[&info] = id;
}

void HiddenMenu::DeleteItem(UINT id) noexcept {
    // The item goes before its bitmap, so the menu never draws a freed one.
    if (IsMenu(menu_)) DeleteMenu(menu_, id, MF_BYCOMMAND);
    slots_[id - firstId_] = Entry{};
}

void HiddenMenu::Remove(const core::HiddenWindow& info) {
    const auto it = idOf_.find(&info);
    if (it == idOf_.end()) return;
    DeleteItem(it->second);
    freeIds_.push_back(it->second);
    idOf_.erase(it);
}

void HiddenMenu::Clear() {
    for (UINT offset = static_cast<UINT>(slots_.size()); offset-- > 0;) {
        if (slots_[offset].info) DeleteItem(firstId_ + offset);
    }
    // Every id is free again, given out from the first once more.
    slots_.clear();
    freeIds_.clear();
    idOf_.clear();
}

}  // namespace quenvix::win
