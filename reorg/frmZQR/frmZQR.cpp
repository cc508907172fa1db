#include "reorg/frmZQR/frmZQR.h"

#include "common/Messages.h"
#include "common/Paths.h"
#include "reorg/Ablauf.h"
#include "reorg/Meldungen.h"

namespace zq::reorg {

void ApplyDesign(IReorgView& view) {
    view.SetText(Control::frmZQR, kReorgDefaultTitle);
    view.SetText(Control::cmdEnde, "&Schließen");
    view.SetText(Control::cmdReorg, "Datendatei reorganisieren");
    view.SetText(Control::lblFortschritt, msg::kProgressChecking);
    view.SetVisible(Control::lblFortschritt, false);
    view.SetText(Control::lblDatendatei, "ZEQUORA Datendatei (zqdata.mdb)");
    view.SetEnabled(Control::cmdReorg, true);
}

Flow FrmZQR::OnLoad() {
    IReorgView& view = ctx_.view;
    view.SetText(Control::txtDatenbank, ctx_.run.glDataFile);
    view.SetText(Control::frmZQR, ctx_.program.glWindowTitle);
    std::string manifest = EnsureTrailingSeparator(ctx_.program.glProgramFolder, ctx_.Style()) +
                           ctx_.program.glExeName + ".exe.manifest";
    if (ctx_.platform.files.Exists(manifest, kAttrHidden | kAttrSystem)) {
        view.UseSystemDrawnButton(Control::cmdReorg);
        view.UseSystemDrawnButton(Control::cmdEnde);
    }
    return Flow::Go;
}

Flow FrmZQR::SelectDataFile() {
    IReorgView& view = ctx_.view;
    std::string initial = view.Text(Control::txtDatenbank);
    std::optional<std::string> chosen =
        ctx_.platform.dialogs.OpenFile(ctx_.program.glProductName, "Datenbank", "*.mdb", initial);
    if (!chosen || chosen->empty()) return Flow::Go;
    view.SetText(Control::txtDatenbank, *chosen);
    return TakeFieldText();
}

Flow FrmZQR::TakeFieldText() {
    ctx_.run.glDataFile = ctx_.view.Text(Control::txtDatenbank);
    SaveLastDataFile(ctx_);
    return Flow::Go;
}

bool FrmZQR::StepUnderWay() const {
    return handlers_ > 0 || ctx_.run.inputLetThrough > 0 || ctx_.run.runInProgress;
}

Flow FrmZQR::Deliver(Event event) {
    if (ctx_.run.windowClosed) return Flow::End;
    if (StepUnderWay()) {
        // Anything but the way out could start a second run or change the data file under
        // the running step.
        if (event != Event::CmdEndeClick && event != Event::Close) return Flow::Go;
        // A run may have the data file away from its place (a local working copy): it is
        // not broken off, and the window stays.
        if (ctx_.run.runInProgress) return Flow::Go;
        // A wait outside a run (the Manager-mode wait for the lock file) ends with the
        // window; nothing was done, so the program ends as aborted.
        ctx_.run.windowClosed = true;
        if (ctx_.run.outcome == RunOutcome::Success) ctx_.run.outcome = RunOutcome::Aborted;
        return Flow::End;
    }
    ++handlers_;
    const Flow flow = Handle(event);
    --handlers_;
    if (flow == Flow::End) ctx_.run.windowClosed = true;
    return flow;
}

Flow FrmZQR::Handle(Event event) {
    switch (event) {
        case Event::CmdDatendateiClick:
        case Event::PicDatendateiClick: return SelectDataFile();
        case Event::TxtDatenbankLostFocus: return TakeFieldText();
        case Event::CmdReorgClick:
            if (!ctx_.view.IsEnabled(Control::cmdReorg)) return Flow::Go;
            // The field is left before the button acts, however the button was pressed (a
            // key does not move the focus): a typed path is taken before it is checked.
            if (ctx_.view.Text(Control::txtDatenbank) != ctx_.run.glDataFile) (void)TakeFieldText();
            return StartFromWindow(ctx_);
        case Event::CmdEndeClick:
        case Event::Close: return Flow::End;
    }
    return Flow::Go;
}

Flow LetInputThrough(ReorgContext& ctx) {
    IReorgView& view = ctx.view;
    // The path the step works on must not change under it.
    if (ctx.run.inputLetThrough++ == 0) view.SetReadOnly(Control::txtDatenbank, true);
    view.ProcessPendingInput();
    if (--ctx.run.inputLetThrough == 0) view.SetReadOnly(Control::txtDatenbank, false);
    return ctx.run.windowClosed ? Flow::End : Flow::Go;
}

}  // namespace zq::reorg
