// The Ui on Linux with Qt: Qt's windows and boxes when a display can be reached, else the
// console's. Until a window is asked for, boxes come from the module that loads Qt on the
// first one. Built a second time without the Qt windows (ZQ_UI_BOXES_ONLY) for the program
// that shows no window, so that it does not even link the toolkit.
#include <iostream>
#include <optional>

#include "platform/Ui.h"
#include "platform/console/ConsoleReorgView.h"
#include "platform/console/ConsoleUpdateView.h"
#include "platform/qt/QtDialogsLoader.h"
#include "platform/qt/QtUi.h"
#ifndef ZQ_UI_BOXES_ONLY
#include "platform/qt/QtDialogs.h"
#include "platform/qt/QtReorgView.h"
#include "platform/qt/QtUpdateView.h"
#endif

namespace zq {

namespace {

class QtProgramUi : public IUi {
public:
    QtProgramUi(int& argc, char** argv, PlatformServices& services)
        : argc_(argc), argv_(argv), services_(services),
          loaded_(services.Get().env.ProgramPath(), services.OwnDialogs()) {
        if (qt::QtWanted()) services_.SetDialogs(loaded_);
    }
    ~QtProgramUi() override { services_.SetDialogs(services_.OwnDialogs()); }

    reorg::IReorgView& ReorgWindow() override {
        if (!reorg_) {
            if (UseQtWindows()) {
#ifndef ZQ_UI_BOXES_ONLY
                reorg_ = std::make_unique<qt::QtReorgView>(*app_);
#endif
            } else {
                reorg_ = std::make_unique<console::ConsoleReorgView>(std::cin, std::cerr);
            }
        }
        return *reorg_;
    }
    update::IMainView& UpdateWindow() override {
        if (!update_) {
            if (UseQtWindows()) {
#ifndef ZQ_UI_BOXES_ONLY
                update_ = std::make_unique<qt::QtUpdateView>(*app_);
#endif
            } else {
                update_ = std::make_unique<console::ConsoleUpdateView>(std::cin, std::cout);
            }
        }
        return *update_;
    }

private:
    // A program with a window uses one toolkit for the window and its boxes.
    bool UseQtWindows() {
#ifdef ZQ_UI_BOXES_ONLY
        services_.SetDialogs(services_.OwnDialogs());
        return false;
#else
        if (app_) return true;
        if (!qt::UseQt()) {
            services_.SetDialogs(services_.OwnDialogs());
            return false;
        }
        app_.emplace(argc_, argv_);
        dialogs_.emplace(*app_);
        services_.SetDialogs(*dialogs_);
        return true;
#endif
    }

    int& argc_;
    char** argv_;
    PlatformServices& services_;
    qt::LoadedQtDialogs loaded_;
#ifndef ZQ_UI_BOXES_ONLY
    std::optional<qt::QtApp> app_;  // outlives the windows and the boxes
    std::optional<qt::QtDialogs> dialogs_;
#endif
    std::unique_ptr<reorg::IReorgView> reorg_;
    std::unique_ptr<update::IMainView> update_;
};

}  // namespace

std::unique_ptr<IUi> MakeUi(int& argc, char** argv, PlatformServices& services) {
    return std::make_unique<QtProgramUi>(argc, argv, services);
}

}  // namespace zq
