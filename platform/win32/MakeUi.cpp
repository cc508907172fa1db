// The Ui on Windows: the native Win32 windows with the platform's message boxes.
#include "platform/Ui.h"
#include "platform/win32/WinReorgView.h"
#include "platform/win32/WinUpdateView.h"

namespace zq {

namespace {

class WinUi : public IUi {
public:
    explicit WinUi(PlatformServices& services) : services_(services) {}
    reorg::IReorgView& ReorgWindow() override {
        if (!reorg_) reorg_ = std::make_unique<win32::WinReorgView>(services_.Get().dialogs);
        return *reorg_;
    }
    update::IMainView& UpdateWindow() override {
        if (!update_) update_ = std::make_unique<win32::WinUpdateView>(services_.Get().dialogs);
        return *update_;
    }

private:
    PlatformServices& services_;
    std::unique_ptr<reorg::IReorgView> reorg_;
    std::unique_ptr<update::IMainView> update_;
};

}  // namespace

std::unique_ptr<IUi> MakeUi(int&, char**, PlatformServices& services) {
    return std::make_unique<WinUi>(services);
}

}  // namespace zq
