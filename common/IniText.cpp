#include "common/IniText.h"

#include <string_view>

#include "common/Utf8.h"

namespace zq {

namespace {

std::string_view TrimView(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
    return s.substr(b, e - b);
}

// Keys and sections compare as Windows compares them: ASCII and the Latin-1 letters of
// UTF-8 (À-Þ without ×) without regard to case.
std::string Fold(std::string_view text) {
    std::string out(text);
    for (std::size_t i = 0; i < out.size(); ++i) {
        auto c = static_cast<unsigned char>(out[i]);
        if (c >= 'A' && c <= 'Z') {
            out[i] = static_cast<char>(c - 'A' + 'a');
        } else if (c == 0xC3 && i + 1 < out.size()) {
            auto d = static_cast<unsigned char>(out[i + 1]);
            if (d >= 0x80 && d <= 0x9E && d != 0x97) out[i + 1] = static_cast<char>(d + 0x20);
            ++i;
        }
    }
    return out;
}

bool SameNoCase(std::string_view a, std::string_view b) { return Fold(a) == Fold(b); }

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

bool HasLineBreakOrNul(const std::string& text) {
    return text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

}  // namespace

std::vector<std::string> IniLines(const std::string& text) {
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

std::string IniJoin(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& line : lines) out += line + "\r\n";
    return out;
}

std::optional<std::string> IniLookup(const std::vector<std::string>& lines,
                                     const std::string& section, const std::string& key) {
    std::size_t header = FindSection(lines, section);
    if (header == std::string::npos) return std::nullopt;
    std::size_t end = SectionEnd(lines, header);
    std::string_view k, v;
    for (std::size_t i = header + 1; i < end; ++i) {
        if (!KeyLine(lines[i], k, v) || !SameNoCase(k, TrimView(key))) continue;
        // Matching quotes around the whole value are not part of it.
        if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
            v = v.substr(1, v.size() - 2);
        return std::string(v);
    }
    return std::nullopt;
}

bool IniValueFitsOneLine(const std::string& value) { return !HasLineBreakOrNul(value); }

bool IniSet(std::vector<std::string>& lines, const std::string& section, const std::string& key,
            const std::string& value, const std::vector<std::string>& following) {
    std::string_view trimmedKey = TrimView(key);
    if (HasLineBreakOrNul(section) || section.find(']') != std::string::npos) return false;
    if (trimmedKey.empty() || trimmedKey[0] == ';' || trimmedKey[0] == '[' ||
        HasLineBreakOrNul(key) || key.find('=') != std::string::npos)
        return false;
    if (HasLineBreakOrNul(value)) return false;
    for (const std::string& line : following)
        if (HasLineBreakOrNul(line)) return false;

    std::vector<std::string> entry{key + "=" + value};
    entry.insert(entry.end(), following.begin(), following.end());
    std::size_t header = FindSection(lines, section);
    if (header == std::string::npos) {
        lines.push_back("[" + section + "]");
        lines.insert(lines.end(), entry.begin(), entry.end());
        return true;
    }
    std::size_t end = SectionEnd(lines, header);
    std::string_view k, v;
    for (std::size_t i = header + 1; i < end; ++i) {
        if (KeyLine(lines[i], k, v) && SameNoCase(k, trimmedKey)) {
            lines[i] = entry.front();
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(i) + 1, entry.begin() + 1, entry.end());
            return true;
        }
    }
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(end), entry.begin(), entry.end());
    return true;
}

IniEncoding DetectIniEncoding(const std::string& raw, IniEncoding asciiAs) {
    if (raw.rfind("\xEF\xBB\xBF", 0) == 0) return IniEncoding::Utf8Bom;
    bool ascii = true;
    for (char c : raw)
        if (static_cast<unsigned char>(c) >= 0x80) ascii = false;
    if (ascii) return asciiAs;
    return IsValidUtf8(raw) ? IniEncoding::Utf8 : IniEncoding::Ansi;
}

std::string DecodeIni(const std::string& raw, IniEncoding encoding) {
    switch (encoding) {
        case IniEncoding::Utf8Bom: return raw.rfind("\xEF\xBB\xBF", 0) == 0 ? raw.substr(3) : raw;
        case IniEncoding::Ansi: return Cp1252ToUtf8(raw);
        case IniEncoding::Utf8: break;
    }
    return raw;
}

std::string EncodeIni(const std::string& text, IniEncoding encoding) {
    switch (encoding) {
        case IniEncoding::Utf8Bom: return "\xEF\xBB\xBF" + text;
        case IniEncoding::Ansi: return Utf8ToCp1252(text);
        case IniEncoding::Utf8: break;
    }
    return text;
}

}  // namespace zq
