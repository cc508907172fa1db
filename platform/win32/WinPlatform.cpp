// The Windows adapters for one program run: the factory of platform/PlatformFactory.h on
// Windows.
#include <windows.h>
#include <objbase.h>

#include <memory>
#include <string>

#include "platform/PlatformFactory.h"
#include "platform/SwitchableDialogs.h"
#include "platform/win32/DaoEngine.h"
#include "platform/win32/WinClock.h"
#include "platform/win32/WinDialogs.h"
#include "platform/win32/WinEnvironment.h"
#include "platform/win32/WinEventLog.h"
#include "platform/win32/WinFiles.h"
#include "platform/win32/WinProcesses.h"
#include "platform/win32/WinProfile.h"
#include "platform/win32/WinRegistry.h"
#include "platform/win32/WinShell.h"

namespace zq {

namespace {

// DAO through COM automation, with COM for the program's thread set up at the first open:
// a start that opens no database (most of ZQM's) does not pay for COM. COM stays up until
// the engine and everything it gave out are gone.
class ComDaoEngine : public dao::IDbEngine {
public:
    ComDaoEngine() = default;
    ~ComDaoEngine() override {
        engine_.reset();
        if (comOk_) CoUninitialize();
    }
    ComDaoEngine(const ComDaoEngine&) = delete;
    ComDaoEngine& operator=(const ComDaoEngine&) = delete;

    std::unique_ptr<dao::Database> OpenDatabase(const std::string& path, bool exclusive, bool readOnly,
                                                const std::string& connect, dao::Error& error) override {
        return Engine().OpenDatabase(path, exclusive, readOnly, connect, error);
    }
    dao::Error Check() override { return Engine().Check(); }
    std::string Name() const override { return win32::DaoEngine().Name(); }

private:
    win32::DaoEngine& Engine() {
        if (!engine_) {
            comOk_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
            engine_ = std::make_unique<win32::DaoEngine>();
        }
        return *engine_;
    }

    std::unique_ptr<win32::DaoEngine> engine_;
    bool comOk_ = false;
};

// The programs embed a manifest, so Windows no longer reads a "<program>.exe.manifest" beside
// them; where one lies there, it is activated here, before any window is made, and its
// common-controls look applies as it did for a program without an embedded manifest.
void ActivateManifestBesideProgram() {
    wchar_t path[32768] = {};
    const DWORD n = GetModuleFileNameW(nullptr, path, 32768 - 10);
    if (n == 0 || n >= 32768 - 10) return;
    std::wstring manifest = std::wstring(path, n) + L".manifest";
    if (GetFileAttributesW(manifest.c_str()) == INVALID_FILE_ATTRIBUTES) return;
    ACTCTXW context{};
    context.cbSize = sizeof context;
    context.lpSource = manifest.c_str();
    HANDLE handle = CreateActCtxW(&context);
    if (handle == INVALID_HANDLE_VALUE) return;
    ULONG_PTR cookie = 0;
    if (!ActivateActCtx(handle, &cookie)) ReleaseActCtx(handle);  // kept for the program's life
}

class WinPlatform : public PlatformServices {
public:
    WinPlatform()
        : platform_{registry_, profile_, files_,   processes_, clock_,
                    env_,      shell_,   dialogs_, nullptr,    &db_, &eventLog_} {
        ActivateManifestBesideProgram();
    }
    Platform& Get() override { return platform_; }
    IDialogs& OwnDialogs() override { return boxes_; }
    void SetDialogs(IDialogs& dialogs) override { dialogs_.SetTarget(dialogs); }

private:
    ComDaoEngine db_;
    win32::WinRegistry registry_;
    win32::WinProfile profile_;
    win32::WinFiles files_;
    win32::WinProcesses processes_;
    win32::WinClock clock_;
    win32::WinEnvironment env_;
    win32::WinShell shell_;
    win32::WinEventLog eventLog_;
    win32::WinDialogs boxes_;
    SwitchableDialogs dialogs_{boxes_};
    Platform platform_;
};

}  // namespace

std::unique_ptr<PlatformServices> MakePlatformServices() { return std::make_unique<WinPlatform>(); }

std::string ProgramCommandLine(int, char**) { return win32::ProcessCommandTail(); }

std::string LiteralCommandLine(int argc, char** argv) { return ProgramCommandLine(argc, argv); }

}  // namespace zq
