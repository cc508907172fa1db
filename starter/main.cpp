// zqm: the Manager start program. Builds the Linux adapters and runs the start sequence.
// The adapters are put together here rather than through the common factory: the factory
// also carries the web access, whose libraries alone would cost every Manager start more
// than the whole sequence takes.
#include <clocale>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "platform/Processes.h"
#include "platform/console/ConsoleDialogs.h"
#include "platform/posix/PosixClock.h"
#include "platform/posix/PosixEnvironment.h"
#include "platform/posix/PosixFiles.h"
#include "platform/posix/PosixProcesses.h"
#include "platform/posix/PosixShell.h"
#include "platform/posix/ProfileFiles.h"
#include "platform/posix/RegistryStore.h"
#include "platform/posix/SqliteEngine.h"
#include "starter/Start.h"
#ifdef ZQ_HAVE_QT
#include "platform/qt/QtDialogsLoader.h"
#include "platform/qt/QtUi.h"
#endif

namespace {

// ZEQUORA_REGISTRY, else $XDG_CONFIG_HOME/zequora/registry (~/.config/...).
std::string RegistryFolder() {
    if (const char* dir = std::getenv("ZEQUORA_REGISTRY"); dir && *dir) return dir;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
        return std::string(xdg) + "/zequora/registry";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/.config/zequora/registry";
}

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    zq::posix::RegistryStore registry(RegistryFolder());
    zq::posix::ProfileFiles profile;
    zq::posix::PosixFiles files;
    zq::posix::PosixProcesses processes;
    zq::posix::PosixClock clock;
    zq::posix::PosixEnvironment env;
    zq::posix::PosixShell shell;
    zq::console::ConsoleDialogs console(std::cin, std::cerr);
#ifdef ZQ_HAVE_QT
    // With a display the boxes are Qt's, loaded only when one must be shown.
    zq::qt::LoadedQtDialogs qtDialogs(env.ProgramPath(), console);
    zq::IDialogs& dialogs = zq::qt::QtWanted() ? static_cast<zq::IDialogs&>(qtDialogs) : console;
#else
    zq::IDialogs& dialogs = console;
#endif
    zq::posix::SqliteEngine engine;
    zq::Platform platform{registry, profile, files, processes, clock, env, shell, dialogs, nullptr, &engine};

    // The command line after the program name, as the process received it.
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const std::string startParm = zq::JoinCommandLine(args);

    return zq::starter::RunStarter(platform, startParm);
}
