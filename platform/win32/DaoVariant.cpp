#include "platform/win32/DaoVariant.h"

#include "platform/win32/WinClock.h"
#include "platform/win32/WinText.h"

#include <climits>
#include <cmath>

namespace zq::win32 {

std::string Utf8FromBstr(BSTR text) { return text ? Utf8(text, SysStringLen(text)) : std::string(); }

BSTR BstrFromUtf8(const std::string& text) {
    std::wstring w = Wide(text);
    return SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
}

bool VariantFromValue(const zq::dao::Value& value, VARIANT& out) {
    VariantInit(&out);
    if (std::holds_alternative<std::monostate>(value)) {
        out.vt = VT_NULL;
        return true;
    }
    if (const auto* i = std::get_if<std::int64_t>(&value)) {
        if (*i >= INT32_MIN && *i <= INT32_MAX) {
            out.vt = VT_I4;
            out.lVal = static_cast<LONG>(*i);
        } else {
            out.vt = VT_I8;
            out.llVal = *i;
        }
        return true;
    }
    if (const auto* d = std::get_if<double>(&value)) {
        out.vt = VT_R8;
        out.dblVal = *d;
        return true;
    }
    if (const auto* s = std::get_if<std::string>(&value)) {
        out.bstrVal = BstrFromUtf8(*s);
        if (!out.bstrVal) return false;
        out.vt = VT_BSTR;
        return true;
    }
    const auto& t = std::get<DateTime>(value);
    if (t.IsEmpty()) {
        out.vt = VT_NULL;
        return true;
    }
    if (t.year < 100 || t.year > 9999 || t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 ||
        t.hour < 0 || t.hour > 23 || t.minute < 0 || t.minute > 59 || t.second < 0 || t.second > 59)
        return false;
    SYSTEMTIME st = ToSystemTime(t);
    double date = 0;
    if (!SystemTimeToVariantTime(&st, &date)) return false;
    out.vt = VT_DATE;
    out.date = date;
    return true;
}

bool ValueFromVariant(const VARIANT& in, zq::dao::Value& out, std::string& why) {
    VARIANT v;
    VariantInit(&v);
    // By-reference values are read through their reference.
    if (FAILED(VariantCopyInd(&v, const_cast<VARIANT*>(&in)))) {
        why = "the value cannot be read";
        return false;
    }
    bool ok = true;
    switch (v.vt) {
    case VT_EMPTY:
    case VT_NULL: out = std::monostate{}; break;
    case VT_I1: out = static_cast<std::int64_t>(v.cVal); break;
    case VT_UI1: out = static_cast<std::int64_t>(v.bVal); break;
    case VT_I2: out = static_cast<std::int64_t>(v.iVal); break;
    case VT_UI2: out = static_cast<std::int64_t>(v.uiVal); break;
    case VT_I4: out = static_cast<std::int64_t>(v.lVal); break;
    case VT_UI4: out = static_cast<std::int64_t>(v.ulVal); break;
    case VT_INT: out = static_cast<std::int64_t>(v.intVal); break;
    case VT_UINT: out = static_cast<std::int64_t>(v.uintVal); break;
    case VT_I8: out = static_cast<std::int64_t>(v.llVal); break;
    case VT_BOOL: out = static_cast<std::int64_t>(v.boolVal ? -1 : 0); break;
    case VT_R4: out = static_cast<double>(v.fltVal); break;
    case VT_R8: out = v.dblVal; break;
    case VT_CY: out = static_cast<double>(v.cyVal.int64) / 10000.0; break;
    case VT_DECIMAL: {
        double d = 0;
        ok = SUCCEEDED(VarR8FromDec(&v.decVal, &d));
        out = d;
        break;
    }
    case VT_BSTR: out = Utf8FromBstr(v.bstrVal); break;
    case VT_DATE: {
        SYSTEMTIME st{};
        if (!std::isfinite(v.date) || !VariantTimeToSystemTime(v.date, &st)) {
            ok = false;
            break;
        }
        out = DateTime{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
        break;
    }
    default: ok = false; break;
    }
    if (!ok) why = "a value of type " + std::to_string(v.vt) + " cannot be taken";
    VariantClear(&v);
    return ok;
}

}  // namespace zq::win32
