#pragma once
// Message-box conventions: titles per program and kind, placeholders.
#include <string>

#include "platform/Dialogs.h"

namespace zq {

enum class MsgKind { Error, Information, Warning, Question, SafetyQuestion };

inline constexpr const char* kCrLf = "\r\n";
inline constexpr const char* kReorgDefaultTitle = "ZEQUORA Datendatei Reorganisation";
inline constexpr const char* kStarterDefaultTitle = "ZEQUORA Manager";

std::string ReorgTitle(MsgKind kind);    // "Reorg " + kind word
std::string StarterTitle(MsgKind kind);  // "ZEQUORA Startprogramm " + " " + kind word

// Replaces every occurrence of placeholder (exact case, or ignoring case) by value.
std::string ReplaceAll(const std::string& text, const std::string& placeholder,
                       const std::string& value, bool ignoreCase = false);

}  // namespace zq
