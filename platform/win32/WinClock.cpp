#include "platform/win32/WinClock.h"

#include <windows.h>

#include <charconv>
#include <cmath>

#include "platform/win32/WinText.h"

namespace zq::win32 {

namespace {

// One of the user's locale texts (separators), with a fallback when the system has none.
std::wstring LocaleText(LCTYPE type, const wchar_t* fallback) {
    wchar_t buffer[16] = {};
    int n = GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, type, buffer, 16);
    if (n <= 1) return fallback;
    return std::wstring(buffer, static_cast<std::size_t>(n - 1));
}

}  // namespace

DateTime WinClock::Now() {
    SYSTEMTIME st{};
    GetLocalTime(&st);
    return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
}

std::string WinClock::FormatGeneral(const DateTime& t) {
    if (t.IsEmpty()) return {};
    const SYSTEMTIME st = ToSystemTime(t);
    wchar_t date[128] = {};
    wchar_t time[128] = {};
    int d = GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, date, 128, nullptr);
    int h = GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &st, nullptr, time, 128);
    if (d <= 1 || h <= 1) return {};
    return Utf8(std::wstring(date, static_cast<std::size_t>(d - 1)) + L" " +
                std::wstring(time, static_cast<std::size_t>(h - 1)));
}

std::string WinClock::FormatOneDecimal(double value) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value < 0 ? "-Infinity" : "Infinity";
    // Rounded to tenths here (half away from zero), so the system groups the digits of the
    // rounded number; a small negative number becomes "0.0", never "-0.0".
    const double tenths = std::round(std::fabs(value) * 10.0);
    if (tenths == 0.0) value = 0.0;
    // The number as the system reads it: digits, "." and no grouping, whatever the locale.
    char digits[400];
    char* end = digits;
    if (value < 0) *end++ = '-';
    auto [last, ec] = std::to_chars(end, digits + sizeof digits, tenths / 10.0, std::chars_format::fixed, 1);
    if (ec != std::errc()) return {};
    const std::wstring number = Wide(std::string(digits, last));
    std::wstring decimal = LocaleText(LOCALE_SDECIMAL, L".");
    std::wstring thousands = LocaleText(LOCALE_STHOUSAND, L",");
    NUMBERFMTW format{};
    format.NumDigits = 1;
    format.LeadingZero = 1;
    format.Grouping = 3;
    format.lpDecimalSep = decimal.data();
    format.lpThousandSep = thousands.data();
    format.NegativeOrder = 1;  // "-1.1"
    wchar_t out[512] = {};
    int n = GetNumberFormatEx(LOCALE_NAME_USER_DEFAULT, 0, number.c_str(), &format, out, 512);
    if (n <= 1) return {};
    return Utf8(out, static_cast<std::size_t>(n - 1));
}

void WinClock::Sleep(int milliseconds) {
    if (milliseconds > 0) ::Sleep(static_cast<DWORD>(milliseconds));
}

std::int64_t WinClock::TickMs() { return static_cast<std::int64_t>(GetTickCount64()); }

}  // namespace zq::win32
