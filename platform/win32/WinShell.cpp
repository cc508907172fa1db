#include "platform/win32/WinShell.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdint>

#include "platform/win32/WinText.h"

namespace zq::win32 {

namespace {

bool Execute(const wchar_t* verb, const std::string& target) {
    if (target.empty() || target.find('\0') != std::string::npos) return false;
    HINSTANCE result = ShellExecuteW(nullptr, verb, Wide(target).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    // Values above 32 mean success.
    return reinterpret_cast<std::intptr_t>(result) > 32;
}

}  // namespace

bool WinShell::Open(const std::string& address) { return Execute(L"open", address); }

bool WinShell::Explore(const std::string& folder) { return Execute(L"explore", folder); }

}  // namespace zq::win32
