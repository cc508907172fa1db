#pragma once
// Helpers of the update tool: version texts, the version page, the server address,
// message boxes with the tool's title.
#include <cstddef>
#include <string>

#include "update/UpdateContext.h"

namespace zq::update {

inline constexpr std::size_t kMaxVersionPageBytes = 1u << 20;
inline constexpr const char* kVersionPage = "/iupdate.htm";
inline constexpr const char* kHistoryPage = "/download/update.txt";
inline constexpr const char* kZquIni = "zqu.ini";

// major + "." + minor as two digits: 4, 1 gives "4.01".
std::string ProgramVersionText(int major, int minor);
// "ZEQUORA - Update 4.1".
std::string WindowCaption(int major, int minor);
// base + " " + major, e.g. "ZEQUORA - Manager 4".
std::string ApplicationName(const std::string& base, int major);

// Fills the values computed at start: names, version text, caption, program folder.
void InitProgramValues(UpdateContext& ctx);

// The first count characters of a UTF-8 text; a byte that is not part of a valid sequence
// counts as one character and shows as "?".
std::string FirstChars(const std::string& text, std::size_t count);
// The text with control characters and invalid bytes shown as "?".
std::string DisplayText(const std::string& text);

// The six characters after the first marker (exact case), ending early at a line end or
// other control character; with completeWithZero ".0" is appended and the result cut back
// to six characters. Empty when the marker is missing or nothing follows it.
std::string VersionFromPage(const std::string& page, const std::string& marker,
                            bool completeWithZero);

// Reads section "Server", keys "Adresse" and "CAFile" of zqu.ini in the program folder.
ServerConfig ReadServerConfig(IProfile& profile, const std::string& programFolder,
                              PathStyle style);

// The full address of a resource on the update server; empty when no server is configured.
std::string ServerAddress(const UpdateContext& ctx, const std::string& resource);

// The page's text; empty on any failure, with the reason in *why. progress is called while
// the request runs (also when nothing arrives).
std::string FetchText(UpdateContext& ctx, const std::string& url, WebError* why = nullptr,
                      const IWeb::Progress& progress = {});

// The checksum the version page names after marker ("ZQM_SHA256:"): 64 hex digits.
PageChecksum ChecksumFromPage(const std::string& page, const std::string& marker);

// What went wrong with a request, in German; the update folder is named where it matters.
std::string FailureText(const UpdateContext& ctx, const WebError& error);


// The program's exit code after the window closed (see the README).
int ExitCode(const UpdateContext& ctx);

// A message box; an empty title gives "ZEQUORA Update  -  " + version text.
MsgResult ShowMessage(UpdateContext& ctx, const std::string& text, MsgButtons buttons,
                      MsgIcon icon, const std::string& title = "");

}  // namespace zq::update
