#pragma once
// Private-profile (INI) files on Linux.
#include <string>

#include "platform/Profile.h"

namespace zq::posix {

class ProfileFiles : public zq::IProfile {
public:
    ProfileFiles() = default;

    std::string GetString(const std::string& section, const std::string& key,
                          const std::string& defaultValue, std::size_t bufferSize,
                          const std::string& file) override;
    bool WriteString(const std::string& section, const std::string& key,
                     const std::string& value, const std::string& file) override;
    void RemoveLeftovers(const std::string& file) override;
};

}  // namespace zq::posix
