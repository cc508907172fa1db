#pragma once
#include <cstdint>
#include <string>

namespace zq {

// A local calendar time; all zero means "empty" (a time that could not be read).
struct DateTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    bool IsEmpty() const { return year == 0; }
    friend auto operator<=>(const DateTime&, const DateTime&) = default;
};

class IClock {
public:
    virtual ~IClock() = default;
    virtual DateTime Now() = 0;
    // The system's general date format ("%x %X" of the user's locale).
    virtual std::string FormatGeneral(const DateTime& t) = 0;
    // "#,##0.0" with the locale's separators.
    virtual std::string FormatOneDecimal(double value) = 0;
    virtual void Sleep(int milliseconds) = 0;
    // Monotonic milliseconds, for bounded waits.
    virtual std::int64_t TickMs() = 0;
};

}  // namespace zq
