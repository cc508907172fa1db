// Opening the data file and the record census before and after the compaction.
#include <cstdio>
#include <limits>

#include "common/Messages.h"
#include "common/Paths.h"
#include "common/RegistryAccess.h"
#include "reorg/Ablauf.h"
#include "reorg/Meldungen.h"
#include "reorg/frmZQR/frmZQR.h"
#include "reorg/funktionen.h"

namespace zq::reorg {

namespace {

constexpr std::uint32_t kAnyFile = kAttrHidden | kAttrSystem;

}  // namespace

void ShowOpenError(ReorgContext& ctx, const dao::Error& error) {
    const std::string title = ReorgTitle(MsgKind::Error);
    const std::string code = std::to_string(error.number);
    const std::string tail = std::string(kCrLf) + kCrLf + "Fehlercode: " + code;
    switch (error.number) {
        case dao::kErrLockedExclusive:
            Show(ctx, msg::kOpenLocked + tail, title, MsgIcon::Stop);
            break;
        case dao::kErrCannotOpenForWrite:
            Show(ctx, msg::kOpenReadOnly + tail, title, MsgIcon::Stop);
            break;
        case dao::kErrUnrecognisedFormat:
            Show(ctx, msg::kOpenFormat + tail, title, MsgIcon::Stop);
            Show(ctx, msg::kOpenFormatHint, ReorgTitle(MsgKind::Information), MsgIcon::Information);
            break;
        default:
            Show(ctx,
                 msg::kOpenUnknown + std::string(kCrLf) + " [" + ctx.run.glDataFile + "]." + kCrLf +
                     kCrLf + "Fehlermeldung: " + code + " " + error.description,
                 title, MsgIcon::Stop);
    }
}

namespace {

void LogLine(ReorgContext& ctx, const std::string& line) {
    if (ctx.run.log) (void)ctx.run.log->Write(line + kCrLf);  // the log remembers a failed write
}

std::string AtLeastTwoDigits(int n) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d", n);
    return buf;
}

std::int32_t SaturatingAdd(std::int32_t a, long b) {
    long long sum = static_cast<long long>(a) + b;
    if (sum > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(sum);
}

// A trace note from a pass; the trace is closed during the pass after the compaction.
void TraceNote(ReorgContext& ctx, int pass, const std::string& text) {
    bool reopen = pass == 1 && !ctx.trace.IsOpen();
    if (reopen) ctx.trace.OpenAppend();
    ctx.trace.Error(text);
    if (reopen) ctx.trace.Close();
}

// After a database program that failed or was ended, the local copy may hold half a
// compaction whose undo record lies beside it in the local folder only. Opening it there lets
// the engine put it right; a copy the engine cannot open does not go home.
bool LocalCopyUsable(ReorgContext& ctx, int tries) {
    dao::Error error;
    for (int attempt = 0; attempt < tries; ++attempt) {
        error = {};
        std::unique_ptr<dao::Database> db =
            ctx.platform.db ? ctx.platform.db->OpenDatabase(ctx.run.glLocalCopyFile, false, false, ";pwd=", error)
                            : nullptr;
        if (db && !error) {
            (void)db->TableNames();
            db->Close();
            break;
        }
        if (!error) error = {dao::kErrGeneric, "no database engine"};
        if (!dao::IsInUse(error.number)) break;
        ctx.platform.clock.Sleep(1000);
    }
    ctx.trace.OpenAppend();
    ctx.trace.Empty();
    ctx.trace.Label("Action", "Check local data file before moving it back: " + ctx.run.glLocalCopyFile);
    if (!error) {
        ctx.trace.Result("OK");
        ctx.trace.Close();
        return true;
    }
    ctx.trace.Result("Error | " + std::to_string(error.number) + " " + error.description);
    ctx.trace.Result("Data file stays on local drive: " + ctx.run.glLocalCopyFile);
    ctx.trace.Close();
    std::string text = ReplaceAll(msg::kStrandedNotMoved, "XXXXX", ctx.run.glLocalCopyFile);
    Show(ctx, ReplaceAll(text, "YYYYY", ctx.run.glDataFile), ReorgTitle(MsgKind::Error), MsgIcon::Stop);
    return false;
}

void MoveBackFromLocalFolder(ReorgContext& ctx, int tries) {
    IFiles& files = ctx.platform.files;
    const bool accessFinished =
        ctx.run.accessEnd == RunState::AccessEnd::Ended && ctx.run.accessExitCode == 0;
    if (!accessFinished && !LocalCopyUsable(ctx, tries)) return;
    FsStatus moved;
    for (int attempt = 0; attempt < tries; ++attempt) {
        moved = files.Move(ctx.run.glLocalCopyFile, ctx.run.glDataFile);
        if (moved.error != kErrPathFileAccess) break;  // only "still in use" is worth a retry
        ctx.platform.clock.Sleep(1000);
    }
    ctx.trace.OpenAppend();
    ctx.trace.Empty();
    ctx.trace.Label("Action", "Moving data file to initial folder");
    // A move that failed leaves the file in the local folder, whatever lies at home now.
    bool exists = false;
    for (int test = 0; moved.ok() && test < 31; ++test) {
        if (files.Exists(ctx.run.glDataFile, kAnyFile)) {
            exists = true;
            break;
        }
        ctx.platform.clock.Sleep(1000);
    }
    if (exists) {
        ctx.trace.Result("OK");
        ctx.run.workingOnLocalCopy = false;
        RemoveLocalOrigin(ctx);
    } else {
        ctx.trace.Result("Error");
        if (!moved.text.empty()) ctx.trace.Error(moved.text);
        ctx.trace.Result("Data file stays on local drive: " + ctx.run.glLocalCopyFile);
    }
    ctx.trace.Close();
    if (!exists) {
        // The note beside it stays: the next start brings the file home.
        std::string text = ReplaceAll(msg::kStrandedNotMoved, "XXXXX", ctx.run.glLocalCopyFile);
        Show(ctx, ReplaceAll(text, "YYYYY", ctx.run.glDataFile), ReorgTitle(MsgKind::Error), MsgIcon::Stop);
    }
}

}  // namespace

void OpenDataFile(ReorgContext& ctx, bool silent) {
    ctx.run.glLastOpenError = 0;
    CloseDataFiles(ctx);
    if (Trim(ctx.run.glDataFile).empty()) return;
    dao::Error error;
    if (ctx.platform.db)
        ctx.run.db = ctx.platform.db->OpenDatabase(ctx.run.glDataFile, false, false, ";pwd=", error);
    else
        error = {dao::kErrGeneric, "no database engine"};
    if (!error && !ctx.run.db) error = {dao::kErrGeneric, "the data file could not be opened"};
    if (!error) return;
    ctx.run.db.reset();
    ctx.run.glLastOpenError = error.number;
    ctx.run.lastOpenErrorText = error.description;
    if (!silent) ShowOpenError(ctx, error);
}

void CloseDataFiles(ReorgContext& ctx) {
    if (ctx.run.db) ctx.run.db->Close();
    ctx.run.db.reset();
}

std::int32_t CountRecords(ReorgContext& ctx, int pass) {
    const int w = pass == 1 ? ctx.options.censusExtraSeconds : 0;
    const int tries = 30 + w + 1;

    if (pass == 1 && ctx.run.glUseLocalCopy && ctx.run.workingOnLocalCopy) MoveBackFromLocalFolder(ctx, tries);

    for (int attempt = 0; attempt < tries; ++attempt) {
        OpenDataFile(ctx, true);
        // Only a file still in use is worth a wait; no other error goes away by waiting.
        if (ctx.run.glLastOpenError == 0 || !dao::IsInUse(ctx.run.glLastOpenError)) break;
        (void)LetInputThrough(ctx);  // a run keeps its window
        if (attempt + 1 < tries) ctx.platform.clock.Sleep(1000);
    }
    RunState::Census& census = ctx.run.census[pass == 0 ? 0 : 1];
    census = {};
    if (ctx.run.glLastOpenError != 0) {
        census.openError = ctx.run.glLastOpenError;
        census.openErrorText = ctx.run.lastOpenErrorText;
        TraceNote(ctx, pass,
                  std::string("Records not counted ") + (pass == 0 ? "before" : "after") +
                      ", data file not opened: " + std::to_string(ctx.run.glLastOpenError) + " " +
                      ctx.run.lastOpenErrorText);
        return 0;
    }

    IClock& clock = ctx.platform.clock;
    std::int32_t& sum = pass == 0 ? ctx.run.glSumBefore : ctx.run.glSumAfter;
    if (pass == 0) {
        LogLine(ctx, "- Datum/Zeit: " + clock.FormatGeneral(clock.Now()));
        LogLine(ctx, "- Datendatei: " + ctx.run.glDataFile);
        LogLine(ctx, "- Version: " + ctx.program.glVersionText);
        LogLine(ctx, "");
    }
    LogLine(ctx, std::string("---- Start: Anzahl Datensätze relevanter Tabellen ") +
                     (pass == 0 ? "VOR Reorg" : "NACH Reorg"));

    int number = 0;
    for (const std::string& table : ctx.run.db->TableNames()) {
        if (pass == 0 && ctx.run.glTablesSeen < std::numeric_limits<std::int16_t>::max()) ++ctx.run.glTablesSeen;
        if (!TableCounts(ctx.options.tabCode, table)) continue;
        if (IsPrefixFilter(ctx.options.tabCode) &&
            ctx.run.glTablesMatching < std::numeric_limits<std::int16_t>::max())
            ++ctx.run.glTablesMatching;
        dao::Error error;
        // A name that holds "]" cannot be bracketed; the engine takes the bare table name.
        std::string source =
            table.find(']') == std::string::npos ? "select * from [" + table + "]" : table;
        std::unique_ptr<dao::Recordset> rs = ctx.run.db->OpenRecordset(source, dao::RecordsetType::Snapshot, error);
        long count = -1;
        if (!error && rs) {
            count = rs->RecordCount();
            if (count > 0) {
                rs->MoveLast();
                count = rs->RecordCount();
            }
            rs->Close();
        }
        if (error || !rs || count < 0) {
            // Its records are unknown, so the sums cannot tell whether records were lost.
            census.uncounted.push_back(table);
            TraceNote(ctx, pass, "Table not counted: [" + table + "] " + error.description);
            LogLine(ctx, clock.FormatGeneral(clock.Now()) + " / Tabelle nicht gezählt : [" + table +
                             "] / Anzahl DS: unbekannt" +
                             (error.description.empty() ? "" : " (" + error.description + ")"));
            continue;
        }
        if (count == 0) continue;
        sum = SaturatingAdd(sum, count);
        ++number;
        LogLine(ctx, clock.FormatGeneral(clock.Now()) + " / Tabelle " + AtLeastTwoDigits(number) +
                         " : [" + table + "] / Anzahl DS: " + std::to_string(count));
    }
    LogLine(ctx, "---- Ende: Summe Datensätze " + std::to_string(sum));
    LogLine(ctx, "");
    CloseDataFiles(ctx);
    census.counted = true;
    return sum;
}

}  // namespace zq::reorg
