#pragma once
// Text helpers of the console windows.
#include <cctype>
#include <string>

namespace zq::console {

// A caption as shown: "&" marks the access key, "&&" is a literal "&".
inline std::string WithoutAccessKey(const std::string& caption) {
    std::string out;
    for (std::size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&' && i + 1 < caption.size()) ++i;
        out += caption[i];
    }
    return out;
}

inline std::string Trimmed(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

}  // namespace zq::console
