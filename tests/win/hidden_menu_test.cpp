// The tray menu's hidden-window entries in a real menu.
#include "win/hidden_menu.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "win/desktop.h"

namespace quenvix::win {
namespace {

constexpr UINT kRestoreAllId = 10;
constexpr UINT kPanicId = 11;
constexpr UINT kFirstEntryId = 1000;

// The tray menu's fixed items, down to the separator after which the entries go.
UniqueMenu TrayMenu() {
    UniqueMenu menu(CreatePopupMenu());
    AppendMenuW(menu.get(), MF_STRING, 1, L"Show settings");
    AppendMenuW(menu.get(), MF_STRING, kRestoreAllId, L"Restore all");
    AppendMenuW(menu.get(), MF_STRING, kPanicId, L"Panic!");
    AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
    return menu;
}
constexpr int kFixedItems = 4;

std::vector<std::wstring> EntryTexts(HMENU menu) {
    std::vector<std::wstring> out;
    for (int i = kFixedItems; i < GetMenuItemCount(menu); ++i) {
        wchar_t buffer[128] = {};
        GetMenuStringW(menu, static_cast<UINT>(i), buffer, 128, MF_BYPOSITION);
        out.emplace_back(buffer);
    }
    return out;
}

// Every entry's text in the order a reader meets them, groups opened; a group's own text is
// given before its entries, in brackets.
std::vector<std::wstring> Listed(HMENU menu, int from = kFixedItems) {
    std::vector<std::wstring> out;
    for (int i = from; i < GetMenuItemCount(menu); ++i) {
        wchar_t buffer[128] = {};
        GetMenuStringW(menu, static_cast<UINT>(i), buffer, 128, MF_BYPOSITION);
        if (const HMENU group = GetSubMenu(menu, i)) {
            out.push_back(L"[" + std::wstring(buffer) + L"]");
            for (auto& text : Listed(group, 0)) out.push_back(std::move(text));
        } else {
            out.emplace_back(buffer);
        }
    }
    return out;
}

std::vector<std::wstring> Names(int first, int last) {
    std::vector<std::wstring> out;
    for (int i = first; i <= last; ++i) out.push_back(std::to_wstring(i));
    return out;
}

std::vector<std::wstring> operator+(std::vector<std::wstring> a,
                                    const std::vector<std::wstring>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

HBITMAP ItemBitmap(HMENU menu, int position) {
    MENUITEMINFOW item{};
    item.cbSize = sizeof item;
    item.fMask = MIIM_BITMAP;
    GetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &item);
    return item.hbmpItem;
}

std::unique_ptr<core::HiddenWindow> Record(const std::string& caption, HWND iconOf = nullptr) {
    auto info = std::make_unique<core::HiddenWindow>();
    info->Caption = caption;
    info->Picture = WindowBitmap::OfWindow(iconOf);
    return info;
}

TEST(HiddenMenu, EntriesFollowTheFixedItemsEachWithItsOwnPicture) {
    auto menu = TrayMenu();
    HiddenMenu entries(menu.get(), kFirstEntryId, 100);
    auto a = Record("Tom & Jerry");
    auto b = Record("Tab\there");
    auto c = Record("Привет 中文");
    entries.Append(*a, a->Caption);
    entries.Append(*b, b->Caption);
    entries.Append(*c, c->Caption);

    // "&" shows as itself, a tab does not split the item.
    EXPECT_EQ(EntryTexts(menu.get()),
              (std::vector<std::wstring>{L"Tom && Jerry", L"Tab here", L"Привет 中文"}));
    const HBITMAP picture = ItemBitmap(menu.get(), kFixedItems);
    ASSERT_NE(picture, nullptr);
    EXPECT_NE(picture, static_cast<WindowBitmap*>(a->Picture.get())->Get());  // a copy
    EXPECT_EQ(GetObjectType(picture), static_cast<DWORD>(OBJ_BITMAP));

    EXPECT_EQ(entries.RecordFor(kFirstEntryId), a.get());
    EXPECT_EQ(entries.RecordFor(kFirstEntryId + 1), b.get());
    EXPECT_EQ(entries.RecordFor(kFirstEntryId + 50), nullptr);
    EXPECT_TRUE(entries.OwnsId(kFirstEntryId + 99));
    EXPECT_FALSE(entries.OwnsId(kFirstEntryId + 100));
    EXPECT_FALSE(entries.OwnsId(kRestoreAllId));

    // A new caption comes with the window's picture of now; the one the item held is freed.
    a->Picture = WindowBitmap::OfWindow(nullptr);
    entries.Redescribe(*a, "Tom");
    EXPECT_EQ(EntryTexts(menu.get()).front(), L"Tom");
    const HBITMAP newPicture = ItemBitmap(menu.get(), kFixedItems);
    EXPECT_NE(newPicture, picture);
    EXPECT_EQ(GetObjectType(newPicture), static_cast<DWORD>(OBJ_BITMAP));
    EXPECT_EQ(GetObjectType(picture), 0u);

    // Removing the middle keeps the others in order and frees the entry's picture.
    const HBITMAP middlePicture = ItemBitmap(menu.get(), kFixedItems + 1);
    entries.Remove(*b);
    EXPECT_EQ(EntryTexts(menu.get()), (std::vector<std::wstring>{L"Tom", L"Привет 中文"}));
    EXPECT_EQ(GetObjectType(middlePicture), 0u);

    entries.Clear();
    EXPECT_EQ(GetMenuItemCount(menu.get()), kFixedItems);
    EXPECT_EQ(GetObjectType(newPicture), 0u);
}

TEST(HiddenMenu, RebuildingDoesNotGrowTheMenuAndIdsRunOutQuietly) {
    auto menu = TrayMenu();
    HiddenMenu entries(menu.get(), kFirstEntryId, 2);
    auto a = Record("a");
    auto b = Record("b");
    auto c = Record("c");
    for (int round = 0; round < 50; ++round) {
        entries.Clear();
        entries.Append(*a, "a");
        entries.Append(*b, "b");
    }
    EXPECT_EQ(GetMenuItemCount(menu.get()), kFixedItems + 2);
    entries.Append(*c, "c");  // no id left: no entry
    EXPECT_EQ(entries.Count(), 2u);
    entries.Remove(*a);
    entries.Append(*c, "c");  // a's id is free again
    EXPECT_EQ(entries.RecordFor(kFirstEntryId), c.get());
    EXPECT_EQ(EntryTexts(menu.get()), (std::vector<std::wstring>{L"b", L"c"}));
}

TEST(HiddenMenu, AnEntryOfADestroyedMenuStillGivesBackItsPictureAndItsId) {
    auto menu = TrayMenu();
    HiddenMenu entries(menu.get(), kFirstEntryId, 10);
    auto a = Record("a");
    entries.Append(*a, "a");
    const HBITMAP picture = ItemBitmap(menu.get(), kFixedItems);
    ASSERT_EQ(GetObjectType(picture), static_cast<DWORD>(OBJ_BITMAP));
    // The menu goes first (the program's end destroys the window that owns it).
    menu.reset();
    entries.Remove(*a);
    EXPECT_EQ(entries.Count(), 0u);
    EXPECT_EQ(entries.RecordFor(kFirstEntryId), nullptr);
    EXPECT_EQ(GetObjectType(picture), 0u);
}

TEST(HiddenMenu, ThousandsOfEntriesKeepTheirOwnIds) {
    auto menu = TrayMenu();
    constexpr UINT kCount = 3000;
    HiddenMenu entries(menu.get(), kFirstEntryId, kCount);
    std::vector<std::unique_ptr<core::HiddenWindow>> records;
    for (UINT i = 0; i < kCount; ++i) {
        records.push_back(Record(std::to_string(i)));
        entries.Append(*records.back(), records.back()->Caption);
    }
    // Every other one goes; the ids given back are given out again, each to one entry only.
    for (UINT i = 0; i < kCount; i += 2) entries.Remove(*records[i]);
    for (UINT i = 0; i < kCount; i += 2) entries.Append(*records[i], records[i]->Caption);
    EXPECT_EQ(entries.Count(), kCount);
    std::vector<const core::HiddenWindow*> seen;
    for (UINT id = kFirstEntryId; id < kFirstEntryId + kCount; ++id) {
        seen.push_back(entries.RecordFor(id));
        ASSERT_NE(seen.back(), nullptr) << id;
    }
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(std::unique(seen.begin(), seen.end()), seen.end());
    const std::vector<std::wstring> listed = Listed(menu.get());
    EXPECT_EQ(std::count_if(listed.begin(), listed.end(),
                            [](const std::wstring& text) { return text.front() != L'['; }),
              static_cast<std::ptrdiff_t>(kCount));
}

TEST(HiddenMenu, OlderEntriesGoIntoGroupsInListOrderAndComeBackAsTheNewestGo) {
    auto menu = TrayMenu();
    HiddenMenu entries(menu.get(), kFirstEntryId, 1000);
    std::vector<std::unique_ptr<core::HiddenWindow>> records;
    for (int i = 0; i < 100; ++i) {
        records.push_back(Record(std::to_string(i)));
        entries.Append(*records.back(), records.back()->Caption);
    }
    // The newest twenty stand in the menu itself, the keyboard's last item the newest of all.
    EXPECT_EQ(Listed(menu.get()), std::vector<std::wstring>{L"[Windows 1\u201340]"} + Names(0, 39) +
                                      std::vector<std::wstring>{L"[Windows 41\u201380]"} +
                                      Names(40, 79) + Names(80, 99));
    EXPECT_EQ(GetMenuItemCount(menu.get()), kFixedItems + 2 + 20);
    const HMENU firstGroup = GetSubMenu(menu.get(), kFixedItems);
    ASSERT_NE(firstGroup, nullptr);
    EXPECT_EQ(GetMenuItemID(firstGroup, 0), kFirstEntryId);  // a chosen entry gives its own id
    EXPECT_NE(ItemBitmap(firstGroup, 0), nullptr);

    // One of the newest goes: the newest of the groups takes its place.
    entries.Remove(*records[99]);
    EXPECT_EQ(Listed(menu.get()), std::vector<std::wstring>{L"[Windows 1\u201340]"} + Names(0, 39) +
                                      std::vector<std::wstring>{L"[Windows 41\u201379]"} +
                                      Names(40, 78) + Names(79, 98));
    // A group that empties goes with its submenu, and the places are counted anew.
    for (int i = 0; i < 40; ++i) entries.Remove(*records[static_cast<std::size_t>(i)]);
    EXPECT_FALSE(IsMenu(firstGroup));
    EXPECT_EQ(Listed(menu.get()),
              std::vector<std::wstring>{L"[Windows 1\u201339]"} + Names(40, 78) + Names(79, 98));
    // Taken from the newest end, the groups empty into the menu itself.
    for (int i = 98; i >= 60; --i) entries.Remove(*records[static_cast<std::size_t>(i)]);
    EXPECT_EQ(Listed(menu.get()), Names(40, 59));
    EXPECT_EQ(GetMenuItemCount(menu.get()), kFixedItems + 20);
    entries.Append(*records[0], "0");
    entries.Clear();
    EXPECT_EQ(GetMenuItemCount(menu.get()), kFixedItems);
}

}  // namespace
}  // namespace quenvix::win
