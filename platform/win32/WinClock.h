#pragma once
// Local time and the user's formats (general date, "#,##0.0") from the system.
#include <windows.h>

#include "platform/Clock.h"

namespace zq::win32 {

// The date and time as the system's functions take them (no check of the fields). Inline:
// the stand-ins' data access uses it without the clock.
inline SYSTEMTIME ToSystemTime(const DateTime& t) {
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(t.year);
    st.wMonth = static_cast<WORD>(t.month);
    st.wDay = static_cast<WORD>(t.day);
    st.wHour = static_cast<WORD>(t.hour);
    st.wMinute = static_cast<WORD>(t.minute);
    st.wSecond = static_cast<WORD>(t.second);
    return st;
}

class WinClock : public IClock {
public:
    DateTime Now() override;
    // The user's short date and long time format, as the general date format shows both.
    std::string FormatGeneral(const DateTime& t) override;
    std::string FormatOneDecimal(double value) override;
    void Sleep(int milliseconds) override;
    std::int64_t TickMs() override;
};

}  // namespace zq::win32
