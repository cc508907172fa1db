// zqr: the data-file reorganiser. Builds the Linux adapters and the window view, runs the
// start-up and, when a window stays open, its event loop; the exit code tells the outcome.
#include <clocale>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "platform/console/ConsoleReorgView.h"
#include "platform/posix/PosixPlatform.h"
#include "reorg/Ablauf.h"
#include "reorg/frmZQR/frmZQR.h"

namespace {

// The window view for this start. A Qt view takes the place of the console one when a
// display is there (or ZEQUORA_UI=qt); until then every start uses the terminal.
std::unique_ptr<zq::reorg::IReorgView> MakeReorgView() {
    return std::make_unique<zq::console::ConsoleReorgView>(std::cin, std::cerr);
}

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

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    zq::posix::PosixPlatform posix;
    std::unique_ptr<zq::reorg::IReorgView> view = MakeReorgView();
    zq::reorg::ApplyDesign(*view);
    zq::reorg::ReorgContext ctx(posix.Get(), *view, CommandLineOf(argc, argv));
    zq::reorg::FrmZQR window(ctx);
    if (zq::reorg::StartUp(ctx, window) == zq::reorg::Flow::Go) view->Run(window);
    ctx.trace.Close();
    return ctx.exitCode;
}
