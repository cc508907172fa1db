// The message boxes a windowless program loads as a module on its first box.
#include <gtest/gtest.h>

#include "gui/GuiSupport.h"
#include "platform/qt/QtDialogsLoader.h"
#include "support/TestSupport.h"

namespace {

using zq::MsgButtons;
using zq::MsgIcon;
using zq::MsgResult;

class CountingDialogs : public zq::IDialogs {
public:
    MsgResult ShowMessage(const std::string& text, const std::string&, MsgIcon, MsgButtons,
                         int) override {
        texts.push_back(text);
        return MsgResult::No;
    }
    std::optional<std::string> OpenFile(const std::string&, const std::string&, const std::string&,
                                        const std::string&) override {
        return "/fallback.mdb";
    }
    std::vector<std::string> texts;
};

TEST(QtDialogsLoader, FirstBoxLoadsTheModuleBesideTheProgram) {
    zqtest::GuiApp();
    ASSERT_TRUE(zqtest::FileExists(zqtest::BinDir() + "/" + zq::qt::kDialogsModuleName))
        << "the module is built beside the programs";
    CountingDialogs console;
    zq::qt::LoadedQtDialogs dialogs(zqtest::BinDir() + "/zqm", console);
    zqtest::ModalAnswerer answerer;
    answerer.AnswerBox("&Ja");
    EXPECT_EQ(dialogs.ShowMessage("Update installieren?", "ZEQUORA Startprogramm  Abfrage",
                                 MsgIcon::Question, MsgButtons::YesNoCancel),
              MsgResult::Yes);
    EXPECT_EQ(dialogs.Problem(), "");
    ASSERT_EQ(answerer.boxes.size(), 1u);
    EXPECT_EQ(answerer.boxes[0].title, "ZEQUORA Startprogramm  Abfrage");
    EXPECT_TRUE(console.texts.empty());
}

TEST(QtDialogsLoader, WithoutTheModuleTheBoxesGoToTheFallback) {
    zqtest::TempDir dir;
    CountingDialogs console;
    zq::qt::LoadedQtDialogs dialogs(dir / "zqm", console);
    EXPECT_EQ(dialogs.ShowMessage("Fehlt", "T", MsgIcon::Stop, MsgButtons::YesNo), MsgResult::No);
    EXPECT_EQ(dialogs.OpenFile("T", "Datenbank", "*.mdb", "/"), "/fallback.mdb");
    EXPECT_EQ(console.texts, std::vector<std::string>{"Fehlt"});
    EXPECT_NE(dialogs.Problem().find(zq::qt::kDialogsModuleName), std::string::npos)
        << dialogs.Problem();
}

}  // namespace

namespace {

// zqm starts often and shows a box rarely: its program file must not need the toolkit.
TEST(QtDialogsLoader, TheManagerStartProgramDoesNotLoadTheToolkit) {
    const std::string zqm = zqtest::BinDir() + "/zqm";
    if (!zqtest::FileExists(zqm)) GTEST_SKIP() << "zqm is not built in this build folder";
    if (!zqtest::FileExists("/usr/bin/ldd")) GTEST_SKIP() << "no ldd to list what zqm loads";
    const zqtest::RunResult r = zqtest::Run({"/usr/bin/ldd", zqm}, {}, "", 20000);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.find("libQt6"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("libc.so"), std::string::npos) << r.out;
}

}  // namespace
