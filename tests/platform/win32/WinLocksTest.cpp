// Run locks, private folders, volumes, leftover temporaries, the registry's writers' lock and
// failing text files of the Win32 adapters, against Wine's files, security and processes.
#include <gtest/gtest.h>

#include "common/StagedFile.h"
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "WinTestSupport.h"
#include "platform/win32/WinFiles.h"
#include "platform/win32/WinRegistry.h"

namespace {

using zqwin::HeldFile;
using zqwin::TempDir;
using zq::win32::Wide;

// This test program once more, running one of the helpers below with the environment given.
class Helper {
public:
    Helper(const char* test, const std::string& path) {
        SetEnvironmentVariableW(L"ZQ_LOCK_HELPER", Wide(path).c_str());
        wchar_t self[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        std::wstring command = L"\"" + std::wstring(self) +
                               L"\" --gtest_also_run_disabled_tests --gtest_filter=WinLockHelper." +
                               Wide(test);
        STARTUPINFOW si{};
        si.cb = sizeof si;
        started_ = CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                  nullptr, &si, &pi_) != FALSE;
        SetEnvironmentVariableW(L"ZQ_LOCK_HELPER", nullptr);
        ready_ = path + ".ready";
    }
    ~Helper() {
        if (!started_) return;
        TerminateProcess(pi_.hProcess, 1);
        WaitForSingleObject(pi_.hProcess, 10000);
        CloseHandle(pi_.hProcess);
        CloseHandle(pi_.hThread);
    }
    // True once the helper holds its lock.
    bool WaitReady() {
        for (int i = 0; started_ && i < 600; ++i) {
            if (zqwin::PathExists(ready_)) return true;
            if (WaitForSingleObject(pi_.hProcess, 50) == WAIT_OBJECT_0) return false;
        }
        return false;
    }
    void Kill() {
        TerminateProcess(pi_.hProcess, 1);
        WaitForSingleObject(pi_.hProcess, 10000);
    }
    bool Ended(DWORD ms) { return WaitForSingleObject(pi_.hProcess, ms) == WAIT_OBJECT_0; }

private:
    PROCESS_INFORMATION pi_{};
    bool started_ = false;
    std::string ready_;
};

std::string HelperPath() {
    const char* path = std::getenv("ZQ_LOCK_HELPER");
    return path ? path : "";
}

TEST(WinLockHelper, DISABLED_HoldFileLock) {
    zq::win32::WinFiles files;
    zq::FsStatus status;
    auto lock = files.TryLock(HelperPath(), status);
    ASSERT_TRUE(lock) << status.text;
    zqwin::WriteBytes(HelperPath() + ".ready", "1");
    Sleep(60000);
}

TEST(WinLockHelper, DISABLED_HoldRegistryLockTwoSeconds) {
    zq::win32::WinRegistry registry;
    auto lock = registry.LockRoot(zq::RegRoot::CurrentUser);
    ASSERT_TRUE(lock);
    zqwin::WriteBytes(HelperPath() + ".ready", "1");
    Sleep(2000);
}

TEST(WinLocks, RunLockKeepsOtherProcessesOutUntilItsHolderEnds) {
    TempDir dir;
    const std::string path = dir / "zqr.lock";
    zq::win32::WinFiles files;
    Helper holder("DISABLED_HoldFileLock", path);
    ASSERT_TRUE(holder.WaitReady());

    zq::FsStatus status;
    EXPECT_FALSE(files.TryLock(path, status));
    EXPECT_EQ(status.error, zq::kErrPathFileAccess) << status.text;

    holder.Kill();  // dies holding it: the system closes the handle and the file goes
    EXPECT_FALSE(zqwin::PathExists(path));
    {
        auto lock = files.TryLock(path, status);
        ASSERT_TRUE(lock) << status.text;
        EXPECT_TRUE(status.ok());
        EXPECT_TRUE(zqwin::PathExists(path));
        zq::FsStatus second;
        EXPECT_FALSE(files.TryLock(path, second));  // also within one process
        EXPECT_EQ(second.error, zq::kErrPathFileAccess);
    }
    EXPECT_FALSE(zqwin::PathExists(path));

    EXPECT_FALSE(files.TryLock(dir / "missing\\zqr.lock", status));
    EXPECT_EQ(status.error, zq::kErrPathNotFound) << status.text;
}

TEST(WinLocks, RegistryLockWaitsForTheOtherProcessOrItsDeath) {
    TempDir dir;
    zq::win32::WinRegistry registry;
    Helper holder("DISABLED_HoldRegistryLockTwoSeconds", dir / "registry");
    ASSERT_TRUE(holder.WaitReady());
    const auto start = std::chrono::steady_clock::now();
    {
        auto lock = registry.LockRoot(zq::RegRoot::CurrentUser);
        EXPECT_TRUE(lock);
        const auto waited = std::chrono::steady_clock::now() - start;
        EXPECT_GE(waited, std::chrono::milliseconds(1000));
        EXPECT_LT(waited, std::chrono::milliseconds(9000));
        EXPECT_TRUE(holder.Ended(5000));
        // The other root is a lock of its own.
        EXPECT_TRUE(registry.LockRoot(zq::RegRoot::LocalMachine));
    }

    // A holder killed while it holds the lock gives it up at once (one test: the lock is
    // shared by every test running at the same time).
    Helper killed("DISABLED_HoldRegistryLockTwoSeconds", dir / "killed");
    ASSERT_TRUE(killed.WaitReady());
    killed.Kill();
    const auto taken = std::chrono::steady_clock::now();
    EXPECT_TRUE(registry.LockRoot(zq::RegRoot::CurrentUser));
    EXPECT_LT(std::chrono::steady_clock::now() - taken, std::chrono::milliseconds(1000));
}

// Wine keeps a folder's access list only as far as the Linux permission bits can hold it:
// no protection flag, no other owner.
bool UnderWine() {
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// The folder's owner and access list as the system reports them.
struct Security {
    bool read = false, ownedByUser = false, isProtected = false, othersAllowed = false;
};
Security SecurityOf(const std::string& path) {
    Security s;
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (GetNamedSecurityInfoW(Wide(path).c_str(), SE_FILE_OBJECT,
                              OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                              nullptr, &dacl, nullptr, &sd) != ERROR_SUCCESS)
        return s;
    s.read = true;
    HANDLE token = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
    unsigned char buffer[512];
    DWORD size = 0;
    PSID user = nullptr;
    if (GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size))
        user = reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid;
    CloseHandle(token);
    s.ownedByUser = owner && user && EqualSid(owner, user);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    GetSecurityDescriptorControl(sd, &control, &revision);
    s.isProtected = (control & SE_DACL_PROTECTED) != 0;
    // Anybody but the user, the system and the administrators allowed in?
    PSID system = nullptr, admins = nullptr;
    ConvertStringSidToSidW(L"S-1-5-18", &system);
    ConvertStringSidToSidW(L"S-1-5-32-544", &admins);
    s.othersAllowed = dacl == nullptr;
    for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(dacl, i, &ace)) continue;
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        if (allowed->Header.AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
        PSID sid = &allowed->SidStart;
        if (!(user && EqualSid(sid, user)) && !EqualSid(sid, system) && !EqualSid(sid, admins))
            s.othersAllowed = true;
    }
    LocalFree(system);
    LocalFree(admins);
    LocalFree(sd);
    return s;
}

TEST(WinLocks, PrivateFolderIsMadeWithAllItsLevelsForTheUserAlone) {
    TempDir dir;
    zq::win32::WinFiles files;
    const std::string folder = dir / "zequora2\\update\\";
    ASSERT_TRUE(files.MakePrivateFolder(folder).ok());
    EXPECT_TRUE(files.IsDirectory(folder));
    EXPECT_TRUE(files.MakePrivateFolder(folder).ok());  // again: it is ours already
    for (const std::string& level : {dir / "zequora2\\update", dir / "zequora2"}) {
        const Security s = SecurityOf(level);
        ASSERT_TRUE(s.read);
        EXPECT_TRUE(s.ownedByUser) << level;
        EXPECT_FALSE(s.othersAllowed) << level;
        if (!UnderWine()) {
            EXPECT_TRUE(s.isProtected) << level;
        }
    }
    // A folder of the user's that others may use is closed to them.
    const std::string open = dir / "open";
    ASSERT_TRUE(CreateDirectoryW(Wide(open).c_str(), nullptr));
    ASSERT_TRUE(SecurityOf(open).othersAllowed);
    EXPECT_TRUE(files.MakePrivateFolder(open).ok());
    EXPECT_FALSE(SecurityOf(open).othersAllowed);

    zqwin::WriteBytes(dir / "file", "x");
    EXPECT_FALSE(files.MakePrivateFolder(dir / "file\\update").ok());
    EXPECT_FALSE(zqwin::PathExists(dir / "file\\update"));
}

TEST(WinLocks, PrivateFolderOfAnotherOwnerOrBehindALinkIsRefused) {
    if (UnderWine()) GTEST_SKIP() << "Wine keeps neither other owners nor links as reparse points";
    TempDir dir;
    zq::win32::WinFiles files;
    const std::string other = dir / "other";
    ASSERT_TRUE(CreateDirectoryW(Wide(other).c_str(), nullptr));
    PSID system = nullptr;
    ASSERT_TRUE(ConvertStringSidToSidW(L"S-1-5-18", &system));
    const DWORD given = SetNamedSecurityInfoW(Wide(other).data(), SE_FILE_OBJECT,
                                              OWNER_SECURITY_INFORMATION, system, nullptr,
                                              nullptr, nullptr);
    LocalFree(system);
    // Giving a folder away takes the privilege to restore files (an elevated administrator).
    if (given == ERROR_SUCCESS) {
        const zq::FsStatus st = files.MakePrivateFolder(other);
        EXPECT_EQ(st.error, zq::kErrPermission) << st.text;
    }

    const std::string target = dir / "target", link = dir / "link";
    ASSERT_TRUE(CreateDirectoryW(Wide(target).c_str(), nullptr));
    if (!CreateSymbolicLinkW(Wide(link).c_str(), Wide(target).c_str(),
                             SYMBOLIC_LINK_FLAG_DIRECTORY | 2 /* unprivileged */))
        GTEST_SKIP() << "No symbolic links for this user (" << GetLastError() << ")";
    const zq::FsStatus st = files.MakePrivateFolder(link + "\\update");
    EXPECT_EQ(st.error, zq::kErrPermission) << st.text;
    EXPECT_FALSE(zqwin::PathExists(target + "\\update"));
}

TEST(WinLocks, VolumeOfAMissingPathIsThatOfItsNearestFolder) {
    TempDir dir;
    zq::win32::WinFiles files;
    const std::string volume = files.VolumeOf(dir.Path());
    ASSERT_FALSE(volume.empty());
    EXPECT_EQ(files.VolumeOf(dir / "missing\\deeper\\file.mdb"), volume);
    EXPECT_EQ(files.VolumeOf("C:\\"), volume);
    // Wine's Z: drive is the Linux root: another volume.
    if (GetDriveTypeW(L"Z:\\") == DRIVE_FIXED) {
        EXPECT_NE(files.VolumeOf("Z:\\tmp"), volume);
    }
}

TEST(WinLocks, LeftoverTemporariesGoButNotOnesAWriterHolds) {
    TempDir dir;
    zq::win32::WinFiles files;
    const std::string stale = dir / "data.mdb.zqtmp-4242-1", readOnly = dir / "data.mdb.zqtmp-4242-2",
                      live = dir / "data.mdb.zqtmp-77-3", other = dir / "data.mdb.zqtmp-x",
                      data = dir / "data.mdb";
    for (const std::string& p : {stale, readOnly, live, other, data}) zqwin::WriteBytes(p, "x");
    ASSERT_TRUE(files.SetAttributes(readOnly, zq::kAttrReadOnly).ok());
    // A writer holds its temporary as WriteAtomic and Copy do: sharing nothing.
    HeldFile writer(live, 0);
    ASSERT_TRUE(writer.ok());

    EXPECT_EQ(zq::RemoveLeftoverTemporaries(files, zq::PathStyle::Windows, dir.Path()), 2);
    EXPECT_FALSE(zqwin::PathExists(stale));
    EXPECT_FALSE(zqwin::PathExists(readOnly));
    EXPECT_TRUE(zqwin::PathExists(live));
    EXPECT_TRUE(zqwin::PathExists(other));
    EXPECT_TRUE(zqwin::PathExists(data));
    EXPECT_EQ(zq::RemoveLeftoverTemporaries(files, zq::PathStyle::Windows, dir.Path() + "\\"), 0);

    // The names are those the adapter's writers use: a finished write leaves none to find.
    ASSERT_TRUE(files.WriteAtomic(dir / "note.ini", "x").ok());
    ASSERT_TRUE(files.Copy(dir / "note.ini", dir / "copy.ini", false).ok());
    EXPECT_EQ(files.List(dir.Path()).size(), 5u);
}

TEST(WinLocks, TextFileThatCannotBeWrittenReportsIt) {
    zq::win32::WinFiles files;
    // Wine's Z: drive is the Linux root, where /dev/full takes no byte.
    auto full = files.OpenText("Z:\\dev\\full", true);
    if (!full) GTEST_SKIP() << "No /dev/full here";
    EXPECT_FALSE(full->Failed());
    EXPECT_FALSE(full->Write("Zeile\r\n"));
    EXPECT_TRUE(full->Failed());
    EXPECT_FALSE(full->Write("x"));
    EXPECT_FALSE(full->Close());

    TempDir dir;
    auto fine = files.OpenText(dir / "trace.txt", false);
    ASSERT_TRUE(fine);
    EXPECT_TRUE(fine->Write("Zeile\r\n"));
    EXPECT_TRUE(fine->Close());
    EXPECT_FALSE(fine->Failed());
    EXPECT_EQ(zqwin::ReadBytes(dir / "trace.txt"), "Zeile\r\n");
}

}  // namespace
