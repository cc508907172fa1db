// zqm: the Manager start program. Builds the Linux adapters and runs the start sequence.
#include <clocale>
#include <string>
#include <vector>

#include "platform/Processes.h"
#include "platform/posix/PosixPlatform.h"
#include "platform/posix/SqliteEngine.h"
#include "starter/Start.h"

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    zq::posix::PosixPlatform posix;
    zq::Platform& platform = posix.Get();
    zq::posix::SqliteEngine engine;
    if (!platform.db) platform.db = &engine;

    // The command line after the program name, as the process received it.
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const std::string startParm = zq::JoinCommandLine(args);

    using zq::starter::Outcome;
    Outcome outcome = zq::starter::RunStarter(platform, startParm);
    bool failed = outcome == Outcome::FrontEndMissing || outcome == Outcome::AccessNotFound;
    return failed ? 1 : 0;
}
