#pragma once
// Web access over libcurl. TLS certificate checks are always on; only https:// addresses are
// accepted. Time-outs keep a stalling server from hanging the caller.
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/Web.h"

namespace zq::posix {

struct WebTimeouts {
    // Longest wait for the connection (TCP and TLS handshake).
    std::chrono::seconds connect{10};
    // A transfer slower than lowSpeedBytes per second for this long is abandoned.
    std::chrono::seconds lowSpeed{15};
    long lowSpeedBytes = 1;
};

// The time-outs from ZEQUORA_WEB_TIMEOUT_S (whole seconds, both time-outs) when set and valid,
// else the defaults. Tests use it to shorten the stall time-out.
WebTimeouts WebTimeoutsFromEnvironment();

class CurlWeb : public IWeb {
public:
    // caFile empty means the system's certificate store.
    explicit CurlWeb(std::string caFile);
    CurlWeb(std::string caFile, WebTimeouts timeouts);
    ~CurlWeb() override;
    CurlWeb(const CurlWeb&) = delete;
    CurlWeb& operator=(const CurlWeb&) = delete;

    std::optional<std::string> FetchText(const std::string& url, std::size_t maxBytes) override;
    DownloadResult Download(
        const std::string& url, const std::string& target,
        const std::function<void(std::uint64_t done, std::uint64_t total)>& progress) override;

    // Why the last FetchText failed (empty after success).
    std::string LastError() const override { return lastError_; }

private:
    std::string caFile_;
    WebTimeouts timeouts_;
    std::string lastError_;
};

}  // namespace zq::posix
