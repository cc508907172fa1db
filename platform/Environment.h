#pragma once
#include <optional>
#include <string>

namespace zq {

enum class PathStyle { Windows, Posix };

class IEnvironment {
public:
    virtual ~IEnvironment() = default;
    virtual PathStyle Style() const = 0;
    // Full path of the running program file.
    virtual std::string ProgramPath() = 0;
    virtual std::optional<std::string> Get(const std::string& name) = 0;
    virtual std::string ComputerName() = 0;  // "ComputerName"
    virtual std::string UserName() = 0;      // "UserName"
    virtual std::string LogonName() = 0;     // the user's logon name
    // Fixed folders of the system, each ending in the separator.
    virtual std::string LocalUpdateFolder() = 0;  // C:\temp\zequora2\update\ on Windows
    virtual std::string Error52Folder() = 0;      // C:\temp\error52\ on Windows
    // Streamed Office 16 program folder for "64" or "32" bit.
    virtual std::string StreamedOffice16Folder(bool is64) = 0;
    // Whether a person can see what the program shows: false on Windows for a task that
    // runs while nobody is logged on (a window station that is not visible).
    virtual bool HasVisibleDesktop() { return true; }
};

}  // namespace zq
