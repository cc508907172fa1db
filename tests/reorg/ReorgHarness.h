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
#include "reorg/frmZQR/ReorgView.h"
#include "support/TestSupport.h"

namespace zqtest {

struct Box {
    std::string text, title;
    zq::MsgIcon icon;
};

class ScriptedDialogs : public zq::IDialogs {
public:
    zq::MsgResult ShowMessage(const std::string& text, const std::string& title, zq::MsgIcon icon,
                             zq::MsgButtons buttons, int defaultButton) override {
        boxes.push_back({text, title, icon});
        if (buttons == zq::MsgButtons::Ok) return zq::MsgResult::Ok;
        return defaultButton == 0 ? zq::MsgResult::Yes
                                  : defaultButton == 1 ? zq::MsgResult::No : zq::MsgResult::Cancel;
    }
    std::optional<std::string> OpenFile(const std::string&, const std::string&, const std::string&,
                                        const std::string&) override {
        ++fileDialogs;
        return std::nullopt;
    }
    std::vector<Box> boxes;
    int fileDialogs = 0;
};

class RecordingView : public zq::reorg::IReorgView {
public:
    zq::reorg::Flow Show(zq::reorg::IReorgEvents& events) override {
        if (shown) return zq::reorg::Flow::Go;
        shown = true;
        window = &events;
        return events.OnLoad();
    }
    bool IsShown() const override { return shown; }
    void SetText(zq::reorg::Control c, const std::string& t) override { texts[c] = t; }
    std::string Text(zq::reorg::Control c) const override {
        auto it = texts.find(c);
        return it == texts.end() ? "" : it->second;
    }
    void SetEnabled(zq::reorg::Control c, bool e) override { enabled[c] = e; }
    bool IsEnabled(zq::reorg::Control c) const override {
        auto it = enabled.find(c);
        return it == enabled.end() || it->second;
    }
    void SetVisible(zq::reorg::Control c, bool v) override { visible[c] = v; }
    void SetAlignment(zq::reorg::Control, zq::reorg::Alignment) override {}
    void UseSystemDrawnButton(zq::reorg::Control) override {}
    void SetReadOnly(zq::reorg::Control c, bool r) override { readOnly[c] = r; }
    void ProcessPendingInput() override {
        if (duringWait) duringWait();
    }
    void ShowBusy(const std::string&) override {}
    void Run(zq::reorg::IReorgEvents&) override {}

    bool shown = false;
    std::map<zq::reorg::Control, std::string> texts;
    std::map<zq::reorg::Control, bool> enabled, visible, readOnly;
    zq::reorg::IReorgEvents* window = nullptr;  // where the events go once shown
    std::function<void()> duringWait;           // input that arrives while a wait lets it through
};

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
    ScriptedDialogs dialogs;
    zq::posix::SqliteEngine db;
    zq::Platform platform;
    RecordingView view;
    zq::reorg::ReorgContext ctx;
};

}  // namespace zqtest
