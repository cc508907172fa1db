#pragma once
// UTF-8 text as characters: lengths and cuts that never split a character, and the code page
// of older settings files.
#include <cstddef>
#include <string>

namespace zq {

// Appends the code point (up to U+10FFFF, surrogates included) in UTF-8's form.
void AppendUtf8(std::string& out, char32_t codePoint);
// Length of the valid UTF-8 sequence starting at text[pos], 0 when it is not valid.
std::size_t Utf8CharLength(const std::string& text, std::size_t pos);
// True when the whole text is valid UTF-8.
bool IsValidUtf8(const std::string& text);
// The first (last) count characters; the whole text when it is shorter. A byte that is not
// valid UTF-8 counts as one character, so a cut never lands inside a character.
std::string FirstChars(const std::string& text, std::size_t count);
std::string LastChars(const std::string& text, std::size_t count);

// Windows-1252 (the ANSI code page of German Windows) to UTF-8 and back; a character that
// code page cannot hold becomes "?".
std::string Cp1252ToUtf8(const std::string& text);
std::string Utf8ToCp1252(const std::string& text);

}  // namespace zq
