#include "core/text.h"

#include <gtest/gtest.h>

namespace quenvix::core {
namespace {

TEST(FirstCharacters, CutsByCodePointNeverInsideOne) {
    EXPECT_EQ(FirstCharacters("abc", 32), "abc");
    EXPECT_EQ(FirstCharacters("", 32), "");
    EXPECT_EQ(FirstCharacters(std::string(40, 'x'), 32), std::string(32, 'x'));
    // Cyrillic letters are two bytes each, CJK three, emoji four.
    EXPECT_EQ(FirstCharacters("Привет", 3), "При");
    EXPECT_EQ(FirstCharacters("中文字幕", 2), "中文");
    EXPECT_EQ(FirstCharacters("a\xF0\x9F\x98\x80"
                              "b",
                              2),
              "a\xF0\x9F\x98\x80");
    EXPECT_EQ(CharacterCount("a\xF0\x9F\x98\x80"
                             "b"),
              3u);
}

TEST(FirstCharacters, MalformedBytesCountAsOneEach) {
    // A truncated sequence at the end and a stray continuation byte.
    EXPECT_EQ(CharacterCount("\xE4\xB8"), 2u);
    EXPECT_EQ(FirstCharacters("\x80\x80z", 2), "\x80\x80");
    EXPECT_EQ(FirstCharacters("ab\xE4\xB8", 3), "ab\xE4");
}

TEST(AsciiLower, FoldsOnlyAsciiLetters) {
    EXPECT_EQ(AsciiLower("QuenVIX-1.2"), "quenvix-1.2");
    EXPECT_EQ(AsciiLower("\xC3\x84"), "\xC3\x84");
}

}  // namespace
}  // namespace quenvix::core
