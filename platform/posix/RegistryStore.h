#pragma once
// Registry store: one text file per root ("HKEY_LOCAL_MACHINE.reg", "HKEY_CURRENT_USER.reg")
// in the "Windows Registry Editor Version 5.00" format, kept in one folder.
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>

#include "platform/Registry.h"

namespace zq::posix {

class RegistryStore : public zq::IRegistry {
public:
    explicit RegistryStore(std::string folder);

    long OpenKey(RegRoot root, const std::string& path, RegHandle& out) override;
    long CreateKey(RegRoot root, const std::string& path, RegHandle& out) override;
    long QueryValue(RegHandle key, const std::string& name, std::uint32_t& type,
                    std::string& data) override;
    long SetValue(RegHandle key, const std::string& name, std::uint32_t type,
                  const std::string& data) override;
    long EnumKey(RegHandle key, std::uint32_t index, std::string& name) override;
    long CloseKey(RegHandle key) override;

    // The file that holds one root.
    std::string FileOf(RegRoot root) const;
    // Why the last failing call failed ("" after a success); also written to stderr.
    const std::string& LastError() const { return lastError_; }

private:
    struct Open {
        RegRoot root;
        std::string path;  // without the root name, as passed (backslash separated)
    };
    long Fail(const std::string& why);
    bool Lookup(RegHandle key, Open& out);

    std::string folder_;
    std::mutex mutex_;
    std::map<RegHandle, Open> handles_;
    RegHandle next_ = 1;
    std::string lastError_;
};

}  // namespace zq::posix
