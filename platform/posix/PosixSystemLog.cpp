#include "platform/posix/PosixSystemLog.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <syslog.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace zq::posix {

namespace {

int Priority(SystemLogLevel level) {
    switch (level) {
        case SystemLogLevel::Error: return LOG_ERR;
        case SystemLogLevel::Warning: return LOG_WARNING;
        case SystemLogLevel::Information: break;
    }
    return LOG_INFO;
}

}  // namespace

bool PosixSystemLog::Write(const std::string& source, SystemLogLevel level, int eventId,
                           const std::string& text) {
    // One line: the lines of the text are kept apart by " | ".
    std::string line = "[" + std::to_string(eventId) + "] ";
    for (char c : text) {
        if (c == '\r') continue;
        if (c == '\n') line += " | ";
        else line += c;
    }
    const char* socketPath = std::getenv("ZEQUORA_SYSLOG_SOCKET");
    if (socketPath == nullptr || *socketPath == '\0') {
        ::openlog(source.c_str(), LOG_PID, LOG_USER);
        ::syslog(Priority(level), "%s", line.c_str());
        ::closelog();
        return true;
    }
    sockaddr_un to{};
    to.sun_family = AF_UNIX;
    if (std::strlen(socketPath) >= sizeof to.sun_path) return false;
    std::strcpy(to.sun_path, socketPath);
    const std::string datagram = "<" + std::to_string(LOG_USER | Priority(level)) + ">" + source + "[" +
                                 std::to_string(::getpid()) + "]: " + line;
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const bool sent = ::sendto(fd, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&to),
                               sizeof to) == static_cast<ssize_t>(datagram.size());
    ::close(fd);
    return sent;
}

}  // namespace zq::posix
