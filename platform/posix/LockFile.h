#pragma once
// The lock file of an open database: <name>.ldb beside the data file. Every holder keeps an
// flock on it (shared, or exclusive for a holder that keeps everybody else out). The last
// holder to close removes it; a lock file that nobody holds is stale and anybody may delete
// it. A killed holder loses its flock at once, so it leaves a stale file, never a held one.
// The Windows build of the stand-ins has its own implementation under Windows' sharing rules
// (standins/engine/Win32LockFile.cpp).
#include <cstdint>
#include <memory>
#include <string>

#include "common/Dao.h"

namespace zq::posix {

// Same folder and name, extension ".ldb" (appended when the name has none).
std::string LockFilePath(const std::string& databasePath);

class LockFile {
public:
    // Takes the lock file of the database. Fails with 3045 when another holder conflicts
    // (an exclusive one, or any one when exclusive is asked for), with 3051 when the lock
    // file cannot be created for a writable open. A read-only open in a folder where no lock
    // file can be made goes ahead without one (nobody else can have made one there either).
    static std::unique_ptr<LockFile> Acquire(const std::string& databasePath, bool exclusive,
                                             bool readOnly, zq::dao::Error& error);
    ~LockFile();
    LockFile(const LockFile&) = delete;
    LockFile& operator=(const LockFile&) = delete;

    // Drops the flock; removes the file when no other holder is left.
    void Release();
    const std::string& Path() const { return path_; }

private:
    LockFile(std::intptr_t fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    // The open lock file (a descriptor, or a handle in the Windows build of the stand-ins);
    // -1: no lock file could be made (read-only folder).
    std::intptr_t fd_ = -1;
    std::string path_;
};

}  // namespace zq::posix
