#include "platform/posix/PosixPlatform.h"

#include <cstdlib>
#include <iostream>
#include <string>

#include "platform/console/ConsoleDialogs.h"
#include "platform/posix/CurlWeb.h"
#include "platform/posix/PosixClock.h"
#include "platform/posix/PosixEnvironment.h"
#include "platform/posix/PosixFiles.h"
#include "platform/posix/PosixProcesses.h"
#include "platform/posix/PosixShell.h"
#include "platform/posix/ProfileFiles.h"
#include "platform/posix/RegistryStore.h"
#include "platform/posix/SqliteEngine.h"

namespace zq::posix {

namespace {
std::string RegistryFolder() {
    if (const char* dir = std::getenv("ZEQUORA_REGISTRY"); dir && *dir) return dir;
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home && *home ? home : "/tmp") + "/.config";
    }
    return base + "/zequora/registry";
}

// Forwards to the dialogs in use, so a Platform handed out earlier follows a switch.
class SwitchableDialogs : public IDialogs {
public:
    explicit SwitchableDialogs(IDialogs& target) : target_(&target) {}
    void SetTarget(IDialogs& target) { target_ = &target; }
    MsgResult ShowMessage(const std::string& text, const std::string& title, MsgIcon icon,
                         MsgButtons buttons, int defaultButton) override {
        return target_->ShowMessage(text, title, icon, buttons, defaultButton);
    }
    std::optional<std::string> OpenFile(const std::string& title, const std::string& filterName,
                                        const std::string& filterPattern,
                                        const std::string& initialFolder) override {
        return target_->OpenFile(title, filterName, filterPattern, initialFolder);
    }

private:
    IDialogs* target_;
};
}  // namespace

struct PosixPlatform::Impl {
    RegistryStore registry{RegistryFolder()};
    ProfileFiles profile;
    PosixFiles files;
    PosixProcesses processes;
    PosixClock clock;
    PosixEnvironment env;
    PosixShell shell;
    console::ConsoleDialogs consoleDialogs{std::cin, std::cerr};
    SwitchableDialogs dialogs{consoleDialogs};
    SqliteEngine db;
    std::unique_ptr<CurlWeb> web;
};

PosixPlatform::PosixPlatform() : impl_(std::make_unique<Impl>()) {
    Impl& i = *impl_;
    platform_.reset(new Platform{i.registry, i.profile, i.files,   i.processes, i.clock,
                                 i.env,      i.shell,   i.dialogs, nullptr,     &i.db});
}

PosixPlatform::~PosixPlatform() = default;

Platform& PosixPlatform::Get() { return *platform_; }

void PosixPlatform::SetDialogs(IDialogs& dialogs) {
    impl_->dialogs.SetTarget(dialogs);
}

void PosixPlatform::EnableWeb(const std::string& caFile) {
    impl_->web = std::make_unique<CurlWeb>(caFile);
    platform_->web = impl_->web.get();
}

}  // namespace zq::posix
