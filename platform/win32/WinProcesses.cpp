#include "platform/win32/WinProcesses.h"

#include <windows.h>

#include <vector>

#include "platform/win32/WinText.h"

namespace zq::win32 {

namespace {

class WinProcessHandle : public IProcessHandle {
public:
    // job: the job object the process and its children run in (may be none).
    WinProcessHandle(HANDLE process, HANDLE job) : process_(process), job_(job) {}
    ~WinProcessHandle() override {
        CloseHandle(process_);
        if (job_ != nullptr) CloseHandle(job_);
    }
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
    void Terminate() override {
        if (job_ != nullptr) TerminateJobObject(job_, 1);
        TerminateProcess(process_, 1);
        (void)Wait(5000);
    }

private:
    HANDLE process_;
    HANDLE job_;
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
    // A process that is waited for runs in a job of its own, so that it can be ended with
    // every process it starts; it is held until it is in the job.
    const DWORD flags = keepHandle ? CREATE_SUSPENDED : 0;
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, flags, nullptr, nullptr,
                        &startup, &info)) {
        const DWORD error = GetLastError();
        const std::vector<std::string> args = SplitCommandLine(commandLine);
        result.error = "Cannot start " + commandLine + ": " + ErrorText(error, args.empty() ? "" : args[0]);
        return result;
    }
    HANDLE job = nullptr;
    if (keepHandle) {
        job = CreateJobObjectW(nullptr, nullptr);
        // Where jobs cannot nest (a program that runs in a job already, before Windows 8),
        // the process alone can be ended.
        if (job != nullptr && !AssignProcessToJobObject(job, info.hProcess)) {
            CloseHandle(job);
            job = nullptr;
        }
        ResumeThread(info.hThread);
    }
    CloseHandle(info.hThread);
    result.ok = true;
    if (keepHandle)
        result.handle = std::make_unique<WinProcessHandle>(info.hProcess, job);
    else
        CloseHandle(info.hProcess);
    return result;
}

}  // namespace zq::win32
