#include "platform/win32/WinHttpWeb.h"

#include <winsock2.h>
#include <windows.h>
#include <wincrypt.h>
#include <winhttp.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

#include "platform/PlatformFactory.h"
#include "platform/win32/WinText.h"

namespace zq::win32 {
namespace {

using Clock = std::chrono::steady_clock;

constexpr wchar_t kAgent[] = L"Zequora";
constexpr int kMaxRedirects = 5;
constexpr DWORD kReadBytes = 256 * 1024;
constexpr std::size_t kMaxCaFileBytes = 1u << 20;

WebError Failure(WebFailure kind, long code, std::string detail) {
    return WebError{kind, code, std::move(detail)};
}

// WinHTTP's own words for its error numbers (they live in winhttp.dll, not the system).
std::string WinHttpText(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE |
                                       FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   GetModuleHandleW(L"winhttp.dll"), code, 0,
                                   reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text;
    if (n > 0 && buffer != nullptr) text = Utf8(buffer, n);
    if (buffer != nullptr) LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    return "WinHTTP error " + std::to_string(code) + (text.empty() ? "" : ": " + text);
}

// What a WinHTTP error means for the caller; handshakeDone tells a time-out of the
// connection from one of the transfer.
WebError FromWinHttp(DWORD error, bool handshakeDone, DWORD secureFlags) {
    std::string words = WinHttpText(error);
    if (secureFlags != 0) {
        words += " (";
        if (secureFlags & WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CA) words += "unknown certificate authority, ";
        if (secureFlags & WINHTTP_CALLBACK_STATUS_FLAG_CERT_CN_INVALID) words += "name does not match, ";
        if (secureFlags & WINHTTP_CALLBACK_STATUS_FLAG_CERT_DATE_INVALID) words += "expired, ";
        if (secureFlags & WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CERT) words += "invalid certificate, ";
        if (secureFlags & WINHTTP_CALLBACK_STATUS_FLAG_CERT_REVOKED) words += "revoked, ";
        words += "flags " + std::to_string(secureFlags) + ")";
    }
    const long code = static_cast<long>(error);
    switch (error) {
        case ERROR_WINHTTP_NAME_NOT_RESOLVED:
        case ERROR_WINHTTP_CANNOT_CONNECT:
        case ERROR_WINHTTP_LOGIN_FAILURE:
        case WSAECONNREFUSED:
        case WSAENETUNREACH:
        case WSAEHOSTUNREACH:
            return Failure(WebFailure::Connection, code, words);
        case ERROR_WINHTTP_TIMEOUT:
        case WSAETIMEDOUT:  // Wine passes the socket's own
            return Failure(handshakeDone ? WebFailure::Stalled : WebFailure::Connection, code, words);
        case ERROR_WINHTTP_SECURE_FAILURE:
        case ERROR_WINHTTP_SECURE_INVALID_CA:
        case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
        case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
        case ERROR_WINHTTP_SECURE_INVALID_CERT:
        case ERROR_WINHTTP_SECURE_CERT_REV_FAILED:
        case ERROR_WINHTTP_SECURE_CERT_REVOKED:
        case ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE:
        case ERROR_WINHTTP_SECURE_CHANNEL_ERROR:
            return Failure(WebFailure::Certificate, code, words);
        case ERROR_WINHTTP_CONNECTION_ERROR:
        case ERROR_WINHTTP_INVALID_SERVER_RESPONSE:
        case WSAECONNRESET:
        case WSAECONNABORTED:
            return Failure(handshakeDone ? WebFailure::BrokenOff : WebFailure::Connection, code, words);
        case ERROR_WINHTTP_REDIRECT_FAILED:
            return Failure(WebFailure::Redirect, code, words);
        case ERROR_WINHTTP_OPERATION_CANCELLED:
            return Failure(WebFailure::Cancelled, code, words);
        default:
            return Failure(WebFailure::Other, code, words);
    }
}

// What the WinHTTP callbacks of one request tell the waiting thread. Shared with the
// callbacks, which keep it until WinHTTP closes the request: a request given up may still
// finish its last step into the buffer.
struct Pending {
    Pending() : done(CreateEventW(nullptr, FALSE, FALSE, nullptr)), buffer(kReadBytes) {}
    ~Pending() {
        if (done != nullptr) CloseHandle(done);
    }
    Pending(const Pending&) = delete;
    Pending& operator=(const Pending&) = delete;

    HANDLE done;
    std::mutex mutex;
    DWORD status = 0;       // the notification that ended the last step
    DWORD error = 0;        // of WINHTTP_CALLBACK_STATUS_REQUEST_ERROR
    DWORD bytes = 0;        // of WINHTTP_CALLBACK_STATUS_READ_COMPLETE
    DWORD secureFlags = 0;  // of WINHTTP_CALLBACK_STATUS_SECURE_FAILURE
    bool sent = false;      // the request went out: the connection and its handshake are done
    std::vector<char> buffer;
};
using PendingRef = std::shared_ptr<Pending>;

void CALLBACK StatusSeen(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD length) {
    auto* ref = reinterpret_cast<PendingRef*>(context);
    if (ref == nullptr) return;
    if (status == WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING) {  // the last notification
        delete ref;
        return;
    }
    Pending& p = **ref;
    std::lock_guard<std::mutex> lock(p.mutex);
    switch (status) {
        case WINHTTP_CALLBACK_STATUS_SECURE_FAILURE:
            if (info != nullptr && length >= sizeof(DWORD)) p.secureFlags = *static_cast<DWORD*>(info);
            return;
        case WINHTTP_CALLBACK_STATUS_REQUEST_SENT:
            // Wine reports the sending complete only once the answer's headers are in.
            p.sent = true;
            SetEvent(p.done);
            return;
        case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR:
            p.error = info != nullptr ? static_cast<WINHTTP_ASYNC_RESULT*>(info)->dwError : ERROR_WINHTTP_INTERNAL_ERROR;
            break;
        case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
            p.bytes = length;
            break;
        case WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE:
            p.bytes = info != nullptr && length >= sizeof(DWORD) ? *static_cast<DWORD*>(info) : 0;
            break;
        case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
        case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE:
            break;
        default:
            return;
    }
    p.status = status;
    SetEvent(p.done);
}

class Internet {
public:
    explicit Internet(HINTERNET h = nullptr) : h_(h) {}
    ~Internet() {
        if (h_ != nullptr) WinHttpCloseHandle(h_);
    }
    Internet(const Internet&) = delete;
    Internet& operator=(const Internet&) = delete;
    HINTERNET get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }

private:
    HINTERNET h_;
};

struct Address {
    std::wstring host;
    INTERNET_PORT port = 0;
    std::wstring path;  // with the query
};

bool Crack(const std::string& url, Address& out) {
    const std::wstring wide = Wide(url);
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwSchemeLength = static_cast<DWORD>(-1);
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(wide.c_str(), static_cast<DWORD>(wide.size()), 0, &parts)) return false;
    if (parts.nScheme != INTERNET_SCHEME_HTTPS || parts.dwHostNameLength == 0) return false;
    out.host.assign(parts.lpszHostName, parts.dwHostNameLength);
    out.port = parts.nPort;
    out.path.assign(parts.lpszUrlPath != nullptr ? parts.lpszUrlPath : L"", parts.dwUrlPathLength);
    if (parts.lpszExtraInfo != nullptr) out.path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (out.path.empty()) out.path = L"/";
    return true;
}

// The address a redirect's Location names, relative ones taken against from.
std::string Resolve(const std::string& from, const std::string& location) {
    const auto scheme = location.find("://");
    if (scheme != std::string::npos && location.find_first_of("/?#") > scheme) return location;
    const auto hostStart = from.find("://") + 3;
    const auto pathStart = std::min(from.find('/', hostStart), from.size());
    if (location.rfind("//", 0) == 0) return from.substr(0, hostStart - 2) + location;
    if (location.rfind('/', 0) == 0) return from.substr(0, pathStart) + location;
    std::string base = from.substr(0, std::min(from.find_first_of("?#", pathStart), from.size()));
    const auto slash = base.rfind('/');
    base = slash != std::string::npos && slash >= pathStart ? base.substr(0, slash + 1) : base + "/";
    return base + location;
}

std::string QueryText(HINTERNET request, DWORD info) {
    DWORD size = 0;
    WinHttpQueryHeaders(request, info, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER, &size,
                        WINHTTP_NO_HEADER_INDEX);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0 || size > 64 * 1024) return {};
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    if (!WinHttpQueryHeaders(request, info, WINHTTP_HEADER_NAME_BY_INDEX, text.data(), &size,
                             WINHTTP_NO_HEADER_INDEX)) {
        return {};
    }
    text.resize(size / sizeof(wchar_t));
    return Utf8(text);
}

// A length header of digits only; -1 when there is none or it is not one.
std::int64_t ParseLength(const std::string& text) {
    if (text.empty() || text.size() > 18) return -1;
    std::int64_t n = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return -1;
        n = n * 10 + (c - '0');
    }
    return n;
}

// The time-outs, watched by the caller's thread while WinHTTP works, and the caller's
// progress function, called at least every 100 ms and whenever input arrives for the
// thread, so that the caller's window keeps answering.
class Watch {
public:
    Watch(const WebTimeouts& t, const IWeb::Progress& progress) : t_(t), progress_(progress) {}

    void StartHop() {
        handshakeDone = false;
        start_ = Clock::now();
        lastTick_ = start_ - std::chrono::seconds(1);
    }
    void HandshakeDone() {
        handshakeDone = true;
        lastArrival_ = Clock::now();
    }
    void Arrived(std::uint64_t bytes) {
        done += bytes;
        lastArrival_ = Clock::now();
    }
    // Kind None while the request may go on.
    WebError Tick(bool force = false) {
        const auto now = Clock::now();
        if (!handshakeDone && now - start_ >= t_.connect) {
            return Failure(WebFailure::Connection, ERROR_WINHTTP_TIMEOUT,
                           "no connection within " + std::to_string(t_.connect.count()) + " s");
        }
        if (handshakeDone && now - lastArrival_ >= t_.lowSpeed) {
            return Failure(WebFailure::Stalled, ERROR_WINHTTP_TIMEOUT,
                           "nothing received for " + std::to_string(t_.lowSpeed.count()) + " s");
        }
        if (force || now - lastTick_ >= std::chrono::milliseconds(100)) {
            lastTick_ = now;
            if (progress_ && !progress_(done, total)) {
                return Failure(WebFailure::Cancelled, ERROR_WINHTTP_OPERATION_CANCELLED, "cancelled by the caller");
            }
        }
        return {};
    }

    bool handshakeDone = false;
    std::uint64_t done = 0;
    std::uint64_t total = 0;

private:
    WebTimeouts t_;
    const IWeb::Progress& progress_;
    Clock::time_point start_{};
    Clock::time_point lastArrival_{};
    Clock::time_point lastTick_{};
};

// Receives the body; false stops the transfer (the receiver knows why).
using Sink = BodySink;
// Sees the announced length (-1 when none) before the body; false stops the transfer.
using LengthSeen = std::function<bool(std::int64_t length)>;

// The system's proxy settings (WinHTTP's own before Windows 8.1, which lacks the first kind).
HINTERNET OpenSession() {
    HINTERNET h = WinHttpOpen(kAgent, WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                              WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC);
    if (h != nullptr) return h;
    return WinHttpOpen(kAgent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS,
                       WINHTTP_FLAG_ASYNC);
}

const WebError kStoppedByReceiver{WebFailure::Other, 0, "stopped by the receiver"};

// One GET with its redirects, over one WinHTTP session.
class Transfer {
public:
    Transfer(const std::string& caFile, const WebTimeouts& t, const IWeb::Progress& progress)
        : caFile_(caFile), timeouts_(t), watch_(t, progress) {}

    long status = 0;

    WebError Run(const std::string& url, const LengthSeen& lengthSeen, const Sink& sink) {
        Internet session(OpenSession());
        if (!session) return Failure(WebFailure::Other, static_cast<long>(GetLastError()), WinHttpText(GetLastError()));
        std::string address = url;
        for (int redirects = 0;; ++redirects) {
            std::string location;
            WebError error = Hop(session.get(), address, false, location, lengthSeen, sink);
            // An authority of the caller's file may have signed it: the system's checks
            // then stand aside for the unknown authority only, and the chain is checked here.
            if (error.kind == WebFailure::Certificate && !caFile_.empty()) {
                error = Hop(session.get(), address, true, location, lengthSeen, sink);
            }
            if (error.kind != WebFailure::None || location.empty()) return error;
            if (redirects == kMaxRedirects) {
                return Failure(WebFailure::Redirect, ERROR_WINHTTP_REDIRECT_FAILED,
                               "more than " + std::to_string(kMaxRedirects) + " redirects");
            }
            const std::string next = Resolve(address, location);
            if (CheckWebAddress(next).kind != WebFailure::None) {
                return Failure(WebFailure::Redirect, ERROR_WINHTTP_REDIRECT_FAILED,
                               "redirect to an address that is not https://: " + next);
            }
            address = next;
        }
    }

private:
    // Forgets how the last step ended, before the next one begins.
    static void Begin(Pending& p) {
        std::lock_guard<std::mutex> lock(p.mutex);
        p.status = 0;
    }

    // Waits for the step begun last, watching the time-outs.
    WebError Wait(Pending& p, DWORD expected) {
        for (;;) {
            // New messages for this thread wake the wait too: the progress function lets
            // them through at once.
            const DWORD waited = MsgWaitForMultipleObjectsEx(1, &p.done, 100, QS_ALLINPUT, 0);
            const bool woken = waited == WAIT_OBJECT_0;
            const bool input = waited == WAIT_OBJECT_0 + 1;
            {
                std::lock_guard<std::mutex> lock(p.mutex);
                if (p.sent && !watch_.handshakeDone) watch_.HandshakeDone();
                if (woken && p.status == WINHTTP_CALLBACK_STATUS_REQUEST_ERROR) {
                    return FromWinHttp(p.error, watch_.handshakeDone, p.secureFlags);
                }
                if (woken && p.status == expected) return {};
            }
            if (WebError e = watch_.Tick(input); e.kind != WebFailure::None) return e;
        }
    }

    // One request; location is set when it is a redirect to follow.
    WebError Hop(HINTERNET session, const std::string& url, bool extraAuthorities, std::string& location,
                 const LengthSeen& lengthSeen, const Sink& sink) {
        location.clear();
        status = 0;
        watch_.StartHop();
        Address at;
        if (!Crack(url, at)) return Failure(WebFailure::Address, 0, "the address cannot be read: " + url);
        Internet connect(WinHttpConnect(session, at.host.c_str(), at.port, 0));
        if (!connect) return FromWinHttp(GetLastError(), false, 0);
        Internet request(WinHttpOpenRequest(connect.get(), L"GET", at.path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                            WINHTTP_DEFAULT_ACCEPT_TYPES, WINHTTP_FLAG_SECURE | WINHTTP_FLAG_REFRESH));
        if (!request) return FromWinHttp(GetLastError(), false, 0);
        HINTERNET h = request.get();
        // Redirects are followed above, where each new address is checked. No connection is
        // kept for later requests: Wine shares kept connections between sessions, so one
        // accepted through the caller's authorities would serve a request without them.
        DWORD option = WINHTTP_DISABLE_REDIRECTS | WINHTTP_DISABLE_KEEP_ALIVE;
        bool ok = WinHttpSetOption(h, WINHTTP_OPTION_DISABLE_FEATURE, &option, sizeof option);
        // WinHTTP's own limits only back up the watch of the caller's thread, which decides.
        const int connectMs = static_cast<int>(timeouts_.connect.count() * 1000) + 2000;
        const int stallMs = static_cast<int>(timeouts_.lowSpeed.count() * 1000) + 2000;
        ok = ok && WinHttpSetTimeouts(h, connectMs, connectMs, stallMs, stallMs);
        DWORD responseMs = static_cast<DWORD>(stallMs);
        ok = ok && WinHttpSetOption(h, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &responseMs, sizeof responseMs);
        if (extraAuthorities) {
            DWORD flags = SECURITY_FLAG_IGNORE_UNKNOWN_CA;
            ok = ok && WinHttpSetOption(h, WINHTTP_OPTION_SECURITY_FLAGS, &flags, sizeof flags);
        }
        if (!ok) return FromWinHttp(GetLastError(), false, 0);

        const PendingRef pending = std::make_shared<Pending>();
        auto* anchor = new PendingRef(pending);
        DWORD_PTR context = reinterpret_cast<DWORD_PTR>(anchor);
        if (!WinHttpSetOption(h, WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof context) ||
            WinHttpSetStatusCallback(h, &StatusSeen,
                                     WINHTTP_CALLBACK_FLAG_ALL_COMPLETIONS | WINHTTP_CALLBACK_FLAG_SECURE_FAILURE |
                                         WINHTTP_CALLBACK_FLAG_HANDLES | WINHTTP_CALLBACK_FLAG_SEND_REQUEST,
                                     0) == WINHTTP_INVALID_STATUS_CALLBACK) {
            const DWORD error = GetLastError();
            delete anchor;
            return FromWinHttp(error, false, 0);
        }
        Pending& p = *pending;

        Begin(p);
        if (!WinHttpSendRequest(h, L"Cache-Control: no-cache", static_cast<DWORD>(-1), WINHTTP_NO_REQUEST_DATA, 0, 0,
                                context)) {
            return FromWinHttp(GetLastError(), false, 0);
        }
        if (WebError e = Wait(p, WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE); e.kind != WebFailure::None) return e;
        if (!watch_.handshakeDone) watch_.HandshakeDone();
        if (extraAuthorities) {
            PCCERT_CONTEXT server = nullptr;
            DWORD size = sizeof server;
            if (!WinHttpQueryOption(h, WINHTTP_OPTION_SERVER_CERT_CONTEXT, &server, &size) || server == nullptr) {
                return Failure(WebFailure::Certificate, ERROR_WINHTTP_SECURE_FAILURE,
                               "the server's certificate cannot be read: " + WinHttpText(GetLastError()));
            }
            const std::string why = VerifyWithAuthorities(server, caFile_, Utf8(at.host));
            CertFreeCertificateContext(server);
            if (!why.empty()) return Failure(WebFailure::Certificate, ERROR_WINHTTP_SECURE_INVALID_CA, why);
        }

        Begin(p);
        if (!WinHttpReceiveResponse(h, nullptr)) return FromWinHttp(GetLastError(), true, 0);
        if (WebError e = Wait(p, WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE); e.kind != WebFailure::None) return e;
        DWORD code = 0;
        DWORD codeSize = sizeof code;
        if (!WinHttpQueryHeaders(h, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
                                 &code, &codeSize, WINHTTP_NO_HEADER_INDEX)) {
            return FromWinHttp(GetLastError(), true, 0);
        }
        status = static_cast<long>(code);
        if (status >= 300 && status <= 399) {
            location = QueryText(h, WINHTTP_QUERY_LOCATION);
            const bool follow = status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
            if (follow && !location.empty()) return {};
            location.clear();
            return Failure(WebFailure::Redirect, status, "HTTP status " + std::to_string(status));
        }
        if (status < 200 || status > 299) {
            return Failure(WebFailure::Status, status, "HTTP status " + std::to_string(status));
        }

        const std::int64_t length = ParseLength(QueryText(h, WINHTTP_QUERY_CONTENT_LENGTH));
        std::string coding = QueryText(h, WINHTTP_QUERY_TRANSFER_ENCODING);
        std::transform(coding.begin(), coding.end(), coding.begin(),
                       [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
        // Only a body of announced length can be known to be complete: WinHTTP takes a
        // connection lost halfway for the end of a body without length and, under Wine, for
        // the end of a chunked one.
        if (length < 0 && status != 204) {
            const bool chunked = coding.find("chunked") != std::string::npos;
            return Failure(WebFailure::BrokenOff, ERROR_WINHTTP_INVALID_SERVER_RESPONSE,
                           std::string("the server sent no length") + (chunked ? " (chunked)" : "") +
                               ": whether the body arrived whole cannot be told");
        }
        if (!lengthSeen(length)) return kStoppedByReceiver;
        watch_.total = length > 0 ? static_cast<std::uint64_t>(length) : 0;
        std::uint64_t received = 0;
        if (status != 204) {
            for (;;) {
                // What has arrived, not a full buffer: a read of a fixed size waits for all of
                // it under Wine, and the progress would stand still on a slow line.
                Begin(p);
                if (!WinHttpQueryDataAvailable(h, nullptr)) return FromWinHttp(GetLastError(), true, 0);
                if (WebError e = Wait(p, WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE); e.kind != WebFailure::None) return e;
                const DWORD available = p.bytes;
                if (available == 0) break;
                Begin(p);
                if (!WinHttpReadData(h, p.buffer.data(), std::min(available, kReadBytes), nullptr))
                    return FromWinHttp(GetLastError(), true, 0);
                if (WebError e = Wait(p, WINHTTP_CALLBACK_STATUS_READ_COMPLETE); e.kind != WebFailure::None) return e;
                const DWORD n = p.bytes;
                if (n == 0) break;
                received += n;
                watch_.Arrived(n);
                if (!sink(p.buffer.data(), n)) return kStoppedByReceiver;
                if (WebError e = watch_.Tick(true); e.kind != WebFailure::None) return e;
            }
        }
        if (length >= 0 && received != static_cast<std::uint64_t>(length)) {
            return Failure(WebFailure::BrokenOff, ERROR_WINHTTP_CONNECTION_ERROR,
                           "the server sent " + std::to_string(received) + " of " + std::to_string(length) + " bytes");
        }
        return {};
    }

    std::string caFile_;
    WebTimeouts timeouts_;
    Watch watch_;
};

class FileHandle {
public:
    explicit FileHandle(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
    ~FileHandle() { Close(); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    HANDLE get() const { return h_; }
    bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
    bool Close() {
        if (!valid()) return true;
        const bool ok = CloseHandle(h_) != FALSE;
        h_ = INVALID_HANDLE_VALUE;
        return ok;
    }
    void Reset(HANDLE h) {
        Close();
        h_ = h;
    }

private:
    HANDLE h_;
};

// The certificates of a PEM file, in a memory store; nothing when it holds none or cannot
// be read.
HCERTSTORE LoadAuthorities(const std::string& caFile, std::string& why) {
    FileHandle file(CreateFileW(Wide(caFile).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file.valid() || !GetFileSizeEx(file.get(), &size)) {
        why = "the certificate authorities' file cannot be read: " + caFile + ": " + ErrorText(GetLastError());
        return nullptr;
    }
    if (size.QuadPart > static_cast<LONGLONG>(kMaxCaFileBytes)) {
        why = "the certificate authorities' file is larger than 1 MB: " + caFile;
        return nullptr;
    }
    std::string pem(static_cast<std::size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!pem.empty() && (!ReadFile(file.get(), pem.data(), static_cast<DWORD>(pem.size()), &read, nullptr) ||
                         read != pem.size())) {
        why = "the certificate authorities' file cannot be read: " + caFile;
        return nullptr;
    }
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr);
    if (store == nullptr) {
        why = "no certificate store: " + ErrorText(GetLastError());
        return nullptr;
    }
    constexpr std::string_view kBegin = "-----BEGIN CERTIFICATE-----";
    constexpr std::string_view kEnd = "-----END CERTIFICATE-----";
    int added = 0;
    for (std::size_t at = pem.find(kBegin); at != std::string::npos; at = pem.find(kBegin, at + 1)) {
        const std::size_t end = pem.find(kEnd, at);
        if (end == std::string::npos) break;
        const std::string block = pem.substr(at, end + kEnd.size() - at);
        DWORD bytes = 0;
        if (!CryptStringToBinaryA(block.c_str(), static_cast<DWORD>(block.size()), CRYPT_STRING_BASE64HEADER, nullptr,
                                  &bytes, nullptr, nullptr)) {
            continue;
        }
        std::vector<BYTE> der(bytes);
        if (CryptStringToBinaryA(block.c_str(), static_cast<DWORD>(block.size()), CRYPT_STRING_BASE64HEADER,
                                 der.data(), &bytes, nullptr, nullptr) &&
            CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), bytes, CERT_STORE_ADD_ALWAYS,
                                             nullptr)) {
            ++added;
        }
    }
    if (added == 0) {
        CertCloseStore(store, 0);
        why = "no certificate in " + caFile;
        return nullptr;
    }
    return store;
}

}  // namespace

std::string VerifyWithAuthorities(const void* serverCertificate, const std::string& caFile, const std::string& host) {
    const auto server = static_cast<PCCERT_CONTEXT>(serverCertificate);
    std::string why;
    HCERTSTORE roots = LoadAuthorities(caFile, why);
    if (roots == nullptr) return why;
    // An engine whose only roots are the file's: a chain to any other root fails.
    CERT_CHAIN_ENGINE_CONFIG config{};
    config.cbSize = sizeof config;
    config.hExclusiveRoot = roots;
    HCERTCHAINENGINE engine = nullptr;
    if (!CertCreateCertificateChainEngine(&config, &engine)) {
        why = "no chain engine for the certificate authorities' file: " + ErrorText(GetLastError());
        CertCloseStore(roots, 0);
        return why;
    }
    char serverAuth[] = szOID_PKIX_KP_SERVER_AUTH;
    LPSTR usages[] = {serverAuth};
    CERT_CHAIN_PARA para{};
    para.cbSize = sizeof para;
    para.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
    para.RequestedUsage.Usage.cUsageIdentifier = 1;
    para.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    if (!CertGetCertificateChain(engine, server, nullptr, server->hCertStore, &para, 0, nullptr, &chain)) {
        why = "the server's certificate chain cannot be built: " + ErrorText(GetLastError());
    } else {
        std::wstring name = Wide(host);
        SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
        ssl.cbSize = sizeof ssl;
        ssl.dwAuthType = AUTHTYPE_SERVER;
        ssl.pwszServerName = name.data();
        CERT_CHAIN_POLICY_PARA policy{};
        policy.cbSize = sizeof policy;
        policy.pvExtraPolicyPara = &ssl;
        CERT_CHAIN_POLICY_STATUS outcome{};
        outcome.cbSize = sizeof outcome;
        if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &outcome)) {
            why = "the server's certificate cannot be checked: " + ErrorText(GetLastError());
        } else if (outcome.dwError != 0) {
            why = "the server's certificate is refused: " + ErrorText(outcome.dwError);
        } else if (chain->TrustStatus.dwErrorStatus != CERT_TRUST_NO_ERROR) {
            why = "the server's certificate chain has faults (trust status " +
                  std::to_string(chain->TrustStatus.dwErrorStatus) + ")";
        }
        CertFreeCertificateChain(chain);
    }
    CertFreeCertificateChainEngine(engine);
    CertCloseStore(roots, 0);
    return why;
}

WinHttpWeb::WinHttpWeb(std::string caFile) : WinHttpWeb(std::move(caFile), WebTimeoutsFromEnvironment()) {}

WinHttpWeb::WinHttpWeb(std::string caFile, WebTimeouts timeouts)
    : caFile_(std::move(caFile)), timeouts_(timeouts) {}

std::optional<std::string> WinHttpWeb::FetchText(const std::string& url, std::size_t maxBytes,
                                                 const Progress& progress) {
    lastError_ = CheckWebAddress(url);
    if (lastError_.kind != WebFailure::None) return std::nullopt;
    std::string body;
    bool tooLarge = false;
    Transfer transfer(caFile_, timeouts_, progress);
    lastError_ = transfer.Run(
        url,
        [&](std::int64_t length) {
            tooLarge = length > 0 && static_cast<std::uint64_t>(length) > maxBytes;
            return !tooLarge;
        },
        [&](const char* data, std::size_t n) {
            if (n > maxBytes - body.size()) {
                tooLarge = true;
                return false;
            }
            body.append(data, n);
            return true;
        });
    if (tooLarge) {
        lastError_ = Failure(WebFailure::TooLarge, static_cast<long>(maxBytes),
                             "the page is larger than " + std::to_string(maxBytes) + " bytes");
        return std::nullopt;
    }
    if (lastError_.kind != WebFailure::None) return std::nullopt;
    return body;
}

DownloadResult WinHttpWeb::Download(const std::string& url, const std::string& target, const Progress& progress,
                                    const Check& check) {
    return DownloadStaged(files_, PathStyle::Windows, GetCurrentProcessId(), url, target, check,
                          [&](const BodySink& body) {
                              Transfer transfer(caFile_, timeouts_, progress);
                              TransferResult result;
                              result.error = transfer.Run(url, [](std::int64_t) { return true; }, body);
                              result.httpStatus = transfer.status;
                              return result;
                          });
}

int WinHttpWeb::RemoveLeftovers(const std::string& target) {
    return RemoveStaleDownloads(files_, PathStyle::Windows, target);
}

}  // namespace zq::win32

namespace zq {

std::unique_ptr<IWeb> MakeWeb(const std::string& caFile) { return std::make_unique<win32::WinHttpWeb>(caFile); }

}  // namespace zq
