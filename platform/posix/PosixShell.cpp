#include "platform/posix/PosixShell.h"

#include <cstdlib>
#include <fstream>

#include "platform/posix/PosixProcesses.h"

namespace zq::posix {

namespace {

bool Request(const std::string& verb, const std::string& target) {
    // Never a text xdg-open could take for one of its options.
    if (target.empty() || target[0] == '-') return false;
    const char* log = std::getenv("ZEQUORA_SHELL_LOG");
    if (log && *log) {
        std::ofstream out(log, std::ios::binary | std::ios::app);
        out << verb << ' ' << target << "\r\n";
        out.flush();
        return static_cast<bool>(out);
    }
    // The target is one argument of its own: nothing in it is ever interpreted.
    return StartArguments({"xdg-open", target}, false).ok;
}

}  // namespace

bool PosixShell::Open(const std::string& address) {
    if (address.empty()) return false;
    return Request("open", address);
}

bool PosixShell::Explore(const std::string& folder) {
    if (folder.empty()) return false;
    return Request("explore", folder);
}

}  // namespace zq::posix
