// Run locks, private folders, volume identities, leftovers of interrupted writers and the
// registry's writers' lock of the Win32 adapters.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <memory>
#include <vector>

#include "platform/win32/WinFiles.h"
#include "platform/win32/WinRegistry.h"
#include "platform/win32/WinText.h"

namespace zq::win32 {

namespace {

// The full path without a final "\" (except a drive's root); false when it is no path.
bool FullPath(const std::string& path, std::wstring& out) {
    std::wstring p;
    if (!WidePath(path, p) || p.empty()) return false;
    DWORD n = GetFullPathNameW(p.c_str(), 0, nullptr, nullptr);
    if (n == 0) return false;
    out.assign(n, L'\0');
    n = GetFullPathNameW(p.c_str(), n, out.data(), nullptr);
    if (n == 0 || n >= out.size()) return false;
    out.resize(n);
    while (out.size() > 3 && out.back() == L'\\') out.pop_back();
    return true;
}

std::wstring Parent(const std::wstring& path) {
    const std::size_t cut = path.find_last_of(L'\\');
    if (cut == std::wstring::npos || cut + 1 >= path.size()) return {};
    return path.substr(0, cut == 2 && path[1] == L':' ? 3 : cut);
}

class WinFileLock : public IFileLock {
public:
    explicit WinFileLock(HANDLE file) : file_(file) {}
    ~WinFileLock() override { CloseHandle(file_); }  // deletes the file
    WinFileLock(const WinFileLock&) = delete;
    WinFileLock& operator=(const WinFileLock&) = delete;

private:
    HANDLE file_;
};

class WinMutexLock : public RegLock {
public:
    explicit WinMutexLock(HANDLE mutex) : mutex_(mutex) {}
    ~WinMutexLock() override {
        ReleaseMutex(mutex_);
        CloseHandle(mutex_);
    }
    WinMutexLock(const WinMutexLock&) = delete;
    WinMutexLock& operator=(const WinMutexLock&) = delete;

private:
    HANDLE mutex_;
};

// A token's information of the given class (user, default owner), empty on failure.
std::vector<unsigned char> TokenInfo(TOKEN_INFORMATION_CLASS kind) {
    HANDLE token = nullptr;
    std::vector<unsigned char> info;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return info;
    DWORD size = 0;
    GetTokenInformation(token, kind, nullptr, 0, &size);
    info.resize(size);
    if (size == 0 || !GetTokenInformation(token, kind, info.data(), size, &size)) info.clear();
    CloseHandle(token);
    return info;
}

// The user alone (with the system and the administrators, as for a user's own folders),
// protected against what the folders above allow.
struct PrivateSecurity {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ~PrivateSecurity() { LocalFree(descriptor); }
    bool Make(PSID user) {
        LPWSTR sid = nullptr;
        if (!ConvertSidToStringSidW(user, &sid)) return false;
        const std::wstring sddl = std::wstring(L"D:P(A;OICI;FA;;;") + sid +
                                  L")(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
        LocalFree(sid);
        return ConvertStringSecurityDescriptorToSecurityDescriptorW(
                   sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr) != FALSE;
    }
};

FsStatus Refused(const std::string& why, const std::wstring& path) {
    return {kErrPermission, why + ": " + Utf8(path)};
}

}  // namespace

std::string WinFiles::VolumeOf(const std::string& path) {
    std::wstring p;
    if (!FullPath(path, p)) return {};
    while (GetFileAttributesW(p.c_str()) == INVALID_FILE_ATTRIBUTES) {
        p = Parent(p);
        if (p.empty()) return {};
    }
    wchar_t root[MAX_PATH + 1] = {};
    if (!GetVolumePathNameW(p.c_str(), root, MAX_PATH + 1)) return {};
    wchar_t guid[64] = {};
    if (GetVolumeNameForVolumeMountPointW(root, guid, 64)) return Utf8(std::wstring(guid));
    // Without a volume name the root and the serial number: two roots are never taken for
    // one volume, which would count their free space once.
    DWORD serial = 0;
    if (!GetVolumeInformationW(root, nullptr, 0, &serial, nullptr, nullptr, nullptr, 0)) return {};
    return Utf8(std::wstring(root)) + "|" + std::to_string(serial);
}

std::unique_ptr<IFileLock> WinFiles::TryLock(const std::string& path, FsStatus& status) {
    status = {};
    std::wstring p;
    if (!FullPath(path, p)) {
        status = {kErrBadFileName, "Bad file name: " + path};
        return nullptr;
    }
    // Sharing nothing: a second holder fails at once; deleted on close, so a killed holder
    // leaves no lock behind.
    HANDLE file = CreateFileW(p.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        status = Failure(GetLastError(), path, true);
        return nullptr;
    }
    return std::make_unique<WinFileLock>(file);
}

FsStatus WinFiles::MakePrivateFolder(const std::string& folder) {
    std::wstring p;
    if (!FullPath(folder, p)) return {kErrBadFileName, "Bad file name: " + folder};
    const std::vector<unsigned char> user = TokenInfo(TokenUser);
    const std::vector<unsigned char> owner = TokenInfo(TokenOwner);
    if (user.empty() || owner.empty()) return {kErrDeviceIo, ErrorText(GetLastError())};
    PSID userSid = reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid;
    PSID ownerSid = reinterpret_cast<const TOKEN_OWNER*>(owner.data())->Owner;
    PrivateSecurity security;
    if (!security.Make(userSid)) return {kErrDeviceIo, ErrorText(GetLastError())};

    // Every existing level is a true folder, no link; the missing ones are made the user's.
    std::vector<std::wstring> levels;
    for (std::wstring level = p; !level.empty(); level = Parent(level)) levels.push_back(level);
    for (auto it = levels.rbegin() + 1; it != levels.rend(); ++it) {
        const DWORD attributes = GetFileAttributesW(it->c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            SECURITY_ATTRIBUTES sa{sizeof sa, security.descriptor, FALSE};
            if (!CreateDirectoryW(it->c_str(), &sa) && GetLastError() != ERROR_ALREADY_EXISTS)
                return Failure(GetLastError(), Utf8(*it));
            continue;
        }
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
            return Refused("Link on the way to the private folder", *it);
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return Refused("Not a folder", *it);
    }
    const DWORD attributes = GetFileAttributesW(p.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
        !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return Refused("Not a folder of its own", p);

    // The folder's owner is the user (or the owner the user's new objects get, the
    // administrators for an elevated administrator); then only the user may use it.
    PSID folderOwner = nullptr;
    PSECURITY_DESCRIPTOR described = nullptr;
    DWORD err = GetNamedSecurityInfoW(p.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION,
                                      &folderOwner, nullptr, nullptr, nullptr, &described);
    if (err != ERROR_SUCCESS) return Failure(err, Utf8(p));
    const bool own = folderOwner && (EqualSid(folderOwner, userSid) || EqualSid(folderOwner, ownerSid));
    LocalFree(described);
    if (!own) return Refused("Folder belongs to another user", p);
    if (!SetFileSecurityW(p.c_str(), DACL_SECURITY_INFORMATION, security.descriptor))
        return Failure(GetLastError(), Utf8(p));
    return {};
}

std::unique_ptr<RegLock> WinRegistry::LockRoot(RegRoot root) {
    // The user's own registry is shared by the user's processes of this session.
    HANDLE mutex = CreateMutexW(nullptr, FALSE,
                                root == RegRoot::LocalMachine ? L"Local\\Zequora-Registry-HKLM"
                                                              : L"Local\\Zequora-Registry-HKCU");
    if (!mutex) return nullptr;
    // An abandoned mutex (its holder died) is ours now; what it wrote is complete per value.
    const DWORD waited = WaitForSingleObject(mutex, 10000);
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
        CloseHandle(mutex);
        return nullptr;
    }
    return std::make_unique<WinMutexLock>(mutex);
}

}  // namespace zq::win32
