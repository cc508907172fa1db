// A file's owner and access list read and given back by the Win32 adapter, against Wine's
// security descriptors. Wine 8 keeps no descriptor of a file's own: it makes one from the
// Linux owner and permission bits and keeps of a list set on it what those bits can hold
// (the owner's and everybody's rights; no protection flag, no other owner).
#include <gtest/gtest.h>
#include <windows.h>
#include <sddl.h>

#include "WinTestSupport.h"
#include "platform/win32/WinFiles.h"

namespace {

using zq::win32::Wide;
using zqwin::TempDir;

// Sets an access list of the caller's choosing, as an administrator would on a shared file.
DWORD SetAccessList(const std::string& path, const wchar_t* sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr))
        return GetLastError();
    DWORD err = SetFileSecurityW(Wide(path).c_str(), DACL_SECURITY_INFORMATION, descriptor) ? ERROR_SUCCESS
                                                                                             : GetLastError();
    LocalFree(descriptor);
    return err;
}

TEST(WinPermissions, AReplacedFileGetsItsOwnerAndAccessListBack) {
    TempDir dir;
    zq::win32::WinFiles files;
    const std::string file = dir / "zqdata.mdb";
    zqwin::WriteBytes(file, "data");
    zq::FsStatus status;
    const std::string initial = files.ReadPermissions(file, status);
    ASSERT_TRUE(status.ok()) << status.text;
    EXPECT_EQ(initial.rfind("O:", 0), 0u) << initial;
    EXPECT_NE(initial.find("D:"), std::string::npos) << initial;

    // The owner alone, nobody else: a list that Wine keeps as well as Windows.
    const std::string owner = initial.substr(2, initial.find("D:") - 2);
    ASSERT_EQ(SetAccessList(file, Wide("D:P(A;;FA;;;SY)(A;;FA;;;" + owner + ")").c_str()),
              static_cast<DWORD>(ERROR_SUCCESS));
    const std::string set = files.ReadPermissions(file, status);
    ASSERT_TRUE(status.ok()) << status.text;
    ASSERT_NE(set, initial);
    EXPECT_EQ(set.find("WD"), std::string::npos) << set;

    // Replaced by a new file, as the database program's compaction does.
    const std::string fresh = dir / "zqdata.mdb.neu";
    zqwin::WriteBytes(fresh, "compacted");
    ASSERT_TRUE(MoveFileExW(Wide(fresh).c_str(), Wide(file).c_str(), MOVEFILE_REPLACE_EXISTING));
    const std::string replaced = files.ReadPermissions(file, status);
    EXPECT_NE(replaced, set);

    EXPECT_TRUE(files.WritePermissions(file, set).ok());
    EXPECT_EQ(files.ReadPermissions(file, status), set);
    // Nothing to change is no change.
    EXPECT_TRUE(files.WritePermissions(file, set).ok());
    EXPECT_EQ(files.ReadPermissions(file, status), set);

    // Past the classic length limit too.
    std::string deep = dir.Path();
    for (int k = 0; k < 6; ++k) {
        deep += "\\" + std::string(50, static_cast<char>('a' + k));
        ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + Wide(deep)).c_str(), nullptr));
    }
    const std::string longFile = deep + "\\zqdata.mdb";
    ASSERT_GT(longFile.size(), 260u);
    HANDLE h = CreateFileW((L"\\\\?\\" + Wide(longFile)).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    EXPECT_NE(files.ReadPermissions(longFile, status), set);
    EXPECT_TRUE(files.WritePermissions(longFile, set).ok());
    EXPECT_EQ(files.ReadPermissions(longFile, status), set) << status.text;
}

TEST(WinPermissions, MissingFilesAndForeignTextsFailWithTheirReason) {
    TempDir dir;
    zq::win32::WinFiles files;
    zq::FsStatus status;
    EXPECT_EQ(files.ReadPermissions(dir / "fehlt.mdb", status), "");
    EXPECT_EQ(status.error, zq::kErrFileNotFound) << status.text;
    const std::string file = dir / "zqdata.mdb";
    zqwin::WriteBytes(file, "data");
    const std::string before = files.ReadPermissions(file, status);
    zq::FsStatus written = files.WritePermissions(file, "O:keine SDDL");
    EXPECT_FALSE(written.ok());
    EXPECT_NE(written.text.find("Not a text of ReadPermissions"), std::string::npos) << written.text;
    EXPECT_EQ(files.ReadPermissions(file, status), before);
    EXPECT_FALSE(files.WritePermissions(dir / "fehlt.mdb", before).ok());
}

}  // namespace
