#pragma once
// Path and folder operations shared by the programs. Pure path functions take the style
// (Windows "\" paths, POSIX "/" paths) so that both are tested on every platform.
#include <cstdint>
#include <string>

#include "platform/Dialogs.h"
#include "platform/Environment.h"
#include "platform/Files.h"

namespace zq {

char Separator(PathStyle style);
// Text after the last separator; empty when there is none.
std::string FilePart(const std::string& path, PathStyle style);
// Text up to and including the last separator; empty when there is none.
std::string FolderPart(const std::string& path, PathStyle style);
std::string EnsureTrailingSeparator(const std::string& path, PathStyle style);
// Windows: contains ":" or begins with "\\". POSIX: begins with "/".
bool IsAbsolute(const std::string& path, PathStyle style);
// The folder of the running program without a trailing separator; a root folder stays whole
// ("/" or "C:\").
std::string ProgramFolder(IEnvironment& env);
// folder + one separator + name.
std::string JoinPath(const std::string& folder, const std::string& name, PathStyle style);
// Completes a relative path against base (completed itself first) or the data folder.
std::string CompletePath(const std::string& path, const std::string& base,
                         const std::string& dataFolder, PathStyle style);
// The extended form for long paths on Windows ("\\?\", "\\?\UNC\"); POSIX paths unchanged.
std::string ExtendedPath(const std::string& path, PathStyle style);

// Creates the folder and its missing parents. False when the folder does not exist
// afterwards; *raised gets the failure that stopped the creation (error 0 when none).
bool CreateFolderTree(IFiles& files, const std::string& folder, PathStyle style,
                      FsStatus* raised = nullptr);
// As above; a path without any separator is not touched (false). When creating fails and
// quiet is off, the folder-creation error box is shown (exclamation, "Reorg Fehler").
bool CreateFolderWithReport(IFiles& files, IDialogs& dialogs, const std::string& folder,
                            bool quiet, PathStyle style);
bool CopyFileTo(IFiles& files, const std::string& source, const std::string& target,
                bool overwrite);
bool ClearAttributes(IFiles& files, const std::string& path, std::uint32_t attributes,
                     PathStyle style);
// Clears all attributes, then deletes; the delete's failure is returned to the caller.
FsStatus DeleteFileOp(IFiles& files, const std::string& path, PathStyle style);
// True when the location lies on a network drive (a remote file system on Linux).
bool IsNetworkLocation(IFiles& files, const std::string& path);

}  // namespace zq
