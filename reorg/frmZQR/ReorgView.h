#pragma once
// The window frmZQR as the reorganiser's logic sees it: its controls by name and the events
// it reports. A console view and a Qt view implement it; the logic lives in FrmZQR.
#include <string>

#include "reorg/Global.h"

namespace zq::reorg {

enum class Control {
    frmZQR,          // the window (text = caption)
    picDatendatei,   // folder image over cmdDatendatei
    cmdEnde,         // "&Schließen"
    cmdReorg,        // "Datendatei reorganisieren", the start button
    txtDatenbank,    // the path field
    cmdDatendatei,   // opens the file selection
    lblFortschritt,  // progress label, hidden at first
    lblDatendatei,   // caption of the path field
};

enum class Alignment { Left, Right };

// What the window reports. Each handler says whether the program goes on.
class IReorgEvents {
public:
    virtual ~IReorgEvents() = default;
    virtual Flow OnLoad() = 0;
    virtual Flow OnCmdDatendateiClick() = 0;
    virtual Flow OnPicDatendateiClick() = 0;
    virtual Flow OnTxtDatenbankLostFocus() = 0;
    virtual Flow OnCmdReorgClick() = 0;
    virtual Flow OnCmdEndeClick() = 0;
    virtual Flow OnClose() = 0;  // system menu or frame button
};

class IReorgView {
public:
    virtual ~IReorgView() = default;
    // Shows the window; the first show reports OnLoad.
    virtual Flow Show(IReorgEvents& events) = 0;
    virtual bool IsShown() const = 0;
    virtual void SetText(Control control, const std::string& text) = 0;
    virtual std::string Text(Control control) const = 0;
    virtual void SetEnabled(Control control, bool enabled) = 0;
    virtual bool IsEnabled(Control control) const = 0;
    virtual void SetVisible(Control control, bool visible) = 0;
    virtual void SetAlignment(Control control, Alignment alignment) = 0;
    // Buttons follow the desktop's visual style instead of their design colours.
    virtual void UseSystemDrawnButton(Control control) = 0;
    // Lets pending user input through and redraws (the waits of a run).
    virtual void ProcessPendingInput() = 0;
    // A visible sign while the program waits for a long step; empty text removes it.
    virtual void ShowBusy(const std::string& text) = 0;
    // Runs the window until an event handler ends the program or the window is closed.
    virtual void Run(IReorgEvents& events) = 0;
};

}  // namespace zq::reorg
