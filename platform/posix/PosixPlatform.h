#pragma once
// Builds the Linux adapters for one program run. Includes no system header itself, so the
// programs' thin mains can use it.
#include <memory>
#include <string>

#include "platform/Platform.h"

namespace zq::posix {

class PosixPlatform {
public:
    // The registry store folder comes from ZEQUORA_REGISTRY, else
    // $XDG_CONFIG_HOME/zequora/registry (~/.config/...).
    PosixPlatform();
    ~PosixPlatform();
    PosixPlatform(const PosixPlatform&) = delete;
    PosixPlatform& operator=(const PosixPlatform&) = delete;

    Platform& Get();
    // Replaces the dialogs (the Qt ones once a window toolkit is up).
    void SetDialogs(IDialogs& dialogs);
    // Web access over libcurl; caFile empty means the system's certificate store.
    void EnableWeb(const std::string& caFile);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::unique_ptr<Platform> platform_;
};

}  // namespace zq::posix
