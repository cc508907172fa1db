#include "common/RegistryAccess.h"

#include "common/Utf8.h"

namespace zq {

namespace {

constexpr std::size_t kIniBuffer = 250;
const char* const kSettingsRoot = "Software\\VB and VBA Program Settings\\";

// Removes the NULs that end a stored text; a text stored without one stays whole.
std::string WithoutTerminator(std::string text) {
    while (!text.empty() && text.back() == '\0') text.pop_back();
    return text;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

TypedValue ReadTypedValue(IRegistry& reg, RegHandle key, const std::string& name) {
    TypedValue v;
    std::uint32_t type = 0;
    std::string data;
    if (reg.QueryValue(key, name, type, data) != kRegSuccess) return v;
    if (type == kRegSz) {
        v.text = std::move(data);
    } else if (type == kRegDword && data.size() == 4) {
        std::uint32_t n = 0;
        for (int i = 3; i >= 0; --i) n = (n << 8) | static_cast<unsigned char>(data[static_cast<std::size_t>(i)]);
        v.number = static_cast<std::int32_t>(n);
    } else {
        return v;
    }
    v.type = type;
    v.status = 0;
    return v;
}

std::string ReadStringValue(IRegistry& reg, RegRoot root, const std::string& keyPath,
                            const std::string& name) {
    RegHandle key = 0;
    if (reg.OpenKey(root, keyPath, key) != kRegSuccess) return "";
    TypedValue v = ReadTypedValue(reg, key, name);
    reg.CloseKey(key);
    if (v.status != 0) return "";
    if (v.type == kRegDword) return std::to_string(v.number);
    return WithoutTerminator(std::move(v.text));
}

long WriteStringValue(IRegistry& reg, RegRoot root, const std::string& keyPath,
                      const std::string& name, const std::string& value) {
    RegHandle key = 0;
    long status = reg.CreateKey(root, keyPath, key);
    if (status != kRegSuccess) return status;
    status = reg.SetValue(key, name, kRegSz, value + '\0');
    reg.CloseKey(key);
    return status;
}

long WriteDwordValue(IRegistry& reg, RegRoot root, const std::string& keyPath,
                     const std::string& name, std::int32_t value) {
    RegHandle key = 0;
    long status = reg.CreateKey(root, keyPath, key);
    if (status != kRegSuccess) return status;
    std::uint32_t n = static_cast<std::uint32_t>(value);
    std::string data;
    for (int i = 0; i < 4; ++i) data += static_cast<char>((n >> (8 * i)) & 0xFF);
    status = reg.SetValue(key, name, kRegDword, data);
    reg.CloseKey(key);
    return status;
}

bool KeyExists(IRegistry& reg, RegRoot root, const std::string& keyPath) {
    RegHandle key = 0;
    if (reg.OpenKey(root, keyPath, key) != kRegSuccess) return false;
    reg.CloseKey(key);
    return true;
}

std::vector<std::string> EnumerateSubkeys(IRegistry& reg, RegRoot root, const std::string& keyPath,
                                          int* calls) {
    std::vector<std::string> names;
    int made = 0;
    RegHandle key = 0;
    if (reg.OpenKey(root, keyPath, key) == kRegSuccess) {
        for (std::uint32_t index = 0;; ++index) {
            std::string name;
            ++made;
            if (reg.EnumKey(key, index, name) != kRegSuccess) break;
            names.push_back(std::move(name));
        }
        reg.CloseKey(key);
    }
    if (calls) *calls = made;
    return names;
}

std::string SettingsKeyPath(const std::string& application, const std::string& section) {
    return kSettingsRoot + application + "\\" + section;
}

void SaveSetting(IRegistry& reg, const std::string& application, const std::string& section,
                 const std::string& key, const std::string& value) {
    WriteStringValue(reg, RegRoot::CurrentUser, SettingsKeyPath(application, section), key, value);
}

std::string GetSetting(IRegistry& reg, const std::string& application, const std::string& section,
                       const std::string& key, const std::string& defaultValue) {
    RegHandle handle = 0;
    if (reg.OpenKey(RegRoot::CurrentUser, SettingsKeyPath(application, section), handle) != kRegSuccess)
        return defaultValue;
    TypedValue v = ReadTypedValue(reg, handle, key);
    reg.CloseKey(handle);
    if (v.status != 0) return defaultValue;
    if (v.type == kRegDword) return std::to_string(v.number);
    return WithoutTerminator(std::move(v.text));
}

std::string IniRead(IProfile& profile, const std::string& file, const std::string& section,
                    const std::string& key) {
    std::string text = profile.GetString(section, key, "", kIniBuffer, file);
    std::size_t nul = text.find('\0');
    if (nul != std::string::npos) text.resize(nul);
    text = FirstChars(text, kIniBuffer - 1);  // never inside a character
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

void IniWrite(IProfile& profile, const std::string& file, const std::string& section,
              const std::string& key, const std::string& value) {
    profile.WriteString(section, key, value, file);
}

std::string Trim(const std::string& text) {
    std::size_t b = 0, e = text.size();
    while (b < e && IsBlank(text[b])) ++b;
    while (e > b && IsBlank(text[e - 1])) --e;
    return text.substr(b, e - b);
}

std::string ToUpper(const std::string& text) {
    std::string out = text;
    for (std::size_t i = 0; i < out.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(out[i]);
        if (c >= 'a' && c <= 'z') {
            out[i] = static_cast<char>(c - 32);
        } else if (c == 0xC3 && i + 1 < out.size()) {
            // Latin-1 letters in UTF-8: à..þ (without ÷) to À..Þ.
            unsigned char d = static_cast<unsigned char>(out[i + 1]);
            if (d >= 0xA0 && d <= 0xBE && d != 0xB7) out[i + 1] = static_cast<char>(d - 0x20);
            ++i;
        }
    }
    return out;
}

bool EqualsNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && ToUpper(a) == ToUpper(b);
}

bool IsNotSetMarker(const std::string& value) { return ToUpper(Trim(value)) == "X"; }

}  // namespace zq
