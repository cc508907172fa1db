#pragma once
// Private-profile files through the system's own functions and their semantics.
#include "platform/Profile.h"

namespace zq::win32 {

class WinProfile : public IProfile {
public:
    std::string GetString(const std::string& section, const std::string& key,
                          const std::string& defaultValue, std::size_t bufferSize,
                          const std::string& file) override;
    bool WriteString(const std::string& section, const std::string& key, const std::string& value,
                     const std::string& file) override;
};

}  // namespace zq::win32
