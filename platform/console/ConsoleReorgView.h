#pragma once
// The reorganiser's window on a terminal: the path field and the labels are printed, the
// buttons are offered as choices read one line at a time from in; end of input closes it.
// Each choice is reported to the window's logic, which decides what is taken.
#include <iosfwd>
#include <map>
#include <set>
#include <string>

#include "reorg/frmZQR/ReorgView.h"

namespace zq::console {

class ConsoleReorgView : public reorg::IReorgView {
public:
    ConsoleReorgView(std::istream& in, std::ostream& out);

    reorg::Flow Show(reorg::IReorgEvents& events) override;
    bool IsShown() const override { return shown_; }
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

private:
    void PrintWindow();
    void PrintChoices();
    void EndBusyLine();

    std::istream& in_;
    std::ostream& out_;
    std::map<reorg::Control, std::string> texts_;
    std::set<reorg::Control> disabled_, hidden_, rightAligned_, readOnly_;
    bool shown_ = false;
    std::string busy_;  // the waiting sign printed so far
};

}  // namespace zq::console
