// The Manager mode's wait for the lock file that another process holds, with the recording
// view and the console view, on the real Linux files.
#include <filesystem>
#include <sstream>

#include <gtest/gtest.h>

#include "common/RegistryAccess.h"
#include "platform/console/ConsoleReorgView.h"
#include "platform/posix/LockFile.h"
#include "reorg/Ablauf.h"
#include "reorg/ReorgHarness.h"
#include "reorg/WindowTestSupport.h"
#include "reorg/frmZQR/frmZQR.h"

using namespace zq::reorg;
using zqtest::ConsoleWindow;
using zqtest::kNotTheWayOut;
using zqtest::Remembered;
using zqtest::Harness;
namespace fs = std::filesystem;

namespace {

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

int Count(const std::string& text, const std::string& part) {
    int n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

// The data file stays open elsewhere: the Manager-mode wait for its lock file runs all rounds.
std::unique_ptr<zq::posix::LockFile> HoldOpen(const std::string& file) {
    zq::dao::Error error;
    return zq::posix::LockFile::Acquire(file, false, false, error);
}

}  // namespace


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
