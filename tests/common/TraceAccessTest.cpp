// Trace grammar, message titles and the search for msaccess.exe, over the registry, files
// and settings in memory.
#include <gtest/gtest.h>

#include <algorithm>

#include "common/AccessDetection.h"
#include "common/Messages.h"
#include "common/RegistryAccess.h"
#include "common/Trace.h"
#include "support/Fakes.h"
#include "support/MemoryFiles.h"
#include "support/Scenario.h"

namespace {

using zqtest::CrLfLines;

TEST(TraceLine, LabelsArePaddedButNeverCut) {
    EXPECT_EQ(zq::LabelLine("Result", "OK", 17), "Result           : OK");
    EXPECT_EQ(zq::LabelLine("glRegPathAccVar17", "x", 17), "glRegPathAccVar17: x");
    EXPECT_EQ(zq::LabelLine("glRegPathAccVarRT", "v", 17), "glRegPathAccVarRT: v");
    EXPECT_EQ(zq::LabelLine("Error Description", "m", 17), "Error Description: m");
    EXPECT_EQ(zq::LabelLine("Result", "OK", 19), "Result             : OK");
}

TEST(TraceLog, FirstSectionHasNoEmptyLineAndReopeningAppends) {
    zqtest::MemoryFiles files;
    zq::TraceLog trace(files, "/t/trace.txt", zq::kReorgLabelWidth);
    ASSERT_TRUE(trace.OpenOutput());
    trace.Section("Globals");
    trace.Label("glcAccExe", "msaccess.exe");
    trace.Section("Parameter");
    trace.Close();
    ASSERT_TRUE(trace.OpenAppend());
    trace.Section("Later");
    trace.Close();
    EXPECT_EQ(files.Content("/t/trace.txt"),
              "*** Globals ***\r\nglcAccExe        : msaccess.exe\r\n\r\n*** Parameter ***\r\n"
              "\r\n*** Later ***\r\n");
    // A new run replaces the old trace.
    ASSERT_TRUE(trace.OpenOutput());
    trace.Free("[Verweise]");
    trace.Close();
    EXPECT_EQ(files.Content("/t/trace.txt"), "[Verweise]\r\n");
}

TEST(TraceLog, UncreatableTraceLeavesTheProgramRunning) {
    zqtest::MemoryFiles files;
    files.fail = [](const std::string& operation, const std::string&) {
        return operation == "Open" ? zq::FsStatus{zq::kErrPathNotFound, "Path not found"} : zq::FsStatus{};
    };
    zq::TraceLog trace(files, "/nonexistent-folder/zq/trace.txt", 19);
    EXPECT_FALSE(trace.OpenOutput());
    trace.Section("Globals");  // must not crash
    trace.Label("a", "b");
    EXPECT_FALSE(trace.IsOpen());
    EXPECT_TRUE(trace.Failed());
}

TEST(TraceLog, AWriteThatDoesNotReachTheDiskIsRemembered) {
    zqtest::MemoryFiles files;
    zq::TraceLog good(files, "/t/trace.txt", zq::kReorgLabelWidth);
    ASSERT_TRUE(good.OpenOutput());
    good.Section("Globals");
    good.Close();
    EXPECT_FALSE(good.Failed());

    // A full disk: the file opens, every write fails.
    files.fail = [](const std::string& operation, const std::string& path) {
        return operation == "Write" && path == "/t/full.txt" ? zq::FsStatus{zq::kErrDiskFull, "Disk full"}
                                                             : zq::FsStatus{};
    };
    zq::TraceLog full(files, "/t/full.txt", zq::kReorgLabelWidth);
    ASSERT_TRUE(full.OpenAppend());
    EXPECT_FALSE(full.Failed());
    full.Label("Result", "OK");
    EXPECT_TRUE(full.Failed());
    full.Close();
    EXPECT_TRUE(full.Failed());  // closing and reopening does not forget it
    ASSERT_TRUE(full.OpenAppend());
    EXPECT_TRUE(full.Failed());
}

TEST(Messages, TitlesAndPlaceholders) {
    EXPECT_EQ(zq::ReorgTitle(zq::MsgKind::SafetyQuestion), "Reorg Sicherheitsabfrage");
    EXPECT_EQ(zq::ReorgTitle(zq::MsgKind::Question), "Reorg Frage");
    EXPECT_EQ(zq::StarterTitle(zq::MsgKind::Question), "ZEQUORA Startprogramm  Abfrage");
    EXPECT_EQ(zq::StarterTitle(zq::MsgKind::Error), "ZEQUORA Startprogramm  Fehler");
    EXPECT_EQ(zq::ReplaceAll("XXXXX und XXXXX", "XXXXX", "a"), "a und a");
    EXPECT_EQ(zq::ReplaceAll("die Datei xxxxx fehlt", "XXXXX", "/d/z.mdb", true),
              "die Datei /d/z.mdb fehlt");
    EXPECT_EQ(zq::ReplaceAll("xxxxx", "XXXXX", "v"), "xxxxx");
    // A value holding the placeholder is not replaced again.
    EXPECT_EQ(zq::ReplaceAll("XXXXX", "XXXXX", "XXXXX!"), "XXXXX!");
}

// Dialogs that record what was shown and answer OK.
class RecordingDialogs : public zq::IDialogs {
public:
    zq::MsgResult ShowMessage(const std::string& text, const std::string& title, zq::MsgIcon icon,
                             zq::MsgButtons, int) override {
        shown.push_back(title + "|" + text);
        icons.push_back(icon);
        return zq::MsgResult::Ok;
    }
    std::optional<std::string> OpenFile(const std::string&, const std::string&, const std::string&,
                                        const std::string&) override {
        return std::nullopt;
    }
    std::vector<std::string> shown;
    std::vector<zq::MsgIcon> icons;
};

class TestEnvironment : public zqtest::FakeEnvironment {
public:
    TestEnvironment() : FakeEnvironment("/t/prog/zqm") {}
    std::string StreamedOffice16Folder(bool is64) override { return is64 ? "/t/office16/x64/" : "/t/office16/x86/"; }
};

class AccessSearchTest : public ::testing::Test {
protected:
    AccessSearchTest() { trace.OpenOutput(); }

    std::string MakeAccess(const std::string& folder) {
        files.Put(folder + "/msaccess.exe", "stand-in");
        return folder + "/msaccess.exe";
    }

    void SetInstallRoot(const std::string& key, const std::string& name, const std::string& value) {
        ASSERT_EQ(zq::WriteStringValue(registry, zq::RegRoot::LocalMachine, key, name, value), 0);
    }

    bool Find(zq::AccessSettings& s) {
        zq::BuildKeyPaths(s);
        zq::AccessSearch search{platform, trace, "Access 10.0 fehlt (10.0)", "Default Title",
                                [this] { ++foundCalls; }};
        bool ok = zq::FindAccess(search, s);
        trace.Close();
        lines = CrLfLines(files.Content("/t/trace.txt"));
        return ok;
    }

    bool Traced(const std::string& line) const {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    zqtest::MemoryRegistry registry;
    zqtest::MemoryFiles files;
    zqtest::MemoryProfile profile{files};
    zqtest::RecordingProcesses processes;
    zqtest::FakeClock clock;
    TestEnvironment env;
    zqtest::RecordingShell shell;
    RecordingDialogs dialogs;
    zq::Platform platform{registry, profile, files, processes, clock, env, shell, dialogs};
    zq::TraceLog trace{files, "/t/trace.txt", zq::kReorgLabelWidth};
    int foundCalls = 0;
    std::vector<std::string> lines;
};

TEST_F(AccessSearchTest, ConfiguredFolderIsTriedFirstWithoutProbes) {
    std::string exe = MakeAccess("/t/office");
    zq::AccessSettings s;
    s.folder = "/t/office/";
    ASSERT_TRUE(Find(s));
    EXPECT_EQ(foundCalls, 1);
    EXPECT_EQ(s.accessExe, exe);
    EXPECT_EQ(lines, (std::vector<std::string>{"Check Access     : " + exe, "Result           : OK"}));
}

TEST_F(AccessSearchTest, NothingFoundSearchesTenThenSixteenAndNamesTheYear) {
    zq::AccessSettings s;
    EXPECT_FALSE(Find(s));
    EXPECT_EQ(foundCalls, 0);
    EXPECT_TRUE(Traced("*** Check Office 10.0 ***"));
    EXPECT_TRUE(Traced("*** Check Access 10.0 Runtime Special ***"));
    EXPECT_TRUE(Traced("--- Change Version : 10.0 --> 16.0 ----------------------"));
    EXPECT_TRUE(Traced("*** Check Office 16.0 Special ***"));
    EXPECT_TRUE(Traced("Read Registry    : Software\\Microsoft\\Office\\16.0\\Access\\InstallRoot\\Path"));
    EXPECT_TRUE(Traced("*** Check Access 16.0 MSO Standard ***"));
    EXPECT_TRUE(Traced("Version            : 16.0/32 bit"));
    EXPECT_EQ(s.bitness, "32");
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0], "Default Title|Access 2016 fehlt (2016)");
    EXPECT_EQ(dialogs.icons[0], zq::MsgIcon::Stop);
    EXPECT_EQ(lines.back(), "Error            : Access 2016 fehlt (2016)");
}

TEST_F(AccessSearchTest, ConfiguredVersionIsSearchedOnce) {
    zq::AccessSettings s;
    s.version = "15.0";
    s.versionConfigured = true;
    EXPECT_FALSE(Find(s));
    EXPECT_FALSE(Traced("--- Change Version : 15.0 --> 16.0 ----------------------"));
    EXPECT_FALSE(Traced("*** Check Access 16.0 MSO Standard ***"));
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0], "Default Title|Access 2013 fehlt (2013)");
}

TEST_F(AccessSearchTest, InstallRootWithOfficeSubfolderAndMissingSeparator) {
    std::string exe = MakeAccess("/t/root/office");
    SetInstallRoot("Software\\Microsoft\\Office\\16.0\\Access\\InstallRoot", "Path", "/t/root");
    zq::AccessSettings s;
    ASSERT_TRUE(Find(s));
    EXPECT_EQ(foundCalls, 1);
    EXPECT_EQ(s.accessExe, exe);
    EXPECT_EQ(s.version, "16.0");
    EXPECT_TRUE(Traced("Check Access     : /t/root/msaccess.exe"));
    // Search stops at the first success: no streamed-Office probe, no message.
    EXPECT_FALSE(Traced("*** Check Access 16.0 MSO Standard ***"));
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(AccessSearchTest, StreamedOffice64UsesTheSixtyFourBitFolder) {
    std::string exe = MakeAccess("/t/office16/x64");
    zq::AccessSettings s;
    s.bitness = "64";
    ASSERT_TRUE(Find(s));
    EXPECT_EQ(s.accessExe, exe);
    EXPECT_TRUE(Traced("Version            : 16.0/64 bit"));
    EXPECT_TRUE(Traced("Result             : /t/office16/x64/"));
}

TEST(AccessSettingsTest, VersionRulesAndProductNames) {
    EXPECT_TRUE(zq::IsValidOfficeVersion("16.0"));
    EXPECT_FALSE(zq::IsValidOfficeVersion("9.0"));
    EXPECT_FALSE(zq::IsValidOfficeVersion("16.00"));
    EXPECT_FALSE(zq::IsValidOfficeVersion("1.60"));
    EXPECT_EQ(zq::ProductName("14.0"), "2010");
    EXPECT_EQ(zq::ProductName("17.0"), "17.0");

    zqtest::MemoryFiles files;
    zqtest::MemoryProfile profile(files);
    const std::string ini = "[Datenbasis]\r\nVersion=9.0\r\nBit= 64 \r\nPfad=/opt/office\r\n";
    files.Put("/t/zqm.ini", ini);
    zq::AccessSettings s;
    zq::ReadAccessSettings(profile, "/t/zqm.ini", zq::PathStyle::Posix, s);
    EXPECT_EQ(s.version, "10.0");
    EXPECT_FALSE(s.versionConfigured);
    EXPECT_EQ(s.bitness, "64");
    EXPECT_EQ(s.folder, "/opt/office/");
    // The reorganiser only reads: nothing is written back.
    EXPECT_EQ(files.Content("/t/zqm.ini"), ini);
}

}  // namespace
