// The Linux file adapter: attribute masks, error numbers, the emulated Windows sharing rules
// (another process holding an flock), whole-or-nothing copies and moves.
#include <gtest/gtest.h>

#include "common/Paths.h"
#include "common/StagedFile.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <ctime>
#include <filesystem>

#include "platform/posix/PosixFiles.h"
#include "support/TestSupport.h"

namespace {

using zqtest::ReadFile;
using zqtest::TempDir;
using zqtest::WriteFile;
namespace fs = std::filesystem;

// A second process that holds an flock on a file until it is killed.
class LockHolder {
public:
    LockHolder(const std::string& path, int how) {
        int ready[2];
        if (pipe(ready) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            close(ready[0]);
            alarm(30);  // never outlives a broken test
            int fd = open(path.c_str(), O_RDWR);
            char ok = (fd >= 0 && flock(fd, how) == 0) ? '1' : '0';
            if (write(ready[1], &ok, 1) != 1) _exit(2);
            for (;;) pause();
        }
        close(ready[1]);
        char ok = 0;
        locked_ = read(ready[0], &ok, 1) == 1 && ok == '1';
        close(ready[0]);
    }
    ~LockHolder() { Kill(); }
    bool Locked() const { return locked_; }
    void Kill() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }

private:
    pid_t pid_ = -1;
    bool locked_ = false;
};

// Runs fn in a child process (as another user or with limits) and gives its exit code.
template <typename Fn>
int InChild(Fn fn) {
    pid_t pid = fork();
    if (pid == 0) _exit(fn());
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(PosixFiles, FoldersMatchOnlyWithTheirBitAndReadOnlyFilesAlways) {
    TempDir dir;
    zq::posix::PosixFiles files;
    WriteFile(dir / "f.mdb", "x");
    chmod((dir / "f.mdb").c_str(), 0444);
    int err = -1;
    EXPECT_TRUE(files.Exists(dir / "f.mdb", 0, &err));
    EXPECT_EQ(err, 0);
    EXPECT_FALSE(files.Exists(dir.Path(), 0));
    EXPECT_FALSE(files.Exists(dir.Path(), zq::kAttrHidden | zq::kAttrSystem));
    EXPECT_TRUE(files.Exists(dir.Path(), zq::kAttrDirectory));
    EXPECT_TRUE(files.IsDirectory(dir.Path() + "/"));
    EXPECT_FALSE(files.IsDirectory(dir / "f.mdb"));
    EXPECT_EQ(files.GetAttributes(dir / "f.mdb"), zq::kAttrReadOnly);
    EXPECT_EQ(files.GetAttributes(dir.Path()), zq::kAttrDirectory);

    ASSERT_TRUE(files.SetAttributes(dir / "f.mdb", 0).ok());
    EXPECT_EQ(files.GetAttributes(dir / "f.mdb"), zq::kAttrNormal);
    ASSERT_TRUE(files.SetAttributes(dir / "f.mdb", zq::kAttrReadOnly).ok());
    struct stat st {};
    stat((dir / "f.mdb").c_str(), &st);
    EXPECT_EQ(st.st_mode & 0222, 0u);
    // As on Windows, a read-only file is not deleted until its attribute is cleared.
    EXPECT_EQ(files.Remove(dir / "f.mdb").error, zq::kErrPermission);
    EXPECT_TRUE(zqtest::FileExists(dir / "f.mdb"));
}

TEST(PosixFiles, PathsThatCannotBeExaminedGiveError52) {
    TempDir dir;
    zq::posix::PosixFiles files;
    int err = 0;
    std::string longPath = dir.Path() + "/" + std::string(5000, 'a');
    EXPECT_FALSE(files.Exists(longPath, zq::kAttrDirectory, &err));
    EXPECT_EQ(err, zq::kErrBadFileName);

    err = 0;
    EXPECT_FALSE(files.Exists(std::string("/tmp/a\0b", 8), 0, &err));
    EXPECT_EQ(err, zq::kErrBadFileName);
    EXPECT_EQ(files.Remove(std::string("/tmp/a\0b", 8)).error, zq::kErrBadFileName);

    symlink((dir / "loop2").c_str(), (dir / "loop1").c_str());
    symlink((dir / "loop1").c_str(), (dir / "loop2").c_str());
    err = 0;
    EXPECT_FALSE(files.Exists(dir / "loop1", 0, &err));
    EXPECT_EQ(err, zq::kErrBadFileName);
    err = 0;
    EXPECT_FALSE(files.IsDirectory(dir / "loop1/sub", &err));
    EXPECT_EQ(err, zq::kErrBadFileName);

    // Absent is not an error; neither is a file used as a folder.
    WriteFile(dir / "file", "x");
    err = -1;
    EXPECT_FALSE(files.Exists(dir / "missing", zq::kAttrDirectory, &err));
    EXPECT_EQ(err, 0);
    err = -1;
    EXPECT_FALSE(files.Exists(dir / "file/child", 0, &err));
    EXPECT_EQ(err, 0);

    EXPECT_EQ(zq::posix::ClassifyErrno(ESTALE), zq::kErrBadFileName);
    EXPECT_EQ(zq::posix::ClassifyErrno(ENOTCONN), zq::kErrBadFileName);
    EXPECT_EQ(zq::posix::ClassifyErrno(ENOTDIR), zq::kErrFileNotFound);
    EXPECT_EQ(zq::posix::ClassifyErrno(ENOSPC), zq::kErrDeviceIo);
}

TEST(PosixFiles, AFileAnotherProcessHoldsCannotBeRenamedDeletedOrTimed) {
    TempDir dir;
    zq::posix::PosixFiles files;
    WriteFile(dir / "zqdata.mdb", "data");
    ASSERT_FALSE(files.Times(dir / "zqdata.mdb").lastWrite.IsEmpty());
    {
        LockHolder holder(dir / "zqdata.mdb", LOCK_EX);
        ASSERT_TRUE(holder.Locked());
        EXPECT_EQ(files.Move(dir / "zqdata.mdb", dir / "moved.mdb").error, zq::kErrPathFileAccess);
        EXPECT_EQ(files.Remove(dir / "zqdata.mdb").error, zq::kErrPermission);
        EXPECT_TRUE(files.Times(dir / "zqdata.mdb").lastWrite.IsEmpty());
        EXPECT_EQ(files.Copy(dir / "zqdata.mdb", dir / "copy.mdb", false).error, zq::kErrPermission);
        EXPECT_TRUE(zqtest::FileExists(dir / "zqdata.mdb"));
        EXPECT_FALSE(zqtest::FileExists(dir / "moved.mdb"));
        holder.Kill();
        // The lock goes with its holder.
        EXPECT_FALSE(files.Times(dir / "zqdata.mdb").created.IsEmpty());
        EXPECT_TRUE(files.Move(dir / "zqdata.mdb", dir / "moved.mdb").ok());
    }
    {
        // A shared holder (a database engine's lock file) blocks deletion too, not copying.
        LockHolder holder(dir / "moved.mdb", LOCK_SH);
        ASSERT_TRUE(holder.Locked());
        EXPECT_EQ(files.Remove(dir / "moved.mdb").error, zq::kErrPermission);
        EXPECT_TRUE(files.Times(dir / "moved.mdb").lastWrite.IsEmpty());
        EXPECT_TRUE(files.Copy(dir / "moved.mdb", dir / "copy.mdb", false).ok());
    }
    EXPECT_TRUE(files.Remove(dir / "moved.mdb").ok());
    EXPECT_FALSE(zqtest::FileExists(dir / "moved.mdb"));
}

TEST(PosixFiles, TimesAreLocalCalendarValues) {
    TempDir dir;
    zq::posix::PosixFiles files;
    WriteFile(dir / "f", "x");
    // 2021-06-17 13:04:09 UTC is 15:04:09 summer time in Berlin.
    struct timespec stamps[2] = {{1623935049, 0}, {1623935049, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, (dir / "f").c_str(), stamps, 0), 0);
    const char* oldTz = getenv("TZ");
    std::string saved = oldTz ? oldTz : "";
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    zq::FileTimes t = files.Times(dir / "f");
    if (oldTz) setenv("TZ", saved.c_str(), 1);
    else unsetenv("TZ");
    tzset();
    EXPECT_EQ(t.lastWrite, (zq::DateTime{2021, 6, 17, 15, 4, 9}));
    EXPECT_EQ(t.lastAccess, (zq::DateTime{2021, 6, 17, 15, 4, 9}));
    EXPECT_GE(t.created.year, 2024);  // made just now, whatever the stamps say
    EXPECT_TRUE(files.Times(dir / "missing").created.IsEmpty());
}

TEST(PosixFiles, CopyIsWholeOrNothing) {
    TempDir dir;
    zq::posix::PosixFiles files;
    std::string big(1 << 20, 'b');
    for (std::size_t k = 0; k < big.size(); k += 4096) big[k] = static_cast<char>('a' + k % 26);
    WriteFile(dir / "src.mdb", big);
    WriteFile(dir / "old.mdb", "old content");

    ASSERT_TRUE(files.Copy(dir / "src.mdb", dir / "copy.mdb", false).ok());
    EXPECT_EQ(ReadFile(dir / "copy.mdb"), big);
    struct stat a {}, b {};
    stat((dir / "src.mdb").c_str(), &a);
    stat((dir / "copy.mdb").c_str(), &b);
    EXPECT_EQ(a.st_mtime, b.st_mtime);  // the last-write time travels with the copy

    EXPECT_EQ(files.Copy(dir / "src.mdb", dir / "old.mdb", false).error, zq::kErrFileExists);
    EXPECT_EQ(ReadFile(dir / "old.mdb"), "old content");
    EXPECT_EQ(files.Copy(dir / "none.mdb", dir / "x.mdb", true).error, zq::kErrFileNotFound);

    // Writing stops half way (file size limit): the old target stays, no temporary remains.
    int code = InChild([&] {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit lim = {65536, 65536};
        setrlimit(RLIMIT_FSIZE, &lim);
        return files.Copy(dir / "src.mdb", dir / "old.mdb", true).error;
    });
    EXPECT_NE(code, 0);
    EXPECT_EQ(ReadFile(dir / "old.mdb"), "old content");
    EXPECT_EQ(Names(dir.Path()), (std::vector<std::string>{"copy.mdb", "old.mdb", "src.mdb"}));

    ASSERT_TRUE(files.Copy(dir / "src.mdb", dir / "old.mdb", true).ok());
    EXPECT_EQ(ReadFile(dir / "old.mdb"), big);
}

TEST(PosixFiles, CopyIntoAFolderTheUserMayNotWriteFails) {
    TempDir dir;
    zq::posix::PosixFiles files;
    WriteFile(dir / "src", "abc");
    fs::create_directory(dir / "ro");
    chmod((dir / "ro").c_str(), 0555);
    chmod(dir.Path().c_str(), 0755);
    int code = InChild([&] {
        if (geteuid() == 0 && setuid(65534) != 0) return 99;
        return files.Copy(dir / "src", dir / "ro/t", false).error;
    });
    if (code == 0 && geteuid() != 0) GTEST_SKIP() << "cannot drop privileges here";
    EXPECT_EQ(code, zq::kErrPermission);
    EXPECT_TRUE(Names(dir / "ro").empty());
}

TEST(PosixFiles, MoveAcrossFileSystemsCopiesThenRemovesTheSource) {
    struct stat shm {}, tmp {};
    TempDir dir;
    if (stat("/dev/shm", &shm) != 0 || stat(dir.Path().c_str(), &tmp) != 0 || shm.st_dev == tmp.st_dev)
        GTEST_SKIP() << "/dev/shm is not another file system here";
    std::string source = "/dev/shm/zq-move-" + std::to_string(getpid());
    WriteFile(source, std::string(300000, 'm'));
    zq::posix::PosixFiles files;
    ASSERT_TRUE(files.Move(source, dir / "moved").ok());
    EXPECT_FALSE(zqtest::FileExists(source));
    EXPECT_EQ(ReadFile(dir / "moved"), std::string(300000, 'm'));

    WriteFile(source, "second");
    WriteFile(dir / "taken", "keep");
    EXPECT_EQ(files.Move(source, dir / "taken").error, zq::kErrFileExists);
    EXPECT_EQ(ReadFile(dir / "taken"), "keep");
    EXPECT_EQ(ReadFile(source), "second");
    unlink(source.c_str());
}

TEST(PosixFiles, MoveWithinAFolderAndOntoAnExistingName) {
    TempDir dir;
    zq::posix::PosixFiles files;
    WriteFile(dir / "a", "A");
    WriteFile(dir / "b", "B");
    EXPECT_EQ(files.Move(dir / "a", dir / "b").error, zq::kErrFileExists);
    EXPECT_EQ(ReadFile(dir / "b"), "B");
    EXPECT_TRUE(files.Move(dir / "a", dir / "c").ok());
    EXPECT_EQ(ReadFile(dir / "c"), "A");
    EXPECT_EQ(files.Move(dir / "a", dir / "d").error, zq::kErrFileNotFound);
}

TEST(PosixFiles, TextReadAndAtomicWrites) {
    TempDir dir;
    zq::posix::PosixFiles files;
    auto out = files.OpenText(dir / "t.txt", false);
    ASSERT_TRUE(out);
    out->Write("one\r\n");
    EXPECT_EQ(ReadFile(dir / "t.txt"), "one\r\n");  // on disk before closing
    out->Close();
    out = files.OpenText(dir / "t.txt", true);
    out->Write("two\r\n");
    out.reset();
    EXPECT_EQ(ReadFile(dir / "t.txt"), "one\r\ntwo\r\n");
    files.OpenText(dir / "t.txt", false).reset();
    EXPECT_EQ(ReadFile(dir / "t.txt"), "");
    EXPECT_EQ(files.OpenText(dir / "no/such/t.txt", false), nullptr);
    // Every write is checked: a full device takes nothing, and the file remembers it.
    out = files.OpenText(dir / "t.txt", true);
    EXPECT_TRUE(out->Write("three\r\n"));
    EXPECT_FALSE(out->Failed());
    EXPECT_TRUE(out->Close());
    if (fs::exists("/dev/full")) {
        out = files.OpenText("/dev/full", true);
        ASSERT_TRUE(out);
        EXPECT_FALSE(out->Write("lost\r\n"));
        EXPECT_TRUE(out->Failed());
        EXPECT_FALSE(out->Close());
    }

    WriteFile(dir / "r", "0123456789");
    auto in = files.OpenRead(dir / "r");
    ASSERT_TRUE(in);
    EXPECT_EQ(in->Size(), 10u);
    EXPECT_EQ(in->ReadAt(7, 100), "789");
    EXPECT_EQ(in->ReadAt(10, 1), "");
    EXPECT_EQ(files.OpenRead(dir.Path()), nullptr);

    EXPECT_EQ(files.ReadAll(dir / "r", 10), "0123456789");
    EXPECT_EQ(files.ReadAll(dir / "r", 9), std::nullopt);
    EXPECT_EQ(files.ReadAll(dir / "none", 9), std::nullopt);

    chmod((dir / "r").c_str(), 0640);
    ASSERT_TRUE(files.WriteAtomic(dir / "r", "new").ok());
    EXPECT_EQ(ReadFile(dir / "r"), "new");
    struct stat st {};
    stat((dir / "r").c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(Names(dir.Path()), (std::vector<std::string>{"r", "t.txt"}));
    EXPECT_FALSE(files.WriteAtomic(dir / "no/such/r", "x").ok());
}

TEST(PosixFiles, ListingSizesFoldersAndSpace) {
    TempDir dir;
    zq::posix::PosixFiles files;
    WriteFile(dir / "b.mdb", "12345");
    WriteFile(dir / "a.mdb", "1");
    fs::create_directory(dir / "Save");
    auto list = files.List(dir.Path());
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].name, "Save");
    EXPECT_TRUE(list[0].isDirectory);
    EXPECT_EQ(list[1].name, "a.mdb");
    EXPECT_EQ(list[2].size, 5);
    EXPECT_FALSE(list[2].times.lastWrite.IsEmpty());
    EXPECT_TRUE(files.List(dir / "none").empty());

    EXPECT_EQ(files.Size(dir / "b.mdb"), 5);
    EXPECT_EQ(files.Size(dir / "none"), -1);
    EXPECT_EQ(files.Size(dir.Path()), -1);
    EXPECT_GT(files.FreeSpace(dir.Path()), 0);
    EXPECT_EQ(files.FreeSpace(dir / "none"), -1);
    EXPECT_FALSE(files.IsRemote(dir.Path()));
    EXPECT_FALSE(files.IsRemote(dir / "not/yet/there.mdb"));

    EXPECT_TRUE(files.MakeDirectory(dir / "new").ok());
    EXPECT_FALSE(files.MakeDirectory(dir / "new").ok());
    EXPECT_EQ(files.MakeDirectory(dir / "x/y").error, zq::kErrFileNotFound);
}

}  // namespace

namespace {

// The names in the folder that are temporaries of the adapter's writers.
std::vector<std::string> Temporaries(const std::string& folder) {
    std::vector<std::string> found;
    for (const std::string& name : Names(folder))
        if (name.find(".zqtmp") != std::string::npos) found.push_back(name);
    return found;
}

// The core's folder and file operations over the real files.
TEST(CreateFolderTree, RealFoldersInPosixStyle) {
    zqtest::TempDir dir;
    zq::posix::PosixFiles files;
    zq::FsStatus raised;
    EXPECT_TRUE(zq::CreateFolderTree(files, dir / "Save/2024/Auto/", zq::PathStyle::Posix, &raised));
    EXPECT_TRUE(fs::is_directory(dir / "Save/2024/Auto"));
    zqtest::WriteFile(dir / "plain", "x");
    EXPECT_FALSE(zq::CreateFolderTree(files, dir / "plain/sub", zq::PathStyle::Posix, &raised));
    EXPECT_NE(raised.error, 0);
    EXPECT_FALSE(zq::CreateFolderTree(files, "relative/only", zq::PathStyle::Posix, &raised));
    EXPECT_NE(raised.error, 0);
}

TEST(FileOperations, DeleteClearsTheReadOnlyAttributeFirst) {
    zqtest::TempDir dir;
    zq::posix::PosixFiles files;
    zqtest::WriteFile(dir / "R_old.mdb", "x");
    chmod((dir / "R_old.mdb").c_str(), 0444);
    ASSERT_FALSE(files.Remove(dir / "R_old.mdb").ok());
    EXPECT_TRUE(zq::DeleteFileOp(files, dir / "R_old.mdb", zq::PathStyle::Posix).ok());
    EXPECT_FALSE(zqtest::FileExists(dir / "R_old.mdb"));
    EXPECT_EQ(zq::DeleteFileOp(files, dir / "R_old.mdb", zq::PathStyle::Posix).error, zq::kErrFileNotFound);

    zqtest::WriteFile(dir / "a", "A");
    EXPECT_TRUE(zq::CopyFileTo(files, dir / "a", dir / "b", false));
    EXPECT_FALSE(zq::CopyFileTo(files, dir / "a", dir / "b", false));
    EXPECT_TRUE(zq::CopyFileTo(files, dir / "a", dir / "b", true));
}

}  // namespace

TEST(PosixFiles, RunLockIsHeldByOneProcessAtATimeAndFreedByAKill) {
    TempDir dir;
    zq::posix::PosixFiles files;
    const std::string path = dir / "zqdata.mdb.zqr-lock";
    zq::FsStatus status;
    std::unique_ptr<zq::IFileLock> lock = files.TryLock(path, status);
    ASSERT_TRUE(lock) << status.text;
    EXPECT_TRUE(fs::exists(path));
    // Another process is refused while we hold it.
    EXPECT_EQ(InChild([&] {
                  zq::posix::PosixFiles other;
                  zq::FsStatus s;
                  return !other.TryLock(path, s) && s.error == zq::kErrPathFileAccess ? 0 : 1;
              }),
              0);
    lock.reset();
    EXPECT_FALSE(fs::exists(path));  // given up: the file goes with it

    // A holder that is killed leaves a file nobody holds, which the next one takes.
    WriteFile(path, "");
    LockHolder holder(path, LOCK_EX);
    ASSERT_TRUE(holder.Locked());
    EXPECT_FALSE(files.TryLock(path, status));
    EXPECT_EQ(status.error, zq::kErrPathFileAccess);
    holder.Kill();
    lock = files.TryLock(path, status);
    EXPECT_TRUE(lock) << status.text;

    EXPECT_FALSE(files.TryLock(dir / "missing/x.zqr-lock", status));
    EXPECT_NE(status.error, zq::kErrPathFileAccess);
}

TEST(PosixFiles, PrivateFolderIsMadeForTheUserAloneAndRefusedOtherwise) {
    TempDir dir;
    zq::posix::PosixFiles files;
    auto mode = [](const std::string& p) { return fs::status(p).permissions() & fs::perms::all; };

    EXPECT_TRUE(files.MakePrivateFolder(dir / "cache/zequora2/update/").ok());
    for (const char* f : {"cache", "cache/zequora2", "cache/zequora2/update"})
        EXPECT_EQ(mode(dir / f), fs::perms::owner_all) << f;
    EXPECT_TRUE(files.MakePrivateFolder(dir / "cache/zequora2/update").ok());  // again: nothing to do

    // An existing folder of ours that others may read is closed to them.
    fs::create_directories(dir / "open/update");
    fs::permissions(dir / "open/update", fs::perms::owner_all | fs::perms::group_read | fs::perms::others_exec);
    EXPECT_TRUE(files.MakePrivateFolder(dir / "open/update").ok());
    EXPECT_EQ(mode(dir / "open/update"), fs::perms::owner_all);

    // Others may write it, or take it away through its parent.
    fs::permissions(dir / "open/update", fs::perms::owner_all | fs::perms::others_write);
    EXPECT_EQ(files.MakePrivateFolder(dir / "open/update").text, "Others may write the folder: " + dir / "open/update");
    fs::permissions(dir / "open/update", fs::perms::owner_all);
    fs::permissions(dir / "open", fs::perms::all);
    EXPECT_EQ(files.MakePrivateFolder(dir / "open/update").text, "Others may replace the folder: " + dir / "open/update");
    fs::permissions(dir / "open", fs::perms::all | fs::perms::sticky_bit);
    EXPECT_TRUE(files.MakePrivateFolder(dir / "open/update").ok());

    // A symbolic link anywhere on the way, even to a folder of ours.
    fs::create_directory_symlink(dir / "cache", dir / "link");
    zq::FsStatus s = files.MakePrivateFolder(dir / "link/zequora2/update");
    EXPECT_EQ(s.text, "Symbolic link on the way: " + dir / "link");
    EXPECT_NE(s.error, zq::kErrNone);

    // Another user's folder.
    fs::create_directories(dir / "theirs");
    ASSERT_EQ(chown((dir / "theirs").c_str(), 65534, 65534), 0);
    fs::permissions(dir / "theirs", fs::perms::owner_all);
    EXPECT_EQ(files.MakePrivateFolder(dir / "theirs").text, "The folder belongs to another user: " + dir / "theirs");

    EXPECT_FALSE(files.MakePrivateFolder("relative/update").ok());
    EXPECT_FALSE(files.MakePrivateFolder(dir / "cache/../cache").ok());
    WriteFile(dir / "file", "x");
    EXPECT_FALSE(files.MakePrivateFolder(dir / "file/update").ok());
}

TEST(PosixFiles, TemporariesOfAKilledCopyAreRemovedButNotThoseOfALiveWriter) {
    TempDir dir;
    zq::posix::PosixFiles files;
    fs::create_directories(dir / "Save");
    WriteFile(dir / "zqdata.mdb", std::string(4 << 20, 'd'));
    // The copy is killed half-way (the file size limit ends the process, as a kill would).
    int code = InChild([&] {
        struct rlimit limit {1 << 20, 1 << 20};
        setrlimit(RLIMIT_FSIZE, &limit);
        (void)zq::posix::PosixFiles().Copy(dir / "zqdata.mdb", dir / "Save/R_250101_000000.mdb", true);
        return 0;
    });
    EXPECT_EQ(code, -1);  // killed by the signal
    std::vector<std::string> left = Temporaries(dir / "Save");
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].rfind(".R_250101_000000.mdb.", 0), 0u) << left[0];
    EXPECT_TRUE(left[0].ends_with(".zqtmp")) << left[0];
    EXPECT_FALSE(fs::exists(dir / "Save/R_250101_000000.mdb"));

    // A writer that is alive keeps its temporary; names of others stay anyway.
    const std::string live = dir / "Save/.R_250102_000000.mdb.zqtmp-Ab12Cd";
    WriteFile(live, "being written");
    LockHolder writer(live, LOCK_EX);
    ASSERT_TRUE(writer.Locked());
    for (const char* other : {"Save/R_250103_000000.mdb", "Save/.R_x.mdb.zqtmp-toolong1", "Save/x.zqtmp-Ab12Cd"})
        WriteFile(dir / other, "x");

    EXPECT_EQ(zq::RemoveLeftoverTemporaries(files, zq::PathStyle::Posix, dir / "Save"), 1);
    EXPECT_EQ(Temporaries(dir / "Save"),
              (std::vector<std::string>{".R_250102_000000.mdb.zqtmp-Ab12Cd", ".R_x.mdb.zqtmp-toolong1",
                                        "x.zqtmp-Ab12Cd"}));
    EXPECT_TRUE(fs::exists(dir / "Save/R_250103_000000.mdb"));
    writer.Kill();
    EXPECT_EQ(zq::RemoveLeftoverTemporaries(files, zq::PathStyle::Posix, dir / "Save"), 1);  // its writer is gone now

    // A copy and an atomic write made meanwhile are whole and leave nothing behind.
    EXPECT_TRUE(files.Copy(dir / "zqdata.mdb", dir / "Save/R_250104_000000.mdb", true).ok());
    EXPECT_TRUE(files.WriteAtomic(dir / "Save/notiz.txt", "x").ok());
    EXPECT_EQ(Temporaries(dir / "Save").size(), 2u);
}

TEST(PosixFiles, PermissionsOfAReplacedFileAreGivenBack) {
    TempDir dir;
    zq::posix::PosixFiles files;
    const std::string file = dir / "zqdata.mdb";
    WriteFile(file, "data");
    ASSERT_EQ(::chmod(file.c_str(), 02640), 0);
    const bool root = ::getuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(file.c_str(), 65534, 65534), 0);
    }
    zq::FsStatus status;
    const std::string saved = files.ReadPermissions(file, status);
    ASSERT_TRUE(status.ok()) << status.text;
    EXPECT_EQ(saved, (root ? "65534:65534" : std::to_string(::getuid()) + ":" + std::to_string(::getgid())) +
                         " 2640");

    // A new file in its place, as the database program's compaction leaves it.
    WriteFile(dir / "neu", "compacted");
    ASSERT_EQ(::chmod((dir / "neu").c_str(), 0644), 0);
    ASSERT_EQ(std::rename((dir / "neu").c_str(), file.c_str()), 0);
    EXPECT_NE(files.ReadPermissions(file, status), saved);
    EXPECT_TRUE(files.WritePermissions(file, saved).ok());
    EXPECT_EQ(files.ReadPermissions(file, status), saved);
    EXPECT_EQ(ReadFile(file), "compacted");

    // Texts that are not ours change nothing.
    for (const char* bad : {"", "65534:65534", "1:2 0644x", "-1:2 0644", "1:2 0855", "1:2 017777", "1 :2 0644",
                            "99999999999:1 0644", "1:2  0644"}) {
        zq::FsStatus written = files.WritePermissions(file, bad);
        EXPECT_FALSE(written.ok()) << bad;
        EXPECT_EQ(files.ReadPermissions(file, status), saved) << bad;
    }
    EXPECT_EQ(files.WritePermissions(dir / "fehlt", saved).error, zq::kErrFileNotFound);
    EXPECT_EQ(files.ReadPermissions(dir / "fehlt", status), "");
    EXPECT_EQ(status.error, zq::kErrFileNotFound);
}
