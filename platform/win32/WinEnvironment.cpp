#include "platform/win32/WinEnvironment.h"

#include <windows.h>

#include <vector>

#include "platform/Processes.h"
#include "platform/win32/WinText.h"

namespace zq::win32 {

std::string WinEnvironment::ProgramPath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) return Utf8(buffer.data(), n);
        if (buffer.size() >= 32768) return {};
        buffer.resize(buffer.size() * 2);
    }
}

std::optional<std::string> WinEnvironment::Get(const std::string& name) {
    if (name.empty() || name.find('\0') != std::string::npos) return std::nullopt;
    const std::wstring wide = Wide(name);
    std::vector<wchar_t> buffer(256);
    for (int attempt = 0; attempt < 4; ++attempt) {
        SetLastError(ERROR_SUCCESS);
        DWORD n = GetEnvironmentVariableW(wide.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) {
            if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
            return std::string();
        }
        if (n < buffer.size()) return Utf8(buffer.data(), n);
        buffer.resize(n);  // n includes the terminating NUL here
    }
    return std::nullopt;
}

std::string WinEnvironment::ComputerName() { return Get("ComputerName").value_or(""); }

std::string WinEnvironment::UserName() { return Get("UserName").value_or(""); }

std::string WinEnvironment::LogonName() {
    wchar_t buffer[257] = {};
    DWORD size = 257;
    if (!GetUserNameW(buffer, &size) || size == 0) return {};
    return Utf8(buffer, size - 1);
}

std::string WinEnvironment::StreamedOffice16Folder(bool is64) {
    return is64 ? "C:\\Program Files\\Microsoft Office\\root\\Office16\\"
                : "C:\\Program Files (x86)\\Microsoft Office\\root\\Office16\\";
}

bool WinEnvironment::HasVisibleDesktop() {
    USEROBJECTFLAGS flags{};
    HWINSTA station = GetProcessWindowStation();
    if (station == nullptr ||
        !GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, nullptr))
        return true;  // unknown: as the system would show a box
    return (flags.dwFlags & WSF_VISIBLE) != 0;
}

std::string ProcessCommandTail() {
    const wchar_t* line = GetCommandLineW();
    if (line == nullptr) return {};
    return CommandTail(Utf8(std::wstring(line)));
}

}  // namespace zq::win32
