#include "platform/console/ConsoleReorgView.h"

#include <cctype>
#include <istream>
#include <ostream>

#include "platform/console/ConsoleText.h"

namespace zq::console {

using reorg::Control;
using reorg::Event;
using reorg::Flow;

ConsoleReorgView::ConsoleReorgView(std::istream& in, std::ostream& out) : in_(in), out_(out) {}

Flow ConsoleReorgView::Show(reorg::IReorgEvents& events) {
    if (shown_) return Flow::Go;
    shown_ = true;
    Flow flow = events.OnLoad();
    PrintWindow();
    return flow;
}

void ConsoleReorgView::SetText(Control control, const std::string& text) {
    ModelledReorgView::SetText(control, text);
    const reorg::ControlState& s = State(control);
    if (!shown_ || control != Control::lblFortschritt || !s.visible) return;
    EndBusyLine();
    out_ << "lblFortschritt" << (s.rightAligned ? " (rechts)" : "") << ": " << s.text << '\n'
         << std::flush;
}

// The lines of the input answer the window and the message boxes in their order, so a wait
// reads none: what the user types meanwhile is read when the window asks again.
void ConsoleReorgView::ProcessPendingInput() { out_.flush(); }

void ConsoleReorgView::ShowBusy(const std::string& text) {
    if (text.empty()) {
        EndBusyLine();
        return;
    }
    if (!busy_.empty() && text.rfind(busy_, 0) == 0) {
        out_ << text.substr(busy_.size());  // only the dots added since
    } else {
        EndBusyLine();
        out_ << text;
    }
    busy_ = text;
    out_ << std::flush;
}

void ConsoleReorgView::EndBusyLine() {
    if (!busy_.empty()) out_ << '\n' << std::flush;
    busy_.clear();
}

void ConsoleReorgView::PrintWindow() {
    EndBusyLine();
    out_ << "==== " << Text(Control::frmZQR) << " ====\n"
         << Text(Control::lblDatendatei) << ": [" << Text(Control::txtDatenbank) << "]\n";
    if (const reorg::ControlState& progress = State(Control::lblFortschritt); progress.visible)
        out_ << "lblFortschritt" << (progress.rightAligned ? " (rechts)" : "") << ": " << progress.text
             << '\n';
    out_ << std::flush;
}

void ConsoleReorgView::PrintChoices() {
    out_ << "[d] Datendatei wählen\n";
    if (IsEnabled(Control::cmdReorg))
        out_ << "[r] " << WithoutAccessKey(Text(Control::cmdReorg)) << '\n';
    else
        out_ << "[-] " << WithoutAccessKey(Text(Control::cmdReorg)) << " (nicht verfügbar)\n";
    out_ << "[p <Pfad>] Pfad eingeben\n"
         << "[s] " << WithoutAccessKey(Text(Control::cmdEnde)) << '\n'
         << "Auswahl: " << std::flush;
}

void ConsoleReorgView::Run(reorg::IReorgEvents& events) {
    for (;;) {
        PrintChoices();
        std::string line;
        if (!in_.good() || !std::getline(in_, line)) {
            out_ << '\n' << std::flush;
            (void)events.Deliver(Event::Close);  // end of input closes the window
            return;
        }
        std::string answer = Trimmed(line);
        Flow flow = Flow::Go;
        if (answer == "d") {
            flow = events.Deliver(Event::CmdDatendateiClick);
            PrintWindow();
        } else if (answer == "r") {
            if (!IsEnabled(Control::cmdReorg)) {  // a disabled button cannot be pressed
                out_ << "Nicht verfügbar.\n";
                continue;
            }
            flow = events.Deliver(Event::CmdReorgClick);
            if (flow == Flow::Go) PrintWindow();
        } else if (answer == "s") {
            flow = events.Deliver(Event::CmdEndeClick);
        } else if (answer.size() > 1 && answer[0] == 'p' && (answer[1] == ' ' || answer[1] == '\t')) {
            // Typed into the path field; leaving the field takes the text.
            std::string path = line.substr(line.find(answer) + 2);
            while (!path.empty() && (path[0] == ' ' || path[0] == '\t')) path.erase(0, 1);
            while (!path.empty() && (path.back() == '\r' || path.back() == '\n')) path.pop_back();
            if (!State(Control::txtDatenbank).readOnly) SetText(Control::txtDatenbank, path);
            flow = events.Deliver(Event::TxtDatenbankLostFocus);
            PrintWindow();
        } else {
            out_ << "Unbekannte Auswahl: " << answer << '\n';
        }
        if (flow == Flow::End) return;
    }
}

}  // namespace zq::console
