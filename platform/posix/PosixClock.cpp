#include "platform/posix/PosixClock.h"

#include <chrono>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <thread>

namespace zq::posix {

DateTime PosixClock::Now() {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    DateTime t;
    t.year = tm.tm_year + 1900;
    t.month = tm.tm_mon + 1;
    t.day = tm.tm_mday;
    t.hour = tm.tm_hour;
    t.minute = tm.tm_min;
    t.second = tm.tm_sec;
    return t;
}

std::string PosixClock::FormatGeneral(const DateTime& t) {
    if (t.IsEmpty()) return {};
    std::tm tm{};
    tm.tm_year = t.year - 1900;
    tm.tm_mon = t.month - 1;
    tm.tm_mday = t.day;
    tm.tm_hour = t.hour;
    tm.tm_min = t.minute;
    tm.tm_sec = t.second;
    tm.tm_isdst = -1;
    // Fills the weekday and day of the year, which some locales' formats show.
    std::tm normalised = tm;
    if (std::mktime(&normalised) != static_cast<std::time_t>(-1)) tm = normalised;
    char buf[256];
    std::size_t n = std::strftime(buf, sizeof buf, "%x %X", &tm);
    return std::string(buf, n);
}

std::string PosixClock::FormatOneDecimal(double value) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value < 0 ? "-Infinity" : "Infinity";
    const std::lconv* lc = std::localeconv();
    std::string decimal = lc && lc->decimal_point && *lc->decimal_point ? lc->decimal_point : ".";
    std::string thousands = lc && lc->thousands_sep ? lc->thousands_sep : "";
    // The C locale names no grouping character; the pattern's "," then stands for itself.
    if (thousands.empty()) thousands.push_back(decimal == "," ? '.' : ',');

    long double tenths = std::roundl(std::fabs(static_cast<long double>(value)) * 10.0L);
    char digits[64];
    int len = std::snprintf(digits, sizeof digits, "%02.0Lf", tenths);
    if (len < 2 || static_cast<std::size_t>(len) >= sizeof digits) return std::string(1, '0').append(decimal).append(1, '0');
    std::size_t wholeLen = static_cast<std::size_t>(len) - 1;

    std::string grouped;
    for (std::size_t k = 0; k < wholeLen; ++k) {
        if (k > 0 && (wholeLen - k) % 3 == 0) grouped += thousands;
        grouped += digits[k];
    }
    char fraction = digits[wholeLen];
    std::string out;
    if (value < 0 && tenths != 0.0L) out += '-';
    out.append(grouped).append(decimal);
    out += fraction;
    return out;
}

void PosixClock::Sleep(int milliseconds) {
    if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

std::int64_t PosixClock::TickMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace zq::posix
