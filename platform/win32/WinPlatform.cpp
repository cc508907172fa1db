// The Windows adapters for one program run: the factory of platform/PlatformFactory.h on
// Windows.
#include <windows.h>
#include <objbase.h>

#include <memory>

#include "platform/PlatformFactory.h"
#include "platform/SwitchableDialogs.h"
#include "platform/win32/DaoEngine.h"
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

// COM for the program's thread (DAO is reached through automation), for as long as the
// adapters live: constructed first, ended last.
class ComApartment {
public:
    ComApartment() : ok_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~ComApartment() {
        if (ok_) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    bool ok_;
};

class WinPlatform : public PlatformServices {
public:
    WinPlatform()
        : platform_{registry_, profile_, files_,   processes_, clock_,
                    env_,      shell_,   dialogs_, nullptr,    &db_} {}
    Platform& Get() override { return platform_; }
    IDialogs& OwnDialogs() override { return boxes_; }
    void SetDialogs(IDialogs& dialogs) override { dialogs_.SetTarget(dialogs); }

private:
    ComApartment com_;
    win32::DaoEngine db_;
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
