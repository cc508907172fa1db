// zqr: the data-file reorganiser. Builds the platform's adapters and the window view, runs
// the start-up and, when a window stays open, its event loop; the exit code tells the outcome.
#include <clocale>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/console/ConsoleReorgView.h"
#include "platform/PlatformFactory.h"
#include "platform/ViewFactory.h"
#include "reorg/Ablauf.h"
#include "reorg/frmZQR/frmZQR.h"
#ifdef ZQ_HAVE_QT
#include "platform/qt/QtDialogs.h"
#include "platform/qt/QtReorgView.h"
#include "platform/qt/QtUi.h"
#endif

namespace {

// The arguments after the program name joined by single blanks, each taken literally:
// the shell has already removed its own quoting, and nothing here runs a shell.
std::string CommandLineOf(int argc, char** argv) {
    std::string line;
    for (int k = 1; k < argc; ++k) {
        if (k > 1) line += ' ';
        line += argv[k];
    }
    return line;
}

// The toolkit of this start: the platform's own window where it has one, else Qt with its
// message boxes or the console. A window comes up only when something is shown, so an
// unattended run does not pay for it.
struct Ui {
    Ui(int& argc, char** argv, zq::PlatformServices& services) {
        view = zq::MakeNativeReorgView(services.Get().dialogs);
        if (view) return;
#ifdef ZQ_HAVE_QT
        if (zq::qt::UseQt()) {
            app.emplace(argc, argv);
            dialogs.emplace(*app);
            services.SetDialogs(*dialogs);
            view = std::make_unique<zq::qt::QtReorgView>(*app);
            return;
        }
#else
        (void)argc;
        (void)argv;
        (void)services;
#endif
        view = std::make_unique<zq::console::ConsoleReorgView>(std::cin, std::cerr);
    }
#ifdef ZQ_HAVE_QT
    std::optional<zq::qt::QtApp> app;  // outlives the view and the boxes
    std::optional<zq::qt::QtDialogs> dialogs;
#endif
    std::unique_ptr<zq::reorg::IReorgView> view;
};

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    const auto services = zq::MakePlatformServices();
    Ui ui(argc, argv, *services);
    zq::reorg::IReorgView& view = *ui.view;
    zq::reorg::ApplyDesign(view);
    zq::reorg::ReorgContext ctx(services->Get(), view, CommandLineOf(argc, argv));
    zq::reorg::FrmZQR window(ctx);
    if (zq::reorg::StartUp(ctx, window) == zq::reorg::Flow::Go) view.Run(window);
    ctx.trace.Close();
    return ctx.FinalExitCode();
}
