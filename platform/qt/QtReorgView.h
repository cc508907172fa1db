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

class QtReorgView : public reorg::IReorgView {
public:
    explicit QtReorgView(QtApp& app);
    ~QtReorgView() override;
    QtReorgView(const QtReorgView&) = delete;
    QtReorgView& operator=(const QtReorgView&) = delete;

    reorg::Flow Show(reorg::IReorgEvents& events) override;
    bool IsShown() const override;
    void SetText(reorg::Control control, const std::string& text) override;
    std::string Text(reorg::Control control) const override;
    void SetEnabled(reorg::Control control, bool enabled) override;
    bool IsEnabled(reorg::Control control) const override;
    void SetVisible(reorg::Control control, bool visible) override;
    void SetAlignment(reorg::Control control, reorg::Alignment alignment) override;
    void UseSystemDrawnButton(reorg::Control control) override;
    void SetReadOnly(reorg::Control control, bool readOnly) override;
    void ProcessPendingInput() override;
    void ShowBusy(const std::string& text) override;
    void Run(reorg::IReorgEvents& events) override;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

// Design positions are in twips (1440 to the inch).
int TwipsToPixels(int twips, int dpi);

}  // namespace zq::qt
