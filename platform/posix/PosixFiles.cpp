#include "platform/posix/PosixFiles.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fstream>
#include <sstream>

#include "common/StagedFile.h"

namespace zq::posix {

namespace {

// Magic numbers of network file systems as statfs reports them.
constexpr long kNfsMagic = 0x6969;
constexpr long kSmbMagic = 0x517B;
constexpr long kCifsMagic = static_cast<long>(0xFF534D42u);
constexpr long kSmb2Magic = static_cast<long>(0xFE534D42u);
constexpr long kCodaMagic = 0x73757245;
constexpr long kNcpMagic = 0x564C;
constexpr long kAfsMagic = 0x5346414F;
constexpr long kV9fsMagic = 0x01021997;
constexpr long kCephMagic = 0x00C36400;
constexpr long kFuseMagic = 0x65735546;

bool HasNul(const std::string& path) { return path.find('\0') != std::string::npos; }

FsStatus Ok() { return {}; }

FsStatus Fail(int error, const std::string& what, const std::string& path) {
    return {error, what + ": " + path};
}

FsStatus BadName(const std::string& path) {
    std::string shown = path;
    std::replace(shown.begin(), shown.end(), '\0', '?');
    return Fail(kErrBadFileName, "Bad file name", shown);
}

// Errors of operations that change the file system: permission problems are 70 there,
// while the same errno from a mere examination means "cannot be examined" (52).
FsStatus FromChangeErrno(int err, const std::string& path) {
    int code;
    switch (err) {
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
        case ETXTBSY:
            code = kErrPermission;
            break;
        case EBUSY:
            code = kErrPathFileAccess;
            break;
        case EEXIST:
        case ENOTEMPTY:
            code = kErrFileExists;
            break;
        case ENOSPC:
        case EDQUOT:
            code = kErrDiskFull;
            break;
        case ENOENT:
            code = kErrFileNotFound;
            break;
        case ENOTDIR:
            code = kErrPathNotFound;
            break;
        default:
            code = ClassifyErrno(err);
            if (code == kErrFileNotFound) code = kErrDeviceIo;
    }
    FsStatus status = Fail(code, std::strerror(err), path);
    status.system = err;
    return status;
}

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { Reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    void Reset(int fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }
    int Release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

int OpenForLockTest(const std::string& path) {
    return ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
}

// True when another open file description holds an flock on the file: what a Windows
// program holding the file open (without sharing delete) means here.
bool HeldElsewhere(const std::string& path) {
    Fd fd(OpenForLockTest(path));
    if (!fd.valid()) return false;
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) == 0) {
        ::flock(fd.get(), LOCK_UN);
        return false;
    }
    return errno == EWOULDBLOCK;
}

bool WriteAllFd(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

std::string DirName(const std::string& path) {
    auto pos = path.find_last_of('/');
    if (pos == std::string::npos) return ".";
    if (pos == 0) return "/";
    return path.substr(0, pos);
}

void SyncFolder(const std::string& folder) {
    Fd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.valid()) ::fsync(fd.get());
}

mode_t CurrentUmask() {
    // Read without changing it: the process may have other threads.
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0) {
            try {
                return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
            } catch (...) {
                break;
            }
        }
    }
    return 022;
}

bool SameFile(int fd, const std::string& path) {
    struct stat a {}, b {};
    if (::fstat(fd, &a) != 0 || ::lstat(path.c_str(), &b) != 0) return false;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The nearest existing folder or file of path (path itself when it exists).
std::string NearestExisting(const std::string& path) {
    std::string probe = path;
    struct stat st {};
    while (::stat(probe.c_str(), &st) != 0) {
        if (errno != ENOENT && errno != ENOTDIR) return {};
        std::string parent = DirName(probe);
        if (parent == probe) return {};
        probe = parent;
    }
    return probe;
}

class PosixFileLock : public IFileLock {
public:
    PosixFileLock(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    ~PosixFileLock() override {
        // Removed while still held: whoever opened it meanwhile finds it replaced and retries.
        if (SameFile(fd_.get(), path_)) ::unlink(path_.c_str());
    }

private:
    Fd fd_;
    std::string path_;
};

// Renames; with noReplace an existing target makes it fail with EEXIST.
int RenameFile(const std::string& from, const std::string& to, bool noReplace) {
    if (!noReplace) return ::rename(from.c_str(), to.c_str());
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return -1;
    // File systems without RENAME_NOREPLACE: a hard link fails on an existing target too.
    if (::link(from.c_str(), to.c_str()) != 0) return -1;
    ::unlink(from.c_str());
    return 0;
}

// The held file of a staged file: an flock on it tells a clean-up that its writer is alive,
// and it is renamed into place while still locked.
class PosixHeldFile : public IHeldFile {
public:
    PosixHeldFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    ~PosixHeldFile() override {
        if (fd_ >= 0) ::close(fd_);
    }
    int Descriptor() const { return fd_; }
    FsStatus Write(const char* data, std::size_t size) override {
        return WriteAllFd(fd_, data, size) ? Ok() : FromChangeErrno(errno, path_);
    }
    FsStatus Sync() override { return ::fsync(fd_) == 0 ? Ok() : FromChangeErrno(errno, path_); }
    void KeepPropertiesOf(const std::string& source) override {
        struct stat st {};
        if (::stat(source.c_str(), &st) != 0) return;
        ::fchmod(fd_, st.st_mode & 07777);
        // Keep the last-write time, as a Windows copy does.
        struct timespec stamps[2];
        stamps[0].tv_sec = 0;
        stamps[0].tv_nsec = UTIME_NOW;
        stamps[1] = st.st_mtim;
        ::futimens(fd_, stamps);
    }
    FsStatus RenameTo(const std::string& target, bool overwrite) override {
        if (RenameFile(path_, target, !overwrite) != 0) return FromChangeErrno(errno, target);
        ::close(fd_);
        fd_ = -1;
        SyncFolder(DirName(target));
        return Ok();
    }

private:
    int fd_;
    std::string path_;
};

DateTime ToLocal(std::int64_t seconds) {
    DateTime t;
    if (seconds <= 0) return t;
    std::time_t tt = static_cast<std::time_t>(seconds);
    std::tm tm{};
    if (!::localtime_r(&tt, &tm)) return t;
    t.year = tm.tm_year + 1900;
    t.month = tm.tm_mon + 1;
    t.day = tm.tm_mday;
    t.hour = tm.tm_hour;
    t.minute = tm.tm_min;
    t.second = tm.tm_sec;
    return t;
}

// Birth time where the file system records it, else the status-change time.
FileTimes TimesOf(int dirfd, const char* path, int flags) {
    FileTimes times;
    struct statx sx {};
    if (::statx(dirfd, path, flags, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) return times;
    std::int64_t created = (sx.stx_mask & STATX_BTIME) ? sx.stx_btime.tv_sec : sx.stx_ctime.tv_sec;
    times.created = ToLocal(created);
    times.lastAccess = ToLocal(sx.stx_atime.tv_sec);
    times.lastWrite = ToLocal(sx.stx_mtime.tv_sec);
    return times;
}

bool IsReadOnlyMode(mode_t mode) { return (mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0; }

// The mount's file system type from the mount table, for FUSE mounts whose kind statfs
// does not tell (sshfs and friends).
std::string FuseTypeOf(const std::string& path) {
    char resolved[PATH_MAX];
    if (!::realpath(path.c_str(), resolved)) return {};
    std::string real = resolved;
    std::ifstream mounts("/proc/self/mountinfo");
    std::string line, best, bestType;
    while (std::getline(mounts, line)) {
        std::istringstream in(line);
        std::string id, parent, dev, root, mountPoint;
        if (!(in >> id >> parent >> dev >> root >> mountPoint)) continue;
        auto dash = line.find(" - ");
        if (dash == std::string::npos) continue;
        std::istringstream rest(line.substr(dash + 3));
        std::string type;
        rest >> type;
        bool inside = real == mountPoint || mountPoint == "/" ||
                      (real.rfind(mountPoint, 0) == 0 && real.size() > mountPoint.size() &&
                       real[mountPoint.size()] == '/');
        if (inside && mountPoint.size() >= best.size()) {
            best = mountPoint;
            bestType = type;
        }
    }
    return bestType;
}

class PosixTextFile : public ITextFile {
public:
    explicit PosixTextFile(int fd) : fd_(fd) {}
    ~PosixTextFile() override { Close(); }
    bool Write(const std::string& text) override {
        bool ok = fd_.valid() && WriteAllFd(fd_.get(), text.data(), text.size());
        if (!ok) failed_ = true;
        return ok;
    }
    bool Close() override {
        // A network file system may report a lost write only when the file is closed.
        if (fd_.valid() && ::close(fd_.Release()) != 0) failed_ = true;
        return !failed_;
    }
    bool Failed() const override { return failed_; }

private:
    Fd fd_;
    bool failed_ = false;
};

class PosixReadFile : public IReadFile {
public:
    PosixReadFile(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
    std::uint64_t Size() const override { return size_; }
    std::string ReadAt(std::uint64_t offset, std::size_t size) override {
        std::string out;
        if (offset >= size_) return out;
        size = static_cast<std::size_t>(std::min<std::uint64_t>(size, size_ - offset));
        out.resize(size);
        std::size_t got = 0;
        while (got < size) {
            ssize_t n = ::pread(fd_.get(), out.data() + got, size - got,
                                static_cast<off_t>(offset + got));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            got += static_cast<std::size_t>(n);
        }
        out.resize(got);
        return out;
    }

private:
    Fd fd_;
    std::uint64_t size_;
};

}  // namespace

int ClassifyErrno(int err) {
    switch (err) {
        case ENAMETOOLONG:
        case ELOOP:
        case EACCES:
        case EIO:
        case ESTALE:
        case ETIMEDOUT:
        case EHOSTDOWN:
        case EHOSTUNREACH:
        case ENOTCONN:
        case ENXIO:
        case ENODEV:
        case EINVAL:
        case EILSEQ:
            return kErrBadFileName;
        case ENOENT:
        case ENOTDIR:
            return kErrFileNotFound;
        default:
            return kErrDeviceIo;
    }
}

bool PosixFiles::Exists(const std::string& path, std::uint32_t attrMask, int* error) {
    if (error) *error = kErrNone;
    if (HasNul(path)) {
        if (error) *error = kErrBadFileName;
        return false;
    }
    if (path.empty()) return false;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        int code = ClassifyErrno(errno);
        if (error && code == kErrBadFileName) *error = code;
        return false;
    }
    // Nothing is hidden or system here; only directories need their bit.
    if (S_ISDIR(st.st_mode)) return (attrMask & kAttrDirectory) != 0;
    return true;
}

bool PosixFiles::IsDirectory(const std::string& path, int* error) {
    if (error) *error = kErrNone;
    if (HasNul(path)) {
        if (error) *error = kErrBadFileName;
        return false;
    }
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) {
        if (!path.empty() && error && ClassifyErrno(errno) == kErrBadFileName)
            *error = kErrBadFileName;
        return false;
    }
    return S_ISDIR(st.st_mode);
}

FsStatus PosixFiles::MakeDirectory(const std::string& path) {
    if (HasNul(path) || path.empty()) return BadName(path);
    if (::mkdir(path.c_str(), 0777) == 0) return Ok();
    int err = errno;
    // An existing folder is a "path/file access error", as on Windows.
    if (err == EEXIST) return Fail(kErrPathFileAccess, std::strerror(err), path);
    return FromChangeErrno(err, path);
}

FsStatus PosixFiles::Copy(const std::string& source, const std::string& target, bool overwrite) {
    if (HasNul(source) || source.empty()) return BadName(source);
    if (HasNul(target) || target.empty()) return BadName(target);

    Fd in(::open(source.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC));
    if (!in.valid()) return FromChangeErrno(errno, source);
    struct stat st {};
    if (::fstat(in.get(), &st) != 0) return FromChangeErrno(errno, source);
    if (!S_ISREG(st.st_mode)) return Fail(kErrPermission, "Not a file", source);
    // A source another process holds exclusively cannot be read on Windows either.
    if (::flock(in.get(), LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        return Fail(kErrPermission, "File is in use", source);

    struct stat tst {};
    if (::stat(target.c_str(), &tst) == 0) {
        if (!overwrite) return Fail(kErrFileExists, "File already exists", target);
        if (S_ISDIR(tst.st_mode)) return Fail(kErrPermission, "Target is a folder", target);
        if (IsReadOnlyMode(tst.st_mode)) return Fail(kErrPermission, "Target is read-only", target);
        if (HeldElsewhere(target)) return Fail(kErrPermission, "File is in use", target);
    }

    StagedFile out(*this, PathStyle::Posix, target, kCopySuffix, static_cast<unsigned long>(::getpid()));
    if (!out.Ok()) return out.Status();
    std::vector<char> buf(1 << 20);
    for (;;) {
        ssize_t n = ::read(in.get(), buf.data(), buf.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return FromChangeErrno(errno, source);
        if (n == 0) break;
        if (!out.Write(buf.data(), static_cast<std::size_t>(n))) return out.Status();
    }
    if (!out.Finish()) return out.Status();
    struct stat now {};
    if (::fstat(in.get(), &now) != 0 || out.Written() != static_cast<std::uint64_t>(now.st_size))
        return Fail(kErrDeviceIo, "Copy incomplete", target);
    out.Held()->KeepPropertiesOf(source);
    if (!out.Commit(overwrite)) return out.Status();
    return Ok();
}

FsStatus PosixFiles::Move(const std::string& source, const std::string& target) {
    if (HasNul(source) || source.empty()) return BadName(source);
    if (HasNul(target) || target.empty()) return BadName(target);
    struct stat st {};
    if (::lstat(source.c_str(), &st) != 0) return FromChangeErrno(errno, source);
    if (HeldElsewhere(source)) return Fail(kErrPathFileAccess, "File is in use", source);

    if (RenameFile(source, target, true) == 0) return Ok();
    int err = errno;
    if (err != EXDEV) return FromChangeErrno(err, target);
    if (!S_ISREG(st.st_mode))
        return Fail(kErrPathFileAccess, "Cannot move a folder to another drive", source);

    // Another file system: the source goes only once the copy is complete and synced.
    FsStatus copied = Copy(source, target, false);
    if (!copied.ok()) return copied;
    if (Size(target) != static_cast<std::int64_t>(st.st_size)) {
        ::unlink(target.c_str());
        return Fail(kErrDeviceIo, "Copy incomplete", target);
    }
    if (::unlink(source.c_str()) != 0) {
        int unlinkErr = errno;
        ::unlink(target.c_str());  // a move happens whole or not at all
        return FromChangeErrno(unlinkErr, source);
    }
    SyncFolder(DirName(source));
    return Ok();
}

FsStatus PosixFiles::Remove(const std::string& path) {
    if (HasNul(path) || path.empty()) return BadName(path);
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return FromChangeErrno(errno, path);
    if (S_ISDIR(st.st_mode)) return Fail(kErrPermission, "Is a folder", path);
    // Windows refuses to delete read-only files and files another process holds open.
    if (!S_ISLNK(st.st_mode) && IsReadOnlyMode(st.st_mode))
        return Fail(kErrPermission, "File is read-only", path);
    if (HeldElsewhere(path)) return Fail(kErrPermission, "File is in use", path);
    if (::unlink(path.c_str()) != 0) return FromChangeErrno(errno, path);
    return Ok();
}

FsStatus PosixFiles::SetAttributes(const std::string& path, std::uint32_t attributes) {
    if (HasNul(path) || path.empty()) return BadName(path);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return FromChangeErrno(errno, path);
    mode_t mode = st.st_mode & 07777;
    if (attributes & kAttrReadOnly) {
        mode &= static_cast<mode_t>(~(S_IWUSR | S_IWGRP | S_IWOTH));
    } else if (IsReadOnlyMode(mode)) {
        mode |= S_IWUSR;
    }
    if (mode == (st.st_mode & 07777)) return Ok();
    if (::chmod(path.c_str(), mode) != 0) return FromChangeErrno(errno, path);
    return Ok();
}

std::optional<std::uint32_t> PosixFiles::GetAttributes(const std::string& path) {
    if (HasNul(path) || path.empty()) return std::nullopt;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    if (S_ISDIR(st.st_mode)) return kAttrDirectory;
    return IsReadOnlyMode(st.st_mode) ? kAttrReadOnly : kAttrNormal;
}

std::int64_t PosixFiles::Size(const std::string& path) {
    if (HasNul(path) || path.empty()) return -1;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return static_cast<std::int64_t>(st.st_size);
}

std::optional<FileStamp> PosixFiles::Stamp(const std::string& path) {
    if (HasNul(path) || path.empty()) return std::nullopt;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return FileStamp{std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino),
                     static_cast<std::int64_t>(st.st_size),
                     static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

FileTimes PosixFiles::Times(const std::string& path) {
    if (HasNul(path) || path.empty()) return {};
    Fd fd(OpenForLockTest(path));
    if (!fd.valid()) return {};
    // Read as if opened sharing nothing: not while another process holds the file.
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return {};
    FileTimes times = TimesOf(fd.get(), "", AT_EMPTY_PATH);
    ::flock(fd.get(), LOCK_UN);
    return times;
}

std::vector<DirEntry> PosixFiles::List(const std::string& folder) {
    std::vector<DirEntry> entries;
    if (HasNul(folder) || folder.empty()) return entries;
    Fd dirfd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dirfd.valid()) return entries;
    DIR* dir = ::fdopendir(dirfd.get());
    if (!dir) return entries;
    dirfd.Release();
    while (struct dirent* e = ::readdir(dir)) {
        std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        struct stat st {};
        if (::fstatat(::dirfd(dir), e->d_name, &st, 0) != 0) continue;
        DirEntry entry;
        entry.name = name;
        entry.isDirectory = S_ISDIR(st.st_mode);
        entry.size = entry.isDirectory ? 0 : static_cast<std::int64_t>(st.st_size);
        entry.times = TimesOf(::dirfd(dir), e->d_name, 0);
        entries.push_back(std::move(entry));
    }
    ::closedir(dir);
    std::sort(entries.begin(), entries.end(),
              [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
    return entries;
}

bool PosixFiles::IsRemote(const std::string& path) {
    if (HasNul(path) || path.empty()) return false;
    // A file or folder that does not exist yet lies where its nearest existing folder lies.
    std::string probe = path;
    struct statfs sf {};
    while (::statfs(probe.c_str(), &sf) != 0) {
        if (errno != ENOENT && errno != ENOTDIR) return false;
        std::string parent = DirName(probe);
        if (parent == probe) return false;
        probe = parent;
    }
    switch (static_cast<long>(sf.f_type)) {
        case kNfsMagic:
        case kSmbMagic:
        case kCifsMagic:
        case kSmb2Magic:
        case kCodaMagic:
        case kNcpMagic:
        case kAfsMagic:
        case kV9fsMagic:
        case kCephMagic:
            return true;
        case kFuseMagic: {
            std::string type = FuseTypeOf(probe);
            for (const char* remote : {"fuse.sshfs", "fuse.rclone", "fuse.s3fs", "fuse.gcsfuse",
                                       "fuse.davfs", "fuse.curlftpfs", "fuse.glusterfs",
                                       "fuse.smbnetfs"})
                if (type == remote) return true;
            return false;
        }
        default:
            return false;
    }
}

std::unique_ptr<ITextFile> PosixFiles::OpenText(const std::string& path, bool append) {
    if (HasNul(path) || path.empty()) return nullptr;
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY | (append ? O_APPEND : O_TRUNC);
    int fd = ::open(path.c_str(), flags, 0666);
    if (fd < 0) return nullptr;
    return std::make_unique<PosixTextFile>(fd);
}

std::unique_ptr<IReadFile> PosixFiles::OpenRead(const std::string& path) {
    if (HasNul(path) || path.empty()) return nullptr;
    Fd fd(::open(path.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC));
    if (!fd.valid()) return nullptr;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
    return std::make_unique<PosixReadFile>(fd.Release(), static_cast<std::uint64_t>(st.st_size));
}

std::optional<std::string> PosixFiles::ReadAll(const std::string& path, std::size_t maxBytes) {
    if (HasNul(path) || path.empty()) return std::nullopt;
    Fd fd(::open(path.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC));
    if (!fd.valid()) return std::nullopt;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || S_ISDIR(st.st_mode)) return std::nullopt;
    if (S_ISREG(st.st_mode) && static_cast<std::uint64_t>(st.st_size) > maxBytes)
        return std::nullopt;
    std::string content;
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) break;
        if (content.size() + static_cast<std::size_t>(n) > maxBytes) return std::nullopt;
        content.append(buf, static_cast<std::size_t>(n));
    }
    return content;
}

FsStatus PosixFiles::WriteAtomic(const std::string& path, const std::string& content) {
    if (HasNul(path) || path.empty()) return BadName(path);
    mode_t mode = 0666 & ~CurrentUmask();
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return Fail(kErrPermission, "Is a folder", path);
        mode = st.st_mode & 07777;
    }
    StagedFile out(*this, PathStyle::Posix, path, kCopySuffix, static_cast<unsigned long>(::getpid()));
    if (!out.Write(content.data(), content.size()) || !out.Finish()) return out.Status();
    ::fchmod(static_cast<PosixHeldFile*>(out.Held())->Descriptor(), mode);
    if (!out.Commit(true)) return out.Status();
    return Ok();
}

std::int64_t PosixFiles::FreeSpace(const std::string& folder) {
    if (HasNul(folder) || folder.empty()) return -1;
    struct statvfs sv {};
    if (::statvfs(folder.c_str(), &sv) != 0) return -1;
    return static_cast<std::int64_t>(sv.f_bavail) * static_cast<std::int64_t>(sv.f_frsize);
}

std::string PosixFiles::VolumeOf(const std::string& path) {
    if (HasNul(path) || path.empty()) return {};
    std::string existing = NearestExisting(path);
    struct stat st {};
    if (existing.empty() || ::stat(existing.c_str(), &st) != 0) return {};
    return std::to_string(static_cast<unsigned long long>(st.st_dev));
}

std::unique_ptr<IFileLock> PosixFiles::TryLock(const std::string& path, FsStatus& status) {
    status = Ok();
    if (HasNul(path) || path.empty()) {
        status = BadName(path);
        return nullptr;
    }
    // A holder removes the file on release; a lock got on a file removed meanwhile is no lock.
    for (int attempt = 0; attempt < 20; ++attempt) {
        Fd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0666));
        // A leftover of another user may be read-only for us; a lock needs no writing.
        if (!fd.valid() && errno == EACCES)
            fd.Reset(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
        if (!fd.valid()) {
            status = FromChangeErrno(errno, path);
            return nullptr;
        }
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
            status = errno == EWOULDBLOCK ? Fail(kErrPathFileAccess, "In use by another process", path)
                                          : FromChangeErrno(errno, path);
            return nullptr;
        }
        if (SameFile(fd.get(), path)) return std::make_unique<PosixFileLock>(fd.Release(), path);
    }
    status = Fail(kErrPathFileAccess, "The lock file keeps being replaced", path);
    return nullptr;
}

FsStatus PosixFiles::MakePrivateFolder(const std::string& folder) {
    if (HasNul(folder) || folder.empty() || folder[0] != '/') return BadName(folder);
    const uid_t me = ::geteuid();
    std::string path;
    struct stat st {}, parent {};
    ::lstat("/", &st);
    std::size_t at = 1;
    while (at <= folder.size()) {
        std::size_t end = folder.find('/', at);
        if (end == std::string::npos) end = folder.size();
        std::string part = folder.substr(at, end - at);
        at = end + 1;
        if (part.empty() || part == ".") continue;
        if (part == "..") return BadName(folder);
        parent = st;
        path += "/" + part;
        if (::lstat(path.c_str(), &st) != 0) {
            if (errno != ENOENT) return FromChangeErrno(errno, path);
            if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return FromChangeErrno(errno, path);
            if (::lstat(path.c_str(), &st) != 0) return FromChangeErrno(errno, path);
        }
        // Whoever may plant a link on the way may send the data file through his own folder.
        if (S_ISLNK(st.st_mode)) return Fail(kErrPermission, "Symbolic link on the way", path);
        if (!S_ISDIR(st.st_mode)) return Fail(kErrPathNotFound, "Not a folder", path);
    }
    if (path.empty()) return Fail(kErrPermission, "Not a private folder", folder);
    if (st.st_uid != me) return Fail(kErrPermission, "The folder belongs to another user", path);
    if (st.st_mode & (S_IWGRP | S_IWOTH)) return Fail(kErrPermission, "Others may write the folder", path);
    // Only its owner (or root) may take the folder away and put another in its place.
    bool parentSafe = (parent.st_uid == me || parent.st_uid == 0) &&
                      (!(parent.st_mode & (S_IWGRP | S_IWOTH)) || (parent.st_mode & S_ISVTX));
    if (!parentSafe) return Fail(kErrPermission, "Others may replace the folder", path);
    if ((st.st_mode & 07777) != 0700 && ::chmod(path.c_str(), 0700) != 0)
        return FromChangeErrno(errno, path);
    return Ok();
}

std::unique_ptr<IHeldFile> PosixFiles::CreateHeld(const std::string& path, FsStatus& status) {
    if (HasNul(path) || path.empty()) {
        status = BadName(path);
        return nullptr;
    }
    for (int attempt = 0; attempt < 10; ++attempt) {
        Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0666));
        if (!fd.valid()) {
            status = FromChangeErrno(errno, path);
            return nullptr;
        }
        // A clean-up may have taken the new file for a leftover before our lock: start again.
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) == 0 && SameFile(fd.get(), path)) {
            status = Ok();
            return std::make_unique<PosixHeldFile>(fd.Release(), path);
        }
    }
    status = Fail(kErrPathFileAccess, "Cannot hold the new file", path);
    return nullptr;
}

bool PosixFiles::RemoveUnheld(const std::string& path) {
    if (HasNul(path) || path.empty()) return false;
    Fd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat st {}, now {};
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    // Other computers' locks may not reach us over the network: there, a leftover must also
    // have been untouched for a while.
    if (IsRemote(path) && st.st_mtim.tv_sec > std::time(nullptr) - 10 * 60) return false;
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return false;  // its writer is alive
    if (::lstat(path.c_str(), &now) != 0 || now.st_ino != st.st_ino || now.st_dev != st.st_dev)
        return false;
    return ::unlink(path.c_str()) == 0;
}

namespace {

struct Ownership {
    unsigned long uid = 0, gid = 0, mode = 0;
};

// Digits of the given base from at up to the stop character (or the end when stop is 0).
bool Number(const std::string& text, std::size_t& at, char stop, unsigned base, unsigned long& out) {
    const std::size_t start = at;
    out = 0;
    for (; at < text.size() && text[at] != stop; ++at) {
        const unsigned digit = static_cast<unsigned>(text[at] - '0');
        if (text[at] < '0' || digit >= base || out > 0xFFFFFFFFul / base) return false;
        out = out * base + digit;
    }
    if (at == start || (stop != 0 && at == text.size())) return false;
    if (stop != 0) ++at;
    return true;
}

// "owner:group mode", the mode in octal; false for any other text.
bool ParseOwnership(const std::string& text, Ownership& out) {
    std::size_t at = 0;
    return Number(text, at, ':', 10, out.uid) && Number(text, at, ' ', 10, out.gid) &&
           Number(text, at, 0, 8, out.mode) && out.mode <= 07777;
}

}  // namespace

std::string PosixFiles::ReadPermissions(const std::string& path, FsStatus& status) {
    status = {};
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        status = FromChangeErrno(errno, path);
        return {};
    }
    char text[64];
    std::snprintf(text, sizeof text, "%lu:%lu %04lo", static_cast<unsigned long>(st.st_uid),
                  static_cast<unsigned long>(st.st_gid), static_cast<unsigned long>(st.st_mode & 07777));
    return text;
}

FsStatus PosixFiles::WritePermissions(const std::string& path, const std::string& permissions) {
    Ownership want;
    if (!ParseOwnership(permissions, want)) return {kErrDeviceIo, "Not a text of ReadPermissions: " + permissions};
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return FromChangeErrno(errno, path);
    // The owner first: a change of owner clears the set-id bits, which the mode then sets again.
    const bool chowned = st.st_uid != want.uid || st.st_gid != want.gid;
    if (chowned && ::chown(path.c_str(), static_cast<uid_t>(want.uid), static_cast<gid_t>(want.gid)) != 0)
        return FromChangeErrno(errno, path);
    if ((chowned || (st.st_mode & 07777) != want.mode) &&
        ::chmod(path.c_str(), static_cast<mode_t>(want.mode)) != 0)
        return FromChangeErrno(errno, path);
    return {};
}

}  // namespace zq::posix
