// The update window's logic against real registry, profile and file adapters on temporary
// folders, with the window, boxes, shell and web recorded.
#include <filesystem>
#include <memory>

#include <gtest/gtest.h>

#include "common/RegistryAccess.h"
#include "platform/posix/PosixFiles.h"
#include "platform/posix/ProfileFiles.h"
#include "platform/posix/RegistryStore.h"
#include "support/TestSupport.h"
#include "update/UpdateContext.h"
#include "update/frmMain/frmMain.h"
#include "update/UpdateFakes.h"

namespace {

namespace fs = std::filesystem;
using zq::MsgButtons;
using zq::MsgIcon;
using zq::MsgResult;
using zq::update::FrmMain;
using zq::update::UpdateContext;

constexpr const char* kBase = "https://updates.test";
constexpr const char* kManager = "ZEQUORA - Manager 4";
constexpr const char* kClient = "ZEQUORA - Client 4";
constexpr const char* kOffer =
    "Download erfolgreich ausgeführt.\r\n\r\nWollen Sie nun auch gleich den anderen "
    "Programmteil herunterladen?";

class FrmMainTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(prog);
        fs::create_directories(data);
        fs::create_directories(tmp / "reg");
        web.resources[std::string(kBase) + "/zqmupd.exe"] = "MZ manager installer";
        web.resources[std::string(kBase) + "/zqcupd.exe"] = "MZ client installer";
    }

    void StandardInstallation() {
        zqtest::WriteFile(prog + "/zqm.ini", "[Datendatei]\r\nPfad=  " + data + "  \r\n");
        zqtest::WriteFile(prog + "/zqu.ini", std::string("[Server]\r\nAdresse=") + kBase + "/\r\n");
    }

    void Load() {
        ctx = std::make_unique<UpdateContext>(reg, profile, files, env, shell, dialogs, &web);
        frm = std::make_unique<FrmMain>(*ctx, view);
        frm->FormLoad();
    }

    std::string Store() const { return data + "/UpdStore/"; }

    zqtest::TempDir tmp;
    std::string prog = tmp / "prog";
    std::string data = tmp / "data";
    zq::posix::RegistryStore reg{tmp / "reg"};
    zq::posix::ProfileFiles profile;
    zq::posix::PosixFiles files;
    zqtest::FakeEnvironment env{prog + "/zqu"};
    zqtest::RecordingShell shell;
    zqtest::ScriptedDialogs dialogs;
    zqtest::FakeWeb web;
    zqtest::RecordingView view;
    std::unique_ptr<UpdateContext> ctx;
    std::unique_ptr<FrmMain> frm;
};

TEST_F(FrmMainTest, OpeningShowsRecordedAndNewestVersionsAndTheUpdateFolder) {
    StandardInstallation();
    zq::SaveSetting(reg, kManager, "Update", "UpdateVersion", "3.05.123");
    zq::SaveSetting(reg, kManager, "Update", "UpdateDate", "12.03.2024 10:15:00");
    zq::SaveSetting(reg, kClient, "Update", "UpdateVersion", "3.04");
    web.resources[std::string(kBase) + "/iupdate.htm"] =
        "<html>ZQM_Version:3.23.1<br>\r\nZQC_Version:3.05";
    Load();

    EXPECT_EQ(view.Text("frmMain"), "ZEQUORA - Update 4.1");
    EXPECT_EQ(view.Text("lblInfoRegKey"),
              "HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\ ...");
    EXPECT_EQ(view.Text("lblInfoRegSubKeyZQM"), "... ZEQUORA - Manager 4\\Update\\");
    EXPECT_EQ(view.Text("lblInfoRegSubKeyZQC"), "... ZEQUORA - Client 4\\Update\\");
    EXPECT_EQ(view.Text("lblZQMVersionAkt"), "3.05.1");
    EXPECT_EQ(view.Text("lblZQMInstDat"), "12.03.2024 10:15:00");
    EXPECT_EQ(view.Text("lblZQCVersionAkt"), "3.04");
    EXPECT_EQ(view.Text("lblZQCInstDat"), "---");
    EXPECT_EQ(view.Text("lblUpdStorePfad"), Store());
    EXPECT_TRUE(view.Enabled("cmdExplorer"));
    EXPECT_TRUE(view.Enabled("picExplorer"));
    EXPECT_EQ(web.fetched, std::vector<std::string>{std::string(kBase) + "/iupdate.htm"});
    EXPECT_EQ(view.Text("lblZQMVersionNeu"), "3.23.1");
    EXPECT_EQ(view.Text("lblZQCVersionNeu"), "3.05");
    EXPECT_EQ(view.Text("cmdHistorie"), "&Historie anzeigen");
    EXPECT_EQ(view.Text("cmdOK"), "&Schließen");
    EXPECT_EQ(view.Text("Frame2"), "ZEQUORA Manager ");
    EXPECT_TRUE(view.standardStyle.empty());
    EXPECT_TRUE(view.notes.empty());
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_FALSE(fs::exists(Store())) << "opening the window creates nothing";
}

TEST_F(FrmMainTest, DataFolderComesFromTheClientOnlyWhenZqmIniGivesNone) {
    zqtest::WriteFile(prog + "/zqc.ini", "");
    zq::SaveSetting(reg, kClient, "Settings", "01", data + "/zqdata.mdb");

    Load();  // no zqm.ini: the Client's data file decides
    EXPECT_EQ(ctx->glDataFolder, data + "/");
    EXPECT_EQ(view.Text("lblUpdStorePfad"), Store());

    // zqm.ini names a folder that is gone: no update folder, even with a Client present.
    zqtest::WriteFile(prog + "/zqm.ini", "[Datendatei]\r\nPfad=" + tmp / "gone" + "\r\n");
    view = {};
    Load();
    EXPECT_EQ(ctx->glDataFolder, "");
    EXPECT_EQ(ctx->glUpdateFolder, "");
    EXPECT_EQ(view.Text("lblUpdStorePfad"), "");
    EXPECT_FALSE(view.Enabled("cmdExplorer"));
    EXPECT_FALSE(view.Enabled("picExplorer"));
}

TEST_F(FrmMainTest, NothingInstalledShowsDashesAndNoFolder) {
    Load();
    EXPECT_EQ(view.Text("lblZQMVersionAkt"), "---");
    EXPECT_EQ(view.Text("lblZQMInstDat"), "---");
    EXPECT_EQ(view.Text("lblUpdStorePfad"), "");
    EXPECT_FALSE(view.Enabled("cmdExplorer"));
    EXPECT_TRUE(web.fetched.empty()) << "no server configured, nothing fetched";
    EXPECT_EQ(view.Text("lblZQMVersionNeu"), "");
    EXPECT_EQ(view.Text("lblZQCVersionNeu"), "");
}

TEST_F(FrmMainTest, UnusableServerAddressOrPageLeavesNewestEmptyWithANote) {
    zqtest::WriteFile(prog + "/zqm.ini", "[Datendatei]\r\nPfad=" + data + "\r\n");
    zqtest::WriteFile(prog + "/zqu.ini", "[Server]\r\nAdresse=http://updates.test\r\n");
    Load();
    EXPECT_TRUE(web.fetched.empty());
    ASSERT_EQ(view.notes.size(), 1u);
    EXPECT_NE(view.notes[0].find("https"), std::string::npos) << view.notes[0];
    dialogs.answers = {MsgResult::Ok};
    frm->Click("cmdDownloadZQM");
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_NE(dialogs.boxes[0].text.find("keine https-Adresse"), std::string::npos);
    EXPECT_TRUE(web.downloads.empty());
    dialogs.boxes.clear();

    // A reachable server without the page: empty versions and the reason as a note.
    zqtest::WriteFile(prog + "/zqu.ini", std::string("[Server]\r\nAdresse=") + kBase + "\r\n");
    view = {};
    Load();
    EXPECT_EQ(view.Text("lblZQMVersionNeu"), "");
    ASSERT_EQ(view.notes.size(), 1u);
    EXPECT_NE(view.notes[0].find("404"), std::string::npos) << view.notes[0];
    EXPECT_TRUE(dialogs.boxes.empty()) << "a failed fetch shows no message box";
}

TEST_F(FrmMainTest, ManifestSwitchesBothDownloadButtonsToStandardStyle) {
    zqtest::WriteFile(prog + "/zqu.exe.manifest", "<assembly/>");
    Load();
    EXPECT_EQ(view.standardStyle,
              (std::set<std::string>{"cmdDownloadZQM", "cmdDownloadZQC"}));
}

TEST_F(FrmMainTest, FirstDownloadCreatesTheStoreAndAnswerNoOpensItAndCloses) {
    StandardInstallation();
    Load();
    dialogs.answers = {MsgResult::No};
    frm->Click("cmdDownloadZQM");

    EXPECT_EQ(zqtest::ReadFile(Store() + "zqmupd.exe"), "MZ manager installer");
    EXPECT_EQ(web.downloads,
              std::vector<std::string>{std::string(kBase) + "/zqmupd.exe -> " + Store() + "zqmupd.exe"});
    ASSERT_EQ(dialogs.boxes.size(), 1u) << "no overwrite question for a new file";
    EXPECT_EQ(dialogs.boxes[0].text, kOffer);
    EXPECT_EQ(dialogs.boxes[0].title, "ZEQUORA Update  -  4.01");
    EXPECT_EQ(dialogs.boxes[0].icon, MsgIcon::Information);
    EXPECT_EQ(dialogs.boxes[0].buttons, MsgButtons::YesNoCancel);
    EXPECT_EQ(shell.requests, std::vector<std::string>{"explore " + Store()});
    EXPECT_TRUE(view.closed);
    EXPECT_TRUE(ctx->glClosed);
    EXPECT_EQ(ctx->glDownloadCount, 1);
    EXPECT_EQ(ctx->glLastPart, zq::update::ProductPart::Manager);
    EXPECT_EQ(view.busyChanges, (std::vector<bool>{true, false}));
    EXPECT_EQ(view.repaints, 1);
    ASSERT_FALSE(view.progress.empty());
    EXPECT_EQ(view.progress.back().first, view.progress.back().second);
}

TEST_F(FrmMainTest, CancelAtTheOfferThenTheSameButtonAgainEndsWithTheSecondSuccess) {
    StandardInstallation();
    Load();
    dialogs.answers = {MsgResult::Cancel};
    frm->Click("cmdDownloadZQM");
    EXPECT_FALSE(view.closed);
    dialogs.answers = {MsgResult::Yes, MsgResult::Ok};
    frm->Click("cmdDownloadZQM");
    ASSERT_EQ(dialogs.boxes.size(), 3u);
    EXPECT_NE(dialogs.boxes[1].text.find("bereits vorhanden"), std::string::npos);
    EXPECT_EQ(dialogs.boxes[2].text, "Download erfolgreich ausgeführt.");
    EXPECT_TRUE(view.closed);
    EXPECT_EQ(web.downloads.size(), 2u);
}

TEST_F(FrmMainTest, FailedDownloadReportsTheStatusAndKeepsTheWindow) {
    StandardInstallation();
    web.resources.erase(std::string(kBase) + "/zqmupd.exe");
    Load();
    dialogs.answers = {MsgResult::Ok};
    frm->Click("cmdDownloadZQM");
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text, "Fehler beim Download.\r\n\r\nFehler: 404 / HTTP status 404");
    EXPECT_EQ(dialogs.boxes[0].icon, MsgIcon::Stop);
    EXPECT_EQ(ctx->glDownloadCount, 0);
    EXPECT_EQ(ctx->glLastResult, 404);
    EXPECT_FALSE(view.closed);
    EXPECT_TRUE(shell.requests.empty());

    // The failure does not count: the next success is a first success with the offer.
    dialogs.answers = {MsgResult::Cancel};
    frm->Click("cmdDownloadZQC");
    EXPECT_EQ(dialogs.boxes.back().text, kOffer);
    EXPECT_EQ(ctx->glLastResult, 0);
}

TEST_F(FrmMainTest, WithoutUpdateFolderOrServerADownloadFailsWithoutANetworkRequest) {
    zqtest::WriteFile(prog + "/zqu.ini", std::string("[Server]\r\nAdresse=") + kBase + "\r\n");
    Load();  // no data folder known
    dialogs.answers = {MsgResult::Ok};
    frm->Click("cmdDownloadZQM");
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text.rfind("Fehler beim Download.\r\n\r\nFehler: ", 0), 0u);
    EXPECT_TRUE(web.downloads.empty());

    zqtest::WriteFile(prog + "/zqu.ini", "");
    zqtest::WriteFile(prog + "/zqm.ini", "[Datendatei]\r\nPfad=" + data + "\r\n");
    view = {};
    Load();
    dialogs.answers = {MsgResult::Ok};
    frm->Click("cmdDownloadZQC");
    EXPECT_NE(dialogs.boxes.back().text.find("Adresse"), std::string::npos);
    EXPECT_TRUE(web.downloads.empty());
    EXPECT_FALSE(fs::exists(Store() + "zqcupd.exe"));
}

TEST_F(FrmMainTest, FolderButtonOpensOrAsksBeforeCreating) {
    StandardInstallation();
    Load();
    const std::string question = "Das ZEQUORA Update-Verzeichnis'" + Store() +
                                 "' ist nicht vorhanden.\r\n\r\nSoll es erstellt werden?";

    dialogs.answers = {MsgResult::Cancel};
    frm->Click("cmdExplorer");
    EXPECT_TRUE(shell.requests.empty());
    EXPECT_FALSE(fs::exists(Store()));

    dialogs.answers = {MsgResult::No};
    frm->Click("picExplorer");
    EXPECT_EQ(shell.requests, std::vector<std::string>{"explore " + data + "/"});
    EXPECT_FALSE(fs::exists(Store()));

    dialogs.answers = {MsgResult::Yes};
    frm->Click("cmdExplorer");
    EXPECT_TRUE(fs::is_directory(Store()));
    EXPECT_EQ(shell.requests.back(), "explore " + Store());

    frm->Click("cmdExplorer");  // exists now: no question
    EXPECT_EQ(dialogs.boxes.size(), 3u);
    for (const auto& box : dialogs.boxes) {
        EXPECT_EQ(box.text, question);
        EXPECT_EQ(box.icon, MsgIcon::Question);
    }
    EXPECT_EQ(shell.requests.size(), 3u);
    EXPECT_FALSE(view.closed);
}

TEST_F(FrmMainTest, HistoryOpensTheServersAddressAndReportsFailures) {
    StandardInstallation();
    Load();
    frm->Click("cmdHistorie");
    EXPECT_EQ(shell.requests, std::vector<std::string>{std::string("open ") + kBase +
                                                       "/download/update.txt"});
    EXPECT_TRUE(dialogs.boxes.empty());

    shell.openSucceeds = false;
    dialogs.answers = {MsgResult::Ok};
    frm->Click("cmdHistorie");
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text.rfind("Fehler: ", 0), 0u);
    EXPECT_EQ(dialogs.boxes[0].icon, MsgIcon::Information);
    EXPECT_NE(ctx->glLastResult, 0);
}

}  // namespace
