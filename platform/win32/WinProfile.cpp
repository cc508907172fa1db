#include "platform/win32/WinProfile.h"

#include <windows.h>

#include <vector>

#include "platform/win32/WinText.h"

namespace zq::win32 {

namespace {
// The system cuts every text at a NUL; such a name would address another entry.
bool HasNul(const std::string& text) { return text.find('\0') != std::string::npos; }
}  // namespace

std::string WinProfile::GetString(const std::string& section, const std::string& key,
                                  const std::string& defaultValue, std::size_t bufferSize,
                                  const std::string& file) {
    if (bufferSize == 0) return {};
    if (HasNul(section) || HasNul(key) || HasNul(file) || file.empty()) return defaultValue;
    const DWORD size = static_cast<DWORD>(std::min<std::size_t>(bufferSize, 65535));
    std::vector<wchar_t> buffer(size, L'\0');
    DWORD n = GetPrivateProfileStringW(Wide(section).c_str(), Wide(key).c_str(),
                                       Wide(defaultValue).c_str(), buffer.data(), size,
                                       Wide(file).c_str());
    return Utf8(buffer.data(), std::min<DWORD>(n, size - 1));
}

bool WinProfile::WriteString(const std::string& section, const std::string& key,
                             const std::string& value, const std::string& file) {
    if (HasNul(section) || HasNul(key) || HasNul(value) || HasNul(file) || file.empty())
        return false;
    return WritePrivateProfileStringW(Wide(section).c_str(), Wide(key).c_str(),
                                      Wide(value).c_str(), Wide(file).c_str()) != FALSE;
}

}  // namespace zq::win32
