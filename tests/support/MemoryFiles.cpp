#include "support/MemoryFiles.h"

#include <algorithm>

#include "common/IniText.h"
#include "common/Utf8.h"

namespace zqtest {
namespace {

using zq::FsStatus;

FsStatus NotFound(const std::string& path) { return {zq::kErrFileNotFound, "File not found: " + path}; }

class MemoryText : public zq::ITextFile {
public:
    MemoryText(MemoryFiles& files, std::string path) : files_(files), path_(std::move(path)) {}
    bool Write(const std::string& text) override {
        if (files_.fail && !files_.fail("Write", path_).ok()) failed_ = true;
        if (!failed_) files_.files[path_].content += text;
        return !failed_;
    }
    bool Close() override { return !failed_; }
    bool Failed() const override { return failed_; }

private:
    MemoryFiles& files_;
    std::string path_;
    bool failed_ = false;
};

class MemoryRead : public zq::IReadFile {
public:
    explicit MemoryRead(std::string content) : content_(std::move(content)) {}
    std::uint64_t Size() const override { return content_.size(); }
    std::string ReadAt(std::uint64_t offset, std::size_t size) override {
        return offset >= content_.size() ? std::string() : content_.substr(static_cast<std::size_t>(offset), size);
    }

private:
    std::string content_;
};

class MemoryHeld : public zq::IHeldFile {
public:
    MemoryHeld(MemoryFiles& files, std::string path) : files_(files), path_(std::move(path)) {
        ++files_.files[path_].holders;
    }
    ~MemoryHeld() override { Release(); }
    FsStatus Write(const char* data, std::size_t size) override {
        if (FsStatus st = Injected("Write"); !st.ok()) return st;
        files_.files[path_].content.append(data, size);
        return {};
    }
    FsStatus Sync() override { return Injected("Sync"); }
    void KeepPropertiesOf(const std::string& source) override {
        if (auto it = files_.files.find(source); it != files_.files.end()) {
            files_.files[path_].lastWrite = it->second.lastWrite;
            attributes_ = it->second.attributes;
        }
    }
    FsStatus RenameTo(const std::string& target, bool overwrite) override {
        if (FsStatus st = Injected("Rename"); !st.ok()) return st;
        if (!overwrite && files_.Has(target)) return {zq::kErrFileExists, "File exists: " + target};
        if (files_.Has(target) && files_.files[target].holders > 0)
            return {zq::kErrPermission, "File is in use: " + target};
        Release();
        files_.files[target] = files_.files[path_];
        files_.files[target].attributes = attributes_;  // no longer hidden
        files_.files.erase(path_);
        return {};
    }

private:
    FsStatus Injected(const std::string& operation) const {
        return files_.fail ? files_.fail(operation, path_) : FsStatus{};
    }
    void Release() {
        if (held_ && files_.Has(path_)) --files_.files[path_].holders;
        held_ = false;
    }
    MemoryFiles& files_;
    std::string path_;
    bool held_ = true;
    std::uint32_t attributes_ = zq::kAttrNormal;
};

}  // namespace

FsStatus MemoryFiles::Injected(const std::string& operation, const std::string& path) const {
    return fail ? fail(operation, path) : FsStatus{};
}

std::string MemoryFiles::FolderOf(const std::string& path) const {
    const std::size_t at = path.find_last_of(style_ == zq::PathStyle::Windows ? "\\/" : "/");
    return at == std::string::npos ? std::string() : path.substr(0, at);
}

void MemoryFiles::Put(const std::string& path, const std::string& content) {
    AddFolder(FolderOf(path));
    files[path].content = content;
    files[path].generation = ++writes;
}

std::optional<zq::FileStamp> MemoryFiles::Stamp(const std::string& path) {
    const auto it = files.find(path);
    if (it == files.end()) return std::nullopt;
    const auto generation = static_cast<std::int64_t>(it->second.generation);
    return zq::FileStamp{path + "#" + std::to_string(generation),
                         static_cast<std::int64_t>(it->second.content.size()), generation};
}

void MemoryFiles::AddFolder(const std::string& folder) {
    for (std::string f = folder; !f.empty() && f != "/" && !folders.count(f); f = FolderOf(f)) {
        if (f.size() == 2 && f[1] == ':') break;  // a drive
        folders.insert(f);
    }
}

std::string MemoryFiles::ReadPermissions(const std::string& path, FsStatus& status) {
    status = Has(path) ? FsStatus{} : NotFound(path);
    return Has(path) ? files[path].permissions : std::string();
}

FsStatus MemoryFiles::WritePermissions(const std::string& path, const std::string& permissions) {
    if (FsStatus st = Injected("SetAttributes", path); !st.ok()) return st;
    if (!Has(path)) return NotFound(path);
    files[path].permissions = permissions;
    return {};
}

std::string MemoryFiles::Content(const std::string& path) const {
    const auto it = files.find(path);
    return it == files.end() ? "<missing>" : it->second.content;
}

bool MemoryFiles::Exists(const std::string& path, std::uint32_t attrMask, int* error) {
    if (error) *error = 0;
    if (IsDirectory(path)) return (attrMask & zq::kAttrDirectory) != 0;
    const auto it = files.find(path);
    if (it == files.end()) return false;
    const std::uint32_t special = it->second.attributes & (zq::kAttrHidden | zq::kAttrSystem);
    return (special & ~attrMask) == 0;
}

bool MemoryFiles::IsDirectory(const std::string& path, int* error) {
    if (error) *error = 0;
    std::string folder = path;
    while (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\')) folder.pop_back();
    return folders.count(folder) != 0 || folder == "/";
}

FsStatus MemoryFiles::MakeDirectory(const std::string& path) {
    if (FsStatus st = Injected("MakeDirectory", path); !st.ok()) return st;
    std::string folder = path;
    while (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\')) folder.pop_back();
    if (folders.count(folder) || Has(folder)) return {zq::kErrPathFileAccess, "Exists: " + path};
    const std::string parent = FolderOf(folder);
    if (!parent.empty() && !folders.count(parent) && !(parent.size() == 2 && parent[1] == ':'))
        return {zq::kErrPathNotFound, "Path not found: " + path};
    folders.insert(folder);
    return {};
}

FsStatus MemoryFiles::Copy(const std::string& source, const std::string& target, bool overwrite) {
    if (FsStatus st = Injected("Copy", target); !st.ok()) return st;
    if (IsDirectory(source)) return {zq::kErrPermission, "Not a file: " + source};
    if (!Has(source)) return NotFound(source);
    if (!IsDirectory(FolderOf(target))) return {zq::kErrPathNotFound, "Path not found: " + target};
    if (Has(target) && !overwrite) return {zq::kErrFileExists, "File exists: " + target};
    files[target] = files[source];
    files[target].holders = 0;
    files[target].generation = ++writes;
    return {};
}

FsStatus MemoryFiles::Move(const std::string& source, const std::string& target) {
    if (FsStatus st = Injected("Move", source); !st.ok()) return st;
    if (!Has(source)) return NotFound(source);
    if (files[source].holders > 0) return {zq::kErrPathFileAccess, "File is in use: " + source};
    if (Has(target)) return {zq::kErrFileExists, "File exists: " + target};
    files[target] = files[source];
    files.erase(source);
    return {};
}

FsStatus MemoryFiles::Remove(const std::string& path) {
    if (FsStatus st = Injected("Remove", path); !st.ok()) return st;
    const auto it = files.find(path);
    if (it == files.end()) return NotFound(path);
    if (it->second.holders > 0 || (it->second.attributes & zq::kAttrReadOnly))
        return {zq::kErrPermission, "Permission denied: " + path};
    files.erase(it);
    return {};
}

FsStatus MemoryFiles::SetAttributes(const std::string& path, std::uint32_t attributes) {
    if (FsStatus st = Injected("SetAttributes", path); !st.ok()) return st;
    if (!Has(path)) return NotFound(path);
    files[path].attributes = attributes;
    return {};
}

std::optional<std::uint32_t> MemoryFiles::GetAttributes(const std::string& path) {
    if (folders.count(path)) return zq::kAttrDirectory;
    if (!Has(path)) return std::nullopt;
    return files[path].attributes;
}

std::int64_t MemoryFiles::Size(const std::string& path) {
    return Has(path) ? static_cast<std::int64_t>(files[path].content.size()) : -1;
}

zq::FileTimes MemoryFiles::Times(const std::string& path) {
    if (!Has(path)) return {};
    const zq::DateTime t = files[path].lastWrite;
    return {t, t, t};
}

std::vector<zq::DirEntry> MemoryFiles::List(const std::string& folder) {
    std::string base = folder;
    while (base.size() > 1 && (base.back() == '/' || base.back() == '\\')) base.pop_back();
    std::vector<zq::DirEntry> entries;
    for (const auto& [path, file] : files) {
        if (FolderOf(path) != base) continue;
        zq::DirEntry entry;
        entry.name = path.substr(base.size() + 1);
        entry.size = static_cast<std::int64_t>(file.content.size());
        entry.times = {file.lastWrite, file.lastWrite, file.lastWrite};
        entries.push_back(entry);
    }
    for (const std::string& path : folders) {
        if (FolderOf(path) == base && path != base) entries.push_back({path.substr(base.size() + 1), true, 0, {}});
    }
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    return entries;
}

std::unique_ptr<zq::ITextFile> MemoryFiles::OpenText(const std::string& path, bool append) {
    if (!Injected("Open", path).ok() || IsDirectory(path)) return nullptr;
    if (!append || !Has(path)) files[path].content.clear();
    return std::make_unique<MemoryText>(*this, path);
}

std::unique_ptr<zq::IReadFile> MemoryFiles::OpenRead(const std::string& path) {
    if (!Has(path) || !Injected("Open", path).ok()) return nullptr;
    return std::make_unique<MemoryRead>(files[path].content);
}

std::optional<std::string> MemoryFiles::ReadAll(const std::string& path, std::size_t maxBytes) {
    if (!Has(path) || !Injected("Open", path).ok() || files[path].content.size() > maxBytes)
        return std::nullopt;
    return files[path].content;
}

FsStatus MemoryFiles::WriteAtomic(const std::string& path, const std::string& content) {
    if (FsStatus st = Injected("Write", path); !st.ok()) return st;
    if (IsDirectory(path)) return {zq::kErrPermission, "Is a folder: " + path};
    files[path].content = content;
    files[path].generation = ++writes;
    return {};
}

std::unique_ptr<zq::IHeldFile> MemoryFiles::CreateHeld(const std::string& path, FsStatus& status) {
    status = Injected("Create", path);
    if (!status.ok()) return nullptr;
    if (Has(path)) {
        status = {zq::kErrFileExists, "File exists: " + path};
        return nullptr;
    }
    files[path].attributes = zq::kAttrHidden;
    return std::make_unique<MemoryHeld>(*this, path);
}

bool MemoryFiles::RemoveUnheld(const std::string& path) {
    const auto it = files.find(path);
    if (it == files.end() || it->second.holders > 0) return false;
    files.erase(it);
    return true;
}

std::string MemoryProfile::GetString(const std::string& section, const std::string& key,
                                     const std::string& defaultValue, std::size_t bufferSize,
                                     const std::string& file) {
    const std::optional<std::string> raw = files_.ReadAll(file, 1 << 20);
    std::optional<std::string> value;
    if (raw) {
        const std::string text = zq::DecodeIni(*raw, zq::DetectIniEncoding(*raw, zq::IniEncoding::Utf8));
        value = zq::IniLookup(zq::IniLines(text), section, key);
    }
    return zq::FirstChars(value.value_or(defaultValue), bufferSize > 0 ? bufferSize - 1 : 0);
}

bool MemoryProfile::WriteString(const std::string& section, const std::string& key,
                                const std::string& value, const std::string& file) {
    const std::optional<std::string> raw = files_.ReadAll(file, 1 << 20);
    std::vector<std::string> lines = raw ? zq::IniLines(*raw) : std::vector<std::string>{};
    return zq::IniSet(lines, section, key, value) && files_.WriteAtomic(file, zq::IniJoin(lines)).ok();
}

}  // namespace zqtest
