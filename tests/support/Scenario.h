#pragma once
// What a platform's end-to-end fixture gives the scenarios written once for both builds: a
// run's exit code and the message boxes it showed, and how the console shows and answers them.
#include <optional>
#include <string>
#include <vector>

#include "platform/Dialogs.h"

namespace zqtest {

struct Box {
    std::string title, text;  // the text's lines joined by newline
};

struct ScenarioRun {
    long exitCode = -1;
    std::optional<std::vector<Box>> boxes;  // nothing where the platform cannot see them
};

// Splits a text into lines at CR LF (the programs' line ends); a last line without one counts.
inline std::vector<std::string> CrLfLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

// The console's boxes: "== title == icon == buttons", then the text's lines up to the next box,
// the window drawn anew ("==== caption ====") or its progress line. A box may follow the
// window's prompt on its line.
inline std::vector<Box> ConsoleBoxes(const std::string& err) {
    std::string text = err;
    for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;) text.replace(at, 2, "\n");
    std::vector<Box> boxes;
    bool open = false;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        at = end + 1;
        while (line.rfind("Auswahl: ", 0) == 0) line.erase(0, 9);
        if (line.rfind("==== ", 0) == 0 || line.rfind("lblFortschritt", 0) == 0) {
            open = false;
        } else if (line.rfind("== ", 0) == 0) {
            boxes.push_back({line.substr(3, line.find(" == ", 3) - 3), ""});
            open = true;
        } else if (open) {
            boxes.back().text += (boxes.back().text.empty() ? "" : "\n") + line;
        }
    }
    for (Box& box : boxes) {
        while (!box.text.empty() && box.text.back() == '\n') box.text.pop_back();
    }
    return boxes;
}

// One line of console input per box, in turn: j, n, a or Enter for OK.
inline std::string ConsoleAnswers(const std::vector<zq::MsgResult>& answers) {
    std::string input;
    for (zq::MsgResult a : answers) {
        input += a == zq::MsgResult::Yes      ? "j\n"
                 : a == zq::MsgResult::No     ? "n\n"
                 : a == zq::MsgResult::Cancel ? "a\n"
                                              : "\n";
    }
    return input;
}

}  // namespace zqtest

// A scenario function ns::Name(Installation&) as the test Name of a fixture that is one.
#define ZQ_SCENARIO_TEST(Fixture, ns, Name) \
    TEST_F(Fixture, Name) { ns::Name(*this); }
