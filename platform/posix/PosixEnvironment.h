#pragma once
#include <optional>
#include <string>

#include "platform/Environment.h"

namespace zq::posix {

class PosixEnvironment : public IEnvironment {
public:
    PosixEnvironment() = default;
    PathStyle Style() const override { return PathStyle::Posix; }
    std::string ProgramPath() override;
    std::optional<std::string> Get(const std::string& name) override;
    std::string ComputerName() override;
    std::string UserName() override;
    std::string LogonName() override;
    std::string LocalUpdateFolder() override;
    std::string Error52Folder() override;
    std::string StreamedOffice16Folder(bool is64) override;
};

}  // namespace zq::posix
