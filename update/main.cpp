// zqu: the update tool. Builds the platform's adapters and the window and runs it.
#include <chrono>
#include <cstdio>
#include <string>

#include "platform/PlatformFactory.h"
#include "platform/Ui.h"
#include "update/frmMain/frmMain.h"

namespace {

// Measuring aid for scripts/bench_zqu.sh: one download through the tool's web layer.
// It writes only a new file: a mistaken call can never put a page over an installer.
int FetchFile(const std::string& url, const std::string& target, const std::string& caFile) {
    const auto services = zq::MakePlatformServices();
    if (services->Get().files.Exists(target, zq::kAttrHidden | zq::kAttrSystem | zq::kAttrDirectory)) {
        std::fprintf(stderr, "zqu: %s exists already; --fetch-file writes only a new file\n", target.c_str());
        return zq::update::kExitFetchFailed;
    }
    const auto web = zq::MakeWeb(caFile);
    const auto start = std::chrono::steady_clock::now();
    std::uint64_t bytes = 0;
    const zq::DownloadResult r =
        web->Download(url, target, [&](std::uint64_t done, std::uint64_t) {
            bytes = done;
            return true;
        });
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!r.ok) {
        std::fprintf(stderr, "zqu: download failed: %ld %s\n", r.error.code, r.error.detail.c_str());
        return zq::update::kExitFetchFailed;
    }
    std::printf("%llu bytes in %.3f s\n", static_cast<unsigned long long>(bytes), seconds);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 4 && std::string(argv[1]) == "--fetch-file") {
        return FetchFile(argv[2], argv[3], argc >= 5 ? argv[4] : "");
    }
    const auto services = zq::MakePlatformServices();
    const auto ui = zq::MakeUi(argc, argv, *services);
    return zq::update::RunUpdateTool(services->Get(), ui->UpdateWindow(), zq::MakeWeb);
}
