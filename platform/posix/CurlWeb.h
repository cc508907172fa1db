#pragma once
// Web access over libcurl. TLS certificate checks are always on; only https:// addresses are
// accepted. Time-outs keep a stalling server from hanging the caller.
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/Web.h"
#include "platform/WebRules.h"
#include "platform/posix/PosixFiles.h"

namespace zq::posix {

using zq::WebTimeouts;
using zq::WebTimeoutsFromEnvironment;

class CurlWeb : public IWeb {
public:
    // caFile empty means the system's certificate store.
    explicit CurlWeb(std::string caFile);
    CurlWeb(std::string caFile, WebTimeouts timeouts);
    ~CurlWeb() override;
    CurlWeb(const CurlWeb&) = delete;
    CurlWeb& operator=(const CurlWeb&) = delete;

    std::optional<std::string> FetchText(const std::string& url, std::size_t maxBytes,
                                         const Progress& progress = {}) override;
    DownloadResult Download(const std::string& url, const std::string& target,
                            const Progress& progress, const Check& check = {}) override;
    WebError LastError() const override { return lastError_; }
    // Leftovers are the hidden ".<name>.<pid>.<n>.part" files that no live download holds
    // under its flock.
    int RemoveLeftovers(const std::string& target) override;

private:
    std::string caFile_;
    WebTimeouts timeouts_;
    WebError lastError_;
    PosixFiles files_;  // where downloads are staged
};

}  // namespace zq::posix
