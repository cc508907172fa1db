#pragma once
// One reorganiser context over the services in memory, the same on every platform: files,
// profile files, registry and data files in memory, scripted boxes, a recording window and a
// clock that stands still.
#include <string>

#include "reorg/Global.h"
#include "reorg/ReorgFakes.h"
#include "support/Fakes.h"
#include "support/MemoryDb.h"
#include "support/MemoryFiles.h"

namespace zqtest {

struct MemoryHarness {
    explicit MemoryHarness(const std::string& startParm = "") : ctx(platform, view, startParm) {
        files.Put(prog + "/zqr", "");
        files.Put(data + "/zqdata.mdb", std::string(4096, 'd'));
        ctx.run.glDataFile = data + "/zqdata.mdb";
    }
    // The data file as a database with the tables the results go into and records to count.
    void MakeDataFile() {
        db.Put(ctx.run.glDataFile, {{"tblCfgOptionen", {{{{"OP_ReorgLog_Pfad", std::string("vorher")}}}}},
                                {"tblEreignis", {}},
                                {"tblZeit", {{{{"v", std::int64_t{1}}}, {{"v", std::int64_t{2}}}, {{"v", std::int64_t{3}}}}}}});
    }
    std::string Trace() { return files.Content(prog + "/ZQR_Reorg_Trace.txt"); }

    std::string prog = "/zq/prog", data = "/zq/data";
    MemoryRegistry registry;
    MemoryFiles files;
    MemoryProfile profile{files};
    RecordingProcesses processes;
    FakeClock clock;
    FakeEnvironment env{prog + "/zqr"};
    RecordingShell shell;
    DefaultDialogs dialogs;
    MemoryDb db{files};
    zq::Platform platform{registry, profile, files, processes, clock, env, shell, dialogs, nullptr, &db};
    RecordingReorgView view;
    zq::reorg::ReorgContext ctx;
};

}  // namespace zqtest
