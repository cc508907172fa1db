#pragma once
// Helpers of the Windows adapter tests: a throw-away folder and small file helpers, all in
// Windows paths (UTF-8, "\").
#include <windows.h>

#include <string>

#include "platform/win32/WinEnvironment.h"
#include "platform/win32/WinText.h"

namespace zqwin {

// A fresh folder under the system's temporary folder, removed with its content at the end.
class TempDir {
public:
    TempDir() {
        wchar_t base[MAX_PATH + 1] = {};
        GetTempPathW(MAX_PATH + 1, base);
        static unsigned counter = 0;
        path_ = zq::win32::Utf8(std::wstring(base)) + "zqtest-" +
                std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
        CreateDirectoryW(zq::win32::Wide(path_).c_str(), nullptr);
    }
    ~TempDir() { RemoveTree(zq::win32::Wide(path_)); }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

    static void RemoveTree(const std::wstring& folder) {
        WIN32_FIND_DATAW found{};
        HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                std::wstring name = found.cFileName;
                if (name == L"." || name == L"..") continue;
                std::wstring full = folder + L"\\" + name;
                SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    RemoveTree(full);
                else
                    DeleteFileW(full.c_str());
            } while (FindNextFileW(find, &found));
            FindClose(find);
        }
        RemoveDirectoryW(folder.c_str());
    }

private:
    std::string path_;
};

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    HANDLE f = CreateFileW(zq::win32::Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    if (f != INVALID_HANDLE_VALUE) {
        WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(f);
    }
}

inline std::string ReadBytes(const std::string& path) {
    HANDLE f = CreateFileW(zq::win32::Wide(path).c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    std::string out;
    if (f == INVALID_HANDLE_VALUE) return out;
    char buf[4096];
    DWORD n = 0;
    while (ReadFile(f, buf, sizeof buf, &n, nullptr) && n > 0) out.append(buf, n);
    CloseHandle(f);
    return out;
}

inline bool PathExists(const std::string& path) {
    return GetFileAttributesW(zq::win32::Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Holds a file open the way another program would: with the sharing given (0: none).
class HeldFile {
public:
    HeldFile(const std::string& path, DWORD share)
        : h_(CreateFileW(zq::win32::Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, share,
                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~HeldFile() {
        if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
    }
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;
    bool ok() const { return h_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE h_;
};

// The folder of the running test program, with its final "\".
inline std::string ProgramFolder() {
    wchar_t buffer[MAX_PATH] = {};
    DWORD n = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    std::string path = zq::win32::Utf8(buffer, n);
    return path.substr(0, path.find_last_of('\\') + 1);
}

// The Windows environment of a program at the given path.
class ProgramAt : public zq::win32::WinEnvironment {
public:
    explicit ProgramAt(std::string path) : path_(std::move(path)) {}
    std::string ProgramPath() override { return path_; }

private:
    std::string path_;
};

}  // namespace zqwin
