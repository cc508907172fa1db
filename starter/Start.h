#pragma once
// The start sequence: settings, trace, front-end checks, update check, Access search, launch.
#include <string>

#include "starter/Global.h"

namespace zq::starter {

// One whole run; startParm is the command line after the program name, kept unchanged.
// Gives the program's exit code.
int RunStarter(Platform& platform, const std::string& startParm);
// The exit code of a run that ended with the context's outcome; traceFailed: some line of
// the trace did not reach its file.
int ExitCode(const StarterContext& ctx, bool traceFailed);

// The steps, in the order the sequence runs them.
void ReadStarterConfig(StarterContext& ctx);
void SetFilePaths(StarterContext& ctx, const std::string& startParm);
void DumpGlobals(StarterContext& ctx);
Flow CheckZequora(StarterContext& ctx);
void DeleteOldFrontEnd(StarterContext& ctx);
void ReportStarterConfig(StarterContext& ctx);
// The Access search's found action: trusted locations, then the database program.
void StartManager(StarterContext& ctx);
// Two empty lines, "[Verweise]", trace closed.
void EndRoutine(StarterContext& ctx);

// "\"<access>\" /runtime  \"<front end>\"  <command line>"
std::string ManagerCommandLine(const std::string& accessExe, const std::string& frontEnd,
                               const std::string& startParm);

inline constexpr const char* kFrontEndMissingMessage =
    "Die ZEQUORA Manager Programmdatei wurde nicht gefunden. ZEQUORA kann daher nicht "
    "gestartet werden.\r\nInstallieren Sie ZEQUORA neu bzw. lesen Sie hierzu bitte im "
    "Handbuch den Abschnitt 'Installation und Update'";
inline constexpr const char* kLaunchFailedMessage =
    "Access (msaccess.exe) konnte nicht gestartet werden. Der ZEQUORA Manager kann daher nicht "
    "gestartet werden.\r\nBitte prüfen Sie die Installation von Access oder lesen Sie hierzu "
    "im Handbuch den Abschnitt 'Installation und Update'.";
inline constexpr const char* kAccessNotFoundTemplate =
    "Access 10.0 oder Access 10.0 Runtime nicht gefunden oder nicht installiert!\r\nDer "
    "ZEQUORA Manager benötigt Access 10.0 jedoch als Datenbasis und kann aus diesem Grund "
    "nicht gestartet werden.\r\nZur Behebung des Problemes lesen Sie bitte im Handbuch den "
    "Abschnitt 'Installation und Update'";

}  // namespace zq::starter
