#pragma once
// syslog(3), so that journald or the syslog daemon keeps the entry. With ZEQUORA_SYSLOG_SOCKET
// set, the same line goes as a syslog datagram to that socket instead (tests read it there).
#include "platform/SystemLog.h"

namespace zq::posix {

class PosixSystemLog : public ISystemLog {
public:
    bool Write(const std::string& source, SystemLogLevel level, int eventId, const std::string& text) override;
};

}  // namespace zq::posix
