// zqr: the data-file reorganiser. Builds the platform's adapters and the window, runs the
// start-up and, when the window stays open, its event loop; the exit code tells the outcome.
#include <clocale>

#include "platform/PlatformFactory.h"
#include "platform/Ui.h"
#include "reorg/Ablauf.h"

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    const auto services = zq::MakePlatformServices();
    const auto ui = zq::MakeUi(argc, argv, *services);
    return zq::reorg::RunReorganiser(services->Get(), ui->ReorgWindow(),
                                     zq::LiteralCommandLine(argc, argv));
}
