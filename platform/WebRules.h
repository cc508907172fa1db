#pragma once
// What every web adapter keeps alike: which addresses it speaks to, its time-outs, and the
// download flow.
#include <chrono>
#include <functional>
#include <string>

#include "platform/Environment.h"
#include "platform/Files.h"
#include "platform/Web.h"

namespace zq {

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

// Kind None when the address may be requested: https:// (any case), no blanks or control
// characters; else why it is refused (kind Address).
WebError CheckWebAddress(const std::string& url);

// What one transfer gave: its failure (kind None when the body arrived whole) and the HTTP
// status.
struct TransferResult {
    WebError error;
    long httpStatus = 0;
};
// Takes the body's bytes as they arrive; false stops the transfer.
using BodySink = std::function<bool(const char* data, std::size_t size)>;

// The download of every web adapter: the address checked, the body streamed by transfer into
// a staged file beside target (".<name>.<process>.<n>.part", hidden), and only a complete
// file that check accepts replaces target; otherwise target stays as it was.
DownloadResult DownloadStaged(IFiles& files, PathStyle style, unsigned long process,
                              const std::string& url, const std::string& target,
                              const IWeb::Check& check,
                              const std::function<TransferResult(const BodySink&)>& transfer);
// The staged downloads beside target that no live download holds, removed.
int RemoveStaleDownloads(IFiles& files, PathStyle style, const std::string& target);

}  // namespace zq
