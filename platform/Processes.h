#pragma once
#include <memory>
#include <string>
#include <vector>

namespace zq {

// A started process the caller keeps to wait for.
class IProcessHandle {
public:
    virtual ~IProcessHandle() = default;
    // Waits up to timeoutMs (negative: no bound). True when the process has ended.
    virtual bool Wait(int timeoutMs) = 0;
    virtual int ExitCode() const = 0;  // valid after Wait returned true
    // Ends the process and every process it started (its group on Linux, its job on
    // Windows) without waiting for them to finish their work.
    virtual void Terminate() = 0;
};

// The window of a started program: shown normally or minimised, activated either way.
enum class WindowStyle { NormalFocus, MinimizedFocus };

struct StartResult {
    bool ok = false;
    std::string error;                       // why the start failed
    std::unique_ptr<IProcessHandle> handle;  // only when asked for
};

class IProcesses {
public:
    virtual ~IProcesses() = default;
    // Splits commandLine by the Windows rules (never a shell) and starts it detached.
    // A PE file ("MZ") goes through wine when that is on the PATH. On Windows the command
    // line reaches the program unchanged, its window shown as style says.
    virtual StartResult Start(const std::string& commandLine, bool keepHandle,
                              WindowStyle style = WindowStyle::NormalFocus) = 0;
};

// Windows command-line rules (CommandLineToArgvW), exposed for tests.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);
// What follows the program name and the one blank after it, unchanged (a program's own
// command line as Windows hands it over, e.g. for passing it on).
std::string CommandTail(const std::string& commandLine);
// Quotes one argument so that SplitCommandLine gives it back unchanged.
std::string QuoteArgument(const std::string& argument);
// Rebuilds the command line after the program name from main's arguments.
std::string JoinCommandLine(const std::vector<std::string>& arguments);

}  // namespace zq
