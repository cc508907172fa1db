#include "platform/posix/ProfileFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>
#include <thread>
#include <vector>

#include "common/IniText.h"
#include "common/Utf8.h"
#include "platform/posix/StoreText.h"

namespace zq::posix {

namespace {

constexpr std::size_t kMaxFileBytes = 16u << 20;
constexpr auto kLockWait = std::chrono::seconds(15);

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { Reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    void Reset(int fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_;
};

void Warn(const std::string& file, const std::string& why) {
    std::fprintf(stderr, "profile file %s: %s\n", file.c_str(), why.c_str());
}

// Reads the whole file from an open descriptor; false when it is too large or unreadable.
bool ReadAll(int fd, const std::string& file, std::string& raw) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        Warn(file, std::strerror(errno));
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        Warn(file, "not a regular file");
        return false;
    }
    if (static_cast<std::size_t>(st.st_size) > kMaxFileBytes) {
        Warn(file, "file too large, left as it is");
        return false;
    }
    raw.assign(static_cast<std::size_t>(st.st_size), '\0');
    std::size_t got = 0;
    while (got < raw.size()) {
        ssize_t n = ::pread(fd, raw.data() + got, raw.size() - got, static_cast<off_t>(got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            Warn(file, std::string("cannot be read: ") + std::strerror(errno));
            return false;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    raw.resize(got);
    return true;
}

std::string TrimTrailingBlanks(std::string s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
    return s;
}

bool SameFile(int fd, const std::string& path) {
    struct stat a {}, b {};
    return ::fstat(fd, &a) == 0 && ::stat(path.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}

// The file the name leads to, so that replacing it keeps a symbolic link intact.
std::string ResolveTarget(const std::string& file) {
    struct stat st {};
    if (::lstat(file.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char buf[PATH_MAX];
        if (::realpath(file.c_str(), buf)) return buf;
        // A link to a file not made yet: the file is created where the link points.
        ssize_t n = ::readlink(file.c_str(), buf, sizeof buf - 1);
        if (n > 0) {
            std::string to(buf, static_cast<std::size_t>(n));
            if (to[0] == '/') return to;
            std::size_t slash = file.rfind('/');
            return slash == std::string::npos ? to : file.substr(0, slash + 1) + to;
        }
    }
    return file;
}

std::string FolderOf(const std::string& path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

}  // namespace

std::string ProfileFiles::GetString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue, std::size_t bufferSize,
                                    const std::string& file) {
    if (bufferSize == 0) return "";
    std::string result = TrimTrailingBlanks(defaultValue);
    Fd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    std::string raw, text;
    TextForm form;
    if (fd.get() >= 0 && ReadAll(fd.get(), file, raw)) {
        if (!DecodeText(raw, form, text)) {
            Warn(file, "UTF-16 text of odd length");
        } else {
            if (form == TextForm::Plain) text = DecodeIni(text, DetectIniEncoding(text, IniEncoding::Utf8));
            if (std::optional<std::string> v = IniLookup(IniLines(text), section, key)) result = *v;
        }
    }
    // Cut by characters, as the buffer of the wide-character function counts them.
    result = FirstChars(result, bufferSize - 1);
    return result;
}

bool ProfileFiles::WriteString(const std::string& section, const std::string& key,
                               const std::string& value, const std::string& file) {
    // Names and values that would change the file's structure cannot be written.
    const std::string rawValue = value;
    {
        std::vector<std::string> probe;
        if (!IniSet(probe, section, key, rawValue)) {
            Warn(file, "section, key or value with a line break, NUL, ']' or '=' not written");
            return false;
        }
    }
    const std::string target = ResolveTarget(file);

    // Writers lock the file itself; a writer that got the lock on a file meanwhile replaced
    // by another writer starts again on the new one.
    Fd fd;
    bool created = false;
    auto deadline = std::chrono::steady_clock::now() + kLockWait;
    auto pause = std::chrono::microseconds(100);
    while (true) {
        created = false;
        int f = ::open(target.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY);
        if (f < 0 && errno == ENOENT) {
            f = ::open(target.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
            // Made by another writer just now; a dangling link gives the same, so bound it.
            if (f < 0 && errno == EEXIST && std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(pause);
                continue;
            }
            created = f >= 0;
        }
        if (f < 0) {
            Warn(file, std::string("cannot be written: ") + std::strerror(errno));
            return false;
        }
        fd.Reset(f);
        bool locked = false;
        while (!(locked = ::flock(fd.get(), LOCK_EX | LOCK_NB) == 0)) {
            if (errno != EWOULDBLOCK && errno != EINTR) break;
            if (std::chrono::steady_clock::now() > deadline) break;
            std::this_thread::sleep_for(pause);
            if (pause < std::chrono::milliseconds(5)) pause *= 2;
        }
        if (!locked) {
            Warn(file, "held by another writer for too long, not written");
            return false;
        }
        if (SameFile(fd.get(), target)) break;
        if (std::chrono::steady_clock::now() > deadline) {
            Warn(file, "keeps being replaced, not written");
            return false;
        }
    }
    RemoveStaleTemporaries(target);
    auto giveUp = [&](const std::string& why) {
        if (created) ::unlink(target.c_str());
        Warn(file, why);
        return false;
    };

    std::string raw, text;
    TextForm form;
    if (!ReadAll(fd.get(), file, raw)) return giveUp("not written");
    if (!DecodeText(raw, form, text)) return giveUp("UTF-16 text of odd length, not written");
    IniEncoding encoding = IniEncoding::Utf8;
    if (form == TextForm::Plain) {
        encoding = DetectIniEncoding(text, IniEncoding::Utf8);
        text = DecodeIni(text, encoding);
    } else if (form == TextForm::Utf16LeBom && DecodeUtf16Le(Utf8ToUtf16Le(rawValue)) != rawValue) {
        // The file could not give this value back as it was written.
        return giveUp("value that UTF-16 cannot hold as written, not written");
    }
    std::vector<std::string> lines = IniLines(text);
    (void)IniSet(lines, section, key, rawValue);
    std::string out = IniJoin(lines);
    if (form == TextForm::Plain) out = EncodeIni(out, encoding);
    out = EncodeText(out, form);
    if (out == raw) return true;

    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return giveUp(std::strerror(errno));
    std::string tmpl = target + ".tmp-XXXXXX";
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    int t = ::mkstemp(name.data());
    if (t < 0) return giveUp(std::string("cannot be written: ") + std::strerror(errno));
    if (::geteuid() == 0 && ::fchown(t, st.st_uid, st.st_gid) != 0) {
        // Ownership is kept where possible; a failure leaves the file to root.
    }
    bool ok = ::fchmod(t, st.st_mode & 07777) == 0 && WriteAll(t, out) && ::fsync(t) == 0;
    int err = errno;
    ok = (::close(t) == 0) && ok;
    if (ok && ::rename(name.data(), target.c_str()) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        ::unlink(name.data());
        return giveUp(std::string("cannot be written: ") + std::strerror(err));
    }
    Fd dir(::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) ::fsync(dir.get());
    return true;
}

void ProfileFiles::RemoveLeftovers(const std::string& file) {
    const std::string target = ResolveTarget(file);
    // Under the lock writers take; a writer busy for long only postpones this to a later start.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    do {
        Fd fd(::open(target.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
        if (fd.get() < 0) return;
        while (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
            if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() > deadline)
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (SameFile(fd.get(), target)) {
            RemoveStaleTemporaries(target);
            return;
        }
    } while (std::chrono::steady_clock::now() < deadline);
}

}  // namespace zq::posix
