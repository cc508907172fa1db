#pragma once
// One reorganiser context on the real Linux adapters in a temporary folder, with scripted
// message boxes and a recording window, for tests of single procedures.
#include <map>
#include <memory>
#include <string>
#include <vector>

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
        return std::nullopt;
    }
    std::vector<Box> boxes;
};

class RecordingView : public zq::reorg::IReorgView {
public:
    zq::reorg::Flow Show(zq::reorg::IReorgEvents& events) override {
        if (shown) return zq::reorg::Flow::Go;
        shown = true;
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
    void ProcessPendingInput() override {}
    void ShowBusy(const std::string&) override {}
    void Run(zq::reorg::IReorgEvents&) override {}

    bool shown = false;
    std::map<zq::reorg::Control, std::string> texts;
    std::map<zq::reorg::Control, bool> enabled, visible;
};

// The program file lies in the temporary program folder.
class TestEnvironment : public zq::posix::PosixEnvironment {
public:
    explicit TestEnvironment(std::string programPath) : path_(std::move(programPath)) {}
    std::string ProgramPath() override { return path_; }

private:
    std::string path_;
};

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
        ctx.glProgramFolder = prog;
        ctx.glExeName = "zqr";
        ctx.glDataFile = data + "/zqdata.mdb";
    }
    std::string Trace() { return ReadFile(prog + "/ZQR_Reorg_Trace.txt"); }

    TempDir dir;
    std::string prog, data;
    zq::posix::RegistryStore registry;
    zq::posix::ProfileFiles profile;
    zq::posix::PosixFiles files;
    zq::posix::PosixProcesses processes;
    zq::posix::PosixClock clock;
    TestEnvironment env;
    zq::posix::PosixShell shell;
    ScriptedDialogs dialogs;
    zq::posix::SqliteEngine db;
    zq::Platform platform;
    RecordingView view;
    zq::reorg::ReorgContext ctx;
};

}  // namespace zqtest
