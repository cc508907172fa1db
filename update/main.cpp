// zqu: the update tool. Builds the Linux adapters, picks the view and runs the window.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>

#include "platform/console/ConsoleUpdateView.h"
#include "platform/posix/CurlWeb.h"
#include "platform/posix/PosixPlatform.h"
#include "update/UpdateContext.h"
#include "update/frmMain/frmMain.h"
#include "common/Paths.h"
#include "update/funktionen.h"

namespace {

enum class Ui { Console, Window };

Ui ChooseUi() {
    const char* forced = std::getenv("ZEQUORA_UI");
    if (forced != nullptr && std::string(forced) == "console") return Ui::Console;
    if (forced != nullptr && std::string(forced) == "qt") return Ui::Window;
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return Ui::Window;
    }
    return Ui::Console;
}

// The seam for the window toolkit's view; until it exists every choice gets the console.
std::unique_ptr<zq::update::IMainView> MakeMainView(Ui) {
    return std::make_unique<zq::console::ConsoleUpdateView>(std::cin, std::cout);
}

// Measuring aid for scripts/bench_zqu.sh: one download through the tool's web layer.
int FetchFile(const std::string& url, const std::string& target, const std::string& caFile) {
    zq::posix::CurlWeb web(caFile);
    const auto start = std::chrono::steady_clock::now();
    std::uint64_t bytes = 0;
    const zq::DownloadResult r =
        web.Download(url, target, [&](std::uint64_t done, std::uint64_t) { bytes = done; });
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!r.ok) {
        std::fprintf(stderr, "zqu: download failed: %s\n", r.error.c_str());
        return 1;
    }
    std::printf("%llu bytes in %.3f s\n", static_cast<unsigned long long>(bytes), seconds);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 4 && std::string(argv[1]) == "--fetch-file") {
        return FetchFile(argv[2], argv[3], argc >= 5 ? argv[4] : "");
    }

    zq::posix::PosixPlatform posix;
    zq::Platform& p = posix.Get();
    const auto view = MakeMainView(ChooseUi());

    // The server's CA file must be known before the web layer is built.
    const zq::update::ServerConfig server = zq::update::ReadServerConfig(
        p.profile, zq::FolderPart(p.env.ProgramPath(), p.env.Style()), p.env.Style());
    if (!server.base.empty()) posix.EnableWeb(server.caFile);

    zq::update::UpdateContext ctx(p.registry, p.profile, p.files, p.env, p.shell, p.dialogs,
                                  p.web);
    ctx.glServer = server;
    ctx.glServerRead = true;
    zq::update::FrmMain window(ctx, *view);
    window.Run();
    return 0;
}
