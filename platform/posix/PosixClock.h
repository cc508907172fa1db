#pragma once
#include <cstdint>
#include <string>

#include "platform/Clock.h"

namespace zq::posix {

// Local time and the C library's locale (the program's main selects the user's locale).
class PosixClock : public IClock {
public:
    PosixClock() = default;
    DateTime Now() override;
    std::string FormatGeneral(const DateTime& t) override;
    std::string FormatOneDecimal(double value) override;
    void Sleep(int milliseconds) override;
    std::int64_t TickMs() override;
};

}  // namespace zq::posix
