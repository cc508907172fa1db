#pragma once
// The start program's core on real adapters in a temporary folder: registry store, profile
// files, files, database engine and console dialogs with scripted answers. Only the process
// start, the clock and the names of machine and user are held still.
#include <sqlite3.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/console/ConsoleDialogs.h"
#include "platform/posix/PosixClock.h"
#include "platform/posix/PosixEnvironment.h"
#include "platform/posix/PosixFiles.h"
#include "platform/posix/PosixShell.h"
#include "platform/posix/ProfileFiles.h"
#include "platform/posix/RegistryStore.h"
#include "platform/posix/SqliteEngine.h"
#include "starter/Global.h"
#include "support/Fakes.h"
#include "support/TestSupport.h"

namespace zqtest {

struct FixedClock : zq::posix::PosixClock {
    zq::DateTime Now() override { return {2026, 12, 7, 8, 5, 9}; }
};

struct TestEnvironment : zq::posix::PosixEnvironment {
    std::string program;
    std::string ProgramPath() override { return program; }
    std::string ComputerName() override { return "PC 12"; }
    std::string UserName() override { return "anna"; }
    std::string LocalUpdateFolder() override { return "/home/anna/.cache/zequora2/update/"; }
};

struct CountingRegistry : zq::posix::RegistryStore {
    using RegistryStore::RegistryStore;
    int enumCalls = 0;
    long EnumKey(zq::RegHandle key, std::uint32_t index, std::string& name) override {
        ++enumCalls;
        return RegistryStore::EnumKey(key, index, name);
    }
};

// Folders under one of these prefixes count as lying on a network file system.
struct NetworkFiles : zq::posix::PosixFiles {
    std::set<std::string> remote;
    bool IsRemote(const std::string& path) override {
        for (const auto& r : remote)
            if (path.rfind(r, 0) == 0) return true;
        return false;
    }
};

inline void MakeFrontEnd(const std::string& path, const std::string& values) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    std::string sql = "DROP TABLE IF EXISTS tbl_Intern;"
                      "CREATE TABLE tbl_Intern (VI_Major TEXT, VI_Minor TEXT, VI_Beta TEXT);"
                      "INSERT INTO tbl_Intern VALUES (" + values + ");";
    sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

// One installation: program folder "prog", data folder "daten", registry store "reg".
struct Installation {
    TempDir tmp;
    std::string prog = tmp / "prog", data = tmp / "daten", ini = prog + "/zqm.ini";
    CountingRegistry registry{tmp / "reg"};
    zq::posix::ProfileFiles profile;
    NetworkFiles files;
    RecordingProcesses processes;
    FixedClock clock;
    TestEnvironment env;
    zq::posix::PosixShell shell;
    std::istringstream answers;
    std::ostringstream boxes;
    zq::console::ConsoleDialogs dialogs{answers, boxes};
    zq::posix::SqliteEngine engine;
    zq::Platform platform{registry, profile, files, processes, clock, env, shell, dialogs, nullptr, &engine};
    zq::TraceLog trace{files, prog + "/ZQM_Start_Trace.txt", zq::kStarterLabelWidth};
    zq::starter::StarterContext ctx{platform, trace};

    Installation() {
        WriteFile(prog + "/zqm.zqf", "");
        MakeFrontEnd(prog + "/zqm.zqf", "'4.1', '.23', NULL");
        WriteFile(data + "/UpdStore/.keep", "");
        env.program = prog + "/zqm";
        ctx.glProgramFolder = prog;
        ctx.glIniFile = ini;
        ctx.glFrontEndFile = prog + "/zqm.zqf";
        trace.OpenOutput();
    }
    void Answer(const std::string& lines) { answers.str(lines); answers.clear(); }
    void Ini(const std::string& section, const std::string& key, const std::string& value) {
        profile.WriteString(section, key, value, ini);
    }
    std::string IniValue(const std::string& section, const std::string& key) {
        return profile.GetString(section, key, "<missing>", 1000, ini);
    }
    std::vector<std::string> Lines() {
        trace.Close();
        auto lines = CrLfLines(ReadFile(prog + "/ZQM_Start_Trace.txt"));
        trace.OpenAppend();
        return lines;
    }
    // The trace from the first line equal to first on.
    std::vector<std::string> From(const std::string& first) {
        auto lines = Lines();
        for (std::size_t k = 0; k < lines.size(); ++k)
            if (lines[k] == first) return {lines.begin() + static_cast<long>(k), lines.end()};
        return {};
    }
};

}  // namespace zqtest
