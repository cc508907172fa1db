#pragma once
// Text helpers shared by the registry store and the profile files: byte-order marks,
// UTF-16LE decoding, case folding as Windows compares key names, and their writers' files.
#include <cstddef>
#include <string>
#include <string_view>

namespace zq::posix {

enum class TextForm { Plain, Utf8Bom, Utf16LeBom };

// Recognises a leading byte-order mark and gives the content as UTF-8 (or the bytes as they
// are for plain files); EncodeText(text, form) gives the same bytes back. False for a
// UTF-16LE file of odd length.
bool DecodeText(const std::string& raw, TextForm& form, std::string& text);
// Back into the form the file had.
std::string EncodeText(const std::string& text, TextForm form);

// UTF-16LE code units to UTF-8. Unpaired surrogates are kept as their three-byte forms, so
// nothing is lost; an odd trailing byte is ignored.
std::string Utf16LeToUtf8(std::string_view bytes);
// UTF-8 to UTF-16LE. The three-byte forms of unpaired surrogates become those code units
// again, so Utf8ToUtf16Le(Utf16LeToUtf8(b)) == b for every even-length b. Other bytes that
// are not valid UTF-8 travel as the low surrogates U+DC80 to U+DCFF.
std::string Utf8ToUtf16Le(std::string_view text);
// Undoes the byte mapping of Utf8ToUtf16Le on decoded text (U+DC80..U+DCFF back to bytes).
std::string RestoreEscapedBytes(std::string_view text);
// UTF-16LE to UTF-8 such that Utf8ToUtf16Le gives exactly the same code units back: bytes
// that Utf8ToUtf16Le mapped come back as bytes where that holds, otherwise the text keeps
// the unpaired surrogates as they were.
std::string DecodeUtf16Le(std::string_view bytes);

// Lower-cases ASCII letters and the Latin-1 letters of UTF-8 (A-Z, À-Þ without ×).
std::string FoldCase(std::string_view text);
bool SameNoCase(std::string_view a, std::string_view b);

// Writes all of data to fd, retrying interrupted and short writes.
bool WriteAll(int fd, const std::string& data);

// Removes "<file>.tmp-" + six characters of mkstemp beside target: temporaries of writers
// that were killed. Call only while holding the file's lock, which every writer holds for
// as long as its temporary exists.
void RemoveStaleTemporaries(const std::string& target);

}  // namespace zq::posix
