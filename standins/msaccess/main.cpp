// Stands in for the database program the system starts:
//   msaccess.exe "<data file>" /repair /compact
//       holds the file exclusively for the whole run (its lock file and the file itself
//       under exclusive flocks), checks it, compacts it in place with SQLite's journal
//   msaccess.exe /runtime "<front end>" <arguments>
//       opens the front end and reports its version and the arguments it got
// ZEQUORA_STANDIN_LOG names a file that gets one line per run; ZEQUORA_STANDIN_DELAY_MS keeps
// the file held that long before the work starts; ZEQUORA_STANDIN_WAIT_MS bounds the wait for
// a file that others still hold (default 10000). Scratch files go to $SQLITE_TMPDIR, $TMPDIR or
// /var/tmp; each run first removes those that killed runs left there.
#include <dirent.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix/LockFile.h"
#include "platform/posix/SqliteEngine.h"

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
    if (const char* path = std::getenv("ZEQUORA_STANDIN_LOG"); path && *path) {
        std::ofstream out(path, std::ios::app | std::ios::binary);
        out << line << "\n";
    }
}

int Fail(int code, const std::string& message) {
    std::cerr << "msaccess.exe: " << message << "\n";
    Log("failed (" + std::to_string(code) + "): " + message);
    return code;
}

void SleepMs(long ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

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

// Writes the compacted copy of the file into target (an empty file). Reads the file only.
int CompactInto(const std::string& path, const std::string& target, std::string& error) {
    sqlite3* db = OpenConnection(path, SQLITE_OPEN_READONLY, error);
    if (!db) return SQLITE_CANTOPEN;
    sqlite3_busy_timeout(db, 10000);
    // The copy is scratch until it has been copied back under the journal; no need to sync it.
    int rc = Exec(db, "PRAGMA synchronous = OFF", error);
    sqlite3_stmt* stmt = nullptr;
    if (rc == SQLITE_OK) rc = sqlite3_prepare_v2(db, "VACUUM INTO ?1", -1, &stmt, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_bind_text(stmt, 1, target.c_str(), -1, SQLITE_TRANSIENT);
        rc = sqlite3_step(stmt);
        if (rc == SQLITE_DONE) rc = SQLITE_OK;
    }
    if (rc != SQLITE_OK && error.empty()) error = sqlite3_errmsg(db);
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return rc;
}

// Copies the compacted pages over the file through SQLite's backup, one transaction under
// the rollback journal: killed at any moment, the next opener finds the old file or the new.
int CopyBack(sqlite3* dest, const std::string& compacted, std::string& error) {
    sqlite3* source = OpenConnection(compacted, SQLITE_OPEN_READONLY, error);
    if (!source) return SQLITE_CANTOPEN;
    // Once open, the scratch file needs no name any more: a kill leaves nothing behind.
    unlink(compacted.c_str());
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

// The file change counter of the database header, which every committed write changes.
std::string ChangeCounter(int fd) {
    char bytes[4] = {};
    return pread(fd, bytes, sizeof bytes, 24) == 4 ? std::string(bytes, 4) : std::string();
}

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
void RemoveLeftoverScratch(const std::string& folder) {
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
int ScratchFile(std::string& name) {
    std::string pattern = ScratchFolder() + "/" + kScratchPrefix + "XXXXXX";
    for (int attempt = 0; attempt < 10; ++attempt) {
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        int fd = mkostemp(buf.data(), O_CLOEXEC);
        if (fd < 0) return -1;
        // Another run's clean-up may have taken it before our lock: make another.
        if (flock(fd, LOCK_EX | LOCK_NB) == 0 && SameFile(fd, buf.data())) {
            name = buf.data();
            return fd;
        }
        close(fd);
    }
    errno = EBUSY;
    return -1;
}

int RepairCompact(const std::string& path) {
    const long waitMs = EnvMs("ZEQUORA_STANDIN_WAIT_MS", 10000);
    const long delayMs = EnvMs("ZEQUORA_STANDIN_DELAY_MS", 0);
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return Fail(kExitNotADatabase, "'" + path + "' not found");
    if (!S_ISREG(st.st_mode)) return Fail(kExitNotADatabase, "'" + path + "' is not a file");
    const auto sizeBefore = static_cast<long long>(st.st_size);
    RemoveLeftoverScratch(ScratchFolder());

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
    int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return Fail(kExitFailed, "cannot open '" + path + "': " + std::strerror(errno));
    while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK || std::chrono::steady_clock::now() >= deadline) {
            close(fd);
            return Fail(kExitInUse, "'" + path + "' is in use by another process");
        }
        SleepMs(100);
    }
    // Our descriptor stays open until SQLite has closed: closing it earlier would drop
    // SQLite's own locks on the file.
    int result = 0;
    {
        char header[16] = {};
        ssize_t n = pread(fd, header, sizeof header, 0);
        Db db;
        std::string error;
        if (n != static_cast<ssize_t>(sizeof header) ||
            std::memcmp(header, "SQLite format 3", 16) != 0) {
            result = Fail(kExitNotADatabase,
                          "'" + path + "' is not a database of this format; left unchanged");
        } else if (sqlite3_open_v2(path.c_str(), &db.handle, SQLITE_OPEN_READWRITE, nullptr) !=
                   SQLITE_OK) {
            result = Fail(kExitFailed, "cannot open '" + path + "': " +
                                           (db.handle ? sqlite3_errmsg(db.handle) : "out of memory"));
        } else {
            sqlite3_busy_timeout(db.handle, static_cast<int>(std::min(waitMs, 600000L)));
            // The first read also rolls back what a killed earlier run left in the journal.
            int rc = Exec(db.handle, "SELECT count(*) FROM sqlite_master", error);
            std::string scratch;
            int scratchFd = -1;
            if (rc != SQLITE_OK) {
                int code = (rc & 0xff) == SQLITE_BUSY ? kExitInUse
                           : ((rc & 0xff) == SQLITE_NOTADB || (rc & 0xff) == SQLITE_CORRUPT)
                               ? kExitDamaged
                               : kExitFailed;
                result = Fail(code, "cannot read '" + path + "': " + error);
            } else if ((scratchFd = ScratchFile(scratch)) < 0) {
                result = Fail(kExitFailed, std::string("cannot make a scratch file: ") + std::strerror(errno));
            } else {
                const std::string counter = ChangeCounter(fd);
                if (delayMs > 0) SleepMs(delayMs);
                // Check and compacted copy side by side; both only read the file.
                std::string findings;
                std::thread checker(RunChecker, path, std::ref(findings));
                rc = CompactInto(path, scratch, error);
                checker.join();
                if (!findings.empty()) {
                    result = Fail(kExitDamaged, "'" + path + "' is damaged; left unchanged: " + findings);
                } else if (rc != SQLITE_OK) {
                    int code = ((rc & 0xff) == SQLITE_CORRUPT || (rc & 0xff) == SQLITE_NOTADB)
                                   ? kExitDamaged
                                   : kExitFailed;
                    result = Fail(code, "compaction of '" + path + "' failed; left unchanged: " + error);
                } else if (ChangeCounter(fd) != counter) {
                    // Only a program outside the lock-file protocol can have written meanwhile.
                    result = Fail(kExitInUse, "'" + path + "' was changed by another program during the "
                                              "compaction; left as it is");
                } else if ((rc = CopyBack(db.handle, scratch, error)) != SQLITE_OK) {
                    result = Fail(kExitFailed, "compaction of '" + path + "' failed: " + error);
                }
                unlink(scratch.c_str());
                close(scratchFd);
            }
            if (sqlite3_close(db.handle) != SQLITE_OK && result == 0)
                result = Fail(kExitFailed, "closing '" + path + "' failed");
            db.handle = nullptr;
        }
    }
    close(fd);
    lock->Release();
    if (result == 0) {
        long long sizeAfter = stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
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
    std::vector<std::string> args(argv + 1, argv + argc);
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
