#include "platform/posix/PosixEnvironment.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace zq::posix {

namespace {

std::string NonEmptyEnv(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

std::string PasswdField(bool home) {
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buf(size > 0 ? static_cast<std::size_t>(size) : 16384);
    struct passwd pw {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &pw, buf.data(), buf.size(), &found) != 0 || !found) return {};
    const char* field = home ? found->pw_dir : found->pw_name;
    return field ? field : "";
}

std::string HomeFolder() {
    std::string home = NonEmptyEnv("HOME");
    if (home.empty()) home = PasswdField(true);
    if (home.empty()) home = "/tmp";
    while (home.size() > 1 && home.back() == '/') home.pop_back();
    return home;
}

}  // namespace

std::string PosixEnvironment::ProgramPath() {
    std::vector<char> buf(4096);
    for (;;) {
        ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
        if (n < 0) return {};
        if (static_cast<std::size_t>(n) < buf.size()) return std::string(buf.data(), static_cast<std::size_t>(n));
        if (buf.size() > (1u << 20)) return {};
        buf.resize(buf.size() * 2);
    }
}

std::optional<std::string> PosixEnvironment::Get(const std::string& name) {
    const char* v = std::getenv(name.c_str());
    if (!v) return std::nullopt;
    return std::string(v);
}

std::string PosixEnvironment::ComputerName() {
    std::string name = NonEmptyEnv("COMPUTERNAME");
    if (!name.empty()) return name;
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0) return {};
    return host;
}

std::string PosixEnvironment::UserName() {
    std::string name = NonEmptyEnv("USERNAME");
    if (name.empty()) name = NonEmptyEnv("USER");
    return name;
}

std::string PosixEnvironment::LogonName() {
    std::string name = PasswdField(false);
    if (name.empty()) name = NonEmptyEnv("USER");
    return name;
}

std::string PosixEnvironment::LocalUpdateFolder() {
    // Per user, so that no other user can plant files in it.
    std::string cache = NonEmptyEnv("XDG_CACHE_HOME");
    if (cache.empty() || cache[0] != '/') cache = HomeFolder() + "/.cache";
    while (cache.size() > 1 && cache.back() == '/') cache.pop_back();
    return cache + "/zequora2/update/";
}

std::string PosixEnvironment::Error52Folder() { return "/tmp/error52/"; }

std::string PosixEnvironment::StreamedOffice16Folder(bool is64) {
    std::string prefix = NonEmptyEnv("WINEPREFIX");
    if (prefix.empty()) prefix = HomeFolder() + "/.wine";
    while (prefix.size() > 1 && prefix.back() == '/') prefix.pop_back();
    return prefix + (is64 ? "/drive_c/Program Files/" : "/drive_c/Program Files (x86)/") +
           "Microsoft Office/root/Office16/";
}

}  // namespace zq::posix
