#pragma once
// File system interface. Error numbers are those the programs compare (as on Windows).
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Clock.h"

namespace zq {

inline constexpr int kErrNone = 0;
inline constexpr int kErrBadFileName = 52;    // a path that cannot be examined at all
inline constexpr int kErrFileNotFound = 53;   // examined and absent
inline constexpr int kErrFileExists = 58;
inline constexpr int kErrDiskFull = 61;
inline constexpr int kErrPermission = 70;     // includes deleting a file another process holds
inline constexpr int kErrPathFileAccess = 75; // e.g. renaming a file another process holds
inline constexpr int kErrPathNotFound = 76;
inline constexpr int kErrDeviceIo = 57;       // any other failure

struct FsStatus {
    int error = kErrNone;
    std::string text;  // the system's description, for traces and messages
    long system = 0;   // the system's own error number, where one is known
    bool ok() const { return error == kErrNone; }
};

// Attribute bits as on Windows; existence tests take a mask of the extra kinds to match.
inline constexpr std::uint32_t kAttrReadOnly = 0x1;
inline constexpr std::uint32_t kAttrHidden = 0x2;
inline constexpr std::uint32_t kAttrSystem = 0x4;
inline constexpr std::uint32_t kAttrDirectory = 0x10;
inline constexpr std::uint32_t kAttrArchive = 0x20;
inline constexpr std::uint32_t kAttrNormal = 0x80;

struct FileTimes {
    DateTime created, lastAccess, lastWrite;  // local time; empty when unreadable
};

struct DirEntry {
    std::string name;
    bool isDirectory = false;
    std::int64_t size = 0;
    FileTimes times;
};

// What tells whether a file was rewritten: its identity on its volume (a file written anew
// and renamed into place has another), its size and its last write time in the system's
// finest units.
struct FileStamp {
    std::string identity;
    std::int64_t size = -1;
    std::int64_t lastWrite = 0;
    bool operator==(const FileStamp&) const = default;
};

// A text file kept open for writing (trace, log). Lines are written as given.
class ITextFile {
public:
    virtual ~ITextFile() = default;
    // Flushed, so a crash keeps what was written. False when not all of this text reached
    // the file (a full disk, a lost network share); Failed() remembers it.
    virtual bool Write(const std::string& text) = 0;
    // False when closing reported a failure or an earlier write had failed.
    virtual bool Close() = 0;
    virtual bool Failed() const = 0;  // some write or the close failed
};

// A file opened for random-access reading (version resources of large installers).
class IReadFile {
public:
    virtual ~IReadFile() = default;
    virtual std::uint64_t Size() const = 0;
    // Reads up to size bytes at offset; returns the bytes actually read.
    virtual std::string ReadAt(std::uint64_t offset, std::size_t size) = 0;
};

// A lock this process holds until the object goes; a killed holder loses it at once.
class IFileLock {
public:
    virtual ~IFileLock() = default;
};

// A file this process created and holds while it writes it: the primitives of a staged file
// (common/StagedFile.h). Going away closes it; the file stays.
class IHeldFile {
public:
    virtual ~IHeldFile() = default;
    virtual FsStatus Write(const char* data, std::size_t size) = 0;
    virtual FsStatus Sync() = 0;  // what was written is on the disk
    // The file takes over what a copy keeps of source: its last write time, and its mode
    // bits (POSIX) or attributes (Windows).
    virtual void KeepPropertiesOf(const std::string& source) = 0;
    // Renames the file over target, or only where there is none when overwrite is off (58).
    virtual FsStatus RenameTo(const std::string& target, bool overwrite) = 0;
};

class IFiles {
public:
    virtual ~IFiles() = default;

    // Like Dir(path, mask): true when an entry exists at path whose kind is matched.
    // Ordinary files (read-only included) always match; hidden, system and directory entries
    // match only when their bit is in attrMask. *error gets 52 for a path that cannot be
    // examined, 0 otherwise ("not found" is false with error 0).
    virtual bool Exists(const std::string& path, std::uint32_t attrMask, int* error = nullptr) = 0;
    virtual bool IsDirectory(const std::string& path, int* error = nullptr) = 0;
    virtual FsStatus MakeDirectory(const std::string& path) = 0;  // one level
    // Copies whole or not at all: into a temporary name beside the target, synced, size
    // checked, renamed into place; the temporary file is removed on failure.
    virtual FsStatus Copy(const std::string& source, const std::string& target, bool overwrite) = 0;
    // Rename; across file systems copy, sync, verify and only then remove the source.
    // A file another process holds gives 75.
    virtual FsStatus Move(const std::string& source, const std::string& target) = 0;
    // Deletes a file; one another process holds gives 70.
    virtual FsStatus Remove(const std::string& path) = 0;
    virtual FsStatus SetAttributes(const std::string& path, std::uint32_t attributes) = 0;
    virtual std::optional<std::uint32_t> GetAttributes(const std::string& path) = 0;
    virtual std::int64_t Size(const std::string& path) = 0;  // -1 on failure
    // The three times; all empty when the file is missing or another process holds it
    // exclusively (opened "sharing nothing").
    virtual FileTimes Times(const std::string& path) = 0;
    virtual std::vector<DirEntry> List(const std::string& folder) = 0;  // files and folders
    // True when the folder (or the file's folder) lies on a network file system.
    virtual bool IsRemote(const std::string& path) = 0;
    virtual std::unique_ptr<ITextFile> OpenText(const std::string& path, bool append) = 0;
    virtual std::unique_ptr<IReadFile> OpenRead(const std::string& path) = 0;
    // Whole small files (configuration, pages); fails above maxBytes.
    virtual std::optional<std::string> ReadAll(const std::string& path, std::size_t maxBytes) = 0;
    // Replaces the file atomically (temporary file, sync, rename).
    virtual FsStatus WriteAtomic(const std::string& path, const std::string& content) = 0;
    virtual std::int64_t FreeSpace(const std::string& folder) = 0;  // bytes, -1 unknown
    // Nothing when the file cannot be examined; readable while another process holds it.
    virtual std::optional<FileStamp> Stamp(const std::string& path) {
        (void)path;
        return std::nullopt;
    }

    // An identity of the volume that holds path (or, while path does not exist yet, its
    // nearest existing folder); empty when unknown.
    virtual std::string VolumeOf(const std::string& path) {
        (void)path;
        return {};
    }
    // Takes the lock file at path (made when missing) exclusively, without waiting. Nothing
    // when another process holds it (status 75) or it cannot be made (status says why).
    // Giving the lock up removes the file.
    virtual std::unique_ptr<IFileLock> TryLock(const std::string& path, FsStatus& status) {
        (void)path;
        status = {kErrDeviceIo, "Locks are not supported"};
        return nullptr;
    }
    // Makes sure the folder is the user's own: missing folders of the path are made for the
    // user alone, no part of the path is a symbolic link, the folder belongs to the user and
    // nobody else can use it or take it away. Fails (with the reason) otherwise.
    virtual FsStatus MakePrivateFolder(const std::string& folder) {
        (void)folder;
        return {kErrDeviceIo, "Private folders are not supported"};
    }
    // The file's owner and access rights as one text, only for WritePermissions and the trace
    // (Windows: owner and access list in SDDL; POSIX: owner, group and mode bits). Empty, with
    // the reason in status, when they cannot be read.
    virtual std::string ReadPermissions(const std::string& path, FsStatus& status) {
        (void)path;
        status = {kErrDeviceIo, "Permissions are not supported"};
        return {};
    }
    // Gives the file the owner and access rights that ReadPermissions read; only the parts that
    // differ from the file's present ones are set.
    virtual FsStatus WritePermissions(const std::string& path, const std::string& permissions) {
        (void)path;
        (void)permissions;
        return {kErrDeviceIo, "Permissions are not supported"};
    }
    // Creates path for writing, held so that RemoveUnheld leaves it alone while it is open;
    // nothing when it exists already (58) or cannot be made (status says why). Hidden on
    // Windows, as its name (a leading dot) hides it elsewhere.
    virtual std::unique_ptr<IHeldFile> CreateHeld(const std::string& path, FsStatus& status) {
        (void)path;
        status = {kErrDeviceIo, "Held files are not supported"};
        return nullptr;
    }
    // Removes path when it is a plain file that no live writer holds.
    virtual bool RemoveUnheld(const std::string& path) {
        (void)path;
        return false;
    }
};

}  // namespace zq
