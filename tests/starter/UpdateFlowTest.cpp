// The update check over files in memory: which installers are refused, the questions, the log
// name, the history file and the installer's command line.
#include <gtest/gtest.h>

#include "StarterTestKit.h"
#include "platform/Processes.h"
#include "starter/Update.h"
#include "support/PeFixture.h"

using namespace zq::starter;

namespace {

class UpdateFlow : public ::testing::Test {
protected:
    zqtest::Installation i;
    std::string store, exe;
    void SetUp() override { UseDataFolder(i.data); }
    void UseDataFolder(const std::string& folder) {
        i.Ini("Datendatei", "Pfad", folder);
        store = folder + "/UpdStore/";
        exe = store + "zqmupd.exe";
        i.files.Put(exe, zqtest::MakePeWithVersion(4, 1, 24, 0));
    }
    Flow Check() { return CheckUpdateStore(i.ctx); }
};

TEST_F(UpdateFlow, NewerInstallerOfferedAndDenied) {
    i.Answer("n\n");
    EXPECT_EQ(Check(), Flow::Continue);
    EXPECT_EQ(i.From("*** Check Zequora UpdateStore ***"),
              (std::vector<std::string>{"*** Check Zequora UpdateStore ***", "Check Datapath     : " + i.data + "/",
                                        "Result             : Found", "Check Update       : " + exe,
                                        "Result             : Found", "Update Version     : 4.1.24.0",
                                        "Current Version    : 4.1.23.0", "Result             : Needed",
                                        "Run Update         : Denied"}));
    EXPECT_NE(i.boxes.str().find("== ZEQUORA Startprogramm  Hinweis == question == Ja*/Nein/Abbrechen\n"
                                 "Es wurde eine neuere Version des Zequora Managers gefunden.\n\n"
                                 "Diese Version: 4.1.23.0\nNeue Version: 4.1.24.0\n\n"),
              std::string::npos)
        << i.boxes.str();
    EXPECT_TRUE(i.processes.started.empty());
}

TEST_F(UpdateFlow, RefusesWhatIsNotACompleteProgramFile) {
    const std::string full = zqtest::MakePeWithVersion(9, 9, 9, 0);
    zqtest::PeOptions outside;
    outside.dataOutsideFile = true;
    for (const std::string& content : {std::string(), std::string("<html>404 Not Found</html>"),
                                       full.substr(0, zqtest::PeResourceOffset() + 8)}) {
        i.files.Put(exe, content);
        i.trace.OpenOutput();
        EXPECT_EQ(Check(), Flow::Continue);
        EXPECT_EQ(i.Lines().back(), "Update Version     : Not found") << content.size();
    }
    // Offsets outside the file or no version at all read as 0.0.0.0, which is never newer.
    for (const std::string& content : {zqtest::MakePe(outside), zqtest::MakePeWithoutVersion()}) {
        i.files.Put(exe, content);
        i.trace.OpenOutput();
        EXPECT_EQ(Check(), Flow::Continue);
        EXPECT_EQ(i.From("Update Version     : 0.0.0.0").back(), "Result             : Not needed");
    }
    EXPECT_TRUE(i.boxes.str().empty());
}

TEST_F(UpdateFlow, FrontEndWithoutVersionRecord) {
    i.FrontEnd({}, ".23", {});
    EXPECT_EQ(Check(), Flow::Continue);
    EXPECT_EQ(i.Lines().back(), "Current Version    : Error");
    i.files.Put(i.prog + "/zqm.zqf", "no database at all");
    i.trace.OpenOutput();
    EXPECT_EQ(Check(), Flow::Continue);
    EXPECT_EQ(i.Lines().back(), "Update Version     : 4.1.24.0");
}

TEST_F(UpdateFlow, YesWithLogQuotesBlanksAndWritesTheHistory) {
    UseDataFolder("/zq/my daten");
    i.Ini("Update", "LogCreate", "X");
    i.Ini("Update", "LogPrefix", "vtc");
    i.Answer("j\nj\n");
    EXPECT_EQ(Check(), Flow::Exit);
    EXPECT_EQ(i.ctx.outcome, Outcome::InstallerStarted);
    const std::string log = store + "41240_261207080509_PC_12_zqmupd_Log.txt";
    const std::string command = "\"" + exe + "\" /SILENT /SP- /LOG=\"" + log + "\"";
    ASSERT_EQ(i.processes.started, std::vector<std::string>{command});
    EXPECT_EQ(i.processes.styles, std::vector<zq::WindowStyle>{zq::WindowStyle::NormalFocus});
    EXPECT_EQ(zq::SplitCommandLine(command),
              (std::vector<std::string>{exe, "/SILENT", "/SP-", "/LOG=" + log}));
    EXPECT_EQ(i.From("   Check Logfile  : " + log),
              (std::vector<std::string>{"   Check Logfile  : " + log, "Run Update         : " + command, "",
                                        "*** EXIT program ***"}));
    const std::string when = i.clock.FormatGeneral(i.clock.Now()) + " ";
    EXPECT_EQ(zqtest::TextLines(i.files.Content(store + "ZQM_Update_Trace.txt")),
              (std::vector<std::string>{when + "ZEQUORA Manager : Update Version 4.1.23.0 To Version 4.1.24.0 / "
                                               "PC 12 / anna / Using Starter Version: 4.01.0.23",
                                        when + "Run Update      : " + command, when + "-----------"}));
}

TEST_F(UpdateFlow, LogQuestionAnswers) {
    i.Ini("Update", "LogCreate", "x");
    i.Ini("Update", "LogPrefix", "-F");
    i.Answer("j\na\n");
    EXPECT_EQ(Check(), Flow::Exit);
    EXPECT_EQ(i.ctx.outcome, Outcome::LogCanceled);
    EXPECT_EQ(i.Lines().back(), "   Run Update     : Canceled");
    EXPECT_FALSE(i.files.Has(store + "ZQM_Update_Trace.txt"));

    // No: no log, no prefix, so neither the Log folder nor the "-" placement of the history.
    i.trace.OpenOutput();
    i.Answer("j\nn\n");
    EXPECT_EQ(Check(), Flow::Exit);
    EXPECT_EQ(i.processes.started, std::vector<std::string>{exe + " /SILENT /SP-"});
    EXPECT_EQ(i.From("Result             : Needed").at(1), "   Create Log     : Denied");
    EXPECT_TRUE(i.files.Has(store + "ZQM_Update_Trace.txt"));
    EXPECT_FALSE(i.files.Has(store + "Log"));
}

TEST_F(UpdateFlow, PrefixWithoutAskingAndHistoryInTheDataFolder) {
    i.Ini("Update", "LogCreate", "J");
    i.Ini("Update", "LogPrefix", "-SB");
    i.Answer("j\n");
    EXPECT_EQ(Check(), Flow::Exit);
    EXPECT_EQ(i.processes.started,
              std::vector<std::string>{exe + " /SILENT /SP- /LOG=" + store + "Log/anna_zqmupd_Log.txt"});
    EXPECT_TRUE(i.files.Has(i.data + "/ZQM_Update_Trace.txt"));
    const std::string boxes = i.boxes.str();
    EXPECT_EQ(boxes.find("== ZEQUORA"), boxes.rfind("== ZEQUORA")) << "one box only:\n" << boxes;
}

TEST_F(UpdateFlow, OfferCancelledOrInstallerThatCannotStart) {
    i.Answer("a\n");
    EXPECT_EQ(Check(), Flow::Exit);
    EXPECT_EQ(i.ctx.outcome, Outcome::UpdateCanceled);
    EXPECT_EQ(i.Lines().back(), "Run Update         : Canceled");

    i.Ini("Update", "LogCreate", "N");
    i.processes.fail = true;
    i.trace.OpenOutput();
    i.Answer("j\n");
    EXPECT_EQ(Check(), Flow::Continue) << "the Manager is started instead";
    auto lines = i.Lines();
    EXPECT_EQ(lines[lines.size() - 2], "*** EXIT program ***");
    EXPECT_EQ(lines.back(), "Error              : cannot start");
}

}  // namespace
