#pragma once
// Addresses and folders handed to the shell (ShellExecuteW "open" and "explore").
#include "platform/Shell.h"

namespace zq::win32 {

class WinShell : public IShell {
public:
    bool Open(const std::string& address) override;
    bool Explore(const std::string& folder) override;
};

}  // namespace zq::win32
