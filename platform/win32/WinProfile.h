#pragma once
// Private-profile files through the system's own functions and their semantics; a file in
// UTF-8 (with or without byte-order mark), which those functions would read as ANSI, is read
// and changed as text with the same semantics and stays UTF-8.
#include "platform/Profile.h"
#include "platform/win32/WinFiles.h"

namespace zq::win32 {

class WinProfile : public IProfile {
public:
    std::string GetString(const std::string& section, const std::string& key,
                          const std::string& defaultValue, std::size_t bufferSize,
                          const std::string& file) override;
    bool WriteString(const std::string& section, const std::string& key, const std::string& value,
                     const std::string& file) override;

private:
    WinFiles files_;
};

}  // namespace zq::win32
