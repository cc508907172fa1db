#include "platform/win32/WinProfile.h"

#include <windows.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "common/IniText.h"
#include "common/Utf8.h"
#include "platform/win32/WinText.h"

namespace zq::win32 {

namespace {

constexpr std::size_t kMaxFileBytes = 16u << 20;

// The system cuts every text at a NUL; such a name would address another entry.
bool HasNul(const std::string& text) { return text.find('\0') != std::string::npos; }

// The file's bytes when it is one the system's functions would misread: UTF-8 text.
std::optional<std::string> Utf8File(WinFiles& files, const std::string& file, IniEncoding& encoding) {
    std::optional<std::string> raw = files.ReadAll(file, kMaxFileBytes);
    if (!raw) return std::nullopt;
    if (raw->rfind("\xFF\xFE", 0) == 0) return std::nullopt;  // UTF-16: the system's own
    encoding = DetectIniEncoding(*raw, IniEncoding::Ansi);
    if (encoding == IniEncoding::Ansi) return std::nullopt;
    return DecodeIni(*raw, encoding);
}

// One writer at a time per file for the files changed here.
class WriterLock {
public:
    explicit WriterLock(const std::string& file) {
        std::wstring path = Wide(file);
        CharLowerBuffW(path.data(), static_cast<DWORD>(path.size()));
        std::replace(path.begin(), path.end(), L'\\', L'/');  // no "\\" in an object name
        std::wstring name = L"Local\\Zequora-Profile-" + path;
        if (name.size() > 250) name.erase(0, name.size() - 250);
        mutex_ = CreateMutexW(nullptr, FALSE, name.c_str());
        if (mutex_) {
            DWORD r = WaitForSingleObject(mutex_, 10000);
            held_ = r == WAIT_OBJECT_0 || r == WAIT_ABANDONED;
        }
    }
    ~WriterLock() {
        if (held_) ReleaseMutex(mutex_);
        if (mutex_) CloseHandle(mutex_);
    }
    WriterLock(const WriterLock&) = delete;
    WriterLock& operator=(const WriterLock&) = delete;
    bool Held() const { return held_; }

private:
    HANDLE mutex_ = nullptr;
    bool held_ = false;
};

}  // namespace

std::string WinProfile::GetString(const std::string& section, const std::string& key,
                                  const std::string& defaultValue, std::size_t bufferSize,
                                  const std::string& file) {
    if (bufferSize == 0) return {};
    if (HasNul(section) || HasNul(key) || HasNul(file) || file.empty()) return defaultValue;
    IniEncoding encoding{};
    if (std::optional<std::string> text = Utf8File(files_, file, encoding)) {
        std::string result = defaultValue;
        while (!result.empty() && (result.back() == ' ' || result.back() == '\t')) result.pop_back();
        if (std::optional<std::string> v = IniLookup(IniLines(*text), section, key)) result = *v;
        return FirstChars(result, bufferSize - 1);
    }
    const DWORD size = static_cast<DWORD>(std::min<std::size_t>(bufferSize, 65535));
    std::vector<wchar_t> buffer(size, L'\0');
    DWORD n = GetPrivateProfileStringW(Wide(section).c_str(), Wide(key).c_str(),
                                       Wide(defaultValue).c_str(), buffer.data(), size,
                                       Wide(file).c_str());
    return Utf8(buffer.data(), std::min<DWORD>(n, size - 1));
}

bool WinProfile::WriteString(const std::string& section, const std::string& key,
                             const std::string& value, const std::string& file) {
    if (HasNul(section) || HasNul(key) || HasNul(value) || HasNul(file) || file.empty())
        return false;
    // A line break in a value would add lines the next read takes for keys.
    std::vector<std::string> probe;
    if (!IniSet(probe, section, key, value)) return false;
    WriterLock lock(file);
    IniEncoding encoding{};
    if (std::optional<std::string> text = Utf8File(files_, file, encoding)) {
        if (!lock.Held()) return false;
        std::vector<std::string> lines = IniLines(*text);
        (void)IniSet(lines, section, key, value);
        const std::string out = IniJoin(lines);
        if (out == *text) return true;
        return files_.WriteAtomic(file, EncodeIni(out, encoding)).ok();
    }
    return WritePrivateProfileStringW(Wide(section).c_str(), Wide(key).c_str(),
                                      Wide(value).c_str(), Wide(file).c_str()) != FALSE;
}

}  // namespace zq::win32
