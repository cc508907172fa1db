// zqm: the Manager start program. Builds the platform's adapters and runs the start sequence.
#include <clocale>

#include "platform/PlatformFactory.h"
#include "starter/Start.h"
#ifdef ZQ_HAVE_QT
#include "platform/qt/QtDialogsLoader.h"
#include "platform/qt/QtUi.h"
#endif

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    const auto services = zq::MakePlatformServices();
    zq::Platform& platform = services->Get();
#ifdef ZQ_HAVE_QT
    // With a display the boxes are Qt's, loaded only when one must be shown.
    zq::qt::LoadedQtDialogs qtDialogs(platform.env.ProgramPath(), services->OwnDialogs());
    if (zq::qt::QtWanted()) services->SetDialogs(qtDialogs);
#endif

    using zq::starter::Outcome;
    const Outcome outcome = zq::starter::RunStarter(platform, zq::ProgramCommandLine(argc, argv));
#ifdef ZQ_HAVE_QT
    services->SetDialogs(services->OwnDialogs());  // qtDialogs goes before the services
#endif
    const bool failed = outcome == Outcome::FrontEndMissing || outcome == Outcome::AccessNotFound;
    return failed ? 1 : 0;
}
