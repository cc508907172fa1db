#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace zq {

struct DownloadResult {
    bool ok = false;
    long httpStatus = 0;
    std::string error;
};

class IWeb {
public:
    virtual ~IWeb() = default;
    // The page as text, at most maxBytes; nothing on any failure (TLS, status, time-out).
    virtual std::optional<std::string> FetchText(const std::string& url, std::size_t maxBytes) = 0;
    // Downloads into a temporary file beside target, renamed over target only when the
    // transfer completed with HTTP success; removed otherwise.
    virtual DownloadResult Download(
        const std::string& url, const std::string& target,
        const std::function<void(std::uint64_t done, std::uint64_t total)>& progress) = 0;
    // Why the last FetchText gave nothing (empty when unknown), for notes and traces.
    virtual std::string LastError() const { return {}; }
};

}  // namespace zq
