#include "platform/WebRules.h"

#include <cerrno>
#include <cstdlib>
#include <string_view>

namespace zq {
namespace {

constexpr std::string_view kPartSuffix = ".part";

bool StartsWithHttps(const std::string& url) {
    constexpr std::string_view scheme = "https://";
    if (url.size() <= scheme.size()) return false;
    for (std::size_t i = 0; i < scheme.size(); ++i) {
        char c = url[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != scheme[i]) return false;
    }
    return true;
}

}  // namespace

WebTimeouts WebTimeoutsFromEnvironment() {
    WebTimeouts t;
    const char* value = std::getenv("ZEQUORA_WEB_TIMEOUT_S");
    if (value == nullptr || *value == '\0') return t;
    char* end = nullptr;
    errno = 0;
    const long seconds = std::strtol(value, &end, 10);
    if (errno == 0 && end != nullptr && *end == '\0' && seconds > 0 && seconds <= 3600) {
        t.connect = std::chrono::seconds(seconds);
        t.lowSpeed = std::chrono::seconds(seconds);
    }
    return t;
}

WebError CheckWebAddress(const std::string& url) {
    for (unsigned char c : url) {
        if (c <= 0x20 || c == 0x7F) {
            return WebError{WebFailure::Address, 0, "the address contains blanks or control characters"};
        }
    }
    if (!StartsWithHttps(url)) {
        return WebError{WebFailure::Address, 0, "only https:// addresses are accepted: " + url};
    }
    return {};
}

std::string PartFileName(const std::string& name, unsigned long process, unsigned number) {
    return "." + name + "." + std::to_string(process) + "." + std::to_string(number) +
           std::string(kPartSuffix);
}

bool IsPartNameOf(const std::string& entry, const std::string& name) {
    const std::string prefix = "." + name + ".";
    if (entry.size() <= prefix.size() + kPartSuffix.size() || entry.compare(0, prefix.size(), prefix) != 0 ||
        entry.compare(entry.size() - kPartSuffix.size(), kPartSuffix.size(), kPartSuffix) != 0) {
        return false;
    }
    const std::string middle =
        entry.substr(prefix.size(), entry.size() - prefix.size() - kPartSuffix.size());
    const auto dot = middle.find('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == middle.size()) return false;
    for (std::size_t i = 0; i < middle.size(); ++i) {
        if (i != dot && (middle[i] < '0' || middle[i] > '9')) return false;
    }
    return true;
}

}  // namespace zq
