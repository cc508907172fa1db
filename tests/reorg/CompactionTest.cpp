// The end of a compaction whose database program does not finish, and a run without a data
// engine, over the services in memory on every platform.
#include <gtest/gtest.h>

#include "reorg/Ablauf.h"
#include "reorg/MemoryHarness.h"

using namespace zq;
using namespace zq::reorg;
using Harness = zqtest::MemoryHarness;

namespace {

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

TEST(Compaction, AccessThatDoesNotEndIsAFailureAndTheDataFileIsNotWritten) {
    Harness h("/DATEI x");
    h.MakeDataFile();
    const auto before = h.files.Stamp(h.ctx.run.glDataFile);
    // A database program that never ends by itself.
    h.files.Put("/zq/fake/msaccess.exe", "program");
    h.processes.clock = &h.clock;
    h.processes.waitsBeforeEnd = -1;
    h.ctx.run.glAccessExe = "/zq/fake/msaccess.exe";
    h.ctx.run.unattended = true;
    h.ctx.options = ReorgOptions::FromTexts("X", "B", "N", "0", "TBL", "10");
    h.ctx.run.accessWaitBoundMs = 300;
    h.ctx.trace.OpenOutput();

    EXPECT_EQ(RunCompaction(h.ctx), Flow::End);
    EXPECT_EQ(h.ctx.FinalExitCode(), kExitFailed);
    ASSERT_EQ(h.dialogs.boxes.size(), 1u);
    EXPECT_EQ(h.dialogs.boxes[0].title, "Reorg Fehler");
    EXPECT_TRUE(Has(h.dialogs.boxes[0].text,
                    "Mögliche Ursache:\r\nDas Datenbankprogramm hat die Reorganisation nach 1 Sekunden noch "
                    "nicht beendet und wurde beendet (Grenze \"WartenMax\" in zqr.ini).\r\n\r\n"
                    "Das Ergebnis wurde nicht in die Datendatei geschrieben."))
        << h.dialogs.boxes[0].text;
    EXPECT_EQ(h.processes.terminated, 1);
    EXPECT_TRUE(h.files.Stamp(h.ctx.run.glDataFile) == before) << "nothing may be written into the data file";
    std::string trace = h.Trace();
    EXPECT_TRUE(Has(trace, "Result           : Error | still running after "));
    EXPECT_TRUE(Has(trace, "Result           : Error | not written: the database program did not finish"));
    EXPECT_TRUE(Has(h.files.Content(h.data + "/ZQR_Reorg_Log.txt"), "---- Ergebnis: -- FEHLGESCHLAGEN --\r\n"));
}

namespace {

// An engine whose classes are not registered, as with Access of the other bitness. Any open
// fails with 429, and a count of the opens shows whether the run retried.
class NoEngine : public dao::IDbEngine {
public:
    dao::Error Check() override { return {dao::kErrNoEngine, "not registered"}; }
    std::string Name() const override { return "DAO (DAO.DBEngine.120)"; }
    std::unique_ptr<dao::Database> OpenDatabase(const std::string&, bool, bool, const std::string&,
                                                dao::Error& error) override {
        ++opens;
        error = Check();
        return nullptr;
    }
    int opens = 0;
};

}  // namespace

TEST(Compaction, WithoutADataEngineTheRunEndsAtOnceAndTouchesNothing) {
    Harness h("/DATEI x");
    NoEngine engine;
    h.platform.db = &engine;
    h.MakeDataFile();
    const auto before = h.files.Stamp(h.ctx.run.glDataFile);
    h.ctx.run.unattended = true;
    h.ctx.options = ReorgOptions::FromTexts("B", "B", "A", "0", "TBL", "10");
    h.ctx.trace.OpenOutput();

    EXPECT_EQ(RunReorganisation(h.ctx), Flow::End);
    EXPECT_EQ(h.ctx.FinalExitCode(), kExitFailed);
    EXPECT_EQ(engine.opens, 0);
    ASSERT_EQ(h.dialogs.boxes.size(), 1u);
    EXPECT_EQ(h.dialogs.boxes[0].title, "Reorg Fehler");
    EXPECT_EQ(h.dialogs.boxes[0].text.rfind("Die Datenbank-Schnittstelle DAO (DAO.DBEngine.120) kann nicht "
                                            "gestartet werden (Fehlercode: 429).", 0), 0u)
        << h.dialogs.boxes[0].text;
    EXPECT_TRUE(Has(h.dialogs.boxes[0].text, "unterschiedliche Bitversion"));
    EXPECT_TRUE(Has(h.Trace(), "Action           : Check database engine: DAO (DAO.DBEngine.120)\r\n"
                               "Result           : Error | 429 not registered\r\n"));
    EXPECT_TRUE(h.files.Stamp(h.ctx.run.glDataFile) == before);
    EXPECT_FALSE(h.files.IsDirectory(h.data + "/Save"));
    EXPECT_FALSE(h.files.Has(h.data + "/ZQR_Reorg_Log.txt"));
}

// A lasting error is not waited for: only "in use" is.
TEST(Compaction, OnlyAFileInUseIsWaitedFor) {
    Harness h;
    NoEngine engine;
    h.platform.db = &engine;
    h.ctx.options = ReorgOptions::FromTexts("B", "B", "X", "0", "TBL", "10");
    (void)CountRecords(h.ctx, 1);
    EXPECT_EQ(engine.opens, 1);
    EXPECT_FALSE(h.ctx.run.census[1].counted);
    EXPECT_TRUE(dao::IsInUse(dao::kErrLockedExclusive));
    EXPECT_FALSE(dao::IsInUse(dao::kErrNoEngine));
    EXPECT_FALSE(dao::IsInUse(dao::kErrUnrecognisedFormat));
}
