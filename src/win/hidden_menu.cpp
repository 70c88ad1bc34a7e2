#include "win/hidden_menu.h"

#include <algorithm>

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

UINT HiddenMenu::FreeId() const {
    for (UINT offset = 0; offset < idCount_; ++offset) {
        const UINT id = firstId_ + offset;
        if (std::none_of(entries_.begin(), entries_.end(),
                         [&](const Entry& e) { return e.id == id; })) {
            return id;
        }
    }
    return 0;
}

const core::HiddenWindow* HiddenMenu::RecordFor(UINT id) const noexcept {
    for (const auto& e : entries_) {
        if (e.id == id) return e.info;
    }
    return nullptr;
}

void HiddenMenu::Append(const core::HiddenWindow& info, const std::string& text) {
    // With every id taken the window goes without an entry; "Restore all" and the exit still
    // bring it back.
    const UINT id = FreeId();
    if (id == 0) return;
    Entry entry{id, &info, CopyOf(info)};
    const std::wstring caption = MenuText(text);
    MENUITEMINFOW item{};
    item.cbSize = sizeof item;
    item.fMask = MIIM_ID | MIIM_STRING | MIIM_FTYPE | (entry.bitmap ? MIIM_BITMAP : 0);
    item.fType = MFT_STRING;
    item.wID = id;
    item.dwTypeData = const_cast<wchar_t*>(caption.c_str());
    item.hbmpItem = entry.bitmap.get();
    if (!InsertMenuItemW(menu_, GetMenuItemCount(menu_), TRUE, &item)) return;
    entries_.push_back(std::move(entry));
}

void HiddenMenu::DeleteItem(const Entry& entry) noexcept {
    // The item goes before its bitmap, so the menu never draws a freed one.
    if (IsMenu(menu_)) DeleteMenu(menu_, entry.id, MF_BYCOMMAND);
}

void HiddenMenu::Remove(const core::HiddenWindow& info) {
    const auto it = std::find_if(entries_.begin(), entries_.end(),
                                 [&](const Entry& e) { return e.info == &info; });
    if (it == entries_.end()) return;
    DeleteItem(*it);
    entries_.erase(it);
}

void HiddenMenu::Clear() {
    for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) DeleteItem(*it);
    entries_.clear();
}

}  // namespace quenvix::win
