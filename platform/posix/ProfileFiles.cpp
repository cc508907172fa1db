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
#include <string_view>
#include <thread>
#include <vector>

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

std::string_view TrimView(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
    return s.substr(b, e - b);
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

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t nl = text.find('\n', pos);
        if (nl == std::string::npos) nl = text.size();
        std::string line = text.substr(pos, nl - pos);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        pos = nl + 1;
    }
    return lines;
}

// "[name]" (leading blanks allowed); the name between the brackets, trimmed.
bool SectionName(const std::string& line, std::string_view& name) {
    std::string_view t = TrimView(line);
    if (t.empty() || t[0] != '[') return false;
    std::size_t close = t.find(']');
    if (close == std::string_view::npos) return false;
    name = TrimView(t.substr(1, close - 1));
    return true;
}

// "key=value"; comment lines (";") and lines without "=" hold no key.
bool KeyLine(const std::string& line, std::string_view& key, std::string_view& value) {
    std::string_view t = TrimView(line);
    if (t.empty() || t[0] == ';' || t[0] == '[') return false;
    std::size_t eq = t.find('=');
    if (eq == std::string_view::npos) return false;
    key = TrimView(t.substr(0, eq));
    value = TrimView(t.substr(eq + 1));
    return true;
}

// Index of the first header line of the section, or npos.
std::size_t FindSection(const std::vector<std::string>& lines, const std::string& section) {
    std::string_view name;
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (SectionName(lines[i], name) && SameNoCase(name, TrimView(section))) return i;
    return std::string::npos;
}

std::size_t SectionEnd(const std::vector<std::string>& lines, std::size_t header) {
    std::string_view name;
    std::size_t i = header + 1;
    while (i < lines.size() && !SectionName(lines[i], name)) ++i;
    return i;
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
            std::vector<std::string> lines = SplitLines(text);
            std::size_t header = FindSection(lines, section);
            if (header != std::string::npos) {
                std::size_t end = SectionEnd(lines, header);
                std::string_view k, v;
                for (std::size_t i = header + 1; i < end; ++i) {
                    if (KeyLine(lines[i], k, v) && SameNoCase(k, TrimView(key))) {
                        // Matching quotes around the whole value are not part of it.
                        if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
                            v = v.substr(1, v.size() - 2);
                        result = std::string(v);
                        break;
                    }
                }
            }
        }
    }
    if (result.size() > bufferSize - 1) result.resize(bufferSize - 1);
    return result;
}

bool ProfileFiles::WriteString(const std::string& section, const std::string& key,
                               const std::string& value, const std::string& file) {
    // Names that would change the file's structure cannot be written.
    if (section.find_first_of(std::string("\r\n\0]", 4)) != std::string::npos) {
        Warn(file, "section name with a line break or ']' not written");
        return false;
    }
    std::string_view trimmedKey = TrimView(key);
    if (trimmedKey.empty() || trimmedKey[0] == ';' || trimmedKey[0] == '[' ||
        key.find_first_of(std::string("\r\n\0=", 4)) != std::string::npos) {
        Warn(file, "key name empty or with a line break or '=' not written");
        return false;
    }
    std::string rawValue = value.substr(0, value.find('\0'));
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
    std::vector<std::string> lines = SplitLines(text);
    std::string entry = key + "=" + rawValue;
    std::size_t header = FindSection(lines, section);
    if (header == std::string::npos) {
        lines.push_back("[" + section + "]");
        lines.push_back(entry);
    } else {
        std::size_t end = SectionEnd(lines, header);
        std::string_view k, v;
        std::size_t found = end;
        for (std::size_t i = header + 1; i < end; ++i) {
            if (KeyLine(lines[i], k, v) && SameNoCase(k, trimmedKey)) {
                found = i;
                break;
            }
        }
        if (found < end) lines[found] = entry;
        else lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(end), entry);
    }
    std::string out;
    for (const std::string& line : lines) out += line + "\r\n";
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
