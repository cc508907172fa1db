#include "platform/console/ConsoleReorgView.h"

#include <cctype>
#include <istream>
#include <ostream>

#include "platform/console/ConsoleText.h"

namespace zq::console {

using reorg::Control;
using reorg::Event;
using reorg::Flow;

ConsoleReorgView::ConsoleReorgView(std::istream& in, std::ostream& out) : in_(in), out_(out) {
    hidden_.insert(Control::lblFortschritt);
}

Flow ConsoleReorgView::Show(reorg::IReorgEvents& events) {
    if (shown_) return Flow::Go;
    shown_ = true;
    Flow flow = events.OnLoad();
    PrintWindow();
    return flow;
}

void ConsoleReorgView::SetText(Control control, const std::string& text) {
    texts_[control] = text;
    // The progress label is the one control that changes while the window is up.
    if (shown_ && control == Control::lblFortschritt && !hidden_.count(control)) {
        EndBusyLine();
        out_ << "lblFortschritt" << (rightAligned_.count(control) ? " (rechts)" : "") << ": "
             << text << '\n'
             << std::flush;
    }
}

std::string ConsoleReorgView::Text(Control control) const {
    auto it = texts_.find(control);
    return it == texts_.end() ? std::string() : it->second;
}

void ConsoleReorgView::SetEnabled(Control control, bool enabled) {
    if (enabled)
        disabled_.erase(control);
    else
        disabled_.insert(control);
}

bool ConsoleReorgView::IsEnabled(Control control) const { return !disabled_.count(control); }

void ConsoleReorgView::SetVisible(Control control, bool visible) {
    if (visible)
        hidden_.erase(control);
    else
        hidden_.insert(control);
}

void ConsoleReorgView::SetAlignment(Control control, reorg::Alignment alignment) {
    if (alignment == reorg::Alignment::Right)
        rightAligned_.insert(control);
    else
        rightAligned_.erase(control);
}

void ConsoleReorgView::UseSystemDrawnButton(Control) {}  // one style on a terminal

void ConsoleReorgView::SetReadOnly(Control control, bool readOnly) {
    if (readOnly)
        readOnly_.insert(control);
    else
        readOnly_.erase(control);
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
    if (!hidden_.count(Control::lblFortschritt))
        out_ << "lblFortschritt" << (rightAligned_.count(Control::lblFortschritt) ? " (rechts)" : "")
             << ": " << Text(Control::lblFortschritt) << '\n';
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
            if (!readOnly_.count(Control::txtDatenbank)) SetText(Control::txtDatenbank, path);
            flow = events.Deliver(Event::TxtDatenbankLostFocus);
            PrintWindow();
        } else {
            out_ << "Unbekannte Auswahl: " << answer << '\n';
        }
        if (flow == Flow::End) return;
    }
}

}  // namespace zq::console
