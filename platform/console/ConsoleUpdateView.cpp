#include "platform/console/ConsoleUpdateView.h"

#include <cctype>
#include <cstdio>
#include <istream>
#include <ostream>

#include "platform/console/ConsoleText.h"

namespace zq::console {
namespace ctl = update::ctl;
namespace {

struct Choice {
    const char* key;
    std::string_view control;
};

constexpr Choice kChoices[] = {
    {"1", ctl::cmdDownloadZQM}, {"2", ctl::cmdDownloadZQC}, {"h", ctl::cmdHistorie},
    {"e", ctl::cmdExplorer},    {"s", ctl::cmdOK},
};

}  // namespace

ConsoleUpdateView::ConsoleUpdateView(std::istream& in, std::ostream& out) : in_(in), out_(out) {}

void ConsoleUpdateView::SetText(std::string_view control, const std::string& text) {
    auto it = texts_.find(control);
    if (it == texts_.end()) {
        texts_.emplace(std::string(control), text);
    } else if (it->second != text) {
        it->second = text;
    } else {
        return;
    }
    dirty_ = true;
}

void ConsoleUpdateView::SetEnabled(std::string_view control, bool enabled) {
    const auto it = disabled_.find(control);
    if (enabled && it != disabled_.end()) {
        disabled_.erase(it);
        dirty_ = true;
    } else if (!enabled && it == disabled_.end()) {
        disabled_.emplace(control);
        dirty_ = true;
    }
}

void ConsoleUpdateView::UseStandardButtonStyle(std::string_view) {}  // one style on a terminal

// The window is printed when it waits for a choice; until then the busy line says what runs.
void ConsoleUpdateView::Show(update::IMainEvents&) {}

void ConsoleUpdateView::SetBusy(bool busy, const std::string& what) {
    lastProgress_ = -1;
    EndProgressLine();
    if (busy && !what.empty()) out_ << what << '\n' << std::flush;
}

// The lines of the input answer the window and the message boxes in their order, so a long
// step reads none: what the user types meanwhile is read when the window asks again.
void ConsoleUpdateView::ProcessPendingEvents() { out_.flush(); }

void ConsoleUpdateView::ShowProgress(std::uint64_t done, std::uint64_t total) {
    char line[64];
    std::int64_t step;
    if (total > 0) {
        step = static_cast<std::int64_t>(done >= total ? 100 : done * 100 / total);
        std::snprintf(line, sizeof line, "Download: %3lld %%", static_cast<long long>(step));
    } else {
        step = static_cast<std::int64_t>(done >> 20);  // whole MB when the size is unknown
        std::snprintf(line, sizeof line, "Download: %lld MB", static_cast<long long>(step));
    }
    if (step == lastProgress_) return;
    lastProgress_ = step;
    out_ << '\r' << line << std::flush;
    progressLine_ = true;
}

void ConsoleUpdateView::EndProgressLine() {
    if (progressLine_) out_ << '\n' << std::flush;
    progressLine_ = false;
}

void ConsoleUpdateView::ShowNote(const std::string& text) {
    EndProgressLine();
    out_ << "Hinweis: " << text << '\n' << std::flush;
}

std::string ConsoleUpdateView::Text(std::string_view control) const {
    const auto it = texts_.find(control);
    return it == texts_.end() ? std::string() : it->second;
}

bool ConsoleUpdateView::Enabled(std::string_view control) const {
    return disabled_.find(control) == disabled_.end();
}

void ConsoleUpdateView::PrintWindow() {
    auto row = [this](std::string_view caption, std::string_view value) {
        out_ << "  " << WithoutAccessKey(Text(caption)) << ": " << Text(value) << '\n';
    };
    out_ << "==== " << Text(ctl::frmMain) << " ====\n"
         << Text(ctl::lblInfo) << '\n'
         << Text(ctl::lblInfoRegKey) << '\n'
         << Text(ctl::lblInfoRegSubKeyZQM) << '\n'
         << Text(ctl::lblInfoRegSubKeyZQC) << '\n'
         << Text(ctl::Label2) << ": " << Text(ctl::lblUpdStorePfad) << '\n'
         << "-- " << Trimmed(Text(ctl::Frame2)) << " --\n";
    row(ctl::Label1, ctl::lblZQMVersionNeu);
    row(ctl::lbxZQMVersionAkt, ctl::lblZQMVersionAkt);
    row(ctl::lbxZQMInstDat, ctl::lblZQMInstDat);
    out_ << "-- " << Trimmed(Text(ctl::Frame1)) << " --\n";
    row(ctl::Label3, ctl::lblZQCVersionNeu);
    row(ctl::lbxZQCVersionAkt, ctl::lblZQCVersionAkt);
    row(ctl::lbxZQCInstDat, ctl::lblZQCInstDat);
    dirty_ = false;
}

void ConsoleUpdateView::PrintChoices() {
    auto caption = [this](std::string_view control) -> std::string {
        if (control == ctl::cmdDownloadZQM) {
            return WithoutAccessKey(Text(control)) + " (" + Trimmed(Text(ctl::Frame2)) + ")";
        }
        if (control == ctl::cmdDownloadZQC) {
            return WithoutAccessKey(Text(control)) + " (" + Trimmed(Text(ctl::Frame1)) + ")";
        }
        if (control == ctl::cmdExplorer) return Text(ctl::Label2) + " öffnen";
        return WithoutAccessKey(Text(control));
    };
    for (const Choice& c : kChoices) {
        if (Enabled(c.control)) {
            out_ << "[" << c.key << "] " << caption(c.control) << '\n';
        } else {
            out_ << "[-] " << caption(c.control) << " (nicht verfügbar)\n";
        }
    }
    out_ << "Auswahl: " << std::flush;
}

void ConsoleUpdateView::Run(update::IMainEvents& events) {
    closed_ = false;
    while (!closed_) {
        EndProgressLine();
        if (dirty_) PrintWindow();
        PrintChoices();
        std::string line;
        if (!in_.good() || !std::getline(in_, line)) {
            out_ << '\n';
            (void)events.Deliver({update::MainEvent::Kind::Close, {}});
            break;  // end of input closes the window
        }
        out_ << '\n';  // the choices of the next round start on a line of their own
        const std::string answer = Trimmed(line);
        std::string_view control;
        for (const Choice& c : kChoices) {
            if (answer == c.key || answer == c.control) control = c.control;
        }
        if (answer == ctl::picExplorer) control = ctl::picExplorer;
        if (control.empty()) {
            out_ << "Unbekannte Auswahl: " << answer << '\n';
            continue;
        }
        if (!Enabled(control)) {  // a disabled button cannot be pressed
            out_ << "Nicht verfügbar.\n";
            continue;
        }
        if (!events.Deliver({update::MainEvent::Kind::Click, control})) break;
    }
    closed_ = true;
    out_ << std::flush;
}

void ConsoleUpdateView::Close() { closed_ = true; }

}  // namespace zq::console
