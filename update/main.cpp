// zqu: the update tool. Builds the platform's adapters, picks the view and runs the window.
#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "platform/console/ConsoleUpdateView.h"
#ifdef ZQ_HAVE_QT
#include "platform/qt/QtDialogs.h"
#include "platform/qt/QtUi.h"
#include "platform/qt/QtUpdateView.h"
#endif
#include "platform/PlatformFactory.h"
#include "platform/ViewFactory.h"
#include "update/UpdateContext.h"
#include "update/frmMain/frmMain.h"
#include "common/Paths.h"
#include "update/funktionen.h"

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
    zq::Platform& p = services->Get();
    // The platform's own window where it has one; else, with a display, Qt's window and
    // boxes (the application object outlives the view and the boxes), else the console.
#ifdef ZQ_HAVE_QT
    std::optional<zq::qt::QtApp> qtApp;
    std::optional<zq::qt::QtDialogs> qtDialogs;
#endif
    std::unique_ptr<zq::update::IMainView> view = zq::MakeNativeMainView(p.dialogs);
#ifdef ZQ_HAVE_QT
    if (!view && zq::qt::UseQt()) {
        qtApp.emplace(argc, argv);
        qtDialogs.emplace(*qtApp);
        services->SetDialogs(*qtDialogs);
        view = std::make_unique<zq::qt::QtUpdateView>(*qtApp);
    }
#endif
    if (!view) view = std::make_unique<zq::console::ConsoleUpdateView>(std::cin, std::cout);

    // The server's CA file must be known before the web layer is built.
    const zq::update::ServerConfig server = zq::update::ReadServerConfig(
        p.profile, zq::FolderPart(p.env.ProgramPath(), p.env.Style()), p.env.Style());
    std::unique_ptr<zq::IWeb> web;
    if (!server.base.empty()) {
        web = zq::MakeWeb(server.caFile);
        p.web = web.get();
    }

    zq::update::UpdateContext ctx(p.registry, p.profile, p.files, p.env, p.shell, p.dialogs,
                                  p.web);
    ctx.glServer = server;
    ctx.glServerRead = true;
    zq::update::FrmMain window(ctx, *view);
    window.Run();
    return zq::update::ExitCode(ctx);
}
