#pragma once
// The program-wide values of one run of the Manager start program.
#include <string>

#include "common/AccessDetection.h"
#include "common/Trace.h"
#include "common/Version.h"
#include "platform/Platform.h"

namespace zq::starter {

inline constexpr const char* glcAccExe = "msaccess.exe";
inline constexpr const char* glcZQMFile32 = "zqm.zqf";
inline constexpr const char* glcZQMFile64 = "zqm64.zqf";
inline constexpr const char* glcZQMFileAlt = "zqm.mde";
inline constexpr const char* glcZQMiniFile = "zqm.ini";
inline constexpr const char* glcRegHKey = "HKEY_LOCAL_MACHINE";
inline constexpr const char* glcRegKeyStandard = "";
inline constexpr const char* glcRegKeyAccVar = "Path";
inline constexpr const char* glcTraceFileName = "ZQM_Start_Trace.txt";
inline constexpr const char* glcUpdateHistoryName = "ZQM_Update_Trace.txt";
inline constexpr const char* glcUpdateExeName = "zqmupd.exe";

// How a run ended; every way leaves the trace in a known state.
enum class Outcome {
    FrontEndMissing,   // message, end routine
    DataPathExit,      // user chose to stop after a broken data path; no footer
    UpdateCanceled,    // offer answered Cancel; no footer
    LogCanceled,       // log question answered Cancel; no footer
    InstallerStarted,  // "*** EXIT program ***", installer started
    AccessNotFound,    // message, end routine
    LaunchFailed,      // the database program could not be started: message, end routine
    Launched,          // database program started, end routine
};

// Exit codes of the program, one for each kind of ending.
inline constexpr int kExitLaunched = 0;         // the database program was started with the front end
inline constexpr int kExitMissing = 1;          // the front end or the database program is missing
inline constexpr int kExitLaunchFailed = 2;     // the database program could not be started
inline constexpr int kExitStopped = 3;          // the user ended the start at a question
inline constexpr int kExitUpdateStarted = 4;    // the update installer was started instead
inline constexpr int kExitNotRecorded = 5;      // as 0 or 4, but the trace or the history is incomplete

// What a step tells the sequence: go on, or the program ends (with or without the footer).
enum class Flow { Continue, EndRoutine, Exit };

struct StarterContext {
    StarterContext(Platform& p, TraceLog& t) : platform(p), trace(t) {}
    StarterContext(const StarterContext&) = delete;
    StarterContext& operator=(const StarterContext&) = delete;

    Platform& platform;
    TraceLog& trace;
    PathStyle style = PathStyle::Posix;

    // Access settings shared with the detection.
    AccessSettings access;
    bool glAccess64 = false;
    std::string glDataNetworkCfg;

    std::string glProgramFolder;  // without a trailing separator
    std::string glcZQMFile = glcZQMFile32;
    std::string glStartParm;
    std::string glTraceFile;
    std::string glFrontEndFile;
    std::string glOldFrontEndFile;
    std::string glIniFile;

    // Update check state.
    std::string glStarterVersion;
    std::string glUpdateStore;
    std::string glUpdateExe;
    std::string glDataPath;
    std::string glLogCreateCfg;
    std::string glLogPrefixCfg;

    Outcome outcome = Outcome::Launched;
    bool historyFailed = false;  // the update history could not be written completely
};

}  // namespace zq::starter
