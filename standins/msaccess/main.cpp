// Stands in for the database program the system starts:
//   msaccess.exe "<data file>" /repair /compact
//       holds the file exclusively for the whole run (its lock file and the file itself
//       under exclusive flocks), checks it, compacts it into a new file beside it and puts
//       that in the data file's place only when complete, as the database program does
//   msaccess.exe /runtime "<front end>" <arguments>
//       opens the front end and reports its version and the arguments it got
// The new file has the folder's default owner and rights instead of the data file's own.
// ZEQUORA_STANDIN_NEW_FILE=0 compacts in place instead, copying the result back over the file
// with SQLite's journal (a kill then leaves the undo record beside the file).
// ZEQUORA_STANDIN_EXIT=<code> ends a repair and compaction at once with that code, the file
// untouched, as a database program that fails or is ended from outside does.
// ZEQUORA_STANDIN_LOG names a file that gets one line per run; ZEQUORA_STANDIN_DELAY_MS keeps
// the file held that long before the work starts; ZEQUORA_STANDIN_WAIT_MS bounds the wait for
// a file that others still hold (default 10000). Scratch files go to $SQLITE_TMPDIR, $TMPDIR or
// /var/tmp (Windows: the temporary folder); on Linux each run first removes those that killed
// runs left there.
// The Windows build holds the files under Windows' sharing rules instead of flocks: the lock
// file and the data file (through SQLite's own handle) sharing nothing, so nobody else can
// open, rename or delete them meanwhile.
#include <sqlite3.h>
#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix/LockFile.h"
#include "platform/posix/SqliteEngine.h"
#ifdef _WIN32
#include "platform/win32/WinText.h"
#endif

namespace {

constexpr int kExitUsage = 1;
constexpr int kExitNotADatabase = 2;
constexpr int kExitDamaged = 3;
constexpr int kExitInUse = 4;
constexpr int kExitFailed = 5;

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

long EnvMs(const char* name, long fallback) {
    const char* v = std::getenv(name);
    if (!v || !*v) return fallback;
    char* end = nullptr;
    long n = std::strtol(v, &end, 10);
    if (*end != '\0' || n < 0) return fallback;
    return std::min(n, 3600L * 1000);
}

void Log(const std::string& line) {
#ifdef _WIN32
    const wchar_t* path = _wgetenv(L"ZEQUORA_STANDIN_LOG");  // any name, not only ANSI ones
#else
    const char* path = std::getenv("ZEQUORA_STANDIN_LOG");
#endif
    if (path && *path) {
        std::ofstream out(std::filesystem::path(path), std::ios::app | std::ios::binary);
        out << line << "\n";
    }
}

int Fail(int code, const std::string& message) {
    std::cerr << "msaccess.exe: " << message << "\n";
    Log("failed (" + std::to_string(code) + "): " + message);
    return code;
}

void SleepMs(long ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Paths are UTF-8 on both systems.
std::filesystem::path FsPath(const std::string& path) {
    return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

void RemoveFile(const std::string& path) {
    std::error_code ec;
    std::filesystem::remove(FsPath(path), ec);
}

#ifdef _WIN32

using zq::win32::Wide;

std::string Utf8(const wchar_t* w) { return zq::win32::Utf8(std::wstring(w)); }

// The data file held for the run: others can neither rename nor delete it meanwhile.
class HeldFile {
public:
    HeldFile() = default;
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;
    ~HeldFile() { Release(); }
    void Release() {
        if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
        h_ = INVALID_HANDLE_VALUE;
    }
    // True when held; inUse tells a file that others hold from another failure.
    bool Take(const std::string& path, bool& inUse, std::string& error) {
        h_ = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h_ != INVALID_HANDLE_VALUE) return true;
        DWORD code = GetLastError();
        inUse = code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION;
        error = "cannot open '" + path + "' (Windows error " + std::to_string(code) + ")";
        return false;
    }
    std::string ReadAt(long long offset, std::size_t n) {
        std::string bytes(n, '\0');
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset & 0xffffffff);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD got = 0;
        if (!ReadFile(h_, bytes.data(), static_cast<DWORD>(n), &got, &at) || got != n) return {};
        return bytes;
    }

private:
    HANDLE h_ = INVALID_HANDLE_VALUE;
};

// Killed runs leave their scratch files in the temporary folder, which Windows cleans itself.
void RemoveLeftoverScratch() {}

// An empty scratch file for the compacted copy; holder is unused on Windows.
std::string ScratchFile(int& holder) {
    holder = -1;
    wchar_t dir[MAX_PATH + 1] = {};
    wchar_t name[MAX_PATH + 1] = {};
    DWORD n = GetTempPathW(MAX_PATH, dir);
    if (n == 0 || n > MAX_PATH || !GetTempFileNameW(dir, L"zqc", 0, name)) return "";
    return Utf8(name);
}

std::vector<std::string> Arguments(int, char**) {
    // The narrow arguments are in the ANSI code page; the wide ones carry every name.
    std::vector<std::string> out;
    int n = 0;
    if (wchar_t** w = CommandLineToArgvW(GetCommandLineW(), &n)) {
        for (int i = 1; i < n; ++i) out.push_back(Utf8(w[i]));
        LocalFree(w);
    }
    return out;
}

#else

class HeldFile {
public:
    HeldFile() = default;
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;
    ~HeldFile() { Release(); }
    void Release() {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }
    bool Take(const std::string& path, bool& inUse, std::string& error) {
        fd_ = open(path.c_str(), O_RDWR | O_CLOEXEC);
        if (fd_ < 0) {
            inUse = false;
            error = "cannot open '" + path + "': " + std::strerror(errno);
            return false;
        }
        if (flock(fd_, LOCK_EX | LOCK_NB) == 0) return true;
        inUse = errno == EWOULDBLOCK;
        error = "'" + path + "' is in use by another process";
        close(fd_);
        fd_ = -1;
        return false;
    }
    std::string ReadAt(long long offset, std::size_t n) {
        std::string bytes(n, '\0');
        return pread(fd_, bytes.data(), n, offset) == static_cast<ssize_t>(n) ? bytes : std::string();
    }

private:
    int fd_ = -1;
};

constexpr const char* kScratchPrefix = "zq-compact-";
constexpr const char* kJournalSuffix = "-journal";

std::string ScratchFolder() {
    const char* dir = std::getenv("SQLITE_TMPDIR");
    if (!dir || !*dir) dir = std::getenv("TMPDIR");
    return dir && *dir ? dir : "/var/tmp";
}

bool SameFile(int fd, const std::string& path) {
    struct stat a {}, b {};
    return fstat(fd, &a) == 0 && lstat(path.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}

// A scratch file: the prefix and six characters of mkstemp, or SQLite's journal of one.
bool IsScratchName(const std::string& name, bool& journal) {
    const std::size_t prefix = std::strlen(kScratchPrefix), suffix = std::strlen(kJournalSuffix);
    if (name.compare(0, prefix, kScratchPrefix) != 0) return false;
    journal = name.size() == prefix + 6 + suffix && name.compare(prefix + 6, suffix, kJournalSuffix) == 0;
    if (name.size() != prefix + 6 && !journal) return false;
    for (std::size_t i = prefix; i < prefix + 6; ++i)
        if (!std::isalnum(static_cast<unsigned char>(name[i]))) return false;
    return true;
}

// Removes the scratch files of compactions that were killed. A running compaction keeps an
// flock on its scratch file, so only files whose holder is gone can be taken.
void RemoveLeftoverScratch() {
    const std::string folder = ScratchFolder();
    std::vector<std::string> mains, journals;
    if (DIR* dir = opendir(folder.c_str())) {
        while (struct dirent* e = readdir(dir)) {
            bool journal = false;
            if (IsScratchName(e->d_name, journal)) (journal ? journals : mains).emplace_back(e->d_name);
        }
        closedir(dir);
    }
    const uid_t me = geteuid();
    auto ours = [me](const struct stat& st) { return S_ISREG(st.st_mode) && st.st_uid == me; };
    for (const std::string& name : mains) {
        const std::string path = folder + "/" + name;
        int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat st {};
        if (fstat(fd, &st) == 0 && ours(st) && flock(fd, LOCK_EX | LOCK_NB) == 0 && SameFile(fd, path))
            unlink(path.c_str());
        close(fd);
    }
    for (const std::string& name : journals) {
        const std::string path = folder + "/" + name;
        const std::string main = path.substr(0, path.size() - std::strlen(kJournalSuffix));
        struct stat st {};
        if (lstat(main.c_str(), &st) != 0 && errno == ENOENT && lstat(path.c_str(), &st) == 0 && ours(st))
            unlink(path.c_str());
    }
}

// An empty scratch file for the compacted copy, its name in name. The descriptor holds the
// file's flock until the end of the run, so another run's clean-up leaves it alone.
std::string ScratchFile(int& holder) {
    std::string name;
    std::string pattern = ScratchFolder() + "/" + kScratchPrefix + "XXXXXX";
    for (int attempt = 0; attempt < 10; ++attempt) {
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        int fd = mkostemp(buf.data(), O_CLOEXEC);
        if (fd < 0) return "";
        // Another run's clean-up may have taken it before our lock: make another.
        if (flock(fd, LOCK_EX | LOCK_NB) == 0 && SameFile(fd, buf.data())) {
            holder = fd;
            return buf.data();
        }
        close(fd);
    }
    errno = EBUSY;
    return "";
}

std::vector<std::string> Arguments(int argc, char** argv) { return std::vector<std::string>(argv + 1, argv + argc); }

#endif

std::string Text(const zq::dao::Value& v) {
    if (auto* s = std::get_if<std::string>(&v)) return *s;
    if (auto* i = std::get_if<std::int64_t>(&v)) return std::to_string(*i);
    if (auto* d = std::get_if<double>(&v)) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%g", *d);
        return buf;
    }
    return "";
}

struct Db {
    sqlite3* handle = nullptr;
    ~Db() {
        if (handle) sqlite3_close_v2(handle);
    }
};

int Exec(sqlite3* db, const char* sql, std::string& error) {
    char* msg = nullptr;
    int rc = sqlite3_exec(db, sql, nullptr, nullptr, &msg);
    if (rc != SQLITE_OK) error = msg ? msg : sqlite3_errstr(rc);
    sqlite3_free(msg);
    return rc;
}

// The check's findings; empty when the file is sound.
std::string CheckIntegrity(sqlite3* db) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA quick_check(20)", -1, &stmt, nullptr) != SQLITE_OK)
        return sqlite3_errmsg(db);
    std::string findings;
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
        std::string line = t ? t : "";
        if (line != "ok") findings += (findings.empty() ? "" : "; ") + line;
    }
    if (rc != SQLITE_DONE && findings.empty()) findings = sqlite3_errmsg(db);
    sqlite3_finalize(stmt);
    return findings;
}

// Opens a connection; nullptr with the reason in error.
sqlite3* OpenConnection(const std::string& path, int flags, std::string& error) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) == SQLITE_OK) return db;
    error = db ? sqlite3_errmsg(db) : "out of memory";
    sqlite3_close(db);
    return nullptr;
}

#ifndef _WIN32
// The check of the file, on its own connection so that it runs alongside the compaction.
void RunChecker(const std::string& path, std::string& findings) {
    std::string error;
    sqlite3* db = OpenConnection(path, SQLITE_OPEN_READONLY, error);
    if (!db) {
        findings = "cannot be read: " + error;
        return;
    }
    sqlite3_busy_timeout(db, 10000);
    findings = CheckIntegrity(db);
    sqlite3_close(db);
}
#endif

// Writes the compacted copy of the connection's database into target (an empty file).
int VacuumInto(sqlite3* db, const std::string& target, std::string& error) {
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(db, "VACUUM INTO ?1", -1, &stmt, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_bind_text(stmt, 1, target.c_str(), -1, SQLITE_TRANSIENT);
        rc = sqlite3_step(stmt);
        if (rc == SQLITE_DONE) rc = SQLITE_OK;
    }
    if (rc != SQLITE_OK && error.empty()) error = sqlite3_errmsg(db);
    sqlite3_finalize(stmt);
    return rc;
}

#ifndef _WIN32
// Writes the compacted copy of the file into target on a connection of its own. Reads the
// file only.
int CompactInto(const std::string& path, const std::string& target, std::string& error) {
    sqlite3* db = OpenConnection(path, SQLITE_OPEN_READONLY, error);
    if (!db) return SQLITE_CANTOPEN;
    sqlite3_busy_timeout(db, 10000);
    // The copy is scratch until it has been copied back under the journal; no need to sync it.
    int rc = Exec(db, "PRAGMA synchronous = OFF", error);
    if (rc == SQLITE_OK) rc = VacuumInto(db, target, error);
    sqlite3_close(db);
    return rc;
}
#endif

// Checks the file (findings empty when sound) and writes its compacted copy into scratch.
// Linux: side by side on connections of their own, which only read the file. Windows: on the
// holding connection one after the other, since it holds the file sharing nothing.
int CheckAndCompact(sqlite3* db, const std::string& path, const std::string& scratch,
                    std::string& findings, std::string& error) {
#ifdef _WIN32
    (void)path;
    findings = CheckIntegrity(db);
    return findings.empty() ? VacuumInto(db, scratch, error) : SQLITE_OK;
#else
    (void)db;
    std::thread checker(RunChecker, path, std::ref(findings));
    int rc = CompactInto(path, scratch, error);
    checker.join();
    return rc;
#endif
}

// Copies the compacted pages over the file through SQLite's backup, one transaction under
// the rollback journal: killed at any moment, the next opener finds the old file or the new.
int CopyBack(sqlite3* dest, const std::string& compacted, std::string& error) {
    sqlite3* source = OpenConnection(compacted, SQLITE_OPEN_READONLY, error);
    if (!source) return SQLITE_CANTOPEN;
#ifndef _WIN32
    // Once open, the scratch file needs no name any more: a kill leaves nothing behind.
    // (Windows cannot remove a file that is open; the caller removes it afterwards.)
    unlink(compacted.c_str());
#endif
    int rc = SQLITE_ERROR;
    if (sqlite3_backup* backup = sqlite3_backup_init(dest, "main", source, "main")) {
        do {
            rc = sqlite3_backup_step(backup, -1);
        } while (rc == SQLITE_BUSY || rc == SQLITE_LOCKED);
        int finish = sqlite3_backup_finish(backup);
        if (rc == SQLITE_DONE) rc = finish;
    } else {
        rc = sqlite3_errcode(dest);
    }
    if (rc != SQLITE_OK) error = sqlite3_errmsg(dest);
    sqlite3_close(source);
    return rc;
}

// A new file beside the data file with the compacted copy's bytes, made as any new file of
// the folder is (its default owner and rights). Empty on failure, with the reason in error.
std::string WriteNewFile(const std::string& path, const std::string& compacted, std::string& error) {
    const std::string target = path + ".zqnew";
    std::ifstream in(FsPath(compacted), std::ios::binary);
    std::ofstream out(FsPath(target), std::ios::binary | std::ios::trunc);
    out << in.rdbuf();
    out.flush();
    if (in.bad() || !out) {
        error = "cannot write '" + target + "'";
        RemoveFile(target);
        return {};
    }
    return target;
}

// The new file takes the data file's place in one rename.
bool PutInPlace(const std::string& replacement, const std::string& path, std::string& error) {
#ifdef _WIN32
    if (MoveFileExW(Wide(replacement).c_str(), Wide(path).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    error = "cannot replace '" + path + "' (Windows error " + std::to_string(GetLastError()) + ")";
#else
    if (std::rename(replacement.c_str(), path.c_str()) == 0) return true;
    error = "cannot replace '" + path + "': " + std::strerror(errno);
#endif
    RemoveFile(replacement);
    return false;
}

int RepairCompact(const std::string& path) {
    if (const long code = EnvMs("ZEQUORA_STANDIN_EXIT", -1); code >= 0) {
        Log("repair/compact ended with " + std::to_string(code) + " untouched: " + path);
        return static_cast<int>(code);
    }
    const long waitMs = EnvMs("ZEQUORA_STANDIN_WAIT_MS", 10000);
    const long delayMs = EnvMs("ZEQUORA_STANDIN_DELAY_MS", 0);
    const bool newFile = EnvMs("ZEQUORA_STANDIN_NEW_FILE", 1) != 0;
    std::string replacement;  // the new file that takes the data file's place at the end
    std::error_code ec;
    const auto status = std::filesystem::status(FsPath(path), ec);
    if (ec || !std::filesystem::exists(status)) return Fail(kExitNotADatabase, "'" + path + "' not found");
    if (!std::filesystem::is_regular_file(status)) return Fail(kExitNotADatabase, "'" + path + "' is not a file");
    const auto sizeBefore = static_cast<long long>(std::filesystem::file_size(FsPath(path), ec));
    RemoveLeftoverScratch();

    // Lock file first, then the data file itself (so that renames and deletes of it fail
    // while we work, as they would on Windows).
    std::unique_ptr<zq::posix::LockFile> lock;
    zq::dao::Error lockError;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
        lock = zq::posix::LockFile::Acquire(path, true, false, lockError);
        if (lock || lockError.number != zq::dao::kErrLockedExclusive ||
            std::chrono::steady_clock::now() >= deadline)
            break;
        SleepMs(100);
    }
    if (!lock) {
        int code = lockError.number == zq::dao::kErrLockedExclusive ? kExitInUse : kExitFailed;
        return Fail(code, lockError.description);
    }
    // Our hold on the file lasts until SQLite has closed: closing it earlier would drop
    // SQLite's own locks on the file.
    HeldFile file;
    for (;;) {
        bool inUse = false;
        std::string error;
        if (file.Take(path, inUse, error)) break;
        if (!inUse || std::chrono::steady_clock::now() >= deadline)
            return Fail(inUse ? kExitInUse : kExitFailed, error);
        SleepMs(100);
    }
    int result = 0;
    {
        const std::string header = file.ReadAt(0, 16);
#ifdef _WIN32
        // From here on SQLite's own handle holds the file sharing nothing: ours would be in
        // its way, and nobody else can write to the file meanwhile.
        file.Release();
        auto changeCounter = [] { return std::string(); };
#else
        // The file change counter of the database header, which every committed write changes.
        auto changeCounter = [&] { return file.ReadAt(24, 4); };
#endif
        int holdingFlags = 0;
        const std::string holdingName = zq::posix::SqliteFileName(path, true, holdingFlags);
        Db db;
        std::string error;
        if (header.size() != 16 || std::memcmp(header.data(), "SQLite format 3", 16) != 0) {
            result = Fail(kExitNotADatabase,
                          "'" + path + "' is not a database of this format; left unchanged");
        } else if (sqlite3_open_v2(holdingName.c_str(), &db.handle, SQLITE_OPEN_READWRITE | holdingFlags,
                                   nullptr) != SQLITE_OK) {
            result = Fail(kExitFailed, "cannot open '" + path + "': " +
                                           (db.handle ? sqlite3_errmsg(db.handle) : "out of memory"));
        } else {
            sqlite3_busy_timeout(db.handle, static_cast<int>(std::min(waitMs, 600000L)));
            // The first read also rolls back what a killed earlier run left in the journal.
            int rc = Exec(db.handle, "SELECT count(*) FROM sqlite_master", error);
            std::string scratch;
            int scratchHolder = -1;
            if (rc != SQLITE_OK) {
                int code = (rc & 0xff) == SQLITE_BUSY ? kExitInUse
                           : ((rc & 0xff) == SQLITE_NOTADB || (rc & 0xff) == SQLITE_CORRUPT)
                               ? kExitDamaged
                               : kExitFailed;
                result = Fail(code, "cannot read '" + path + "': " + error);
            } else if ((scratch = ScratchFile(scratchHolder)).empty()) {
                result = Fail(kExitFailed, std::string("cannot make a scratch file: ") + std::strerror(errno));
            } else {
                const std::string counter = changeCounter();
                if (delayMs > 0) SleepMs(delayMs);
                std::string findings;
                rc = CheckAndCompact(db.handle, path, scratch, findings, error);
                if (!findings.empty()) {
                    result = Fail(kExitDamaged, "'" + path + "' is damaged; left unchanged: " + findings);
                } else if (rc != SQLITE_OK) {
                    int code = ((rc & 0xff) == SQLITE_CORRUPT || (rc & 0xff) == SQLITE_NOTADB)
                                   ? kExitDamaged
                                   : kExitFailed;
                    result = Fail(code, "compaction of '" + path + "' failed; left unchanged: " + error);
                } else if (changeCounter() != counter) {
                    // Only a program outside the lock-file protocol can have written meanwhile.
                    result = Fail(kExitInUse, "'" + path + "' was changed by another program during the "
                                              "compaction; left as it is");
                } else if (newFile) {
                    if ((replacement = WriteNewFile(path, scratch, error)).empty())
                        result = Fail(kExitFailed, "compaction of '" + path + "' failed: " + error);
                } else if ((rc = CopyBack(db.handle, scratch, error)) != SQLITE_OK) {
                    result = Fail(kExitFailed, "compaction of '" + path + "' failed: " + error);
                }
                RemoveFile(scratch);
#ifndef _WIN32
                close(scratchHolder);  // our lock goes only once the file is gone
#endif
            }
            if (sqlite3_close(db.handle) != SQLITE_OK && result == 0)
                result = Fail(kExitFailed, "closing '" + path + "' failed");
            db.handle = nullptr;
        }
    }
    file.Release();
    if (!replacement.empty()) {
        std::string error;
        if (result != 0) RemoveFile(replacement);
        else if (!PutInPlace(replacement, path, error)) result = Fail(kExitFailed, error);
    }
    lock->Release();
    if (result == 0) {
        auto size = std::filesystem::file_size(FsPath(path), ec);
        long long sizeAfter = ec ? -1 : static_cast<long long>(size);
        std::string line = "compacted \"" + path + "\": " + std::to_string(sizeBefore) + " -> " +
                           std::to_string(sizeAfter) + " bytes";
        std::cout << line << "\n";
        Log(line);
    }
    return result;
}

int Runtime(const std::string& frontEnd, const std::vector<std::string>& args) {
    zq::posix::SqliteEngine engine;
    zq::dao::Error error;
    auto db = engine.OpenDatabase(frontEnd, false, true, ";pwd=", error);
    if (!db)
        return Fail(kExitNotADatabase, "cannot open the front end '" + frontEnd + "': " +
                                           std::to_string(error.number) + " " + error.description);
    bool found = false;
    for (const auto& t : db->TableNames()) found = found || Lower(t) == "tbl_intern";
    if (!found) return Fail(kExitDamaged, "the front end '" + frontEnd + "' has no table tbl_Intern");
    auto rs = db->OpenRecordset("tbl_Intern", zq::dao::RecordsetType::Snapshot, error);
    if (!rs) return Fail(kExitDamaged, "tbl_Intern: " + error.description);
    std::string version;
    if (!rs->Eof()) {
        rs->MoveFirst();
        version = Text(rs->Field("VI_Major")) + Text(rs->Field("VI_Minor")) + Text(rs->Field("VI_Beta"));
    }
    rs->Close();
    std::string line = "runtime \"" + frontEnd + "\" version " + (version.empty() ? "?" : version) +
                       " arguments " + std::to_string(args.size()) + ":";
    for (const auto& a : args) line += " [" + a + "]";
    std::cout << line << "\n" << std::flush;
    Log(line);
    // Keeps the front end open for a while, as a running application would.
    if (long delayMs = EnvMs("ZEQUORA_STANDIN_DELAY_MS", 0); delayMs > 0) SleepMs(delayMs);
    db->Close();
    return 0;
}

int Usage() {
    return Fail(kExitUsage,
                "usage: msaccess.exe \"<data file>\" /repair /compact | "
                "msaccess.exe /runtime \"<front end>\" [arguments]");
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args = Arguments(argc, argv);
    if (args.empty()) return Usage();
    if (Lower(args[0]) == "/runtime") {
        if (args.size() < 2 || args[1].empty()) return Usage();
        return Runtime(args[1], std::vector<std::string>(args.begin() + 2, args.end()));
    }
    std::string file;
    bool repair = false, compact = false;
    for (const auto& a : args) {
        std::string l = Lower(a);
        if (l == "/repair") repair = true;
        else if (l == "/compact") compact = true;
        else if (file.empty()) file = a;
        else return Usage();
    }
    if (file.empty() || !(repair || compact)) return Usage();
    return RepairCompact(file);
}
