#include "platform/posix/CurlWeb.h"

#include "platform/PlatformFactory.h"

#include <curl/curl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace zq::posix {
namespace {

constexpr const char* kAgent = "Zequora";
constexpr long kMaxRedirects = 5;

WebError Failure(WebFailure kind, long code, std::string detail) {
    return WebError{kind, code, std::move(detail)};
}

bool StartsWithNoCase(const char* data, std::size_t size, std::string_view prefix) {
    if (size < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(data[i])) != prefix[i]) return false;
    }
    return true;
}

struct CurlDeleter {
    void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
struct SlistDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
using CurlHandle = std::unique_ptr<CURL, CurlDeleter>;
using Slist = std::unique_ptr<curl_slist, SlistDeleter>;

// One request: the options every transfer shares, and what is needed to tell whether the
// body arrived whole.
struct Request {
    CurlHandle handle{curl_easy_init()};
    Slist headers{curl_slist_append(nullptr, "Cache-Control: no-cache")};
    char errorBuffer[CURL_ERROR_SIZE] = {};
    const IWeb::Progress* progress = nullptr;
    // The stall watch: curl's own low-speed check averages over several seconds and so ends
    // a transfer that stopped after some data only seconds after the stall time-out.
    std::chrono::steady_clock::duration stallLimit{};
    std::chrono::steady_clock::time_point lastArrival{};
    curl_off_t lastDone = -1;
    bool stalled = false;
    bool cancelled = false;
    // Of the current response: chunked, and whether the server closed TLS with close_notify.
    bool chunked = false;
    bool closeNotify = false;

    bool Setup(const std::string& url, const std::string& caFile, const WebTimeouts& t) {
        CURL* h = handle.get();
        if (h == nullptr) return false;
        bool ok = curl_easy_setopt(h, CURLOPT_URL, url.c_str()) == CURLE_OK;
        // Redirects stay on https; nothing else is ever spoken.
        ok = ok && curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "https") == CURLE_OK;
        ok = ok && curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "https") == CURLE_OK;
        ok = ok && curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L) == CURLE_OK;
        ok = ok && curl_easy_setopt(h, CURLOPT_MAXREDIRS, kMaxRedirects) == CURLE_OK;
        ok = ok && curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L) == CURLE_OK;
        ok = ok && curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L) == CURLE_OK;
        if (!caFile.empty()) {
            ok = ok && curl_easy_setopt(h, CURLOPT_CAINFO, caFile.c_str()) == CURLE_OK;
        }
        ok = ok && curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, static_cast<long>(t.connect.count())) == CURLE_OK;
        ok = ok && curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, t.lowSpeedBytes) == CURLE_OK;
        ok = ok && curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, static_cast<long>(t.lowSpeed.count())) == CURLE_OK;
        ok = ok && curl_easy_setopt(h, CURLOPT_USERAGENT, kAgent) == CURLE_OK;
        ok = ok && curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get()) == CURLE_OK;
        ok = ok && curl_easy_setopt(h, CURLOPT_FAILONERROR, 1L) == CURLE_OK;
        ok = ok && curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L) == CURLE_OK;
        ok = ok && curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorBuffer) == CURLE_OK;
        ok = ok && curl_easy_setopt(h, CURLOPT_BUFFERSIZE, 256L * 1024L) == CURLE_OK;
        ok = ok && curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &HeaderSeen) == CURLE_OK;
        ok = ok && curl_easy_setopt(h, CURLOPT_HEADERDATA, this) == CURLE_OK;
        // The TLS messages reach us only through the debug channel; it tells a clean end
        // (close_notify) from a dropped connection.
        ok = ok && curl_easy_setopt(h, CURLOPT_DEBUGFUNCTION, &DebugSeen) == CURLE_OK;
        ok = ok && curl_easy_setopt(h, CURLOPT_DEBUGDATA, this) == CURLE_OK;
        ok = ok && curl_easy_setopt(h, CURLOPT_VERBOSE, 1L) == CURLE_OK;
        ok = ok && curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &ProgressSeen) == CURLE_OK;
        ok = ok && curl_easy_setopt(h, CURLOPT_XFERINFODATA, this) == CURLE_OK;
        ok = ok && curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L) == CURLE_OK;
        stallLimit = t.lowSpeed;
        lastArrival = std::chrono::steady_clock::now();
        return ok;
    }

    static std::size_t HeaderSeen(char* data, std::size_t size, std::size_t count, void* user) {
        auto* r = static_cast<Request*>(user);
        const std::size_t n = size * count;
        if (StartsWithNoCase(data, n, "http/")) {  // a new response (after a redirect)
            r->chunked = false;
            r->closeNotify = false;
        } else if (StartsWithNoCase(data, n, "transfer-encoding:")) {
            std::string value(data, n);
            for (char& c : value) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            r->chunked = value.find("chunked") != std::string::npos;
        }
        return n;
    }

    static int DebugSeen(CURL*, curl_infotype type, char* data, std::size_t size, void* user) {
        // A TLS alert is the only two-byte TLS message; description 0 is close_notify.
        if (type == CURLINFO_SSL_DATA_IN && size == 2 && data[1] == 0) {
            static_cast<Request*>(user)->closeNotify = true;
        }
        return 0;
    }

    // Called about once a second even while nothing arrives, so a window stays alive and a
    // stall is noticed in time.
    static int ProgressSeen(void* user, curl_off_t total, curl_off_t done, curl_off_t, curl_off_t) {
        auto* r = static_cast<Request*>(user);
        const auto now = std::chrono::steady_clock::now();
        curl_off_t connected = 0;
        curl_easy_getinfo(r->handle.get(), CURLINFO_APPCONNECT_TIME_T, &connected);
        // Until the TLS handshake is done the connect time-out watches.
        if (done != r->lastDone || connected == 0) {
            r->lastDone = done;
            r->lastArrival = now;
        } else if (now - r->lastArrival >= r->stallLimit) {
            r->stalled = true;
            return 1;  // ends the transfer with CURLE_ABORTED_BY_CALLBACK
        }
        if (r->progress != nullptr && *r->progress &&
            !(*r->progress)(static_cast<std::uint64_t>(done), static_cast<std::uint64_t>(total))) {
            r->cancelled = true;
            return 1;
        }
        return 0;
    }

    long Status() {
        long code = 0;
        curl_easy_getinfo(handle.get(), CURLINFO_RESPONSE_CODE, &code);
        return code;
    }

    std::string Words(CURLcode rc) const {
        std::string text = curl_easy_strerror(rc);
        if (errorBuffer[0] != '\0') text += ": " + std::string(errorBuffer);
        return text;
    }

    // Kind None when the transfer ended with success, complete as far as the protocol
    // can tell; otherwise what went wrong.
    WebError Outcome(CURLcode rc) {
        const long status = Status();
        if (cancelled) return Failure(WebFailure::Cancelled, 0, "cancelled by the caller");
        if (stalled) {
            return Failure(WebFailure::Stalled, CURLE_OPERATION_TIMEDOUT,
                           "nothing received for " +
                               std::to_string(std::chrono::duration_cast<std::chrono::seconds>(stallLimit).count()) +
                               " s");
        }
        switch (rc) {
            case CURLE_OK:
                break;
            case CURLE_HTTP_RETURNED_ERROR:
                return Failure(WebFailure::Status, status, "HTTP status " + std::to_string(status));
            case CURLE_COULDNT_RESOLVE_HOST:
            case CURLE_COULDNT_RESOLVE_PROXY:
            case CURLE_COULDNT_CONNECT:
            case CURLE_SSL_CONNECT_ERROR:
                return Failure(WebFailure::Connection, rc, Words(rc));
            case CURLE_OPERATION_TIMEDOUT: {
                // Before the TLS handshake ended it is the connect time-out, after it a stall.
                curl_off_t connected = 0;
                curl_easy_getinfo(handle.get(), CURLINFO_APPCONNECT_TIME_T, &connected);
                return Failure(connected > 0 ? WebFailure::Stalled : WebFailure::Connection, rc, Words(rc));
            }
            case CURLE_PEER_FAILED_VERIFICATION:
            case CURLE_SSL_CACERT_BADFILE:
            case CURLE_SSL_CERTPROBLEM:
            case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
            case CURLE_SSL_INVALIDCERTSTATUS:
                return Failure(WebFailure::Certificate, rc, Words(rc));
            case CURLE_UNSUPPORTED_PROTOCOL:  // the address itself is https: a redirect left it
            case CURLE_TOO_MANY_REDIRECTS:
                return Failure(WebFailure::Redirect, rc, Words(rc));
            case CURLE_PARTIAL_FILE:
            case CURLE_RECV_ERROR:
            case CURLE_SEND_ERROR:
            case CURLE_GOT_NOTHING:
            case CURLE_HTTP2:
            case CURLE_HTTP2_STREAM:
            case CURLE_BAD_CONTENT_ENCODING:
                return Failure(WebFailure::BrokenOff, rc, Words(rc));
            default:
                return Failure(WebFailure::Other, rc, Words(rc));
        }
        if (status < 200 || status > 299) {
            return Failure(status >= 300 && status < 400 ? WebFailure::Redirect : WebFailure::Status,
                           status, "HTTP status " + std::to_string(status));
        }
        // A body without length or chunks ends when the connection does: only a TLS
        // close_notify tells that end from a connection lost halfway.
        curl_off_t length = -1;
        curl_easy_getinfo(handle.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
        long version = 0;
        curl_easy_getinfo(handle.get(), CURLINFO_HTTP_VERSION, &version);
        const bool closeDelimited = length < 0 && !chunked &&
                                    (version == CURL_HTTP_VERSION_1_0 || version == CURL_HTTP_VERSION_1_1);
        if (closeDelimited && !closeNotify) {
            return Failure(WebFailure::BrokenOff, CURLE_PARTIAL_FILE,
                           "the connection ended without a TLS close_notify and the server sent no length");
        }
        return {};
    }
};

struct FetchState {
    std::string body;
    std::size_t maxBytes = 0;
    bool tooLarge = false;
};

std::size_t FetchWrite(char* data, std::size_t size, std::size_t count, void* user) {
    auto* state = static_cast<FetchState*>(user);
    const std::size_t n = size * count;
    if (n > state->maxBytes - state->body.size()) {
        state->tooLarge = true;
        return 0;  // aborts the transfer
    }
    state->body.append(data, n);
    return n;
}

std::size_t DownloadWrite(char* data, std::size_t size, std::size_t count, void* user) {
    auto* sink = static_cast<std::pair<const BodySink*, std::uint64_t>*>(user);
    const std::size_t n = size * count;
    if (!(*sink->first)(data, n)) return 0;
    sink->second += n;
    return n;
}

}  // namespace

CurlWeb::CurlWeb(std::string caFile) : CurlWeb(std::move(caFile), WebTimeoutsFromEnvironment()) {}

CurlWeb::CurlWeb(std::string caFile, WebTimeouts timeouts)
    : caFile_(std::move(caFile)), timeouts_(timeouts) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
}

CurlWeb::~CurlWeb() { curl_global_cleanup(); }

std::optional<std::string> CurlWeb::FetchText(const std::string& url, std::size_t maxBytes,
                                              const Progress& progress) {
    lastError_ = CheckWebAddress(url);
    if (lastError_.kind != WebFailure::None) return std::nullopt;
    Request request;
    if (!request.Setup(url, caFile_, timeouts_)) {
        lastError_ = Failure(WebFailure::Other, 0, "the web library could not be set up");
        return std::nullopt;
    }
    request.progress = &progress;
    FetchState state;
    state.maxBytes = maxBytes;
    curl_easy_setopt(request.handle.get(), CURLOPT_WRITEFUNCTION, &FetchWrite);
    curl_easy_setopt(request.handle.get(), CURLOPT_WRITEDATA, &state);
    const CURLcode rc = curl_easy_perform(request.handle.get());
    if (state.tooLarge) {
        lastError_ = Failure(WebFailure::TooLarge, static_cast<long>(maxBytes),
                             "the page is larger than " + std::to_string(maxBytes) + " bytes");
        return std::nullopt;
    }
    lastError_ = request.Outcome(rc);
    if (lastError_.kind != WebFailure::None) return std::nullopt;
    return std::move(state.body);
}

DownloadResult CurlWeb::Download(const std::string& url, const std::string& target,
                                 const Progress& progress, const Check& check) {
    return DownloadStaged(files_, PathStyle::Posix, static_cast<unsigned long>(getpid()), url, target,
                          check, [&](const BodySink& body) {
        TransferResult result;
        Request request;
        if (!request.Setup(url, caFile_, timeouts_)) {
            result.error = Failure(WebFailure::Other, 0, "the web library could not be set up");
            return result;
        }
        request.progress = &progress;
        CURL* h = request.handle.get();
        std::pair<const BodySink*, std::uint64_t> sink{&body, 0};
        curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &DownloadWrite);
        curl_easy_setopt(h, CURLOPT_WRITEDATA, &sink);
        const CURLcode rc = curl_easy_perform(h);
        result.httpStatus = request.Status();
        result.error = request.Outcome(rc);
        if (result.error.kind != WebFailure::None) return result;
        curl_off_t expected = -1;
        curl_easy_getinfo(h, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &expected);
        if (expected >= 0 && static_cast<std::uint64_t>(expected) != sink.second) {
            result.error = Failure(WebFailure::BrokenOff, CURLE_PARTIAL_FILE,
                                   "the server sent " + std::to_string(sink.second) + " of " +
                                       std::to_string(expected) + " bytes");
        }
        return result;
    });
}

int CurlWeb::RemoveLeftovers(const std::string& target) {
    return RemoveStaleDownloads(files_, PathStyle::Posix, target);
}

}  // namespace zq::posix

namespace zq {

std::unique_ptr<IWeb> MakeWeb(const std::string& caFile) {
    return std::make_unique<posix::CurlWeb>(caFile);
}

}  // namespace zq
