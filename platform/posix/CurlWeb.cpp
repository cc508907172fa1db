#include "platform/posix/CurlWeb.h"

#include "platform/PlatformFactory.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

namespace zq::posix {
namespace {

constexpr const char* kAgent = "Zequora";
constexpr long kMaxRedirects = 5;
constexpr std::size_t kWriteBufferBytes = 1u << 20;

bool StartsWithHttps(const std::string& url) {
    constexpr std::string_view scheme = "https://";
    if (url.size() <= scheme.size()) return false;
    for (std::size_t i = 0; i < scheme.size(); ++i) {
        char c = url[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != scheme[i]) return false;
    }
    return true;
}

// Empty when the address may be requested, else the reason it is refused.
std::string CheckUrl(const std::string& url) {
    for (unsigned char c : url) {
        if (c <= 0x20 || c == 0x7F) return "the address contains blanks or control characters";
    }
    if (!StartsWithHttps(url)) return "only https:// addresses are accepted: " + url;
    return {};
}

struct CurlDeleter {
    void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
struct SlistDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
using CurlHandle = std::unique_ptr<CURL, CurlDeleter>;
using Slist = std::unique_ptr<curl_slist, SlistDeleter>;

// One request: the options every transfer shares.
struct Request {
    CurlHandle handle{curl_easy_init()};
    Slist headers{curl_slist_append(nullptr, "Cache-Control: no-cache")};
    char errorBuffer[CURL_ERROR_SIZE] = {};

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
        return ok;
    }

    long Status() {
        long code = 0;
        curl_easy_getinfo(handle.get(), CURLINFO_RESPONSE_CODE, &code);
        return code;
    }

    std::string Describe(CURLcode rc, long status) const {
        if (rc == CURLE_HTTP_RETURNED_ERROR || (rc == CURLE_OK && (status < 200 || status > 299))) {
            return "HTTP status " + std::to_string(status);
        }
        std::string text = curl_easy_strerror(rc);
        if (errorBuffer[0] != '\0') text += ": " + std::string(errorBuffer);
        return text;
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

// The partial file of one download: buffered writes, removed unless committed.
class PartFile {
public:
    explicit PartFile(const std::string& target) {
        namespace fs = std::filesystem;
        const fs::path t(target);
        fs::path folder = t.parent_path();
        if (folder.empty()) folder = ".";
        static std::atomic<unsigned> counter{0};
        for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
            path_ = (folder / ("." + t.filename().string() + "." + std::to_string(getpid()) + "." +
                               std::to_string(counter++) + ".part"))
                        .string();
            fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd_ < 0 && errno != EEXIST) break;
        }
        if (fd_ < 0) error_ = "cannot create " + path_ + ": " + std::strerror(errno);
        buffer_.reserve(kWriteBufferBytes);
    }
    ~PartFile() {
        if (fd_ >= 0) ::close(fd_);
        if (!committed_ && !path_.empty() && created()) ::unlink(path_.c_str());
    }
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    bool created() const { return fd_ >= 0 || closedOk_; }
    const std::string& error() const { return error_; }
    std::uint64_t written() const { return written_; }

    bool Append(const char* data, std::size_t n) {
        if (buffer_.size() + n > kWriteBufferBytes && !Flush()) return false;
        if (n >= kWriteBufferBytes) return WriteAll(data, n);
        buffer_.insert(buffer_.end(), data, data + n);
        return true;
    }

    // Makes the file complete on disk and puts it in place of the target.
    // expected is the announced length, -1 when unknown.
    bool Commit(const std::string& target, std::int64_t expected) {
        if (!Flush()) return false;
        if (expected >= 0 && static_cast<std::uint64_t>(expected) != written_) {
            error_ = "the server sent " + std::to_string(written_) + " of " +
                     std::to_string(expected) + " bytes";
            return false;
        }
        if (::fsync(fd_) != 0) return Fail("cannot write " + path_);
        const int fd = fd_;
        fd_ = -1;
        closedOk_ = true;
        if (::close(fd) != 0) return Fail("cannot write " + path_);
        if (::rename(path_.c_str(), target.c_str()) != 0) return Fail("cannot replace " + target);
        committed_ = true;
        return true;
    }

private:
    bool Flush() {
        if (buffer_.empty()) return true;
        const bool ok = WriteAll(buffer_.data(), buffer_.size());
        buffer_.clear();
        return ok;
    }
    bool WriteAll(const char* data, std::size_t n) {
        while (n > 0) {
            const ssize_t w = ::write(fd_, data, n);
            if (w < 0) {
                if (errno == EINTR) continue;
                return Fail("cannot write " + path_);
            }
            data += w;
            n -= static_cast<std::size_t>(w);
            written_ += static_cast<std::uint64_t>(w);
        }
        return true;
    }
    bool Fail(const std::string& what) {
        if (error_.empty()) error_ = what + ": " + std::strerror(errno);
        return false;
    }

    std::string path_;
    int fd_ = -1;
    bool closedOk_ = false;
    bool committed_ = false;
    std::vector<char> buffer_;
    std::uint64_t written_ = 0;
    std::string error_;
};

struct DownloadState {
    PartFile* file = nullptr;
    const std::function<void(std::uint64_t, std::uint64_t)>* progress = nullptr;
    curl_off_t lastDone = -1;
    curl_off_t lastTotal = -1;
};

std::size_t DownloadWrite(char* data, std::size_t size, std::size_t count, void* user) {
    auto* state = static_cast<DownloadState*>(user);
    const std::size_t n = size * count;
    return state->file->Append(data, n) ? n : 0;
}

int DownloadProgress(void* user, curl_off_t total, curl_off_t done, curl_off_t, curl_off_t) {
    auto* state = static_cast<DownloadState*>(user);
    if (*state->progress && (done != state->lastDone || total != state->lastTotal)) {
        state->lastDone = done;
        state->lastTotal = total;
        (*state->progress)(static_cast<std::uint64_t>(done), static_cast<std::uint64_t>(total));
    }
    return 0;
}

}  // namespace

WebTimeouts WebTimeoutsFromEnvironment() {
    WebTimeouts t;
    const char* value = std::getenv("ZEQUORA_WEB_TIMEOUT_S");
    if (value == nullptr || *value == '\0') return t;
    char* end = nullptr;
    errno = 0;
    const long seconds = std::strtol(value, &end, 10);
    if (errno == 0 && end != nullptr && *end == '\0' && seconds > 0 && seconds <= 3600) {
        t.connect = std::chrono::seconds(seconds);
        t.lowSpeed = std::chrono::seconds(seconds);
    }
    return t;
}

CurlWeb::CurlWeb(std::string caFile) : CurlWeb(std::move(caFile), WebTimeoutsFromEnvironment()) {}

CurlWeb::CurlWeb(std::string caFile, WebTimeouts timeouts)
    : caFile_(std::move(caFile)), timeouts_(timeouts) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
}

CurlWeb::~CurlWeb() { curl_global_cleanup(); }

std::optional<std::string> CurlWeb::FetchText(const std::string& url, std::size_t maxBytes) {
    lastError_ = CheckUrl(url);
    if (!lastError_.empty()) return std::nullopt;
    Request request;
    if (!request.Setup(url, caFile_, timeouts_)) {
        lastError_ = "the web library could not be set up";
        return std::nullopt;
    }
    FetchState state;
    state.maxBytes = maxBytes;
    curl_easy_setopt(request.handle.get(), CURLOPT_WRITEFUNCTION, &FetchWrite);
    curl_easy_setopt(request.handle.get(), CURLOPT_WRITEDATA, &state);
    const CURLcode rc = curl_easy_perform(request.handle.get());
    const long status = request.Status();
    if (state.tooLarge) {
        lastError_ = "the page is larger than " + std::to_string(maxBytes) + " bytes";
        return std::nullopt;
    }
    if (rc != CURLE_OK || status < 200 || status > 299) {
        lastError_ = request.Describe(rc, status);
        return std::nullopt;
    }
    return std::move(state.body);
}

DownloadResult CurlWeb::Download(
    const std::string& url, const std::string& target,
    const std::function<void(std::uint64_t done, std::uint64_t total)>& progress) {
    DownloadResult result;
    result.error = CheckUrl(url);
    if (!result.error.empty()) return result;
    if (target.empty()) {
        result.error = "no target file";
        return result;
    }
    Request request;
    if (!request.Setup(url, caFile_, timeouts_)) {
        result.error = "the web library could not be set up";
        return result;
    }
    PartFile file(target);
    if (!file.created()) {
        result.error = file.error();
        return result;
    }
    DownloadState state;
    state.file = &file;
    state.progress = &progress;
    CURL* h = request.handle.get();
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &DownloadWrite);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &state);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &DownloadProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &state);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    const CURLcode rc = curl_easy_perform(h);
    result.httpStatus = request.Status();
    if (rc != CURLE_OK || result.httpStatus < 200 || result.httpStatus > 299) {
        result.error = (rc == CURLE_WRITE_ERROR && !file.error().empty())
                           ? file.error()
                           : request.Describe(rc, result.httpStatus);
        return result;  // the partial file goes with `file`
    }
    curl_off_t expected = -1;
    curl_easy_getinfo(h, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &expected);
    if (!file.Commit(target, expected)) {
        result.error = file.error();
        return result;
    }
    result.ok = true;
    return result;
}

}  // namespace zq::posix

namespace zq {

std::unique_ptr<IWeb> MakeWeb(const std::string& caFile) {
    return std::make_unique<posix::CurlWeb>(caFile);
}

}  // namespace zq
