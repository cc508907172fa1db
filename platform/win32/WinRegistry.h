#pragma once
// The registry through advapi32. Keys under HKEY_LOCAL_MACHINE are looked up in the process's
// own view first and then in the other one, so that a 32-bit program also finds a 64-bit
// Office (and the other way round).
#include <map>
#include <string>

#include "platform/Registry.h"

namespace zq::win32 {

class WinRegistry : public IRegistry {
public:
    WinRegistry() = default;
    ~WinRegistry() override;
    WinRegistry(const WinRegistry&) = delete;
    WinRegistry& operator=(const WinRegistry&) = delete;

    long OpenKey(RegRoot root, const std::string& path, RegHandle& out) override;
    long CreateKey(RegRoot root, const std::string& path, RegHandle& out) override;
    long QueryValue(RegHandle key, const std::string& name, std::uint32_t& type,
                    std::string& data) override;
    long SetValue(RegHandle key, const std::string& name, std::uint32_t type,
                  const std::string& data) override;
    long EnumKey(RegHandle key, std::uint32_t index, std::string& name) override;
    long CloseKey(RegHandle key) override;
    // A named mutex per root, waited for up to ten seconds (in WinLocks.cpp).
    std::unique_ptr<RegLock> LockRoot(RegRoot root) override;

private:
    RegHandle Keep(void* key);
    void* Find(RegHandle key) const;

    std::map<RegHandle, void*> open_;  // HKEYs handed out, so a stale handle fails safely
    RegHandle next_ = 1;
};

}  // namespace zq::win32
