#pragma once
// Registry interface: the small part of the Windows registry API the programs use.
#include <cstdint>
#include <memory>
#include <string>

namespace zq {

enum class RegRoot { LocalMachine, CurrentUser };

using RegHandle = std::uint64_t;  // 0 is never a valid handle

// Platform status codes, compared by number as on Windows.
inline constexpr long kRegSuccess = 0;
inline constexpr long kRegNotFound = 2;
inline constexpr long kRegNoMoreItems = 259;
inline constexpr long kRegFailure = -1;  // damaged store, bad handle, I/O error

inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegDword = 4;

// Keeps a root's writers' lock while it lives; see IRegistry::LockRoot.
class RegLock {
public:
    virtual ~RegLock() = default;
};

class IRegistry {
public:
    virtual ~IRegistry() = default;
    // Opens an existing key for reading (KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS).
    virtual long OpenKey(RegRoot root, const std::string& path, RegHandle& out) = 0;
    // Opens a key with access 0x3F, creating it and its parents when missing.
    virtual long CreateKey(RegRoot root, const std::string& path, RegHandle& out) = 0;
    // Raw value data as the platform keeps it: for REG_SZ the characters including the
    // terminating NUL when one was stored; for REG_DWORD 4 bytes little-endian.
    virtual long QueryValue(RegHandle key, const std::string& name, std::uint32_t& type,
                            std::string& data) = 0;
    virtual long SetValue(RegHandle key, const std::string& name, std::uint32_t type,
                          const std::string& data) = 0;
    // Subkey names by index in a stable order (order of creation); kRegNoMoreItems past the end.
    virtual long EnumKey(RegHandle key, std::uint32_t index, std::string& name) = 0;
    virtual long CloseKey(RegHandle key) = 0;
    // Keeps every other process from writing the root until the lock is destroyed (before
    // the registry), so that a look-up and the writes that depend on it are one step; calls
    // through this object go on as usual meanwhile. Null when the lock cannot be had. A
    // registry that no other process writes needs no lock and keeps this default.
    virtual std::unique_ptr<RegLock> LockRoot(RegRoot root) {
        (void)root;
        return std::make_unique<RegLock>();
    }
};

}  // namespace zq
