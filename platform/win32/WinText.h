#pragma once
// Text and error conversions at the edge of the Win32 adapters: the core speaks UTF-8, the
// system's wide-character functions UTF-16; files the system reads as text are in its ANSI
// code page.
#include <windows.h>

#include <string>

#include "platform/Files.h"

namespace zq::win32 {

std::wstring Wide(const std::string& utf8);
std::string Utf8(const wchar_t* text, std::size_t length);
std::string Utf8(const std::wstring& text);
// UTF-8 text in the system's ANSI code page; characters it lacks become its default character.
std::string Ansi(const std::string& utf8);
// The system's text for a Win32 error code, without the final line break; its inserts ("%1")
// filled with subject (the file or program it is about).
std::string ErrorText(DWORD code, const std::string& subject = {});

// A path that cannot be examined at all (bad name, unreachable share, too long, ...) is 52;
// a missing file or folder is "not found" (53); anything else another failure (57).
int ClassifyError(DWORD code);
// The same for operations that change the file system: permission problems and files held
// by another process are 70, a missing file 53, a missing folder 76, an existing target 58,
// a full disk 61; renameHeld gives 75 for a file another process holds (a rename).
int ChangeError(DWORD code, bool renameHeld = false);
FsStatus Failure(DWORD code, const std::string& path, bool renameHeld = false);

// A path the wide-character functions take: UTF-16, with no embedded NUL (false otherwise).
bool WidePath(const std::string& path, std::wstring& out);

}  // namespace zq::win32
