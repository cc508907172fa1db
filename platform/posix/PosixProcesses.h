#pragma once
// Starting programs on Linux: the command line is split by the Windows rules and the program
// is executed directly (never through a shell); PE files go through wine.
#include <string>
#include <vector>

#include "platform/Processes.h"

namespace zq::posix {

class PosixProcesses : public IProcesses {
public:
    PosixProcesses() = default;
    // The window style is the started program's business here.
    StartResult Start(const std::string& commandLine, bool keepHandle,
                      WindowStyle style = WindowStyle::NormalFocus) override;
};

// Starts argv (argv[0] a program path or a name looked up like a Windows program) detached,
// in its own session, standard input from /dev/null. Without a handle nothing is left to
// reap.
StartResult StartArguments(const std::vector<std::string>& argv, bool keepHandle);

}  // namespace zq::posix
