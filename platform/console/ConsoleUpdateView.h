#pragma once
// The update tool's window on a terminal: the labels are printed, the buttons are offered as
// choices read one line at a time from in; end of input closes the window. Each choice is
// reported to the window's logic, which decides what is taken.
#include <cstdint>
#include <iosfwd>
#include <map>
#include <set>
#include <string>

#include "update/frmMain/MainView.h"

namespace zq::console {

class ConsoleUpdateView : public update::IMainView {
public:
    ConsoleUpdateView(std::istream& in, std::ostream& out);

    void SetText(std::string_view control, const std::string& text) override;
    void SetEnabled(std::string_view control, bool enabled) override;
    void UseStandardButtonStyle(std::string_view control) override;
    void Show(update::IMainEvents& events) override;
    void SetBusy(bool busy, const std::string& what) override;
    void ProcessPendingEvents() override;
    void ShowProgress(std::uint64_t done, std::uint64_t total) override;
    void ShowNote(const std::string& text) override;
    void Run(update::IMainEvents& events) override;
    void Close() override;

private:
    std::string Text(std::string_view control) const;
    bool Enabled(std::string_view control) const;
    void PrintWindow();
    void PrintChoices();
    void EndProgressLine();

    std::istream& in_;
    std::ostream& out_;
    std::map<std::string, std::string, std::less<>> texts_;
    std::set<std::string, std::less<>> disabled_;
    bool dirty_ = true;
    bool closed_ = false;
    bool progressLine_ = false;
    std::int64_t lastProgress_ = -1;
};

}  // namespace zq::console
