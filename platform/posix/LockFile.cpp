#include "platform/posix/LockFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace zq::posix {

std::string LockFilePath(const std::string& databasePath) {
    std::size_t slash = databasePath.find_last_of('/');
    std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    std::size_t dot = databasePath.find_last_of('.');
    if (dot == std::string::npos || dot < nameStart || dot == nameStart)
        return databasePath + ".ldb";
    return databasePath.substr(0, dot) + ".ldb";
}

namespace {

bool SameFile(int fd, const std::string& path) {
    struct stat a {}, b {};
    if (fstat(fd, &a) != 0 || stat(path.c_str(), &b) != 0) return false;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool IsPermissionError(int err) { return err == EACCES || err == EPERM || err == EROFS; }

}  // namespace

std::unique_ptr<LockFile> LockFile::Acquire(const std::string& databasePath, bool exclusive,
                                            bool readOnly, zq::dao::Error& error) {
    error = {};
    const std::string path = LockFilePath(databasePath);
    // A last holder may remove the file between our open and our flock; then the lock we got
    // belongs to a deleted file and we start again with a fresh one.
    for (int attempt = 0; attempt < 20; ++attempt) {
        int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd < 0) {
            int err = errno;
            if (!IsPermissionError(err)) {
                error = {zq::dao::kErrGeneric,
                         "Cannot create the lock file '" + path + "': " + std::strerror(err)};
                return nullptr;
            }
            if (!readOnly) {
                error = {zq::dao::kErrCannotOpenForWrite,
                         "Cannot open '" + databasePath +
                             "' for writing: the lock file cannot be created (" +
                             std::strerror(err) + ")."};
                return nullptr;
            }
            fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0) {
                if (errno == ENOENT) return std::unique_ptr<LockFile>(new LockFile(-1, path));
                error = {zq::dao::kErrCannotOpenForWrite,
                         "Cannot open the lock file '" + path + "': " + std::strerror(errno)};
                return nullptr;
            }
        }
        if (flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
            int err = errno;
            close(fd);
            if (err == EWOULDBLOCK) {
                error = {zq::dao::kErrLockedExclusive,
                         "Could not use '" + databasePath +
                             "'; the file is already in use by another process."};
            } else {
                error = {zq::dao::kErrGeneric,
                         "Cannot lock '" + path + "': " + std::strerror(err)};
            }
            return nullptr;
        }
        if (SameFile(fd, path)) return std::unique_ptr<LockFile>(new LockFile(fd, path));
        close(fd);
    }
    error = {zq::dao::kErrLockedExclusive,
             "Could not use '" + databasePath + "'; its lock file keeps changing."};
    return nullptr;
}

void LockFile::Release() {
    if (fd_ < 0) return;
    // Only a holder that can take the lock exclusively is the last one.
    const int fd = static_cast<int>(fd_);
    if (flock(fd, LOCK_EX | LOCK_NB) == 0 && SameFile(fd, path_)) unlink(path_.c_str());
    close(fd);
    fd_ = -1;
}

LockFile::~LockFile() { Release(); }

}  // namespace zq::posix
