#include "platform/posix/StoreText.h"

#include "common/Utf8.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdint>

namespace zq::posix {

namespace {

void AppendUnit(std::string& out, std::uint32_t unit) {
    out += static_cast<char>(unit & 0xFF);
    out += static_cast<char>((unit >> 8) & 0xFF);
}

unsigned char At(std::string_view s, std::size_t i) { return static_cast<unsigned char>(s[i]); }

bool IsCont(std::string_view s, std::size_t i) { return i < s.size() && (At(s, i) & 0xC0) == 0x80; }

// Length of the strictly valid UTF-8 sequence at i (0 when invalid) and its code point.
std::size_t DecodeOne(std::string_view s, std::size_t i, std::uint32_t& cp) {
    unsigned char b = At(s, i);
    if (b < 0x80) {
        cp = b;
        return 1;
    }
    if (b >= 0xC2 && b <= 0xDF && IsCont(s, i + 1)) {
        cp = ((b & 0x1Fu) << 6) | (At(s, i + 1) & 0x3Fu);
        return 2;
    }
    if (b >= 0xE0 && b <= 0xEF && IsCont(s, i + 1) && IsCont(s, i + 2)) {
        cp = ((b & 0x0Fu) << 12) | ((At(s, i + 1) & 0x3Fu) << 6) | (At(s, i + 2) & 0x3Fu);
        if (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
        return 3;
    }
    if (b >= 0xF0 && b <= 0xF4 && IsCont(s, i + 1) && IsCont(s, i + 2) && IsCont(s, i + 3)) {
        cp = ((b & 0x07u) << 18) | ((At(s, i + 1) & 0x3Fu) << 12) | ((At(s, i + 2) & 0x3Fu) << 6) |
             (At(s, i + 3) & 0x3Fu);
        if (cp < 0x10000 || cp > 0x10FFFF) return 0;
        return 4;
    }
    return 0;
}

}  // namespace

std::string Utf16LeToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    std::size_t n = bytes.size() / 2;
    for (std::size_t k = 0; k < n; ++k) {
        std::uint32_t u = At(bytes, 2 * k) | (static_cast<std::uint32_t>(At(bytes, 2 * k + 1)) << 8);
        if (u >= 0xD800 && u <= 0xDBFF && k + 1 < n) {
            std::uint32_t lo = At(bytes, 2 * k + 2) | (static_cast<std::uint32_t>(At(bytes, 2 * k + 3)) << 8);
            if (lo >= 0xDC00 && lo <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
                ++k;
                continue;
            }
        }
        AppendUtf8(out, u);
    }
    return out;
}

std::string Utf8ToUtf16Le(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    std::size_t i = 0;
    while (i < text.size()) {
        std::uint32_t cp = 0;
        std::size_t len = DecodeOne(text, i, cp);
        if (len == 0 && At(text, i) == 0xED && IsCont(text, i + 1) && At(text, i + 1) >= 0xA0 &&
            IsCont(text, i + 2)) {
            // A lone surrogate as Utf16LeToUtf8 gives it: back to its own code unit.
            AppendUnit(out, 0xD000u | ((At(text, i + 1) & 0x3Fu) << 6) | (At(text, i + 2) & 0x3Fu));
            i += 3;
            continue;
        }
        if (len == 0) {
            AppendUnit(out, 0xDC00u + At(text, i));
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            AppendUnit(out, 0xD800u + (cp >> 10));
            AppendUnit(out, 0xDC00u + (cp & 0x3FFu));
        } else {
            AppendUnit(out, cp);
        }
        i += len;
    }
    return out;
}

std::string RestoreEscapedBytes(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        // U+DC80..U+DCFF is ED B2 80 .. ED B3 BF.
        if (At(text, i) == 0xED && i + 2 < text.size() && (At(text, i + 1) == 0xB2 || At(text, i + 1) == 0xB3) &&
            IsCont(text, i + 2)) {
            std::uint32_t cp = 0xD000u | ((At(text, i + 1) & 0x3Fu) << 6) | (At(text, i + 2) & 0x3Fu);
            out += static_cast<char>(cp - 0xDC00u);
            i += 2;
            continue;
        }
        out += text[i];
    }
    return out;
}

std::string DecodeUtf16Le(std::string_view bytes) {
    std::string text = Utf16LeToUtf8(bytes);
    std::string restored = RestoreEscapedBytes(text);
    // Lone low surrogates that another program wrote stay what they are when taking them as
    // bytes would not give the same code units back.
    if (restored != text && Utf8ToUtf16Le(restored) == bytes.substr(0, bytes.size() / 2 * 2))
        return restored;
    return text;
}

bool DecodeText(const std::string& raw, TextForm& form, std::string& text) {
    if (raw.size() >= 2 && At(raw, 0) == 0xFF && At(raw, 1) == 0xFE) {
        form = TextForm::Utf16LeBom;
        if (raw.size() % 2 != 0) return false;
        text = DecodeUtf16Le(std::string_view(raw).substr(2));
        return true;
    }
    if (raw.size() >= 3 && At(raw, 0) == 0xEF && At(raw, 1) == 0xBB && At(raw, 2) == 0xBF) {
        form = TextForm::Utf8Bom;
        text = raw.substr(3);
        return true;
    }
    form = TextForm::Plain;
    text = raw;
    return true;
}

std::string EncodeText(const std::string& text, TextForm form) {
    switch (form) {
    case TextForm::Utf16LeBom:
        return std::string("\xFF\xFE", 2) + Utf8ToUtf16Le(text);
    case TextForm::Utf8Bom:
        return "\xEF\xBB\xBF" + text;
    case TextForm::Plain:
        break;
    }
    return text;
}

std::string FoldCase(std::string_view text) {
    std::string out(text);
    for (std::size_t i = 0; i < out.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(out[i]);
        if (c >= 'A' && c <= 'Z') {
            out[i] = static_cast<char>(c + 32);
        } else if (c == 0xC3 && i + 1 < out.size()) {
            unsigned char d = static_cast<unsigned char>(out[i + 1]);
            if (d >= 0x80 && d <= 0x9E && d != 0x97) out[i + 1] = static_cast<char>(d + 0x20);
            ++i;
        }
    }
    return out;
}

bool SameNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && FoldCase(a) == FoldCase(b);
}

bool WriteAll(int fd, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

void RemoveStaleTemporaries(const std::string& target) {
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
    const std::string prefix = (slash == std::string::npos ? target : target.substr(slash + 1)) + ".tmp-";
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    while (struct dirent* e = ::readdir(dir)) {
        std::string name = e->d_name;
        if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) continue;
        bool ours = true;
        for (std::size_t i = prefix.size(); i < name.size(); ++i)
            ours = ours && std::isalnum(static_cast<unsigned char>(name[i]));
        struct stat st {};
        if (!ours || ::fstatat(::dirfd(dir), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(st.st_mode))
            continue;
        ::unlinkat(::dirfd(dir), name.c_str(), 0);
    }
    ::closedir(dir);
}

}  // namespace zq::posix
