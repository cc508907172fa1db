#pragma once
// Values between the engine contract (UTF-8, Value) and COM automation (UTF-16 BSTR, VARIANT),
// for the DAO adapter and for the stand-in DAO server, so both convert alike.
#include <windows.h>
#include <oleauto.h>

#include <string>

#include "common/Dao.h"

namespace zq::win32 {

std::string Utf8FromBstr(BSTR text);
// A new BSTR (nullptr only when out of memory); the caller frees it.
BSTR BstrFromUtf8(const std::string& text);

// Null for Null and an empty date; whole numbers within 32 bits as VT_I4, beyond as VT_I8;
// text as VT_BSTR; a date-time as VT_DATE. False when out of memory or for an invalid date.
bool VariantFromValue(const zq::dao::Value& value, VARIANT& out);
// Null and Empty as Null; every integer type and Yes/No as a whole number; floating,
// currency and decimal as a floating number; text; VT_DATE as a date-time. Anything else
// (binary data, arrays, objects) is refused with the reason in why.
bool ValueFromVariant(const VARIANT& in, zq::dao::Value& out, std::string& why);

}  // namespace zq::win32
