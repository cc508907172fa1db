// zqm: the Manager start program. Builds the platform's adapters and runs the start sequence.
#include <clocale>

#include "platform/PlatformFactory.h"
#include "platform/Ui.h"
#include "starter/Start.h"

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    const auto services = zq::MakePlatformServices();
    const auto ui = zq::MakeUi(argc, argv, *services);
    return zq::starter::RunStarter(services->Get(), zq::ProgramCommandLine(argc, argv));
}
