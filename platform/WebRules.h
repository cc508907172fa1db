#pragma once
// What every web adapter keeps alike: which addresses it speaks to, its time-outs, and the
// names of the temporary files its downloads write.
#include <chrono>
#include <string>

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

// The temporary file of a download of the file `name`: "." + name + "." + process + "." +
// number + ".part".
std::string PartFileName(const std::string& name, unsigned long process, unsigned number);
// Whether entry is a name PartFileName gives for name.
bool IsPartNameOf(const std::string& entry, const std::string& name);

}  // namespace zq
