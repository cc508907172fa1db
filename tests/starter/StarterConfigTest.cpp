// Reading zqm.ini at the start: the "X" markers, the accepted forms, the configuration trace.
#include <gtest/gtest.h>

#include "StarterFakes.h"
#include "starter/Funktion.h"
#include "starter/Start.h"
#include "support/TestSupport.h"

using namespace zq::starter;
using namespace zqtest::starter;

namespace {

const std::string kIni = "/opt/zq/zqm.ini";

class StarterConfig : public ::testing::Test {
protected:
    FakeMachine m;
    zq::TraceLog trace{m.files, "/opt/zq/trace.txt", zq::kStarterLabelWidth};
    StarterContext ctx{m.platform, trace};

    void SetUp() override {
        ctx.glProgramFolder = "/opt/zq";
        ctx.glIniFile = kIni;
        trace.OpenOutput();
    }
    std::optional<std::string> Ini(const std::string& section, const std::string& key) {
        return m.profile.Value(kIni, section, key);
    }
    std::vector<std::string> Report() {
        ReportStarterConfig(ctx);
        return zqtest::CrLfLines(m.files.files["/opt/zq/trace.txt"]);
    }
};

TEST_F(StarterConfig, FirstStartWritesTheFourMarkersAndTracesTheEmptyNetworkEntry) {
    ReadStarterConfig(ctx);
    EXPECT_EQ(Ini("Datenbasis", "Version"), "X");
    EXPECT_EQ(Ini("Datenbasis", "Bit"), "X");
    EXPECT_EQ(Ini("Datenbasis", "Pfad"), "X");
    EXPECT_EQ(Ini("Datendatei", "Netzwerk"), "X");
    EXPECT_EQ(ctx.glAccessVersion, "10.0");
    EXPECT_FALSE(ctx.glAccessVersionCfg);
    EXPECT_FALSE(ctx.glAccess64);
    std::vector<std::string> expected = {
        "*** Check Zequora Config ***",        "Check Config       : /opt/zq/zqm.ini",
        "Result             : OK",             "Access Version Cfg : Not Set",
        "Access Version Auto: 10.0",           "Access Bit Config  : Not Set",
        "Access Pfad Config : Not Set",        "Data Network Cfg   : ",
    };
    EXPECT_EQ(Report(), expected);

    // The next start reads the markers and writes nothing more.
    int writes = m.profile.writes;
    ReadStarterConfig(ctx);
    EXPECT_EQ(m.profile.writes, writes);
    EXPECT_EQ(ctx.glDataNetworkCfg, "X");
}

TEST_F(StarterConfig, SecondStartReportsTheNetworkMarkerAsNotSet) {
    m.profile.Set(kIni, "Datendatei", "Netzwerk", "X");
    ReadStarterConfig(ctx);
    EXPECT_EQ(Report().back(), "Data Network Cfg   : Not Set");
}

TEST_F(StarterConfig, LowerCaseMarkersCountAsNotSetAndStayUnchanged) {
    m.profile.Set(kIni, "Datenbasis", "Version", "x");
    m.profile.Set(kIni, "Datenbasis", "Bit", "x");
    m.profile.Set(kIni, "Datenbasis", "Pfad", "x");
    m.profile.Set(kIni, "Datendatei", "Netzwerk", "x");
    ReadStarterConfig(ctx);
    EXPECT_EQ(Ini("Datenbasis", "Version"), "x");
    EXPECT_EQ(Ini("Datenbasis", "Pfad"), "x");
    EXPECT_FALSE(ctx.glAccessVersionCfg);
    EXPECT_EQ(ctx.glAccessBitCfg, "");
    EXPECT_EQ(ctx.glAccessPathCfg, "");
    // Only the upper-case marker reads as "not set" in the network line.
    EXPECT_EQ(Report().back(), "Data Network Cfg   : x");
}

TEST_F(StarterConfig, AcceptsOnlyTwoDigitsPointDigitVersions) {
    for (const char* bad : {"9.0", "16", "16.00", "1.60", "16,0"}) {
        m.profile.Set(kIni, "Datenbasis", "Version", bad);
        ReadStarterConfig(ctx);
        EXPECT_FALSE(ctx.glAccessVersionCfg) << bad;
        EXPECT_EQ(ctx.glAccessVersion, "10.0") << bad;
        EXPECT_EQ(Ini("Datenbasis", "Version"), bad);
    }
    m.profile.Set(kIni, "Datenbasis", "Version", "16.0");
    ReadStarterConfig(ctx);
    EXPECT_TRUE(ctx.glAccessVersionCfg);
    EXPECT_EQ(ctx.glAccessVersion, "16.0");
}

TEST_F(StarterConfig, BitnessAndFolderAreTrimmedAndTheFolderGetsASeparator) {
    m.profile.Set(kIni, "Datenbasis", "Bit", "  64 ");
    m.profile.Set(kIni, "Datenbasis", "Pfad", " /opt/Office/Office14 ");
    m.profile.Set(kIni, "Datendatei", "Netzwerk", "Y");
    ReadStarterConfig(ctx);
    EXPECT_TRUE(ctx.glAccess64);
    EXPECT_EQ(ctx.glAccessBitCfg, "64");
    EXPECT_EQ(ctx.glAccessPathCfg, "/opt/Office/Office14/");
    auto lines = Report();
    EXPECT_EQ(lines[5], "Access Bit Config  : 64");
    EXPECT_EQ(lines[6], "Access Pfad Config : /opt/Office/Office14/");
    EXPECT_EQ(lines[7], "Data Network Cfg   : Y");

    m.profile.Set(kIni, "Datenbasis", "Bit", "32bit");
    ReadStarterConfig(ctx);
    EXPECT_FALSE(ctx.glAccess64);
    EXPECT_EQ(ctx.glAccessBitCfg, "32bit");
}

TEST_F(StarterConfig, LongValuesAreCutAndKeptWithoutHarm) {
    const std::string longFolder = "/" + std::string(299, 'a');
    m.profile.Set(kIni, "Datenbasis", "Pfad", longFolder);
    m.profile.Set(kIni, "Datenbasis", "Version", std::string(300, '1'));
    m.profile.Set(kIni, "Datendatei", "Netzwerk", std::string(300, 'n'));
    ReadStarterConfig(ctx);
    EXPECT_EQ(ctx.glAccessPathCfg, longFolder.substr(0, 249) + "/");
    EXPECT_FALSE(ctx.glAccessVersionCfg);
    EXPECT_EQ(ctx.glDataNetworkCfg.size(), 249u);
    EXPECT_EQ(Ini("Datenbasis", "Pfad"), longFolder) << "the stored value is not rewritten";
}

TEST_F(StarterConfig, MissingFileIsReportedWithTheVersionInForce) {
    ctx.glAccessVersion = "16.0";
    std::vector<std::string> expected = {"*** Check Zequora Config ***",
                                         "Check Config       : /opt/zq/zqm.ini",
                                         "Result             : Not found",
                                         "Access Version Auto: 16.0"};
    EXPECT_EQ(Report(), expected);
}

TEST(StarterPaths, ProgramFolderIsTheExecutablesFolder) {
    FakeMachine m;
    m.env.programPath = "/opt/zq/bin/zqm";
    EXPECT_EQ(ProgramFolder(m.env), "/opt/zq/bin");
    m.env.programPath = "/zqm";
    EXPECT_EQ(ProgramFolder(m.env), "/");
    m.env.style = zq::PathStyle::Windows;
    m.env.programPath = "C:\\Programme\\ZQ\\zqm.exe";
    EXPECT_EQ(ProgramFolder(m.env), "C:\\Programme\\ZQ");
    m.env.style = zq::PathStyle::Posix;
    zq::TraceLog trace(m.files, "/t", zq::kStarterLabelWidth);
    StarterContext ctx(m.platform, trace);
    ctx.glProgramFolder = "/opt/zq/bin";
    ctx.glAccess64 = true;
    SetFilePaths(ctx, "/x");
    EXPECT_EQ(ctx.glFrontEndFile, "/opt/zq/bin/zqm64.zqf");
    EXPECT_EQ(ctx.glOldFrontEndFile, "/opt/zq/bin/zqm.mde");
    EXPECT_EQ(ctx.glTraceFile, "/opt/zq/bin/ZQM_Start_Trace.txt");
    EXPECT_EQ(ctx.glIniFile, "/opt/zq/bin/zqm.ini");
    EXPECT_EQ(ctx.glStartParm, "/x");
}

TEST(StarterCommand, KeepsTwoBlanksAndPassesTheCommandLineUnchanged) {
    EXPECT_EQ(ManagerCommandLine("/a b/msaccess.exe", "/p q/zqm.zqf", "/excl \"x\" ; $(rm)"),
              "\"/a b/msaccess.exe\" /runtime  \"/p q/zqm.zqf\"  /excl \"x\" ; $(rm)");
    EXPECT_EQ(ManagerCommandLine("C:\\Office\\msaccess.exe", "C:\\ZQ\\zqm.zqf", ""),
              "\"C:\\Office\\msaccess.exe\" /runtime  \"C:\\ZQ\\zqm.zqf\"  ");
}

}  // namespace
