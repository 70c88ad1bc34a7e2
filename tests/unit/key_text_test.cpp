#include "core/key_text.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "core/key_chord.h"
#include "fakes/key_set.h"

namespace quenvix::core {
namespace {

using test::KeySet;

std::string TextOf(std::initializer_list<std::uint16_t> down) {
    KeySet keys;
    keys.Press(down);
    return GetKeyText(keys);
}

TEST(AddKeyName, PutsTheNewNameInFront) {
    std::string text;
    AddKeyName(text, "");
    EXPECT_EQ(text, "");
    AddKeyName(text, "A");
    EXPECT_EQ(text, "A");
    AddKeyName(text, "");
    EXPECT_EQ(text, "A");
    AddKeyName(text, "+ Num");
    EXPECT_EQ(text, "+ Num+A");
    AddKeyName(text, "CTRL");
    EXPECT_EQ(text, "CTRL++ Num+A");
}

TEST(GetKeyText, NothingOrOnlyUnnamedKeysGiveTheEmptyText) {
    EXPECT_EQ(TextOf({}), "");
    EXPECT_EQ(TextOf({vk::kSpace, vk::kLWin, vk::kRWin, vk::kApps, vk::kReturn, vk::kTab,
                      vk::kCapital, vk::kBack, vk::kSeparator}),
              "");
    // Keys past F13 and the side-specific modifier codes are not examined at all.
    EXPECT_EQ(TextOf({vk::kF14, vk::kLShift, vk::kRControl, 0xFF}), "");
}

TEST(GetKeyText, ModifiersLeadInTheOrderCtrlAltShift) {
    EXPECT_EQ(TextOf({vk::kControl}), "CTRL");
    EXPECT_EQ(TextOf({vk::kShift, vk::kMenu, vk::kControl}), "CTRL+ALT+SHIFT");
    EXPECT_EQ(TextOf({vk::kMenu, vk::kShift}), "ALT+SHIFT");
}

TEST(GetKeyText, BuiltInHotkeysAndKeypadNames) {
    EXPECT_EQ(TextOf({vk::kControl, vk::kMultiply}), "CTRL+* Num");
    EXPECT_EQ(TextOf({vk::kControl, vk::kDivide}), "CTRL+/ Num");
    // The keypad plus holds the separator character itself.
    EXPECT_EQ(TextOf({vk::kControl, vk::kAdd}), "CTRL++ Num");
    EXPECT_EQ(TextOf({'5'}), "5");
    EXPECT_EQ(TextOf({vk::kNumpad0 + 5}), "5 Num");
}

TEST(GetKeyText, NamedKeysThenLettersThenDigitsEachDescending) {
    EXPECT_EQ(TextOf({'1', 'A', vk::kF1 + 1, vk::kShift}), "SHIFT+F2+A+1");
    EXPECT_EQ(TextOf({'A', '1', vk::kF1 + 4, vk::kShift, vk::kControl}), "CTRL+SHIFT+F5+A+1");
    EXPECT_EQ(TextOf({vk::kControl, 'A', 'B'}), "CTRL+B+A");
    EXPECT_EQ(TextOf({'0', '9', 'Z', 'A'}), "Z+A+9+0");
    EXPECT_EQ(TextOf({vk::kEscape, vk::kF1 + 11, vk::kDelete, vk::kNumpad0, vk::kPrior}),
              "F12+0 Num+DELETE+PGUP+ESC");
    // An unnamed key held with a chord changes nothing.
    EXPECT_EQ(TextOf({vk::kControl, vk::kMultiply, vk::kSpace}), "CTRL+* Num");
}

TEST(GetKeyText, EveryNamedKeyAloneGivesItsName) {
    std::vector<std::pair<std::uint16_t, std::string>> expected = {
        {0x1B, "ESC"},    {0x21, "PGUP"},   {0x22, "PGDN"},  {0x23, "END"},   {0x24, "HOME"},
        {0x25, "LEFT"},   {0x26, "UP"},     {0x27, "RIGHT"}, {0x28, "DOWN"},  {0x2C, "PRSCR"},
        {0x2D, "INSERT"}, {0x2E, "DELETE"}, {0x6A, "* Num"}, {0x6B, "+ Num"}, {0x6D, "- Num"},
        {0x6E, ". Num"},  {0x6F, "/ Num"},  {0x10, "SHIFT"}, {0x11, "CTRL"},  {0x12, "ALT"},
        {0x7C, "|"},
    };
    for (int i = 0; i < 10; ++i) {
        expected.emplace_back(0x30 + i, std::string(1, static_cast<char>('0' + i)));
        expected.emplace_back(0x60 + i, std::string(1, static_cast<char>('0' + i)) + " Num");
    }
    for (int i = 0; i < 26; ++i) {
        expected.emplace_back(0x41 + i, std::string(1, static_cast<char>('A' + i)));
    }
    for (int i = 0; i < 12; ++i) expected.emplace_back(0x70 + i, "F" + std::to_string(i + 1));

    std::size_t named = 0;
    for (std::uint16_t code = 0; code < 256; ++code) {
        KeySet keys;
        keys.Press({code});
        std::string want;
        for (const auto& [c, name] : expected) {
            if (c == code) want = name;
        }
        named += !want.empty();
        EXPECT_EQ(GetKeyText(keys), want) << "code " << code;
    }
    EXPECT_EQ(named, expected.size());
}

TEST(GetKeyText, FunctionKeyThirteenIsNamedByItsCharacter) {
    EXPECT_EQ(TextOf({vk::kControl, vk::kF13}), "CTRL+|");
    EXPECT_EQ(TextOf({vk::kF13, vk::kF1 + 11, 'Q'}), "|+F12+Q");
}

TEST(GetKeyText, ManyKeysAtOnceKeepTheFixedOrder) {
    KeySet keys;
    keys.Press({'A', 'Z', '0', '9', vk::kEscape, vk::kF13, vk::kNumpad0 + 9, vk::kLeft, vk::kShift,
                vk::kMenu, vk::kControl, vk::kSpace});
    EXPECT_EQ(GetKeyText(keys), "CTRL+ALT+SHIFT+|+9 Num+LEFT+ESC+Z+A+9+0");
    // Each build starts from nothing.
    keys.Release({'A', 'Z', vk::kF13});
    EXPECT_EQ(GetKeyText(keys), "CTRL+ALT+SHIFT+9 Num+LEFT+ESC+9+0");
}

TEST(ChordOfKeyText, EveryOneKeyChordComesBackFromItsTextAndNothingElseIsAChord) {
    int chords = 0;
    for (std::uint16_t key = 1; key < 256; ++key) {
        if (key == vk::kShift || key == vk::kControl || key == vk::kMenu) continue;
        for (int mods = 0; mods < 8; ++mods) {
            KeySet keys;
            if (mods & 1) keys.Press({vk::kControl});
            if (mods & 2) keys.Press({vk::kMenu});
            if (mods & 4) keys.Press({vk::kShift});
            const std::string modifiersOnly = GetKeyText(keys);
            keys.Press({key});
            const std::string text = GetKeyText(keys);
            // A key without a name (or a left/right modifier) makes no chord.
            if (text == modifiersOnly) continue;
            const auto chord = ChordOfKeyText(text);
            ASSERT_TRUE(chord) << text;
            EXPECT_EQ(*chord, (KeyChord{(mods & 1) != 0, (mods & 2) != 0, (mods & 4) != 0, key}))
                << text;
            ++chords;
        }
    }
    EXPECT_EQ(chords, 8 * 76);  // 10 digits, 26 letters, 40 named keys

    EXPECT_EQ(ChordOfKeyText("CTRL+SHIFT+/ Num"), (KeyChord{true, false, true, vk::kDivide}));
    for (const char* text : {"", "CTRL", "CTRL+SHIFT", "CTRL+B+A", "ctrl+a", "CTRL+* Num ",
                             "SHIFT+CTRL+A", "CTRL++ Num+"}) {
        EXPECT_EQ(ChordOfKeyText(text), std::nullopt) << text;
    }
}

}  // namespace
}  // namespace quenvix::core
