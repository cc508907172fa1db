#include "platform/console/ConsoleDialogs.h"

#include <cctype>
#include <istream>
#include <ostream>
#include <vector>

namespace zq::console {

namespace {

const char* IconWord(MsgIcon icon) {
    switch (icon) {
        case MsgIcon::Stop: return "stop";
        case MsgIcon::Exclamation: return "exclamation";
        case MsgIcon::Information: return "information";
        case MsgIcon::Question: return "question";
        case MsgIcon::None: return "none";
    }
    return "none";
}

std::vector<MsgResult> ButtonsOf(MsgButtons buttons) {
    switch (buttons) {
        case MsgButtons::Ok: return {MsgResult::Ok};
        case MsgButtons::YesNo: return {MsgResult::Yes, MsgResult::No};
        case MsgButtons::YesNoCancel: return {MsgResult::Yes, MsgResult::No, MsgResult::Cancel};
    }
    return {MsgResult::Ok};
}

const char* ButtonWord(MsgResult r) {
    switch (r) {
        case MsgResult::Ok: return "OK";
        case MsgResult::Yes: return "Ja";
        case MsgResult::No: return "Nein";
        case MsgResult::Cancel: return "Abbrechen";
    }
    return "OK";
}

std::string Trim(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

// The message's lines; a line break at the very end opens no further line.
std::vector<std::string> TextLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string current;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(current);
            current.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            current += c;
        }
    }
    if (!current.empty() || lines.empty()) lines.push_back(current);
    return lines;
}

// One line of input; false at end of input.
bool ReadAnswer(std::istream& in, std::string& answer) {
    if (!in.good()) return false;
    if (!std::getline(in, answer)) return false;
    answer = Trim(answer);
    return true;
}

}  // namespace

ConsoleDialogs::ConsoleDialogs(std::istream& in, std::ostream& err) : in_(in), err_(err) {}

MsgResult ConsoleDialogs::ShowMessage(const std::string& text, const std::string& title,
                                     MsgIcon icon, MsgButtons buttons, int defaultButton) {
    std::vector<MsgResult> offered = ButtonsOf(buttons);
    if (defaultButton < 0 || static_cast<std::size_t>(defaultButton) >= offered.size())
        defaultButton = 0;
    MsgResult fallback = offered[static_cast<std::size_t>(defaultButton)];

    std::string buttonText;
    for (std::size_t k = 0; k < offered.size(); ++k) {
        if (k) buttonText += '/';
        buttonText += ButtonWord(offered[k]);
        // A single OK needs no mark: there is nothing else to choose.
        if (offered.size() > 1 && static_cast<int>(k) == defaultButton) buttonText += '*';
    }
    err_ << "== " << title << " == " << IconWord(icon) << " == " << buttonText << '\n';
    for (const auto& line : TextLines(text)) err_ << line << '\n';
    err_.flush();

    std::string answer;
    if (!ReadAnswer(in_, answer) || answer.empty()) return fallback;
    if (buttons == MsgButtons::Ok) return MsgResult::Ok;
    char c = static_cast<char>(std::tolower(static_cast<unsigned char>(answer[0])));
    MsgResult chosen = fallback;
    if (c == 'j' || c == 'y') chosen = MsgResult::Yes;
    else if (c == 'n') chosen = MsgResult::No;
    else if (c == 'a' || c == 'c') chosen = MsgResult::Cancel;
    for (MsgResult r : offered)
        if (r == chosen) return chosen;
    return fallback;  // an answer the box does not offer
}

std::optional<std::string> ConsoleDialogs::OpenFile(const std::string& title,
                                                    const std::string& filterName,
                                                    const std::string& filterPattern,
                                                    const std::string& initialFolder) {
    err_ << "== " << title << " == Datei (" << filterName << ' ' << filterPattern << ") in "
         << initialFolder << " ==" << '\n';
    err_.flush();
    std::string answer;
    if (!ReadAnswer(in_, answer) || answer.empty()) return std::nullopt;
    return answer;
}

}  // namespace zq::console
