// Cuts by characters and the code page of older settings files.
#include <gtest/gtest.h>

#include "common/Utf8.h"

using namespace zq;

TEST(Utf8, CutsNeverSplitACharacter) {
    const std::string umlauts = "\"C:\\Büro\\Größe\\zqdata.mdb\" /repair";  // ü, ö, ß: 2 bytes each
    EXPECT_EQ(LastChars(umlauts, 22), "ße\\zqdata.mdb\" /repair");
    EXPECT_EQ(LastChars("ääää", 3), "äää");
    EXPECT_EQ(FirstChars("ääää", 3), "äää");
    EXPECT_EQ(LastChars("abc", 255), "abc");
    EXPECT_EQ(FirstChars("€x", 1), "€");
    // A long command of umlauts: 255 characters, every one whole.
    std::string command;
    for (int i = 0; i < 300; ++i) command += "ä";
    const std::string cut = LastChars(command, 255);
    EXPECT_EQ(cut.size(), 510u);
    EXPECT_TRUE(IsValidUtf8(cut));
    // A stray byte counts as a character of its own and is kept as it is.
    EXPECT_EQ(LastChars(std::string("a\xE4" "b"), 2), std::string("\xE4" "b"));
    EXPECT_EQ(FirstChars(std::string("\xC3"), 5), std::string("\xC3"));
}

TEST(Utf8, ValidityAndTheAnsiCodePage) {
    EXPECT_TRUE(IsValidUtf8("Größe €"));
    EXPECT_FALSE(IsValidUtf8(std::string("Gr\xF6\xDF" "e")));
    EXPECT_FALSE(IsValidUtf8(std::string("\xED\xA0\x80")));  // a surrogate
    EXPECT_FALSE(IsValidUtf8(std::string("\xC0\xAF")));      // overlong
    const std::string ansi = "Gr\xF6\xDF" "e \x80 \x9D";
    EXPECT_EQ(Cp1252ToUtf8(ansi), "Größe € \xC2\x9D");
    EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(ansi)), ansi);
    EXPECT_EQ(Utf8ToCp1252("Ω"), "?");
}
