// The window frmZQR's rules, proved once for every view: a recording view that reports the
// events a user could cause while the program waits, and the console view on scripted input;
// over the services in memory on every platform.
#include <sstream>

#include <gtest/gtest.h>

#include "common/RegistryAccess.h"
#include "platform/console/ConsoleReorgView.h"
#include "reorg/Ablauf.h"
#include "reorg/MemoryHarness.h"
#include "reorg/frmZQR/frmZQR.h"

using namespace zq::reorg;
using Harness = zqtest::MemoryHarness;

namespace {

std::string Remembered(Harness& h) { return zq::GetSetting(h.registry, kProductName, "Settings", "01", ""); }

const std::vector<Event> kNotTheWayOut{Event::CmdReorgClick, Event::CmdDatendateiClick, Event::PicDatendateiClick,
                                       Event::TxtDatenbankLostFocus};

// The console view reports its choices to the same logic.
struct ConsoleWindow {
    ConsoleWindow(Harness& h, const std::string& input, const std::string& startParm = "")
        : in(input), view(in, out), ctx(h.platform, view, startParm), window(ctx) {
        ApplyDesign(view);
    }
    std::istringstream in;
    std::ostringstream out;
    zq::console::ConsoleReorgView view;
    ReorgContext ctx;
    FrmZQR window;
};

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

int Count(const std::string& text, const std::string& part) {
    int n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

// The data file stays open in Access elsewhere: its lock file cannot be removed, so the
// Manager-mode wait for it runs all its rounds.
void HoldLockFile(Harness& h) {
    h.files.Put(h.data + "/zqdata.ldb", "");
    h.files.files[h.data + "/zqdata.ldb"].holders = 1;
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
    const std::string typed = std::string("/zq/elsewhere/zqdata.mdb");
    h.view.texts[Control::txtDatenbank] = typed;
    EXPECT_EQ(window.Deliver(Event::CmdReorgClick), Flow::Go);
    EXPECT_EQ(h.ctx.run.glDataFile, typed);
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

TEST(FrmZQR, ARunTakesNoSecondStartNoFileChoiceAndIsNotBrokenOff) {
    Harness h;
    const std::string file = h.data + "/zqdata.mdb";
    h.MakeDataFile();
    // The database program: takes a moment (one wait) and compacts, that is writes the file anew.
    const std::string fake = "/zq/fake";
    h.files.Put(fake + "/msaccess.exe", "program");
    h.processes.clock = &h.clock;
    h.processes.waitsBeforeEnd = 1;
    h.processes.onStart = [&](const std::string&) { h.files.Put(file, h.files.Content(file)); };
    h.files.Put(h.prog + "/zqm.ini", "[Datenbasis]\r\nPfad=" + fake + "\r\n");
    h.files.Put(h.prog + "/zqr.ini", "[Global]\r\nsicherungskopie=x\r\n");
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
        h.view.texts[Control::txtDatenbank] = std::string("/zq/other.mdb");
        for (Event event : kNotTheWayOut) answers.push_back(h.view.window->Deliver(event));
        answers.push_back(h.view.window->Deliver(Event::CmdEndeClick));
        answers.push_back(h.view.window->Deliver(Event::Close));
    };
    EXPECT_EQ(window.Deliver(Event::CmdReorgClick), Flow::End) << "a run ends the program";
    ASSERT_GE(waits, 1) << "the run let no input through";
    // Neither a way out: the run may have the data file away from its place.
    EXPECT_EQ(answers, std::vector<Flow>(6, Flow::Go));
    EXPECT_EQ(h.processes.started.size(), 1u);
    EXPECT_EQ(h.dialogs.fileDialogs, 0);
    EXPECT_EQ(h.ctx.run.glDataFile, file);
    EXPECT_EQ(Remembered(h), file);
    EXPECT_TRUE(fieldKept) << "the path field took typing during the run";
    EXPECT_FALSE(h.view.readOnly[Control::txtDatenbank]);
    ASSERT_FALSE(h.dialogs.boxes.empty());
    EXPECT_EQ(h.dialogs.boxes.back().text.rfind("Reorganisation erfolgreich.", 0), 0u)
        << h.dialogs.boxes.back().text;
    EXPECT_EQ(h.ctx.FinalExitCode(), kExitSuccess);
}

TEST(ConsoleReorgView, ATypedPathIsTakenBeforeTheStartButtonChecksItAndEndOfInputCloses) {
    Harness h;
    const std::string typed = std::string("/zq/elsewhere/zqdata.mdb");
    ConsoleWindow c(h, "p " + typed + "\nr\n");
    ASSERT_EQ(StartUp(c.ctx, c.window), Flow::Go);
    c.view.Run(c.window);
    EXPECT_EQ(c.ctx.run.glDataFile, typed);
    EXPECT_EQ(Remembered(h), typed);
    ASSERT_EQ(h.dialogs.boxes.size(), 1u);
    EXPECT_TRUE(Has(h.dialogs.boxes[0].text, "2) die Datendatei " + typed + " ist nicht vorhanden"));
    EXPECT_TRUE(Has(c.out.str(), "ZEQUORA Datendatei (zqdata.mdb): [" + typed + "]\n")) << c.out.str();
    EXPECT_EQ(c.window.Deliver(Event::CmdReorgClick), Flow::End) << "end of input closed the window";
    EXPECT_EQ(c.ctx.FinalExitCode(), kExitSuccess);
}

TEST(FrmZQR, WhileTheManagerModeWaitLetsInputThroughOnlyTheWayOutIsTakenAndEndsTheProgram) {
    Harness h("/MANAGER /zq/data/zqdata.mdb");
    const std::string file = h.data + "/zqdata.mdb";
    HoldLockFile(h);
    FrmZQR window(h.ctx);
    int rounds = 0;
    bool fieldKept = true;
    std::vector<Flow> answers;
    h.view.duringWait = [&] {
        ++rounds;
        fieldKept = fieldKept && h.view.readOnly[Control::txtDatenbank];
        if (rounds == 2) {
            h.view.texts[Control::txtDatenbank] = h.data + "/other.mdb";
            for (Event event : kNotTheWayOut) answers.push_back(h.view.window->Deliver(event));
        }
        if (rounds == 4) answers.push_back(h.view.window->Deliver(Event::Close));
    };
    EXPECT_EQ(StartUp(h.ctx, window), Flow::End);
    EXPECT_EQ(answers, (std::vector<Flow>{Flow::Go, Flow::Go, Flow::Go, Flow::Go, Flow::End}));
    EXPECT_EQ(h.dialogs.fileDialogs, 0);
    EXPECT_TRUE(h.dialogs.boxes.empty());
    EXPECT_EQ(h.ctx.run.glDataFile, file);
    EXPECT_EQ(Remembered(h), "");
    EXPECT_TRUE(fieldKept) << "the path field took typing during the wait";
    // The wait ends with the window, and the program as one that did nothing.
    EXPECT_EQ(rounds, 4);
    EXPECT_EQ(Count(h.Trace(), "Result           : OK | Found | Deleted"), 4);
    EXPECT_EQ(h.ctx.FinalExitCode(), kExitAborted);
    EXPECT_EQ(window.Deliver(Event::CmdReorgClick), Flow::End);
}


TEST(ConsoleReorgView, AWaitReadsNoInputAndTheWindowTakesItAfterwards) {
    Harness h;
    const std::string file = h.data + "/zqdata.mdb";
    HoldLockFile(h);
    ConsoleWindow c(h, "d\ns\n", "/MANAGER " + file);
    ASSERT_EQ(StartUp(c.ctx, c.window), Flow::Go);
    EXPECT_EQ(c.in.tellg(), 0) << "the wait took input meant for the window";
    EXPECT_TRUE(Has(c.out.str(), "lblFortschritt (rechts): Programm nicht bereit\n")) << c.out.str();
    c.view.Run(c.window);
    EXPECT_EQ(h.dialogs.fileDialogs, 1);
    EXPECT_TRUE(c.in.eof() || c.in.peek() == EOF);
    EXPECT_EQ(c.ctx.FinalExitCode(), kExitAborted);
}
