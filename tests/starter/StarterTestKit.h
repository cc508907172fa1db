#pragma once
// The start program's core over services in memory, the same on every platform: registry,
// profile files, files and the front end's database in memory, console boxes with scripted
// answers, recorded process starts, a clock that stands still.
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/console/ConsoleDialogs.h"
#include "starter/Global.h"
#include "support/Fakes.h"
#include "support/MemoryDb.h"
#include "support/MemoryFiles.h"

namespace zqtest {

struct CountingRegistry : MemoryRegistry {
    int enumCalls = 0;
    long EnumKey(zq::RegHandle key, std::uint32_t index, std::string& name) override {
        ++enumCalls;
        return MemoryRegistry::EnumKey(key, index, name);
    }
};

// Folders under one of these prefixes count as lying on a network file system.
struct NetworkFiles : MemoryFiles {
    std::set<std::string> remote;
    bool IsRemote(const std::string& path) override {
        for (const auto& r : remote)
            if (path.rfind(r, 0) == 0) return true;
        return false;
    }
};

// One installation: program folder "prog", data folder "daten".
struct Installation {
    std::string prog = "/zq/prog", data = "/zq/daten", ini = prog + "/zqm.ini";
    CountingRegistry registry;
    NetworkFiles files;
    MemoryProfile profile{files};
    RecordingProcesses processes;
    FakeClock clock;
    FakeEnvironment env{prog + "/zqm"};
    RecordingShell shell;
    std::istringstream answers;
    std::ostringstream boxes;
    zq::console::ConsoleDialogs dialogs{answers, boxes};
    MemoryDb engine{files};
    zq::Platform platform{registry, profile, files, processes, clock, env, shell, dialogs, nullptr, &engine};
    zq::TraceLog trace{files, prog + "/ZQM_Start_Trace.txt", zq::kStarterLabelWidth};
    zq::starter::StarterContext ctx{platform, trace};

    Installation() {
        FrontEnd("4.1", ".23", {});
        files.Put(data + "/UpdStore/.keep", "");
        env.computer = "PC 12";
        env.user = "anna";
        env.localUpdateFolder = "/home/anna/.cache/zequora2/update/";
        ctx.glProgramFolder = prog;
        ctx.glIniFile = ini;
        ctx.glFrontEndFile = prog + "/zqm.zqf";
        trace.OpenOutput();
    }
    // The front end with its version record.
    void FrontEnd(zq::dao::Value major, zq::dao::Value minor, zq::dao::Value beta) {
        engine.Put(prog + "/zqm.zqf",
                   {{"tbl_Intern", {{{{"VI_Major", major}, {"VI_Minor", minor}, {"VI_Beta", beta}}}}}});
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
        auto lines = TextLines(files.Content(prog + "/ZQM_Start_Trace.txt"));
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
