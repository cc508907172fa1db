#pragma once
// The Windows Event Log (Application), under an event source named for the program. A source
// the installer did not register still takes the entry, only without its message file.
#include "platform/SystemLog.h"

namespace zq::win32 {

class WinEventLog : public ISystemLog {
public:
    bool Write(const std::string& source, SystemLogLevel level, int eventId, const std::string& text) override;
};

}  // namespace zq::win32
