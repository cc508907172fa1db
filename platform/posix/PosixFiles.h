#pragma once
// Files on Linux: std::filesystem and POSIX calls, with Windows sharing rules emulated by
// advisory locks (flock) that the processes holding a file keep on it.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Files.h"

namespace zq::posix {

class PosixFiles : public IFiles {
public:
    PosixFiles() = default;

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
    bool IsRemote(const std::string& path) override;
    std::unique_ptr<ITextFile> OpenText(const std::string& path, bool append) override;
    std::unique_ptr<IReadFile> OpenRead(const std::string& path) override;
    std::optional<std::string> ReadAll(const std::string& path, std::size_t maxBytes) override;
    FsStatus WriteAtomic(const std::string& path, const std::string& content) override;
    std::int64_t FreeSpace(const std::string& folder) override;
    std::optional<FileStamp> Stamp(const std::string& path) override;
    std::string VolumeOf(const std::string& path) override;
    std::unique_ptr<IFileLock> TryLock(const std::string& path, FsStatus& status) override;
    FsStatus MakePrivateFolder(const std::string& folder) override;
    std::unique_ptr<IHeldFile> CreateHeld(const std::string& path, FsStatus& status) override;
    bool RemoveUnheld(const std::string& path) override;
    // "owner:group mode", e.g. "1000:1000 0640" (mode in octal, with the set-id and sticky bits).
    std::string ReadPermissions(const std::string& path, FsStatus& status) override;
    FsStatus WritePermissions(const std::string& path, const std::string& permissions) override;
};

// Maps an errno value to the error numbers the programs compare.
int ClassifyErrno(int err);

}  // namespace zq::posix
