#include "starter/Funktion.h"

#include <cctype>
#include <charconv>

#include "common/Paths.h"
#include "common/RegistryAccess.h"

namespace zq::starter {

std::string PathCase(const std::string& path, PathStyle style) {
    return style == PathStyle::Windows ? ToUpper(path) : path;
}

long LeadingNumber(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    long value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        if (value > 100000) break;  // far beyond any version; keeps the number bounded
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

std::optional<double> ParseNumber(const std::string& text) {
    std::string t = Trim(text);
    if (t.empty()) return std::nullopt;
    const char* begin = t.data();
    const char* end = t.data() + t.size();
    if (*begin == '+') ++begin;
    double value = 0;
    auto r = std::from_chars(begin, end, value, std::chars_format::fixed);
    if (r.ec != std::errc() || r.ptr != end) return std::nullopt;
    return value;
}

bool IsNetworkDrive(IFiles& files, const std::string& folder, PathStyle style) {
    if (style == PathStyle::Windows) {
        if (folder.size() <= 2 || folder[1] != ':') return false;
        return IsNetworkLocation(files, folder.substr(0, 2));
    }
    if (folder.empty() || folder[0] != '/') return false;
    return IsNetworkLocation(files, folder);
}

}  // namespace zq::starter
