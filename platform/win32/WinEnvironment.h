#pragma once
// The program's own path, the environment and the system's fixed folders on Windows.
#include "platform/Environment.h"

namespace zq::win32 {

class WinEnvironment : public IEnvironment {
public:
    PathStyle Style() const override { return PathStyle::Windows; }
    std::string ProgramPath() override;
    std::optional<std::string> Get(const std::string& name) override;
    std::string ComputerName() override;  // the variable "ComputerName"
    std::string UserName() override;      // the variable "UserName"
    std::string LogonName() override;     // GetUserNameW
    std::string LocalUpdateFolder() override { return "C:\\temp\\zequora2\\update\\"; }
    std::string Error52Folder() override { return "C:\\temp\\error52\\"; }
    std::string StreamedOffice16Folder(bool is64) override;
    bool HasVisibleDesktop() override;  // the process's window station is visible
};

// The command line after the program name and the blanks that follow it, as the process
// received it.
std::string ProcessCommandTail();

}  // namespace zq::win32
