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

// What becomes of the reorganisation log ("Logdatei").
enum class LogMode { Create, Append, Off };  // anything else, "A", "X"

// The options of zqr.ini in force: the six as read (trimmed and upper-cased), which the trace
// shows, and what the run decides by, parsed from them once (Parse).
struct ReorgOptions {
    std::string kopie;     // "Sicherungskopie"
    std::string create;    // "Speicherort"
    std::string log;       // "Logdatei"
    std::string sleep;     // "Warten"
    std::string tabCode;   // "TabCode"
    std::string maxFiles;  // "DateiAnzahlMax", the decimal text of its leading number

    // Parsed from the texts above.
    bool backupBesideData = false;     // "B" in "Sicherungskopie": into "Save" beside the data file
    bool backupBesideProgram = false;  // "F" in it: into "Autosave" beside the program
    bool logBesideProgram = false;     // "Speicherort" "F"; else beside the data file
    LogMode logMode = LogMode::Create;
    int delaySeconds = 0;              // "Warten" before Access starts, 0 to 20
    int censusExtraSeconds = 0;        // "Warten" granted to the census after it, 0 to 30
    long maxCopies = 0;                // "DateiAnzahlMax"
    // Fills the parsed values from the texts; to be called after any text changed.
    void Parse();
    // The options of the six texts, parsed; the others at their defaults.
    static ReorgOptions FromTexts(std::string kopie, std::string create, std::string log,
                                  std::string sleep, std::string tabCode, std::string maxFiles);

    // Read when present, never written into a new file.
    bool showBoxesUnattended = true;  // "Meldungen": "N" shows no box in an unattended run
    int waitMaxMinutes = kDefaultWaitMaxMinutes;  // "WartenMax": bound for the database program
    int traceCount = 5;  // "TraceAnzahl": earlier traces kept as ZQR_Reorg_Trace.<n>.txt
};

// The program's own values: who it is, how it was started and where its files are, fixed
// when its context is made.
struct ProgramValues {
    std::string glStartParm;
    std::string glProductName;
    std::string glProgramFolder;  // without trailing separator
    std::string glExeName;
    std::string glVersionText;
    std::string glWindowTitle;
    std::string glTraceFile;
    std::string glManagerIniFile;
    std::string glManagerExe;

    // The values of this program, started with startParm.
    static ProgramValues Of(Platform& platform, std::string startParm);
};

// The changing state of a run: what it works on, what it has found and open, and the facts
// that decide its messages, result records and exit code.
struct RunState {
    std::string glDataFile;
    bool unattended = false;  // a scheduled or command-line run: nobody is asked
    bool glOfferManagerRestart = false;
    bool glStartedByManager = false;
    bool glFileCheckMessageShown = false;
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
    RunOutcome outcome = RunOutcome::Success;
};

struct ReorgContext {
    ReorgContext(Platform& platform, IReorgView& view, std::string startParm);
    ReorgContext(Platform& platform, IReorgView& view, ProgramValues values);

    Platform& platform;
    IReorgView& view;
    TraceLog trace;  // path fixed on construction from the program folder

    const ProgramValues program;
    ReorgOptions options;   // zqr.ini, parsed once (the Manager-settings answer may change it)
    AccessSettings access;

    RunState run;

    PathStyle Style() const { return platform.env.Style(); }
    bool Unattended() const { return run.unattended; }
    // How the program ends: a run that would otherwise end as a success says that its trace
    // or log is incomplete.
    RunOutcome FinalOutcome() const {
        return run.outcome == RunOutcome::Success && (trace.Failed() || run.logFailed) ? RunOutcome::NotRecorded
                                                                                      : run.outcome;
    }
    int FinalExitCode() const { return ExitCode(FinalOutcome()); }
    std::string OptionsFile() const;  // built from the program folder on every access
};

}  // namespace zq::reorg
