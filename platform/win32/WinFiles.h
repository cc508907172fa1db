#pragma once
// Files through the wide-character Win32 functions, with Windows' own sharing rules. Copies
// and moves happen whole or not at all; Win32 errors become the numbers the programs compare.
#include "platform/Files.h"

namespace zq::win32 {

class WinFiles : public IFiles {
public:
    bool Exists(const std::string& path, std::uint32_t attrMask, int* error = nullptr) override;
    bool IsDirectory(const std::string& path, int* error = nullptr) override;
    FsStatus MakeDirectory(const std::string& path) override;
    FsStatus Copy(const std::string& source, const std::string& target, bool overwrite) override;
    FsStatus Move(const std::string& source, const std::string& target) override;
    FsStatus Remove(const std::string& path) override;
    FsStatus SetAttributes(const std::string& path, std::uint32_t attributes) override;
    std::optional<std::uint32_t> GetAttributes(const std::string& path) override;
    std::int64_t Size(const std::string& path) override;
    FileTimes Times(const std::string& path) override;
    std::vector<DirEntry> List(const std::string& folder) override;
    // A drive designation ("H:") is looked up in the list of logical drives; any other path
    // is remote when it is a UNC path or its drive is a network drive.
    bool IsRemote(const std::string& path) override;
    // Text files are written in the system's ANSI code page.
    std::unique_ptr<ITextFile> OpenText(const std::string& path, bool append) override;
    std::unique_ptr<IReadFile> OpenRead(const std::string& path) override;
    std::optional<std::string> ReadAll(const std::string& path, std::size_t maxBytes) override;
    FsStatus WriteAtomic(const std::string& path, const std::string& content) override;
    std::int64_t FreeSpace(const std::string& folder) override;
    std::optional<FileStamp> Stamp(const std::string& path) override;
    // In WinLocks.cpp: the volume's GUID path (or its root and serial number); a lock file
    // opened sharing nothing and deleted on close; folders with a protected ACL of their
    // owner's; temporaries (".zqtmp-") nobody holds open.
    std::string VolumeOf(const std::string& path) override;
    std::unique_ptr<IFileLock> TryLock(const std::string& path, FsStatus& status) override;
    FsStatus MakePrivateFolder(const std::string& folder) override;
    std::unique_ptr<IHeldFile> CreateHeld(const std::string& path, FsStatus& status) override;
    bool RemoveUnheld(const std::string& path) override;
    // In WinPermissions.cpp: owner and access list as SDDL ("O:...D:..."), read and set through
    // the extended path forms.
    std::string ReadPermissions(const std::string& path, FsStatus& status) override;
    FsStatus WritePermissions(const std::string& path, const std::string& permissions) override;
};

// The network test of a drive designation over a list of logical drive roots as the system
// gives it ("C:\", NUL, "D:\", NUL, ..., NUL) and a drive-type lookup: entries of type 1 (no
// root directory) are skipped; the first two characters of an entry, upper-cased, must
// equal the designation exactly; type 4 is a remote drive.
template <typename DriveType>
bool IsNetworkDriveIn(const std::wstring& drives, const std::wstring& designation,
                      DriveType driveType) {
    std::size_t pos = 0;
    while (pos < drives.size() && drives[pos] != L'\0') {
        std::size_t end = drives.find(L'\0', pos);
        if (end == std::wstring::npos) end = drives.size();
        const std::wstring entry = drives.substr(pos, end - pos);
        pos = end + 1;
        const unsigned type = driveType(entry);
        if (type == 1) continue;
        std::wstring head = entry.substr(0, 2);
        for (wchar_t& c : head)
            if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
        if (head == designation && type == 4) return true;
    }
    return false;
}

}  // namespace zq::win32
