// The reorganiser's Qt window driven by its real logic and the Linux adapters, clicked and
// typed into on the offscreen platform.
#include <QApplication>
#include <QCursor>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <sqlite3.h>
#include <memory>

#include <gtest/gtest.h>

#include "common/RegistryAccess.h"
#include "gui/GuiSupport.h"
#include "platform/posix/LockFile.h"
#include "platform/posix/PosixClock.h"
#include "platform/posix/PosixEnvironment.h"
#include "platform/posix/PosixFiles.h"
#include "platform/posix/PosixProcesses.h"
#include "platform/posix/PosixShell.h"
#include "platform/posix/ProfileFiles.h"
#include "platform/posix/RegistryStore.h"
#include "platform/posix/SqliteEngine.h"
#include "platform/qt/QtDialogs.h"
#include "platform/qt/QtReorgView.h"
#include "platform/qt/QtUi.h"
#include "reorg/Ablauf.h"
#include "reorg/frmZQR/Design.h"
#include "reorg/frmZQR/frmZQR.h"
#include "support/TestSupport.h"

namespace {

using zq::reorg::Control;
using zq::reorg::Event;
using zq::reorg::Flow;

constexpr const char* kProduct = "ZEQUORA - Datendatei Reorganisation";

class ProgramHere : public zq::posix::PosixEnvironment {
public:
    explicit ProgramHere(std::string path) : path_(std::move(path)) {}
    std::string ProgramPath() override { return path_; }

private:
    std::string path_;
};

// Waits of the logic take no time; each one lets the test look at the window.
class InstantClock : public zq::posix::PosixClock {
public:
    void Sleep(int) override {
        if (onSleep) onSleep();
    }
    std::function<void()> onSleep;
};

template <typename W>
W* Find(const char* name) {
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->objectName() == QLatin1String("frmZQR") && top->isVisible()) {
            if (std::string_view(name) == "frmZQR") return qobject_cast<W*>(top);
            return top->findChild<W*>(QLatin1String(name));
        }
    }
    return nullptr;
}

class QtReorgViewTest : public ::testing::Test {
protected:
    QtReorgViewTest() { zqtest::GuiApp(); }

    void SetUp() override {
        zqtest::WriteFile(prog + "/zqr", "");
        zqtest::WriteFile(data + "/zqdata.mdb", std::string(4096, 'd'));
        zqtest::WriteFile(data + "/zqdata2.mdb", std::string(4096, 'e'));
    }
    void TearDown() override {
        EXPECT_TRUE(answerer.unexpected.empty()) << answerer.unexpected.front();
        EXPECT_TRUE(answerer.AllUsed());
    }

    Flow Start(const std::string& startParm) {
        ctx = std::make_unique<zq::reorg::ReorgContext>(platform, view, startParm);
        window = std::make_unique<zq::reorg::FrmZQR>(*ctx);
        zq::reorg::ApplyDesign(view);
        return zq::reorg::StartUp(*ctx, *window);
    }
    std::string Remembered() { return zq::GetSetting(registry, kProduct, "Settings", "01", ""); }
    // Runs the window's loop with the script started inside it.
    void RunWith(std::function<void()> script) {
        QTimer::singleShot(0, std::move(script));
        view.Run(*window);
    }

    zqtest::TempDir dir;
    std::string prog = dir / "prog";
    std::string data = dir / "data";
    zq::posix::RegistryStore registry{dir / "reg"};
    zq::posix::ProfileFiles profile;
    zq::posix::PosixFiles files;
    zq::posix::PosixProcesses processes;
    InstantClock clock;
    ProgramHere env{prog + "/zqr"};
    zq::posix::PosixShell shell;
    zq::qt::QtDialogs dialogs{zqtest::GuiApp()};
    zq::posix::SqliteEngine db;
    zq::Platform platform{registry, profile, files, processes, clock, env, shell, dialogs, nullptr, &db};
    zq::qt::QtReorgView view{zqtest::GuiApp()};
    std::unique_ptr<zq::reorg::ReorgContext> ctx;
    std::unique_ptr<zq::reorg::FrmZQR> window;
    zqtest::ModalAnswerer answerer;
};

TEST_F(QtReorgViewTest, WindowShowsTheDesignAndTheRememberedPath) {
    zq::SaveSetting(registry, kProduct, "Settings", "01", data + "/zqdata.mdb");
    ASSERT_EQ(Start(""), Flow::Go);
    auto* frm = Find<QWidget>("frmZQR");
    ASSERT_NE(frm, nullptr);
    EXPECT_EQ(frm->windowTitle().toStdString(), "ZEQUORA - Datendatei Reorganisation 4.1");
    const int dpi = frm->logicalDpiX();
    auto px = [dpi](int twips) { return zq::reorg::design::TwipsToPixels(twips, dpi); };
    EXPECT_EQ(frm->size(), QSize(px(6630), px(1980)));

    auto* reorg = Find<QPushButton>("cmdReorg");
    auto* ende = Find<QPushButton>("cmdEnde");
    auto* path = Find<QLineEdit>("txtDatenbank");
    auto* pic = Find<QLabel>("picDatendatei");
    auto* fileButton = Find<QPushButton>("cmdDatendatei");
    ASSERT_TRUE(reorg && ende && path && pic && fileButton);
    EXPECT_EQ(reorg->geometry(), QRect(px(3360), px(1200), px(3060), px(495)));
    EXPECT_EQ(ende->geometry(), QRect(px(210), px(1200), px(3060), px(495)));
    EXPECT_EQ(path->geometry(), QRect(px(210), px(615), px(5805), px(315)));
    EXPECT_EQ(reorg->text().toStdString(), "Datendatei reorganisieren");
    EXPECT_EQ(ende->text().toStdString(), "&Schließen");
    EXPECT_EQ(Find<QLabel>("lblDatendatei")->text().toStdString(), "ZEQUORA Datendatei (zqdata.mdb)");
    EXPECT_FALSE(Find<QLabel>("lblFortschritt")->isVisible());
    EXPECT_EQ(path->text().toStdString(), data + "/zqdata.mdb");
    EXPECT_EQ(path->toolTip().toStdString(), "Pfad und Name der Datenbank (ZQData.mdb)");
    EXPECT_TRUE(reorg->font().bold());
    EXPECT_DOUBLE_EQ(reorg->font().pointSizeF(), 9.75);
    EXPECT_DOUBLE_EQ(path->font().pointSizeF(), 8.25);
    // The designed sizes hold only with Arial's metrics (Liberation Sans on Linux).
    const std::string family = QFontInfo(reorg->font()).family().toStdString();
    EXPECT_TRUE(family == "Arial" || family == "Liberation Sans") << family;
    EXPECT_EQ(reorg->palette().color(QPalette::Button), QColor(128, 255, 128));
    EXPECT_NE(ende->palette().color(QPalette::Button), QColor(128, 255, 128));
    // The start button's face is drawn flat in that green, top to bottom, edge to edge.
    const QImage face = reorg->grab().toImage();
    const int w = face.width(), h = face.height();
    for (const QPoint& at : {QPoint(5, 5), QPoint(w / 2, 4), QPoint(w / 2, h - 5), QPoint(5, h - 5),
                             QPoint(w - 6, h / 2), QPoint(w - 6, 5)})
        EXPECT_EQ(QColor(face.pixel(at)), QColor(128, 255, 128)) << "at " << at.x() << "," << at.y();
    // The folder image lies on the small button and is what a click there hits.
    EXPECT_TRUE(fileButton->geometry().contains(pic->geometry()));
    EXPECT_EQ(frm->childAt(pic->geometry().center()), pic);

    // A long wait shows a moving sign and the busy pointer, and takes them away again.
    view.ShowBusy("Warten auf Access .");
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::BusyCursor);
    EXPECT_TRUE(Find<QWidget>("busyBar")->isVisible());
    view.ShowBusy("Warten auf Access ..");
    EXPECT_EQ(Find<QLabel>("busyText")->text().toStdString(), "Warten auf Access ..");
    view.ShowBusy("");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(Find<QWidget>("busyBar")->isVisible());

    // Closing the window ends the program.
    RunWith([frm] { frm->close(); });
    EXPECT_FALSE(view.IsShown());
}

TEST_F(QtReorgViewTest, WithTheManifestTheStartButtonFollowsTheDesktopStyle) {
    zqtest::WriteFile(prog + "/zqr.exe.manifest", "");
    ASSERT_EQ(Start(""), Flow::Go);
    auto* reorg = Find<QPushButton>("cmdReorg");
    ASSERT_NE(reorg, nullptr);
    EXPECT_NE(reorg->palette().color(QPalette::Button), QColor(128, 255, 128));
    RunWith([] { QTest::mouseClick(Find<QPushButton>("cmdEnde"), Qt::LeftButton); });
    EXPECT_FALSE(view.IsShown());
}

TEST_F(QtReorgViewTest, ChoosingAFileThroughTheDialogFillsTheFieldAndRemembersIt) {
    zq::SaveSetting(registry, kProduct, "Settings", "01", data + "/zqdata.mdb");
    ASSERT_EQ(Start(""), Flow::Go);
    answerer.AnswerFile("zqdata2.mdb", true);   // by the folder image
    answerer.AnswerFile("zqdata.mdb", false);   // by the button, cancelled
    RunWith([this] {
        QLabel* pic = Find<QLabel>("picDatendatei");
        QTest::mouseClick(pic, Qt::LeftButton, {}, pic->rect().center());
        EXPECT_EQ(Find<QLineEdit>("txtDatenbank")->text().toStdString(), data + "/zqdata2.mdb");
        EXPECT_EQ(ctx->run.glDataFile, data + "/zqdata2.mdb");
        EXPECT_EQ(Remembered(), data + "/zqdata2.mdb");

        QTest::mouseClick(Find<QPushButton>("cmdDatendatei"), Qt::LeftButton);
        EXPECT_EQ(Find<QLineEdit>("txtDatenbank")->text().toStdString(), data + "/zqdata2.mdb");
        EXPECT_EQ(Remembered(), data + "/zqdata2.mdb");
        QTest::mouseClick(Find<QPushButton>("cmdEnde"), Qt::LeftButton);
    });
    ASSERT_EQ(answerer.fileDialogs.size(), 2u);
    EXPECT_EQ(answerer.fileDialogs[0].title, kProduct);
    EXPECT_EQ(answerer.fileDialogs[0].folder, std::filesystem::canonical(data).string());
    EXPECT_EQ(answerer.fileDialogs[1].folder, std::filesystem::canonical(data).string());
}

TEST_F(QtReorgViewTest, TypedPathIsTakenWhenTheFieldIsLeftBeforeTheStartButtonChecksIt) {
    zq::SaveSetting(registry, kProduct, "Settings", "01", data + "/zqdata.mdb");
    ASSERT_EQ(Start(""), Flow::Go);
    const std::string typed = dir / "elsewhere/zqdata.mdb";
    answerer.AnswerBox("OK");  // the start button's complaint about the missing file
    RunWith([&] {
        QWidget* frm = Find<QWidget>("frmZQR");
        frm->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(frm));
        QLineEdit* path = Find<QLineEdit>("txtDatenbank");
        path->setFocus(Qt::MouseFocusReason);
        path->selectAll();
        QTest::keyClicks(path, QString::fromStdString(typed));
        EXPECT_EQ(ctx->run.glDataFile, data + "/zqdata.mdb");  // not yet: the field still has the focus
        QTest::mouseClick(Find<QPushButton>("cmdReorg"), Qt::LeftButton);
        QTest::mouseClick(Find<QPushButton>("cmdEnde"), Qt::LeftButton);
    });
    EXPECT_EQ(ctx->run.glDataFile, typed);
    EXPECT_EQ(Remembered(), typed);
    ASSERT_EQ(answerer.boxes.size(), 1u);
    EXPECT_NE(answerer.boxes[0].text.find(typed), std::string::npos) << answerer.boxes[0].text;
}

void MakeDataFile(const std::string& path) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "create table tblPersonal(id integer primary key, name text);"
                           "insert into tblPersonal(name) values('A'),('B'),('C');",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
}

TEST_F(QtReorgViewTest, ARunFromTheStartButtonShowsItsWaitAndTakesNoSecondStart) {
    // The database program: takes a moment and notes each start.
    const std::string fake = dir / "fake";
    zqtest::WriteFile(fake + "/msaccess.exe",
                      "#!/bin/sh\necho started >> '" + dir / "starts" + "'\nsleep 2\ntouch \"$1\"\n");
    std::filesystem::permissions(fake + "/msaccess.exe", std::filesystem::perms::owner_all);
    zqtest::WriteFile(prog + "/zqm.ini", "[Datenbasis]\r\nPfad=" + fake + "\r\n");
    std::filesystem::remove(data + "/zqdata.mdb");
    MakeDataFile(data + "/zqdata.mdb");
    zq::SaveSetting(registry, kProduct, "Settings", "01", data + "/zqdata.mdb");
    ASSERT_EQ(Start(""), Flow::Go);

    answerer.AnswerBox("&Ja");  // create the backup folder
    answerer.takeDefaults = true;
    bool sawWait = false, pointerBusy = false;
    answerer.idle = [&] {
        QWidget* bar = Find<QWidget>("busyBar");
        if (bar == nullptr || !bar->isVisible() || sawWait) return;
        sawWait = true;
        const QCursor* cursor = QApplication::overrideCursor();
        pointerBusy = cursor != nullptr && cursor->shape() == Qt::BusyCursor;
        // The run waits and lets input through: neither a second start nor a file choice.
        QTest::mouseClick(Find<QPushButton>("cmdReorg"), Qt::LeftButton);
        QTest::mouseClick(Find<QPushButton>("cmdDatendatei"), Qt::LeftButton);
    };
    RunWith([] { QTest::mouseClick(Find<QPushButton>("cmdReorg"), Qt::LeftButton); });
    ASSERT_FALSE(answerer.boxes.empty());
    EXPECT_EQ(answerer.boxes.back().title, "Reorg Hinweis");
    EXPECT_EQ(answerer.boxes.back().text.rfind("Reorganisation erfolgreich.", 0), 0u)
        << answerer.boxes.back().text;

    EXPECT_TRUE(sawWait) << "no waiting sign while the database program ran";
    EXPECT_TRUE(pointerBusy);
    EXPECT_TRUE(answerer.fileDialogs.empty());
    EXPECT_EQ(zqtest::ReadFile(dir / "starts"), "started\n");
    EXPECT_FALSE(view.IsShown()) << "a run ends the program";
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

class QtReorgManagerTest : public QtReorgViewTest {
protected:
    void SetUp() override {
        QtReorgViewTest::SetUp();
        zq::dao::Error error;
        held = zq::posix::LockFile::Acquire(data + "/zqdata.mdb", false, false, error);
        ASSERT_NE(held, nullptr) << "lock file not taken";
        clock.onSleep = [this] {
            QLabel* label = Find<QLabel>("lblFortschritt");
            if (label == nullptr) return;
            shownTexts.push_back(label->isVisible() ? label->text().toStdString() : "(hidden)");
            if (duringWait) duringWait(static_cast<int>(shownTexts.size()));
        };
    }
    std::unique_ptr<zq::posix::LockFile> held;  // the data file stays open elsewhere
    std::vector<std::string> shownTexts;
    std::function<void(int)> duringWait;
};

TEST_F(QtReorgManagerTest, ProgressTextsThenNotReadyRightAlignedAndTheStartButtonStaysDisabled) {
    ASSERT_EQ(Start("/MANAGER " + data + "/zqdata.mdb"), Flow::Go);
    ASSERT_EQ(shownTexts.size(), 20u);
    EXPECT_EQ(shownTexts.front(), "Prüfung läuft ..");
    EXPECT_EQ(shownTexts[1], "Prüfung läuft ...");
    EXPECT_EQ(shownTexts.back(), "Prüfung läuft ." + std::string(20, '.'));
    QLabel* progress = Find<QLabel>("lblFortschritt");
    ASSERT_NE(progress, nullptr);
    EXPECT_EQ(progress->text().toStdString(), "Programm nicht bereit");
    EXPECT_TRUE(progress->alignment() & Qt::AlignRight);
    EXPECT_FALSE(Find<QPushButton>("cmdReorg")->isEnabled());

    // Another file does not make the program ready; the disabled button starts nothing.
    answerer.AnswerFile("zqdata2.mdb", true);
    RunWith([this] {
        QTest::mouseClick(Find<QPushButton>("cmdDatendatei"), Qt::LeftButton);
        EXPECT_EQ(ctx->run.glDataFile, data + "/zqdata2.mdb");
        EXPECT_FALSE(Find<QPushButton>("cmdReorg")->isEnabled());
        QTest::mouseClick(Find<QPushButton>("cmdReorg"), Qt::LeftButton);
        QTest::mouseClick(Find<QPushButton>("cmdEnde"), Qt::LeftButton);
    });
    EXPECT_TRUE(answerer.boxes.empty());
    EXPECT_FALSE(view.IsShown());
}

TEST_F(QtReorgManagerTest, WhileTheWaitLetsInputThroughOnlyTheWayOutIsTaken) {
    duringWait = [this](int round) {
        // Input arrives while the wait lets it through.
        if (round == 2) {
            QTimer::singleShot(0, [this] {
                QTest::mouseClick(Find<QPushButton>("cmdDatendatei"), Qt::LeftButton);
                QTest::keyClicks(Find<QLineEdit>("txtDatenbank"), QStringLiteral("xyz"));
            });
        }
        if (round == 4) {
            QTimer::singleShot(0, [] { QTest::mouseClick(Find<QPushButton>("cmdEnde"), Qt::LeftButton); });
        }
    };
    EXPECT_EQ(Start("/MANAGER " + data + "/zqdata.mdb"), Flow::End);
    EXPECT_TRUE(answerer.fileDialogs.empty());  // no file dialog in the middle of the wait
    EXPECT_EQ(ctx->run.glDataFile, data + "/zqdata.mdb");
    EXPECT_EQ(view.Text(Control::txtDatenbank), data + "/zqdata.mdb");
    EXPECT_LT(shownTexts.size(), 20u) << "the wait went on after the window was closed";
    EXPECT_EQ(ctx->FinalExitCode(), zq::reorg::kExitAborted);
    EXPECT_FALSE(view.IsShown());
}

// Logic that records what the view reports; while the start button's handler lets input
// through, the view reports everything that arrives, and it keeps the window when a close
// is not taken.
class Recording : public zq::reorg::IReorgEvents {
public:
    explicit Recording(zq::qt::QtReorgView& v) : view(v) {}
    Flow OnLoad() override { return Flow::Go; }
    Flow Deliver(Event event) override {
        calls.push_back(event);
        if (event == Event::CmdReorgClick && calls.size() == 1) {
            QTimer::singleShot(0, [] {
                QTest::mouseClick(Find<QPushButton>("cmdReorg"), Qt::LeftButton);
                QTest::mouseClick(Find<QPushButton>("cmdDatendatei"), Qt::LeftButton);
            });
            // The first close is not taken, the second one is.
            QTimer::singleShot(5, [] { Find<QWidget>("frmZQR")->close(); });
            QTimer::singleShot(15, [this] {
                EXPECT_TRUE(view.IsShown());
                Find<QWidget>("frmZQR")->close();
            });
            for (int i = 0; i < 100 && view.IsShown(); ++i) {
                view.ProcessPendingInput();
                QTest::qSleep(2);
            }
            return Flow::Go;
        }
        if (event == Event::Close) return ++closes > 1 ? Flow::End : Flow::Go;
        return Flow::Go;
    }
    zq::qt::QtReorgView& view;
    std::vector<Event> calls;
    int closes = 0;
};

TEST(QtReorgViewForwarding, EveryEventIsReportedAndTheLogicsAnswerDecidesTheWindow) {
    zq::qt::QtReorgView view(zqtest::GuiApp());
    Recording events(view);
    view.SetText(Control::txtDatenbank, "/data/zqdata.mdb");
    ASSERT_EQ(view.Show(events), Flow::Go);
    QTimer::singleShot(0, [] { Find<QPushButton>("cmdReorg")->click(); });
    view.Run(events);
    EXPECT_EQ(events.calls, (std::vector<Event>{Event::CmdReorgClick, Event::CmdReorgClick,
                                                Event::CmdDatendateiClick, Event::Close, Event::Close}));
    EXPECT_FALSE(view.IsShown());
}

}  // namespace
