#pragma once
// Registry store: one text file per root ("HKEY_LOCAL_MACHINE.reg", "HKEY_CURRENT_USER.reg")
// in the "Windows Registry Editor Version 5.00" format, kept in one folder. Every call sees
// what other processes wrote before it; writers serialise on a lock file beside the store.
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/Registry.h"

namespace zq::posix {

class RegistryStore : public zq::IRegistry {
public:
    explicit RegistryStore(std::string folder);
    ~RegistryStore() override;
    RegistryStore(const RegistryStore&) = delete;
    RegistryStore& operator=(const RegistryStore&) = delete;

    long OpenKey(RegRoot root, const std::string& path, RegHandle& out) override;
    long CreateKey(RegRoot root, const std::string& path, RegHandle& out) override;
    long QueryValue(RegHandle key, const std::string& name, std::uint32_t& type,
                    std::string& data) override;
    long SetValue(RegHandle key, const std::string& name, std::uint32_t type,
                  const std::string& data) override;
    long EnumKey(RegHandle key, std::uint32_t index, std::string& name) override;
    long CloseKey(RegHandle key) override;
    // The writers' lock file of the root, held until the lock is destroyed.
    std::unique_ptr<RegLock> LockRoot(RegRoot root) override;

    // The file that holds one root.
    std::string FileOf(RegRoot root) const;
    // Why the last failing call failed ("" after a success); also written to stderr once.
    std::string LastError() const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace zq::posix
