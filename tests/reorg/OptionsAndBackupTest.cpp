// zqr.ini, backup copies with their rotation, and the data-file check, over files in memory
// on every platform.
#include <gtest/gtest.h>

#include "reorg/Ablauf.h"
#include "reorg/IniDatei.h"
#include "reorg/MemoryHarness.h"
#include "reorg/ZqrExpected.h"

using namespace zq;
using namespace zq::reorg;
using Harness = zqtest::MemoryHarness;

namespace {

// The file was last written the given number of minutes before the day's end.
void SetTime(Harness& h, const std::string& path, int minutesAgo) {
    const int minutes = 24 * 60 - minutesAgo;
    h.files.files[path].lastWrite = {2026, 12, 6, minutes / 60, minutes % 60, 0};
}

int CountCopies(Harness& h, const std::string& folder) {
    int n = 0;
    for (const DirEntry& e : h.files.List(folder))
        if (e.name.rfind("R_", 0) == 0) ++n;
    return n;
}

}  // namespace

TEST(OptionsFile, FirstStartWritesTheWholeCommentedFile) {
    Harness h;
    WriteDefaultOptions(h.ctx);
    EXPECT_EQ(h.files.Content(h.prog + "/zqr.ini"), zqexpect::kFreshOptionsFile);
    ReadOptions(h.ctx);
    EXPECT_EQ(h.ctx.options.kopie, "B");
    EXPECT_EQ(h.ctx.options.create, "B");
    EXPECT_EQ(h.ctx.options.log, "A");
    EXPECT_EQ(h.ctx.options.sleep, "0");
    EXPECT_EQ(h.ctx.options.tabCode, "TBL");
    EXPECT_EQ(h.ctx.options.maxFiles, "10");
    // A second start changes nothing.
    WriteDefaultOptions(h.ctx);
    EXPECT_EQ(h.files.Content(h.prog + "/zqr.ini"), zqexpect::kFreshOptionsFile);
}

TEST(OptionsFile, PresentValuesStayAndMissingOrEmptyOnesAreCompleted) {
    Harness h;
    h.files.Put(h.prog + "/zqr.ini",
                      "[Global]\r\nWarten=5\r\nLogdatei=\r\nDateiAnzahlMax=12 Stück\r\nTabCode= abc \r\n");
    WriteDefaultOptions(h.ctx);
    ReadOptions(h.ctx);
    std::string ini = h.files.Content(h.prog + "/zqr.ini");
    EXPECT_NE(ini.find("Warten=5\r\n"), std::string::npos);
    EXPECT_EQ(ini.find("; Zusätzliche Sekunden"), std::string::npos);  // no comment for a kept key
    EXPECT_NE(ini.find("logdatei=a\r\n; Erstellen einer Log-Datei"), std::string::npos);
    EXPECT_NE(ini.find("sicherungskopie=b\r\n"), std::string::npos);
    EXPECT_EQ(h.ctx.options.sleep, "5");
    EXPECT_EQ(h.ctx.options.log, "A");
    EXPECT_EQ(h.ctx.options.maxFiles, "12");
    EXPECT_EQ(h.ctx.options.tabCode, "ABC");
}

// A file that cannot supply its values (here: a folder in its place, which nobody can write
// over) leaves the defaults in force: never "no backup" or every table counted.
TEST(OptionsFile, DefaultsAreInForceWhenTheFileCannotBeWritten) {
    Harness h;
    h.files.AddFolder(h.prog + "/zqr.ini");
    WriteDefaultOptions(h.ctx);
    ReadOptions(h.ctx);
    EXPECT_EQ(h.ctx.options.kopie, "B");
    EXPECT_EQ(h.ctx.options.log, "A");
    EXPECT_EQ(h.ctx.options.tabCode, "TBL");
    EXPECT_EQ(h.ctx.options.maxFiles, "10");
}

class Backups : public ::testing::Test {
protected:
    void Use(const std::string& kopie, const std::string& maxFiles) {
        h.ctx.options.kopie = kopie;
        h.ctx.options.maxFiles = maxFiles;
        h.ctx.options.Parse();
        h.ctx.run.unattended = true;
        h.ctx.trace.OpenOutput();
        h.MakeDataFile();  // the rotation runs only for a usable file
    }
    Harness h;
};

TEST_F(Backups, RotationKeepsTheMaximumAndDeletesTheOldestOnly) {
    Use("B", "10");
    h.files.AddFolder(h.data + "/Save");
    for (int k = 0; k < 12; ++k) {
        std::string path = h.data + "/Save/R_2501" + std::to_string(10 + k) + "_000000.mdb";
        h.files.Put(path, "old");
        SetTime(h, path, 100 - k);  // k = 0 is the oldest
    }
    h.files.Put(h.data + "/Save/keep_me.mdb", "not a copy");
    SetTime(h, h.data + "/Save/keep_me.mdb", 1000);
    EXPECT_EQ(MakeBackupCopies(h.ctx), 1);
    h.ctx.trace.Close();
    EXPECT_EQ(CountCopies(h, h.data + "/Save"), 10);
    EXPECT_TRUE(h.files.Has(h.data + "/Save/keep_me.mdb"));
    for (int k = 0; k < 3; ++k)
        EXPECT_FALSE(h.files.Has(h.data + "/Save/R_2501" + std::to_string(10 + k) + "_000000.mdb"));
    EXPECT_TRUE(h.files.Has(h.data + "/Save/R_250113_000000.mdb"));
    std::string trace = h.Trace();
    EXPECT_NE(trace.find("Action           : Delete copies of the data file to keep max amount of: 10\r\n"
                         "Command          : Delete file '" + h.data + "/Save/R_250110_000000.mdb'\r\n"),
              std::string::npos);
    EXPECT_NE(trace.find("Result           : OK | Found 12 | Deleted 3\r\n"), std::string::npos);
}

TEST_F(Backups, AFailedCopyCountsNothingAndCostsNoGoodCopy) {
    Use("FB", "2");
    h.files.AddFolder(h.data + "/Save");
    h.files.AddFolder(h.prog + "/Autosave");
    for (const std::string& folder : {h.data + "/Save", h.prog + "/Autosave"}) {
        h.files.Put(folder + "/R_250101_000000.mdb", "good 1");
        h.files.Put(folder + "/R_250102_000000.mdb", "good 2");
    }
    h.files.files.erase(h.ctx.run.glDataFile);
    h.files.AddFolder(h.ctx.run.glDataFile);  // a folder cannot be copied: every copy fails
    EXPECT_EQ(MakeBackupCopies(h.ctx), 0);
    h.ctx.trace.Close();
    EXPECT_EQ(CountCopies(h, h.data + "/Save"), 2);
    EXPECT_EQ(CountCopies(h, h.prog + "/Autosave"), 2);
    for (const DirEntry& e : h.files.List(h.data + "/Save"))  // no temporary left behind
        EXPECT_EQ(e.name.rfind("R_2501", 0), 0u) << e.name;
    std::string trace = h.Trace();
    EXPECT_NE(trace.find("to backend folder: " + h.data + "/Save/R_"), std::string::npos);
    EXPECT_NE(trace.find("to frontend folder: " + h.prog + "/Autosave/R_"), std::string::npos);
    EXPECT_EQ(trace.find("Result           : OK"), std::string::npos);
}

TEST_F(Backups, BothCopiesShareOneNameAndMaxZeroSkipsTheCleanUp) {
    Use("FB", "0");
    h.files.Put(h.data + "/Save/R_200101_000000.mdb", "old");
    EXPECT_EQ(MakeBackupCopies(h.ctx), 2);
    h.ctx.trace.Close();
    std::string name;
    for (const DirEntry& e : h.files.List(h.prog + "/Autosave")) name = e.name;
    ASSERT_EQ(name.size(), std::string("R_261206_070509.mdb").size());
    EXPECT_TRUE(h.files.Content(h.data + "/Save/" + name) == h.files.Content(h.ctx.run.glDataFile));
    EXPECT_TRUE(h.files.Content(h.prog + "/Autosave/" + name) == h.files.Content(h.ctx.run.glDataFile));
    EXPECT_TRUE(h.files.Has(h.data + "/Save/R_200101_000000.mdb"));
    EXPECT_EQ(h.Trace().find("Delete copies"), std::string::npos);
    // The frontend folder was created without a question in an unattended run.
    EXPECT_TRUE(h.dialogs.boxes.empty());
}

TEST(DataFileCheck, ANameWithoutMdbEndsTheProgram) {
    Harness h;
    h.ctx.trace.OpenOutput();
    h.files.Put(h.data + "/ZQDATA.MDB.bak", "x");
    Flow flow = Flow::Go;
    EXPECT_FALSE(CheckDataFile(h.ctx, h.data + "/ZQDATA.MDB.bak", flow));
    EXPECT_EQ(flow, Flow::End);
    EXPECT_EQ(h.ctx.run.outcome, zq::reorg::RunOutcome::Failed);
    ASSERT_EQ(h.dialogs.boxes.size(), 1u);
    EXPECT_EQ(h.dialogs.boxes[0].text,
              "Aktion abgebrochen.\r\n\r\nMögliche Ursachen: \r\nNotwendige Befehlsbibliotheken "
              "stehen nicht zur Verfügung.");
}
