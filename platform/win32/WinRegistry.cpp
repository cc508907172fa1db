#include "platform/win32/WinRegistry.h"

#include <windows.h>

#include <vector>

#include "platform/win32/WinText.h"

namespace zq::win32 {

namespace {

HKEY RootKey(RegRoot root) {
    return root == RegRoot::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

// The view this process does not see by default.
constexpr REGSAM kOtherView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;

constexpr REGSAM kReadAccess = KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS;
constexpr REGSAM kWriteAccess = 0x3F;  // query, set, create subkey, enumerate, notify, link

// Value names and key paths may hold no NUL: the system would cut them there.
bool ValidName(const std::string& text) { return text.find('\0') == std::string::npos; }

}  // namespace

WinRegistry::~WinRegistry() {
    for (auto& [handle, key] : open_) RegCloseKey(static_cast<HKEY>(key));
}

RegHandle WinRegistry::Keep(void* key) {
    RegHandle handle = next_++;
    open_[handle] = key;
    return handle;
}

void* WinRegistry::Find(RegHandle key) const {
    auto it = open_.find(key);
    return it == open_.end() ? nullptr : it->second;
}

long WinRegistry::OpenKey(RegRoot root, const std::string& path, RegHandle& out) {
    out = 0;
    if (!ValidName(path)) return kRegNotFound;
    const std::wstring wide = Wide(path);
    HKEY key = nullptr;
    LSTATUS status = RegOpenKeyExW(RootKey(root), wide.c_str(), 0, kReadAccess, &key);
    if (status == ERROR_FILE_NOT_FOUND && root == RegRoot::LocalMachine)
        status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, wide.c_str(), 0, kReadAccess | kOtherView, &key);
    if (status != ERROR_SUCCESS) return status;
    out = Keep(key);
    return kRegSuccess;
}

long WinRegistry::CreateKey(RegRoot root, const std::string& path, RegHandle& out) {
    out = 0;
    if (!ValidName(path)) return ERROR_INVALID_PARAMETER;
    const std::wstring wide = Wide(path);
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExW(RootKey(root), wide.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                     kWriteAccess, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) return status;
    out = Keep(key);
    return kRegSuccess;
}

long WinRegistry::QueryValue(RegHandle handle, const std::string& name, std::uint32_t& type,
                             std::string& data) {
    type = 0;
    data.clear();
    HKEY key = static_cast<HKEY>(Find(handle));
    if (key == nullptr) return ERROR_INVALID_HANDLE;
    if (!ValidName(name)) return kRegNotFound;
    const std::wstring wide = Wide(name);
    // The value may grow between asking for its size and reading it: ask again then.
    std::vector<BYTE> buffer;
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD valueType = 0;
        DWORD size = 0;
        LSTATUS status = RegQueryValueExW(key, wide.c_str(), nullptr, &valueType, nullptr, &size);
        if (status != ERROR_SUCCESS) return status;
        buffer.assign(size, 0);
        status = RegQueryValueExW(key, wide.c_str(), nullptr, &valueType,
                                  buffer.empty() ? nullptr : buffer.data(), &size);
        if (status == ERROR_MORE_DATA) continue;
        if (status != ERROR_SUCCESS) return status;
        buffer.resize(size);
        type = valueType;
        if (valueType == REG_SZ) {
            // UTF-16 characters as stored, the terminating NUL included when there is one;
            // an odd last byte is not a character.
            std::wstring text(buffer.size() / 2, L'\0');
            for (std::size_t k = 0; k < text.size(); ++k)
                text[k] = static_cast<wchar_t>(buffer[2 * k] | (buffer[2 * k + 1] << 8));
            data = Utf8(text);
        } else {
            data.assign(buffer.begin(), buffer.end());
        }
        return kRegSuccess;
    }
    return ERROR_MORE_DATA;
}

long WinRegistry::SetValue(RegHandle handle, const std::string& name, std::uint32_t type,
                           const std::string& data) {
    HKEY key = static_cast<HKEY>(Find(handle));
    if (key == nullptr) return ERROR_INVALID_HANDLE;
    if (!ValidName(name)) return ERROR_INVALID_PARAMETER;
    const std::wstring wideName = Wide(name);
    if (type == kRegSz) {
        const std::wstring text = Wide(data);  // the terminating NUL comes with the data
        return RegSetValueExW(key, wideName.c_str(), 0, REG_SZ,
                              reinterpret_cast<const BYTE*>(text.data()),
                              static_cast<DWORD>(text.size() * sizeof(wchar_t)));
    }
    if (type == kRegDword && data.size() != 4) return ERROR_INVALID_PARAMETER;
    return RegSetValueExW(key, wideName.c_str(), 0, type,
                          reinterpret_cast<const BYTE*>(data.data()),
                          static_cast<DWORD>(data.size()));
}

long WinRegistry::EnumKey(RegHandle handle, std::uint32_t index, std::string& name) {
    name.clear();
    HKEY key = static_cast<HKEY>(Find(handle));
    if (key == nullptr) return ERROR_INVALID_HANDLE;
    wchar_t buffer[2000];
    DWORD length = 2000;
    LSTATUS status =
        RegEnumKeyExW(key, index, buffer, &length, nullptr, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS) return status;
    name = Utf8(buffer, length);
    return kRegSuccess;
}

long WinRegistry::CloseKey(RegHandle handle) {
    auto it = open_.find(handle);
    if (it == open_.end()) return ERROR_INVALID_HANDLE;
    LSTATUS status = RegCloseKey(static_cast<HKEY>(it->second));
    open_.erase(it);
    return status;
}

}  // namespace zq::win32
