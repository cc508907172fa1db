#pragma once
// One reorganiser context on the real Linux adapters in a temporary folder, with scripted
// message boxes and a recording window, for tests of single procedures.
#include <sqlite3.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/posix/PosixClock.h"
#include "platform/posix/PosixEnvironment.h"
#include "platform/posix/PosixFiles.h"
#include "platform/posix/PosixProcesses.h"
#include "platform/posix/PosixShell.h"
#include "platform/posix/ProfileFiles.h"
#include "platform/posix/RegistryStore.h"
#include "platform/posix/SqliteEngine.h"
#include "reorg/Global.h"
#include "reorg/ReorgFakes.h"
#include "reorg/frmZQR/ReorgView.h"
#include "support/TestSupport.h"

namespace zqtest {

// Real time, unless a test lets the program's own pauses pass at once.
class TestClock : public zq::posix::PosixClock {
public:
    void Sleep(int milliseconds) override {
        if (!instant) PosixClock::Sleep(milliseconds);
    }
    bool instant = false;
};

// The program file lies in the temporary program folder.
class TestEnvironment : public zq::posix::PosixEnvironment {
public:
    explicit TestEnvironment(std::string programPath) : path_(std::move(programPath)) {}
    std::string ProgramPath() override { return path_; }

private:
    std::string path_;
};

// A data file with the tables the results go into and a few records to count.
inline void MakeDataFile(const std::string& file) {
    std::filesystem::remove(file);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "create table tblCfgOptionen(OP_ReorgErgebnis int, OP_ReorgErgebnis_Size text,"
                           " OP_ReorgErgebnis_AnzahlDS int, OP_ReorgLog_Pfad text);"
                           "insert into tblCfgOptionen values(null, null, null, 'vorher');"
                           "create table tblEreignis(ER_Ereignis int, ER_Datum text, ER_Wert text, ER_Pfad text,"
                           " ER_Ergebnis int, ER_Version text, ER_Bediener text, ER_UserErst text);"
                           "create table tblZeit(v); insert into tblZeit values(1), (2), (3);",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
}

struct Harness {
    explicit Harness(const std::string& startParm = "")
        : prog(dir / "prog"),
          data(dir / "data"),
          registry(dir / "reg"),
          env(prog + "/zqr"),
          platform{registry, profile, files, processes, clock, env, shell, dialogs, nullptr, &db},
          ctx(platform, view, startParm) {
        WriteFile(prog + "/zqr", "");
        WriteFile(data + "/zqdata.mdb", std::string(4096, 'd'));
        ctx.program.glProgramFolder = prog;
        ctx.program.glExeName = "zqr";
        ctx.glDataFile = data + "/zqdata.mdb";
    }
    std::string Trace() { return ReadFile(prog + "/ZQR_Reorg_Trace.txt"); }

    TempDir dir;
    std::string prog, data;
    zq::posix::RegistryStore registry;
    zq::posix::ProfileFiles profile;
    zq::posix::PosixFiles files;
    zq::posix::PosixProcesses processes;
    TestClock clock;
    TestEnvironment env;
    zq::posix::PosixShell shell;
    DefaultDialogs dialogs;
    zq::posix::SqliteEngine db;
    zq::Platform platform;
    RecordingReorgView view;
    zq::reorg::ReorgContext ctx;
};

}  // namespace zqtest
