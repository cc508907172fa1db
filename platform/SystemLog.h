#pragma once
// The system's log, where administrators watch scheduled jobs: the Event Log on Windows,
// syslog (and so the journal) on Linux.
#include <string>

namespace zq {

enum class SystemLogLevel { Information, Warning, Error };

class ISystemLog {
public:
    virtual ~ISystemLog() = default;
    // One entry under source (the program's name) with the event number; false when it
    // could not be written. Never shows anything and never waits for anybody.
    virtual bool Write(const std::string& source, SystemLogLevel level, int eventId,
                       const std::string& text) = 0;
};

}  // namespace zq
