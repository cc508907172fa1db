#pragma once
// Local time and the user's formats (general date, "#,##0.0") from the system.
#include "platform/Clock.h"

namespace zq::win32 {

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
