// The Windows adapters for one program run: the factory of platform/PlatformFactory.h on
// Windows.
#include <memory>

#include "platform/PlatformFactory.h"
#include "platform/SwitchableDialogs.h"
#include "platform/win32/WinClock.h"
#include "platform/win32/WinDialogs.h"
#include "platform/win32/WinEnvironment.h"
#include "platform/win32/WinFiles.h"
#include "platform/win32/WinProcesses.h"
#include "platform/win32/WinProfile.h"
#include "platform/win32/WinRegistry.h"
#include "platform/win32/WinShell.h"

namespace zq {

namespace {

class WinPlatform : public PlatformServices {
public:
    WinPlatform()
        : platform_{registry_, profile_, files_,   processes_, clock_,
                    env_,      shell_,   dialogs_, nullptr,    nullptr} {}
    Platform& Get() override { return platform_; }
    IDialogs& OwnDialogs() override { return boxes_; }
    void SetDialogs(IDialogs& dialogs) override { dialogs_.SetTarget(dialogs); }

private:
    win32::WinRegistry registry_;
    win32::WinProfile profile_;
    win32::WinFiles files_;
    win32::WinProcesses processes_;
    win32::WinClock clock_;
    win32::WinEnvironment env_;
    win32::WinShell shell_;
    win32::WinDialogs boxes_;
    SwitchableDialogs dialogs_{boxes_};
    Platform platform_;
};

}  // namespace

std::unique_ptr<PlatformServices> MakePlatformServices() { return std::make_unique<WinPlatform>(); }

std::string ProgramCommandLine(int, char**) { return win32::ProcessCommandTail(); }

}  // namespace zq
