#include "platform/win32/WinFiles.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "common/StagedFile.h"
#include "platform/win32/WinText.h"

namespace zq::win32 {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr std::size_t kMaxExtendedPath = 32767;

class Handle {
public:
    explicit Handle(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
    ~Handle() { Reset(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return h_; }
    bool valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
    void Reset(HANDLE h = INVALID_HANDLE_VALUE) {
        if (valid()) CloseHandle(h_);
        h_ = h;
    }
    HANDLE Release() {
        HANDLE h = h_;
        h_ = INVALID_HANDLE_VALUE;
        return h;
    }

private:
    HANDLE h_;
};

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
    return text.rfind(prefix, 0) == 0;
}

// The path as the wide-character functions take it. Paths beyond the classic limit are
// given in their extended form ("\\?\C:\...", "\\?\UNC\server\share\..."), so they work
// where the system allows them; what cannot be a path at all fails with the system's error
// for it (ERROR_INVALID_NAME, ERROR_FILENAME_EXCED_RANGE).
// No file system takes a name of more than 255 characters between two separators.
bool ComponentsFit(const std::wstring& path) {
    std::size_t run = 0;
    for (wchar_t c : path) {
        run = (c == L'\\' || c == L'/') ? 0 : run + 1;
        if (run > 255) return false;
    }
    return true;
}

bool SysPath(const std::string& path, std::wstring& out, DWORD& error) {
    error = ERROR_SUCCESS;
    if (!WidePath(path, out)) {
        error = path.empty() ? ERROR_PATH_NOT_FOUND : ERROR_INVALID_NAME;
        return false;
    }
    if (!ComponentsFit(out)) {
        error = ERROR_FILENAME_EXCED_RANGE;
        return false;
    }
    if (out.size() < MAX_PATH - 12 || StartsWith(out, L"\\\\?\\")) {
        if (out.size() >= kMaxExtendedPath) error = ERROR_FILENAME_EXCED_RANGE;
        return error == ERROR_SUCCESS;
    }
    if (out.size() >= kMaxExtendedPath) {
        error = ERROR_FILENAME_EXCED_RANGE;
        return false;
    }
    DWORD n = GetFullPathNameW(out.c_str(), 0, nullptr, nullptr);
    if (n == 0 || n >= kMaxExtendedPath - 8) {
        error = n == 0 ? GetLastError() : ERROR_FILENAME_EXCED_RANGE;
        return false;
    }
    std::wstring full(n, L'\0');
    n = GetFullPathNameW(out.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (n == 0 || n >= full.size()) {
        error = ERROR_FILENAME_EXCED_RANGE;
        return false;
    }
    full.resize(n);
    if (StartsWith(full, L"\\\\"))
        out = L"\\\\?\\UNC\\" + full.substr(2);
    else
        out = L"\\\\?\\" + full;
    return true;
}

FsStatus SysPathFailure(DWORD error, const std::string& path) {
    std::string shown = path;
    std::replace(shown.begin(), shown.end(), '\0', '?');
    if (shown.size() > 300) shown = shown.substr(0, 300) + "...";
    FsStatus st = Failure(error, shown);
    // A text that cannot name a file at all is a bad file name whatever the operation.
    if (error != ERROR_PATH_NOT_FOUND) st.error = kErrBadFileName;
    return st;
}

bool Attributes(const std::wstring& path, WIN32_FILE_ATTRIBUTE_DATA& data) {
    return GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) != FALSE;
}

DateTime ToLocal(const FILETIME& utc) {
    DateTime t;
    if (utc.dwLowDateTime == 0 && utc.dwHighDateTime == 0) return t;
    FILETIME local{};
    SYSTEMTIME st{};
    if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &st)) return t;
    t.year = st.wYear;
    t.month = st.wMonth;
    t.day = st.wDay;
    t.hour = st.wHour;
    t.minute = st.wMinute;
    t.second = st.wSecond;
    return t;
}

std::int64_t SizeOf(DWORD high, DWORD low) {
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(high) << 32) | low);
}

void RemoveTemp(const std::wstring& temp) {
    SetFileAttributesW(temp.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(temp.c_str());
}

bool WriteAll(HANDLE file, const char* data, std::size_t size) {
    while (size > 0) {
        DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
        DWORD written = 0;
        if (!WriteFile(file, data, chunk, &written, nullptr) || written == 0) return false;
        data += written;
        size -= written;
    }
    return true;
}

// The held file of a staged file: opened without delete sharing, so a clean-up's deletion
// fails while its writer lives, and hidden until it is renamed into place.
class WinHeldFile : public IHeldFile {
public:
    WinHeldFile(HANDLE file, std::wstring path, std::string shown)
        : file_(file), path_(std::move(path)), shown_(std::move(shown)) {}
    FsStatus Write(const char* data, std::size_t size) override {
        return WriteAll(file_.get(), data, size) ? FsStatus{} : Failure(GetLastError(), shown_);
    }
    FsStatus Sync() override {
        return FlushFileBuffers(file_.get()) ? FsStatus{} : Failure(GetLastError(), shown_);
    }
    void KeepPropertiesOf(const std::string& source) override {
        std::wstring from;
        DWORD err = ERROR_SUCCESS;
        WIN32_FILE_ATTRIBUTE_DATA src{};
        if (!SysPath(source, from, err) || !Attributes(from, src)) return;
        SetFileTime(file_.get(), nullptr, nullptr, &src.ftLastWriteTime);
        attributes_ = src.dwFileAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                              FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
        if (attributes_ == 0) attributes_ = FILE_ATTRIBUTE_NORMAL;
    }
    FsStatus RenameTo(const std::string& target, bool overwrite) override {
        std::wstring to;
        DWORD err = ERROR_SUCCESS;
        if (!SysPath(target, to, err)) return SysPathFailure(err, target);
        // Windows renames no file that is open without delete sharing.
        file_.Reset();
        SetFileAttributesW(path_.c_str(), attributes_);
        const DWORD flags = MOVEFILE_WRITE_THROUGH | (overwrite ? MOVEFILE_REPLACE_EXISTING : 0);
        if (MoveFileExW(path_.c_str(), to.c_str(), flags)) return {};
        err = GetLastError();
        SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_NORMAL);  // so that it can be removed
        return Failure(err, target);
    }

private:
    Handle file_;
    std::wstring path_;
    std::string shown_;
    DWORD attributes_ = FILE_ATTRIBUTE_NORMAL;
};

class WinTextFile : public ITextFile {
public:
    explicit WinTextFile(HANDLE file) : file_(file) {}
    // Flushed after each text, so a crash keeps it; a failed write is remembered.
    bool Write(const std::string& text) override {
        if (!file_.valid()) failed_ = true;
        if (failed_) return false;
        if (text.empty()) return true;
        const std::string ansi = Ansi(text);
        if (!WriteAll(file_.get(), ansi.data(), ansi.size()) || !FlushFileBuffers(file_.get()))
            failed_ = true;
        return !failed_;
    }
    bool Close() override {
        if (file_.valid() && !CloseHandle(file_.Release())) failed_ = true;
        return !failed_;
    }
    bool Failed() const override { return failed_; }

private:
    Handle file_;
    bool failed_ = false;
};

class WinReadFile : public IReadFile {
public:
    WinReadFile(HANDLE file, std::uint64_t size) : file_(file), size_(size) {}
    std::uint64_t Size() const override { return size_; }
    std::string ReadAt(std::uint64_t offset, std::size_t size) override {
        std::string out;
        if (offset >= size_) return out;
        size = static_cast<std::size_t>(std::min<std::uint64_t>(size, size_ - offset));
        out.resize(size);
        std::size_t got = 0;
        while (got < size) {
            OVERLAPPED at{};
            const std::uint64_t position = offset + got;
            at.Offset = static_cast<DWORD>(position & 0xFFFFFFFFu);
            at.OffsetHigh = static_cast<DWORD>(position >> 32);
            DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size - got, 1u << 30));
            DWORD n = 0;
            if (!ReadFile(file_.get(), out.data() + got, chunk, &n, &at) || n == 0) break;
            got += n;
        }
        out.resize(got);
        return out;
    }

private:
    Handle file_;
    std::uint64_t size_;
};

// The attributes of an entry for the existence tests; false when there is none, with error
// set only for a name the system cannot hold (error 52), as those tests report.
bool EntryAttributes(const std::string& path, WIN32_FILE_ATTRIBUTE_DATA& data, int* error) {
    if (error) *error = kErrNone;
    if (path.empty()) return false;
    std::wstring p;
    DWORD err = ERROR_SUCCESS;
    if (!SysPath(path, p, err) || !Attributes(p, data)) {
        if (err == ERROR_SUCCESS) err = GetLastError();
        if (error && ClassifyError(err) == kErrBadFileName) *error = kErrBadFileName;
        return false;
    }
    return true;
}

}  // namespace

bool WinFiles::Exists(const std::string& path, std::uint32_t attrMask, int* error) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!EntryAttributes(path, data, error)) return false;
    // As Dir(path, mask): hidden, system and directory entries need their bit in the mask.
    const DWORD special =
        data.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY);
    return (special & ~static_cast<DWORD>(attrMask)) == 0;
}

bool WinFiles::IsDirectory(const std::string& path, int* error) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!EntryAttributes(path, data, error)) return false;
    return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

FsStatus WinFiles::MakeDirectory(const std::string& path) {
    std::wstring p;
    DWORD err = ERROR_SUCCESS;
    if (!SysPath(path, p, err)) return SysPathFailure(err, path);
    if (CreateDirectoryW(p.c_str(), nullptr)) return {};
    err = GetLastError();
    // An existing folder is a "path/file access error".
    if (err == ERROR_ALREADY_EXISTS) return {kErrPathFileAccess, ErrorText(err) + ": " + path};
    return Failure(err, path);
}

FsStatus WinFiles::Copy(const std::string& source, const std::string& target, bool overwrite) {
    std::wstring from, to;
    DWORD err = ERROR_SUCCESS;
    if (!SysPath(source, from, err)) return SysPathFailure(err, source);
    if (!SysPath(target, to, err)) return SysPathFailure(err, target);

    WIN32_FILE_ATTRIBUTE_DATA src{}, dst{};
    if (!Attributes(from, src)) return Failure(GetLastError(), source);
    if (src.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return {kErrPermission, "Not a file: " + source};
    if (Attributes(to, dst)) {
        if (!overwrite) return {kErrFileExists, ErrorText(ERROR_FILE_EXISTS) + ": " + target};
        if (dst.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            return {kErrPermission, "Target is a folder: " + target};
        if (dst.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
            return {kErrPermission, ErrorText(ERROR_ACCESS_DENIED) + ": " + target};
    }

    // Staged beside the target, then renamed into place: the target is never left half written.
    Handle in(CreateFileW(from.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!in.valid()) return Failure(GetLastError(), source);
    StagedFile out(*this, PathStyle::Windows, target, kCopySuffix, GetCurrentProcessId());
    if (!out.Ok()) return out.Status();
    std::vector<char> buffer(1 << 20);
    for (;;) {
        DWORD n = 0;
        if (!ReadFile(in.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &n, nullptr))
            return Failure(GetLastError(), source);
        if (n == 0) break;
        if (!out.Write(buffer.data(), n)) return out.Status();
    }
    if (!out.Finish()) return out.Status();
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(in.get(), &size) || out.Written() != static_cast<std::uint64_t>(size.QuadPart))
        return {kErrDeviceIo, "Copy incomplete: " + target};
    in.Reset();
    out.Held()->KeepPropertiesOf(source);
    if (!out.Commit(overwrite)) return out.Status();
    return {};
}

FsStatus WinFiles::Move(const std::string& source, const std::string& target) {
    std::wstring from, to;
    DWORD err = ERROR_SUCCESS;
    if (!SysPath(source, from, err)) return SysPathFailure(err, source);
    if (!SysPath(target, to, err)) return SysPathFailure(err, target);
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) return {};
    err = GetLastError();
    if (err != ERROR_NOT_SAME_DEVICE) return Failure(err, err == ERROR_SHARING_VIOLATION ? source : target, true);

    // Another drive: the source goes only once its copy is complete; a source that cannot
    // go takes the copy with it, so the move happens whole or not at all.
    WIN32_FILE_ATTRIBUTE_DATA src{};
    if (!Attributes(from, src)) return Failure(GetLastError(), source, true);
    if (src.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return {kErrPathFileAccess, "Cannot move a folder to another drive: " + source};
    FsStatus copied = Copy(source, target, false);
    if (!copied.ok()) return copied;
    if (!DeleteFileW(from.c_str())) {
        err = GetLastError();
        RemoveTemp(to);
        return Failure(err, source, true);
    }
    return {};
}

FsStatus WinFiles::Remove(const std::string& path) {
    std::wstring p;
    DWORD err = ERROR_SUCCESS;
    if (!SysPath(path, p, err)) return SysPathFailure(err, path);
    if (DeleteFileW(p.c_str())) return {};
    return Failure(GetLastError(), path);
}

FsStatus WinFiles::SetAttributes(const std::string& path, std::uint32_t attributes) {
    std::wstring p;
    DWORD err = ERROR_SUCCESS;
    if (!SysPath(path, p, err)) return SysPathFailure(err, path);
    const DWORD value = attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
    if (SetFileAttributesW(p.c_str(), value)) return {};
    return Failure(GetLastError(), path);
}

std::optional<std::uint32_t> WinFiles::GetAttributes(const std::string& path) {
    std::wstring p;
    DWORD err = ERROR_SUCCESS;
    if (!SysPath(path, p, err)) return std::nullopt;
    DWORD attributes = GetFileAttributesW(p.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return std::nullopt;
    return attributes;
}

std::int64_t WinFiles::Size(const std::string& path) {
    std::wstring p;
    DWORD err = ERROR_SUCCESS;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!SysPath(path, p, err) || !Attributes(p, data)) return -1;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return -1;
    return SizeOf(data.nFileSizeHigh, data.nFileSizeLow);
}

std::optional<FileStamp> WinFiles::Stamp(const std::string& path) {
    std::wstring p;
    DWORD err = ERROR_SUCCESS;
    if (!SysPath(path, p, err)) return std::nullopt;
    // Attributes only: no sharing conflict with a holder that shares nothing.
    Handle file(CreateFileW(p.c_str(), FILE_READ_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!file.valid() || !GetFileInformationByHandle(file.get(), &info)) return std::nullopt;
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return std::nullopt;
    return FileStamp{std::to_string(info.dwVolumeSerialNumber) + ":" +
                         std::to_string((static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow),
                     SizeOf(info.nFileSizeHigh, info.nFileSizeLow),
                     static_cast<std::int64_t>((static_cast<std::uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
                                               info.ftLastWriteTime.dwLowDateTime)};
}

FileTimes WinFiles::Times(const std::string& path) {
    std::wstring p;
    DWORD err = ERROR_SUCCESS;
    if (!SysPath(path, p, err)) return {};
    // Opened sharing nothing: the times of a file another process holds stay empty.
    Handle file(CreateFileW(p.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return {};
    FILETIME created{}, access{}, write{};
    if (!GetFileTime(file.get(), &created, &access, &write)) return {};
    return {ToLocal(created), ToLocal(access), ToLocal(write)};
}

std::vector<DirEntry> WinFiles::List(const std::string& folder) {
    std::vector<DirEntry> entries;
    std::wstring p;
    DWORD err = ERROR_SUCCESS;
    if (!SysPath(folder, p, err)) return entries;
    if (p.back() != L'\\' && p.back() != L'/') p += L'\\';
    p += L'*';
    WIN32_FIND_DATAW found{};
    HANDLE find = FindFirstFileExW(p.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                   nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) return entries;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        DirEntry entry;
        entry.name = Utf8(name);
        entry.isDirectory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        entry.size = entry.isDirectory ? 0 : SizeOf(found.nFileSizeHigh, found.nFileSizeLow);
        entry.times = {ToLocal(found.ftCreationTime), ToLocal(found.ftLastAccessTime),
                       ToLocal(found.ftLastWriteTime)};
        entries.push_back(std::move(entry));
    } while (FindNextFileW(find, &found));
    FindClose(find);
    std::sort(entries.begin(), entries.end(),
              [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
    return entries;
}

bool WinFiles::IsRemote(const std::string& path) {
    std::wstring p;
    if (!WidePath(path, p)) return false;
    if (p.size() == 2 && p[1] == L':') {
        // The list of drive roots into 64 characters; a list that does not fit gives none.
        wchar_t drives[64] = {};
        DWORD n = GetLogicalDriveStringsW(64, drives);
        if (n == 0 || n > 64) return false;
        return IsNetworkDriveIn(std::wstring(drives, n), p,
                                [](const std::wstring& root) { return GetDriveTypeW(root.c_str()); });
    }
    if (StartsWith(p, L"\\\\?\\UNC\\")) return true;
    if (StartsWith(p, L"\\\\?\\") || StartsWith(p, L"\\\\.\\")) p = p.substr(4);
    else if (StartsWith(p, L"\\\\")) return true;
    if (p.size() < 2 || p[1] != L':') {
        wchar_t full[MAX_PATH];
        DWORD n = GetFullPathNameW(p.c_str(), MAX_PATH, full, nullptr);
        if (n == 0 || n >= MAX_PATH) return false;
        p.assign(full, n);
        if (StartsWith(p, L"\\\\")) return true;
        if (p.size() < 2 || p[1] != L':') return false;
    }
    const std::wstring root = p.substr(0, 2) + L"\\";
    return GetDriveTypeW(root.c_str()) == DRIVE_REMOTE;
}

std::unique_ptr<ITextFile> WinFiles::OpenText(const std::string& path, bool append) {
    std::wstring p;
    DWORD err = ERROR_SUCCESS;
    if (!SysPath(path, p, err)) return nullptr;
    HANDLE file = CreateFileW(p.c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<WinTextFile>(file);
}

std::unique_ptr<IReadFile> WinFiles::OpenRead(const std::string& path) {
    std::wstring p;
    DWORD err = ERROR_SUCCESS;
    if (!SysPath(path, p, err)) return nullptr;
    Handle file(CreateFileW(p.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file.valid() || !GetFileSizeEx(file.get(), &size) || size.QuadPart < 0) return nullptr;
    return std::make_unique<WinReadFile>(file.Release(), static_cast<std::uint64_t>(size.QuadPart));
}

std::optional<std::string> WinFiles::ReadAll(const std::string& path, std::size_t maxBytes) {
    std::wstring p;
    DWORD err = ERROR_SUCCESS;
    if (!SysPath(path, p, err)) return std::nullopt;
    Handle file(CreateFileW(p.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file.valid() || !GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 ||
        static_cast<std::uint64_t>(size.QuadPart) > maxBytes)
        return std::nullopt;
    std::string content;
    char buf[65536];
    for (;;) {
        DWORD n = 0;
        if (!ReadFile(file.get(), buf, sizeof buf, &n, nullptr)) return std::nullopt;
        if (n == 0) break;
        if (content.size() + n > maxBytes) return std::nullopt;
        content.append(buf, n);
    }
    return content;
}

FsStatus WinFiles::WriteAtomic(const std::string& path, const std::string& content) {
    std::wstring p;
    DWORD err = ERROR_SUCCESS;
    if (!SysPath(path, p, err)) return SysPathFailure(err, path);
    WIN32_FILE_ATTRIBUTE_DATA existing{};
    if (Attributes(p, existing) && (existing.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return {kErrPermission, "Is a folder: " + path};
    StagedFile out(*this, PathStyle::Windows, path, kCopySuffix, GetCurrentProcessId());
    if (!out.Write(content.data(), content.size()) || !out.Finish() || !out.Commit(true))
        return out.Status();
    return {};
}

std::unique_ptr<IHeldFile> WinFiles::CreateHeld(const std::string& path, FsStatus& status) {
    std::wstring p;
    DWORD err = ERROR_SUCCESS;
    if (!SysPath(path, p, err)) {
        status = SysPathFailure(err, path);
        return nullptr;
    }
    HANDLE file = CreateFileW(p.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        status = Failure(GetLastError(), path);
        return nullptr;
    }
    status = {};
    return std::make_unique<WinHeldFile>(file, p, path);
}

bool WinFiles::RemoveUnheld(const std::string& path) {
    std::wstring p;
    DWORD err = ERROR_SUCCESS;
    if (!SysPath(path, p, err)) return false;
    const DWORD attributes = GetFileAttributesW(p.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
        return false;
    }
    // A live writer holds its file without delete sharing: the deletion fails for it.
    if (attributes & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesW(p.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    if (DeleteFileW(p.c_str())) return true;
    if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(p.c_str(), attributes);
    return false;
}

std::int64_t WinFiles::FreeSpace(const std::string& folder) {
    std::wstring p;
    DWORD err = ERROR_SUCCESS;
    if (!SysPath(folder, p, err)) return -1;
    ULARGE_INTEGER available{};
    if (!GetDiskFreeSpaceExW(p.c_str(), &available, nullptr, nullptr)) return -1;
    return static_cast<std::int64_t>(available.QuadPart);
}

}  // namespace zq::win32
