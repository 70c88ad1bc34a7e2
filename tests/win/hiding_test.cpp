// The tray menu's hidden-window entries in a real menu, and the main window's hiding operations
// over a scripted desktop.
#include "win/hiding.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "core/product.h"
#include "core/settings_store.h"
#include "fakes/fake_desktop.h"
#include "fakes/memory_registry.h"
#include "win/desktop.h"
#include "win/hidden_menu.h"

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

    // Removing the middle keeps the others in order and frees the entry's picture.
    const HBITMAP middlePicture = ItemBitmap(menu.get(), kFixedItems + 1);
    entries.Remove(*b);
    EXPECT_EQ(EntryTexts(menu.get()), (std::vector<std::wstring>{L"Tom && Jerry", L"Привет 中文"}));
    EXPECT_EQ(GetObjectType(middlePicture), 0u);

    entries.Clear();
    EXPECT_EQ(GetMenuItemCount(menu.get()), kFixedItems);
    EXPECT_EQ(GetObjectType(picture), 0u);
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

TEST(HiddenMenu, LeavesADestroyedMenuAlone) {
    auto menu = TrayMenu();
    auto entries = std::make_unique<HiddenMenu>(menu.get(), kFirstEntryId, 10);
    auto a = Record("a");
    entries->Append(*a, "a");
    menu.reset();
    EXPECT_NO_THROW(entries->Remove(*a));
    EXPECT_NO_THROW(entries.reset());
}

class HidingTest : public ::testing::Test {
  protected:
    HidingTest() {
        for (core::WindowId w = 0x40; w < 0x43; ++w) {
            test::FakeWindow win;
            win.caption = "Window " + std::to_string(w - 0x40);
            desktop.Add(w, win);
        }
    }
    bool RestoreAllEnabled() {
        return !(GetMenuState(menu.get(), kRestoreAllId, MF_BYCOMMAND) & MF_GRAYED);
    }

    test::FakeDesktop desktop;
    test::MemoryRegistry registry;
    core::SettingsStore store{registry, core::kSettingsKeyPath};
    UniqueMenu menu = TrayMenu();
    Hiding hiding{desktop, store, menu.get(), nullptr, nullptr, kFirstEntryId, 100};
};

TEST_F(HidingTest, RestoreAllIsEnabledOnlyWhileSomethingIsHidden) {
    hiding.RefreshTrayMenu(kRestoreAllId);
    EXPECT_FALSE(RestoreAllEnabled());
    EXPECT_EQ(GetMenuState(menu.get(), kPanicId, MF_BYCOMMAND) & MF_GRAYED, 0u);

    hiding.HideAllWindows();
    hiding.RefreshTrayMenu(kRestoreAllId);
    EXPECT_TRUE(RestoreAllEnabled());
    EXPECT_EQ(EntryTexts(menu.get()),
              (std::vector<std::wstring>{L"Window 0", L"Window 1", L"Window 2"}));

    // All three came back by themselves: gone from the menu at its next opening.
    for (core::WindowId w = 0x40; w < 0x43; ++w) desktop.ShowByProgram(w);
    hiding.RefreshTrayMenu(kRestoreAllId);
    EXPECT_FALSE(RestoreAllEnabled());
    EXPECT_EQ(GetMenuItemCount(menu.get()), kFixedItems);
}

TEST_F(HidingTest, ChoosingAnEntryRestoresThatWindowOnly) {
    hiding.Panic();
    hiding.RefreshTrayMenu(kRestoreAllId);
    EXPECT_FALSE(hiding.OnMenuCommand(kPanicId));
    EXPECT_TRUE(hiding.OnMenuCommand(kFirstEntryId + 1));
    EXPECT_TRUE(desktop.IsVisible(0x41));
    EXPECT_FALSE(desktop.IsVisible(0x40));
    EXPECT_EQ(EntryTexts(menu.get()), (std::vector<std::wstring>{L"Window 0", L"Window 2"}));
    // The same id again (a stale click) is ours but changes nothing.
    EXPECT_TRUE(hiding.OnMenuCommand(kFirstEntryId + 1));
    EXPECT_EQ(hiding.HiddenCount(), 2u);
}

TEST_F(HidingTest, ARefusedHideIsToldOnceNamingTheProgramAndLeavesNoEntry) {
    std::vector<std::wstring> notices;
    hiding.SetRefusalNotice([&](const std::wstring& text) { notices.push_back(text); });
    desktop.At(0x41).elevated = true;
    hiding.Panic();
    hiding.Panic();
    hiding.RefreshTrayMenu(kRestoreAllId);
    EXPECT_EQ(notices,
              std::vector<std::wstring>{
                  L"Windows did not let Quenvix hide Window 1: it runs as administrator."});
    EXPECT_EQ(EntryTexts(menu.get()), (std::vector<std::wstring>{L"Window 0", L"Window 2"}));
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
    EXPECT_EQ(GetMenuItemCount(menu.get()), static_cast<int>(kFixedItems + kCount));
}

TEST_F(HidingTest, RestoreAllRunsPendingMessagesBetweenWindows) {
    hiding.HideAllWindows();
    // A message waiting in the queue that hides one more window when it runs.
    test::FakeWindow late;
    late.caption = "Late";
    desktop.Add(0x50, late);
    desktop.SetForeground(0x50);
    static Hiding* target = nullptr;
    target = &hiding;
    const UINT_PTR timer = SetTimer(nullptr, 0, 1, [](HWND, UINT, UINT_PTR id, DWORD) {
        KillTimer(nullptr, id);
        target->HideActiveWindow();
    });
    ASSERT_NE(timer, 0u);
    Sleep(20);  // the timer is due before the run starts

    hiding.RestoreAll();

    EXPECT_EQ(hiding.HiddenCount(), 0u);
    EXPECT_EQ(GetMenuItemCount(menu.get()), kFixedItems);
    for (core::WindowId w : {0x40, 0x41, 0x42, 0x50}) EXPECT_TRUE(desktop.IsVisible(w)) << w;
    // The late window was hidden by the message (after the others, which went bottom first) and
    // brought back by the same run.
    EXPECT_EQ(desktop.HiddenOrder(), (std::vector<core::WindowId>{0x42, 0x41, 0x40, 0x50}));
    EXPECT_EQ(desktop.CallsFor(0x50).back(), test::AsyncCall(0x50, core::ShowCommand::Show));
}

TEST_F(HidingTest, ExitLeavesEverythingShownAndTheRecoveryRecordEmpty) {
    hiding.HideAllWindows();
    hiding.RestoreAllOnExit();
    for (core::WindowId w = 0x40; w < 0x43; ++w) EXPECT_TRUE(desktop.IsVisible(w));
    EXPECT_EQ(registry.GetString("Software\\Tarmel\\Quenvix\\Hidden", "Windows"), "");

    // And a restart after a crash takes back what was left hidden.
    desktop.At(0x42).visible = false;
    registry.PutString("Software\\Tarmel\\Quenvix\\Hidden", "Windows",
                       "66 100 1000 200 0 Window 2\n");
    hiding.AdoptRecovered();
    hiding.RefreshTrayMenu(kRestoreAllId);
    EXPECT_EQ(EntryTexts(menu.get()), std::vector<std::wstring>{L"Window 2"});
}

}  // namespace
}  // namespace quenvix::win
