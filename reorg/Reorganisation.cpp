// Compaction by Access, the evaluation of the run and the end of the program.
#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include "common/FileInfo.h"
#include "common/Messages.h"
#include "common/Paths.h"
#include "reorg/Ablauf.h"
#include "reorg/IniDatei.h"
#include "reorg/Meldungen.h"
#include "reorg/frmZQR/frmZQR.h"
#include "reorg/funktionen.h"

namespace zq::reorg {

namespace {

constexpr std::uint32_t kAnyFile = kAttrHidden | kAttrSystem;
const std::string kSeparatorLine(89, '-');

std::string Mb(ReorgContext& ctx, double value) { return ctx.platform.clock.FormatOneDecimal(value); }

void LogLine(ReorgContext& ctx, const std::string& line) {
    if (ctx.run.log) (void)ctx.run.log->Write(line + kCrLf);  // the log remembers a failed write
}

void Delay(ReorgContext& ctx) {
    ctx.trace.Label("Delay", std::to_string(ctx.run.glDelayMs / 1000));
    ctx.platform.clock.Sleep(ctx.run.glDelayMs);
}

// Access must have let go of the file before it is counted and measured again: keep the
// process and wait for its end, with a visible sign and a generous bound.
void WaitForAccess(ReorgContext& ctx) {
    if (!ctx.run.accessProcess) return;
    IReorgView& view = ctx.view;
    ctx.trace.Empty();
    ctx.trace.Label("Action", "Waiting for Access to finish");
    std::string sign = msg::kWaitingForAccess;
    view.ShowBusy(sign);
    const std::int64_t start = ctx.platform.clock.TickMs();
    std::int64_t minutesTraced = 0;
    bool ended = false;
    while (!(ended = ctx.run.accessProcess->Wait(1000))) {
        (void)LetInputThrough(ctx);  // a run keeps its window
        const std::int64_t waited = ctx.platform.clock.TickMs() - start;
        if (waited >= ctx.run.accessWaitBoundMs) break;
        if (waited / 60000 > minutesTraced) {  // a scheduled run shows it is still waiting
            minutesTraced = waited / 60000;
            ctx.trace.Label("Waiting", std::to_string(minutesTraced) + " min");
        }
        sign += ".";
        if (sign.size() > 80) sign = msg::kWaitingForAccess;
        view.ShowBusy(sign);
    }
    view.ShowBusy("");
    if (!ended) {
        // At the bound the database program goes, with whatever it started: the census
        // after it then shows what became of the data file.
        ctx.run.accessEnd = RunState::AccessEnd::StillRunning;
        ctx.trace.Result("Error | still running after " +
                         std::to_string((ctx.platform.clock.TickMs() - start) / 1000) + " s");
        ctx.run.accessProcess->Terminate();
        ctx.trace.Label("Action", "End the database program");
        ctx.trace.Result("OK");
        ctx.run.accessProcess.reset();
        return;
    }
    int code = ctx.run.accessProcess->ExitCode();
    ctx.run.accessEnd = RunState::AccessEnd::Ended;
    ctx.run.accessExitCode = code;
    ctx.trace.Result(std::string(code == 0 ? "OK" : "Error") + " | exit code " + std::to_string(code));
    ctx.run.accessProcess.reset();
}

// The database program writes the compacted file anew, with the default rights of its
// folder: the data file's owner and access rights are noted before and given back after.
void SavePermissions(ReorgContext& ctx) {
    TraceLog& trace = ctx.trace;
    trace.Empty();
    trace.Label("Action", "Read permissions of data file: " + ctx.run.glDataFile);
    FsStatus status;
    ctx.run.dataFilePermissions = ctx.platform.files.ReadPermissions(ctx.run.glDataFile, status);
    if (!ctx.run.dataFilePermissions.empty()) {
        trace.Result("OK | " + ctx.run.dataFilePermissions);
        return;
    }
    ctx.run.permissionsLost = "not read before the compaction: " + status.text;
    trace.Result("Error | " + status.text);
    trace.Label("Warning", "Permissions of data file cannot be restored after the compaction");
}

// Once the database program has let go of the file and the file is back at its place.
void RestorePermissions(ReorgContext& ctx) {
    if (ctx.run.dataFilePermissions.empty() || ctx.run.accessEnd != RunState::AccessEnd::Ended) return;
    IFiles& files = ctx.platform.files;
    TraceLog& trace = ctx.trace;
    trace.OpenAppend();
    trace.Empty();
    trace.Label("Action", "Check permissions of data file: " + ctx.run.glDataFile);
    FsStatus status;
    const std::string now = files.ReadPermissions(ctx.run.glDataFile, status);
    if (now == ctx.run.dataFilePermissions) {
        trace.Result("OK | unchanged");
    } else if (now.empty()) {
        ctx.run.permissionsLost = status.text;
        trace.Result("Error | " + status.text);
    } else {
        trace.Result("Changed | " + now);
        trace.Label("Action", "Restore permissions of data file: " + ctx.run.dataFilePermissions);
        status = files.WritePermissions(ctx.run.glDataFile, ctx.run.dataFilePermissions);
        // Only what the file shows afterwards proves the restore.
        FsStatus check;
        const std::string after = status.ok() ? files.ReadPermissions(ctx.run.glDataFile, check) : "";
        if (status.ok() && after == ctx.run.dataFilePermissions) {
            trace.Result("OK");
        } else {
            ctx.run.permissionsLost = !status.ok() ? status.text
                                  : after.empty() ? check.text
                                                  : "the file shows " + after;
            trace.Result("Error | " + ctx.run.permissionsLost);
        }
    }
    if (!ctx.run.permissionsLost.empty())
        trace.Label("Warning", "Permissions of data file not restored: " + ctx.run.permissionsLost);
    trace.Close();
}

std::int32_t Difference(std::int32_t after, std::int32_t before) {
    long long d = static_cast<long long>(after) - before;
    if (d > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
    if (d < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(d);
}

std::string TableList(const std::vector<std::string>& tables) {
    std::string list;
    for (const std::string& table : tables) list += (list.empty() ? "[" : ", [") + table + "]";
    return list;
}

// Why the run failed, one cause each; empty when Access finished and both passes counted.
std::vector<std::string> FailureCauses(ReorgContext& ctx, bool comparable) {
    using AccessEnd = RunState::AccessEnd;
    std::vector<std::string> causes;
    switch (ctx.run.accessEnd) {
        case AccessEnd::NotRun:
        case AccessEnd::NotStarted:
            causes.push_back(msg::kAccessNotStarted + ctx.run.accessStartError);
            break;
        case AccessEnd::StillRunning: {
            const int seconds = (ctx.run.accessWaitBoundMs + 999) / 1000;
            const std::string bound = seconds % 60 == 0 ? std::to_string(seconds / 60) + " Minuten"
                                                        : std::to_string(seconds) + " Sekunden";
            causes.push_back(ReplaceAll(msg::kAccessStillRunning, "XXXXX", bound));
            break;
        }
        case AccessEnd::Ended:
            if (ctx.run.accessExitCode != 0)
                causes.push_back(msg::kAccessEndedWithError + std::to_string(ctx.run.accessExitCode));
            else if (!ctx.run.dataFileRewritten)
                causes.push_back(msg::kDataFileNotRewritten);
            break;
    }
    for (int pass = 0; pass < 2; ++pass) {
        const RunState::Census& census = ctx.run.census[pass];
        if (!census.counted)
            causes.push_back((pass == 0 ? msg::kNotOpenedBefore : msg::kNotOpenedAfter) +
                             std::to_string(census.openError) + " " + census.openErrorText);
        else if (!census.uncounted.empty())
            causes.push_back((pass == 0 ? msg::kNotCountedBefore : msg::kNotCountedAfter) +
                             TableList(census.uncounted));
    }
    if (!causes.empty() && comparable && ctx.run.glCountDiff != 0) causes.push_back(msg::kCountsDiffer);
    return causes;
}

std::string FailureMessage(ReorgContext& ctx, const std::vector<std::string>& causes, bool stored) {
    std::string text = std::string(msg::kFailed) + kCrLf + kCrLf;
    if (causes.size() == 1) {
        text += std::string(msg::kOneCause) + kCrLf + causes.front();
    } else {
        text += msg::kSeveralCauses;
        for (const std::string& cause : causes) text += std::string(kCrLf) + "- " + cause;
    }
    if (!stored) text += std::string(kCrLf) + kCrLf + msg::kDataFileNotWritten;
    std::string see = ctx.options.logMode != LogMode::Off ? msg::kSeeTraceAndLog : msg::kSeeTrace;
    see = ReplaceAll(ReplaceAll(see, "XXXXX", ctx.trace.Path()), "YYYYY", ctx.run.glLogFile);
    return text + kCrLf + kCrLf + see + ".";
}

// The files of this run that could not be written completely, one a line.
std::string IncompleteFiles(ReorgContext& ctx) {
    std::string files;
    if (ctx.trace.Failed()) files += std::string(kCrLf) + "- " + ctx.trace.Path();
    if (ctx.run.logFailed) files += std::string(kCrLf) + "- " + ctx.run.glLogFile;
    return files;
}

void Evaluate(ReorgContext& ctx) {
    ctx.trace.Close();
    (void)CountRecords(ctx, 1);
    RestorePermissions(ctx);

    IFiles& files = ctx.platform.files;
    ctx.run.glSizeAfter = files.Exists(ctx.run.glDataFile, kAnyFile) ? FileSizeMb(ctx, ctx.run.glDataFile) : 0;
    if (ctx.run.glSizeAfter != 0) ctx.run.glSizeDiff = ctx.run.glSizeBefore - ctx.run.glSizeAfter;

    ctx.run.glCountDiff = Difference(ctx.run.glSumAfter, ctx.run.glSumBefore);
    // With a table left uncounted in either pass, equal sums prove nothing.
    const bool comparable = ctx.run.census[0].Complete() && ctx.run.census[1].Complete();
    const std::vector<std::string> causes = FailureCauses(ctx, comparable);
    ctx.run.runFailed = !causes.empty();
    // A file Access did not finish with, or that cannot be counted now, may be damaged:
    // nothing is written into it.
    const bool storable =
        ctx.run.accessEnd == RunState::AccessEnd::Ended && ctx.run.census[1].Complete();

    std::string suffix;
    if (ctx.run.runFailed) {
        ctx.run.glResultFlag = 1;
        ctx.run.glResultCount = comparable ? ctx.run.glCountDiff : 0;
        suffix = "-- FEHLGESCHLAGEN --";
    } else if (ctx.run.glCountDiff == 0) {
        ctx.run.glResultFlag = -1;
        ctx.run.glResultCount = ctx.run.glSumAfter;
    } else {
        ctx.run.glResultFlag = 1;
        ctx.run.glResultCount = ctx.run.glCountDiff;
        suffix = "-- ACHTUNG!!! --";
    }

    std::string sizeMessage;
    if (ctx.run.glSizeAfter != 0) {
        if (ctx.run.glSizeDiff == 0) {
            sizeMessage = ReplaceAll(msg::kSizeUnchanged, "XXXXX", Mb(ctx, ctx.run.glSizeAfter));
        } else {
            sizeMessage = ReplaceAll(msg::kSizeChanged, "XXXXX", Mb(ctx, ctx.run.glSizeBefore));
            sizeMessage = ReplaceAll(sizeMessage, "YYYYY", Mb(ctx, ctx.run.glSizeAfter));
        }
    }

    if (ctx.options.logMode != LogMode::Off) {
        std::string beforeText = std::to_string(ctx.run.glSumBefore);
        std::string diffText = comparable ? std::to_string(ctx.run.glCountDiff) : "unbekannt";
        if (ctx.run.glSumBefore == 0) {
            beforeText = "(konnte nicht ermittelt werden)";
            diffText = "unbekannt";
            if (ctx.run.glTablesMatching == 0 && ctx.run.glTablesSeen > 0)
                beforeText = "(keine Tabellen mit Codierung '" + ctx.options.tabCode + "' gefunden)";
        }
        LogLine(ctx, "---- Ergebnis: " + suffix);
        LogLine(ctx, "- Größe Datendatei: vorher " + Mb(ctx, ctx.run.glSizeBefore) + " MB" + " / nachher " +
                         Mb(ctx, ctx.run.glSizeAfter) + " MB / Differenz " + Mb(ctx, ctx.run.glSizeDiff) + " MB");
        LogLine(ctx, "- Anzahl Datensätze: vorher " + beforeText + " / nachher " +
                         std::to_string(ctx.run.glSumAfter) + " / Differenz " + diffText);
        for (const std::string& cause : causes) LogLine(ctx, "- Fehler: " + ReplaceAll(cause, kCrLf, " / "));
        if (!ctx.run.permissionsLost.empty())
            LogLine(ctx, "- Warnung: Zugriffsrechte der Datendatei nicht wiederhergestellt: " + ctx.run.permissionsLost);
        LogLine(ctx, kSeparatorLine);
        LogLine(ctx, "");
        // Closing reports any write of the run's log that did not reach the file.
        bool written = ctx.run.log && ctx.run.log->Close();
        ctx.run.log.reset();
        if (!written) ctx.run.logFailed = true;
        ctx.trace.OpenAppend();
        ctx.trace.Empty();
        ctx.trace.Label("Action", "Writing results to log file");
        ctx.trace.Result(written ? "OK" : "Error");
        ctx.trace.Close();
    }

    if (ctx.run.runFailed) {
        // Shown in the unattended modes too, like the other failures that stop a run.
        if (!ctx.run.census[1].counted)
            ShowOpenError(ctx, {ctx.run.census[1].openError, ctx.run.census[1].openErrorText});
        Show(ctx, FailureMessage(ctx, causes, storable), ReorgTitle(MsgKind::Error), MsgIcon::Stop);
    } else if (ctx.run.glCountDiff != 0 && ctx.run.glSumBefore != 0) {
        Show(ctx, sizeMessage + msg::kCountsChanged, ReorgTitle(MsgKind::Warning), MsgIcon::Stop);
    } else if (!ctx.Unattended()) {
        std::string incomplete = IncompleteFiles(ctx);
        if (incomplete.empty() && ctx.run.permissionsLost.empty()) {
            Show(ctx, msg::kSuccess + sizeMessage, ReorgTitle(MsgKind::Information), MsgIcon::Information);
        } else {
            std::string text = msg::kDone + sizeMessage;
            if (!incomplete.empty())
                text += std::string(kCrLf) + kCrLf + msg::kNotRecorded + incomplete + kCrLf + kCrLf +
                        msg::kNotRecordedCauses;
            if (!ctx.run.permissionsLost.empty())
                text += std::string(kCrLf) + kCrLf + ReplaceAll(msg::kPermissionsLost, "XXXXX", ctx.run.glDataFile) + ".";
            Show(ctx, text, ReorgTitle(MsgKind::Warning), MsgIcon::Exclamation);
        }
    }

    if (!storable) {
        ctx.trace.OpenAppend();
        ctx.trace.Empty();
        ctx.trace.Label("Action", "Writing results to data file");
        ctx.trace.Result(ctx.run.accessEnd == RunState::AccessEnd::Ended
                             ? "Error | not written: the data file could not be counted"
                             : "Error | not written: the database program did not finish");
        ctx.trace.Close();
    } else {
        OpenDataFile(ctx, false);
        if (ctx.run.glLastOpenError != 0) {
            ctx.run.resultsFailed = true;
            if (!ctx.Unattended())
                Show(ctx, msg::kResultsNotWritten, ReorgTitle(MsgKind::Warning), MsgIcon::Exclamation);
        } else {
            WriteResults(ctx);
        }
    }

    if (ctx.run.runFailed || ctx.run.resultsFailed)
        ctx.run.outcome = RunOutcome::Failed;
    else if (ctx.run.glCountDiff != 0)
        ctx.run.outcome = RunOutcome::CountsChanged;
    else if (!ctx.run.permissionsLost.empty())
        ctx.run.outcome = RunOutcome::PermissionsLost;
    else
        ctx.run.outcome = RunOutcome::Success;
}

// A folder takes files when a file can be made there; a folder not made yet takes them when
// the nearest one above it does.
bool FolderTakesFiles(ReorgContext& ctx, const std::string& wanted) {
    IFiles& files = ctx.platform.files;
    const std::string folder = NearestFolder(ctx, wanted);
    const std::string probe = EnsureTrailingSeparator(folder, ctx.Style()) + ".zqr-schreibtest.tmp";
    std::unique_ptr<ITextFile> file = files.OpenText(probe, false);
    const bool ok = file && file->Close();
    (void)files.Remove(probe);
    return ok;
}

// Before anything is touched: the database program can run here, and every folder the run
// writes to takes files. Each failure has its own message; nothing has changed then.
bool ReadyToStart(ReorgContext& ctx) {
    const PathStyle style = ctx.Style();
    auto fail = [&ctx](const std::string& action, const std::string& text) {
        ctx.trace.Empty();
        ctx.trace.Label("Action", action);
        ctx.trace.Result("Error");
        Show(ctx, text, ReorgTitle(MsgKind::Error), MsgIcon::Stop);
        ctx.trace.Error(ReplaceAll(text, kCrLf, " "));
        ctx.run.outcome = RunOutcome::Failed;
        return false;
    };
    if (style == PathStyle::Windows) {
        std::unique_ptr<IReadFile> exe = ctx.platform.files.OpenRead(ctx.run.glAccessExe);
        const std::optional<std::uint16_t> machine = exe ? PeMachine(*exe) : std::nullopt;
        if (!machine || (*machine != 0x14C && *machine != 0x8664))
            return fail("Check database program: " + ctx.run.glAccessExe,
                        ReplaceAll(msg::kAccessNotAProgram, "XXXXX", ctx.run.glAccessExe));
    }
    std::vector<std::pair<std::string, const char*>> folders{{ctx.program.glProgramFolder, msg::kProgramFolderRole},
                                                             {FolderOfPath(ctx.run.glDataFile, style), msg::kDataFolderRole}};
    const std::string name = BackupName(ctx.platform.clock.Now());
    if (ctx.options.backupBesideData)
        folders.emplace_back(FolderOfPath(BackendCopyPath(ctx.run.glDataFile, name, style), style), msg::kBackupFolderRole);
    if (ctx.options.backupBesideProgram)
        folders.emplace_back(FolderOfPath(FrontendCopyPath(ctx.program.glProgramFolder, name, style), style), msg::kBackupFolderRole);
    for (const auto& [folder, role] : folders) {
        if (FolderTakesFiles(ctx, folder)) continue;
        std::string text = ReplaceAll(msg::kFolderNotWritable, "XXXXX", folder);
        return fail("Check folder can be written: " + folder, ReplaceAll(text, "YYYYY", role));
    }
    return true;
}

}  // namespace

Flow RunCompaction(ReorgContext& ctx) {
    IFiles& files = ctx.platform.files;
    TraceLog& trace = ctx.trace;
    const PathStyle style = ctx.Style();

    ctx.run.glRunCancelled = false;
    ctx.run.glDelayMs = ctx.options.delaySeconds * 1000;

    trace.Empty();
    trace.Section("Start Action");
    trace.Empty();

    trace.Label("Action", "Search for data file: " + ctx.run.glDataFile);
    if (files.Exists(ctx.run.glDataFile, kAnyFile)) {
        ctx.run.glSizeBefore = FileSizeMb(ctx, ctx.run.glDataFile);
        trace.Result("OK | size: " + Mb(ctx, ctx.run.glSizeBefore) + " MB");
    } else {
        trace.Result("Error");
    }

    if (ctx.run.glSettingsAdjusted) {
        trace.Empty();
        trace.Label("Action", "Settings adjusted to Manager and changed to frontend only");
        std::string kopie = ReadOptionBack(ctx.platform.profile, ctx.OptionsFile(), "Sicherungskopie");
        std::string create = ReadOptionBack(ctx.platform.profile, ctx.OptionsFile(), "Speicherort");
        trace.Result(kopie.rfind('F', 0) == 0 && create.rfind('F', 0) == 0 ? "OK" : "Error");
    }

    if (!ReadyToStart(ctx) || !EnoughFreeSpace(ctx)) {
        ctx.run.outcome = RunOutcome::Failed;
        return Flow::End;
    }

    if (ctx.options.backupBesideData || ctx.options.backupBesideProgram) {
        std::int16_t copies = MakeBackupCopies(ctx);
        if (copies == -1) {
            ctx.run.glRunCancelled = true;
            return Flow::Go;
        }
        if (copies == 0) {
            if (ctx.Unattended()) {
                Show(ctx, msg::kNoBackupUnattended, ReorgTitle(MsgKind::Error), MsgIcon::Stop);
                trace.Error(msg::kNoBackupUnattended);
                ctx.run.outcome = RunOutcome::Failed;
                return Flow::End;
            }
            MsgResult answer = Show(ctx, msg::kNoBackupQuestion, ReorgTitle(MsgKind::SafetyQuestion),
                                    MsgIcon::Exclamation, MsgButtons::YesNoCancel, 1);
            if (answer != MsgResult::Yes) {
                ctx.run.glRunCancelled = true;
                return Flow::Go;
            }
        }
    }

    std::string placeWord;
    if (ctx.options.logBesideProgram) {
        ctx.run.glLogFile = EnsureTrailingSeparator(ctx.program.glProgramFolder, style) + kLogFileName;
        placeWord = "in frontend folder: ";
    } else {
        ctx.run.glLogFile = FolderPart(ctx.run.glDataFile, style) + kLogFileName;
        placeWord = "in backend folder: ";
    }

    if (ctx.options.logMode != LogMode::Off) {
        bool append = ctx.options.logMode == LogMode::Append;
        ctx.run.log = files.OpenText(ctx.run.glLogFile, append);
        LogLine(ctx, kSeparatorLine);
        trace.Empty();
        trace.Label("Action", std::string(append ? "Extend" : "Create") + " Log file " + placeWord +
                                  ctx.run.glLogFile);
        // The first line shows whether the log takes what is written to it.
        bool usable = ctx.run.log && !ctx.run.log->Failed() && files.Exists(ctx.run.glLogFile, kAnyFile);
        if (!usable) ctx.run.logFailed = true;
        trace.Result(usable ? "OK" : "Error");
    }
    (void)CountRecords(ctx, 0);
    SavePermissions(ctx);

    std::string workingFile = ctx.run.glDataFile;
    if (ctx.run.glUseLocalCopy && MoveToLocalFolder(ctx)) workingFile = ctx.run.glLocalCopyFile;
    // The size before is that of the file Access is given, taken before Access can touch it;
    // the stamp shows afterwards whether Access wrote the file at all.
    if (files.Exists(workingFile, kAnyFile)) ctx.run.glSizeBefore = FileSizeMb(ctx, workingFile);
    const std::optional<FileStamp> stampBefore = files.Stamp(workingFile);

    ctx.run.glAccessCommand = AccessCommand(ctx.run.glAccessExe, workingFile);

    trace.Empty();
    Delay(ctx);
    trace.Label("Action", "#### Start Reorganisation ####");
    trace.Label("Command", ctx.run.glAccessCommand);
    StartResult started = ctx.platform.processes.Start(ctx.run.glAccessCommand, true, WindowStyle::NormalFocus);
    if (started.ok && started.handle) {
        trace.Result("OK");
        ctx.run.accessProcess = std::move(started.handle);
    } else {
        // Without a process to wait for, nothing shows when or how Access ended.
        ctx.run.accessEnd = RunState::AccessEnd::NotStarted;
        ctx.run.accessStartError = started.ok ? "no process to wait for" : started.error;
        trace.Result("Error");
        trace.Error(ctx.run.accessStartError);
    }
    Delay(ctx);

    trace.Empty();
    trace.Label("Action", "Search for data file: " + ctx.run.glDataFile);
    // Traced as found now; Access may already be at work, so this is not the size before.
    if (files.Exists(ctx.run.glDataFile, kAnyFile))
        trace.Result("OK | size: " + Mb(ctx, FileSizeMb(ctx, ctx.run.glDataFile)) + " MB");
    else
        trace.Result("Error");
    WaitForAccess(ctx);
    if (ctx.run.accessEnd == RunState::AccessEnd::Ended) {
        // An exit code alone proves nothing: only a file written anew was compacted.
        const std::optional<FileStamp> stampAfter = files.Stamp(workingFile);
        ctx.run.dataFileRewritten = !(stampBefore && stampAfter && *stampBefore == *stampAfter);
        if (!ctx.run.dataFileRewritten)
            trace.Error("Data file not rewritten by the database program: " + workingFile);
    }

    return FinishRun(ctx, true);
}

Flow FinishRun(ReorgContext& ctx, bool completed) {
    if (completed)
        Evaluate(ctx);
    else
        ctx.trace.Close();
    if (ctx.run.glOfferManagerRestart && ctx.platform.files.Exists(ctx.program.glManagerExe, kAnyFile)) {
        MsgResult answer = Show(ctx, msg::kRestartManager, ReorgTitle(MsgKind::Question),
                                MsgIcon::Question, MsgButtons::YesNoCancel, 0);
        if (answer == MsgResult::Yes) (void)ctx.platform.processes.Start(QuotedPath(ctx.program.glManagerExe), false, WindowStyle::MinimizedFocus);
    }
    return Flow::End;
}

}  // namespace zq::reorg
