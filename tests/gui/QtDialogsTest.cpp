// Message boxes and the open-file dialog on the offscreen platform, answered by clicking
// their real buttons.
#include <QCoreApplication>
#include <QMessageBox>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "gui/GuiSupport.h"
#include "platform/qt/QtDialogs.h"
#include "platform/qt/QtUi.h"
#include "support/TestSupport.h"

namespace {

using zq::MsgButtons;
using zq::MsgIcon;
using zq::MsgResult;
using zq::qt::QtDialogs;

TEST(QtChoice, DisplayOrPlatformChoosesQtAndTheSwitchOverridesBoth) {
    using zq::qt::QtWantedFor;
    EXPECT_FALSE(QtWantedFor(std::nullopt, std::nullopt, std::nullopt, std::nullopt));
    EXPECT_FALSE(QtWantedFor(std::nullopt, "", "", ""));  // set but empty is no display
    EXPECT_TRUE(QtWantedFor(std::nullopt, ":0", std::nullopt, std::nullopt));
    EXPECT_TRUE(QtWantedFor(std::nullopt, std::nullopt, "wayland-0", std::nullopt));
    EXPECT_TRUE(QtWantedFor(std::nullopt, std::nullopt, std::nullopt, "offscreen"));
    EXPECT_FALSE(QtWantedFor("console", ":0", "wayland-0", "xcb"));
    EXPECT_TRUE(QtWantedFor("qt", std::nullopt, std::nullopt, std::nullopt));
    EXPECT_TRUE(QtWantedFor("other", ":0", std::nullopt, std::nullopt));
}

TEST(QtChoice, StartFolderIsTheFolderPartOfAFilePath) {
    zqtest::TempDir dir;
    auto isFolder = [](const std::string& p) { return std::filesystem::is_directory(p); };
    EXPECT_EQ(zq::qt::DialogStartFolder(dir.Path(), isFolder), dir.Path());
    EXPECT_EQ(zq::qt::DialogStartFolder(dir / "zqdata.mdb", isFolder), dir.Path());
    EXPECT_EQ(zq::qt::DialogStartFolder(dir / "gone/zqdata.mdb", isFolder), "");
    EXPECT_EQ(zq::qt::DialogStartFolder("/zqdata.mdb", isFolder), "/");
    EXPECT_EQ(zq::qt::DialogStartFolder("zqdata.mdb", isFolder), "");
    EXPECT_EQ(zq::qt::DialogStartFolder("", isFolder), "");
}

class QtDialogsTest : public ::testing::Test {
protected:
    void SetUp() override { zqtest::GuiApp(); }
    void TearDown() override { EXPECT_TRUE(answerer.unexpected.empty()) << answerer.unexpected.front(); }

    QtDialogs dialogs{zqtest::GuiApp()};
    zqtest::ModalAnswerer answerer;
};

TEST_F(QtDialogsTest, OkBoxShowsTitleTextAndIconAndWaitsForTheClick) {
    answerer.AnswerBox("OK");
    const MsgResult r = dialogs.ShowMessage("Erste Zeile\r\n\r\n<b>C:\\Daten</b> & mehr", "Reorg Fehler",
                                           MsgIcon::Stop, MsgButtons::Ok);
    EXPECT_EQ(r, MsgResult::Ok);
    ASSERT_EQ(answerer.boxes.size(), 1u);
    const zqtest::SeenBox& box = answerer.boxes[0];
    EXPECT_EQ(box.title, "Reorg Fehler");
    EXPECT_EQ(box.text, "Erste Zeile\n\n<b>C:\\Daten</b> & mehr");
    EXPECT_TRUE(box.plainText);  // a path with markup characters is shown as it is
    EXPECT_EQ(box.icon, QMessageBox::Critical);
    EXPECT_EQ(box.buttons, std::vector<std::string>{"OK"});
    EXPECT_TRUE(box.applicationModal);
}

TEST_F(QtDialogsTest, YesNoCancelAnswersEachWayWithGermanLabelsAndTheDefault) {
    struct Case {
        const char* click;
        MsgResult expected;
    };
    for (const Case& c : {Case{"&Ja", MsgResult::Yes}, Case{"&Nein", MsgResult::No},
                          Case{"Abbrechen", MsgResult::Cancel}, Case{"", MsgResult::Cancel}}) {
        answerer.AnswerBox(c.click);
        EXPECT_EQ(dialogs.ShowMessage("Weiter?", "Reorg Sicherheitsabfrage", MsgIcon::Exclamation,
                                     MsgButtons::YesNoCancel, 1),
                  c.expected)
            << "clicked '" << c.click << "'";
    }
    ASSERT_EQ(answerer.boxes.size(), 4u);
    const zqtest::SeenBox& box = answerer.boxes[0];
    EXPECT_EQ(box.buttons, (std::vector<std::string>{"&Ja", "&Nein", "Abbrechen"}));
    EXPECT_EQ(box.defaultButton, "&Nein");
    EXPECT_EQ(box.icon, QMessageBox::Warning);

    answerer.AnswerBox("");
    EXPECT_EQ(dialogs.ShowMessage("?", "T", MsgIcon::Question, MsgButtons::YesNo), MsgResult::No);
    answerer.AnswerBox("&Ja");
    EXPECT_EQ(dialogs.ShowMessage("?", "T", MsgIcon::Information, MsgButtons::YesNoCancel, 7),
              MsgResult::Yes);
    EXPECT_EQ(answerer.boxes.back().defaultButton, "&Ja");  // out of range: the first button
    EXPECT_EQ(answerer.boxes.back().icon, QMessageBox::Information);
    EXPECT_EQ(answerer.boxes[4].icon, QMessageBox::Question);
}

TEST_F(QtDialogsTest, StandardTextsAreGerman) {
    // The file dialog's own buttons and captions come from the German catalogue.
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel").toStdString(), "Abbrechen");
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "&Yes").toStdString(), "&Ja");
}

class QtFileDialogTest : public QtDialogsTest {
protected:
    void SetUp() override {
        QtDialogsTest::SetUp();
        std::filesystem::create_directories(dir / "Daten");
        zqtest::WriteFile(dir / "Daten/zqdata.mdb", "x");
        zqtest::WriteFile(dir / "Daten/notes.txt", "x");
    }
    std::optional<std::string> Choose() {
        return dialogs.OpenFile("ZEQUORA Reorganisation", "Datenbank", "*.mdb",
                                dir / "Daten/old.mdb");
    }
    zqtest::TempDir dir;
};

TEST_F(QtFileDialogTest, ChosenFileIsReturnedAndTheDialogStartsInTheFolderPart) {
    answerer.AnswerFile("zqdata.mdb", true);
    EXPECT_EQ(Choose(), dir / "Daten/zqdata.mdb");
    ASSERT_EQ(answerer.fileDialogs.size(), 1u);
    const zqtest::SeenFileDialog& seen = answerer.fileDialogs[0];
    EXPECT_EQ(seen.title, "ZEQUORA Reorganisation");
    EXPECT_EQ(seen.folder, std::filesystem::canonical(dir / "Daten").string());
    EXPECT_EQ(seen.filters, std::vector<std::string>{"Datenbank (*.mdb)"});
    EXPECT_EQ(seen.defaultSuffix, "mdb");

    // The default extension completes a bare name.
    answerer.AnswerFile("zqdata", true);
    EXPECT_EQ(Choose(), dir / "Daten/zqdata.mdb");
}

TEST_F(QtFileDialogTest, CancelOrAMissingFileGivesNothing) {
    answerer.AnswerFile("zqdata.mdb", false);
    EXPECT_EQ(Choose(), std::nullopt);

    // The file must exist: the dialog does not accept a name that is not there.
    answerer.AnswerFile("missing.mdb", true);
    EXPECT_EQ(Choose(), std::nullopt);
    ASSERT_EQ(answerer.fileDialogs.size(), 2u);
    EXPECT_TRUE(answerer.fileDialogs[1].stayedOpen);
}

}  // namespace
