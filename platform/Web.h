#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace zq {

// What kind of failure ended a request; the caller words it for the user.
enum class WebFailure {
    None,
    Address,      // not an https:// address (or none)
    Connection,   // no connection to the server: name unknown, refused, unreachable, connect time-out
    Certificate,  // the server's certificate is not trusted (or the TLS handshake failed)
    Status,       // the server answered with a status that is not success; code is the status
    Redirect,     // a redirect to an address that is not https://, or too many redirects
    BrokenOff,    // the transfer broke off: connection lost, fewer bytes than announced
    Stalled,      // the server sent nothing for the stall time-out
    TooLarge,     // a page larger than the caller allows
    Folder,       // the target's folder cannot be written; code is the system's error number
    DiskFull,     // no room left in the target's folder; code is the system's error number
    Rejected,     // the caller's check refused the received file
    Cancelled,    // the caller's progress function asked to stop
    Other,
};

struct WebError {
    WebFailure kind = WebFailure::None;
    // A number that identifies the failure where it was found: the HTTP status (Status), the
    // system's error number (Folder), otherwise the web library's result code; 0 when none.
    long code = 0;
    std::string detail;  // the library's or system's own words, for traces and tests
};

struct DownloadResult {
    bool ok = false;
    long httpStatus = 0;
    WebError error;
};

class IWeb {
public:
    // Gives false to stop the request (it then fails as Cancelled).
    using Progress = std::function<bool(std::uint64_t done, std::uint64_t total)>;
    // Looks at the complete received file (at tempPath, before it replaces the target);
    // false refuses it.
    using Check = std::function<bool(const std::string& tempPath)>;

    virtual ~IWeb() = default;
    // The page as text, at most maxBytes; nothing on any failure (TLS, status, time-out, a
    // transfer that did not end cleanly), with the reason in LastError(). progress, when
    // set, is called at least once a second while the request runs, also when nothing
    // arrives (on Windows every 100 ms and whenever the thread's window gets a message).
    virtual std::optional<std::string> FetchText(const std::string& url, std::size_t maxBytes,
                                                 const Progress& progress = {}) = 0;
    // Downloads into a hidden temporary file beside target; that file replaces target only
    // when the transfer completed cleanly with HTTP success and check (when set) accepts it.
    // Otherwise target stays as it was and the temporary file is removed.
    virtual DownloadResult Download(const std::string& url, const std::string& target,
                                    const Progress& progress, const Check& check = {}) = 0;
    // Why the last FetchText gave nothing (kind None after success).
    virtual WebError LastError() const { return {}; }
    // Removes temporary files that interrupted downloads of target left beside it (only this
    // adapter's own, only those no running download holds). Gives how many were removed.
    virtual int RemoveLeftovers(const std::string& target) { (void)target; return 0; }
};

}  // namespace zq
