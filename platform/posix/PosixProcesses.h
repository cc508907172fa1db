#pragma once
// Starting programs on Linux: the command line is split by the Windows rules and the program
// is executed directly (never through a shell); PE files go through wine.
#include <string>

#include "platform/Processes.h"

namespace zq::posix {

class PosixProcesses : public IProcesses {
public:
    PosixProcesses() = default;
    StartResult Start(const std::string& commandLine, bool keepHandle) override;
};

}  // namespace zq::posix
