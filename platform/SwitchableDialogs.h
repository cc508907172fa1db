#pragma once
// Dialogs that forward to the ones in use, so a Platform handed out before a window toolkit
// came up follows the switch to its boxes.
#include "platform/Dialogs.h"

namespace zq {

class SwitchableDialogs : public IDialogs {
public:
    explicit SwitchableDialogs(IDialogs& target) : target_(&target) {}
    void SetTarget(IDialogs& target) {
        target_ = &target;
        target_->SetOwner(owner_);
    }
    void SetOwner(WindowHandle owner) override {
        owner_ = owner;
        target_->SetOwner(owner);
    }
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
    WindowHandle owner_ = 0;
};

}  // namespace zq
