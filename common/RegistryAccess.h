#pragma once
// Registry and INI wrappers: failures become the empty text, status -1 or the platform's
// code; nothing here shows a message.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Profile.h"
#include "platform/Registry.h"

namespace zq {

struct TypedValue {
    long status = -1;         // 0 or -1
    std::uint32_t type = 0;   // kRegSz or kRegDword when status is 0
    std::string text;         // REG_SZ as stored (terminating NUL included when there is one)
    std::int32_t number = 0;  // REG_DWORD
};

TypedValue ReadTypedValue(IRegistry& reg, RegHandle key, const std::string& name);
// The value as text, empty on any failure; a REG_DWORD gives its decimal text.
std::string ReadStringValue(IRegistry& reg, RegRoot root, const std::string& keyPath,
                            const std::string& name);
// Creates the key when missing (access 0x3F), writes, closes; the platform's status code.
long WriteStringValue(IRegistry& reg, RegRoot root, const std::string& keyPath,
                      const std::string& name, const std::string& value);
long WriteDwordValue(IRegistry& reg, RegRoot root, const std::string& keyPath,
                     const std::string& name, std::int32_t value);
bool KeyExists(IRegistry& reg, RegRoot root, const std::string& keyPath);
// Subkey names from index 0 until the platform reports anything but success.
// *calls gets the number of enumeration calls made, the last failing one included.
std::vector<std::string> EnumerateSubkeys(IRegistry& reg, RegRoot root, const std::string& keyPath,
                                          int* calls = nullptr);

// Per-user settings tree: HKCU\Software\VB and VBA Program Settings\<app>\<section>, key.
std::string SettingsKeyPath(const std::string& application, const std::string& section);
void SaveSetting(IRegistry& reg, const std::string& application, const std::string& section,
                 const std::string& key, const std::string& value);
std::string GetSetting(IRegistry& reg, const std::string& application, const std::string& section,
                       const std::string& key, const std::string& defaultValue = "");

// INI read with the 250-character buffer: at most 249 characters, cut at the first NUL,
// trailing blanks removed; a missing file, section or key gives "".
std::string IniRead(IProfile& profile, const std::string& file, const std::string& section,
                    const std::string& key);
void IniWrite(IProfile& profile, const std::string& file, const std::string& section,
              const std::string& key, const std::string& value);

// Small text helpers used with settings.
std::string Trim(const std::string& text);
std::string ToUpper(const std::string& text);
bool EqualsNoCase(const std::string& a, const std::string& b);
bool IsNotSetMarker(const std::string& value);  // "X" in any case, after trimming

}  // namespace zq
