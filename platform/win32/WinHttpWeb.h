#pragma once
// Web access over WinHTTP. TLS with the system's certificate checks is always on; only https://
// addresses are spoken to, also after redirects (followed here, each one checked); the
// caller's thread watches the time-outs and stays responsive while a request runs.
#include <optional>
#include <string>

#include "platform/Web.h"
#include "platform/WebRules.h"
#include "platform/win32/WinFiles.h"

namespace zq::win32 {

class WinHttpWeb : public IWeb {
public:
    // caFile names a PEM file of certificate authorities trusted in addition to the system's
    // (for tests); empty means the system's alone.
    explicit WinHttpWeb(std::string caFile);
    WinHttpWeb(std::string caFile, WebTimeouts timeouts);

    std::optional<std::string> FetchText(const std::string& url, std::size_t maxBytes,
                                         const Progress& progress = {}) override;
    DownloadResult Download(const std::string& url, const std::string& target,
                            const Progress& progress, const Check& check = {}) override;
    WebError LastError() const override { return lastError_; }
    // Leftovers are the hidden ".<name>.<process>.<n>.part" files beside target that no live
    // download holds (a download keeps its file open without delete sharing).
    int RemoveLeftovers(const std::string& target) override;

private:
    std::string caFile_;
    WebTimeouts timeouts_;
    WebError lastError_;
    WinFiles files_;  // where downloads are staged
};

// Whether the server certificate's chain ends in a certificate authority of the PEM file
// caFile and the certificate is valid for host (the system's SSL policy). Empty when it
// is, else why not.
std::string VerifyWithAuthorities(const void* serverCertificate, const std::string& caFile,
                                  const std::string& host);

}  // namespace zq::win32
