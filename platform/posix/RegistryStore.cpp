#include "platform/posix/RegistryStore.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <set>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "platform/posix/StoreText.h"

namespace zq::posix {

namespace {

constexpr long kAccessDenied = 5;
constexpr std::size_t kMaxFileBytes = 64u << 20;
constexpr std::size_t kMaxLogicalLine = 8u << 20;
constexpr std::size_t kMaxDataBytes = 1u << 20;
constexpr std::size_t kMaxComponent = 255;
constexpr std::size_t kMaxPath = 32767;
constexpr std::size_t kMaxValueName = 16383;
constexpr auto kLockWait = std::chrono::seconds(15);

const char* const kHeader5 = "Windows Registry Editor Version 5.00";
const char* const kHeader4 = "REGEDIT4";

const char* RootName(RegRoot root) {
    return root == RegRoot::LocalMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

struct Entry {
    bool comment = false;
    std::string text;  // comment line, or value name
    std::uint32_t type = 0;
    std::string data;
    bool operator==(const Entry&) const = default;
};

struct Key {
    std::string path;  // as written, without the root name
    std::vector<Entry> entries;
    bool operator==(const Key&) const = default;
};

struct Model {
    std::vector<std::string> preamble;  // comment lines before the first section
    std::vector<Key> keys;              // sections in file order
    std::unordered_map<std::string, std::size_t> sectionOf;           // folded path -> keys index
    std::unordered_map<std::string, std::string> known;               // folded path -> as written
    std::unordered_map<std::string, std::vector<std::string>> children;  // folded parent -> names

    void Reindex() {
        sectionOf.clear();
        known.clear();
        children.clear();
        known.emplace("", "");
        for (std::size_t i = 0; i < keys.size(); ++i) {
            const std::string& path = keys[i].path;
            sectionOf.emplace(FoldCase(path), i);
            std::size_t start = 0;
            std::string parentFold;
            while (start < path.size()) {
                std::size_t end = path.find('\\', start);
                if (end == std::string::npos) end = path.size();
                std::string prefix = path.substr(0, end);
                std::string fold = FoldCase(prefix);
                if (known.emplace(fold, prefix).second)
                    children[parentFold].push_back(path.substr(start, end - start));
                parentFold = fold;
                start = end + 1;
            }
        }
    }
};

std::string Trimmed(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
    return std::string(s.substr(b, e - b));
}

// Checks a key path and removes leading and trailing separators. False for empty
// components, names with line breaks or NULs, and over-long names.
bool NormalisePath(const std::string& in, std::string& out, std::string& why) {
    std::size_t b = 0, e = in.size();
    while (b < e && in[b] == '\\') ++b;
    while (e > b && in[e - 1] == '\\') --e;
    out = in.substr(b, e - b);
    if (out.size() > kMaxPath) {
        why = "key path too long";
        return false;
    }
    std::size_t start = 0;
    while (start <= out.size() && !out.empty()) {
        std::size_t end = out.find('\\', start);
        if (end == std::string::npos) end = out.size();
        if (end == start) {
            why = "empty key name in path";
            return false;
        }
        if (end - start > kMaxComponent) {
            why = "key name longer than 255 characters";
            return false;
        }
        start = end + 1;
        if (end == out.size()) break;
    }
    if (out.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
        why = "line break or NUL in key path";
        return false;
    }
    return true;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads a quoted text starting at s[i] == '"'; i ends after the closing quote.
bool ParseQuoted(const std::string& s, std::size_t& i, std::string& out, std::string& why) {
    out.clear();
    ++i;
    while (i < s.size()) {
        char c = s[i];
        if (c == '"') {
            ++i;
            return true;
        }
        if (c == '\\') {
            if (i + 1 >= s.size()) break;
            char n = s[i + 1];
            if (n == '\\' || n == '"') out += n;
            else if (n == 'n') out += '\n';
            else if (n == 'r') out += '\r';
            else if (n == '0') out += '\0';
            else {
                why = "unknown escape in quoted text";
                return false;
            }
            i += 2;
            continue;
        }
        out += c;
        ++i;
    }
    why = "quoted text without its closing quote";
    return false;
}

bool ParseHexBytes(std::string_view s, std::string& out, std::string& why) {
    out.clear();
    std::size_t i = 0;
    auto skip = [&] {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    };
    skip();
    while (i < s.size()) {
        int h = HexDigit(s[i]);
        int l = i + 1 < s.size() ? HexDigit(s[i + 1]) : -1;
        if (h < 0 || l < 0) {
            why = "bad hex byte list";
            return false;
        }
        out += static_cast<char>(h * 16 + l);
        i += 2;
        skip();
        if (i == s.size()) break;
        if (s[i] != ',') {
            why = "bad hex byte list";
            return false;
        }
        ++i;
        skip();  // a trailing comma is harmless
    }
    return true;
}

// Parses the data part after "name"=.
bool ParseData(const std::string& s, Entry& e, std::string& why) {
    if (!s.empty() && s[0] == '"') {
        std::size_t i = 0;
        std::string text;
        if (!ParseQuoted(s, i, text, why)) return false;
        if (!Trimmed(std::string_view(s).substr(i)).empty()) {
            why = "text after the closing quote";
            return false;
        }
        e.type = kRegSz;
        e.data = text + '\0';
        return true;
    }
    if (s.rfind("dword:", 0) == 0) {
        std::string digits = Trimmed(std::string_view(s).substr(6));
        if (digits.empty() || digits.size() > 8) {
            why = "bad dword";
            return false;
        }
        std::uint32_t v = 0;
        for (char c : digits) {
            int d = HexDigit(c);
            if (d < 0) {
                why = "bad dword";
                return false;
            }
            v = v * 16 + static_cast<std::uint32_t>(d);
        }
        e.type = kRegDword;
        e.data.clear();
        for (int k = 0; k < 4; ++k) e.data += static_cast<char>((v >> (8 * k)) & 0xFF);
        return true;
    }
    if (s.rfind("hex", 0) == 0) {
        std::size_t i = 3;
        std::uint32_t type = 3;
        if (i < s.size() && s[i] == '(') {
            std::size_t close = s.find(')', i);
            if (close == std::string::npos || close == i + 1 || close - i - 1 > 8) {
                why = "bad hex type";
                return false;
            }
            type = 0;
            for (std::size_t k = i + 1; k < close; ++k) {
                int d = HexDigit(s[k]);
                if (d < 0) {
                    why = "bad hex type";
                    return false;
                }
                type = type * 16 + static_cast<std::uint32_t>(d);
            }
            i = close + 1;
        }
        if (i >= s.size() || s[i] != ':') {
            why = "bad hex value";
            return false;
        }
        std::string bytes;
        if (!ParseHexBytes(std::string_view(s).substr(i + 1), bytes, why)) return false;
        e.type = type;
        if (type == kRegSz) {
            if (bytes.size() % 2 != 0) {
                why = "text of odd length";
                return false;
            }
            e.data = DecodeUtf16Le(bytes);
        } else {
            e.data = std::move(bytes);
        }
        return true;
    }
    if (s == "-") why = "deletion entries are not kept in a store";
    else why = "value data not understood";
    return false;
}

void SetEntry(Key& key, Entry e) {
    for (Entry& old : key.entries) {
        if (!old.comment && SameNoCase(old.text, e.text)) {
            old = std::move(e);
            return;
        }
    }
    key.entries.push_back(std::move(e));
}

bool Parse(const std::string& text, const std::string& rootName, Model& model, std::string& why) {
    model = Model();
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t nl = text.find('\n', pos);
        if (nl == std::string::npos) nl = text.size();
        if (nl - pos > kMaxLogicalLine) {
            why = "line " + std::to_string(lines.size() + 1) + ": line too long";
            return false;
        }
        std::string line = text.substr(pos, nl - pos);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        pos = nl + 1;
    }
    std::size_t i = 0;
    while (i < lines.size() && Trimmed(lines[i]).empty()) ++i;
    if (i == lines.size()) {
        model.Reindex();
        return true;  // an empty file is an empty store
    }
    std::string header = Trimmed(lines[i]);
    if (header != kHeader5 && header != kHeader4) {
        why = "line " + std::to_string(i + 1) + ": not a registry file (header missing)";
        return false;
    }
    std::unordered_map<std::string, std::size_t> sections;
    Key* current = nullptr;
    for (++i; i < lines.size(); ++i) {
        std::string where = "line " + std::to_string(i + 1) + ": ";
        std::string line = Trimmed(lines[i]);
        if (line.empty()) continue;
        if (line[0] == ';') {
            Entry c;
            c.comment = true;
            c.text = lines[i];
            if (current) current->entries.push_back(std::move(c));
            else model.preamble.push_back(c.text);
            continue;
        }
        if (line[0] == '[') {
            if (line.back() != ']') {
                why = where + "section without its closing bracket";
                return false;
            }
            std::string inner = line.substr(1, line.size() - 2);
            if (!inner.empty() && inner[0] == '-') {
                why = where + "deletion entries are not kept in a store";
                return false;
            }
            std::string rest;
            if (SameNoCase(inner, rootName)) {
                rest.clear();
            } else if (inner.size() > rootName.size() && inner[rootName.size()] == '\\' &&
                       SameNoCase(inner.substr(0, rootName.size()), rootName)) {
                rest = inner.substr(rootName.size() + 1);
            } else {
                why = where + "key outside " + rootName;
                return false;
            }
            std::string path, pathWhy;
            if (!NormalisePath(rest, path, pathWhy) || path.size() != rest.size()) {
                why = where + (pathWhy.empty() ? "bad key path" : pathWhy);
                return false;
            }
            auto [it, fresh] = sections.emplace(FoldCase(path), model.keys.size());
            if (fresh) model.keys.push_back(Key{path, {}});
            current = &model.keys[it->second];
            continue;
        }
        if (line[0] != '"' && line[0] != '@') {
            why = where + "line not understood";
            return false;
        }
        if (!current) {
            why = where + "value before the first key";
            return false;
        }
        Entry e;
        std::size_t k = 0;
        if (line[0] == '@') {
            k = 1;
        } else if (!ParseQuoted(line, k, e.text, why)) {
            why = where + why;
            return false;
        }
        while (k < line.size() && (line[k] == ' ' || line[k] == '\t')) ++k;
        if (k >= line.size() || line[k] != '=') {
            why = where + "value without '='";
            return false;
        }
        ++k;
        while (k < line.size() && (line[k] == ' ' || line[k] == '\t')) ++k;
        std::string data = line.substr(k);
        if (data.rfind("hex", 0) == 0) {
            // Long byte lists continue on the next lines after a trailing backslash.
            while (!data.empty() && data.back() == '\\') {
                data.pop_back();
                if (i + 1 >= lines.size()) break;
                ++i;
                data += Trimmed(lines[i]);
                if (data.size() > kMaxLogicalLine) {
                    why = where + "value too long";
                    return false;
                }
            }
        }
        if (!ParseData(data, e, why)) {
            why = where + why;
            return false;
        }
        SetEntry(*current, std::move(e));
    }
    model.Reindex();
    return true;
}

// The escapes ParseQuoted reads: a name may hold line breaks and NULs, which must not
// reach the file as they are.
std::string Quote(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c == '\0') out += "\\0";
        else {
            if (c == '\\' || c == '"') out += '\\';
            out += c;
        }
    }
    return out + '"';
}

std::string HexList(const std::string& bytes, std::size_t prefixLen) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    std::size_t column = prefixLen;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        unsigned char b = static_cast<unsigned char>(bytes[i]);
        out += digits[b >> 4];
        out += digits[b & 15];
        column += 2;
        if (i + 1 < bytes.size()) {
            out += ',';
            ++column;
            if (column > 76) {
                out += "\\\r\n  ";
                column = 2;
            }
        }
    }
    return out;
}

// Whether a REG_SZ value is written as a quoted text: as regedit does when it ends in its
// NUL and holds no line break or other NUL (those go as UTF-16 bytes, hex(1)), and with
// escapes when the UTF-16 bytes would not give the same text back (bytes that are not
// UTF-8 next to unpaired surrogates).
bool QuotedText(const std::string& data) {
    if (data.empty() || data.back() != '\0') return false;
    return data.find_first_of(std::string("\r\n\0", 3)) == data.size() - 1 ||
           DecodeUtf16Le(Utf8ToUtf16Le(data)) != data;
}

std::string Serialise(const Model& model, const std::string& rootName) {
    std::string out = std::string(kHeader5) + "\r\n\r\n";
    for (const std::string& c : model.preamble) out += c + "\r\n";
    for (const Key& key : model.keys) {
        out += "[" + rootName + (key.path.empty() ? "" : "\\" + key.path) + "]\r\n";
        for (const Entry& e : key.entries) {
            if (e.comment) {
                out += e.text + "\r\n";
                continue;
            }
            std::string name = e.text.empty() ? "@" : Quote(e.text);
            std::string line;
            if (e.type == kRegSz && QuotedText(e.data)) {
                line = name + "=" + Quote(e.data.substr(0, e.data.size() - 1));
            } else if (e.type == kRegDword && e.data.size() == 4) {
                std::uint32_t v = 0;
                for (int k = 3; k >= 0; --k) v = (v << 8) | static_cast<unsigned char>(e.data[static_cast<std::size_t>(k)]);
                char buf[16];
                std::snprintf(buf, sizeof buf, "%08x", v);
                line = name + "=dword:" + buf;
            } else {
                std::string bytes = e.type == kRegSz ? Utf8ToUtf16Le(e.data) : e.data;
                char prefix[24];
                if (e.type == 3) std::snprintf(prefix, sizeof prefix, "hex:");
                else std::snprintf(prefix, sizeof prefix, "hex(%x):", static_cast<unsigned>(e.type));
                line = name + "=" + prefix;
                line += HexList(bytes, line.size());
            }
            out += line + "\r\n";
        }
        out += "\r\n";
    }
    return out;
}

// A store file's bytes as a model; why says what is wrong with them.
bool ParseStore(const std::string& raw, RegRoot root, TextForm& form, Model& model, std::string& why) {
    if (raw.size() > kMaxFileBytes) {
        why = "file too large";
        return false;
    }
    std::string text;
    if (!DecodeText(raw, form, text)) {
        why = "UTF-16 text of odd length";
        return false;
    }
    return Parse(text, RootName(root), model, why);
}

bool SameContent(const Model& a, const Model& b) { return a.preamble == b.preamble && a.keys == b.keys; }

int IndexOf(RegRoot root) { return root == RegRoot::LocalMachine ? 0 : 1; }

struct Signature {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    long long mtimeNs = 0, ctimeNs = 0;
    bool operator==(const Signature&) const = default;
};

Signature SignatureOf(const struct stat& st) {
    Signature s;
    s.dev = st.st_dev;
    s.ino = st.st_ino;
    s.size = st.st_size;
    s.mtimeNs = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    s.ctimeNs = static_cast<long long>(st.st_ctim.tv_sec) * 1000000000LL + st.st_ctim.tv_nsec;
    return s;
}

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

}  // namespace

struct RegistryStore::Impl {
    struct Handle {
        RegRoot root;
        std::string fold;
        bool writable;
    };
    struct Cache {
        bool valid = false;
        Signature sig;
        TextForm form = TextForm::Plain;  // kept when the file is written
        Model model;
    };

    std::string folder;
    std::mutex mutex;
    std::map<RegHandle, Handle> handles;
    RegHandle next = 1;
    std::string lastError;
    std::set<std::string> reported;
    Cache cache[2];
    int held[2] = {-1, -1};  // lock files held through LockRoot

    std::string FileOf(RegRoot root) const { return folder + "/" + RootName(root) + ".reg"; }

    long Fail(long code, const std::string& why) {
        lastError = why;
        if (reported.insert(why).second) std::fprintf(stderr, "registry store: %s\n", why.c_str());
        return code;
    }
    long Ok() {
        lastError.clear();
        return kRegSuccess;
    }

    // Reads and parses a root's file; uses the cached model while the file is unchanged.
    // form tells how the file is encoded (plain for a missing file).
    long Load(RegRoot root, bool fresh, const Model*& out, TextForm* form = nullptr) {
        Cache& c = cache[IndexOf(root)];
        std::string file = FileOf(root);
        if (form) *form = TextForm::Plain;
        Fd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
        if (fd.get() < 0) {
            if (errno == ENOENT || errno == ENOTDIR) {
                c.valid = false;
                static const Model empty = [] {
                    Model m;
                    m.Reindex();
                    return m;
                }();
                out = &empty;
                return kRegSuccess;
            }
            return Fail(kRegFailure, file + ": cannot be read: " + std::strerror(errno));
        }
        struct stat st {};
        if (::fstat(fd.get(), &st) != 0) return Fail(kRegFailure, file + ": " + std::strerror(errno));
        if (!S_ISREG(st.st_mode)) return Fail(kRegFailure, file + ": not a regular file");
        Signature sig = SignatureOf(st);
        if (!fresh && c.valid && c.sig == sig) {
            out = &c.model;
            if (form) *form = c.form;
            return kRegSuccess;
        }
        c.valid = false;
        if (static_cast<std::size_t>(st.st_size) > kMaxFileBytes)
            return Fail(kRegFailure, file + ": damaged: file too large; the file is left as it is");
        std::string raw;
        raw.resize(static_cast<std::size_t>(st.st_size));
        std::size_t got = 0;
        while (got < raw.size()) {
            ssize_t n = ::read(fd.get(), raw.data() + got, raw.size() - got);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return Fail(kRegFailure, file + ": cannot be read: " + std::strerror(errno));
            if (n == 0) break;
            got += static_cast<std::size_t>(n);
        }
        raw.resize(got);
        std::string why;
        if (!ParseStore(raw, root, c.form, c.model, why))
            return Fail(kRegFailure, file + ": damaged: " + why + "; the file is left as it is");
        c.sig = sig;
        c.valid = true;
        out = &c.model;
        if (form) *form = c.form;
        return kRegSuccess;
    }

    // Opens and locks the root's lock file beside the store, creating the folder when
    // missing; -1 (and the reason in lastError) when that fails or takes too long.
    int TakeLock(RegRoot root) {
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
            // Parents may be missing too.
            std::string partial;
            for (std::size_t p = 1; p <= folder.size(); ++p) {
                if (p == folder.size() || folder[p] == '/') {
                    partial = folder.substr(0, p);
                    if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) {
                        Fail(kRegFailure, folder + ": cannot create the store folder: " + std::strerror(errno));
                        return -1;
                    }
                }
            }
        }
        std::string lockFile = FileOf(root) + ".lock";
        int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0) {
            Fail(kRegFailure, lockFile + ": cannot be opened: " + std::strerror(errno));
            return -1;
        }
        auto deadline = std::chrono::steady_clock::now() + kLockWait;
        auto pause = std::chrono::microseconds(100);
        while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            std::string why;
            if (errno != EWOULDBLOCK && errno != EINTR)
                why = lockFile + ": cannot be locked: " + std::strerror(errno);
            else if (std::chrono::steady_clock::now() > deadline)
                why = lockFile + ": held by another process for too long";
            if (!why.empty()) {
                ::close(fd);
                Fail(kRegFailure, why);
                return -1;
            }
            std::this_thread::sleep_for(pause);
            if (pause < std::chrono::milliseconds(5)) pause *= 2;
        }
        return fd;
    }

    // Runs change on the current content under the writers' lock and replaces the file
    // when change reports a modification. The new content is read back first: a file the
    // store itself could not read would lose the whole root.
    long Modify(RegRoot root, const std::function<long(Model&, bool&)>& change) {
        std::string file = FileOf(root);
        // Under a LockRoot of this store the lock is held already.
        Fd lock(held[IndexOf(root)] >= 0 ? -1 : TakeLock(root));
        if (held[IndexOf(root)] < 0 && lock.get() < 0) return kRegFailure;
        const Model* current = nullptr;
        TextForm form = TextForm::Plain;
        long status = Load(root, true, current, &form);
        if (status != kRegSuccess) return status;
        // Only writers holding the lock have temporaries: any other one is a killed writer's.
        RemoveStaleTemporaries(file);
        Model model = *current;
        bool changed = false;
        status = change(model, changed);
        if (status != kRegSuccess || !changed) return status;
        model.Reindex();
        std::string content = EncodeText(Serialise(model, RootName(root)), form);
        Model check;
        TextForm checkForm = form;
        std::string why;
        if (!ParseStore(content, root, checkForm, check, why) || !SameContent(check, model))
            return Fail(kRegFailure, file + ": not written: the change would not read back as written" +
                                         (why.empty() ? std::string() : " (" + why + ")"));

        std::string tmpl = file + ".tmp-XXXXXX";
        std::vector<char> name(tmpl.begin(), tmpl.end());
        name.push_back('\0');
        int tfd = ::mkstemp(name.data());
        if (tfd < 0) return Fail(kRegFailure, file + ": cannot write: " + std::strerror(errno));
        bool ok = WriteAll(tfd, content) && ::fsync(tfd) == 0;
        int err = errno;
        ok = (::close(tfd) == 0) && ok;
        if (ok && ::rename(name.data(), file.c_str()) != 0) {
            ok = false;
            err = errno;
        }
        if (!ok) {
            ::unlink(name.data());
            return Fail(kRegFailure, file + ": cannot write: " + std::strerror(err));
        }
        Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (dir.get() >= 0) ::fsync(dir.get());
        cache[IndexOf(root)].valid = false;
        return Ok();
    }

    Handle* Find(RegHandle key) {
        auto it = handles.find(key);
        return it == handles.end() ? nullptr : &it->second;
    }

    RegHandle NewHandle(RegRoot root, const std::string& path, bool writable) {
        RegHandle h = next++;
        handles.emplace(h, Handle{root, FoldCase(path), writable});
        return h;
    }
};

RegistryStore::RegistryStore(std::string folder) : impl_(std::make_unique<Impl>()) {
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    impl_->folder = std::move(folder);
}

RegistryStore::~RegistryStore() {
    for (int fd : impl_->held)
        if (fd >= 0) ::close(fd);
}

namespace {

class StoreLock : public RegLock {
public:
    StoreLock(RegistryStore::Impl& impl, int index) : impl_(impl), index_(index) {}
    ~StoreLock() override;
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;

private:
    RegistryStore::Impl& impl_;
    int index_;
};

StoreLock::~StoreLock() {
    std::lock_guard<std::mutex> guard(impl_.mutex);
    if (impl_.held[index_] >= 0) ::close(impl_.held[index_]);
    impl_.held[index_] = -1;
}

}  // namespace

std::unique_ptr<RegLock> RegistryStore::LockRoot(RegRoot root) {
    std::lock_guard<std::mutex> guard(impl_->mutex);
    const int index = IndexOf(root);
    // Held here already: the outer lock covers the inner one.
    if (impl_->held[index] >= 0) return std::make_unique<RegLock>();
    const int fd = impl_->TakeLock(root);
    if (fd < 0) return nullptr;
    impl_->held[index] = fd;
    return std::make_unique<StoreLock>(*impl_, index);
}

std::string RegistryStore::FileOf(RegRoot root) const { return impl_->FileOf(root); }

std::string RegistryStore::LastError() const {
    std::lock_guard<std::mutex> guard(impl_->mutex);
    return impl_->lastError;
}

long RegistryStore::OpenKey(RegRoot root, const std::string& path, RegHandle& out) {
    std::lock_guard<std::mutex> guard(impl_->mutex);
    out = 0;
    std::string norm, why;
    if (!NormalisePath(path, norm, why)) return impl_->Fail(kRegNotFound, path + ": " + why);
    const Model* model = nullptr;
    long status = impl_->Load(root, false, model);
    if (status != kRegSuccess) return status;
    if (!model->known.count(FoldCase(norm))) {
        impl_->lastError = "key not found";
        return kRegNotFound;
    }
    out = impl_->NewHandle(root, norm, false);
    return impl_->Ok();
}

long RegistryStore::CreateKey(RegRoot root, const std::string& path, RegHandle& out) {
    std::lock_guard<std::mutex> guard(impl_->mutex);
    out = 0;
    std::string norm, why;
    if (!NormalisePath(path, norm, why)) return impl_->Fail(kRegFailure, path + ": " + why);
    const Model* model = nullptr;
    long status = impl_->Load(root, false, model);
    if (status != kRegSuccess) return status;
    if (!model->known.count(FoldCase(norm))) {
        status = impl_->Modify(root, [&](Model& m, bool& changed) {
            if (m.known.count(FoldCase(norm))) return kRegSuccess;  // another process made it
            m.keys.push_back(Key{norm, {}});
            changed = true;
            return kRegSuccess;
        });
        if (status != kRegSuccess) return status;
    }
    out = impl_->NewHandle(root, norm, true);
    return impl_->Ok();
}

long RegistryStore::QueryValue(RegHandle key, const std::string& name, std::uint32_t& type,
                               std::string& data) {
    std::lock_guard<std::mutex> guard(impl_->mutex);
    type = 0;
    data.clear();
    Impl::Handle* h = impl_->Find(key);
    if (!h) return impl_->Fail(kRegFailure, "invalid key handle");
    const Model* model = nullptr;
    long status = impl_->Load(h->root, false, model);
    if (status != kRegSuccess) return status;
    if (!model->known.count(h->fold)) return impl_->Fail(kRegFailure, "key no longer exists");
    auto it = model->sectionOf.find(h->fold);
    if (it != model->sectionOf.end()) {
        for (const Entry& e : model->keys[it->second].entries) {
            if (!e.comment && SameNoCase(e.text, name)) {
                type = e.type;
                data = e.data;
                return impl_->Ok();
            }
        }
    }
    impl_->lastError = "value not found";
    return kRegNotFound;
}

long RegistryStore::SetValue(RegHandle key, const std::string& name, std::uint32_t type,
                             const std::string& data) {
    std::lock_guard<std::mutex> guard(impl_->mutex);
    Impl::Handle* h = impl_->Find(key);
    if (!h) return impl_->Fail(kRegFailure, "invalid key handle");
    if (!h->writable) {
        impl_->lastError = "key opened for reading only";
        return kAccessDenied;
    }
    if (type != kRegSz && type != kRegDword)
        return impl_->Fail(kRegFailure, "only REG_SZ and REG_DWORD values are stored");
    if (type == kRegDword && data.size() != 4)
        return impl_->Fail(kRegFailure, "a REG_DWORD value takes 4 bytes");
    if (data.size() > kMaxDataBytes) return impl_->Fail(kRegFailure, "value data too large");
    if (name.size() > kMaxValueName || name.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
        return impl_->Fail(kRegFailure, "value name too long or with a line break or NUL");
    const RegRoot root = h->root;
    const std::string fold = h->fold;
    return impl_->Modify(root, [&](Model& m, bool& changed) {
        auto known = m.known.find(fold);
        if (known == m.known.end()) return impl_->Fail(kRegFailure, "key no longer exists");
        auto it = m.sectionOf.find(fold);
        std::size_t index;
        if (it == m.sectionOf.end()) {
            // A key known only through its subkeys gets its own section.
            m.keys.push_back(Key{known->second, {}});
            index = m.keys.size() - 1;
        } else {
            index = it->second;
        }
        Entry e;
        e.text = name;
        e.type = type;
        e.data = data;
        SetEntry(m.keys[index], std::move(e));
        changed = true;
        return kRegSuccess;
    });
}

long RegistryStore::EnumKey(RegHandle key, std::uint32_t index, std::string& name) {
    std::lock_guard<std::mutex> guard(impl_->mutex);
    name.clear();
    Impl::Handle* h = impl_->Find(key);
    if (!h) return impl_->Fail(kRegFailure, "invalid key handle");
    const Model* model = nullptr;
    long status = impl_->Load(h->root, false, model);
    if (status != kRegSuccess) return status;
    if (!model->known.count(h->fold)) return impl_->Fail(kRegFailure, "key no longer exists");
    auto it = model->children.find(h->fold);
    if (it == model->children.end() || index >= it->second.size()) {
        impl_->lastError.clear();
        return kRegNoMoreItems;
    }
    name = it->second[index];
    return impl_->Ok();
}

long RegistryStore::CloseKey(RegHandle key) {
    std::lock_guard<std::mutex> guard(impl_->mutex);
    if (impl_->handles.erase(key) == 0) return impl_->Fail(kRegFailure, "invalid key handle");
    return impl_->Ok();
}

}  // namespace zq::posix
