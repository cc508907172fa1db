#pragma once
// The text of a private-profile (INI) file: reading and changing entries as the platform's
// profile functions do, on text already decoded to UTF-8; and the encodings such files come
// in (a byte-order mark, UTF-8 without one, or the ANSI code page).
#include <optional>
#include <string>
#include <vector>

namespace zq {

// Lines without their line ends (LF or CR LF).
std::vector<std::string> IniLines(const std::string& text);
// The lines with CR LF after each.
std::string IniJoin(const std::vector<std::string>& lines);

// The value of key in section (both matched without regard to case), without surrounding
// blanks or one pair of matching quotes; nothing when there is no such entry.
std::optional<std::string> IniLookup(const std::vector<std::string>& lines,
                                     const std::string& section, const std::string& key);
// Writes key=value: a present key is rewritten under the name passed, a new key goes to the
// end of its section, a new section to the end. Further lines (comments) can follow the
// entry; they are placed right after it. False, with nothing changed, for a name or value
// that would change the file's structure (line breaks, NUL, "]" in a section, "=" in a key).
bool IniSet(std::vector<std::string>& lines, const std::string& section, const std::string& key,
            const std::string& value, const std::vector<std::string>& following = {});
// Whether a value can be written as one line.
bool IniValueFitsOneLine(const std::string& value);

// How a settings file's bytes are to be read, and written back.
enum class IniEncoding { Utf8, Utf8Bom, Ansi };
// A UTF-8 byte-order mark, or bytes that are valid UTF-8 and hold non-ASCII characters, are
// UTF-8; everything else is the ANSI code page (Windows-1252). Plain ASCII counts as
// asciiAs, the form a new character is to be written in.
IniEncoding DetectIniEncoding(const std::string& raw, IniEncoding asciiAs);
std::string DecodeIni(const std::string& raw, IniEncoding encoding);  // to UTF-8
std::string EncodeIni(const std::string& text, IniEncoding encoding);  // from UTF-8

}  // namespace zq
