#pragma once
// The logic of the window frmZQR: loading, file selection, the path field and the buttons.
#include "reorg/frmZQR/ReorgView.h"

namespace zq::reorg {

class FrmZQR : public IReorgEvents {
public:
    explicit FrmZQR(ReorgContext& ctx) : ctx_(ctx) {}

    Flow OnLoad() override;
    Flow OnCmdDatendateiClick() override { return SelectDataFile(); }
    Flow OnPicDatendateiClick() override { return SelectDataFile(); }
    Flow OnTxtDatenbankLostFocus() override;
    Flow OnCmdReorgClick() override;
    Flow OnCmdEndeClick() override;
    Flow OnClose() override;

    Flow SelectDataFile();

private:
    ReorgContext& ctx_;
};

// The design texts of the controls, set when a view is built.
void ApplyDesign(IReorgView& view);

}  // namespace zq::reorg
