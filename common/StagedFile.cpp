#include "common/StagedFile.h"

#include <algorithm>
#include <cctype>

#include "common/Paths.h"

namespace zq {
namespace {

// Larger writes go straight through; smaller ones are gathered into writes of this size.
constexpr std::size_t kBufferBytes = 1 << 20;

// The folder part of a path with its separator, and the name after it. Windows takes either
// separator.
void SplitTarget(const std::string& target, PathStyle style, std::string& folder, std::string& name) {
    const std::size_t at = target.find_last_of(style == PathStyle::Windows ? "/\\" : "/");
    folder = at == std::string::npos ? std::string() : target.substr(0, at + 1);
    name = at == std::string::npos ? target : target.substr(at + 1);
}

// The names of temporary copies that earlier versions gave: ".<name>.zqtmp-" and six letters
// or digits (Linux), "<name>.zqtmp-<process>-<number>" (Windows). Their leftovers still go.
bool IsEarlierCopyName(const std::string& entry) {
    constexpr std::string_view infix = ".zqtmp-";
    const std::size_t at = entry.rfind(infix);
    if (at == std::string::npos || at == 0) return false;
    const std::string tail = entry.substr(at + infix.size());
    const auto all = [&](auto pred) { return std::all_of(tail.begin(), tail.end(), pred); };
    if (entry[0] == '.' && at >= 2 && tail.size() == 6 &&
        all([](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; })) {
        return true;
    }
    const std::size_t dash = tail.find('-');
    return dash != std::string::npos && dash > 0 && dash + 1 < tail.size() &&
           tail.find('-', dash + 1) == std::string::npos &&
           all([](char c) { return (c >= '0' && c <= '9') || c == '-'; });
}

}  // namespace

std::string StagedName(const std::string& name, unsigned long process, unsigned number,
                       std::string_view suffix) {
    return "." + name + "." + std::to_string(process) + "." + std::to_string(number) +
           std::string(suffix);
}

bool IsStagedNameOf(const std::string& entry, const std::string& name, std::string_view suffix) {
    if (entry.size() < 2 + suffix.size() || entry[0] != '.' ||
        entry.compare(entry.size() - suffix.size(), suffix.size(), suffix) != 0) {
        return false;
    }
    // ".<name>.<digits>.<digits><suffix>": the two numbers are the last two dotted parts.
    const std::string stem = entry.substr(1, entry.size() - 1 - suffix.size());
    const std::size_t second = stem.rfind('.');
    if (second == std::string::npos || second == 0) return false;
    const std::size_t first = stem.rfind('.', second - 1);
    if (first == std::string::npos || first == 0) return false;
    const auto digits = [&](std::size_t from, std::size_t to) {
        return to > from && std::all_of(stem.begin() + static_cast<std::ptrdiff_t>(from),
                                        stem.begin() + static_cast<std::ptrdiff_t>(to),
                                        [](char c) { return c >= '0' && c <= '9'; });
    };
    if (!digits(first + 1, second) || !digits(second + 1, stem.size())) return false;
    return name.empty() || (first == name.size() && stem.compare(0, first, name) == 0);
}

StagedFile::StagedFile(IFiles& files, PathStyle style, std::string target,
                       std::string_view suffix, unsigned long process)
    : files_(files), target_(std::move(target)) {
    std::string folder, name;
    SplitTarget(target_, style, folder, name);
    // Exclusive creation keeps two writers apart; a name in use is passed over.
    for (unsigned attempt = 0; attempt < 100 && !held_; ++attempt) {
        path_ = folder + StagedName(name, process, attempt, suffix);
        FsStatus created;
        held_ = files_.CreateHeld(path_, created);
        if (!held_ && (created.error != kErrFileExists || attempt == 99)) {
            Fail(created.ok() ? FsStatus{kErrDeviceIo, "Cannot create " + path_} : created);
            break;
        }
    }
    if (held_) buffer_.reserve(kBufferBytes);
}

StagedFile::~StagedFile() {
    if (!held_) return;
    held_.reset();
    if (!committed_) (void)files_.Remove(path_);
}

bool StagedFile::Fail(FsStatus status) {
    if (!status_.ok()) return false;
    // The caller wrote to the target: the failure names it, not the temporary name.
    if (const std::size_t at = status.text.find(path_); at != std::string::npos) {
        status.text.replace(at, path_.size(), target_);
    }
    status_ = std::move(status);
    return false;
}

bool StagedFile::Write(const char* data, std::size_t size) {
    if (!held_ || !status_.ok()) return false;
    if (buffer_.size() + size > kBufferBytes && !Flush()) return false;
    if (size >= kBufferBytes) {
        if (FsStatus st = held_->Write(data, size); !st.ok()) return Fail(st);
        written_ += size;
        return true;
    }
    buffer_.insert(buffer_.end(), data, data + size);
    return true;
}

bool StagedFile::Flush() {
    if (buffer_.empty()) return true;
    FsStatus st = held_->Write(buffer_.data(), buffer_.size());
    written_ += st.ok() ? buffer_.size() : 0;
    buffer_.clear();
    return st.ok() || Fail(st);
}

bool StagedFile::Finish() {
    if (!held_ || !status_.ok() || !Flush()) return false;
    if (FsStatus st = held_->Sync(); !st.ok()) return Fail(st);
    return true;
}

bool StagedFile::Commit(bool overwrite) {
    if (!held_ || !status_.ok()) return false;
    FsStatus st = held_->RenameTo(target_, overwrite);
    if (!st.ok()) return Fail(st);
    committed_ = true;
    held_.reset();
    return true;
}

int RemoveLeftoverTemporaries(IFiles& files, PathStyle style, const std::string& folder) {
    if (folder.empty()) return 0;
    return RemoveStaleStagedFiles(files, style, EnsureTrailingSeparator(folder, style), kCopySuffix);
}

int RemoveStaleStagedFiles(IFiles& files, PathStyle style, const std::string& target,
                           std::string_view suffix) {
    std::string folder, name;
    SplitTarget(target, style, folder, name);
    int removed = 0;
    for (const DirEntry& entry : files.List(folder.empty() ? "." : folder)) {
        const bool earlier = name.empty() && suffix == kCopySuffix && IsEarlierCopyName(entry.name);
        if (entry.isDirectory || !(earlier || IsStagedNameOf(entry.name, name, suffix))) continue;
        if (files.RemoveUnheld(folder + entry.name)) ++removed;
    }
    return removed;
}
}  // namespace zq
