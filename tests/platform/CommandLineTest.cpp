// The Windows command-line rules: how quotes, backslashes and blanks turn into arguments.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Processes.h"

namespace {

using Args = std::vector<std::string>;

TEST(SplitCommandLine, BlanksSeparateAndQuotesGroup) {
    EXPECT_EQ(zq::SplitCommandLine("prog a  b\tc"), (Args{"prog", "a", "b", "c"}));
    EXPECT_EQ(zq::SplitCommandLine("   prog   a   "), (Args{"prog", "a"}));
    EXPECT_EQ(zq::SplitCommandLine("prog \"a b\" c"), (Args{"prog", "a b", "c"}));
    EXPECT_EQ(zq::SplitCommandLine("prog a\"b c\"d"), (Args{"prog", "ab cd"}));
    EXPECT_EQ(zq::SplitCommandLine(""), Args{});
    EXPECT_EQ(zq::SplitCommandLine("  \t "), Args{});
}

TEST(SplitCommandLine, AccessCommandLinesKeepTheirPaths) {
    EXPECT_EQ(zq::SplitCommandLine(
                  "\"C:\\Program Files\\Office16\\MSACCESS.EXE\" \"D:\\Daten X\\zqdata.mdb\" "
                  "/repair /compact"),
              (Args{"C:\\Program Files\\Office16\\MSACCESS.EXE", "D:\\Daten X\\zqdata.mdb",
                    "/repair", "/compact"}));
    EXPECT_EQ(zq::SplitCommandLine("\"/opt/a b/msaccess.exe\" /runtime  \"/p q/zqm.zqf\"  /x y"),
              (Args{"/opt/a b/msaccess.exe", "/runtime", "/p q/zqm.zqf", "/x", "y"}));
}

TEST(SplitCommandLine, BackslashesCountOnlyBeforeQuotes) {
    EXPECT_EQ(zq::SplitCommandLine("p a\\b c\\\\d"), (Args{"p", "a\\b", "c\\\\d"}));
    EXPECT_EQ(zq::SplitCommandLine("p a\\\"b"), (Args{"p", "a\"b"}));          // \"  -> "
    EXPECT_EQ(zq::SplitCommandLine("p a\\\\\"b c\""), (Args{"p", "a\\b c"}));  // \\" -> \ + quote
    EXPECT_EQ(zq::SplitCommandLine("p a\\\\\\\"b"), (Args{"p", "a\\\"b"}));    // \\\" -> \"
    EXPECT_EQ(zq::SplitCommandLine("p \"C:\\dir\\\\\" next"), (Args{"p", "C:\\dir\\", "next"}));
}

TEST(SplitCommandLine, EmptyArgumentsAndDoubledQuotes) {
    EXPECT_EQ(zq::SplitCommandLine("p \"\" b"), (Args{"p", "", "b"}));
    EXPECT_EQ(zq::SplitCommandLine("p \"\""), (Args{"p", ""}));
    EXPECT_EQ(zq::SplitCommandLine("p \"a\"\"b\""), (Args{"p", "a\"b"}));
    EXPECT_EQ(zq::SplitCommandLine("p x\"\"y"), (Args{"p", "xy"}));
}

TEST(SplitCommandLine, ProgramNameTakesNoEscapes) {
    // The first quote after the opening one ends the name, even after a backslash.
    EXPECT_EQ(zq::SplitCommandLine("\"C:\\a\\\"b c"), (Args{"C:\\a\\", "b", "c"}));
    EXPECT_EQ(zq::SplitCommandLine("C:\\x\\\"y z"), (Args{"C:\\x\\\"y", "z"}));
    EXPECT_EQ(zq::SplitCommandLine("\"unclosed name"), (Args{"unclosed name"}));
    EXPECT_EQ(zq::SplitCommandLine("\"\" arg"), (Args{"", "arg"}));
}

TEST(SplitCommandLine, ShellCharactersAreOrdinaryText) {
    EXPECT_EQ(zq::SplitCommandLine("p ; rm -rf / $(id) `x` | & > f"),
              (Args{"p", ";", "rm", "-rf", "/", "$(id)", "`x`", "|", "&", ">", "f"}));
}

TEST(QuoteArgument, JoinedArgumentsSplitBackUnchanged) {
    Args args = {"plain", "", "with blank", "tab\there", "quote\"inside", "trail\\",
                 "trail blank\\", "\\\\server\\share\\", "many\\\\\"q", "\"", "a\\\"b", "ü ö"};
    Args expected = {"prog"};
    expected.insert(expected.end(), args.begin(), args.end());
    EXPECT_EQ(zq::SplitCommandLine("prog " + zq::JoinCommandLine(args)), expected);
    EXPECT_EQ(zq::QuoteArgument("simple"), "simple");
    EXPECT_EQ(zq::QuoteArgument(""), "\"\"");
}

}  // namespace

TEST(CommandTail, EverythingAfterTheProgramNameStaysAsItCame) {
    EXPECT_EQ(zq::CommandTail("\"C:\\Program Files\\ZQ\\ZQM.exe\" /excl  \"a b\"\\  "),
              "/excl  \"a b\"\\  ");
    EXPECT_EQ(zq::CommandTail("ZQM.exe\t x"), " x");
    EXPECT_EQ(zq::CommandTail("ZQR.exe  /AUTORUN"), " /AUTORUN");  // not a switch at the start
    EXPECT_EQ(zq::CommandTail("ZQR.exe /AUTORUN"), "/AUTORUN");
    EXPECT_EQ(zq::CommandTail("  ZQM.exe"), "");
    EXPECT_EQ(zq::CommandTail("\"C:\\ZQ\\ZQM.exe\""), "");
    EXPECT_EQ(zq::CommandTail("\"C:\\ZQ\\ZQM.exe\"/x"), "/x");  // the name ends at its quote
    EXPECT_EQ(zq::CommandTail("\"C:\\unclosed name /x"), "");
    EXPECT_EQ(zq::CommandTail(""), "");
}
