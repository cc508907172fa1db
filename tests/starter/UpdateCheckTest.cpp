// The update check on a fake machine: where the installer is looked for, which files are
// refused, the offer, the log questions, the history and the installer's command line.
#include <gtest/gtest.h>

#include "StarterFakes.h"
#include "platform/Processes.h"
#include "starter/Update.h"
#include "support/PeFixture.h"
#include "support/TestSupport.h"

using namespace zq::starter;
using namespace zqtest::starter;
using zq::MsgResult;

namespace {

const std::string kIni = "/opt/zq/zqm.ini";
const std::string kFrontEnd = "/opt/zq/zqm.zqf";
const std::string kStore = "/srv/daten/UpdStore/";
const std::string kExe = "/srv/daten/UpdStore/zqmupd.exe";

class UpdateCheck : public ::testing::Test {
protected:
    FakeMachine m;
    zq::TraceLog trace{m.files, "/opt/zq/trace.txt", zq::kStarterLabelWidth};
    StarterContext ctx{m.platform, trace};

    void SetUp() override {
        ctx.glProgramFolder = "/opt/zq";
        ctx.glIniFile = kIni;
        ctx.glFrontEndFile = kFrontEnd;
        m.profile.Set(kIni, "Datendatei", "Pfad", "/srv/daten");
        m.files.AddDir("/srv/daten");
        m.files.AddDir(kStore);
        SetFrontEnd("4.1", ".23", "");
        trace.OpenOutput();
    }
    void SetFrontEnd(const std::string& major, const std::string& minor, const std::string& beta) {
        auto& fe = m.engine.frontEnds[kFrontEnd];
        fe.fields = {{"VI_Major", major}, {"VI_Minor", minor}, {"VI_Beta", beta}};
        if (beta.empty()) fe.fields["VI_Beta"] = zq::dao::Value{};
    }
    void Installer(std::uint16_t a, std::uint16_t b, std::uint16_t c, std::uint16_t d,
                   const std::string& path = kExe) {
        m.files.files[path] = zqtest::MakePeWithVersion(a, b, c, d);
    }
    std::vector<std::string> Lines() { return zqtest::CrLfLines(m.files.files["/opt/zq/trace.txt"]); }
    std::vector<std::string> LinesAfter(const std::string& first) {
        auto lines = Lines();
        auto it = std::find(lines.begin(), lines.end(), first);
        return it == lines.end() ? std::vector<std::string>{} : std::vector<std::string>(it, lines.end());
    }
};

TEST_F(UpdateCheck, NewerInstallerDeniedLetsTheStartGoOn) {
    Installer(4, 1, 24, 0);
    m.dialogs.answers = {MsgResult::No};
    EXPECT_EQ(CheckUpdateStore(ctx), Flow::Continue);
    std::vector<std::string> expected = {
        "*** Check Zequora UpdateStore ***",
        "Check Datapath     : /srv/daten/",
        "Result             : Found",
        "Check Update       : /srv/daten/UpdStore/zqmupd.exe",
        "Result             : Found",
        "Update Version     : 4.1.24.0",
        "Current Version    : 4.1.23.0",
        "Result             : Needed",
        "Run Update         : Denied",
    };
    EXPECT_EQ(Lines(), expected);
    ASSERT_EQ(m.dialogs.shown.size(), 1u);
    EXPECT_EQ(m.dialogs.shown[0].title, "ZEQUORA Startprogramm  Hinweis");
    EXPECT_EQ(m.dialogs.shown[0].icon, zq::MsgIcon::Question);
    EXPECT_EQ(m.dialogs.shown[0].text,
              "Es wurde eine neuere Version des Zequora Managers gefunden.\r\n\r\n"
              "Diese Version: 4.1.23.0\r\nNeue Version: 4.1.24.0\r\n\r\n"
              "Die neue Version wurde bereits heruntergeladen und kann nun sofort installiert "
              "werden.\r\n\r\nSoll das Update jetzt durchgeführt werden?");
    EXPECT_TRUE(m.processes.started.empty());
}

TEST_F(UpdateCheck, OfferCancelledEndsTheProgram) {
    Installer(4, 1, 23, 0);
    SetFrontEnd("4.1", ".23", "_b1");
    m.dialogs.answers = {MsgResult::Cancel};
    EXPECT_EQ(CheckUpdateStore(ctx), Flow::Exit);
    EXPECT_EQ(ctx.outcome, Outcome::UpdateCanceled);
    EXPECT_NE(m.dialogs.shown[0].text.find("Diese Version: 4.1.23_b1\r\nNeue Version: 4.1.23.0"),
              std::string::npos);
    EXPECT_EQ(Lines().back(), "Run Update         : Canceled");
}

TEST_F(UpdateCheck, SameVersionIsNotNeeded) {
    Installer(4, 1, 23, 0);
    EXPECT_EQ(CheckUpdateStore(ctx), Flow::Continue);
    EXPECT_EQ(Lines().back(), "Result             : Not needed");
    EXPECT_TRUE(m.dialogs.shown.empty());
}

TEST_F(UpdateCheck, RefusesWhatIsNotACompleteProgramFile) {
    const std::string full = zqtest::MakePeWithVersion(9, 9, 9, 0);
    for (const std::string& content :
         {std::string(), std::string("<html><body>404 Not Found</body></html>"),
          full.substr(0, zqtest::PeResourceOffset() + 8), std::string("MZ")}) {
        m.files.files[kExe] = content;
        trace.OpenOutput();
        EXPECT_EQ(CheckUpdateStore(ctx), Flow::Continue);
        auto lines = Lines();
        EXPECT_EQ(lines.back(), "Update Version     : Not found") << content.size();
        EXPECT_EQ(lines[lines.size() - 2], "Result             : Found");
    }
    EXPECT_TRUE(m.dialogs.shown.empty());
    EXPECT_EQ(m.engine.opened, 0);
}

TEST_F(UpdateCheck, InstallerWithoutVersionIsNeverNewer) {
    m.files.files[kExe] = zqtest::MakePeWithoutVersion();
    EXPECT_EQ(CheckUpdateStore(ctx), Flow::Continue);
    auto lines = LinesAfter("Update Version     : 0.0.0.0");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2], "Result             : Not needed");
}

TEST_F(UpdateCheck, BadOffsetsInTheVersionResourceDoNotCrash) {
    zqtest::PeOptions bad;
    bad.dataOutsideFile = true;
    m.files.files[kExe] = zqtest::MakePe(bad);
    EXPECT_EQ(CheckUpdateStore(ctx), Flow::Continue);
    zqtest::PeOptions loop;
    loop.loopingTree = true;
    m.files.files[kExe] = zqtest::MakePe(loop);
    trace.OpenOutput();
    EXPECT_EQ(CheckUpdateStore(ctx), Flow::Continue);
    EXPECT_TRUE(m.dialogs.shown.empty());
}

TEST_F(UpdateCheck, FrontEndProblems) {
    Installer(4, 2, 0, 0);
    // Not a database: the check ends without another line.
    m.engine.frontEnds.clear();
    EXPECT_EQ(CheckUpdateStore(ctx), Flow::Continue);
    EXPECT_EQ(Lines().back(), "Update Version     : 4.2.0.0");

    m.engine.frontEnds[kFrontEnd].tables = {"tblOther"};
    trace.OpenOutput();
    EXPECT_EQ(CheckUpdateStore(ctx), Flow::Continue);
    EXPECT_EQ(Lines().back(), "Current Version    : Error");

    m.engine.frontEnds[kFrontEnd] = {};
    SetFrontEnd("", ".23", "");
    trace.OpenOutput();
    EXPECT_EQ(CheckUpdateStore(ctx), Flow::Continue);
    EXPECT_EQ(Lines().back(), "Current Version    : Error");

    // A table without records reads as empty fields.
    m.engine.frontEnds[kFrontEnd].fields.clear();
    trace.OpenOutput();
    EXPECT_EQ(CheckUpdateStore(ctx), Flow::Continue);
    EXPECT_EQ(Lines().back(), "Current Version    : Error");

    // A minor field that is not a number ends the check after the version line.
    SetFrontEnd("4.2", "x", "");
    trace.OpenOutput();
    EXPECT_EQ(CheckUpdateStore(ctx), Flow::Continue);
    EXPECT_EQ(Lines().back(), "Current Version    : 4.2x.0");
    EXPECT_TRUE(m.dialogs.shown.empty());
}

TEST_F(UpdateCheck, YesWithLogWritesHistoryAndStartsTheInstaller) {
    Installer(4, 1, 23, 2);
    SetFrontEnd("4.1", ".23", "_b1");
    m.profile.Set(kIni, "Update", "LogCreate", "X");
    m.profile.Set(kIni, "Update", "LogPrefix", "vtc");
    m.dialogs.answers = {MsgResult::Yes, MsgResult::Yes};
    EXPECT_EQ(CheckUpdateStore(ctx), Flow::Exit);
    EXPECT_EQ(ctx.outcome, Outcome::InstallerStarted);
    const std::string log = kStore + "4123_b2_261207080509_PC_12_zqmupd_Log.txt";
    const std::string command = kExe + " /SILENT /SP- /LOG=" + log;
    ASSERT_EQ(m.processes.started, std::vector<std::string>{command});
    ASSERT_EQ(m.dialogs.shown.size(), 2u);
    EXPECT_EQ(m.dialogs.shown[1].title, "ZEQUORA Startprogramm  Abfrage");
    EXPECT_EQ(m.dialogs.shown[1].text.rfind("Soll der Verlauf des Updates in einer Log-Datei", 0), 0u);
    std::vector<std::string> tail = {
        "Result             : Needed",
        "   Check Logfile  : " + log,
        "Run Update         : " + command,
        "",
        "*** EXIT program ***",
    };
    EXPECT_EQ(LinesAfter("Result             : Needed"), tail);
    EXPECT_FALSE(trace.IsOpen());
    EXPECT_EQ(zqtest::CrLfLines(m.files.files[kStore + "ZQM_Update_Trace.txt"]),
              (std::vector<std::string>{
                  "07.12.2026 08:05:09 ZEQUORA Manager : Update Version 4.1.23_b1 To Version "
                  "4.1.23.2 / PC 12 / anna / Using Starter Version: 4.01.0.23",
                  "07.12.2026 08:05:09 Run Update      : " + command,
                  "07.12.2026 08:05:09 -----------"}));
}

TEST_F(UpdateCheck, LogQuestionCancelledEndsTheProgram) {
    Installer(4, 2, 0, 0);
    m.profile.Set(kIni, "Update", "LogCreate", "x");
    m.dialogs.answers = {MsgResult::Yes, MsgResult::Cancel};
    EXPECT_EQ(CheckUpdateStore(ctx), Flow::Exit);
    EXPECT_EQ(ctx.outcome, Outcome::LogCanceled);
    EXPECT_EQ(Lines().back(), "   Run Update     : Canceled");
    EXPECT_TRUE(m.processes.started.empty());
    EXPECT_FALSE(m.files.files.count(kStore + "ZQM_Update_Trace.txt"));
}

TEST_F(UpdateCheck, LogDeniedSkipsThePrefixAndItsHistoryRule) {
    Installer(4, 2, 0, 0);
    m.profile.Set(kIni, "Update", "LogCreate", "X");
    m.profile.Set(kIni, "Update", "LogPrefix", "-F");
    m.dialogs.answers = {MsgResult::Yes, MsgResult::No};
    EXPECT_EQ(CheckUpdateStore(ctx), Flow::Exit);
    EXPECT_EQ(m.processes.started, std::vector<std::string>{kExe + " /SILENT /SP-"});
    auto tail = LinesAfter("Result             : Needed");
    ASSERT_GE(tail.size(), 2u);
    EXPECT_EQ(tail[1], "   Create Log     : Denied");
    EXPECT_TRUE(m.files.files.count(kStore + "ZQM_Update_Trace.txt"));
    EXPECT_TRUE(m.files.created.empty()) << "no Log folder without a prefix";
}

TEST_F(UpdateCheck, NoLogButPrefixRulesStillApply) {
    Installer(4, 2, 0, 0);
    m.profile.Set(kIni, "Update", "LogCreate", "N");
    m.profile.Set(kIni, "Update", "LogPrefix", "-");
    m.dialogs.answers = {MsgResult::Yes};
    EXPECT_EQ(CheckUpdateStore(ctx), Flow::Exit);
    EXPECT_EQ(m.dialogs.shown.size(), 1u);
    EXPECT_EQ(m.processes.started, std::vector<std::string>{kExe + " /SILENT /SP-"});
    EXPECT_TRUE(m.files.files.count("/srv/daten/ZQM_Update_Trace.txt"));
    auto tail = LinesAfter("Result             : Needed");
    EXPECT_EQ(tail[1].rfind("Run Update         : ", 0), 0u);
}

TEST_F(UpdateCheck, AnyOtherLogSettingLogsWithoutAskingIntoTheLogFolder) {
    Installer(4, 2, 0, 0);
    m.profile.Set(kIni, "Update", "LogCreate", "J");
    m.profile.Set(kIni, "Update", "LogPrefix", "F");
    m.dialogs.answers = {MsgResult::Yes};
    EXPECT_EQ(CheckUpdateStore(ctx), Flow::Exit);
    EXPECT_EQ(m.dialogs.shown.size(), 1u);
    EXPECT_EQ(m.files.created, std::vector<std::string>{kStore + "Log"});
    EXPECT_EQ(m.processes.started,
              std::vector<std::string>{kExe + " /SILENT /SP- /LOG=" + kStore + "Log/zqmupd_Log.txt"});
}

TEST_F(UpdateCheck, PathsWithBlanksAreQuotedForTheInstaller) {
    m.profile.Set(kIni, "Datendatei", "Pfad", "/srv/my daten");
    m.files.AddDir("/srv/my daten");
    m.files.AddDir("/srv/my daten/UpdStore");
    Installer(4, 2, 0, 0, "/srv/my daten/UpdStore/zqmupd.exe");
    m.profile.Set(kIni, "Update", "LogCreate", "J");
    m.profile.Set(kIni, "Update", "LogPrefix", "X");
    m.dialogs.answers = {MsgResult::Yes};
    EXPECT_EQ(CheckUpdateStore(ctx), Flow::Exit);
    const std::string command =
        "\"/srv/my daten/UpdStore/zqmupd.exe\" /SILENT /SP- /LOG=\"/srv/my daten/UpdStore/zqmupd_Log.txt\"";
    EXPECT_EQ(m.processes.started, std::vector<std::string>{command});
    EXPECT_EQ(zq::SplitCommandLine(command),
              (std::vector<std::string>{"/srv/my daten/UpdStore/zqmupd.exe", "/SILENT", "/SP-",
                                        "/LOG=/srv/my daten/UpdStore/zqmupd_Log.txt"}));
    auto history = zqtest::CrLfLines(m.files.files["/srv/my daten/UpdStore/ZQM_Update_Trace.txt"]);
    ASSERT_EQ(history.size(), 3u);
    EXPECT_EQ(history[1], "07.12.2026 08:05:09 Run Update      : " + command);
}

TEST_F(UpdateCheck, InstallerThatCannotStartFallsBackToTheStart) {
    Installer(4, 2, 0, 0);
    m.profile.Set(kIni, "Update", "LogCreate", "N");
    m.processes.fail = true;
    m.dialogs.answers = {MsgResult::Yes};
    EXPECT_EQ(CheckUpdateStore(ctx), Flow::Continue);
    EXPECT_TRUE(trace.IsOpen());
    auto lines = Lines();
    EXPECT_EQ(lines[lines.size() - 2], "*** EXIT program ***");
    EXPECT_EQ(lines.back(), "Error              : cannot start");
}

TEST_F(UpdateCheck, WindowsStorePlaces) {
    m.env.style = zq::PathStyle::Windows;
    ctx.style = zq::PathStyle::Windows;
    m.profile.Set(kIni, "Datendatei", "Pfad", "H:\\Daten");
    m.files.AddDir("H:\\DATEN");
    EXPECT_EQ(CheckUpdateStore(ctx), Flow::Continue);
    EXPECT_EQ(LinesAfter("Check Datapath     : H:\\DATEN\\").at(2),
              "Check Update       : H:\\DATEN\\UpdStore\\zqmupd.exe");

    m.profile.Set(kIni, "Update", "Pfad", "D:\\Updates");
    trace.OpenOutput();
    EXPECT_EQ(CheckUpdateStore(ctx), Flow::Continue);
    EXPECT_EQ(Lines().at(1), "Check Update       : D:\\UPDATES\\zqmupd.exe");
    EXPECT_EQ(ctx.glDataPath, "");

    m.profile.Set(kIni, "Update", "Pfad", "Neu\\zqmupd_41.exe");
    trace.OpenOutput();
    EXPECT_EQ(CheckUpdateStore(ctx), Flow::Continue);
    EXPECT_EQ(Lines().at(3), "Check Update       : H:\\DATEN\\NEU\\ZQMUPD_41.EXE");
}

TEST_F(UpdateCheck, PosixPathsKeepTheirCase) {
    m.profile.Set(kIni, "Update", "Pfad", "Neu/Store");
    m.files.AddDir("/srv/daten/Neu/Store");
    Installer(4, 1, 23, 0, "/srv/daten/Neu/Store/zqmupd.exe");
    EXPECT_EQ(CheckUpdateStore(ctx), Flow::Continue);
    EXPECT_EQ(Lines().at(3), "Check Update       : /srv/daten/Neu/Store/zqmupd.exe");
    EXPECT_EQ(Lines().back(), "Result             : Not needed");
}

TEST_F(UpdateCheck, LogPrefixLetters) {
    ctx.glUpdateStore = kStore;
    m.profile.Set(kIni, "Update", "LogPrefix", " x ");
    EXPECT_EQ(BuildLogPrefix(ctx, "4.1.23_b1"), "");
    m.profile.Set(kIni, "Update", "LogPrefix", "VTC");
    EXPECT_EQ(BuildLogPrefix(ctx, "4.1.23_b1"), "4123_b1_261207080509_PC_12_");
    m.profile.Set(kIni, "Update", "LogPrefix", "ZPU");
    m.env.user = "Anna Maria";
    EXPECT_EQ(BuildLogPrefix(ctx, "4.2"), "261207080509_PC_12_Anna_Maria_");
    m.env.computer.clear();
    m.env.user.clear();
    m.profile.Set(kIni, "Update", "LogPrefix", "CB");
    EXPECT_EQ(BuildLogPrefix(ctx, "4.2"), "");
    m.profile.Set(kIni, "Update", "LogPrefix", "SV");
    EXPECT_EQ(BuildLogPrefix(ctx, "4.2.0.0"), "Log/4200_");
    EXPECT_EQ(ctx.glLogPrefixCfg, "SV");
}

}  // namespace
