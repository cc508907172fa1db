// The Qt message boxes as a loadable module (see QtDialogsLoader.h).
#include "platform/qt/QtDialogs.h"
#include "platform/qt/QtDialogsLoader.h"
#include "platform/qt/QtUi.h"

namespace {

class ModuleDialogs : public zq::IDialogs {
public:
    ModuleDialogs() : app_(argc_, argv_), dialogs_(app_) {}
    zq::MsgResult MessageBox(const std::string& text, const std::string& title, zq::MsgIcon icon,
                             zq::MsgButtons buttons, int defaultButton) override {
        return dialogs_.MessageBox(text, title, icon, buttons, defaultButton);
    }
    std::optional<std::string> OpenFile(const std::string& title, const std::string& filterName,
                                        const std::string& filterPattern,
                                        const std::string& initialFolder) override {
        return dialogs_.OpenFile(title, filterName, filterPattern, initialFolder);
    }

private:
    char name_[4] = "zqm";
    char* argvStore_[2] = {name_, nullptr};
    int argc_ = 1;
    char** argv_ = argvStore_;
    zq::qt::QtApp app_;
    zq::qt::QtDialogs dialogs_;
};

}  // namespace

extern "C" {
zq::IDialogs* zq_qt_dialogs_create(std::string& problem) {
    problem = zq::qt::WhyQtCannotStart();
    return problem.empty() ? new ModuleDialogs() : nullptr;
}
void zq_qt_dialogs_destroy(zq::IDialogs* dialogs) { delete dialogs; }
}
