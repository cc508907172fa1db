#pragma once
// The window frmZQR as the reorganiser's logic sees it: its controls by name and the events
// it reports. A console view and a Qt view implement it; the logic lives in FrmZQR.
#include <array>
#include <cstddef>
#include <string>

#include "reorg/Flow.h"

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

inline constexpr std::size_t kControlCount = 8;

enum class Alignment { Left, Right };

// What the user did to the window. A view reports these as they happen and nothing else;
// which of them the window takes, and when, FrmZQR decides, the same for every view.
enum class Event {
    CmdDatendateiClick,
    PicDatendateiClick,
    TxtDatenbankLostFocus,  // the path field was left
    CmdReorgClick,
    CmdEndeClick,
    Close,  // system menu or frame button, or the end of a console's input
};

class IReorgEvents {
public:
    virtual ~IReorgEvents() = default;
    // The window is shown for the first time.
    virtual Flow OnLoad() = 0;
    // Flow::End: the window goes (the view hides it and leaves Run); Flow::Go: it stays, so
    // a close that was not taken leaves the window open.
    virtual Flow Deliver(Event event) = 0;
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
    // A read-only path field keeps its text against typing.
    virtual void SetReadOnly(Control control, bool readOnly) = 0;
    // Lets pending user input through and redraws: the events that arrive meanwhile are
    // reported to Deliver. Called only through LetInputThrough (frmZQR.h).
    virtual void ProcessPendingInput() = 0;
    // A visible sign while the program waits for a long step; empty text removes it.
    virtual void ShowBusy(const std::string& text) = 0;
    // Reports the window's events to Deliver until it gives Flow::End.
    virtual void Run(IReorgEvents& events) = 0;
};

// What a view shows of one control.
struct ControlState {
    std::string text;
    bool enabled = true;
    bool visible = true;
    bool rightAligned = false;
    bool systemDrawn = false;
    bool readOnly = false;
};

// The control model every view shares: the setters keep each control's state here and ask
// the view to draw the control (Apply), so a view keeps no copy of its own. Before the
// window exists Apply draws nothing; the view draws every control once it is made.
class ModelledReorgView : public IReorgView {
public:
    ModelledReorgView() { State(Control::lblFortschritt).visible = false; }

    void SetText(Control control, const std::string& text) override {
        State(control).text = text;
        Apply(control);
    }
    std::string Text(Control control) const override { return State(control).text; }
    void SetEnabled(Control control, bool enabled) override {
        State(control).enabled = enabled;
        Apply(control);
    }
    bool IsEnabled(Control control) const override { return State(control).enabled; }
    void SetVisible(Control control, bool visible) override {
        State(control).visible = visible;
        Apply(control);
    }
    void SetAlignment(Control control, Alignment alignment) override {
        State(control).rightAligned = alignment == Alignment::Right;
        Apply(control);
    }
    void UseSystemDrawnButton(Control control) override {
        State(control).systemDrawn = true;
        Apply(control);
    }
    void SetReadOnly(Control control, bool readOnly) override {
        State(control).readOnly = readOnly;
        ApplyReadOnly(control);
    }

    const ControlState& State(Control control) const { return state_[static_cast<std::size_t>(control)]; }

protected:
    ControlState& State(Control control) { return state_[static_cast<std::size_t>(control)]; }
    virtual void Apply(Control control) = 0;
    // Only the read-only mark: the field's typed text is not the logic's to reset here.
    virtual void ApplyReadOnly(Control control) { (void)control; }

private:
    std::array<ControlState, kControlCount> state_{};
};

}  // namespace zq::reorg
