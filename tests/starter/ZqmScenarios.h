#pragma once
// The Manager start program's end-to-end scenarios, written once: each platform's test
// derives its fixture from Installation (a temporary installation with the stand-in database
// program, and how it starts the real program and answers its boxes) and runs them, adding
// what only it can check.
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/Dialogs.h"
#include "platform/Processes.h"
#include "support/Scenario.h"
#include "starter/Global.h"
#include "starter/ZqmTraceLines.h"

namespace zqtest::zqm {

using RunResult = ScenarioRun;

class Installation {
public:
    virtual ~Installation() = default;
    virtual std::string Sep() = 0;
    virtual std::string Prog() = 0;  // the program folder, where the front end lies
    virtual ZqmPaths Paths() = 0;    // the folders as the trace names them
    virtual void Write(const std::string& path, const std::string& content) = 0;
    virtual std::string Read(const std::string& path) = 0;
    virtual bool Exists(const std::string& path) = 0;
    virtual void Remove(const std::string& path) = 0;
    // Neither zqm.ini nor an Access the registry knows: a first start on a new computer.
    virtual void WithoutAccess() = 0;
    // An update installer with the file version a.b.c.d in the data folder's update store.
    virtual void UpdateInstaller(const std::string& version) = 0;
    // Runs the program with the arguments, answering its boxes in turn.
    virtual RunResult Run(const std::vector<std::string>& args, const std::vector<zq::MsgResult>& answers) = 0;
    // What the stand-in database program noted of its start, waited for a bounded time; the
    // note goes, so that the next start writes its own.
    virtual std::string StandinReport() = 0;
    // The command line of the installer's start, as the system would show it, waited for a
    // bounded time; the note goes.
    virtual std::string InstallerStart() = 0;
    // Whether the stand-in database program or an installer noted a start, now.
    virtual bool AnythingStarted() = 0;
    // A data folder the system cannot examine (error 52), as zqm.ini names it, and the folder
    // the start puts in its place.
    virtual std::string UnexaminableFolder() = 0;
    virtual std::string Error52Folder() = 0;

    std::string Path(const std::string& name) { return Prog() + Sep() + name; }
    std::vector<std::string> Trace() {
        std::vector<std::string> lines = CrLfLines(Read(Path("ZQM_Start_Trace.txt")));
        if (lines.size() > 1 && lines[1].rfind("Date/Time          : ", 0) == 0 && lines[1].size() > 25)
            lines[1] = "Date/Time          : *";
        return lines;
    }
    std::vector<std::string> Tail(std::size_t n) {
        const auto lines = Trace();
        if (lines.size() < n) return lines;
        return {lines.end() - static_cast<long>(n), lines.end()};
    }
    bool Traced(const std::string& line) {
        const auto lines = Trace();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
};

inline void LaunchStartsTheDatabaseProgramWithTheFrontEndAndTheCommandLine(Installation& in) {
    in.Write(in.Path("zqm.mde"), "old");
    EXPECT_EQ(in.Run({"/excl", "a b"}, {}).exitCode, 0);
    EXPECT_FALSE(in.Exists(in.Path("zqm.mde"))) << "the old front end goes";
    EXPECT_EQ(in.Trace(), LaunchTrace(in.Paths(), "/excl \"a b\""));
    EXPECT_EQ(in.StandinReport(),
              "runtime \"" + in.Path("zqm.zqf") + "\" version 4.1.23 arguments 2: [/excl] [a b]\n");

    // A second start finds its entries and overwrites the trace.
    EXPECT_EQ(in.Run({}, {}).exitCode, 0);
    const auto again = in.Trace();
    ASSERT_GT(again.size(), 14u);
    EXPECT_EQ(again[14], "glStartParm        : ");
    EXPECT_EQ(in.Tail(4)[0], "Command            : \"" + in.Paths().office + in.Sep() + "msaccess.exe\" /runtime  \"" +
                                 in.Path("zqm.zqf") + "\"  ");
    EXPECT_EQ(std::count(again.begin(), again.end(), "Result             : Entry already exists"), 3);
    EXPECT_EQ(in.StandinReport(), "runtime \"" + in.Path("zqm.zqf") + "\" version 4.1.23 arguments 0:\n");
}

inline void MissingFrontEndShowsTheMessageAndEndsWithTheFooter(Installation& in) {
    in.Remove(in.Path("zqm.zqf"));
    in.Write(in.Path("zqm.mde"), "old");
    const RunResult r = in.Run({}, {zq::MsgResult::Ok});
    EXPECT_EQ(r.exitCode, 1);
    const auto tail = MissingFrontEndTail(in.Path("zqm.zqf"));
    EXPECT_EQ(in.Tail(tail.size()), tail);
    EXPECT_TRUE(in.Exists(in.Path("zqm.mde"))) << "the old front end stays";
    if (!r.boxes) return;
    ASSERT_EQ(r.boxes->size(), 1u);
    EXPECT_EQ((*r.boxes)[0].title, "ZEQUORA Manager");
    EXPECT_NE((*r.boxes)[0].text.find("Missing program file: [" + in.Path("zqm.zqf") + "]"), std::string::npos)
        << (*r.boxes)[0].text;
}

inline void NoAccessOnAFirstStartWritesTheMarkersAndNamesAccess2016(Installation& in) {
    in.WithoutAccess();
    const RunResult r = in.Run({}, {zq::MsgResult::Ok});
    EXPECT_EQ(r.exitCode, 1);
    const std::string ini = in.Read(in.Path("zqm.ini"));
    for (const char* key : {"Version=X", "Bit=X", "Pfad=X", "Netzwerk=X"})
        EXPECT_NE(ini.find(key), std::string::npos) << key << " in\n" << ini;
    EXPECT_TRUE(in.Traced("Data Network Cfg   : "));
    EXPECT_TRUE(in.Traced("--- Change Version : 10.0 --> 16.0 ----------------------"));
    EXPECT_TRUE(in.Traced("Version            : 16.0/32 bit"));
    const auto tail = in.Tail(6);
    ASSERT_EQ(tail.size(), 6u);
    EXPECT_EQ(tail[0], "Error              : Access 2016 oder Access 2016 Runtime nicht gefunden oder "
                       "nicht installiert!");
    EXPECT_EQ(tail[3], "");
    EXPECT_EQ(tail[5], "[Verweise]");
    if (r.boxes) {
        ASSERT_EQ(r.boxes->size(), 1u);
        EXPECT_EQ((*r.boxes)[0].title, "ZEQUORA Manager");
    }

    // The next start reads the markers back.
    (void)in.Run({}, {zq::MsgResult::Ok});
    EXPECT_TRUE(in.Traced("Data Network Cfg   : Not Set"));
}

inline void FrontEndThatIsNoDatabaseEndsTheCheckButIsStillLaunched(Installation& in) {
    in.UpdateInstaller("4.1.24.0");
    in.Write(in.Path("zqm.zqf"), "this is not a database\r\n");
    EXPECT_EQ(in.Run({"/x"}, {}).exitCode, 0);
    const auto lines = in.Trace();
    const auto at = std::find(lines.begin(), lines.end(), "Update Version     : 4.1.24.0");
    ASSERT_NE(at, lines.end());
    ASSERT_LT(at + 2, lines.end());
    EXPECT_EQ(*(at + 1), "");
    EXPECT_EQ(*(at + 2), "*** Check Office 14.0 ***");
    EXPECT_EQ(in.Tail(4)[0].rfind("Command            : ", 0), 0u);
    // The stand-in was started and itself refuses the file.
    EXPECT_NE(in.StandinReport().find("failed"), std::string::npos);
}

// No ends the start; no answer keeps the entry and goes on; Yes puts the placeholder in.
inline void DataPathThatCannotBeExaminedAsksAndFollowsTheAnswer(Installation& in) {
    const std::string broken = in.UnexaminableFolder();
    in.Write(in.Path("zqm.ini"), "[Datenbasis]\r\nVersion=14.0\r\n[Datendatei]\r\nPfad=" + broken + "\r\n");
    RunResult r = in.Run({}, {zq::MsgResult::No});
    EXPECT_EQ(r.exitCode, zq::starter::kExitStopped);
    const std::vector<std::string> tail = {
        "Check Datapath     : " + broken,
        "Result             : Not found",
        "Error              : 52 / bad file name or number",
        "Abfrage            : Neuzuweisung 'Y/N/C'",
        "Result             : N",
        "Exit App           : OK",
    };
    EXPECT_EQ(in.Tail(tail.size()), tail);
    EXPECT_FALSE(in.AnythingStarted());
    if (r.boxes) {
        ASSERT_EQ(r.boxes->size(), 1u);
        EXPECT_EQ((*r.boxes)[0].title, "ZEQUORA Startprogramm  Fehler");
        EXPECT_EQ((*r.boxes)[0].text.rfind("Fehler 52 / Dateiname oder -nummer falsch", 0), 0u) << (*r.boxes)[0].text;
    }

    EXPECT_EQ(in.Run({}, {zq::MsgResult::Cancel}).exitCode, 0);
    EXPECT_TRUE(in.Traced("Try to continue    : OK"));
    EXPECT_NE(in.Read(in.Path("zqm.ini")).find("Pfad=" + broken), std::string::npos);
    EXPECT_EQ(in.Tail(1)[0], "[Verweise]");

    EXPECT_EQ(in.Run({}, {zq::MsgResult::Yes}).exitCode, 0);
    const auto lines = in.Trace();
    const auto at = std::find(lines.begin(), lines.end(), "Result             : Y");
    ASSERT_NE(at, lines.end());
    ASSERT_LT(at + 2, lines.end());
    EXPECT_EQ(*(at + 1), "New folder         : " + in.Error52Folder());
    EXPECT_EQ(*(at + 2), "Continue start     : OK");
    EXPECT_NE(in.Read(in.Path("zqm.ini")).find("Pfad=" + in.Error52Folder()), std::string::npos);
    EXPECT_EQ(in.Tail(1)[0], "[Verweise]");
}

// Cancel at the offer of a newer installer, or at the question about its log, ends the start
// without the trace's footer and starts nothing.
inline void UpdateOfferAndLogQuestionCancelledEndWithoutFooter(Installation& in) {
    in.UpdateInstaller("4.1.24.0");
    RunResult r = in.Run({}, {zq::MsgResult::Cancel});
    EXPECT_EQ(r.exitCode, zq::starter::kExitStopped);
    const std::vector<std::string> tail = {
        "Update Version     : 4.1.24.0",
        "Current Version    : 4.1.23.0",
        "Result             : Needed",
        "Run Update         : Canceled",
    };
    EXPECT_EQ(in.Tail(tail.size()), tail);
    if (r.boxes) {
        ASSERT_EQ(r.boxes->size(), 1u);
        EXPECT_EQ((*r.boxes)[0].title, "ZEQUORA Startprogramm  Hinweis");
        EXPECT_NE((*r.boxes)[0].text.find("Diese Version: 4.1.23.0"), std::string::npos) << (*r.boxes)[0].text;
        EXPECT_NE((*r.boxes)[0].text.find("Neue Version: 4.1.24.0"), std::string::npos);
    }

    in.Write(in.Path("zqm.ini"), in.Read(in.Path("zqm.ini")) + "[Update]\r\nLogCreate=X\r\n");
    r = in.Run({}, {zq::MsgResult::Yes, zq::MsgResult::Cancel});
    EXPECT_EQ(r.exitCode, zq::starter::kExitStopped);
    EXPECT_EQ(in.Tail(2), (std::vector<std::string>{"Result             : Needed", "   Run Update     : Canceled"}));
    if (r.boxes) {
        ASSERT_EQ(r.boxes->size(), 2u);
        EXPECT_EQ((*r.boxes)[1].title, "ZEQUORA Startprogramm  Abfrage");
    }
    EXPECT_FALSE(in.AnythingStarted());
    EXPECT_FALSE(in.Exists(in.Paths().data + in.Sep() + "UpdStore" + in.Sep() + "ZQM_Update_Trace.txt"));
}

// Arguments with quotes, blanks, backslashes and shell characters, some 8000 characters in
// all, reach the database program unchanged and run nothing.
inline void ArgumentsArriveUnchangedAndRunNothing(Installation& in) {
    std::vector<std::string> args = {"/excl", "a b", "/cmd", "a \"quoted\" word", "$(touch " + in.Path("pwned") + ")",
                                     "; rm -rf / | & < > *", "back\\slash\\\\\"", "`id`", "%PATH%"};
    std::string filler;
    while (filler.size() < 7800) filler += "x\"y z\\ ";
    args.push_back(filler);
    EXPECT_EQ(in.Run(args, {}).exitCode, 0);
    EXPECT_TRUE(in.Traced("glStartParm        : " + zq::JoinCommandLine(args)));
    std::string expected = "runtime \"" + in.Path("zqm.zqf") + "\" version 4.1.23 arguments " +
                           std::to_string(args.size()) + ":";
    for (const std::string& a : args) expected += " [" + a + "]";
    EXPECT_EQ(in.StandinReport(), expected + "\n");
    EXPECT_FALSE(in.Exists(in.Path("pwned")));
}

// Yes to the offer of a newer installer: it starts silently with its log instead of the
// Manager, and the update history notes it.
inline void UpdateInstallerIsStartedWithItsCommandLineAndNoted(Installation& in) {
    in.UpdateInstaller("4.1.24.0");
    in.Write(in.Path("zqm.ini"), in.Read(in.Path("zqm.ini")) + "[Update]\r\nLogCreate=J\r\nLogPrefix=C\r\n");
    const RunResult r = in.Run({}, {zq::MsgResult::Yes});
    EXPECT_EQ(r.exitCode, zq::starter::kExitUpdateStarted);
    const ZqmPaths p = in.Paths();
    const std::string store = p.dataTraced + p.sep + "UpdStore" + p.sep;
    const auto quoted = [](const std::string& path) {
        return path.find(' ') == std::string::npos ? path : "\"" + path + "\"";
    };
    const std::string log = store + "PC_12_zqmupd_Log.txt";
    const std::string command = quoted(store + "zqmupd.exe") + " /SILENT /SP- /LOG=" + quoted(log);
    const std::vector<std::string> tail = {
        "Result             : Needed",
        "   Check Logfile  : " + log,
        "Run Update         : " + command,
        "",
        "*** EXIT program ***",
    };
    EXPECT_EQ(in.Tail(tail.size()), tail);
    EXPECT_EQ(in.InstallerStart(), command);
    EXPECT_FALSE(in.AnythingStarted()) << "the front end is not started";
    const auto history = CrLfLines(in.Read(store + "ZQM_Update_Trace.txt"));
    ASSERT_EQ(history.size(), 3u);
    EXPECT_NE(history[0].find(" ZEQUORA Manager : Update Version 4.1.23.0 To Version 4.1.24.0 / PC 12 / "
                              "anna / Using Starter Version: 4.01.0.23"),
              std::string::npos)
        << history[0];
    EXPECT_NE(history[1].find(" Run Update      : " + command), std::string::npos) << history[1];
    EXPECT_NE(history[2].find(" -----------"), std::string::npos);
}

}  // namespace zqtest::zqm

// The scenarios as tests of a fixture that derives from Installation.
#define ZQ_ZQM_SCENARIO_TESTS(Fixture)                                                                     \
    ZQ_SCENARIO_TEST(Fixture, zqtest::zqm, LaunchStartsTheDatabaseProgramWithTheFrontEndAndTheCommandLine) \
    ZQ_SCENARIO_TEST(Fixture, zqtest::zqm, MissingFrontEndShowsTheMessageAndEndsWithTheFooter)             \
    ZQ_SCENARIO_TEST(Fixture, zqtest::zqm, NoAccessOnAFirstStartWritesTheMarkersAndNamesAccess2016)        \
    ZQ_SCENARIO_TEST(Fixture, zqtest::zqm, FrontEndThatIsNoDatabaseEndsTheCheckButIsStillLaunched) \
    ZQ_SCENARIO_TEST(Fixture, zqtest::zqm, DataPathThatCannotBeExaminedAsksAndFollowsTheAnswer) \
    ZQ_SCENARIO_TEST(Fixture, zqtest::zqm, UpdateOfferAndLogQuestionCancelledEndWithoutFooter) \
    ZQ_SCENARIO_TEST(Fixture, zqtest::zqm, UpdateInstallerIsStartedWithItsCommandLineAndNoted) \
    ZQ_SCENARIO_TEST(Fixture, zqtest::zqm, ArgumentsArriveUnchangedAndRunNothing)
