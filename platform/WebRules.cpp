#include "platform/WebRules.h"

#include <cerrno>
#include <cstdlib>
#include <string_view>

#include "common/Paths.h"
#include "common/StagedFile.h"

namespace zq {
namespace {

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

WebError CheckWebAddress(const std::string& url) {
    for (unsigned char c : url) {
        if (c <= 0x20 || c == 0x7F) {
            return WebError{WebFailure::Address, 0, "the address contains blanks or control characters"};
        }
    }
    if (!StartsWithHttps(url)) {
        return WebError{WebFailure::Address, 0, "only https:// addresses are accepted: " + url};
    }
    return {};
}

namespace {

WebError StagingFailure(const FsStatus& status) {
    return {status.error == kErrDiskFull ? WebFailure::DiskFull : WebFailure::Folder, status.system,
            status.text};
}

}  // namespace

DownloadResult DownloadStaged(IFiles& files, PathStyle style, unsigned long process,
                              const std::string& url, const std::string& target,
                              const IWeb::Check& check,
                              const std::function<TransferResult(const BodySink&)>& transfer) {
    DownloadResult result;
    result.error = CheckWebAddress(url);
    if (result.error.kind != WebFailure::None) return result;
    if (target.empty()) {
        result.error = {WebFailure::Folder, 0, "no target file"};
        return result;
    }
    StagedFile file(files, style, target, kDownloadSuffix, process);
    if (!file.Ok()) {
        result.error = StagingFailure(file.Status());
        return result;
    }
    const TransferResult transferred =
        transfer([&](const char* data, std::size_t size) { return file.Write(data, size); });
    result.httpStatus = transferred.httpStatus;
    // A failed write stops the transfer: the file's failure is what went wrong.
    if (!file.Ok()) {
        result.error = StagingFailure(file.Status());
        return result;
    }
    result.error = transferred.error;
    if (result.error.kind != WebFailure::None) return result;
    if (!file.Finish()) {
        result.error = StagingFailure(file.Status());
        return result;
    }
    if (check && !check(file.Path())) {
        result.error = {WebFailure::Rejected, 0, "the received file was refused"};
        return result;
    }
    if (!file.Commit(true)) {
        result.error = StagingFailure(file.Status());
        return result;
    }
    result.ok = true;
    return result;
}

int RemoveStaleDownloads(IFiles& files, PathStyle style, const std::string& target) {
    // A target that ends in a separator names no file: nothing of another file's goes.
    if (target.empty() || FilePart(target, style).empty()) return 0;
    return RemoveStaleStagedFiles(files, style, target, kDownloadSuffix);
}

}  // namespace zq
