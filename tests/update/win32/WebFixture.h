#pragma once
// The HTTPS server that https-fixture.sh runs on the Linux side for the Windows web tests,
// seen from Wine: its folder (ZQ_HTTPS_FIXTURE, a Linux path reached through drive Z:), port,
// certificate authorities and the root it serves.
#include <windows.h>

#include <string>

#include "platform/win32/WinText.h"
#include "win32/WinStandinSupport.h"

namespace zqwin {

class WebFixture {
public:
    WebFixture() {
        wchar_t value[1024] = {};
        const DWORD n = GetEnvironmentVariableW(L"ZQ_HTTPS_FIXTURE", value, 1024);
        if (n == 0 || n >= 1024) {
            error_ = "ZQ_HTTPS_FIXTURE names no fixture folder (ctest starts https-fixture.sh)";
            return;
        }
        std::string unix = zq::win32::Utf8(value, n);
        folder_ = "Z:" + unix;
        for (char& c : folder_) {
            if (c == '/') c = '\\';
        }
        const std::string port = ReadAll(folder_ + "\\port");
        port_ = std::atoi(port.c_str());
        if (port_ <= 0) error_ = "the fixture's server is not running (no port in " + folder_ + ")";
    }
    bool Ready() const { return error_.empty(); }
    const std::string& Error() const { return error_; }
    int Port() const { return port_; }
    // Wine's certificate check matches host names only, not the IP address the certificate
    // names beside "localhost".
    std::string Base() const { return "https://localhost:" + std::to_string(port_); }
    std::string Host() const { return "localhost:" + std::to_string(port_); }
    std::string Ca() const { return folder_ + "\\pki\\ca.pem"; }
    std::string OtherCa() const { return folder_ + "\\pki\\other-ca.pem"; }
    // Files below root\<name> are served as /<name>/...; the folder is made when missing.
    std::string Root(const std::string& name) const {
        const std::string path = folder_ + "\\root\\" + name;
        CreateDirectoryW(zq::win32::Wide(path).c_str(), nullptr);
        return path;
    }
    // A folder on a 1 MB file system; empty when none could be mounted.
    std::string FullFolder() const {
        return Exists(folder_ + "\\full-mounted") ? folder_ + "\\full" : std::string();
    }

private:
    std::string folder_;
    int port_ = 0;
    std::string error_;
};

}  // namespace zqwin
