// The update window's logic over the registry, profile files and files in memory, with the
// window, boxes, shell and web recorded; the same on every platform.
#include <memory>
#include <sstream>

#include <gtest/gtest.h>

#include "common/RegistryAccess.h"
#include "platform/console/ConsoleUpdateView.h"
#include "common/Sha256.h"
#include "support/PeFixture.h"
#include "support/MemoryFiles.h"
#include "update/UpdateContext.h"
#include "update/frmMain/frmMain.h"
#include "update/funktionen.h"
#include "update/UpdateFakes.h"

namespace {

using zq::MsgButtons;
using zq::MsgIcon;
using zq::MsgResult;
using zq::update::FrmMain;
using zq::update::MainEvent;
using zq::update::UpdateContext;

constexpr const char* kBase = "https://updates.test";
constexpr const char* kManager = "ZEQUORA - Manager 4";
constexpr const char* kClient = "ZEQUORA - Client 4";
constexpr const char* kOffer =
    "Download erfolgreich ausgeführt.\r\n\r\nWollen Sie nun auch gleich den anderen "
    "Programmteil herunterladen?";

// Installers as the server has them: complete Windows program files with their payload.
const std::string kManagerExe = [] {
    zqtest::PeOptions o;
    o.overlay = "manager payload";
    return zqtest::MakePe(o);
}();
const std::string kClientExe = [] {
    zqtest::PeOptions o;
    o.overlay = "client payload";
    return zqtest::MakePe(o);
}();

class FrmMainTest : public ::testing::Test {
protected:
    void SetUp() override {
        files.AddFolder(prog);
        files.AddFolder(data);
        web.files = &files;
        web.resources[std::string(kBase) + "/zqmupd.exe"] = kManagerExe;
        web.resources[std::string(kBase) + "/zqcupd.exe"] = kClientExe;
    }

    void StandardInstallation() {
        files.Put(prog + "/zqm.ini", "[Datendatei]\r\nPfad=  " + data + "  \r\n");
        files.Put(prog + "/zqu.ini", std::string("[Server]\r\nAdresse=") + kBase + "/\r\n");
    }

    void Load() {
        ctx = std::make_unique<UpdateContext>(platform);
        frm = std::make_unique<FrmMain>(*ctx, view);
        frm->FormLoad();
    }

    std::string Store() const { return data + "/UpdStore/"; }

    bool Exists(const std::string& path) { return files.Has(path) || files.IsDirectory(path); }

    std::string prog = "/zq/prog";
    std::string data = "/zq/data";
    zqtest::MemoryRegistry reg;
    zqtest::MemoryFiles files;
    zqtest::MemoryProfile profile{files};
    zqtest::FakeEnvironment env{prog + "/zqu"};
    zqtest::RecordingShell shell;
    zqtest::ScriptedDialogs dialogs;
    zqtest::FakeWeb web;
    zqtest::RecordingView view;
    zqtest::RecordingProcesses processes;
    zqtest::FakeClock clock;
    zq::Platform platform{reg, profile, files, processes, clock, env, shell, dialogs, &web};
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
    EXPECT_FALSE(Exists(Store())) << "opening the window creates nothing";
}

TEST_F(FrmMainTest, DataFolderComesFromTheClientOnlyWhenZqmIniGivesNone) {
    files.Put(prog + "/zqc.ini", "");
    zq::SaveSetting(reg, kClient, "Settings", "01", data + "/zqdata.mdb");

    Load();  // no zqm.ini: the Client's data file decides
    EXPECT_EQ(ctx->glDataFolder, data + "/");
    EXPECT_EQ(view.Text("lblUpdStorePfad"), Store());

    // zqm.ini names a folder that is gone: no update folder, even with a Client present.
    files.Put(prog + "/zqm.ini", "[Datendatei]\r\nPfad=" + std::string("/zq/gone") + "\r\n");
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
    // A download without a server says so in a sentence of its own.
    files.Put(prog + "/zqm.ini", "[Datendatei]\r\nPfad=" + data + "\r\n");
    view = {};
    Load();
    dialogs.answers = {MsgResult::Ok};
    frm->Click("cmdDownloadZQM");
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_NE(dialogs.boxes[0].text.find("Es ist kein Update-Server eingerichtet (zqu.ini, Abschnitt \"Server\", "
                                         "Schlüssel \"Adresse\")."),
              std::string::npos)
        << dialogs.boxes[0].text;
}

TEST_F(FrmMainTest, UnusableServerAddressOrPageLeavesNewestEmptyWithANote) {
    files.Put(prog + "/zqm.ini", "[Datendatei]\r\nPfad=" + data + "\r\n");
    files.Put(prog + "/zqu.ini", "[Server]\r\nAdresse=http://updates.test\r\n");
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
    files.Put(prog + "/zqu.ini", std::string("[Server]\r\nAdresse=") + kBase + "\r\n");
    view = {};
    Load();
    EXPECT_EQ(view.Text("lblZQMVersionNeu"), "");
    ASSERT_EQ(view.notes.size(), 1u);
    EXPECT_NE(view.notes[0].find("404"), std::string::npos) << view.notes[0];
    EXPECT_TRUE(dialogs.boxes.empty()) << "a failed fetch shows no message box";
}

TEST_F(FrmMainTest, ManifestSwitchesBothDownloadButtonsToStandardStyle) {
    files.Put(prog + "/zqu.exe.manifest", "<assembly/>");
    Load();
    EXPECT_EQ(view.standardStyle,
              (std::set<std::string>{"cmdDownloadZQM", "cmdDownloadZQC"}));
}

TEST_F(FrmMainTest, FirstDownloadCreatesTheStoreAndAnswerNoOpensItAndCloses) {
    StandardInstallation();
    Load();
    view.busyChanges.clear();  // the download's own busy sign is looked at
    view.repaints = 0;
    dialogs.answers = {MsgResult::No};
    frm->Click("cmdDownloadZQM");

    EXPECT_EQ(files.Content(Store() + "zqmupd.exe"), kManagerExe);
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
    EXPECT_EQ(dialogs.boxes[0].text, "Fehler beim Download.\r\n\r\nFehler: 404 / Der Update-Server "
                                     "(updates.test) antwortete mit dem Status 404.");
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
    files.Put(prog + "/zqu.ini", std::string("[Server]\r\nAdresse=") + kBase + "\r\n");
    Load();  // no data folder known
    dialogs.answers = {MsgResult::Ok};
    frm->Click("cmdDownloadZQM");
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text, "Fehler beim Download.\r\n\r\nKein Auto-Update Verzeichnis "
                                     "bekannt: der Datenordner wurde nicht gefunden.");
    EXPECT_TRUE(web.downloads.empty());

    files.Put(prog + "/zqu.ini", "");
    files.Put(prog + "/zqm.ini", "[Datendatei]\r\nPfad=" + data + "\r\n");
    view = {};
    Load();
    dialogs.answers = {MsgResult::Ok};
    frm->Click("cmdDownloadZQC");
    EXPECT_NE(dialogs.boxes.back().text.find("Adresse"), std::string::npos);
    EXPECT_TRUE(web.downloads.empty());
    EXPECT_FALSE(Exists(Store() + "zqcupd.exe"));
}

TEST_F(FrmMainTest, FolderButtonOpensOrAsksBeforeCreating) {
    StandardInstallation();
    Load();
    const std::string question = "Das ZEQUORA Update-Verzeichnis'" + Store() +
                                 "' ist nicht vorhanden.\r\n\r\nSoll es erstellt werden?";

    dialogs.answers = {MsgResult::Cancel};
    frm->Click("cmdExplorer");
    EXPECT_TRUE(shell.requests.empty());
    EXPECT_FALSE(Exists(Store()));

    dialogs.answers = {MsgResult::No};
    frm->Click("picExplorer");
    EXPECT_EQ(shell.requests, std::vector<std::string>{"explore " + data + "/"});
    EXPECT_FALSE(Exists(Store()));

    dialogs.answers = {MsgResult::Yes};
    frm->Click("cmdExplorer");
    EXPECT_TRUE(files.IsDirectory(Store()));
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

TEST_F(FrmMainTest, OnlyACompleteProgramFileReplacesTheInstaller) {
    StandardInstallation();
    files.AddFolder(Store());
    files.Put(Store() + "zqmupd.exe", kManagerExe);
    Load();
    const std::string url = std::string(kBase) + "/zqmupd.exe";
    // An HTML page served with success, a file cut within its sections, a stub without PE.
    const std::string cut = kManagerExe.substr(0, zqtest::PeResourceOffset() + 0x20);
    for (const std::string& served :
         {std::string("<!DOCTYPE html><html><body>Wartung</body></html>"), cut, std::string("MZ")}) {
        web.resources[url] = served;
        dialogs.answers = {MsgResult::Yes, MsgResult::Ok};
        frm->Click("cmdDownloadZQM");
        ASSERT_EQ(dialogs.boxes.size(), 2u);
        EXPECT_EQ(dialogs.boxes[1].text,
                  "Fehler beim Download.\r\n\r\nDie geladene Datei ist kein vollständiges "
                  "Windows-Programm (" + std::to_string(served.size()) + " Bytes).");
        EXPECT_EQ(dialogs.boxes[1].icon, MsgIcon::Stop);
        EXPECT_EQ(files.Content(Store() + "zqmupd.exe"), kManagerExe) << "the old one stays";
        EXPECT_EQ(ctx->glDownloadCount, 0);
        EXPECT_NE(ctx->glLastResult, 0);
        EXPECT_EQ(zq::update::ExitCode(*ctx), zq::update::kExitDownloadFailed);
        EXPECT_FALSE(view.closed);
        dialogs.boxes.clear();
    }
}

TEST_F(FrmMainTest, AChecksumOnTheVersionPageMustMatchTheInstaller) {
    StandardInstallation();
    const std::string page = std::string(kBase) + "/iupdate.htm";
    const std::string managerSum = zq::Sha256Hex(kManagerExe);
    std::string upper = zq::Sha256Hex(kClientExe);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    // The Client's in upper case, the Manager's in lower case: both are hex.
    web.resources[page] = "ZQM_Version:3.05 ZQM_SHA256:" + managerSum + "\r\nZQC_SHA256:" + upper + "<br>";
    Load();
    dialogs.answers = {MsgResult::Yes, MsgResult::Ok};  // the offer, then the second success
    frm->Click("cmdDownloadZQM");
    EXPECT_EQ(ctx->glDownloadCount, 2) << (dialogs.boxes.empty() ? "" : dialogs.boxes.back().text);
    EXPECT_EQ(files.Content(Store() + "zqcupd.exe"), kClientExe);

    // Another file than the page names, and a marker without 64 hex digits.
    zqtest::PeOptions other;
    other.overlay = "another payload";
    for (const std::string& marker :
         {"ZQM_SHA256:" + managerSum, "ZQM_SHA256:" + managerSum.substr(1), "ZQM_SHA256:" + managerSum + "0"}) {
        web.resources[page] = marker;
        web.resources[std::string(kBase) + "/zqmupd.exe"] = zqtest::MakePe(other);
        view = {};
        dialogs.boxes.clear();
        Load();
        dialogs.answers = {MsgResult::Yes, MsgResult::Ok};
        frm->Click("cmdDownloadZQM");
        ASSERT_EQ(dialogs.boxes.size(), 2u) << marker;
        const bool wellFormed = marker.size() == 11 + 64;
        EXPECT_EQ(dialogs.boxes[1].text,
                  std::string("Fehler beim Download.\r\n\r\n") +
                      (wellFormed ? "Die Prüfsumme (SHA-256) der geladenen Datei weicht von der auf "
                                    "dem Update-Server genannten ab."
                                  : "Die Prüfsumme auf dem Update-Server ist keine "
                                    "SHA-256-Prüfsumme (64 Hexadezimalziffern)."))
            << marker;
        EXPECT_EQ(files.Content(Store() + "zqmupd.exe"), kManagerExe) << marker;
    }
}

TEST_F(FrmMainTest, FailuresAreToldInGermanWithTheirOwnNumber) {
    StandardInstallation();
    Load();
    struct Case {
        zq::WebError error;
        std::string text;
    };
    const auto failure = [](zq::WebFailure kind, long code, const char* detail) {
        zq::WebError error;
        error.kind = kind;
        error.code = code;
        error.detail = detail;
        return error;
    };
    const std::string folder = Store();
    const std::vector<Case> cases = {
        {failure(zq::WebFailure::Connection, 7, "Couldn't connect to server"),
         "Fehler: 7 / Keine Verbindung zum Update-Server (updates.test)."},
        {failure(zq::WebFailure::Certificate, 60, "SSL certificate problem: self-signed certificate"),
         "Fehler: 60 / Das Zertifikat des Update-Servers (updates.test) ist nicht vertrauenswürdig."},
        {failure(zq::WebFailure::Status, 503, "HTTP status 503"),
         "Fehler: 503 / Der Update-Server (updates.test) antwortete mit dem Status 503."},
        {failure(zq::WebFailure::BrokenOff, 18, "Transferred a partial file"),
         "Fehler: 18 / Die Übertragung ist abgebrochen."},
        {failure(zq::WebFailure::Stalled, 28, "nothing received"),
         "Fehler: 28 / Die Übertragung ist abgebrochen: der Update-Server (updates.test) sendet "
         "nichts mehr."},
        {failure(zq::WebFailure::Redirect, 1, "Protocol \"http\" not supported"),
         "Fehler: 1 / Der Update-Server (updates.test) leitet auf eine Adresse weiter, die nicht "
         "mit https:// beginnt, oder leitet zu oft weiter."},
        {failure(zq::WebFailure::Folder, 13, "cannot create .zqmupd.exe.1.0.part: Permission denied"),
         "Fehler: 13 / In das Verzeichnis '" + folder + "' kann nicht geschrieben werden."},
        {failure(zq::WebFailure::DiskFull, 28, "No space left on device"),
         "Fehler: 28 / Im Verzeichnis '" + folder + "' ist nicht genug Platz."},
    };
    for (const Case& c : cases) {
        web.failure = c.error;
        dialogs.answers = {MsgResult::Ok};
        frm->Click("cmdDownloadZQC");
        ASSERT_FALSE(dialogs.boxes.empty());
        EXPECT_EQ(dialogs.boxes.back().text, "Fehler beim Download.\r\n\r\n" + c.text);
        EXPECT_EQ(ctx->glLastResult, c.error.code);
    }
}

TEST_F(FrmMainTest, TheWindowIsShownBusyBeforeTheVersionPageIsRead) {
    StandardInstallation();
    web.resources[std::string(kBase) + "/iupdate.htm"] = "ZQM_Version:3.05";
    std::vector<std::string> duringFetch;
    web.onFetch = [&] { duringFetch = view.events; };
    Load();
    EXPECT_EQ(duringFetch, (std::vector<std::string>{
                               "show", "busy Die neuesten Versionen werden vom Update-Server gelesen ..."}));
    EXPECT_GE(view.repaints, 2) << "repainted before and while the page is read";
    EXPECT_EQ(view.events.back(), "idle");
    EXPECT_EQ(view.Text("lblZQMVersionNeu"), "3.05.0");

    // The window closed while the page is awaited: the program ends without waiting on.
    view = {};
    web.onFetch = [&] { EXPECT_FALSE(view.window->Deliver({MainEvent::Kind::Close, {}})); };
    Load();
    EXPECT_TRUE(ctx->glClosed);
    EXPECT_TRUE(view.notes.empty()) << "nothing failed: the user closed the window";
    web.onFetch = {};

    // Without a server nothing is awaited: no busy sign.
    files.Put(prog + "/zqu.ini", "");
    view = {};
    Load();
    EXPECT_TRUE(view.busyChanges.empty());
}

// The user must see which folder a question means: a long one is named whole.
TEST_F(FrmMainTest, ALongFolderIsNamedWholeInQuestions) {
    std::string deep = data;
    while (deep.size() < 180) deep += "/ein-sehr-langer-ordnername";
    files.AddFolder(deep + "/UpdStore");
    files.Put(deep + "/UpdStore/zqmupd.exe", kManagerExe);
    files.Put(prog + "/zqm.ini", "[Datendatei]\r\nPfad=" + deep + "\r\n");
    files.Put(prog + "/zqu.ini", std::string("[Server]\r\nAdresse=") + kBase + "\r\n");
    Load();
    EXPECT_EQ(view.Text("lblUpdStorePfad"), deep + "/UpdStore/");
    dialogs.answers = {MsgResult::No};
    frm->Click("cmdDownloadZQM");
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_NE(dialogs.boxes[0].text.find("Verzeichnis '" + deep + "/UpdStore/'"), std::string::npos)
        << dialogs.boxes[0].text;
}

TEST_F(FrmMainTest, StartAndEveryDownloadClearLeftoversOfKilledDownloads) {
    StandardInstallation();
    Load();
    EXPECT_EQ(web.leftoverChecks,
              (std::vector<std::string>{Store() + "zqmupd.exe", Store() + "zqcupd.exe"}));
    dialogs.answers = {MsgResult::Cancel};
    frm->Click("cmdDownloadZQC");
    EXPECT_EQ(web.leftoverChecks.back(), Store() + "zqcupd.exe");
    EXPECT_EQ(web.leftoverChecks.size(), 3u);
}

TEST_F(FrmMainTest, TheExitCodeTellsWhetherADownloadFailedForGood) {
    StandardInstallation();
    Load();
    EXPECT_EQ(zq::update::ExitCode(*ctx), zq::update::kExitOk);
    web.failure = {zq::WebFailure::BrokenOff, 18, "cut"};
    dialogs.answers = {MsgResult::Ok};
    frm->Click("cmdDownloadZQM");
    EXPECT_EQ(zq::update::ExitCode(*ctx), zq::update::kExitDownloadFailed);
    // The same part again, now complete: nothing failed for good.
    web.failure = {};
    dialogs.answers = {MsgResult::Cancel};
    frm->Click("cmdDownloadZQM");
    EXPECT_EQ(zq::update::ExitCode(*ctx), zq::update::kExitOk);
}

// The window's rules, the same for every view: events arrive while the logic lets input
// through, as a view reports them.
TEST_F(FrmMainTest, WhileTheWindowOpensNoClickIsTakenButClosingEndsTheWait) {
    StandardInstallation();
    std::vector<bool> stays;
    bool clicked = false;
    view.duringWait = [&] {
        if (clicked) return;
        clicked = true;
        for (const char* c : {"cmdDownloadZQM", "cmdHistorie", "cmdExplorer", "cmdOK"})
            stays.push_back(view.window->Deliver({MainEvent::Kind::Click, c}));
    };
    Load();
    EXPECT_EQ(stays, std::vector<bool>(4, true));
    EXPECT_TRUE(web.downloads.empty());
    EXPECT_TRUE(shell.requests.empty());
    EXPECT_FALSE(ctx->glClosed);
    // Once open, the same click is taken.
    dialogs.answers = {MsgResult::Cancel};  // the offer of the other part: the window stays
    frm->Click("cmdDownloadZQM");
    EXPECT_EQ(web.downloads.size(), 1u);

    // Closing while the page is awaited is taken: the wait stops and the program ends.
    view = {};
    view.duringWait = [&] { EXPECT_FALSE(view.window->Deliver({MainEvent::Kind::Close, {}})); };
    Load();
    EXPECT_EQ(web.LastError().kind, zq::WebFailure::Cancelled);
    EXPECT_TRUE(ctx->glClosed);
    EXPECT_TRUE(view.notes.empty());
}

TEST_F(FrmMainTest, WhileADownloadIsAtWorkNoSecondClickIsTakenAndTheWindowStays) {
    StandardInstallation();
    Load();
    std::vector<bool> stays;
    bool clicked = false;
    view.duringWait = [&] {
        if (clicked) return;
        clicked = true;
        for (const char* c : {"cmdDownloadZQC", "cmdDownloadZQM", "cmdHistorie", "cmdOK"})
            stays.push_back(view.window->Deliver({MainEvent::Kind::Click, c}));
        stays.push_back(view.window->Deliver({MainEvent::Kind::Close, {}}));
    };
    dialogs.answers = {MsgResult::Cancel};
    frm->Click("cmdDownloadZQM");
    EXPECT_EQ(stays, std::vector<bool>(5, true));
    EXPECT_EQ(web.downloads.size(), 1u);
    EXPECT_TRUE(shell.requests.empty());
    EXPECT_FALSE(ctx->glClosed);
    EXPECT_FALSE(view.closed);

    // At rest closing is taken, and nothing after it.
    EXPECT_FALSE(frm->Deliver({MainEvent::Kind::Close, {}}));
    EXPECT_TRUE(ctx->glClosed);
    EXPECT_FALSE(frm->Deliver({MainEvent::Kind::Click, "cmdHistorie"}));
    EXPECT_TRUE(shell.requests.empty());
}

TEST_F(FrmMainTest, TheConsoleWindowReadsNoInputWhileItOpensAndEndOfInputClosesIt) {
    StandardInstallation();
    std::istringstream in("h\n");
    std::ostringstream out;
    zq::console::ConsoleUpdateView console(in, out);
    UpdateContext c(platform);
    FrmMain window(c, console);
    std::streamoff readWhileOpening = -1;
    web.onFetch = [&] { readWhileOpening = in.tellg(); };
    window.Run();
    EXPECT_EQ(readWhileOpening, 0) << "the page fetch took input meant for the window";
    ASSERT_EQ(shell.requests.size(), 1u);
    EXPECT_EQ(shell.requests[0].rfind("open ", 0), 0u) << shell.requests[0];
    EXPECT_TRUE(c.glClosed);
    EXPECT_FALSE(window.Deliver({MainEvent::Kind::Click, "cmdHistorie"}));
    EXPECT_EQ(shell.requests.size(), 1u);
}

}  // namespace
