#include "common/Messages.h"

#include <cctype>

namespace zq {

namespace {
const char* KindWord(MsgKind kind, bool starter) {
    switch (kind) {
        case MsgKind::Error: return "Fehler";
        case MsgKind::Information: return "Hinweis";
        case MsgKind::Warning: return "Warnung";
        case MsgKind::Question: return starter ? "Abfrage" : "Frage";
        case MsgKind::SafetyQuestion: return "Sicherheitsabfrage";
    }
    return "";
}

char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }
}  // namespace

std::string ReorgTitle(MsgKind kind) { return std::string("Reorg ") + KindWord(kind, false); }

std::string StarterTitle(MsgKind kind) {
    return std::string("ZEQUORA Startprogramm ") + " " + KindWord(kind, true);
}

std::string ReplaceAll(const std::string& text, const std::string& placeholder,
                       const std::string& value, bool ignoreCase) {
    if (placeholder.empty()) return text;
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        bool match = i + placeholder.size() <= text.size();
        for (std::size_t k = 0; match && k < placeholder.size(); ++k) {
            char a = text[i + k], b = placeholder[k];
            match = ignoreCase ? Lower(a) == Lower(b) : a == b;
        }
        if (match) {
            out += value;
            i += placeholder.size();
        } else {
            out += text[i++];
        }
    }
    return out;
}

}  // namespace zq
