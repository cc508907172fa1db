#include "common/Utf8.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace zq {

namespace {

// 0x80..0x9F of Windows-1252; 0 where the code page leaves the byte undefined.
constexpr char32_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char32_t DecodeAt(const std::string& text, std::size_t pos, std::size_t len) {
    const auto b = [&](std::size_t i) { return static_cast<unsigned char>(text[pos + i]); };
    switch (len) {
        case 1: return b(0);
        case 2: return (char32_t(b(0) & 0x1F) << 6) | (b(1) & 0x3F);
        case 3: return (char32_t(b(0) & 0x0F) << 12) | (char32_t(b(1) & 0x3F) << 6) | (b(2) & 0x3F);
        default:
            return (char32_t(b(0) & 0x07) << 18) | (char32_t(b(1) & 0x3F) << 12) |
                   (char32_t(b(2) & 0x3F) << 6) | (b(3) & 0x3F);
    }
}

}  // namespace

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::size_t Utf8CharLength(const std::string& text, std::size_t pos) {
    if (pos >= text.size()) return 0;
    const auto c = static_cast<unsigned char>(text[pos]);
    std::size_t len = 0;
    if (c < 0x80) return 1;
    if (c >= 0xC2 && c <= 0xDF) len = 2;
    else if (c >= 0xE0 && c <= 0xEF) len = 3;
    else if (c >= 0xF0 && c <= 0xF4) len = 4;
    else return 0;
    if (pos + len > text.size()) return 0;
    for (std::size_t i = 1; i < len; ++i) {
        if ((static_cast<unsigned char>(text[pos + i]) & 0xC0) != 0x80) return 0;
    }
    const auto c1 = static_cast<unsigned char>(text[pos + 1]);
    if ((c == 0xE0 && c1 < 0xA0) || (c == 0xED && c1 > 0x9F) || (c == 0xF0 && c1 < 0x90) ||
        (c == 0xF4 && c1 > 0x8F)) {
        return 0;  // overlong forms, surrogates, beyond U+10FFFF
    }
    return len;
}

bool IsValidUtf8(const std::string& text) {
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t len = Utf8CharLength(text, pos);
        if (len == 0) return false;
        pos += len;
    }
    return true;
}

std::string FirstChars(const std::string& text, std::size_t count) {
    std::size_t pos = 0;
    for (std::size_t n = 0; n < count && pos < text.size(); ++n)
        pos += std::max<std::size_t>(1, Utf8CharLength(text, pos));
    return text.substr(0, pos);
}

std::string LastChars(const std::string& text, std::size_t count) {
    // Character starts from the front: a stray byte is a character of its own.
    std::vector<std::size_t> starts;
    for (std::size_t pos = 0; pos < text.size();) {
        starts.push_back(pos);
        pos += std::max<std::size_t>(1, Utf8CharLength(text, pos));
    }
    if (starts.size() <= count) return text;
    return text.substr(starts[starts.size() - count]);
}

std::string Cp1252ToUtf8(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        char32_t u = c;
        if (c >= 0x80 && c < 0xA0) u = kCp1252High[c - 0x80] ? kCp1252High[c - 0x80] : c;
        AppendUtf8(out, u);
    }
    return out;
}

std::string Utf8ToCp1252(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t len = Utf8CharLength(text, pos);
        if (len == 0) {  // not UTF-8: the byte is taken as it is
            out += text[pos++];
            continue;
        }
        const char32_t u = DecodeAt(text, pos, len);
        pos += len;
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
            out += static_cast<char>(u);
            continue;
        }
        char mapped = '?';
        for (int i = 0; i < 32; ++i)
            if (kCp1252High[i] == u) mapped = static_cast<char>(0x80 + i);
        if (u >= 0x80 && u < 0xA0) mapped = static_cast<char>(u);  // an undefined byte kept
        out += mapped;
    }
    return out;
}

}  // namespace zq
