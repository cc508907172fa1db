// A file's owner and access list, read and given back as SDDL through the extended path forms.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include "platform/win32/WinFiles.h"
#include "platform/win32/WinText.h"

namespace zq::win32 {

namespace {

constexpr SECURITY_INFORMATION kOwnerAndDacl = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;

// "\\?\C:\..." or "\\?\UNC\server\share\...": no length limit on the way to the file.
bool ExtendedPath(const std::string& path, std::wstring& out) {
    std::wstring p;
    if (!WidePath(path, p) || p.empty()) return false;
    if (p.rfind(L"\\\\?\\", 0) == 0) {
        out = p;
        return true;
    }
    DWORD n = GetFullPathNameW(p.c_str(), 0, nullptr, nullptr);
    if (n == 0) return false;
    std::wstring full(n, L'\0');
    n = GetFullPathNameW(p.c_str(), n, full.data(), nullptr);
    if (n == 0 || n >= full.size()) return false;
    full.resize(n);
    out = full.rfind(L"\\\\", 0) == 0 ? L"\\\\?\\UNC\\" + full.substr(2) : L"\\\\?\\" + full;
    return true;
}

struct LocalMemory {
    void* p = nullptr;
    ~LocalMemory() { LocalFree(p); }
};

// One part (owner or access list) of a descriptor as SDDL, empty when it cannot be written.
std::wstring Sddl(PSECURITY_DESCRIPTOR descriptor, SECURITY_INFORMATION part) {
    LocalMemory text;
    LPWSTR sddl = nullptr;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, part, &sddl, nullptr))
        return {};
    text.p = sddl;
    return sddl;
}

// Setting another owner than oneself takes the restore privilege, which administrators hold
// but do not have enabled.
void EnableRestorePrivilege() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return;
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (LookupPrivilegeValueW(nullptr, SE_RESTORE_NAME, &privileges.Privileges[0].Luid))
        AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    CloseHandle(token);
}

}  // namespace

std::string WinFiles::ReadPermissions(const std::string& path, FsStatus& status) {
    status = {};
    std::wstring p;
    if (!ExtendedPath(path, p)) {
        status = {kErrBadFileName, "Bad file name: " + path};
        return {};
    }
    LocalMemory descriptor;
    DWORD err = GetNamedSecurityInfoW(p.c_str(), SE_FILE_OBJECT, kOwnerAndDacl, nullptr, nullptr, nullptr,
                                      nullptr, &descriptor.p);
    if (err != ERROR_SUCCESS) {
        status = Failure(err, path);
        return {};
    }
    const std::wstring sddl = Sddl(descriptor.p, kOwnerAndDacl);
    if (sddl.empty()) status = Failure(GetLastError(), path);
    return Utf8(sddl);
}

FsStatus WinFiles::WritePermissions(const std::string& path, const std::string& permissions) {
    std::wstring p;
    if (!ExtendedPath(path, p)) return {kErrBadFileName, "Bad file name: " + path};
    LocalMemory wanted;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(Wide(permissions).c_str(), SDDL_REVISION_1,
                                                              &wanted.p, nullptr))
        return {kErrDeviceIo, "Not a text of ReadPermissions: " + permissions};
    LocalMemory present;
    DWORD err = GetNamedSecurityInfoW(p.c_str(), SE_FILE_OBJECT, kOwnerAndDacl, nullptr, nullptr, nullptr,
                                      nullptr, &present.p);
    if (err != ERROR_SUCCESS) return Failure(err, path);

    // Only what differs: a file whose owner is right needs no privilege for its list. The
    // descriptor goes back as it was read, inherited entries and protection included, rather
    // than through SetNamedSecurityInfo, which would merge in what the folder passes on now.
    SECURITY_INFORMATION parts = 0;
    if (Sddl(present.p, OWNER_SECURITY_INFORMATION) != Sddl(wanted.p, OWNER_SECURITY_INFORMATION))
        parts |= OWNER_SECURITY_INFORMATION;
    if (Sddl(present.p, DACL_SECURITY_INFORMATION) != Sddl(wanted.p, DACL_SECURITY_INFORMATION))
        parts |= DACL_SECURITY_INFORMATION;
    if (parts == 0) return {};
    if (parts & OWNER_SECURITY_INFORMATION) EnableRestorePrivilege();
    if (!SetFileSecurityW(p.c_str(), parts, wanted.p)) return Failure(GetLastError(), path);
    return {};
}

}  // namespace zq::win32
