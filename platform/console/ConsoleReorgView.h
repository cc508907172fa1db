#pragma once
// The reorganiser's window on a terminal: the path field and the labels are printed, the
// buttons are offered as choices read one line at a time from in; end of input closes it.
// Each choice is reported to the window's logic, which decides what is taken.
#include <iosfwd>
#include <string>

#include "reorg/frmZQR/ReorgView.h"

namespace zq::console {

class ConsoleReorgView : public reorg::ModelledReorgView {
public:
    ConsoleReorgView(std::istream& in, std::ostream& out);

    reorg::Flow Show(reorg::IReorgEvents& events) override;
    bool IsShown() const override { return shown_; }
    // The progress label is the one control that changes while the window is up: each text
    // set on it is printed; the rest shows with the window.
    void SetText(reorg::Control control, const std::string& text) override;
    void ProcessPendingInput() override;
    void ShowBusy(const std::string& text) override;
    void Run(reorg::IReorgEvents& events) override;

private:
    void Apply(reorg::Control) override {}
    void PrintWindow();
    void PrintChoices();
    void EndBusyLine();

    std::istream& in_;
    std::ostream& out_;
    bool shown_ = false;
    std::string busy_;  // the waiting sign printed so far
};

}  // namespace zq::console
