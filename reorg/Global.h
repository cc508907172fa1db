#pragma once
// The program-wide values of one reorganiser run, held in one context object that main
// creates and every procedure takes.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/AccessDetection.h"
#include "common/Dao.h"
#include "common/Trace.h"
#include "common/Version.h"
#include "reorg/Flow.h"
#include "platform/Platform.h"

namespace zq::reorg {

class IReorgView;

// Exit codes of the program, so that a scheduled run can tell the outcomes apart.
inline constexpr int kExitSuccess = 0;        // reorganised, record counts unchanged; or no run
inline constexpr int kExitAborted = 1;        // nothing done: no usable data file, cancelled
// No Access, no lock-file name, no backup, Access failed, census incomplete, results not stored.
inline constexpr int kExitFailed = 2;
inline constexpr int kExitCountsChanged = 3;  // the record counts differ after the run
inline constexpr int kExitNotRecorded = 4;    // otherwise 0, but the trace or the log is incomplete
inline constexpr int kExitPermissionsLost = 5;  // otherwise 0, but the data file's permissions are not its own

inline constexpr const char* kAccessExeName = "msaccess.exe";
inline constexpr const char* kDataFileName = "zqdata.mdb";
inline constexpr const char* kOptionsFileName = "zqr.ini";
inline constexpr const char* kManagerIniName = "zqm.ini";
inline constexpr const char* kManagerExeName = "zqm.exe";
inline constexpr const char* kTraceFileName = "ZQR_Reorg_Trace.txt";
inline constexpr const char* kLogFileName = "ZQR_Reorg_Log.txt";
inline constexpr const char* kLocalCopyName = "zqdata_lokal.mdb";

// Our own product name (the program file carries no version resource on Linux).
inline constexpr const char* kProductName = "ZEQUORA - Datendatei Reorganisation";

// Time a database program is given to compact a 2 GB file on a slow share.
inline constexpr int kDefaultWaitMaxMinutes = 120;

// The six options of zqr.ini in force: trimmed and upper-cased.
struct ReorgOptions {
    std::string kopie;     // "Sicherungskopie"
    std::string create;    // "Speicherort"
    std::string log;       // "Logdatei"
    std::string sleep;     // "Warten"
    std::string tabCode;   // "TabCode"
    std::string maxFiles;  // "DateiAnzahlMax", the decimal text of its leading number
    // Read when present, never written into a new file.
    bool showBoxesUnattended = true;  // "Meldungen": "N" shows no box in an unattended run
    int waitMaxMinutes = kDefaultWaitMaxMinutes;  // "WartenMax": bound for the database program
    int traceCount = 5;  // "TraceAnzahl": earlier traces kept as ZQR_Reorg_Trace.<n>.txt
};

struct ReorgContext {
    ReorgContext(Platform& platform, IReorgView& view, std::string startParm);

    Platform& platform;
    IReorgView& view;
    TraceLog trace;  // path fixed on construction from the program folder

    // Start-up values.
    std::string glStartParm;
    std::string glProductName;
    std::string glProgramFolder;  // without trailing separator
    std::string glExeName;
    std::string glVersionText;
    std::string glWindowTitle;
    std::string glDataFile;
    std::string glTraceFile;
    std::string glManagerIniFile;
    std::string glManagerExe;
    std::string glAutorun = "0";  // "0" interactive, "-1" unattended
    bool glOfferManagerRestart = false;
    bool glStartedByManager = false;
    bool glFileCheckMessageShown = false;

    ReorgOptions options;
    AccessSettings access;

    // Run values.
    bool glUseLocalCopy = false;
    std::string glLocalFolder;
    std::string glLocalCopyFile;
    std::string glOldLocalCopyFile;
    bool glSettingsAdjusted = false;
    bool glRunCancelled = false;
    std::string glAccessExe;
    std::string glLogFile;
    std::string glAccessCommand;
    double glSizeBefore = 0, glSizeAfter = 0, glSizeDiff = 0;
    std::int32_t glSumBefore = 0, glSumAfter = 0, glCountDiff = 0;
    std::int16_t glTablesSeen = 0, glTablesMatching = 0;
    std::int16_t glResultFlag = 0;
    std::int32_t glResultCount = 0;
    std::int32_t glDelayMs = 0;
    long glLastOpenError = 0;
    std::string lastOpenErrorText;  // the engine's description of glLastOpenError
    bool workingOnLocalCopy = false;  // Access works on glLocalCopyFile; it must come back

    // Open resources of the run.
    std::unique_ptr<dao::Database> db;         // the data file while a step uses it
    std::unique_ptr<ITextFile> log;            // the reorganisation log while it is open
    std::unique_ptr<IProcessHandle> accessProcess;  // the Access process until it has ended
    std::unique_ptr<IFileLock> runLock;  // keeps other reorganisers off glDataFile during the run

    // Outcome facts that decide the messages, the result records and the exit code.
    enum class AccessEnd { NotRun, NotStarted, Ended, StillRunning };
    AccessEnd accessEnd = AccessEnd::NotRun;
    int accessExitCode = 0;         // when it ended
    bool dataFileRewritten = false;
    // Whether the engine could open the data file before its old backup copies were rotated.
    std::optional<bool> dataFileOpens;
    std::string dataFileOpenError;  // Access wrote the file anew (identity, size or time changed)
    std::string accessStartError;   // why it could not be started
    struct Census {
        bool counted = false;   // the pass opened the data file and went through its tables
        long openError = 0;     // why it could not open the data file
        std::string openErrorText;
        std::vector<std::string> uncounted;  // tables whose records could not be counted
        bool Complete() const { return counted && uncounted.empty(); }
    };
    Census census[2];            // before and after the compaction
    bool runFailed = false;      // decided by the evaluation; no result record claims success
    bool resultsFailed = false;  // the result records could not be stored
    bool logFailed = false;      // the log could not be created or written completely
    // The data file's owner and access rights before the compaction, which replaces the file
    // and with it what was set on it; and why they could not be kept (empty when they were).
    std::string dataFilePermissions;
    std::string permissionsLost;
    // Nobody can answer a box (an unattended run without a visible desktop, or "Meldungen" =
    // "N"): its title and text go to the trace, the log and the system log instead.
    bool quietBoxes = false;
    std::vector<std::string> quietMessages;
    bool traceAppends = false;  // one data file of a list: its trace follows the list's
    bool runInProgress = false;
    // The window while a wait lets input through (LetInputThrough), and a window that is gone.
    int inputLetThrough = 0;
    bool windowClosed = false;
    // How long the run waits for Access to end before it ends it ("WartenMax").
    int accessWaitBoundMs = kDefaultWaitMaxMinutes * 60 * 1000;
    int exitCode = kExitSuccess;

    PathStyle Style() const { return platform.env.Style(); }
    bool Unattended() const;  // glAutorun converted to a number is not 0
    // The code the program ends with: a run that would otherwise end as a success says that
    // its trace or log is incomplete.
    int FinalExitCode() const {
        return exitCode == kExitSuccess && (trace.Failed() || logFailed) ? kExitNotRecorded : exitCode;
    }
    std::string OptionsFile() const;  // built from the program folder on every access
};

}  // namespace zq::reorg
