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
    view.SetText(Control::txtDatenbank, ctx_.glDataFile);
    view.SetText(Control::frmZQR, ctx_.glWindowTitle);
    std::string manifest = EnsureTrailingSeparator(ctx_.glProgramFolder, ctx_.Style()) +
                           ctx_.glExeName + ".exe.manifest";
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
        ctx_.platform.dialogs.OpenFile(ctx_.glProductName, "Datenbank", "*.mdb", initial);
    if (!chosen || chosen->empty()) return Flow::Go;
    view.SetText(Control::txtDatenbank, *chosen);
    ctx_.glDataFile = view.Text(Control::txtDatenbank);
    SaveLastDataFile(ctx_);
    return Flow::Go;
}

Flow FrmZQR::OnTxtDatenbankLostFocus() {
    ctx_.glDataFile = ctx_.view.Text(Control::txtDatenbank);
    SaveLastDataFile(ctx_);
    return Flow::Go;
}

Flow FrmZQR::OnCmdReorgClick() {
    if (!ctx_.view.IsEnabled(Control::cmdReorg)) return Flow::Go;
    return StartFromWindow(ctx_);
}

Flow FrmZQR::OnCmdEndeClick() { return Flow::End; }

Flow FrmZQR::OnClose() { return Flow::End; }

}  // namespace zq::reorg
