// The lock file of an open database under Windows' own sharing rules: every holder keeps
// <name>.ldb open, shared for reading and writing but never for deleting, so nobody can delete
// it while it is held; a holder that keeps everybody else out opens it sharing nothing. The
// last holder's delete after its close succeeds, the others' fail because the file is still
// held. A killed holder's handle closes with it, so it leaves a stale file, never a held one.
#include <windows.h>

#include "platform/posix/LockFile.h"
#include "platform/win32/WinText.h"

namespace zq::posix {

namespace {

std::string Message(DWORD code) { return zq::win32::ErrorText(code) + " (" + std::to_string(code) + ")"; }

bool InUse(DWORD code) { return code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION; }

bool NoPermission(DWORD code) {
    return code == ERROR_ACCESS_DENIED || code == ERROR_WRITE_PROTECT ||
           code == ERROR_NETWORK_ACCESS_DENIED;
}

std::intptr_t Hold(HANDLE h) { return reinterpret_cast<std::intptr_t>(h); }

}  // namespace

std::string LockFilePath(const std::string& databasePath) {
    std::size_t slash = databasePath.find_last_of("\\/:");
    std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    std::size_t dot = databasePath.find_last_of('.');
    if (dot == std::string::npos || dot < nameStart || dot == nameStart)
        return databasePath + ".ldb";
    return databasePath.substr(0, dot) + ".ldb";
}

std::unique_ptr<LockFile> LockFile::Acquire(const std::string& databasePath, bool exclusive,
                                            bool readOnly, zq::dao::Error& error) {
    error = {};
    const std::string path = LockFilePath(databasePath);
    const std::wstring wide = zq::win32::Wide(path);
    const DWORD share = exclusive ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE;
    const std::string inUse =
        "Could not use '" + databasePath + "'; the file is already in use by another process.";

    // A program that holds the data file itself sharing nothing keeps everybody out, with or
    // without a lock file.
    HANDLE probe = CreateFileW(zq::win32::Wide(databasePath).c_str(), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe == INVALID_HANDLE_VALUE) {
        if (InUse(GetLastError())) {
            error = {zq::dao::kErrLockedExclusive, inUse};
            return nullptr;
        }
    } else {
        CloseHandle(probe);
    }
    // A file with the read-only attribute is never opened for writing; said here, since a
    // process with the rights to ignore the attribute (Wine run as root) would open it anyway.
    DWORD attributes = GetFileAttributesW(zq::win32::Wide(databasePath).c_str());
    if (!readOnly && attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        error = {zq::dao::kErrCannotOpenForWrite,
                 "Cannot open the file '" + databasePath + "' for writing: it is read-only."};
        return nullptr;
    }

    HANDLE h = CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) return std::unique_ptr<LockFile>(new LockFile(Hold(h), path));
    DWORD code = GetLastError();
    if (InUse(code)) {
        error = {zq::dao::kErrLockedExclusive, inUse};
        return nullptr;
    }
    if (!NoPermission(code)) {
        error = {zq::dao::kErrGeneric, "Cannot create the lock file '" + path + "': " + Message(code)};
        return nullptr;
    }
    if (!readOnly) {
        error = {zq::dao::kErrCannotOpenForWrite,
                 "Cannot open '" + databasePath + "' for writing: the lock file cannot be created (" +
                     Message(code) + ")."};
        return nullptr;
    }
    // A reader in a folder it cannot write to: it holds an existing lock file for reading, or
    // goes ahead without one (nobody else can have made one there either).
    h = CreateFileW(wide.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                    nullptr);
    if (h != INVALID_HANDLE_VALUE) return std::unique_ptr<LockFile>(new LockFile(Hold(h), path));
    code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND) return std::unique_ptr<LockFile>(new LockFile(-1, path));
    if (InUse(code)) {
        error = {zq::dao::kErrLockedExclusive, inUse};
        return nullptr;
    }
    error = {zq::dao::kErrCannotOpenForWrite, "Cannot open the lock file '" + path + "': " + Message(code)};
    return nullptr;
}

void LockFile::Release() {
    if (fd_ == -1) return;
    CloseHandle(reinterpret_cast<HANDLE>(fd_));
    fd_ = -1;
    // Fails while another holder still has it open, which is as it should be.
    DeleteFileW(zq::win32::Wide(path_).c_str());
}

LockFile::~LockFile() { Release(); }

}  // namespace zq::posix
