#pragma once
// Builds the Linux adapters for one program run: the factory of platform/PlatformFactory.h
// on Linux. Includes no system header itself.
#include <memory>
#include <string>

#include "platform/PlatformFactory.h"

namespace zq::posix {

class PosixPlatform : public PlatformServices {
public:
    // The registry store folder comes from ZEQUORA_REGISTRY, else
    // $XDG_CONFIG_HOME/zequora/registry (~/.config/...).
    PosixPlatform();
    ~PosixPlatform() override;
    PosixPlatform(const PosixPlatform&) = delete;
    PosixPlatform& operator=(const PosixPlatform&) = delete;

    Platform& Get() override;
    IDialogs& OwnDialogs() override;
    void SetDialogs(IDialogs& dialogs) override;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::unique_ptr<Platform> platform_;
};

}  // namespace zq::posix
