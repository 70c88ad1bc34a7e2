#pragma once
// The hidden-window entries at the end of the tray menu, after the separator: one item per
// hidden window, in list order, with the window's picture and the start of its caption. Each
// item owns its bitmap, so entries that go take their pictures with them.
//
// The newest entries stand in the menu itself; older ones move, in order, into submenus
// ("Windows 1–40") placed before them. A menu is measured and drawn whole each time it opens:
// under Wine a thousand pictured items take about a second, a few dozen a few milliseconds.
#include <windows.h>

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/hider.h"
#include "win/ui.h"

namespace quenvix::win {

class HiddenMenu : public core::HiddenEntries {
  public:
    static constexpr int kNewestInMenu = 20;
    static constexpr int kGroupSize = 40;

    // Entries are appended to the end of `menu` with command ids from [firstId, firstId + idCount).
    HiddenMenu(HMENU menu, UINT firstId, UINT idCount);
    ~HiddenMenu() override;
    HiddenMenu(const HiddenMenu&) = delete;
    HiddenMenu& operator=(const HiddenMenu&) = delete;

    void Append(const core::HiddenWindow& info, const std::string& text) override;
    void Remove(const core::HiddenWindow& info) override;
    void Clear() override;
    void Redescribe(const core::HiddenWindow& info, const std::string& text) override;
    // Every entry, in the menu or in a group, whose window's picture was drawn anew since its
    // copy was made (its program answered the icon query) shows the new one.
    void UpdatePictures() noexcept;

    // Whether `id` lies in the range reserved for entries.
    bool OwnsId(UINT id) const noexcept { return id >= firstId_ && id - firstId_ < idCount_; }
    // The record behind an entry's command id; null when no entry has it.
    const core::HiddenWindow* RecordFor(UINT id) const noexcept;
    std::size_t Count() const noexcept { return idOf_.size(); }

  private:
    struct Entry {
        const core::HiddenWindow* info = nullptr;  // null: the id is free
        UniqueBitmap bitmap;
        unsigned pictureVersion = 0;  // of the picture the bitmap is a copy of
        std::wstring text;
        HMENU holder = nullptr;  // menu_, or the submenu of the group it is in
    };
    // A submenu of older entries; the groups stand, oldest first, just before the newest
    // entries.
    struct Group {
        HMENU menu = nullptr;
        int count = 0;
    };
    // An unused id of the range, 0 when all are taken. Each is given out and taken back in
    // constant time: a list of thousands of windows must not make every hide slower.
    UINT TakeId();
    void DeleteItem(UINT id) noexcept;
    // The entry's bitmap made anew from its window's picture (and its text set again).
    void SetPicture(UINT id, bool withText) noexcept;
    bool InsertItem(HMENU into, UINT position, UINT id) noexcept;
    // The position in menu_ of the first entry that stands in it.
    UINT FirstNewestPosition() const noexcept;
    // The oldest entry of the menu itself goes into the last group, and back.
    void MoveOldestIntoGroup() noexcept;
    void MoveNewestOutOfGroup() noexcept;
    void LeftGroup(std::size_t group) noexcept;
    // The groups' texts, from `first` on, tell which places of the list each holds.
    void NameGroups(std::size_t first) noexcept;
    bool MenuAlive() const noexcept { return IsMenu(menu_) != FALSE; }

    HMENU menu_;
    UINT firstId_;
    UINT idCount_;
    std::vector<Entry> slots_;   // by id - firstId_, as far as ids were ever given out
    std::vector<UINT> freeIds_;  // ids given back, taken again before new ones
    std::unordered_map<const core::HiddenWindow*, UINT> idOf_;
    std::vector<Group> groups_;
    int newestInMenu_ = 0;  // entries that stand in menu_ itself
};

// Menu text for a caption: "&" would underline the next letter and a tab would split the item
// into columns.
std::wstring MenuText(const std::string& text);

}  // namespace quenvix::win
