#include "platform/win32/WinEventLog.h"

#include <windows.h>

#include "platform/win32/WinText.h"

namespace zq::win32 {

bool WinEventLog::Write(const std::string& source, SystemLogLevel level, int eventId, const std::string& text) {
    HANDLE log = RegisterEventSourceW(nullptr, Wide(source).c_str());
    if (log == nullptr) return false;
    WORD type = EVENTLOG_INFORMATION_TYPE;
    if (level == SystemLogLevel::Warning) type = EVENTLOG_WARNING_TYPE;
    if (level == SystemLogLevel::Error) type = EVENTLOG_ERROR_TYPE;
    std::wstring wide = Wide(text.substr(0, text.find('\0')));
    if (wide.size() > 31000) wide.resize(31000);  // an entry's string is bounded
    const wchar_t* strings[] = {wide.c_str()};
    const BOOL ok = ReportEventW(log, type, 0, static_cast<DWORD>(eventId), nullptr, 1, 0, strings, nullptr);
    DeregisterEventSource(log);
    return ok != FALSE;
}

}  // namespace zq::win32
