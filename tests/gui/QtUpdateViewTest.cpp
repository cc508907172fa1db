// The update tool's Qt window driven by its real logic, with the registry, profile and file
// adapters on temporary folders and the web and shell recorded; buttons and boxes clicked.
#include <QApplication>
#include <QCursor>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <memory>

#include <gtest/gtest.h>

#include "common/RegistryAccess.h"
#include "gui/GuiSupport.h"
#include "platform/posix/PosixFiles.h"
#include "platform/posix/ProfileFiles.h"
#include "platform/posix/RegistryStore.h"
#include "platform/qt/QtDialogs.h"
#include "platform/qt/QtUi.h"
#include "platform/qt/QtUpdateView.h"
#include "support/PeFixture.h"
#include "support/TestSupport.h"
#include "update/UpdateContext.h"
#include "update/UpdateFakes.h"
#include "update/frmMain/frmMain.h"

namespace {

namespace fs = std::filesystem;
constexpr const char* kBase = "https://updates.test";
constexpr const char* kManager = "ZEQUORA - Manager 4";
constexpr const char* kOk = "Download erfolgreich ausgeführt.";

template <typename W>
W* Find(const char* name) {
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->objectName() == QLatin1String("frmMain") && top->isVisible()) {
            if (std::string_view(name) == "frmMain") return qobject_cast<W*>(top);
            return top->findChild<W*>(QLatin1String(name));
        }
    }
    return nullptr;
}

void Click(const char* name) {
    QPushButton* button = Find<QPushButton>(name);
    ASSERT_NE(button, nullptr) << name;
    QTest::mouseClick(button, Qt::LeftButton);
}

// Notes what the window looks like while a download is under way.
class WatchedWeb : public zqtest::FakeWeb {
public:
    zq::DownloadResult Download(const std::string& url, const std::string& target,
                                const Progress& progress, const Check& check) override {
        const QCursor* cursor = QApplication::overrideCursor();
        busyCursor.push_back(cursor != nullptr && cursor->shape() == Qt::WaitCursor);
        auto* bar = Find<QProgressBar>("progress");
        zq::DownloadResult r = FakeWeb::Download(url, target, progress, check);
        barShown.push_back(bar != nullptr && bar->isVisible() && bar->value() == bar->maximum());
        return r;
    }
    std::vector<bool> busyCursor, barShown;
};

class QtUpdateViewTest : public ::testing::Test {
protected:
    QtUpdateViewTest() { zqtest::GuiApp(); }

    void SetUp() override {
        fs::create_directories(prog);
        fs::create_directories(data);
        zqtest::WriteFile(prog + "/zqm.ini", "[Datendatei]\r\nPfad=" + data + "\r\n");
        zqtest::WriteFile(prog + "/zqu.ini", std::string("[Server]\r\nAdresse=") + kBase + "\r\n");
        web.resources[std::string(kBase) + "/zqmupd.exe"] = zqtest::MakePeWithVersion(3, 5, 0, 1);
        web.resources[std::string(kBase) + "/zqcupd.exe"] = zqtest::MakePeWithVersion(3, 5, 2, 0);
        web.resources[std::string(kBase) + "/iupdate.htm"] = "ZQC_Version:3.05.2ZQM_Version:3.05";
    }
    void TearDown() override {
        EXPECT_TRUE(answerer.unexpected.empty()) << answerer.unexpected.front();
        EXPECT_TRUE(answerer.AllUsed());
        EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the busy pointer was left on";
    }

    // Opens the window and runs it with the script started inside its loop; a window the
    // logic does not close is closed after a bound, as a failure.
    void Open(std::function<void()> script, bool expectClosedByLogic) {
        frm.FormLoad();
        QTimer::singleShot(0, std::move(script));
        bool timedOut = false;
        QTimer bound;
        bound.setSingleShot(true);
        QObject::connect(&bound, &QTimer::timeout, [&] {
            timedOut = true;
            view.Close();
        });
        bound.start(5000);
        view.Run(frm);
        if (expectClosedByLogic) {
            EXPECT_FALSE(timedOut) << "the window did not close";
        }
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
    zq::qt::QtDialogs dialogs{zqtest::GuiApp()};
    WatchedWeb web;
    zq::qt::QtUpdateView view{zqtest::GuiApp()};
    zqtest::RecordingProcesses processes;
    zqtest::FakeClock clock;
    zq::Platform platform{reg, profile, files, processes, clock, env, shell, dialogs, &web};
    zq::update::UpdateContext ctx{platform};
    zq::update::FrmMain frm{ctx, view};
    zqtest::ModalAnswerer answerer;
};

TEST_F(QtUpdateViewTest, OpeningFillsGroupsAndLabelsAndClosingEnds) {
    zq::SaveSetting(reg, kManager, "Update", "UpdateVersion", "3.05.123");
    zq::SaveSetting(reg, kManager, "Update", "UpdateDate", "<b>12.03.2024</b>");
    Open([this] {
        QWidget* frmMain = Find<QWidget>("frmMain");
        ASSERT_NE(frmMain, nullptr);
        EXPECT_EQ(frmMain->windowTitle().toStdString(), "ZEQUORA - Update 4.1");
        EXPECT_EQ(Find<QGroupBox>("Frame2")->title().toStdString(), "ZEQUORA Manager ");
        EXPECT_EQ(Find<QGroupBox>("Frame1")->title().toStdString(), "ZEQUORA Client ");
        EXPECT_TRUE(Find<QGroupBox>("Frame2")->isAncestorOf(Find<QPushButton>("cmdDownloadZQM")));
        EXPECT_TRUE(Find<QGroupBox>("Frame1")->isAncestorOf(Find<QLabel>("lblZQCVersionNeu")));
        EXPECT_EQ(Find<QLabel>("lblZQMVersionNeu")->text().toStdString(), "3.05.0");
        EXPECT_EQ(Find<QLabel>("lblZQCVersionNeu")->text().toStdString(), "3.05.2");
        EXPECT_EQ(Find<QLabel>("lblZQMVersionAkt")->text().toStdString(), "3.05.1");
        EXPECT_EQ(Find<QLabel>("lblZQCInstDat")->text().toStdString(), "---");
        QLabel* date = Find<QLabel>("lblZQMInstDat");
        EXPECT_EQ(date->text().toStdString(), "<b>12.03.2024</b>");
        EXPECT_EQ(date->textFormat(), Qt::PlainText);  // a stored value is never markup
        EXPECT_EQ(Find<QLabel>("lblUpdStorePfad")->text().toStdString(), Store());
        EXPECT_EQ(Find<QLabel>("Label2")->text().toStdString(), "Auto-Update Verzeichnis");
        EXPECT_EQ(Find<QPushButton>("cmdHistorie")->text().toStdString(), "&Historie anzeigen");
        EXPECT_TRUE(Find<QPushButton>("cmdExplorer")->isEnabled());
        EXPECT_TRUE(Find<QLabel>("picExplorer")->isEnabled());
        frmMain->close();
    }, true);
    EXPECT_FALSE(Find<QWidget>("frmMain"));
}

TEST_F(QtUpdateViewTest, DownloadWithBusyPointerThenYesFetchesTheOtherPartAndCloses) {
    answerer.AnswerBox("&Ja");  // the offer of the other part
    answerer.AnswerBox("OK");   // its success
    Open([] { Click("cmdDownloadZQM"); }, true);
    EXPECT_EQ(web.downloads.size(), 2u);
    EXPECT_EQ(web.busyCursor, (std::vector<bool>{true, true}));
    EXPECT_EQ(web.barShown, (std::vector<bool>{true, true}));
    EXPECT_EQ(zqtest::ReadFile(Store() + "zqcupd.exe"), zqtest::MakePeWithVersion(3, 5, 2, 0));
    ASSERT_EQ(answerer.boxes.size(), 2u);
    EXPECT_EQ(answerer.boxes[0].buttons, (std::vector<std::string>{"&Ja", "&Nein", "Abbrechen"}));
    EXPECT_EQ(answerer.boxes[0].icon, QMessageBox::Information);
    EXPECT_EQ(answerer.boxes[0].title, "ZEQUORA Update  -  4.01");
    EXPECT_EQ(answerer.boxes[1].text, kOk);
    EXPECT_EQ(shell.requests, std::vector<std::string>{"explore " + Store()});
}

TEST_F(QtUpdateViewTest, NoToTheOfferOpensTheFolderAndCloses) {
    answerer.AnswerBox("&Nein");
    Open([] { Click("cmdDownloadZQC"); }, true);
    EXPECT_EQ(web.downloads.size(), 1u);
    EXPECT_EQ(shell.requests, std::vector<std::string>{"explore " + Store()});
}

TEST_F(QtUpdateViewTest, CancelKeepsTheWindowAndTheOverwriteQuestionDecidesTheNextDownload) {
    answerer.AnswerBox("Abbrechen");  // the offer
    answerer.AnswerBox("&Nein");      // overwrite? no: nothing happens
    answerer.AnswerBox("&Ja");        // overwrite? yes
    answerer.AnswerBox("OK");         // second success: the folder opens, the window closes
    Open([this] {
        Click("cmdDownloadZQM");
        EXPECT_NE(Find<QWidget>("frmMain"), nullptr) << "Cancel keeps the window";
        Click("cmdDownloadZQM");
        EXPECT_EQ(web.downloads.size(), 1u);
        Click("cmdDownloadZQM");
    }, true);
    EXPECT_EQ(web.downloads.size(), 2u);
    ASSERT_EQ(answerer.boxes.size(), 4u);
    EXPECT_EQ(answerer.boxes[1].text,
              "Update-Datei 'zqmupd.exe' ist im Verzeichnis '" + Store() +
                  "' bereits vorhanden.\n\nDownload trotzdem starten und Datei überschreiben?");
    EXPECT_EQ(answerer.boxes[1].icon, QMessageBox::Question);
    EXPECT_EQ(answerer.boxes[3].text, kOk);
    EXPECT_EQ(shell.requests, std::vector<std::string>{"explore " + Store()});
}

TEST_F(QtUpdateViewTest, AClickWhileTheWindowRepaintsForADownloadStartsNoSecondOne) {
    answerer.AnswerBox("Abbrechen");
    Open([] {
        // Comes through when the download click lets the window repaint.
        QTimer::singleShot(0, [] { Click("cmdDownloadZQC"); });
        Click("cmdDownloadZQM");
        Click("cmdOK");
    }, true);
    EXPECT_EQ(web.downloads.size(), 1u);
    EXPECT_EQ(answerer.boxes.size(), 1u);
}

TEST_F(QtUpdateViewTest, FailedDownloadIsReportedAndTheWindowStays) {
    web.resources.erase(std::string(kBase) + "/zqmupd.exe");
    answerer.AnswerBox("OK");
    Open([] {
        Click("cmdDownloadZQM");
        Click("cmdOK");
    }, true);
    ASSERT_EQ(answerer.boxes.size(), 1u);
    EXPECT_EQ(answerer.boxes[0].icon, QMessageBox::Critical);
    EXPECT_EQ(answerer.boxes[0].text.rfind("Fehler beim Download.\n\nFehler: 404 / ", 0), 0u)
        << answerer.boxes[0].text;
    EXPECT_TRUE(shell.requests.empty());
}

TEST_F(QtUpdateViewTest, FolderButtonsAskBeforeCreatingTheMissingFolder) {
    answerer.AnswerBox("&Nein");  // by the button: the data folder opens instead
    answerer.AnswerBox("&Ja");    // by the picture: created and opened
    Open([] {
        Click("cmdExplorer");
        QLabel* pic = Find<QLabel>("picExplorer");
        QTest::mouseClick(pic, Qt::LeftButton, {}, pic->rect().center());
        Click("cmdOK");
    }, true);
    EXPECT_EQ(shell.requests, (std::vector<std::string>{"explore " + data + "/", "explore " + Store()}));
    EXPECT_TRUE(fs::is_directory(Store()));
    ASSERT_EQ(answerer.boxes.size(), 2u);
    EXPECT_EQ(answerer.boxes[0].text, "Das ZEQUORA Update-Verzeichnis'" + Store() +
                                          "' ist nicht vorhanden.\n\nSoll es erstellt werden?");
}

TEST_F(QtUpdateViewTest, TheWindowIsThereWithABusySignWhileTheVersionPageLoads) {
    bool visible = false, busyCursor = false, barShown = false;
    std::string busyText;
    web.onFetch = [&] {
        QWidget* frmMain = Find<QWidget>("frmMain");
        visible = frmMain != nullptr;
        const QCursor* cursor = QApplication::overrideCursor();
        busyCursor = cursor != nullptr && cursor->shape() == Qt::WaitCursor;
        auto* bar = Find<QProgressBar>("progress");
        barShown = bar != nullptr && bar->isVisible();
        auto* text = Find<QLabel>("busyText");
        if (text != nullptr && text->isVisible()) busyText = text->text().toStdString();
    };
    Open([] {
        EXPECT_FALSE(Find<QProgressBar>("progress")->isVisible()) << "no busy sign once loaded";
        EXPECT_FALSE(Find<QLabel>("busyText")->isVisible());
        Find<QWidget>("frmMain")->close();
    }, true);
    EXPECT_TRUE(visible) << "the window is shown before the page is read";
    EXPECT_TRUE(busyCursor);
    EXPECT_TRUE(barShown);
    EXPECT_EQ(busyText, "Die neuesten Versionen werden vom Update-Server gelesen ...");
}

TEST_F(QtUpdateViewTest, ALongUpdateFolderNeverWidensTheWindowBeyondTheScreen) {
    std::string deep = data;
    while (deep.size() < 200) deep += "/ein-sehr-langer-ordnername";
    fs::create_directories(deep);
    zqtest::WriteFile(prog + "/zqm.ini", "[Datendatei]\r\nPfad=" + deep + "\r\n");
    const std::string longDate(300, '9');  // a stored value can be as long
    zq::SaveSetting(reg, kManager, "Update", "UpdateDate", longDate);
    Open([&] {
        QWidget* frmMain = Find<QWidget>("frmMain");
        ASSERT_NE(frmMain, nullptr);
        const QRect room = frmMain->screen()->availableGeometry();
        EXPECT_LE(frmMain->width(), room.width());
        EXPECT_LE(frmMain->height(), room.height());
        QPushButton* close = Find<QPushButton>("cmdOK");
        const QRect inWindow(close->mapTo(frmMain, QPoint(0, 0)), close->size());
        EXPECT_TRUE(frmMain->rect().contains(inWindow)) << "Schließen stays inside the window";
        QLabel* path = Find<QLabel>("lblUpdStorePfad");
        EXPECT_EQ(path->text().toStdString(), deep + "/UpdStore/");
        EXPECT_EQ(path->toolTip().toStdString(), deep + "/UpdStore/") << "the whole path in the tooltip";
        EXPECT_EQ(Find<QLabel>("lblZQMInstDat")->toolTip().toStdString(), longDate);
        EXPECT_EQ(Find<QLabel>("lblZQMVersionAkt")->toolTip().toStdString(), "") << "short texts have none";
        frmMain->close();
    }, true);
}

TEST_F(QtUpdateViewTest, ClosingTheWindowWhileThePageLoadsEndsTheProgram) {
    web.onFetch = [] { Find<QWidget>("frmMain")->close(); };
    frm.Run();
    EXPECT_EQ(web.LastError().kind, zq::WebFailure::Cancelled) << "the wait for the page stopped";
    EXPECT_TRUE(ctx.glClosed);
    EXPECT_EQ(Find<QWidget>("frmMain"), nullptr);
    EXPECT_TRUE(answerer.boxes.empty());
}

}  // namespace
