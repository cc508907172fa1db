#pragma once
// The logic of the window frmZQR: loading, file selection, the path field and the buttons,
// and which of the window's events are taken when. Every view reports its events here.
#include "reorg/Global.h"
#include "reorg/frmZQR/ReorgView.h"

namespace zq::reorg {

class FrmZQR : public IReorgEvents {
public:
    explicit FrmZQR(ReorgContext& ctx) : ctx_(ctx) {}

    Flow OnLoad() override;
    Flow Deliver(Event event) override;

    Flow SelectDataFile();

private:
    // An event handler is at work, a wait lets input through, or a run is going on: the
    // window then takes only the way out.
    bool StepUnderWay() const;
    Flow Handle(Event event);
    Flow TakeFieldText();

    ReorgContext& ctx_;
    int handlers_ = 0;  // event handlers at work
};

// Lets the window's pending input through during a wait of a step, the path field kept
// against typing meanwhile. Flow::End when the window was closed meanwhile, which outside a
// run ends the program; the waiting step then ends with it.
Flow LetInputThrough(ReorgContext& ctx);

// The design texts of the controls, set when a view is built.
void ApplyDesign(IReorgView& view);

}  // namespace zq::reorg
