#pragma once
// Files in memory for the core's tests on every platform, with failures injected per
// operation and path: what a full disk, a held file or a lost share does to the code above.
// Paths are taken as given; the separator of the style splits them into folder and name.
#include <functional>
#include <map>
#include <set>
#include <string>

#include "platform/Environment.h"
#include "platform/Files.h"
#include "platform/Profile.h"

namespace zqtest {

class MemoryFiles : public zq::IFiles {
public:
    explicit MemoryFiles(zq::PathStyle style = zq::PathStyle::Posix) : style_(style) {}

    struct File {
        std::string content;
        std::uint32_t attributes = zq::kAttrNormal;
        zq::DateTime lastWrite{2026, 12, 7, 8, 0, 0};
        int holders = 0;  // held files and locks open on it
        std::uint64_t generation = 0;  // a new one with every writing of the file
        std::string permissions = "1000:1000 0640";
    };
    std::map<std::string, File> files;
    std::set<std::string> folders;
    // A failure for an operation ("Create", "Write", "Sync", "Rename", "Remove", "Copy",
    // "Move", "Open", "MakeDirectory", "SetAttributes") on a path; ok() lets it through.
    std::function<zq::FsStatus(const std::string& operation, const std::string& path)> fail;

    // A file with the content; its folder and the folders above it are made.
    void Put(const std::string& path, const std::string& content);
    // The folder and the folders above it.
    void AddFolder(const std::string& folder);
    std::string Content(const std::string& path) const;
    bool Has(const std::string& path) const { return files.count(path) != 0; }

    bool Exists(const std::string& path, std::uint32_t attrMask, int* error = nullptr) override;
    bool IsDirectory(const std::string& path, int* error = nullptr) override;
    zq::FsStatus MakeDirectory(const std::string& path) override;
    zq::FsStatus Copy(const std::string& source, const std::string& target, bool overwrite) override;
    zq::FsStatus Move(const std::string& source, const std::string& target) override;
    zq::FsStatus Remove(const std::string& path) override;
    zq::FsStatus SetAttributes(const std::string& path, std::uint32_t attributes) override;
    std::optional<std::uint32_t> GetAttributes(const std::string& path) override;
    std::int64_t Size(const std::string& path) override;
    zq::FileTimes Times(const std::string& path) override;
    std::vector<zq::DirEntry> List(const std::string& folder) override;
    bool IsRemote(const std::string&) override { return false; }
    std::unique_ptr<zq::ITextFile> OpenText(const std::string& path, bool append) override;
    std::unique_ptr<zq::IReadFile> OpenRead(const std::string& path) override;
    std::optional<std::string> ReadAll(const std::string& path, std::size_t maxBytes) override;
    zq::FsStatus WriteAtomic(const std::string& path, const std::string& content) override;
    std::int64_t FreeSpace(const std::string&) override { return freeSpace; }
    std::optional<zq::FileStamp> Stamp(const std::string& path) override;
    std::string ReadPermissions(const std::string& path, zq::FsStatus& status) override;
    zq::FsStatus WritePermissions(const std::string& path, const std::string& permissions) override;
    std::unique_ptr<zq::IHeldFile> CreateHeld(const std::string& path, zq::FsStatus& status) override;
    bool RemoveUnheld(const std::string& path) override;

    std::int64_t freeSpace = std::int64_t{1} << 40;

    std::uint64_t writes = 0;  // counts every writing, for the files' generations

private:
    zq::FsStatus Injected(const std::string& operation, const std::string& path) const;
    std::string FolderOf(const std::string& path) const;
    zq::PathStyle style_;
};

// Private-profile files kept in MemoryFiles, read and written by the INI rules of the core.
class MemoryProfile : public zq::IProfile {
public:
    explicit MemoryProfile(MemoryFiles& files) : files_(files) {}
    std::string GetString(const std::string& section, const std::string& key,
                          const std::string& defaultValue, std::size_t bufferSize,
                          const std::string& file) override;
    bool WriteString(const std::string& section, const std::string& key, const std::string& value,
                     const std::string& file) override;

private:
    MemoryFiles& files_;
};

}  // namespace zqtest
