#pragma once
// A file written whole or not at all: a temporary file beside the target, created exclusively
// and held while it is written, synced, then renamed over the target; removed when anything
// fails. A writer that is killed leaves it behind; RemoveStaleStagedFiles takes those away
// and never one a live writer holds. Written once over the few primitives each platform's
// IFiles gives (CreateHeld, IHeldFile, RemoveUnheld), for copies, moves, atomic writes and
// downloads alike.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Environment.h"
#include "platform/Files.h"

namespace zq {

// The names of staged files: "." + name + "." + process + "." + number + suffix.
inline constexpr std::string_view kCopySuffix = ".zqtmp";
inline constexpr std::string_view kDownloadSuffix = ".part";
std::string StagedName(const std::string& name, unsigned long process, unsigned number,
                       std::string_view suffix);
// Whether entry is a staged name for name (any name when name is empty) with the suffix.
bool IsStagedNameOf(const std::string& entry, const std::string& name, std::string_view suffix);

class StagedFile {
public:
    // Creates the staged file beside target; Ok() tells whether that worked.
    StagedFile(IFiles& files, PathStyle style, std::string target, std::string_view suffix,
               unsigned long process);
    ~StagedFile();  // removes the staged file unless it was committed
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    bool Ok() const { return status_.ok(); }
    // Why the file could not be created or written; the first failure counts.
    const FsStatus& Status() const { return status_; }
    const std::string& Path() const { return path_; }
    std::uint64_t Written() const { return written_; }
    IHeldFile* Held() { return held_.get(); }

    // Buffered; false once a write failed.
    bool Write(const char* data, std::size_t size);
    // Everything written reaches the disk.
    bool Finish();
    // Renames the finished file over the target (only where none is, unless overwrite).
    bool Commit(bool overwrite);

private:
    bool Flush();
    bool Fail(FsStatus status);

    IFiles& files_;
    std::string target_;
    std::string path_;
    std::unique_ptr<IHeldFile> held_;
    std::vector<char> buffer_;
    std::uint64_t written_ = 0;
    bool committed_ = false;
    FsStatus status_;
};

// Removes the staged files with the suffix beside target (for its name, or for any name
// when target ends in a separator) that no live writer holds; gives the number removed.
int RemoveStaleStagedFiles(IFiles& files, PathStyle style, const std::string& target,
                           std::string_view suffix);
// The temporary files that interrupted copies, moves and atomic writes left in the folder.
int RemoveLeftoverTemporaries(IFiles& files, PathStyle style, const std::string& folder);

}  // namespace zq
