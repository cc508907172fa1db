// Entries with their comment lines, placed as the options file documents itself.
#include <gtest/gtest.h>

#include "common/IniText.h"

using namespace zq;

TEST(IniText, EntriesWithFollowingLinesGoInOrderAndReplaceAnEmptyKey) {
    std::vector<std::string> lines;
    ASSERT_TRUE(IniSet(lines, "Global", "sicherungskopie", "b", {"; eins", "; zwei = drei; ", ""}));
    ASSERT_TRUE(IniSet(lines, "GLOBAL", "logdatei", "a", {"; vier", ""}));
    EXPECT_EQ(IniJoin(lines), "[Global]\r\nsicherungskopie=b\r\n; eins\r\n; zwei = drei; \r\n\r\n"
                              "logdatei=a\r\n; vier\r\n\r\n");
    EXPECT_EQ(IniLookup(lines, "global", "Sicherungskopie"), "b");
    EXPECT_EQ(IniLookup(lines, "Global", "; zwei"), std::nullopt);  // comment lines hold no keys

    // An empty value is rewritten in place, its comment lines written after it once more.
    lines = IniLines("[Global]\r\nlogdatei=\r\n; vier\r\n");
    ASSERT_TRUE(IniSet(lines, "Global", "logdatei", "a", {"; vier", ""}));
    EXPECT_EQ(IniJoin(lines), "[Global]\r\nlogdatei=a\r\n; vier\r\n\r\n; vier\r\n");

    // Nothing that would add a line through a value or a name.
    EXPECT_FALSE(IniSet(lines, "Global", "warten", "1\r\nx=2"));
    EXPECT_FALSE(IniSet(lines, "Global", "warten", "1", {"; a\nb=c"}));
    EXPECT_FALSE(IniSet(lines, "Glo]bal", "warten", "1"));
    EXPECT_FALSE(IniSet(lines, "Global", "war=ten", "1"));
    EXPECT_EQ(IniJoin(lines), "[Global]\r\nlogdatei=a\r\n; vier\r\n\r\n; vier\r\n");
}

TEST(IniText, EncodingIsTakenFromTheBytes) {
    EXPECT_EQ(DetectIniEncoding("[S]\r\nk=v\r\n", IniEncoding::Ansi), IniEncoding::Ansi);
    EXPECT_EQ(DetectIniEncoding("[S]\r\nk=v\r\n", IniEncoding::Utf8), IniEncoding::Utf8);
    EXPECT_EQ(DetectIniEncoding("\xEF\xBB\xBF[S]", IniEncoding::Ansi), IniEncoding::Utf8Bom);
    EXPECT_EQ(DetectIniEncoding("k=B\xC3\xBCro", IniEncoding::Ansi), IniEncoding::Utf8);
    EXPECT_EQ(DetectIniEncoding("k=B\xFCro", IniEncoding::Utf8), IniEncoding::Ansi);
    EXPECT_EQ(DecodeIni("k=B\xFCro", IniEncoding::Ansi), "k=Büro");
    EXPECT_EQ(EncodeIni("k=Büro", IniEncoding::Ansi), "k=B\xFCro");
    EXPECT_EQ(EncodeIni("k=Büro", IniEncoding::Utf8Bom), "\xEF\xBB\xBFk=Büro");
    EXPECT_EQ(DecodeIni("\xEF\xBB\xBFk=Büro", IniEncoding::Utf8Bom), "k=Büro");
}
