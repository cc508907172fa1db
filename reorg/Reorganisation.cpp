// Compaction by Access, the evaluation of the run and the end of the program.
#include <limits>

#include "common/Messages.h"
#include "common/Paths.h"
#include "reorg/Ablauf.h"
#include "reorg/IniDatei.h"
#include "reorg/Meldungen.h"
#include "reorg/frmZQR/ReorgView.h"
#include "reorg/funktionen.h"

namespace zq::reorg {

namespace {

constexpr std::uint32_t kAnyFile = kAttrHidden | kAttrSystem;
const std::string kSeparatorLine(89, '-');

std::string Mb(ReorgContext& ctx, double value) { return ctx.platform.clock.FormatOneDecimal(value); }

void LogLine(ReorgContext& ctx, const std::string& line) {
    if (ctx.log) ctx.log->Write(line + kCrLf);
}

void Delay(ReorgContext& ctx) {
    ctx.trace.Label("Delay", std::to_string(ctx.glDelayMs / 1000));
    ctx.platform.clock.Sleep(ctx.glDelayMs);
}

// Access must have let go of the file before it is counted and measured again: keep the
// process and wait for its end, with a visible sign and a generous bound.
void WaitForAccess(ReorgContext& ctx) {
    if (!ctx.accessProcess) return;
    IReorgView& view = ctx.view;
    ctx.trace.Empty();
    ctx.trace.Label("Action", "Waiting for Access to finish");
    std::string sign = msg::kWaitingForAccess;
    view.ShowBusy(sign);
    const std::int64_t start = ctx.platform.clock.TickMs();
    bool ended = false;
    while (!(ended = ctx.accessProcess->Wait(1000))) {
        view.ProcessPendingInput();
        if (ctx.platform.clock.TickMs() - start >= ctx.accessWaitBoundMs) break;
        sign += ".";
        if (sign.size() > 80) sign = msg::kWaitingForAccess;
        view.ShowBusy(sign);
    }
    view.ShowBusy("");
    if (!ended) {
        ctx.accessFailed = true;
        ctx.trace.Result("Error | still running after " +
                         std::to_string((ctx.platform.clock.TickMs() - start) / 1000) + " s");
        return;
    }
    int code = ctx.accessProcess->ExitCode();
    if (code != 0) ctx.accessFailed = true;
    ctx.trace.Result(std::string(code == 0 ? "OK" : "Error") + " | exit code " + std::to_string(code));
    ctx.accessProcess.reset();
}

std::int32_t Difference(std::int32_t after, std::int32_t before) {
    long long d = static_cast<long long>(after) - before;
    if (d > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
    if (d < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(d);
}

void Evaluate(ReorgContext& ctx) {
    ctx.trace.Close();
    (void)CountRecords(ctx, 1);

    IFiles& files = ctx.platform.files;
    ctx.glSizeAfter = files.Exists(ctx.glDataFile, kAnyFile) ? FileSizeMb(ctx, ctx.glDataFile) : 0;
    if (ctx.glSizeAfter != 0) ctx.glSizeDiff = ctx.glSizeBefore - ctx.glSizeAfter;

    ctx.glCountDiff = Difference(ctx.glSumAfter, ctx.glSumBefore);
    std::string suffix;
    if (ctx.glCountDiff == 0) {
        ctx.glResultFlag = -1;
        ctx.glResultCount = ctx.glSumAfter;
    } else {
        ctx.glResultFlag = 1;
        ctx.glResultCount = ctx.glCountDiff;
        suffix = "-- ACHTUNG!!! --";
    }

    std::string sizeMessage;
    if (ctx.glSizeAfter != 0) {
        if (ctx.glSizeDiff == 0) {
            sizeMessage = ReplaceAll(msg::kSizeUnchanged, "XXXXX", Mb(ctx, ctx.glSizeAfter));
        } else {
            sizeMessage = ReplaceAll(msg::kSizeChanged, "XXXXX", Mb(ctx, ctx.glSizeBefore));
            sizeMessage = ReplaceAll(sizeMessage, "YYYYY", Mb(ctx, ctx.glSizeAfter));
        }
    }

    if (ctx.options.log != "X") {
        ctx.trace.OpenAppend();
        ctx.trace.Empty();
        ctx.trace.Label("Action", "Writing results to log file");
        ctx.trace.Result("OK");
        ctx.trace.Close();
        std::string beforeText = std::to_string(ctx.glSumBefore);
        std::string diffText = std::to_string(ctx.glCountDiff);
        if (ctx.glSumBefore == 0) {
            beforeText = "(konnte nicht ermittelt werden)";
            diffText = "unbekannt";
            if (ctx.glTablesMatching == 0 && ctx.glTablesSeen > 0)
                beforeText = "(keine Tabellen mit Codierung '" + ctx.options.tabCode + "' gefunden)";
        }
        LogLine(ctx, "---- Ergebnis: " + suffix);
        LogLine(ctx, "- Größe Datendatei: vorher " + Mb(ctx, ctx.glSizeBefore) + " MB" + " / nachher " +
                         Mb(ctx, ctx.glSizeAfter) + " MB / Differenz " + Mb(ctx, ctx.glSizeDiff) + " MB");
        LogLine(ctx, "- Anzahl Datensätze: vorher " + beforeText + " / nachher " +
                         std::to_string(ctx.glSumAfter) + " / Differenz " + diffText);
        LogLine(ctx, kSeparatorLine);
        LogLine(ctx, "");
        if (ctx.log) ctx.log->Close();
        ctx.log.reset();
    }

    if (ctx.glCountDiff != 0 && ctx.glSumBefore != 0) {
        Show(ctx, sizeMessage + msg::kCountsChanged, ReorgTitle(MsgKind::Warning), MsgIcon::Stop);
    } else if (!ctx.Unattended()) {
        Show(ctx, msg::kSuccess + sizeMessage, ReorgTitle(MsgKind::Information), MsgIcon::Information);
    }

    OpenDataFile(ctx, false);
    if (ctx.glLastOpenError != 0) {
        ctx.resultsFailed = true;
        if (!ctx.Unattended())
            Show(ctx, msg::kResultsNotWritten, ReorgTitle(MsgKind::Warning), MsgIcon::Exclamation);
    } else {
        WriteResults(ctx);
    }

    if (ctx.glCountDiff != 0)
        ctx.exitCode = kExitCountsChanged;
    else if (ctx.accessFailed || ctx.censusFailed || ctx.resultsFailed)
        ctx.exitCode = kExitFailed;
    else
        ctx.exitCode = kExitSuccess;
}

}  // namespace

Flow RunCompaction(ReorgContext& ctx) {
    IFiles& files = ctx.platform.files;
    TraceLog& trace = ctx.trace;
    const PathStyle style = ctx.Style();

    ctx.glRunCancelled = false;
    ctx.glDelayMs = DelaySeconds(ctx.options.sleep) * 1000;

    trace.Empty();
    trace.Section("Start Action");
    trace.Empty();

    trace.Label("Action", "Search for data file: " + ctx.glDataFile);
    if (files.Exists(ctx.glDataFile, kAnyFile)) {
        ctx.glSizeBefore = FileSizeMb(ctx, ctx.glDataFile);
        trace.Result("OK | size: " + Mb(ctx, ctx.glSizeBefore) + " MB");
    } else {
        trace.Result("Error");
    }

    if (ctx.glSettingsAdjusted) {
        trace.Empty();
        trace.Label("Action", "Settings adjusted to Manager and changed to frontend only");
        std::string kopie = ReadOptionBack(ctx.platform.profile, ctx.OptionsFile(), "Sicherungskopie");
        std::string create = ReadOptionBack(ctx.platform.profile, ctx.OptionsFile(), "Speicherort");
        trace.Result(kopie.rfind('F', 0) == 0 && create.rfind('F', 0) == 0 ? "OK" : "Error");
    }

    const std::string& kopie = ctx.options.kopie;
    if (kopie.find('B') != std::string::npos || kopie.find('F') != std::string::npos) {
        std::int16_t copies = MakeBackupCopies(ctx);
        if (copies == -1) {
            ctx.glRunCancelled = true;
            return Flow::Go;
        }
        if (copies == 0) {
            if (ctx.Unattended()) {
                Show(ctx, msg::kNoBackupUnattended, ReorgTitle(MsgKind::Error), MsgIcon::Stop);
                trace.Error(msg::kNoBackupUnattended);
                ctx.exitCode = kExitFailed;
                return Flow::End;
            }
            MsgResult answer = Show(ctx, msg::kNoBackupQuestion, ReorgTitle(MsgKind::SafetyQuestion),
                                    MsgIcon::Exclamation, MsgButtons::YesNoCancel, 1);
            if (answer != MsgResult::Yes) {
                ctx.glRunCancelled = true;
                return Flow::Go;
            }
        }
    }

    std::string placeWord;
    if (ctx.options.create == "F") {
        ctx.glLogFile = EnsureTrailingSeparator(ctx.glProgramFolder, style) + kLogFileName;
        placeWord = "in frontend folder: ";
    } else {
        ctx.glLogFile = FolderPart(ctx.glDataFile, style) + kLogFileName;
        placeWord = "in backend folder: ";
    }

    if (ctx.options.log != "X") {
        bool append = ctx.options.log == "A";
        ctx.log = files.OpenText(ctx.glLogFile, append);
        trace.Empty();
        trace.Label("Action", std::string(append ? "Extend" : "Create") + " Log file " + placeWord +
                                  ctx.glLogFile);
        trace.Result(ctx.log && files.Exists(ctx.glLogFile, kAnyFile) ? "OK" : "Error");
        LogLine(ctx, kSeparatorLine);
    }
    (void)CountRecords(ctx, 0);

    std::string workingFile = ctx.glDataFile;
    if (ctx.glUseLocalCopy) {
        FsStatus moved = files.Move(ctx.glDataFile, ctx.glLocalCopyFile);
        trace.Empty();
        trace.Label("Action", "Moving data file to local folder");
        if (moved.ok() && files.Exists(ctx.glLocalCopyFile, kAnyFile)) {
            trace.Result("OK");
            workingFile = ctx.glLocalCopyFile;
            ctx.workingOnLocalCopy = true;
        } else {
            trace.Result("Error");
        }
    }

    ctx.glAccessCommand = AccessCommand(ctx.glAccessExe, workingFile);

    trace.Empty();
    Delay(ctx);
    trace.Label("Action", "#### Start Reorganisation ####");
    trace.Label("Command", ctx.glAccessCommand);
    StartResult started = ctx.platform.processes.Start(ctx.glAccessCommand, true);
    if (started.ok) {
        trace.Result("OK");
        ctx.accessProcess = std::move(started.handle);
    } else {
        ctx.accessFailed = true;
        trace.Result("Error");
        trace.Error(started.error);
    }
    Delay(ctx);

    trace.Empty();
    trace.Label("Action", "Search for data file: " + ctx.glDataFile);
    if (files.Exists(ctx.glDataFile, kAnyFile)) {
        ctx.glSizeBefore = FileSizeMb(ctx, ctx.glDataFile);
        trace.Result("OK | size: " + Mb(ctx, ctx.glSizeBefore) + " MB");
    } else {
        trace.Result("Error");
    }
    WaitForAccess(ctx);

    return FinishRun(ctx, true);
}

Flow FinishRun(ReorgContext& ctx, bool completed) {
    if (completed)
        Evaluate(ctx);
    else
        ctx.trace.Close();
    if (ctx.glOfferManagerRestart && ctx.platform.files.Exists(ctx.glManagerExe, kAnyFile)) {
        MsgResult answer = Show(ctx, msg::kRestartManager, ReorgTitle(MsgKind::Question),
                                MsgIcon::Question, MsgButtons::YesNoCancel, 0);
        if (answer == MsgResult::Yes) (void)ctx.platform.processes.Start(QuotedPath(ctx.glManagerExe), false);
    }
    return Flow::End;
}

}  // namespace zq::reorg
