#pragma once
// Starting programs with CreateProcessW: the command line reaches the program unchanged,
// its window shown normally or minimised, activated either way.
#include "platform/Processes.h"

namespace zq::win32 {

class WinProcesses : public IProcesses {
public:
    StartResult Start(const std::string& commandLine, bool keepHandle,
                      WindowStyle style = WindowStyle::NormalFocus) override;
};

}  // namespace zq::win32
