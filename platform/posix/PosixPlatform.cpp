#include "platform/posix/PosixPlatform.h"

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "platform/SwitchableDialogs.h"
#include "platform/console/ConsoleDialogs.h"
#include "platform/posix/PosixClock.h"
#include "platform/posix/PosixEnvironment.h"
#include "platform/posix/PosixFiles.h"
#include "platform/posix/PosixProcesses.h"
#include "platform/posix/PosixShell.h"
#include "platform/posix/PosixSystemLog.h"
#include "platform/posix/ProfileFiles.h"
#include "platform/posix/RegistryStore.h"
#include "platform/posix/SqliteEngine.h"

namespace zq::posix {

namespace {
std::string RegistryFolder() {
    if (const char* dir = std::getenv("ZEQUORA_REGISTRY"); dir && *dir) return dir;
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home && *home ? home : "/tmp") + "/.config";
    }
    return base + "/zequora/registry";
}

}  // namespace

struct PosixPlatform::Impl {
    RegistryStore registry{RegistryFolder()};
    ProfileFiles profile;
    PosixFiles files;
    PosixProcesses processes;
    PosixClock clock;
    PosixEnvironment env;
    PosixShell shell;
    console::ConsoleDialogs consoleDialogs{std::cin, std::cerr};
    SwitchableDialogs dialogs{consoleDialogs};
    SqliteEngine db;
    PosixSystemLog systemLog;
};

PosixPlatform::PosixPlatform() : impl_(std::make_unique<Impl>()) {
    Impl& i = *impl_;
    platform_.reset(new Platform{i.registry, i.profile, i.files,   i.processes, i.clock,
                                 i.env,      i.shell,   i.dialogs, nullptr,     &i.db, &i.systemLog});
}

PosixPlatform::~PosixPlatform() = default;

Platform& PosixPlatform::Get() { return *platform_; }

IDialogs& PosixPlatform::OwnDialogs() { return impl_->consoleDialogs; }

void PosixPlatform::SetDialogs(IDialogs& dialogs) {
    impl_->dialogs.SetTarget(dialogs);
}

}  // namespace zq::posix

namespace zq {

std::unique_ptr<PlatformServices> MakePlatformServices() {
    return std::make_unique<posix::PosixPlatform>();
}

std::string ProgramCommandLine(int argc, char** argv) {
    // The shell has split the line already; joined again by the Windows rules, each
    // argument comes back whole when the line is split again.
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    return JoinCommandLine(args);
}

std::string LiteralCommandLine(int argc, char** argv) {
    std::string line;
    for (int k = 1; k < argc; ++k) {
        if (k > 1) line += ' ';
        line += argv[k];
    }
    return line;
}

}  // namespace zq
