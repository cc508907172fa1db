#include "platform/win32/WinProcesses.h"

#include <windows.h>

#include <vector>

#include "platform/win32/WinText.h"

namespace zq::win32 {

namespace {

class WinProcessHandle : public IProcessHandle {
public:
    explicit WinProcessHandle(HANDLE process) : process_(process) {}
    ~WinProcessHandle() override { CloseHandle(process_); }
    WinProcessHandle(const WinProcessHandle&) = delete;
    WinProcessHandle& operator=(const WinProcessHandle&) = delete;

    bool Wait(int timeoutMs) override {
        DWORD wait = timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
        if (WaitForSingleObject(process_, wait) != WAIT_OBJECT_0) return false;
        DWORD code = 0;
        if (GetExitCodeProcess(process_, &code)) code_ = static_cast<int>(code);
        return true;
    }
    int ExitCode() const override { return code_; }

private:
    HANDLE process_;
    int code_ = -1;
};

}  // namespace

StartResult WinProcesses::Start(const std::string& commandLine, bool keepHandle, WindowStyle style) {
    StartResult result;
    if (commandLine.empty() || commandLine.find('\0') != std::string::npos) {
        result.error = "No program given";
        return result;
    }
    // CreateProcessW may write into the command line, so it gets a copy of its own.
    std::wstring line = Wide(commandLine);
    if (line.size() >= 32767) {
        result.error = "Command line too long";
        return result;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow =
        static_cast<WORD>(style == WindowStyle::MinimizedFocus ? SW_SHOWMINIMIZED : SW_SHOWNORMAL);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
        const DWORD error = GetLastError();
        const std::vector<std::string> args = SplitCommandLine(commandLine);
        result.error = "Cannot start " + commandLine + ": " + ErrorText(error, args.empty() ? "" : args[0]);
        return result;
    }
    CloseHandle(info.hThread);
    result.ok = true;
    if (keepHandle)
        result.handle = std::make_unique<WinProcessHandle>(info.hProcess);
    else
        CloseHandle(info.hProcess);
    return result;
}

}  // namespace zq::win32
