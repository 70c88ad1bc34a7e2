#include "core/hotkey_settings.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/error.h"
#include "core/key_text.h"
#include "core/product.h"
#include "core/settings_store.h"
#include "fakes/key_set.h"
#include "fakes/manual_timer.h"
#include "fakes/memory_registry.h"

namespace quenvix::core {
namespace {

using ::testing::ElementsAre;

constexpr const char* kShortKeyPath = "Software\\Tarmel\\Quenvix\\Short key";

void Unexpected(const std::string& message) {
    ADD_FAILURE() << "unexpected report: " << message;
}

class HotkeySettingsTest : public ::testing::Test {
  protected:
    HotkeySettingsTest() { SetDefaultKeys(peek); }

    std::vector<std::string> Keys() const {
        std::vector<std::string> out;
        for (std::size_t i = 0; i < peek.Hotkeys().Count(); ++i)
            out.push_back(peek.Hotkeys().Item(i).Key);
        return out;
    }

    test::KeySet keys;
    test::ManualTimers clock;
    HotkeyDetector peek{keys, clock};
    test::MemoryRegistry backend;
    SettingsStore registry{backend, kSettingsKeyPath};
};

TEST_F(HotkeySettingsTest, DefaultsReplaceWhateverWasRegistered) {
    peek.Hotkeys().Item(0).Key = "ALT+Q";
    peek.AddHotkey("Extra", "Extra", "F5");
    SetDefaultKeys(peek);
    ASSERT_EQ(peek.Hotkeys().Count(), 4u);
    const Hotkey& hideThis = peek.Hotkeys().Item(0);
    EXPECT_EQ(hideThis.Name, "HideThis");
    EXPECT_EQ(hideThis.Description, "To hide the active program");
    EXPECT_EQ(hideThis.DefaultKey, "CTRL+* Num");
    EXPECT_EQ(hideThis.Key, "CTRL+* Num");
    const Hotkey& hideAll = peek.Hotkeys().Item(1);
    EXPECT_EQ(hideAll.Name, "HideAll");
    EXPECT_EQ(hideAll.Description, "To hide all programs");
    EXPECT_EQ(hideAll.Key, "CTRL+/ Num");
    EXPECT_EQ(peek.Hotkeys().Item(2).Name, "RestoreLast");
    EXPECT_EQ(peek.Hotkeys().Item(2).Description, "To restore the last hidden program");
    EXPECT_EQ(peek.Hotkeys().Item(3).Name, "ShowList");
    EXPECT_EQ(peek.Hotkeys().Item(3).Description, "To show the list of hidden programs");
}

TEST_F(HotkeySettingsTest, EachDefaultIsTheTextOfItsKeysAndFiresItsOwnCommand) {
    std::vector<Command> fired;
    peek.StartDetect([&](std::uint16_t index) {
        if (const auto command = CommandOfHotkey(index)) fired.push_back(*command);
    });
    const auto press = [&](std::initializer_list<std::uint16_t> chord, std::size_t hotkey) {
        keys.Hold(chord);
        EXPECT_EQ(GetKeyText(keys), peek.Hotkeys().Item(hotkey).DefaultKey);
        clock.Advance(100);
        keys.Hold({});
        clock.Advance(100);
    };
    press({vk::kControl, vk::kMultiply}, 0);
    press({vk::kControl, vk::kDivide}, 1);
    press({vk::kControl, vk::kShift, vk::kMultiply}, 2);
    press({vk::kControl, vk::kShift, vk::kDivide}, 3);
    EXPECT_THAT(fired, ElementsAre(Command::HideActiveWindow, Command::HideAllWindows,
                                   Command::RestoreLastHidden, Command::ShowHiddenList));
}

TEST_F(HotkeySettingsTest, AnEmptyStoredTextSwitchesTheHotkeyOff) {
    backend.PutString(kShortKeyPath, "RestoreLast", "");
    LoadHotkeys(peek, registry, Unexpected);
    EXPECT_EQ(peek.Hotkeys().Item(2).Key, "");
    std::vector<std::uint16_t> fired;
    peek.StartDetect([&](std::uint16_t index) { fired.push_back(index); });
    keys.Hold({vk::kControl, vk::kShift, vk::kMultiply});
    clock.Advance(100);
    keys.Hold({});
    clock.Advance(100);
    EXPECT_TRUE(fired.empty());
}

TEST_F(HotkeySettingsTest, LoadingAnEmptyStoreKeepsTheCurrentTextsAndWritesNothing) {
    peek.Hotkeys().Item(1).Key = "ALT+F9";  // "current", not necessarily the default
    LoadHotkeys(peek, registry, Unexpected);
    EXPECT_THAT(Keys(),
                ElementsAre("CTRL+* Num", "ALT+F9", "CTRL+SHIFT+* Num", "CTRL+SHIFT+/ Num"));
    EXPECT_FALSE(backend.HasValue(kShortKeyPath, "HideThis"));
    EXPECT_FALSE(backend.HasValue(kShortKeyPath, "HideAll"));
}

TEST_F(HotkeySettingsTest, StoredTextsAreTakenUnchanged) {
    backend.PutString(kShortKeyPath, "HideAll", "ctrl + a");
    LoadHotkeys(peek, registry, Unexpected);
    EXPECT_THAT(Keys(),
                ElementsAre("CTRL+* Num", "ctrl + a", "CTRL+SHIFT+* Num", "CTRL+SHIFT+/ Num"));
    // The names do not change, so saving puts the texts back where they came from.
    EXPECT_EQ(peek.Hotkeys().Item(1).Name, "HideAll");
}

TEST_F(HotkeySettingsTest, SaveWritesEveryTextAndLoadReadsItBack) {
    peek.Hotkeys().Item(0).Key = "CTRL+A";
    SaveHotkeys(peek, registry);
    EXPECT_EQ(backend.GetString(kShortKeyPath, "HideThis"), "CTRL+A");
    EXPECT_EQ(backend.GetString(kShortKeyPath, "HideAll"), "CTRL+/ Num");

    HotkeyDetector other(keys, clock);
    SetDefaultKeys(other);
    LoadHotkeys(other, registry, Unexpected);
    EXPECT_EQ(other.Hotkeys().Item(0).Key, "CTRL+A");
    EXPECT_EQ(other.Hotkeys().Item(1).Key, "CTRL+/ Num");
}

TEST_F(HotkeySettingsTest, DamagedValuesAreReportedOneByOneAndFailedWritesReachTheCaller) {
    backend.PutRaw(kShortKeyPath, "HideThis", kRegDword, {1, 0, 0, 0});
    backend.PutRaw(kShortKeyPath, "ShowList", kRegBinary, {'F', '5'});
    backend.PutString(kShortKeyPath, "RestoreLast", "F6");
    std::vector<std::string> reported;
    LoadHotkeys(peek, registry, [&](const std::string& m) { reported.push_back(m); });
    EXPECT_THAT(reported, ElementsAre("Invalid data type for 'HideThis'",
                                      "Invalid data type for 'ShowList'"));
    // The damaged ones keep what they had; the others still load.
    EXPECT_THAT(Keys(), ElementsAre("CTRL+* Num", "CTRL+/ Num", "F6", "CTRL+SHIFT+/ Num"));
    backend.SetFailSet(true);
    try {
        SaveHotkeys(peek, registry);
        FAIL() << "no exception";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Failed to set data for 'HideThis'");
    }
}

TEST_F(HotkeySettingsTest, LoadedTextIsWhatDetectionFiresOn) {
    backend.PutString(kShortKeyPath, "HideThis", "CTRL+ALT+H");
    LoadHotkeys(peek, registry, Unexpected);
    std::vector<int> fired;
    peek.StartDetect([&](std::uint16_t index) { fired.push_back(index); });
    keys.Hold({vk::kControl, vk::kMultiply});
    clock.Advance(100);
    keys.Hold({});
    clock.Advance(100);
    keys.Hold({vk::kControl, vk::kMenu, 'H'});
    clock.Advance(100);
    EXPECT_THAT(fired, ElementsAre(0));
}

}  // namespace
}  // namespace quenvix::core
