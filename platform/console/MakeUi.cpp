// The Ui of a build without a window toolkit: the console windows and the terminal's boxes.
#include <iostream>

#include "platform/Ui.h"
#include "platform/console/ConsoleReorgView.h"
#include "platform/console/ConsoleUpdateView.h"

namespace zq {

namespace {

class ConsoleUi : public IUi {
public:
    reorg::IReorgView& ReorgWindow() override {
        if (!reorg_) reorg_ = std::make_unique<console::ConsoleReorgView>(std::cin, std::cerr);
        return *reorg_;
    }
    update::IMainView& UpdateWindow() override {
        if (!update_) update_ = std::make_unique<console::ConsoleUpdateView>(std::cin, std::cout);
        return *update_;
    }

private:
    std::unique_ptr<reorg::IReorgView> reorg_;
    std::unique_ptr<update::IMainView> update_;
};

}  // namespace

std::unique_ptr<IUi> MakeUi(int&, char**, PlatformServices&) {
    return std::make_unique<ConsoleUi>();
}

}  // namespace zq
