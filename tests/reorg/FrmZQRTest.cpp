// The window frmZQR's rules, proved once for every view: a recording view that reports the
// events a user could cause while the program waits, and the console view on scripted input.
#include <filesystem>
#include <sstream>

#include <gtest/gtest.h>

#include "common/RegistryAccess.h"
#include "platform/console/ConsoleReorgView.h"
#include "platform/posix/LockFile.h"
#include "reorg/Ablauf.h"
#include "reorg/ReorgHarness.h"
#include "reorg/frmZQR/frmZQR.h"

using namespace zq::reorg;
using zqtest::Harness;
namespace fs = std::filesystem;

namespace {

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

int Count(const std::string& text, const std::string& part) {
    int n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

std::string Remembered(Harness& h) { return zq::GetSetting(h.registry, kProductName, "Settings", "01", ""); }

const std::vector<Event> kNotTheWayOut{Event::CmdReorgClick, Event::CmdDatendateiClick,
                                       Event::PicDatendateiClick, Event::TxtDatenbankLostFocus};

// The data file stays open elsewhere: the Manager-mode wait for its lock file runs all rounds.
std::unique_ptr<zq::posix::LockFile> HoldOpen(const std::string& file) {
    zq::dao::Error error;
    return zq::posix::LockFile::Acquire(file, false, false, error);
}

}  // namespace

TEST(FrmZQR, AtRestAPathTypedButNotLeftIsTakenBeforeTheStartButtonChecksIt) {
    Harness h;
    const std::string file = h.data + "/zqdata.mdb";
    zq::SaveSetting(h.registry, kProductName, "Settings", "01", file);
    FrmZQR window(h.ctx);
    ASSERT_EQ(StartUp(h.ctx, window), Flow::Go);
    ASSERT_EQ(h.view.Text(Control::txtDatenbank), file);

    // Typed, and the start button pressed by a key: the field has not reported its leaving.
    const std::string typed = h.dir / "elsewhere/zqdata.mdb";
    h.view.texts[Control::txtDatenbank] = typed;
    EXPECT_EQ(window.Deliver(Event::CmdReorgClick), Flow::Go);
    EXPECT_EQ(h.ctx.glDataFile, typed);
    EXPECT_EQ(Remembered(h), typed);
    ASSERT_EQ(h.dialogs.boxes.size(), 1u);
    EXPECT_TRUE(Has(h.dialogs.boxes[0].text, "2) die Datendatei " + typed + " ist nicht vorhanden"))
        << h.dialogs.boxes[0].text;

    // At rest every event is taken: the field's leaving, both ways to the file dialog.
    h.view.texts[Control::txtDatenbank] = file;
    EXPECT_EQ(window.Deliver(Event::TxtDatenbankLostFocus), Flow::Go);
    EXPECT_EQ(Remembered(h), file);
    EXPECT_EQ(window.Deliver(Event::CmdDatendateiClick), Flow::Go);
    EXPECT_EQ(window.Deliver(Event::PicDatendateiClick), Flow::Go);
    EXPECT_EQ(h.dialogs.fileDialogs, 2);
    // A disabled start button starts nothing.
    h.view.enabled[Control::cmdReorg] = false;
    h.view.texts[Control::txtDatenbank] = typed;
    EXPECT_EQ(window.Deliver(Event::CmdReorgClick), Flow::Go);
    EXPECT_EQ(h.dialogs.boxes.size(), 1u);
    EXPECT_EQ(Remembered(h), file);
    h.view.enabled[Control::cmdReorg] = true;

    // Closing ends the program; the window is gone and takes nothing more.
    EXPECT_EQ(window.Deliver(Event::Close), Flow::End);
    EXPECT_EQ(window.Deliver(Event::CmdReorgClick), Flow::End);
    EXPECT_EQ(window.Deliver(Event::CmdDatendateiClick), Flow::End);
    EXPECT_EQ(h.dialogs.boxes.size(), 1u);
    EXPECT_EQ(h.dialogs.fileDialogs, 2);
    EXPECT_EQ(h.ctx.FinalExitCode(), kExitSuccess);
}

TEST(FrmZQR, WhileTheManagerModeWaitLetsInputThroughOnlyTheWayOutIsTakenAndEndsTheProgram) {
    Harness h;
    h.clock.instant = true;
    const std::string file = h.data + "/zqdata.mdb";
    auto held = HoldOpen(file);
    ASSERT_NE(held, nullptr);
    h.ctx.program.glStartParm = "/MANAGER " + file;
    FrmZQR window(h.ctx);
    int rounds = 0;
    bool fieldKept = true;
    std::vector<Flow> answers;
    h.view.duringWait = [&] {
        ++rounds;
        fieldKept = fieldKept && h.view.readOnly[Control::txtDatenbank];
        if (rounds == 2) {
            h.view.texts[Control::txtDatenbank] = h.dir / "other.mdb";
            for (Event event : kNotTheWayOut) answers.push_back(h.view.window->Deliver(event));
        }
        if (rounds == 4) answers.push_back(h.view.window->Deliver(Event::Close));
    };
    EXPECT_EQ(StartUp(h.ctx, window), Flow::End);
    EXPECT_EQ(answers, (std::vector<Flow>{Flow::Go, Flow::Go, Flow::Go, Flow::Go, Flow::End}));
    EXPECT_EQ(h.dialogs.fileDialogs, 0);
    EXPECT_TRUE(h.dialogs.boxes.empty());
    EXPECT_EQ(h.ctx.glDataFile, file);
    EXPECT_EQ(Remembered(h), "");
    EXPECT_TRUE(fieldKept) << "the path field took typing during the wait";
    // The wait ends with the window, and the program as one that did nothing.
    EXPECT_EQ(rounds, 4);
    EXPECT_EQ(Count(h.Trace(), "Result           : OK | Found | Deleted"), 4);
    EXPECT_EQ(h.ctx.FinalExitCode(), kExitAborted);
    EXPECT_EQ(window.Deliver(Event::CmdReorgClick), Flow::End);
}

TEST(FrmZQR, ARunTakesNoSecondStartNoFileChoiceAndIsNotBrokenOff) {
    Harness h;
    h.clock.instant = true;
    const std::string file = h.data + "/zqdata.mdb";
    zqtest::MakeDataFile(file);
    // The database program: takes a moment and notes each start.
    const std::string fake = h.dir / "fake";
    zqtest::WriteFile(fake + "/msaccess.exe",
                      "#!/bin/sh\necho started >> '" + h.dir / "starts" + "'\nsleep 1.5\ntouch \"$1\"\n");
    fs::permissions(fake + "/msaccess.exe", fs::perms::owner_all);
    zqtest::WriteFile(h.prog + "/zqm.ini", "[Datenbasis]\r\nPfad=" + fake + "\r\n");
    zqtest::WriteFile(h.prog + "/zqr.ini", "[Global]\r\nsicherungskopie=x\r\n");
    zq::SaveSetting(h.registry, kProductName, "Settings", "01", file);
    FrmZQR window(h.ctx);
    ASSERT_EQ(StartUp(h.ctx, window), Flow::Go);

    int waits = 0;
    bool fieldKept = true;
    std::vector<Flow> answers;
    h.view.duringWait = [&] {
        ++waits;
        fieldKept = fieldKept && h.view.readOnly[Control::txtDatenbank];
        if (waits > 1) return;
        h.view.texts[Control::txtDatenbank] = h.dir / "other.mdb";
        for (Event event : kNotTheWayOut) answers.push_back(h.view.window->Deliver(event));
        answers.push_back(h.view.window->Deliver(Event::CmdEndeClick));
        answers.push_back(h.view.window->Deliver(Event::Close));
    };
    EXPECT_EQ(window.Deliver(Event::CmdReorgClick), Flow::End) << "a run ends the program";
    ASSERT_GE(waits, 1) << "the run let no input through";
    // Neither a way out: the run may have the data file away from its place.
    EXPECT_EQ(answers, std::vector<Flow>(6, Flow::Go));
    EXPECT_EQ(zqtest::ReadFile(h.dir / "starts"), "started\n");
    EXPECT_EQ(h.dialogs.fileDialogs, 0);
    EXPECT_EQ(h.ctx.glDataFile, file);
    EXPECT_EQ(Remembered(h), file);
    EXPECT_TRUE(fieldKept) << "the path field took typing during the run";
    EXPECT_FALSE(h.view.readOnly[Control::txtDatenbank]);
    ASSERT_FALSE(h.dialogs.boxes.empty());
    EXPECT_EQ(h.dialogs.boxes.back().text.rfind("Reorganisation erfolgreich.", 0), 0u)
        << h.dialogs.boxes.back().text;
    EXPECT_EQ(h.ctx.FinalExitCode(), kExitSuccess);
}

// The console view reports its choices to the same logic.
struct ConsoleWindow {
    explicit ConsoleWindow(Harness& h, const std::string& input, const std::string& startParm = "")
        : in(input), view(in, out), ctx(h.platform, view, startParm), window(ctx) {
        ApplyDesign(view);
    }
    std::istringstream in;
    std::ostringstream out;
    zq::console::ConsoleReorgView view;
    ReorgContext ctx;
    FrmZQR window;
};

TEST(ConsoleReorgView, ATypedPathIsTakenBeforeTheStartButtonChecksItAndEndOfInputCloses) {
    Harness h;
    const std::string typed = h.dir / "elsewhere/zqdata.mdb";
    ConsoleWindow c(h, "p " + typed + "\nr\n");
    ASSERT_EQ(StartUp(c.ctx, c.window), Flow::Go);
    c.view.Run(c.window);
    EXPECT_EQ(c.ctx.glDataFile, typed);
    EXPECT_EQ(Remembered(h), typed);
    ASSERT_EQ(h.dialogs.boxes.size(), 1u);
    EXPECT_TRUE(Has(h.dialogs.boxes[0].text, "2) die Datendatei " + typed + " ist nicht vorhanden"));
    EXPECT_TRUE(Has(c.out.str(), "ZEQUORA Datendatei (zqdata.mdb): [" + typed + "]\n")) << c.out.str();
    EXPECT_EQ(c.window.Deliver(Event::CmdReorgClick), Flow::End) << "end of input closed the window";
    EXPECT_EQ(c.ctx.FinalExitCode(), kExitSuccess);
}

TEST(ConsoleReorgView, AWaitReadsNoInputAndTheWindowTakesItAfterwards) {
    Harness h;
    h.clock.instant = true;
    const std::string file = h.data + "/zqdata.mdb";
    auto held = HoldOpen(file);
    ASSERT_NE(held, nullptr);
    ConsoleWindow c(h, "d\ns\n", "/MANAGER " + file);
    ASSERT_EQ(StartUp(c.ctx, c.window), Flow::Go);
    EXPECT_EQ(c.in.tellg(), 0) << "the wait took input meant for the window";
    EXPECT_TRUE(Has(c.out.str(), "lblFortschritt (rechts): Programm nicht bereit\n")) << c.out.str();
    c.view.Run(c.window);
    EXPECT_EQ(h.dialogs.fileDialogs, 1);
    EXPECT_TRUE(c.in.eof() || c.in.peek() == EOF);
    EXPECT_EQ(c.ctx.FinalExitCode(), kExitAborted);
}
