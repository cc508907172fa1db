// Whole runs of the start sequence on a fake machine: every way the program ends.
#include <gtest/gtest.h>

#include "StarterFakes.h"
#include "starter/Start.h"
#include "support/TestSupport.h"

using namespace zq::starter;
using namespace zqtest::starter;
using zq::MsgResult;
using zq::RegRoot;

namespace {

const std::string kIni = "/opt/zq/zqm.ini";
const std::string kTrace = "/opt/zq/ZQM_Start_Trace.txt";
const std::string kFrontEnd = "/opt/zq/zqm.zqf";
const std::string kTrusted = "Software\\Microsoft\\Office\\14.0\\Access\\Security\\Trusted Locations";

class StarterRun : public ::testing::Test {
protected:
    FakeMachine m;

    void SetUp() override {
        m.files.AddDir("/opt/zq");
        m.files.files[kFrontEnd] = "front end";
        m.profile.Set(kIni, "Datenbasis", "Version", "14.0");
        m.profile.Set(kIni, "Datenbasis", "Bit", "32");
        m.profile.Set(kIni, "Datenbasis", "Pfad", "X");
        m.profile.Set(kIni, "Datendatei", "Netzwerk", "n");
        m.profile.Set(kIni, "Datendatei", "Pfad", "/srv/daten");
        m.files.AddDir("/srv/daten");
        m.registry.SetSz(RegRoot::LocalMachine, "Software\\Microsoft\\Office\\14.0\\Common\\InstallRoot",
                         "", "/opt/office");
        m.files.files["/opt/office/msaccess.exe"] = "access";
        m.registry.MakeKey(RegRoot::CurrentUser, kTrusted);
        m.engine.frontEnds[kFrontEnd].fields = {
            {"VI_Major", std::string("4.1")}, {"VI_Minor", std::string(".23")}, {"VI_Beta", {}}};
    }
    std::vector<std::string> Trace() { return zqtest::CrLfLines(m.files.files[kTrace]); }
    std::vector<std::string> Tail(std::size_t n) {
        auto lines = Trace();
        return {lines.end() - static_cast<long>(std::min(n, lines.size())), lines.end()};
    }
};

TEST_F(StarterRun, LaunchWritesTheWholeTraceAndStartsTheDatabaseProgram) {
    Outcome outcome = RunStarter(m.platform, "/excl \"a b\"");
    EXPECT_EQ(outcome, Outcome::Launched);
    const std::string command =
        "\"/opt/office/msaccess.exe\" /runtime  \"/opt/zq/zqm.zqf\"  /excl \"a b\"";
    ASSERT_EQ(m.processes.started, std::vector<std::string>{command});
    std::vector<std::string> expected = {
        "*** Globals ***",
        "Date/Time          : 07.12.2026 08:05:09",
        "ZQM.exe Version    : 4.1.23",
        "glcAccExe          : msaccess.exe",
        "glcZQMFile         : zqm.zqf",
        "glcZQMFileAlt      : zqm.mde",
        "glcZQMiniFile      : zqm.ini",
        "glcRegHKey         : HKEY_LOCAL_MACHINE",
        "glcRegPathAccVar   : Software\\Microsoft\\Office\\14.0\\Common\\InstallRoot",
        "glcRegPathAccVarRT : Software\\Microsoft\\Office\\14.0\\Access\\InstallRoot",
        "glcRegKeyStandard  : ",
        "glcRegKeyAccVar    : Path",
        "",
        "*** Command ***",
        "glStartParm        : /excl \"a b\"",
        "",
        "*** Check Zequora ***",
        "Check Zequora      : /opt/zq/zqm.zqf",
        "Result             : OK",
        "",
        "*** Delete ZQM.mde ***",
        "Delete zqm.mde     : /opt/zq/zqm.mde",
        "Result             : Not found",
        "",
        "*** Check Zequora Config ***",
        "Check Config       : /opt/zq/zqm.ini",
        "Result             : OK",
        "Access Version Cfg : 14.0",
        "Access Bit Config  : 32",
        "Access Pfad Config : Not Set",
        "Data Network Cfg   : n",
        "",
        "*** Check Zequora UpdateStore ***",
        "Check Datapath     : /srv/daten/",
        "Result             : Found",
        "Check Update       : /srv/daten/UpdStore/zqmupd.exe",
        "Result             : Not found",
        "",
        "*** Check Office 14.0 ***",
        "Read Registry      : Software\\Microsoft\\Office\\14.0\\Common\\InstallRoot\\",
        "Result             : /opt/office",
        "Check Access       : /opt/office/msaccess.exe",
        "Result             : OK",
        "",
        "*** Add folders to trusted locations ***",
        "Program folder     : /opt/zq",
        "Result             : OK",
        "",
        "Update folder      : /home/anna/.cache/zequora2/update/",
        "Result             : OK",
        "",
        "Data folder        : /srv/daten",
        "Result             : OK",
        "",
        "Settings           : Network locations are NOT allowed",
        "",
        "*** Start Zequora Manager ***",
        "Command            : " + command,
        "",
        "",
        "[Verweise]",
    };
    EXPECT_EQ(Trace(), expected);
}

TEST_F(StarterRun, MissingFrontEndStopsBeforeAnythingElse) {
    m.files.files.erase(kFrontEnd);
    m.files.files["/opt/zq/zqm.mde"] = "old";
    EXPECT_EQ(RunStarter(m.platform, ""), Outcome::FrontEndMissing);
    EXPECT_TRUE(m.processes.started.empty());
    EXPECT_TRUE(m.files.files.count("/opt/zq/zqm.mde")) << "the old front end stays";
    ASSERT_EQ(m.dialogs.shown.size(), 1u);
    EXPECT_EQ(m.dialogs.shown[0].title, "ZEQUORA Manager");
    EXPECT_EQ(m.dialogs.shown[0].icon, zq::MsgIcon::Stop);
    EXPECT_NE(m.dialogs.shown[0].text.find("\r\nMissing program file: [/opt/zq/zqm.zqf]"),
              std::string::npos);
    std::vector<std::string> tail = {
        "*** Check Zequora ***",
        "Check Zequora      : /opt/zq/zqm.zqf",
        "Result             : Error",
        "Error Description: Die ZEQUORA Manager Programmdatei wurde nicht gefunden. ZEQUORA kann "
        "daher nicht gestartet werden.",
        "Installieren Sie ZEQUORA neu bzw. lesen Sie hierzu bitte im Handbuch den Abschnitt "
        "'Installation und Update' [/opt/zq/zqm.zqf]",
        "",
        "",
        "[Verweise]",
    };
    EXPECT_EQ(Tail(tail.size()), tail);
}

TEST_F(StarterRun, SixtyFourBitSettingChoosesTheOtherFrontEnd) {
    m.profile.Set(kIni, "Datenbasis", "Bit", " 64 ");
    EXPECT_EQ(RunStarter(m.platform, ""), Outcome::FrontEndMissing);
    auto lines = Trace();
    EXPECT_EQ(lines[4], "glcZQMFile         : zqm64.zqf");
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Check Zequora      : /opt/zq/zqm64.zqf"), lines.end());
}

TEST_F(StarterRun, OldFrontEndIsRemovedAndAnEmptyCommandLineEndsInTwoBlanks) {
    m.files.files["/opt/zq/zqm.mde"] = "old";
    EXPECT_EQ(RunStarter(m.platform, ""), Outcome::Launched);
    EXPECT_FALSE(m.files.files.count("/opt/zq/zqm.mde"));
    auto lines = Trace();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Result             : OK"), lines.end());
    EXPECT_EQ(lines[14], "glStartParm        : ");
    ASSERT_EQ(m.processes.started.size(), 1u);
    EXPECT_EQ(m.processes.started[0], "\"/opt/office/msaccess.exe\" /runtime  \"/opt/zq/zqm.zqf\"  ");
}

TEST_F(StarterRun, OldFrontEndInUseIsReportedAndTheStartGoesOn) {
    m.files.files["/opt/zq/zqm.mde"] = "old";
    m.files.undeletable.insert("/opt/zq/zqm.mde");
    EXPECT_EQ(RunStarter(m.platform, ""), Outcome::Launched);
    auto lines = Trace();
    auto at = std::find(lines.begin(), lines.end(), "Delete zqm.mde     : /opt/zq/zqm.mde");
    ASSERT_NE(at, lines.end());
    EXPECT_EQ(*(at + 1), "Result             : Error");
    EXPECT_EQ(*(at + 2), "Error              : 70 / in use");
}

TEST_F(StarterRun, NoAccessShowsTheMessageAndEndsWithTheFooter) {
    m.registry.keys.erase(FakeRegistry::Id(RegRoot::LocalMachine,
                                           "Software\\Microsoft\\Office\\14.0\\Common\\InstallRoot"));
    EXPECT_EQ(RunStarter(m.platform, ""), Outcome::AccessNotFound);
    EXPECT_TRUE(m.processes.started.empty());
    ASSERT_EQ(m.dialogs.shown.size(), 1u);
    EXPECT_EQ(m.dialogs.shown[0].text.find("Access 2010 oder Access 2010 Runtime"), 0u);
    auto tail = Tail(6);
    EXPECT_EQ(tail[0].rfind("Error              : Access 2010 oder", 0), 0u);
    EXPECT_EQ(tail[1].rfind("Der ZEQUORA Manager benötigt Access 2010", 0), 0u);
    EXPECT_EQ(tail[2], "Zur Behebung des Problemes lesen Sie bitte im Handbuch den Abschnitt "
                       "'Installation und Update'");
    EXPECT_EQ(tail[3], "");
    EXPECT_EQ(tail[4], "");
    EXPECT_EQ(tail[5], "[Verweise]");
}

TEST_F(StarterRun, OlderAccessVersionsGetNoTrustedLocations) {
    m.profile.Set(kIni, "Datenbasis", "Version", "11.0");
    m.registry.SetSz(RegRoot::LocalMachine, "Software\\Microsoft\\Office\\11.0\\Common\\InstallRoot",
                     "", "/opt/office/");
    EXPECT_EQ(RunStarter(m.platform, ""), Outcome::Launched);
    auto lines = Trace();
    EXPECT_EQ(std::find(lines.begin(), lines.end(), "*** Add folders to trusted locations ***"), lines.end());
    auto start = std::find(lines.begin(), lines.end(), "*** Start Zequora Manager ***");
    ASSERT_NE(start, lines.end());
    EXPECT_EQ(*(start - 2), "Result             : OK");
}

TEST_F(StarterRun, UnexaminableDataFolderAnsweredNoEndsWithoutFooter) {
    m.files.unexaminable.insert("/srv/daten/");
    m.dialogs.answers = {MsgResult::No};
    EXPECT_EQ(RunStarter(m.platform, ""), Outcome::DataPathExit);
    EXPECT_TRUE(m.processes.started.empty());
    ASSERT_EQ(m.dialogs.shown.size(), 1u);
    EXPECT_EQ(m.dialogs.shown[0].title, "ZEQUORA Startprogramm  Fehler");
    EXPECT_EQ(m.dialogs.shown[0].buttons, zq::MsgButtons::YesNoCancel);
    std::vector<std::string> tail = {
        "Check Datapath     : /srv/daten/",
        "Result             : Not found",
        "Error              : 52 / bad file name or number",
        "Abfrage            : Neuzuweisung 'Y/N/C'",
        "Result             : N",
        "Exit App           : OK",
    };
    EXPECT_EQ(Tail(tail.size()), tail);
    EXPECT_EQ(m.profile.Value(kIni, "Datendatei", "Pfad"), "/srv/daten");
}

TEST_F(StarterRun, UnexaminableDataFolderAnsweredYesWritesThePlaceholderAndLaunches) {
    m.files.unexaminable.insert("/srv/daten/");
    m.dialogs.answers = {MsgResult::Yes};
    EXPECT_EQ(RunStarter(m.platform, ""), Outcome::Launched);
    EXPECT_EQ(m.profile.Value(kIni, "Datendatei", "Pfad"), "/tmp/error52/");
    auto lines = Trace();
    auto at = std::find(lines.begin(), lines.end(), "Result             : Y");
    ASSERT_NE(at, lines.end());
    EXPECT_EQ(*(at + 1), "New folder         : /tmp/error52/");
    EXPECT_EQ(*(at + 2), "Continue start     : OK");
    EXPECT_EQ(*(at + 3), "");
    EXPECT_EQ(*(at + 4), "*** Check Office 14.0 ***");
    EXPECT_EQ(m.processes.started.size(), 1u);
}

TEST_F(StarterRun, UnexaminableDataFolderCancelledLeavesTheSettingAndLaunches) {
    m.files.unexaminable.insert("/srv/daten/");
    m.dialogs.answers = {MsgResult::Cancel};
    EXPECT_EQ(RunStarter(m.platform, ""), Outcome::Launched);
    EXPECT_EQ(m.profile.Value(kIni, "Datendatei", "Pfad"), "/srv/daten");
    auto lines = Trace();
    auto at = std::find(lines.begin(), lines.end(), "Result             : C");
    ASSERT_NE(at, lines.end());
    EXPECT_EQ(*(at + 1), "Try to continue    : OK");
}

TEST_F(StarterRun, AbsoluteUpdateStoreNeverExaminesTheDataFolder) {
    m.files.unexaminable.insert("/srv/daten/");
    m.profile.Set(kIni, "Update", "Pfad", "/updates");
    EXPECT_EQ(RunStarter(m.platform, ""), Outcome::Launched);
    EXPECT_TRUE(m.dialogs.shown.empty());
    auto lines = Trace();
    auto at = std::find(lines.begin(), lines.end(), "*** Check Zequora UpdateStore ***");
    ASSERT_NE(at, lines.end());
    EXPECT_EQ(*(at + 1), "Check Update       : /updates/zqmupd.exe");
    EXPECT_EQ(*(at + 2), "Result             : Not found");
}

TEST_F(StarterRun, MissingDataFolderIsNotFound) {
    m.files.dirs.erase("/srv/daten");
    EXPECT_EQ(RunStarter(m.platform, ""), Outcome::Launched);
    auto lines = Trace();
    auto at = std::find(lines.begin(), lines.end(), "Check Datapath     : /srv/daten/");
    ASSERT_NE(at, lines.end());
    EXPECT_EQ(*(at + 1), "Result             : Not found");
    EXPECT_EQ(*(at + 2), "");
}

}  // namespace
