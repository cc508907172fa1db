#pragma once
// "Open" and "explore" through xdg-open. With ZEQUORA_SHELL_LOG set, the requests are
// appended to that file instead (tests and unattended runs start nothing).
#include <string>

#include "platform/Shell.h"

namespace zq::posix {

class PosixShell : public IShell {
public:
    PosixShell() = default;
    bool Open(const std::string& address) override;
    bool Explore(const std::string& folder) override;
};

}  // namespace zq::posix
