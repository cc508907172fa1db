#pragma once
// The reorganiser's window with Qt Widgets. The widgets are made on the first show, so an
// unattended run that never shows the window never brings up the toolkit; what is set
// before is kept and applied then. Clicks, the leaving of the path field and closing are
// reported to the window's logic as they come; it decides what is taken.
#include <memory>
#include <string>

#include "reorg/frmZQR/ReorgView.h"

namespace zq::qt {

class QtApp;

class QtReorgView : public reorg::ModelledReorgView {
public:
    explicit QtReorgView(QtApp& app);
    ~QtReorgView() override;
    QtReorgView(const QtReorgView&) = delete;
    QtReorgView& operator=(const QtReorgView&) = delete;

    reorg::Flow Show(reorg::IReorgEvents& events) override;
    bool IsShown() const override;
    // The path field's text is what it shows, typed or set.
    std::string Text(reorg::Control control) const override;
    void ProcessPendingInput() override;
    void ShowBusy(const std::string& text) override;
    void Run(reorg::IReorgEvents& events) override;

    struct Impl;

private:
    void Apply(reorg::Control control) override;
    void ApplyReadOnly(reorg::Control control) override;

    std::unique_ptr<Impl> impl_;
};

}  // namespace zq::qt
