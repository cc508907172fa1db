// The reorganiser's pure helpers: command line, names derived from paths, numbers read
// from the options, the table filter and the choice of the oldest backup copy.
#include <gtest/gtest.h>

#include "platform/Processes.h"
#include "common/Utf8.h"
#include "reorg/frmZQR/Design.h"
#include "reorg/funktionen.h"

using namespace zq;
using namespace zq::reorg;

TEST(CommandLine, SwitchesAreMatchedAtTheStartOnlyAndInAnyCase) {
    EXPECT_EQ(ParseCommandLine("/AUTORUN").mode, StartMode::Autorun);
    EXPECT_EQ(ParseCommandLine("/autorun trailing words").mode, StartMode::Autorun);
    EXPECT_EQ(ParseCommandLine(" /AUTORUN").mode, StartMode::Window);  // leading blank
    EXPECT_EQ(ParseCommandLine("").mode, StartMode::Window);
    EXPECT_EQ(ParseCommandLine("/AUTO").mode, StartMode::Window);
    EXPECT_EQ(ParseCommandLine("-DATEI x").mode, StartMode::Window);
    EXPECT_EQ(ParseCommandLine("/Manager /d/zqdata.mdb").mode, StartMode::Manager);
}

TEST(CommandLine, ExactlyOneCharacterAfterTheSwitchIsSkipped) {
    EXPECT_EQ(ParseCommandLine("/DATEI C:\\Daten\\zqdata.mdb").path, "C:\\Daten\\zqdata.mdb");
    EXPECT_EQ(ParseCommandLine("/DATEIC:\\Daten\\zqdata.mdb").path, ":\\Daten\\zqdata.mdb");
    EXPECT_EQ(ParseCommandLine("/DATEI \"/a b/zqdata.mdb\"").path, "\"/a b/zqdata.mdb\"");
    EXPECT_EQ(ParseCommandLine("/DATEI   /x/zqdata.mdb  ").path, "  /x/zqdata.mdb");
    EXPECT_EQ(ParseCommandLine("/MANAGER /srv/Daten Firma/zqdata.mdb").path,
              "/srv/Daten Firma/zqdata.mdb");
    EXPECT_EQ(ParseCommandLine("/DATEI").path, "");
    EXPECT_EQ(ParseCommandLine("/DATEI ").path, "");
    EXPECT_EQ(ParseCommandLine("/MANAGER").path, "");
    // Shell characters are just characters of the path.
    EXPECT_EQ(ParseCommandLine("/DATEI /t/$(rm -rf x);|&.mdb").path, "/t/$(rm -rf x);|&.mdb");
}

TEST(LockFile, NamesFollowBothRulesOnTheFileName) {
    EXPECT_EQ(LockFileNameOf("D:\\x\\ZQDATA.MDB", PathStyle::Windows), "D:\\x\\ZQDATA.ldb");
    EXPECT_EQ(LockFileNameOf("D:\\x\\zqdata.mdb.bak", PathStyle::Windows), "D:\\x\\zqdata.ldb");
    EXPECT_EQ(LockFileNameOf("/d/zqdata.mdb", PathStyle::Posix), "/d/zqdata.ldb");
    EXPECT_EQ(LockFileNameOf("zqdata.mdb", PathStyle::Posix), "zqdata.ldb");
    std::string first;
    EXPECT_EQ(LockFileNameOf("/d/a.mdb.b.mdb.c", PathStyle::Posix, &first), "/d/a.ldb");
    EXPECT_EQ(first, "/d/a.ldb.b.ldb.c");
}

TEST(LockFile, NoNameWithoutAnExactMdb) {
    std::string first;
    EXPECT_FALSE(LockFileNameOf("D:\\x\\ZQDATA.MDB.bak", PathStyle::Windows, &first));
    EXPECT_EQ(first, "D:\\x\\ZQDATA.ldb.bak");
    EXPECT_FALSE(LockFileNameOf("/d/zqdata.db", PathStyle::Posix));
    EXPECT_FALSE(LockFileNameOf("", PathStyle::Posix));
    EXPECT_FALSE(LockFileNameOf("/d.mdb/", PathStyle::Posix));  // no file name at all
}

TEST(LockFile, FoldersHoldingTheSameTextStayUnchanged) {
    EXPECT_EQ(LockFileNameOf("/srv/old.mdb/zqdata.mdb", PathStyle::Posix), "/srv/old.mdb/zqdata.ldb");
    EXPECT_EQ(LockFileNameOf("D:\\A.MDB\\zqdata.mdb.bak", PathStyle::Windows),
              "D:\\A.MDB\\zqdata.ldb");
    // The folder's ".mdb" must not rescue a name that has none of its own.
    EXPECT_FALSE(LockFileNameOf("/srv/x.mdb/zqdata.db", PathStyle::Posix));
    EXPECT_EQ(OldLocalCopyName("/home/u.mdb/.cache/zequora2/update/zqdata_lokal.mdb", PathStyle::Posix),
              "/home/u.mdb/.cache/zequora2/update/zqdata_lokal_old.mdb");
    EXPECT_EQ(OldLocalCopyName("C:\\temp\\zequora2\\update\\zqdata_lokal.MDB", PathStyle::Windows),
              "C:\\temp\\zequora2\\update\\zqdata_lokal_old.mdb");
}

TEST(BackupNames, DateAndTimeInTwoDigitsEach) {
    EXPECT_EQ(BackupName({2026, 12, 6, 7, 5, 9}), "R_261206_070509.mdb");
    EXPECT_EQ(BackupName({2000, 1, 1, 0, 0, 0}), "R_000101_000000.mdb");
    EXPECT_EQ(BackupName({1999, 12, 31, 23, 59, 59}), "R_991231_235959.mdb");
}

TEST(BackupNames, CopyPathsChangeOnlyTheLastComponent) {
    const std::string name = "R_261206_070509.mdb";
    EXPECT_EQ(BackendCopyPath("D:\\Daten\\zqdata.mdb", name, PathStyle::Windows),
              "D:\\Daten\\Save\\R_261206_070509.mdb");
    EXPECT_EQ(FrontendCopyPath("C:\\Programme\\ZQR", name, PathStyle::Windows),
              "C:\\Programme\\ZQR\\Autosave\\R_261206_070509.mdb");
    EXPECT_EQ(BackendCopyPath("/srv/zqdata.mdb/ZQDATA.MDB", name, PathStyle::Posix),
              "/srv/zqdata.mdb/Save/R_261206_070509.mdb");
    EXPECT_EQ(FrontendCopyPath("/opt/zqr/zqr", name, PathStyle::Posix),
              "/opt/zqr/zqr/Autosave/R_261206_070509.mdb");
    EXPECT_EQ(BackendCopyPath("zqdata.mdb", name, PathStyle::Posix), "Save/R_261206_070509.mdb");
}

TEST(OptionNumbers, GarbageNeverGivesAnUnboundedWait) {
    EXPECT_EQ(DelaySeconds("0"), 0);
    EXPECT_EQ(DelaySeconds("5"), 5);
    EXPECT_EQ(DelaySeconds("45"), 20);
    EXPECT_EQ(DelaySeconds("ABC"), 0);
    EXPECT_EQ(DelaySeconds("-3"), 0);
    EXPECT_EQ(DelaySeconds(""), 0);
    EXPECT_EQ(DelaySeconds("2.5"), 2);  // ties to even
    EXPECT_EQ(DelaySeconds("3.5"), 4);
    EXPECT_EQ(DelaySeconds("99999999999999999999999999"), 20);

    EXPECT_EQ(CensusExtraSeconds("-3"), 5);
    EXPECT_EQ(CensusExtraSeconds("45"), 30);
    EXPECT_EQ(CensusExtraSeconds("ABC"), 0);
    EXPECT_EQ(CensusExtraSeconds("7 SEKUNDEN"), 7);
    EXPECT_EQ(CensusExtraSeconds("-99999999999999999999"), 5);
}

TEST(OptionNumbers, MaxFilesIsTheLeadingWholeNumber) {
    EXPECT_EQ(LeadingIntegerText("10"), "10");
    EXPECT_EQ(LeadingIntegerText("12 STÜCK"), "12");
    EXPECT_EQ(LeadingIntegerText("ABC"), "0");
    EXPECT_EQ(LeadingIntegerText(""), "0");
    EXPECT_EQ(LeadingIntegerText("-3"), "-3");
    EXPECT_EQ(LeadingIntegerText("7.9"), "7");
    EXPECT_EQ(LeadingIntegerText("123456789012345678901234567890"), "2147483647");
    EXPECT_EQ(ParseLong("  42x"), 42);
}

TEST(TableFilter, PrefixIgnoresCaseAndEmptyOrXCountsAllButSystemTables) {
    EXPECT_TRUE(TableCounts("TBL", "tblPersonal"));
    EXPECT_TRUE(TableCounts("TBL", "TBLzeit"));
    EXPECT_FALSE(TableCounts("TBL", "MSysObjects"));
    EXPECT_FALSE(TableCounts("TBL", "qryX"));
    EXPECT_FALSE(TableCounts("TBL", "tb"));
    EXPECT_TRUE(TableCounts("", "qryX"));
    EXPECT_TRUE(TableCounts("X", "tblPersonal"));
    EXPECT_FALSE(TableCounts("X", "MSysObjects"));
    EXPECT_TRUE(TableCounts("X", "msysobjects"));  // only the exact system prefix is left out
    EXPECT_FALSE(TableCounts("ABC", "tblPersonal"));
    EXPECT_TRUE(IsPrefixFilter("TBL"));
    EXPECT_FALSE(IsPrefixFilter("X"));
    EXPECT_FALSE(IsPrefixFilter(""));
}

TEST(AccessCommandLine, PathsAreQuotedAndSplitBackUnchanged) {
    EXPECT_EQ(AccessCommand("C:\\Programme\\Office\\msaccess.exe", "D:\\Daten Firma\\zqdata.mdb"),
              "\"C:\\Programme\\Office\\msaccess.exe\" \"D:\\Daten Firma\\zqdata.mdb\" /repair /compact");
    for (const std::string path : {"/a b/zqdata.mdb", "/we\"ird/zqdata.mdb", "/x\\\"y/zq.mdb",
                                   "/tail\\\\\"/zq.mdb"}) {
        std::vector<std::string> args = SplitCommandLine(AccessCommand("/bin/msaccess.exe", path));
        ASSERT_EQ(args.size(), 4u) << path;
        EXPECT_EQ(args[1], path);
        EXPECT_EQ(args[2], "/repair");
        EXPECT_EQ(args[3], "/compact");
    }
    EXPECT_EQ(LastChars("abc", 255), "abc");
    std::string longCommand = AccessCommand(std::string(300, 'p'), "/d/zqdata.mdb");
    EXPECT_EQ(LastChars(longCommand, 255).size(), 255u);
    EXPECT_EQ(LastChars(longCommand, 255).substr(255 - 17), " /repair /compact");
}

TEST(AbortText, PlaceholderReplacedAndEmptyPathLeavesTwoBlanks) {
    std::string text = AbortMessage("");
    EXPECT_NE(text.find("\r\n2) die Datendatei  ist nicht vorhanden, oder \r\n"), std::string::npos);
    EXPECT_EQ(text.rfind("Aktion abgebrochen.\r\n\r\nMögliche Ursachen: \r\n", 0), 0u);
    EXPECT_NE(AbortMessage("/d/zqdata.mdb").find("Datendatei /d/zqdata.mdb ist"), std::string::npos);
    EXPECT_EQ(AbortMessage("/d/zqdata.mdb").find("XXXXX"), std::string::npos);
}

TEST(Rotation, OldestFirstEqualTimesByListingOrderUnreadableTimesFirst) {
    EXPECT_FALSE(OldestCopy({}));
    DateTime a{2026, 1, 2, 3, 4, 5}, b{2026, 1, 2, 3, 4, 6}, empty{};
    EXPECT_EQ(OldestCopy({b, a, b}), 1u);
    EXPECT_EQ(OldestCopy({a, b, a}), 0u);
    EXPECT_EQ(OldestCopy({b, a, empty}), 2u);
    EXPECT_EQ(OldestCopy({DateTime{2025, 12, 31, 23, 59, 59}, DateTime{2026, 1, 1, 0, 0, 0}}), 0u);
}

namespace {

TEST(WindowDesign, TwipsScaleByTheScreenResolutionAndRound) {
    using zq::reorg::design::TwipsToPixels;
    EXPECT_EQ(TwipsToPixels(1440, 96), 96);
    EXPECT_EQ(TwipsToPixels(6630, 96), 442);
    EXPECT_EQ(TwipsToPixels(6630, 144), 663);
    EXPECT_EQ(TwipsToPixels(7, 96), 0);
    EXPECT_EQ(TwipsToPixels(8, 96), 1);
    EXPECT_EQ(TwipsToPixels(0, 96), 0);
}

TEST(WindowDesign, EveryControlLiesInsideTheClientArea) {
    namespace design = zq::reorg::design;
    for (std::size_t i = 1; i < zq::reorg::kControlCount; ++i) {
        const design::TwipRect r = design::Rect(static_cast<zq::reorg::Control>(i));
        EXPECT_GT(r.width, 0) << i;
        EXPECT_GT(r.height, 0) << i;
        EXPECT_LE(r.left + r.width, design::kClientWidth) << i;
        EXPECT_LE(r.top + r.height, design::kClientHeight) << i;
    }
    EXPECT_LE(design::kBusyBar.top + design::kBusyBar.height, design::kClientHeight);
}

}  // namespace
