// The real zqr in temporary installations: each start mode, the questions answered each way,
// the failure paths and bad input, with scripted console answers.
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <thread>

#include <gtest/gtest.h>

#include "common/RegistryAccess.h"
#include "platform/posix/RegistryStore.h"
#include "reorg/Meldungen.h"
#include "reorg/ZqrScenarios.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using zqtest::ReadFile;
using zqtest::RunResult;
using zqtest::WriteFile;

namespace {

constexpr int kTimeoutMs = 60000;

void Sql(const std::string& file, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    char* err = nullptr;
    int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err);
    std::string why = err ? err : "";
    sqlite3_free(err);
    sqlite3_close(db);
    ASSERT_EQ(rc, SQLITE_OK) << why;
}

std::string Query(const std::string& file, const std::string& sql) {
    sqlite3* db = nullptr;
    std::string out;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) return "?";
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK) {
        while (sqlite3_step(st) == SQLITE_ROW) {
            for (int c = 0; c < sqlite3_column_count(st); ++c) {
                if (c) out += '|';
                const unsigned char* t = sqlite3_column_text(st, c);
                out += t ? reinterpret_cast<const char*>(t) : "NULL";
            }
            out += '\n';
        }
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return out;
}

void MakeDataFile(const std::string& file) { Sql(file, zqexpect::kDataFileSql); }

// One installation: program folder with a copy of zqr, data folder, registry store.
struct Install {
    Install() {
        fs::permissions(dir.Path(), fs::perms::all, fs::perm_options::replace);
        fs::create_directories(prog);
        fs::create_directories(data);
        fs::create_directories(dir / "reg");
        fs::copy_file(zqtest::BinDir() + "/zqr", zqr);
        MakeDataFile(dataFile);
        ZqmIni("[Datenbasis]\r\nPfad=" + zqtest::BinDir() + "\r\n");
        env = {{"ZEQUORA_UI", "console"},       {"ZEQUORA_REGISTRY", dir / "reg"},
               {"XDG_CACHE_HOME", dir / "cache"}, {"WINEPREFIX", dir / "wine"},
               {"HOME", dir.Path()},            {"LC_ALL", "C"}};
    }
    void ZqmIni(const std::string& text) { WriteFile(prog + "/zqm.ini", text); }
    void ZqrIni(const std::string& text) { WriteFile(prog + "/zqr.ini", "[Global]\r\n" + text); }
    RunResult Run(const std::vector<std::string>& args, const std::string& input = "",
                  int timeoutMs = kTimeoutMs) {
        std::vector<std::string> argv = runAs;
        argv.push_back(zqr);
        argv.insert(argv.end(), args.begin(), args.end());
        return zqtest::Run(argv, env, input, timeoutMs);
    }
    std::string Trace() { return ReadFile(prog + "/ZQR_Reorg_Trace.txt"); }
    std::string Log() { return ReadFile(data + "/ZQR_Reorg_Log.txt"); }
    std::string Records() { return Query(dataFile, "select count(*) from tblZeit"); }
    // A stand-in for Access made of a shell script, found through "Pfad".
    void FakeAccess(const std::string& body) {
        std::string folder = dir / "fake";
        WriteFile(folder + "/msaccess.exe", "#!/bin/sh\n" + body + "\n");
        fs::permissions(folder + "/msaccess.exe", fs::perms::owner_all, fs::perm_options::add);
        ZqmIni("[Datenbasis]\r\nPfad=" + folder + "\r\n");
    }

    zqtest::TempDir dir;
    std::string prog = dir / "prog", data = dir / "data", zqr = prog + "/zqr",
                dataFile = data + "/zqdata.mdb";
    std::map<std::string, std::string> env;
    std::vector<std::string> runAs;  // what the program is started through, as another user
};

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

int Count(const std::string& text, const std::string& part) {
    int n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

const char* const kAbortStart = "== ZEQUORA Datendatei Reorganisation == exclamation == OK\nAktion abgebrochen.\n";

}  // namespace

TEST(ZqrUnattended, NoAccessNamesTheProductYearAndChangesNothing) {
    Install in;
    in.ZqmIni("[Datenbasis]\r\nBit=X\r\n");
    auto before = fs::file_size(in.dataFile);
    RunResult r = in.Run({"/DATEI", in.dataFile});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(Has(r.err, "== ZEQUORA Datendatei Reorganisation == stop == OK\nAccess 2016 oder Access 2016 "
                           "Runtime nicht gefunden"))
        << r.err;
    std::string trace = in.Trace();
    EXPECT_TRUE(Has(trace, "*** Check Office 10.0 ***"));
    EXPECT_TRUE(Has(trace, "\r\n--- Change Version : 10.0 --> 16.0 ----------------------\r\n"));
    EXPECT_TRUE(Has(trace, "*** Check Access 16.0 Runtime Special ***"));
    EXPECT_TRUE(Has(trace, "*** Check Access 16.0 MSO Standard ***\r\nVersion            : 16.0/32 bit\r\n"));
    EXPECT_TRUE(Has(trace, "Error            : Access 2016 oder"));
    EXPECT_EQ(fs::file_size(in.dataFile), before);
    EXPECT_FALSE(fs::exists(in.data + "/ZQR_Reorg_Log.txt"));

    in.ZqmIni("[Datenbasis]\r\nVersion=15.0\r\n");
    r = in.Run({"/DATEI", in.dataFile});
    EXPECT_TRUE(Has(r.err, "Access 2013 oder Access 2013 Runtime"));
    EXPECT_FALSE(Has(in.Trace(), "Change Version"));
}

TEST(ZqrUnattended, AccessFoundThroughRegistryAndStreamedFolder) {
    Install in;
    in.ZqmIni("[Update]\r\nLokalUpdate=N\r\n");
    {
        zq::posix::RegistryStore store(in.dir / "reg");
        // Only the 16.0 run-time key, program in the "office" subfolder of its install root.
        fs::create_directories(in.dir / "root/office");
        fs::copy_file(zqtest::BinDir() + "/msaccess.exe", in.dir / "root/office/msaccess.exe");
        zq::WriteStringValue(store, zq::RegRoot::LocalMachine,
                             "Software\\Microsoft\\Office\\16.0\\Access\\InstallRoot", "Path", in.dir / "root");
    }
    RunResult r = in.Run({"/DATEI", in.dataFile});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(Has(in.Trace(), "Check Access     : " + in.dir / "root/office/msaccess.exe" +
                                    "\r\nResult           : OK\r\n"));

    Install streamed;
    streamed.ZqmIni("[Datenbasis]\r\nBit=64\r\n");
    std::string folder = streamed.dir / "wine/drive_c/Program Files/Microsoft Office/root/Office16";
    fs::create_directories(folder);
    fs::copy_file(zqtest::BinDir() + "/msaccess.exe", folder + "/msaccess.exe");
    r = streamed.Run({"/DATEI", streamed.dataFile});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(Has(streamed.Trace(), "Version            : 16.0/64 bit\r\nResult             : " + folder + "/\r\n"));
}

TEST(ZqrUnattended, ChangedRecordCountsWarnEvenUnattendedAndHaveTheirExitCode) {
    Install in;
    in.FakeAccess("sqlite3 \"$1\" 'delete from tblZeit where id % 4 = 1'");
    RunResult r = in.Run({"/DATEI", in.dataFile});
    EXPECT_EQ(r.exitCode, 3) << r.err;
    EXPECT_TRUE(Has(r.err, "== Reorg Warnung == stop == OK\n"));
    EXPECT_TRUE(Has(r.err, "ACHTUNG: Die Anzahl der Datensätze hat sich durch die Reorganisation verändert!"));
    EXPECT_TRUE(Has(in.Log(), "---- Ergebnis: -- ACHTUNG!!! --\r\n"));
    EXPECT_TRUE(Has(in.Log(), "- Anzahl Datensätze: vorher 2004 / nachher 1004 / Differenz -1000\r\n"));
    EXPECT_EQ(Query(in.dataFile, "select OP_ReorgErgebnis, OP_ReorgErgebnis_AnzahlDS from tblCfgOptionen"),
              "1|-1000\n");
}

TEST(ZqrUnattended, TheRunWaitsForAccessBeforeCountingAndMeasuring) {
    Install in;
    // An Access that needs a while and holds no lock file: only waiting for its end shows
    // the compaction and the records it removed.
    in.FakeAccess("sleep 2; sqlite3 \"$1\" 'delete from tblPersonal; vacuum'");
    in.ZqrIni("sicherungskopie=x\r\n");
    RunResult r = in.Run({"/DATEI", in.dataFile});
    EXPECT_EQ(r.exitCode, 3) << r.err;
    EXPECT_TRUE(Has(in.Log(), "- Anzahl Datensätze: vorher 2004 / nachher 2001 / Differenz -3\r\n"));
    EXPECT_TRUE(Has(r.err, "Reorganisation läuft, bitte warten"));
}

const char* const kFailedBox = "== Reorg Fehler == stop == OK\nDie Reorganisation der ZEQUORA Datendatei ist "
                               "fehlgeschlagen.\n\n";

std::string ResultRecords(Install& in) {
    return Query(in.dataFile, "select OP_ReorgErgebnis, OP_ReorgErgebnis_AnzahlDS, OP_ReorgLog_Pfad"
                              " from tblCfgOptionen") +
           Query(in.dataFile, "select ER_Ergebnis from tblEreignis");
}

// With a delay, Access may have compacted the file before the second search: the size
// before is still the size of the file it was given.
TEST(ZqrUnattended, TheSizeBeforeIsTakenBeforeAccessStarts) {
    Install in;
    in.ZqrIni("Warten=1\r\n");
    const double before = static_cast<double>(fs::file_size(in.dataFile));
    in.FakeAccess("sqlite3 \"$1\" vacuum");
    RunResult r = in.Run({"/DATEI", in.dataFile});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const double after = static_cast<double>(fs::file_size(in.dataFile));
    ASSERT_LT(after, before);
    char line[200];
    std::snprintf(line, sizeof line, "- Größe Datendatei: vorher %.1f MB / nachher %.1f MB / Differenz %.1f MB\r\n",
                  before / 1048576.0, after / 1048576.0, (before - after) / 1048576.0);
    EXPECT_TRUE(Has(in.Log(), line)) << in.Log();
}

TEST(ZqrUnattended, AccessThatCannotBeStartedLeavesTheDataFileUntouched) {
    Install in;
    in.FakeAccess("exit 0");
    fs::permissions(in.dir / "fake/msaccess.exe", fs::perms::owner_read | fs::perms::owner_write,
                    fs::perm_options::replace);
    std::string before = ReadFile(in.dataFile);
    RunResult r = in.Run({"/DATEI", in.dataFile});
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_TRUE(Has(r.err, std::string(kFailedBox) + "Mögliche Ursache:\nDas Datenbankprogramm msaccess.exe "
                           "konnte nicht gestartet werden.\nFehlermeldung: Program is not executable: "))
        << r.err;
    EXPECT_TRUE(Has(r.err, "\n\nDas Ergebnis wurde nicht in die Datendatei geschrieben.\n\nEinzelheiten"));
    EXPECT_FALSE(Has(r.err, "Reorganisation erfolgreich."));
    EXPECT_TRUE(ReadFile(in.dataFile) == before) << "nothing may be written into the data file";
    EXPECT_TRUE(Has(in.Trace(), "Action           : Writing results to data file\r\n"
                                "Result           : Error | not written: the database program did not finish\r\n"));
}

TEST(ZqrUnattended, AFileThatCannotBeOpenedAfterwardsIsAFailureNotAChange) {
    Install in;
    in.FakeAccess("printf 'kein Datenbankformat' > \"$1\"");
    RunResult r = in.Run({"/DATEI", in.dataFile});
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_TRUE(Has(r.err, "Fehlercode: 3343\n== Reorg Hinweis == information == OK\nEine mögliche Ursache"));
    EXPECT_TRUE(Has(r.err, std::string(kFailedBox) + "Mögliche Ursache:\nDie Datendatei konnte nach der "
                           "Reorganisation nicht geöffnet werden.\nFehlermeldung: 3343 "))
        << r.err;
    EXPECT_FALSE(Has(r.err, "ACHTUNG: Die Anzahl der Datensätze"));
    EXPECT_EQ(ReadFile(in.dataFile), "kein Datenbankformat");
    EXPECT_TRUE(Has(in.Log(), "- Anzahl Datensätze: vorher 2004 / nachher 0 / Differenz unbekannt\r\n"));
}

TEST(ZqrUnattended, ATableThatCannotBeCountedMakesTheCensusIncomplete) {
    Install in;
    // A table the engine lists but cannot read, like a linked table whose source is gone.
    Sql(in.dataFile, "PRAGMA writable_schema = ON; INSERT INTO sqlite_master(type, name, tbl_name, rootpage, sql)"
                     " VALUES('table', 'tblVerknuepft', 'tblVerknuepft', 0,"
                     " 'CREATE VIRTUAL TABLE tblVerknuepft USING fehlt(x)');");
    in.FakeAccess("exit 0");
    std::string before = ReadFile(in.dataFile);
    RunResult r = in.Run({"/DATEI", in.dataFile});
    EXPECT_EQ(r.exitCode, 2) << r.err;
    std::string log = in.Log();
    EXPECT_EQ(Count(log, " / Tabelle nicht gezählt : [tblVerknuepft] / Anzahl DS: unbekannt"), 2) << log;
    EXPECT_TRUE(Has(log, "- Anzahl Datensätze: vorher 2004 / nachher 2004 / Differenz unbekannt\r\n"));
    EXPECT_TRUE(Has(r.err, std::string(kFailedBox) + "Mögliche Ursachen: \n- " + zq::reorg::msg::kDataFileNotRewritten + "\n- Die Datensätze folgender Tabellen "
                           "konnten vor der Reorganisation nicht gezählt werden: [tblVerknuepft]\n- Die "
                           "Datensätze folgender Tabellen konnten nach der Reorganisation nicht gezählt "
                           "werden: [tblVerknuepft]\n\nDas Ergebnis wurde nicht in die Datendatei geschrieben."))
        << r.err;
    EXPECT_TRUE(Has(in.Trace(), "Error            : Table not counted: [tblVerknuepft] "));
    EXPECT_TRUE(ReadFile(in.dataFile) == before) << "no result records for an incomplete census";
}

// A size-limited file system mounted over a folder for one test, removed again after it.
class SmallFileSystem {
public:
    SmallFileSystem(const std::string& folder, std::uintmax_t bytes) : folder_(folder) {
        std::string options = "size=" + std::to_string((bytes + 4095) / 4096 * 4096);
        mounted_ = ::getuid() == 0 && zqtest::Run({"/bin/mount", "-t", "tmpfs", "-o", options, "tmpfs", folder},
                                                  {}, "", 10000).exitCode == 0;
    }
    ~SmallFileSystem() {
        if (mounted_) zqtest::Run({"/bin/umount", "-l", folder_}, {}, "", 10000);
    }
    bool Mounted() const { return mounted_; }
    // Takes the rest of the space, so that every later write finds the disk full.
    void Fill() {
        std::FILE* f = std::fopen((folder_ + "/fueller").c_str(), "wb");
        if (!f) return;
        std::string block(4096, 'f');
        while (std::fwrite(block.data(), 1, block.size(), f) == block.size() && std::fflush(f) == 0) {
        }
        std::fclose(f);
    }

private:
    std::string folder_;
    bool mounted_ = false;
};

TEST(ZqrUnattended, AFullProgramFolderEndsTheRunAsNotRecorded) {
    Install in;
    auto program = fs::file_size(in.zqr);
    SmallFileSystem small(in.prog, program + 256 * 1024);
    if (!small.Mounted()) GTEST_SKIP() << "needs root to mount a small file system";
    // The program folder now lies on the small file system: the program, its settings, then
    // nothing more fits, so the trace and the log (kept beside the program) stay empty.
    fs::copy_file(zqtest::BinDir() + "/zqr", in.zqr);
    in.ZqmIni("[Datenbasis]\r\nPfad=" + zqtest::BinDir() + "\r\n");
    in.ZqrIni("sicherungskopie=x\r\nlogdatei=n\r\nspeicherort=f\r\nwarten=0\r\ntabcode=tbl\r\n"
              "dateianzahlmax=10\r\n");
    small.Fill();
    RunResult r = in.Run({"/DATEI", in.dataFile});
    EXPECT_EQ(r.exitCode, 4) << r.err;
    EXPECT_EQ(in.Records(), "2000\n");  // reorganised all the same
    EXPECT_EQ(Query(in.dataFile, "select OP_ReorgErgebnis, OP_ReorgErgebnis_AnzahlDS from tblCfgOptionen"),
              "-1|2004\n");
    EXPECT_EQ(in.Trace(), "");
    EXPECT_EQ(ReadFile(in.prog + "/ZQR_Reorg_Log.txt"), "");
}

TEST(ZqrUnattended, ADamagedDataFileIsNeverWritten) {
    Install in;
    // A page in the middle of the records overwritten: the header stays valid, the database
    // program refuses the file and leaves it as it is.
    std::string damaged = ReadFile(in.dataFile);
    for (std::size_t i = damaged.size() / 2; i < damaged.size() / 2 + 4096 + 512; ++i) damaged[i] = '\x5a';
    WriteFile(in.dataFile, damaged);
    RunResult r = in.Run({"/DATEI", in.dataFile});
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_TRUE(Has(r.err, kFailedBox)) << r.err;
    EXPECT_TRUE(Has(r.err, "Das Ergebnis wurde nicht in die Datendatei geschrieben.")) << r.err;
    EXPECT_FALSE(Has(r.err, "Reorganisation erfolgreich."));
    EXPECT_TRUE(ReadFile(in.dataFile) == damaged) << "a damaged data file was written";
    EXPECT_TRUE(Has(in.Log(), "Differenz unbekannt\r\n")) << in.Log();
}

TEST(ZqrUnattended, ALogOrTraceThatCannotBeWrittenIsNotASuccess) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    // The log on a full disk: the file opens, nothing reaches it.
    Install in;
    fs::create_symlink("/dev/full", in.data + "/ZQR_Reorg_Log.txt");
    RunResult r = in.Run({"/DATEI", in.dataFile});
    EXPECT_EQ(r.exitCode, 4) << r.err;
    std::string trace = in.Trace();
    EXPECT_TRUE(Has(trace, "Action           : Extend Log file in backend folder: " + in.data +
                               "/ZQR_Reorg_Log.txt\r\nResult           : Error\r\n"));
    EXPECT_TRUE(Has(trace, "Action           : Writing results to log file\r\nResult           : Error\r\n"));
    EXPECT_EQ(in.Records(), "2000\n");  // the reorganisation itself was done and stored
    EXPECT_EQ(ResultRecords(in), "-1|2004|" + in.data + "/ZQR_Reorg_Log.txt\n-1\n");

    // Interactive: a warning names the file instead of the success message.
    r = in.Run({}, "p " + in.dataFile + "\nr\n\n");
    EXPECT_EQ(r.exitCode, 4) << r.err;
    EXPECT_FALSE(Has(r.err, "Reorganisation erfolgreich."));
    EXPECT_TRUE(Has(r.err, "== Reorg Warnung == exclamation == OK\nReorganisation durchgeführt.\n"));
    EXPECT_TRUE(Has(r.err, "ACHTUNG: Folgende Dateien konnten nicht vollständig geschrieben werden:\n- " +
                               in.data + "/ZQR_Reorg_Log.txt\n\nMögliche Ursachen: \n"))
        << r.err;

    // The trace on a full disk: the run goes on and still ends as not recorded.
    Install full;
    full.ZqrIni("TraceAnzahl=0\r\n");  // kept in place, not moved on as an earlier trace
    fs::create_symlink("/dev/full", full.prog + "/ZQR_Reorg_Trace.txt");
    r = full.Run({"/DATEI", full.dataFile});
    EXPECT_EQ(r.exitCode, 4) << r.err;
    EXPECT_TRUE(Has(full.Log(), "- Anzahl Datensätze: vorher 2004 / nachher 2004 / Differenz 0\r\n"));
}

TEST(ZqrUnattended, BackupImpossibleStopsBeforeAccess) {
    Install in;
    WriteFile(in.data + "/Save", "a file in the way");
    auto before = fs::file_size(in.dataFile);
    RunResult r = in.Run({"/DATEI", in.dataFile});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(Has(r.err, "== Reorg Fehler == exclamation == OK\nBei der Erstellung des folgenden Verzeichnisses"));
    EXPECT_TRUE(Has(r.err, "== Reorg Fehler == stop == OK\nEs konnte vorab keine der beiden geplanten "
                           "Sicherungskopien erstellt werden.\nDie Durchführung wird daher abgebrochen.\n"));
    EXPECT_FALSE(Has(in.Trace(), "#### Start Reorganisation ####"));
    EXPECT_EQ(fs::file_size(in.dataFile), before);
}

TEST(ZqrUnattended, GarbageOptionsAreReadSafelyAndRotationApplies) {
    Install in;
    in.ZqrIni("warten=abc\r\ndateianzahlmax=3 Stück\r\ntabcode=x\r\nlogdatei=n\r\nsicherungskopie=fb\r\n");
    fs::create_directories(in.data + "/Save");
    for (int k = 0; k < 4; ++k) {
        std::string p = in.data + "/Save/R_20010" + std::to_string(k + 1) + "_000000.mdb";
        WriteFile(p, "old");
        fs::last_write_time(p, fs::file_time_type::clock::now() - std::chrono::hours(10 - k));
    }
    WriteFile(in.data + "/ZQR_Reorg_Log.txt", "earlier block\r\n");
    RunResult r = in.Run({"/DATEI", in.dataFile});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::string trace = in.Trace();
    EXPECT_TRUE(Has(trace, "glcIniSleep      : ABC\r\n"));
    EXPECT_TRUE(Has(trace, "glcIniMaxFiles   : 3\r\n"));
    EXPECT_TRUE(Has(trace, "Result           : OK | Found 4 | Deleted 2\r\n"));
    EXPECT_TRUE(Has(trace, "keep max amount of: 2\r\n"));  // the frontend's number is one less
    EXPECT_TRUE(Has(trace, "Delay            : 0\r\n"));
    EXPECT_FALSE(fs::exists(in.data + "/Save/R_200101_000000.mdb"));
    EXPECT_FALSE(fs::exists(in.data + "/Save/R_200102_000000.mdb"));
    EXPECT_TRUE(fs::exists(in.data + "/Save/R_200104_000000.mdb"));
    // "X" counts every table but the system ones; a new log replaces the old one.
    EXPECT_FALSE(Has(in.Log(), "earlier block"));
    EXPECT_TRUE(Has(in.Log(), "[qryX] / Anzahl DS: 1"));
    EXPECT_FALSE(Has(in.Log(), "MSysObjects"));
    EXPECT_TRUE(Has(in.Log(), "Create Log file") == false);
    EXPECT_TRUE(Has(trace, "Action           : Create Log file in backend folder: "));
}

TEST(ZqrUnattended, PrefixWithoutMatchesIsReportedInTheLog) {
    Install in;
    in.ZqrIni("tabcode=abc\r\nsicherungskopie=x\r\nlogdatei=a\r\n");
    RunResult r = in.Run({"/DATEI", in.dataFile});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(Has(in.Log(), "- Anzahl Datensätze: vorher (keine Tabellen mit Codierung 'ABC' gefunden) / "
                              "nachher 0 / Differenz unbekannt\r\n"));
    EXPECT_FALSE(fs::exists(in.data + "/Save"));
}

// The local working folder as a Manager set to work locally uses it.
struct LocalInstall : Install {
    explicit LocalInstall(const std::string& accessFolder = zqtest::BinDir()) { UseAccessIn(accessFolder); }
    void UseAccessIn(const std::string& folder) {
        ZqmIni("[Datenbasis]\r\nPfad=" + folder + "\r\n[Update]\r\nLokalUpdate=Y\r\n");
    }
    std::string localFolder = dir / "cache/zequora2/update", local = localFolder + "/zqdata_lokal.mdb";
};

TEST(ZqrLocalCopy, AKilledDatabaseProgramNeverSendsAHalfWrittenFileHome) {
    LocalInstall in;
    in.FakeAccess("mkfifo \"$1.in\"; sqlite3 \"$1\" < \"$1.in\" & p=$!; exec 3> \"$1.in\"\n"
                  "printf 'PRAGMA cache_size=1;\\nBEGIN;\\nCREATE TABLE tblMuell(x);\\nINSERT INTO tblMuell WITH "
                  "RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM c WHERE i < 20000) SELECT "
                  "randomblob(200) FROM c;\\nDELETE FROM tblZeit WHERE rowid > 0;\\nDROP TABLE tblPersonal;\\n"
                  "CREATE TABLE tblMuell2(x);\\nINSERT INTO tblMuell2 SELECT x FROM tblMuell;\\n' >&3\n"
                  "sleep 2; kill -9 $p; rm -f \"$1.in\"; exit 9");
    in.UseAccessIn(in.dir / "fake");
    RunResult r = in.Run({"/DATEI", in.dataFile});
    EXPECT_EQ(r.exitCode, 2) << r.err;
    ASSERT_TRUE(fs::exists(in.dataFile)) << r.err;
    EXPECT_EQ(Query(in.dataFile, "pragma integrity_check"), "ok\n");
    EXPECT_EQ(in.Records(), "2000\n");
    EXPECT_TRUE(Has(in.Trace(), "Action           : Check local data file before moving it back: " + in.local +
                                    "\r\nResult           : OK\r\n"));
    EXPECT_FALSE(fs::exists(in.local));
}

TEST(ZqrLocalCopy, ADataFileStrandedByAKilledRunComesHomeAtTheNextStart) {
    LocalInstall in;
    // The run is killed while the data file lies in the local folder.
    in.FakeAccess("kill -9 $PPID");
    in.UseAccessIn(in.dir / "fake");
    RunResult r = in.Run({"/DATEI", in.dataFile});
    ASSERT_EQ(r.exitCode, 128 + SIGKILL) << r.err;
    ASSERT_FALSE(fs::exists(in.dataFile));
    ASSERT_TRUE(fs::exists(in.local));

    // With another data file at home the stranded one stays where it is and is named.
    WriteFile(in.dataFile, "eine andere Datei");
    r = in.Run({}, "\ns\n");
    EXPECT_TRUE(Has(r.err, "== Reorg Warnung == exclamation == OK\nIm lokalen Arbeitsverzeichnis liegt noch die "
                           "Datendatei einer unterbrochenen Reorganisation:\n" + in.local + "\n\nIm "
                           "Datenverzeichnis ist bereits eine Datendatei vorhanden:\n" + in.dataFile + "\n"))
        << r.err;
    EXPECT_EQ(Query(in.local, "select count(*) from tblZeit"), "2000\n");
    EXPECT_EQ(ReadFile(in.dataFile), "eine andere Datei");
    // A run on that other file leaves the stranded one alone too.
    in.UseAccessIn(zqtest::BinDir());
    MakeDataFile(in.data + "/zweite.mdb");
    r = in.Run({"/DATEI", in.data + "/zweite.mdb"}, "\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(Has(in.Trace(), "Error            : Local folder holds the data file of an interrupted run: " + in.local));
    EXPECT_EQ(Query(in.local, "select count(*) from tblZeit"), "2000\n");
    EXPECT_FALSE(fs::exists(in.localFolder + "/zqdata_lokal_old.mdb"));

    // Once the place is free, the next start brings it home before anything else and the run
    // goes on with it.
    fs::remove(in.dataFile);
    r = in.Run({"/DATEI", in.dataFile});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::string trace = in.Trace();
    EXPECT_TRUE(Has(trace, "*** Check Local Data File ***\r\nAction           : Search for data file of an "
                           "interrupted run: " + in.local + "\r\nResult           : Found | belongs to " +
                               in.dataFile + "\r\nAction           : Moving data file to initial folder\r\n"
                               "Result           : OK\r\n"))
        << trace;
    EXPECT_LT(trace.find("Check Local Data File"), trace.find("Check Conditions"));
    EXPECT_EQ(in.Records(), "2000\n");
    EXPECT_FALSE(fs::exists(in.local));
    EXPECT_FALSE(fs::exists(in.localFolder + "/zqdata_lokal_old.mdb"));
    EXPECT_FALSE(fs::exists(in.localFolder + "/zqdata_lokal.pfad"));
}

// Kills at random moments of runs with a local working copy: after the next start the data
// file is always at home, whole, and nothing of it is left in the local folder.
TEST(ZqrLocalCopy, KillsAtRandomMomentsNeverStrandTheDataFile) {
    LocalInstall in;
    in.env["ZEQUORA_STANDIN_DELAY_MS"] = "1500";  // the file stays away a while
    std::mt19937 rng(4711);
    std::uniform_int_distribution<int> when(50, 3000);
    int stranded = 0;
    for (int trial = 0; trial < 8; ++trial) {
        const int at = when(rng);
        RunResult killed = in.Run({"/DATEI", in.dataFile}, "", at);
        if (!fs::exists(in.dataFile)) ++stranded;
        RunResult next = in.Run({}, "\ns\n");
        EXPECT_TRUE(fs::exists(in.dataFile)) << "trial " << trial << " killed after " << at << " ms: " << next.err;
        EXPECT_EQ(in.Records(), "2000\n") << "trial " << trial << " killed after " << at << " ms";
        EXPECT_FALSE(fs::exists(in.local)) << "trial " << trial << " killed after " << at << " ms";
        EXPECT_FALSE(Has(next.err, "== Reorg")) << next.err;
    }
    EXPECT_GE(stranded, 2) << "the kills never found the data file away";
}

TEST(ZqrLocalCopy, AFailedMoveBackTellsWhereTheDataFileIs) {
    LocalInstall in;
    // Something takes the data file's place while it is away.
    in.FakeAccess("echo 'im Weg' > \"" + in.dataFile + "\"");
    in.UseAccessIn(in.dir / "fake");
    RunResult r = in.Run({"/DATEI", in.dataFile});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_TRUE(Has(r.err, "== Reorg Fehler == stop == OK\nDie Datendatei konnte nicht in ihr Verzeichnis "
                           "zurückverschoben werden:\n" + in.dataFile + "\n\nSie befindet sich jetzt im lokalen "
                           "Arbeitsverzeichnis:\n" + in.local + "\n"))
        << r.err;
    std::string trace = in.Trace();
    EXPECT_TRUE(Has(trace, "Action           : Moving data file to initial folder\r\nResult           : Error\r\n"));
    EXPECT_TRUE(Has(trace, "Result           : Data file stays on local drive: " + in.local + "\r\n"));
    EXPECT_EQ(Query(in.local, "select count(*) from tblZeit"), "2000\n");
    EXPECT_EQ(ReadFile(in.dataFile), "im Weg\n");
}

TEST(ZqrLocalCopy, ALocalFolderThatIsNotTheUsersOwnIsNotUsed) {
    LocalInstall in;
    // Another user's folder planted on the way through a symbolic link.
    fs::create_directories(in.dir / "cache");
    fs::create_directories(in.dir / "planted/update");
    fs::permissions(in.dir / "planted", fs::perms::all);
    fs::permissions(in.dir / "planted/update", fs::perms::all);
    fs::create_directory_symlink(in.dir / "planted", in.dir / "cache/zequora2");
    RunResult r = in.Run({"/DATEI", in.dataFile});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::string trace = in.Trace();
    EXPECT_TRUE(Has(trace, "Error            : Failed to create local folder\r\nError            : Symbolic link "
                           "on the way: " + in.dir / "cache/zequora2\r\n"))
        << trace;
    EXPECT_TRUE(Has(trace, "\" \"" + in.dataFile + "\" /repair /compact"));
    EXPECT_TRUE(fs::is_empty(in.dir / "planted/update"));
    EXPECT_EQ(in.Records(), "2000\n");

    // A folder that belongs to another user.
    in.env["XDG_CACHE_HOME"] = in.dir / "other";
    fs::create_directories(in.dir / "other/zequora2/update");
    ASSERT_EQ(::chown((in.dir / "other/zequora2/update").c_str(), 65534, 65534), 0);
    r = in.Run({"/DATEI", in.dataFile});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(Has(in.Trace(), "Error            : The folder belongs to another user: " +
                                    in.dir / "other/zequora2/update\r\n"));
    EXPECT_TRUE(fs::is_empty(in.dir / "other/zequora2/update"));

    // Made by the program: for the user alone.
    in.env["XDG_CACHE_HOME"] = in.dir / "fresh";
    r = in.Run({"/DATEI", in.dataFile});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(Has(in.Trace(), "Action           : Moving data file to local folder\r\nResult           : OK\r\n"));
    for (const char* folder : {"fresh/zequora2", "fresh/zequora2/update"})
        EXPECT_EQ(fs::status(in.dir / folder).permissions() & fs::perms::all, fs::perms::owner_all) << folder;
}

TEST(ZqrConcurrency, ASecondRunOnTheSameDataFileIsRefused) {
    Install in;
    // An Access that holds no lock file while it works: only the run lock keeps others off.
    std::string runs = in.dir / "access-runs";
    in.FakeAccess("echo run >> \"" + runs + "\"; sleep 5; sqlite3 \"$1\" 'vacuum'");
    in.ZqrIni("sicherungskopie=x\r\n");
    RunResult first, second, window, manager;
    std::thread run([&] { first = in.Run({"/DATEI", in.dataFile}); });
    for (int k = 0; k < 300 && !fs::exists(runs); ++k) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    second = in.Run({"/DATEI", in.dataFile});
    window = in.Run({}, "p " + in.dataFile + "\nr\n\ns\n");
    manager = in.Run({"/MANAGER", in.dataFile});
    run.join();
    EXPECT_EQ(first.exitCode, 0) << first.err;
    EXPECT_EQ(second.exitCode, 1) << second.err;
    EXPECT_TRUE(Has(second.err, kAbortStart)) << second.err;
    EXPECT_TRUE(Has(window.err, "== Reorg Fehler == exclamation == OK\nAktion abgebrochen.\n")) << window.err;
    EXPECT_EQ(manager.exitCode, 1) << manager.err;
    EXPECT_TRUE(Has(manager.err, kAbortStart)) << manager.err;
    EXPECT_EQ(Count(ReadFile(runs), "run"), 1);
    EXPECT_FALSE(fs::exists(in.dataFile + ".zqr-lock"));

    // Started at the same moment: one runs, the other is refused.
    fs::remove(runs);
    RunResult a, b;
    std::thread ta([&] { a = in.Run({"/DATEI", in.dataFile}); });
    std::thread tb([&] { b = in.Run({"/DATEI", in.dataFile}); });
    ta.join();
    tb.join();
    EXPECT_EQ(std::min(a.exitCode, b.exitCode), 0) << a.err << b.err;
    EXPECT_EQ(std::max(a.exitCode, b.exitCode), 1) << a.err << b.err;
    EXPECT_EQ(Count(ReadFile(runs), "run"), 1);
    EXPECT_EQ(in.Records(), "2000\n");
}

TEST(ZqrLeftovers, TemporariesOfKilledRunsGoAndThoseOfLiveWritersStay) {
    Install in;
    ASSERT_EQ(in.Run({"/DATEI", in.dataFile}).exitCode, 0);  // zqr.ini complete, Save there
    // A backup copy, a move back across drives and an options write, each cut off by a kill.
    const std::string staleCopy = in.data + "/Save/.R_250101_000000.mdb.zqtmp-aB3dE9";
    const std::string staleMove = in.data + "/.zqdata.mdb.zqtmp-Xy12Zw";
    const std::string staleIni = in.prog + "/zqr.ini.tmp-Q1w2E3";
    // One still being written, and names that are not ours.
    const std::string liveCopy = in.data + "/Save/.R_250102_000000.mdb.zqtmp-Zz9Yy8";
    const std::vector<std::string> foreign = {in.data + "/Save/notes.zqtmp-aB3dE9", in.prog + "/zqr.ini.tmp-keep",
                                              in.prog + "/zqm.ini.tmp-Q1w2E3x"};
    for (const std::string& f : {staleCopy, staleMove, staleIni, liveCopy}) WriteFile(f, std::string(50000, 'x'));
    for (const std::string& f : foreign) WriteFile(f, "x");
    int held = ::open(liveCopy.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    RunResult r = in.Run({"/DATEI", in.dataFile});
    ::close(held);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_FALSE(fs::exists(staleCopy));
    EXPECT_FALSE(fs::exists(staleMove));
    EXPECT_FALSE(fs::exists(staleIni));
    EXPECT_TRUE(fs::exists(liveCopy));
    for (const std::string& f : foreign) EXPECT_TRUE(fs::exists(f)) << f;
}

TEST(ZqrFreeSpace, TooLittleRoomStopsTheRunBeforeAnythingIsTouched) {
    Install in;
    const std::string small = in.dir / "small";
    fs::create_directories(small);
    const auto size = fs::file_size(in.dataFile);
    // Room for the backup copy, not for the copy and the compaction as well.
    SmallFileSystem smallDisk(small, size * 5 / 2);
    if (!smallDisk.Mounted()) GTEST_SKIP() << "needs root to mount a small file system";
    const std::string file = small + "/zqdata.mdb";
    fs::copy_file(in.dataFile, file);
    const std::string content = ReadFile(file);

    RunResult r = in.Run({"/DATEI", file});
    EXPECT_EQ(r.exitCode, 2) << r.err;
    char needed[32];
    std::snprintf(needed, sizeof needed, "%.1f", 2.0 * static_cast<double>(size) / 1024 / 1024);
    EXPECT_TRUE(Has(r.err, "== Reorg Fehler == stop == OK\nNicht genügend freier Speicherplatz für Sicherungskopie "
                           "und Reorganisation im folgenden Verzeichnis: \n" + small + "/Save\n" + small +
                               "\n\nBenötigt werden " + needed + " MB, frei sind "))
        << r.err;
    std::string trace = in.Trace();
    EXPECT_TRUE(Has(trace, "Action           : Check free space for copies and compaction: " + small + "/Save, " +
                               small + ": " + needed + " MB\r\nResult           : Error | free: "))
        << trace;
    EXPECT_TRUE(Has(trace, "Error            : Nicht genügend freier Speicherplatz"));
    EXPECT_FALSE(Has(trace, "#### Start Reorganisation ####"));
    EXPECT_FALSE(fs::exists(small + "/Save"));
    EXPECT_FALSE(fs::exists(small + "/ZQR_Reorg_Log.txt"));
    EXPECT_EQ(ReadFile(file), content);

    // Without a backup copy the compaction alone fits.
    in.ZqrIni("sicherungskopie=x\r\n");
    r = in.Run({"/DATEI", file});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(Has(in.Trace(), "Check free space for copies and compaction: " + small + ": "));

    // A local working folder on another drive takes the file and its compacted copy.
    const std::string cache = in.dir / "smallcache";
    fs::create_directories(cache);
    SmallFileSystem smallCache(cache, fs::file_size(in.dataFile) * 3 / 2);
    ASSERT_TRUE(smallCache.Mounted());
    in.env["XDG_CACHE_HOME"] = cache;
    in.ZqmIni("[Datenbasis]\r\nPfad=" + zqtest::BinDir() + "\r\n[Update]\r\nLokalUpdate=Y\r\n");
    r = in.Run({"/DATEI", in.dataFile});
    EXPECT_EQ(r.exitCode, 2) << r.err;
    std::snprintf(needed, sizeof needed, "%.1f", 2.0 * static_cast<double>(fs::file_size(in.dataFile)) / 1024 / 1024);
    EXPECT_TRUE(Has(r.err, "Verzeichnis: \n" + cache + "/zequora2/update\n\nBenötigt werden " + needed + " MB"))
        << r.err;
    EXPECT_EQ(in.Records(), "2000\n");
    EXPECT_TRUE(fs::is_empty(cache + "/zequora2/update"));
}

TEST(ZqrUnattended, WithoutLogTheCensusStillRunsAndTheLogPathIsKept) {
    Install in;
    in.FakeAccess("sqlite3 \"$1\" 'delete from tblPersonal'");
    in.ZqrIni("logdatei=x\r\nsicherungskopie=x\r\n");
    RunResult r = in.Run({"/DATEI", in.dataFile});
    EXPECT_EQ(r.exitCode, 3) << r.err;  // both passes counted: the loss is seen without a log
    EXPECT_FALSE(fs::exists(in.data + "/ZQR_Reorg_Log.txt"));
    EXPECT_FALSE(Has(in.Trace(), "Log file"));
    EXPECT_EQ(Query(in.dataFile, "select OP_ReorgErgebnis, OP_ReorgErgebnis_AnzahlDS, OP_ReorgLog_Pfad"
                                 " from tblCfgOptionen"),
              "1|-3|vorher\n");
}

// The database program writes the compacted file anew: the data file's owner and rights are
// given back, or the loss is told.
TEST(ZqrPermissions, RightsThatCannotBeGivenBackAreAWarningNeverASuccess) {
    if (::getuid() != 0 || ::access("/usr/sbin/runuser", X_OK) != 0)
        GTEST_SKIP() << "needs root and runuser to run the program as nobody";
    Install in;
    in.env["ZEQUORA_STANDIN_NEW_FILE"] = "1";
    for (const auto& e : fs::recursive_directory_iterator(in.dir.Path()))
        (void)::chown(e.path().c_str(), 65534, 65534);
    (void)::chown(in.dir.Path().c_str(), 65534, 65534);
    // The data file belongs to another user and is open to everybody; its folder is nobody's.
    ASSERT_EQ(::chown(in.dataFile.c_str(), 0, 0), 0);
    ASSERT_EQ(::chmod(in.dataFile.c_str(), 0666), 0);
    auto asNobody = [&](std::vector<std::string> args, const std::string& input) {
        std::vector<std::string> argv{"/usr/sbin/runuser", "-u", "nobody", "--", in.zqr};
        argv.insert(argv.end(), args.begin(), args.end());
        return zqtest::Run(argv, in.env, input, kTimeoutMs);
    };
    RunResult r = asNobody({"/DATEI", in.dataFile}, "");
    EXPECT_EQ(r.exitCode, 5) << r.err;
    EXPECT_EQ(in.Records(), "2000\n");  // reorganised all the same
    std::string trace = in.Trace();
    EXPECT_TRUE(Has(trace, "Result           : Changed | 65534:65534 0")) << trace;
    EXPECT_TRUE(Has(trace, "\r\nAction           : Restore permissions of data file: 0:0 0666\r\nResult           : "
                           "Error | "))
        << trace;
    EXPECT_TRUE(Has(trace, zqexpect::kPermissionsNotRestored)) << trace;
    EXPECT_TRUE(Has(in.Log(), zqexpect::kPermissionsLogWarning)) << in.Log();
    EXPECT_FALSE(Has(r.err, "== Reorg"));  // unattended: trace, log and exit code say it

    // Interactive: a warning instead of the success message.
    ASSERT_EQ(::chown(in.dataFile.c_str(), 0, 0), 0);
    ASSERT_EQ(::chmod(in.dataFile.c_str(), 0666), 0);
    r = asNobody({}, "p " + in.dataFile + "\nr\n\n");
    EXPECT_EQ(r.exitCode, 5) << r.err;
    EXPECT_FALSE(Has(r.err, "Reorganisation erfolgreich."));
    EXPECT_TRUE(Has(r.err, "== Reorg Warnung == exclamation == OK\nReorganisation durchgeführt.\n")) << r.err;
    EXPECT_TRUE(Has(r.err, "ACHTUNG: Die Zugriffsrechte der Datendatei konnten nach der Reorganisation nicht "
                           "wiederhergestellt werden. Bitte prüfen Sie Besitzer und Berechtigungen der Datei " +
                               in.dataFile + ".\n"))
        << r.err;
}

// Scheduled runs: a syslog socket of the test's own stands in for the system logger.
namespace {

class SyslogSocket {
public:
    explicit SyslogSocket(const std::string& path) : path_(path) {
        fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un at{};
        at.sun_family = AF_UNIX;
        std::strncpy(at.sun_path, path.c_str(), sizeof at.sun_path - 1);
        ok_ = fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&at), sizeof at) == 0;
    }
    ~SyslogSocket() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool Ok() const { return ok_; }
    // Every datagram that has arrived.
    std::vector<std::string> Received() {
        std::vector<std::string> all;
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n <= 0) break;
            all.emplace_back(buffer, static_cast<std::size_t>(n));
        }
        return all;
    }

private:
    std::string path_;
    int fd_ = -1;
    bool ok_ = false;
};

}  // namespace

TEST(ZqrScheduled, EachUnattendedRunLeavesOneSystemLogEntryWithItsOutcome) {
    Install in;
    SyslogSocket log(in.dir / "log.sock");
    ASSERT_TRUE(log.Ok());
    in.env["ZEQUORA_SYSLOG_SOCKET"] = in.dir / "log.sock";
    RunResult r = in.Run({"/DATEI", in.dataFile});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    auto entries = log.Received();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].rfind("<14>zqr[", 0), 0u) << entries[0];  // user facility, information
    EXPECT_TRUE(Has(entries[0], "]: [0] ZEQUORA Reorganisation erfolgreich. | Datendatei: " + in.dataFile +
                                    " | Rückgabewert: 0 | Größe: vorher "))
        << entries[0];
    EXPECT_TRUE(Has(entries[0], " | Datensätze: vorher 2004 / nachher 2004 | Trace-Datei: " + in.prog +
                                    "/ZQR_Reorg_Trace.txt | Log-Datei: " + in.data + "/ZQR_Reorg_Log.txt"))
        << entries[0];

    // A failure is an error entry with its exit code as the number; the window writes none.
    in.FakeAccess("exit 7");
    r = in.Run({"/DATEI", in.dataFile});
    EXPECT_EQ(r.exitCode, 2);
    entries = log.Received();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].rfind("<11>zqr[", 0), 0u) << entries[0];
    EXPECT_TRUE(Has(entries[0], "]: [2] ZEQUORA Reorganisation fehlgeschlagen."));
    r = in.Run({}, "s\n");
    EXPECT_TRUE(log.Received().empty());
}

// With "Meldungen" = "N" nothing is shown or read: the message is in the trace and the
// system log, and the run ends at once with its code.
TEST(ZqrScheduled, WithoutBoxesTheMessageGoesToTraceAndSystemLog) {
    Install in;
    in.ZqrIni("Meldungen=N\r\n");
    SyslogSocket log(in.dir / "log.sock");
    ASSERT_TRUE(log.Ok());
    in.env["ZEQUORA_SYSLOG_SOCKET"] = in.dir / "log.sock";
    const std::string missing = in.data + "/fehlt.mdb";
    RunResult r = in.Run({"/DATEI", missing}, "j\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(Count(r.err, "== "), 0) << r.err;
    EXPECT_TRUE(Has(in.Trace(), "Message          : ZEQUORA Datendatei Reorganisation: Aktion abgebrochen.  "
                                "Mögliche Ursachen:  1) Keine Datendatei"))
        << in.Trace();
    const auto entries = log.Received();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].rfind("<12>zqr[", 0), 0u) << entries[0];  // a warning: nothing done
    EXPECT_TRUE(Has(entries[0], "Meldung: ZEQUORA Datendatei Reorganisation: Aktion abgebrochen."));
    EXPECT_TRUE(Has(entries[0], "die Datendatei " + missing + " ist nicht vorhanden"));

    // A failed run's box: in the trace (its causes are in the log already).
    in.FakeAccess("exit 7");
    r = in.Run({"/DATEI", in.dataFile});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(Count(r.err, "== "), 0) << r.err;
    EXPECT_TRUE(Has(in.Trace(), "Message          : Reorg Fehler: Die Reorganisation der ZEQUORA Datendatei ist "
                                "fehlgeschlagen."));
    EXPECT_TRUE(Has(in.Log(), "- Fehler: Das Datenbankprogramm hat die Reorganisation mit einem Fehler beendet."));
    // The window keeps its boxes.
    r = in.Run({}, "p " + missing + "\nr\n\ns\n");
    EXPECT_TRUE(Has(r.err, "== Reorg Fehler == exclamation == OK\nAktion abgebrochen.")) << r.err;
}

TEST(ZqrScheduled, EarlierTracesAreKeptUpToTraceAnzahl) {
    Install in;
    in.ZqrIni("TraceAnzahl=2\r\n");
    for (const char* run : {"/DATEI eins", "/DATEI zwei", "/DATEI drei"}) (void)in.Run({run});
    EXPECT_TRUE(Has(in.Trace(), "glStartParm      : /DATEI drei\r\n"));
    EXPECT_TRUE(Has(ReadFile(in.prog + "/ZQR_Reorg_Trace.1.txt"), "glStartParm      : /DATEI zwei\r\n"));
    EXPECT_TRUE(Has(ReadFile(in.prog + "/ZQR_Reorg_Trace.2.txt"), "glStartParm      : /DATEI eins\r\n"));
    EXPECT_FALSE(fs::exists(in.prog + "/ZQR_Reorg_Trace.3.txt"));
    (void)in.Run({"/DATEI vier"});
    EXPECT_TRUE(Has(ReadFile(in.prog + "/ZQR_Reorg_Trace.2.txt"), "glStartParm      : /DATEI zwei\r\n"));
    EXPECT_FALSE(fs::exists(in.prog + "/ZQR_Reorg_Trace.3.txt"));
    // 0 keeps none.
    Install none;
    none.ZqrIni("TraceAnzahl=0\r\n");
    (void)none.Run({"/DATEI eins"});
    (void)none.Run({"/DATEI zwei"});
    EXPECT_FALSE(fs::exists(none.prog + "/ZQR_Reorg_Trace.1.txt"));
}

// A database program that never ends is ended at "WartenMax" with everything it started; the
// run fails, names the bound, and writes nothing into the data file.
TEST(ZqrScheduled, ADatabaseProgramThatNeverEndsIsEndedAtWartenMax) {
    Install in;
    in.ZqrIni("WartenMax=1\r\n");
    in.FakeAccess("sleep 600 & echo $! > \"" + in.dir / "helper.pid" + "\"; sleep 600");
    const std::string before = ReadFile(in.dataFile);
    const auto start = std::chrono::steady_clock::now();
    RunResult r = in.Run({"/DATEI", in.dataFile}, "", 150000);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_LT(took, std::chrono::seconds(90));
    EXPECT_TRUE(Has(r.err, "Das Datenbankprogramm hat die Reorganisation nach 1 Minuten noch nicht beendet und "
                           "wurde beendet (Grenze \"WartenMax\" in zqr.ini)."))
        << r.err;
    EXPECT_TRUE(Has(in.Trace(), "Action           : End the database program\r\nResult           : OK\r\n"));
    EXPECT_TRUE(ReadFile(in.dataFile) == before);
    const int helper = std::atoi(ReadFile(in.dir / "helper.pid").c_str());
    ASSERT_GT(helper, 0);
    // Gone, or a zombie that nobody here reaps.
    const std::string stat = ReadFile("/proc/" + std::to_string(helper) + "/stat");
    const std::size_t close = stat.rfind(')');
    EXPECT_TRUE(stat.empty() || (close != std::string::npos && stat.compare(close, 4, ") Z ") == 0))
        << "the program's own helper is ended with it: " << stat;
}

// Checked before anything is touched: a folder the run must write to and cannot ends it at
// once with a message naming the folder, exit 2, and nothing changed.
TEST(ZqrScheduled, AFolderThatCannotBeWrittenEndsTheRunBeforeAnythingIsTouched) {
    if (::getuid() != 0 || ::access("/usr/sbin/runuser", X_OK) != 0)
        GTEST_SKIP() << "needs root and runuser to run the program as nobody";
    for (const char* which : {"data", "prog"}) {
        Install in;
        in.ZqrIni("sicherungskopie=fb\r\n");
        (void)in.Run({"/DATEI", in.dir / "fehlt.mdb"});  // zqr.ini complete, as root
        for (const auto& e : fs::recursive_directory_iterator(in.dir.Path()))
            (void)::chown(e.path().c_str(), 65534, 65534);
        (void)::chown(in.dir.Path().c_str(), 65534, 65534);
        const std::string folder = std::string(which) == "data" ? in.data : in.prog;
        (void)::chown(folder.c_str(), 0, 0);  // the folder itself: root's, read-only to others
        fs::permissions(folder, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                    fs::perms::others_read | fs::perms::others_exec,
                        fs::perm_options::replace);
        const std::string before = ReadFile(in.dataFile);
        std::vector<std::string> argv{"/usr/sbin/runuser", "-u", "nobody", "--", in.zqr, "/DATEI", in.dataFile};
        RunResult r = zqtest::Run(argv, in.env, "", kTimeoutMs);
        EXPECT_EQ(r.exitCode, 2) << which << ": " << r.err;
        EXPECT_TRUE(Has(r.err, "== Reorg Fehler == stop == OK\nIn das folgende Verzeichnis kann nicht geschrieben "
                               "werden: \n" + folder + "\n\nEs ist das " +
                               (std::string(which) == "data" ? "Verzeichnis der Datendatei" : "Programmverzeichnis")))
            << r.err;
        EXPECT_TRUE(ReadFile(in.dataFile) == before);
        EXPECT_FALSE(fs::exists(in.data + "/Save")) << which;
        EXPECT_FALSE(fs::exists(in.prog + "/Autosave")) << which;
    }
}

namespace {

// The shared scenarios' installation: the Linux build over its registry store, SQLite files and
// the stand-in database program, its system log read from a socket of the test's.
class ZqrEndToEnd : public ::testing::Test, public zqtest::zqr::Installation {
protected:
    struct FlockHeld : Held {
        explicit FlockHeld(const std::string& path) {
            WriteFile(path, "");
            fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
            EXPECT_TRUE(fd >= 0 && ::flock(fd, LOCK_SH) == 0) << path;
        }
        ~FlockHeld() override {
            if (fd >= 0) ::close(fd);
        }
        int fd = -1;
    };

    void SetUp() override {
        ASSERT_TRUE(log_.Ok());
        in_.env["ZEQUORA_SYSLOG_SOCKET"] = in_.dir / "log.sock";
    }

    std::string Sep() override { return "/"; }
    std::string Prog() override { return in_.prog; }
    std::string Data() override { return in_.data; }
    std::string Access() override { return zqtest::BinDir() + "/msaccess.exe"; }
    std::string Scratch() override { return in_.dir.Path(); }
    void MakeFolder(const std::string& path) override { fs::create_directories(path); }
    void Write(const std::string& path, const std::string& bytes) override { WriteFile(path, bytes); }
    std::string Read(const std::string& path) override { return ReadFile(path); }
    std::string Text(const std::string& path) override { return ReadFile(path); }
    bool Exists(const std::string& path) override { return fs::exists(path); }
    std::vector<std::string> List(const std::string& folder) override {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(folder, ec)) names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
    long long Size(const std::string& path) override { return static_cast<long long>(fs::file_size(path)); }
    void Age(const std::string& path, int hour) override {
        fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::hours(24 * 3650 - hour));
    }
    std::string Permissions(const std::string& path) override {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) return "?";
        char text[64];
        std::snprintf(text, sizeof text, "%u:%u %04o", st.st_uid, st.st_gid, st.st_mode & 07777);
        return text;
    }
    void MakeDataFile(const std::string& path) override { ::MakeDataFile(path); }
    std::vector<std::string> Rows(const std::string& file, const std::string& sql) override {
        std::vector<std::string> rows;
        const std::string text = Query(file, sql);
        for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
            rows.push_back(text.substr(at, end - at));
        return rows;
    }
    void ZqrIni(const std::string& lines) override { in_.ZqrIni(lines); }
    void ZqmIni(const std::string& more) override {
        in_.ZqmIni("[Datenbasis]\r\nPfad=" + zqtest::BinDir() + "\r\n" + more);
    }
    void Remember(const std::string& dataFile) override {
        zq::posix::RegistryStore store(in_.dir / "reg");
        zq::SaveSetting(store, "ZEQUORA - Datendatei Reorganisation", "Settings", "01", dataFile);
    }
    void FailingAccess() override { in_.FakeAccess("exit 7"); }
    void AccessWritesANewFile() override { in_.env["ZEQUORA_STANDIN_NEW_FILE"] = "1"; }
    void AccessEnds(int code) override { in_.env["ZEQUORA_STANDIN_EXIT"] = std::to_string(code); }
    // Another owner needs root.
    bool RestrictRights(const std::string& path) override {
        return ::getuid() == 0 && ::chown(path.c_str(), 65534, 65534) == 0 && ::chmod(path.c_str(), 0640) == 0;
    }
    // Root may write anything: the runs go as nobody, who owns all but the file.
    bool MakeReadOnly(const std::string& path) override {
        if (::getuid() != 0 || ::access("/usr/sbin/runuser", X_OK) != 0) return false;
        for (const auto& e : fs::recursive_directory_iterator(in_.dir.Path()))
            (void)::chown(e.path().c_str(), 65534, 65534);
        fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        in_.runAs = {"/usr/sbin/runuser", "-u", "nobody", "--"};
        return ::chown(path.c_str(), 0, 0) == 0;
    }
    std::unique_ptr<Held> HoldLockFile(const std::string& path) override { return std::make_unique<FlockHeld>(path); }
    void StandInManager() override {
        WriteFile(in_.prog + "/zqm", "#!/bin/sh\necho started > \"" + in_.dir / "zqm-started" + "\"\n");
        fs::permissions(in_.prog + "/zqm", fs::perms::owner_all, fs::perm_options::add);
    }
    bool ManagerStarted(int waitMs) override {
        for (int k = 0; k < waitMs / 100 && !fs::exists(in_.dir / "zqm-started"); ++k)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return fs::remove(in_.dir / "zqm-started");
    }
    // On /dev/shm where there is one: moving the data file there crosses file systems.
    std::string LocalFolder() override {
        const std::string cache =
            fs::is_directory("/dev/shm") ? "/dev/shm/zqtest-" + std::to_string(::getpid()) : in_.dir / "cache";
        shm_ = cache.rfind("/dev/shm/", 0) == 0 ? cache : "";
        in_.env["XDG_CACHE_HOME"] = cache;
        fs::create_directories(cache + "/zequora2/update");
        fs::permissions(cache + "/zequora2/update", fs::perms::owner_all, fs::perm_options::replace);
        return cache + "/zequora2/update";
    }
    void TearDown() override {
        // A test that fails on a run's exit code alone still tells what the run did.
        if (HasFailure()) std::printf("--- trace ---\n%s\n", Trace().c_str());
        if (!shm_.empty()) fs::remove_all(shm_);
    }
    std::string TooLongPath() override { return "/" + std::string(4000, 'a') + "/zqdata.mdb"; }
    bool RefusedInNames(char c) override { return c == '/' || c == '\0'; }
    std::optional<int> SystemLogEntries() override {
        entries_ += static_cast<int>(log_.Received().size());
        return entries_;
    }
    zqtest::ScenarioRun Run(const std::vector<std::string>& args, const std::vector<zq::MsgResult>& answers) override {
        const RunResult r = in_.Run(args, zqtest::ConsoleAnswers(answers));
        return {r.exitCode, zqtest::ConsoleBoxes(r.err)};
    }

    // The console window: one line of input per act, then the end of input closes it.
    zqtest::zqr::WindowRun Window(const std::vector<std::string>& args,
                                  const std::vector<zqtest::zqr::Act>& acts) override {
        using zqtest::zqr::Act;
        std::string input;
        int choices = 0;
        for (const Act& a : acts) {
            if (a.IsAnswer()) {
                input += zqtest::ConsoleAnswers({a.Answer()});
                continue;
            }
            if (a.kind == Act::Await) continue;  // the console reads a choice only once the window waits
            input += a.kind == Act::Start ? "r\n" : a.kind == Act::End ? "s\n" : "p " + a.text + "\n";
            ++choices;
        }
        const RunResult r = in_.Run(args, input);
        zqtest::zqr::WindowRun run;
        run.exitCode = r.exitCode;
        run.boxes = zqtest::ConsoleBoxes(r.err);
        run.closedItself = Count(r.err, "Auswahl: ") == choices;
        const std::string field = "ZEQUORA Datendatei (zqdata.mdb): [";
        const std::size_t at = r.err.find(field);
        if (at != std::string::npos)
            run.shownPath = r.err.substr(at + field.size(), r.err.find("]\n", at) - at - field.size());
        return run;
    }

    Install in_;
    SyslogSocket log_{in_.dir / "log.sock"};
    std::string shm_;  // a folder of the test's on /dev/shm, removed at the end
    int entries_ = 0;
};

}  // namespace

ZQ_ZQR_SCENARIO_TESTS(ZqrEndToEnd)

// Who ran it is recorded with the event.
TEST_F(ZqrEndToEnd, TheEventNamesWhoRanIt) {
    ASSERT_EQ(Run({"/DATEI", DataFile()}, {}).exitCode, 0);
    EXPECT_EQ(Rows(DataFile(), "select ER_UserErst from tblEreignis"), std::vector<std::string>{"root"});
}
