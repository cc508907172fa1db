#include "reorg/Ablauf.h"

#include "common/Messages.h"
#include "common/Paths.h"
#include "common/StagedFile.h"
#include "common/RegistryAccess.h"
#include "reorg/IniDatei.h"
#include "reorg/Meldungen.h"
#include "reorg/frmZQR/frmZQR.h"
#include "reorg/funktionen.h"

namespace zq::reorg {

namespace {

constexpr std::uint32_t kAnyFile = kAttrHidden | kAttrSystem;  // read-only files always match

void WriteHeader(ReorgContext& ctx) {
    TraceLog& t = ctx.trace;
    t.Section("Globals");
    t.Label("Date/Time", ctx.platform.clock.FormatGeneral(ctx.platform.clock.Now()));
    t.Label("ZQR.exe Version", ctx.program.glVersionText);
    t.Label("glcAccExe", kAccessExeName);
    t.Label("glcZQdataFile", kDataFileName);
    t.Label("glcZQRiniFile", kOptionsFileName);
    t.Label("glcZQMiniFile", kManagerIniName);
    t.Label("glcRegHKey", "HKEY_LOCAL_MACHINE");
    t.Label("glRegPathAccVar", ctx.access.regPathAccVar);
    t.Label("glRegPathAccVarRT", ctx.access.regPathAccVarRT);
    t.Label("glcRegKeyStandard", "");
    t.Label("glcRegKeyAccVar", "Path");
    t.Section("Parameter");
    t.Label("glStartParm", ctx.program.glStartParm);
    t.Section("Ini File Options");
    t.Label("glcIniKopie", ctx.options.kopie);
    t.Label("glcIniCreate", ctx.options.create);
    t.Label("glcIniLog", ctx.options.log);
    t.Label("glcIniSleep", ctx.options.sleep);
    t.Label("glcIniTabCode", ctx.options.tabCode);
    t.Label("glcIniMaxFiles", ctx.options.maxFiles);
    ReportReorgConfig(ctx.platform.files, t, ctx.program.glManagerIniFile, ctx.access);
}

std::string LocalOriginFile(ReorgContext& ctx) {
    return EnsureTrailingSeparator(ctx.platform.env.LocalUpdateFolder(), ctx.Style()) + kLocalOriginName;
}

// One reorganisation per data file: false when another process is reorganising it.
bool TakeRunLock(ReorgContext& ctx, const std::string& dataFile) {
    ctx.run.runLock.reset();
    const std::string path = RunLockFileName(dataFile);
    FsStatus status;
    ctx.run.runLock = ctx.platform.files.TryLock(path, status);
    if (ctx.run.runLock) return true;
    ctx.trace.Label("Check Run Lock", path);
    if (status.error == kErrPathFileAccess) {
        ctx.trace.Result("Error | In use by another reorganisation");
        return false;
    }
    // Nobody can make the lock file there (a folder without write permission): the run
    // goes on and meets the real obstacle later, with its own message.
    ctx.trace.Result("Error | " + status.text + " | going on without run lock");
    return true;
}

// A data file that an interrupted run left in the local working folder goes home before
// anything else happens; one that finds another data file at home stays and is named.
void BringHomeStrandedDataFile(ReorgContext& ctx) {
    IFiles& files = ctx.platform.files;
    const std::string origin = LocalOriginFile(ctx);
    if (!files.Exists(origin, kAnyFile)) return;
    const std::string folder = ctx.platform.env.LocalUpdateFolder();
    const std::string local = EnsureTrailingSeparator(folder, ctx.Style()) + kLocalCopyName;
    TraceLog& t = ctx.trace;
    t.Section("Check Local Data File");
    t.Label("Action", "Search for data file of an interrupted run: " + local);
    // A note in a folder that others can write is nobody's word.
    if (FsStatus own = files.MakePrivateFolder(folder); !own.ok()) {
        t.Result("Error | " + own.text);
        return;
    }
    (void)RemoveLeftoverTemporaries(files, ctx.Style(), folder);  // a move across drives cut off by the kill
    if (!files.Exists(local, kAnyFile)) {
        (void)files.Remove(origin);  // the run ended before the move or after the move back
        t.Result("OK | Not found");
        return;
    }
    std::optional<std::string> note = files.ReadAll(origin, 64 * 1024);
    const std::string home = note ? OriginPath(*note) : "";
    auto tellNotMoved = [&] {
        t.Result("Data file stays on local drive: " + local);
        std::string text = ReplaceAll(msg::kStrandedNotMoved, "XXXXX", local);
        text = ReplaceAll(text, "YYYYY", home.empty() ? msg::kOriginUnknown : home);
        Show(ctx, text, ReorgTitle(MsgKind::Error), MsgIcon::Stop);
    };
    if (home.empty()) {
        t.Result("Error | Initial folder unknown: " + origin);
        tellNotMoved();
        return;
    }
    FsStatus status;
    std::unique_ptr<IFileLock> lock = files.TryLock(RunLockFileName(home), status);
    if (!lock && status.error == kErrPathFileAccess) {
        t.Result("OK | In use by a running reorganisation of " + home);
        return;
    }
    t.Result("Found | belongs to " + home);
    t.Label("Action", "Moving data file to initial folder");
    if (files.Exists(home, kAnyFile)) {
        t.Result("Error | A data file is already there: " + home);
        t.Result("Data file stays on local drive: " + local);
        std::string text = ReplaceAll(msg::kStrandedKept, "XXXXX", local);
        Show(ctx, ReplaceAll(text, "YYYYY", home), ReorgTitle(MsgKind::Warning), MsgIcon::Exclamation);
        return;
    }
    FsStatus moved;
    for (int attempt = 0; attempt < 10; ++attempt) {
        moved = files.Move(local, home);
        if (moved.error != kErrPathFileAccess) break;  // only "still in use" is worth a wait
        ctx.platform.clock.Sleep(1000);
    }
    if (moved.ok() && files.Exists(home, kAnyFile)) {
        (void)files.Remove(origin);
        t.Result("OK");
        return;
    }
    t.Result("Error | " + moved.text);
    tellNotMoved();
}

// No usable data file in an unattended or Manager start.
Flow GiveUp(ReorgContext& ctx) {
    std::string message = AbortMessage(ctx.run.glDataFile);
    Show(ctx, message, kReorgDefaultTitle, MsgIcon::Exclamation);
    ctx.trace.Empty();
    ctx.trace.Error(" " + message);
    ctx.run.outcome = RunOutcome::Aborted;
    return FinishRun(ctx, false);
}

Flow ManagerStart(ReorgContext& ctx, IReorgEvents& window) {
    IFiles& files = ctx.platform.files;
    if (!files.Exists(ctx.run.glDataFile, kAnyFile) || !TakeRunLock(ctx, ctx.run.glDataFile)) return GiveUp(ctx);
    ctx.run.glStartedByManager = true;
    if (ctx.view.Show(window) == Flow::End) return Flow::End;
    IReorgView& view = ctx.view;
    view.SetVisible(Control::lblFortschritt, true);

    Flow flow = Flow::Go;
    std::string lock = LockFileName(ctx, ctx.run.glDataFile, flow);
    if (flow == Flow::End) return flow;
    bool ready = !files.Exists(lock, kAnyFile);
    if (!ready) {
        std::string progress = msg::kProgressChecking;
        view.SetEnabled(Control::cmdReorg, false);
        for (int round = 0; round < 20; ++round) {
            progress += ".";
            view.SetText(Control::lblFortschritt, progress);
            if (!files.Exists(lock, kAnyFile)) {
                ready = true;
                break;
            }
            ctx.trace.Result("OK | Found | Deleted");
            (void)files.Remove(lock);  // still held by Access: the next round tries again
            if (LetInputThrough(ctx) == Flow::End) return Flow::End;  // closed meanwhile
            ctx.platform.clock.Sleep(500);
        }
    }
    if (ready) {
        view.SetEnabled(Control::cmdReorg, true);
        view.SetText(Control::lblFortschritt, msg::kProgressReady);
        view.SetAlignment(Control::lblFortschritt, Alignment::Right);
    }
    if (!view.IsEnabled(Control::cmdReorg)) {
        view.SetAlignment(Control::lblFortschritt, Alignment::Right);
        view.SetText(Control::lblFortschritt, msg::kProgressNotReady);
        ctx.run.outcome = RunOutcome::Aborted;  // if the user closes the window now, nothing was done
        ctx.run.runLock.reset();          // an idle window keeps nobody else off the file
        return Flow::Go;
    }
    ctx.run.glOfferManagerRestart = true;
    ctx.run.runInProgress = true;
    flow = RunReorganisation(ctx);
    ctx.run.runInProgress = false;
    return flow;
}

// The traces of earlier runs move on, so a failed night is still there in the morning:
// ZQR_Reorg_Trace.txt becomes .1.txt, .1 becomes .2, ... up to "TraceAnzahl".
void RotateTraces(ReorgContext& ctx) {
    IFiles& files = ctx.platform.files;
    const std::string current = ctx.trace.Path();
    const std::string stem = current.substr(0, current.size() - 4);  // without ".txt"
    auto numbered = [&](int n) { return stem + "." + std::to_string(n) + ".txt"; };
    const int keep = ctx.options.traceCount;
    if (keep <= 0 || !files.Exists(current, kAnyFile)) return;
    (void)files.Remove(numbered(keep));
    for (int n = keep - 1; n >= 1; --n)
        if (files.Exists(numbered(n), kAnyFile)) (void)files.Move(numbered(n), numbered(n + 1));
    (void)files.Move(current, numbered(1));
}

// "/AUTORUN" and "/DATEI": the data file checked, then the run.
Flow RunUnattended(ReorgContext& ctx, bool autorun) {
    Flow flow = Flow::Go;
    const bool empty = Trim(ctx.run.glDataFile).empty();
    const bool usable = CheckDataFile(ctx, ctx.run.glDataFile, flow);
    if (flow == Flow::End) return flow;
    if ((autorun && empty) || !usable || !TakeRunLock(ctx, ctx.run.glDataFile)) return GiveUp(ctx);
    flow = RunReorganisation(ctx);
    if (flow == Flow::Go) {
        // Only the Manager-settings question returns, and it is never asked unattended.
        ctx.trace.Close();
        flow = Flow::End;
    }
    return flow;
}

// "/LISTE": each data file of the list as "/DATEI" would do it, one after another, each with
// its own backups, log, result records and run lock; the trace follows them all and ends with
// a line per file, and the exit code is the worst of them.
Flow RunList(ReorgContext& ctx, const std::string& listFile) {
    TraceLog& t = ctx.trace;
    ctx.run.unattended = true;
    t.Empty();
    t.Section("Check List File");
    t.Label("Check List File", listFile);
    std::optional<std::string> text;
    if (!Trim(listFile).empty()) text = ctx.platform.files.ReadAll(listFile, 1024 * 1024);
    const std::vector<std::string> dataFiles = text ? ListedDataFiles(*text) : std::vector<std::string>{};
    if (dataFiles.empty()) {
        t.Result(text ? "Error | no data file listed" : "Error | not found or not readable");
        Show(ctx, ReplaceAll(msg::kListUnusable, "XXXXX", listFile), kReorgDefaultTitle, MsgIcon::Exclamation);
        ctx.run.outcome = RunOutcome::Aborted;
        Flow flow = FinishRun(ctx, false);
        ReportToSystemLog(ctx);
        return flow;
    }
    t.Result("OK | " + std::to_string(dataFiles.size()) + " data files");
    t.Close();

    RunOutcome worst = RunOutcome::Success;
    std::vector<std::string> lines;
    for (const std::string& dataFile : dataFiles) {
        ReorgContext one(ctx.platform, ctx.view, "/DATEI " + dataFile);
        one.run.traceAppends = true;
        FrmZQR window(one);
        (void)StartUp(one, window);
        one.trace.Close();
        const RunOutcome outcome = one.FinalOutcome();
        worst = WorstOutcome(worst, outcome);
        lines.push_back(std::to_string(ExitCode(outcome)) + " | " + msg::OutcomeText(outcome) + " | " + dataFile);
    }

    t.OpenAppend();
    t.Empty();
    t.Section("List Summary");
    for (const std::string& line : lines) t.Label("Data File", line);
    t.Label("Exit Code", std::to_string(ExitCode(worst)));
    t.Close();
    ctx.run.outcome = worst;
    std::string summary = "ZEQUORA Reorganisation der Liste " + listFile + ": Rückgabewert " +
                          std::to_string(ctx.FinalExitCode()) + "\n";
    for (const std::string& line : lines) summary += line + "\n";
    WriteSystemLog(ctx, summary);
    return Flow::End;
}

}  // namespace

int RunReorganiser(Platform& platform, IReorgView& view, std::string commandLine) {
    ApplyDesign(view);
    ReorgContext ctx(platform, view, std::move(commandLine));
    FrmZQR window(ctx);
    if (StartUp(ctx, window) == Flow::Go) view.Run(window);
    ctx.trace.Close();
    return ctx.FinalExitCode();
}

ProgramValues ProgramValues::Of(Platform& platform, std::string startParm) {
    IEnvironment& env = platform.env;
    const PathStyle style = env.Style();
    ProgramValues v;
    v.glStartParm = std::move(startParm);
    v.glProductName = kProductName;
    const std::string programPath = env.ProgramPath();
    v.glProgramFolder = ProgramFolder(env);
    std::string exe = FilePart(programPath, style);
    if (exe.empty()) exe = programPath;
    const std::size_t dot = exe.rfind('.');
    v.glExeName = dot == std::string::npos || dot == 0 ? exe : exe.substr(0, dot);
    v.glVersionText = std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) + "." +
                      std::to_string(kVersionRevision);
    v.glWindowTitle = v.glProductName + " " + std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor);
    const std::string folder = EnsureTrailingSeparator(v.glProgramFolder, style);
    v.glTraceFile = folder + kTraceFileName;
    v.glManagerIniFile = folder + kManagerIniName;
    v.glManagerExe = folder + kManagerExeName;
    // On Linux the start program has no extension: take it when only that file is there.
    const std::string plain = folder + "zqm";
    if (!platform.files.Exists(v.glManagerExe, kAnyFile) && platform.files.Exists(plain, kAnyFile))
        v.glManagerExe = plain;
    return v;
}

ReorgContext::ReorgContext(Platform& p, IReorgView& v, std::string startParm)
    : ReorgContext(p, v, ProgramValues::Of(p, std::move(startParm))) {}

ReorgContext::ReorgContext(Platform& p, IReorgView& v, ProgramValues values)
    : platform(p), view(v), trace(p.files, values.glTraceFile, kReorgLabelWidth), program(std::move(values)) {}

std::string ReorgContext::OptionsFile() const {
    return EnsureTrailingSeparator(program.glProgramFolder, Style()) + kOptionsFileName;
}

MsgResult Show(ReorgContext& ctx, const std::string& text, const std::string& title, MsgIcon icon,
               MsgButtons buttons, int defaultButton) {
    if (!ctx.run.quietBoxes) return ctx.platform.dialogs.ShowMessage(text, title, icon, buttons, defaultButton);
    // Nobody could answer: the message is kept where an administrator looks, and the answer
    // that touches least is taken (OK; No to a question).
    std::string line;
    for (char c : text) {
        if (c == '\r') continue;
        line += c == '\n' ? ' ' : c;
    }
    line = title + ": " + line;
    const bool reopen = !ctx.trace.IsOpen();
    if (reopen) ctx.trace.OpenAppend();
    ctx.trace.Label("Message", line);
    if (reopen) ctx.trace.Close();
    if (ctx.run.log) (void)ctx.run.log->Write("- Meldung: " + line + kCrLf);
    ctx.run.quietMessages.push_back(line);
    return buttons == MsgButtons::Ok ? MsgResult::Ok : MsgResult::No;
}

void WriteSystemLog(ReorgContext& ctx, const std::string& text) {
    if (ctx.platform.systemLog == nullptr) return;
    const RunOutcome outcome = ctx.FinalOutcome();
    SystemLogLevel level = SystemLogLevel::Information;
    if (outcome == RunOutcome::Aborted || outcome == RunOutcome::NotRecorded ||
        outcome == RunOutcome::PermissionsLost)
        level = SystemLogLevel::Warning;
    if (outcome == RunOutcome::Failed || outcome == RunOutcome::CountsChanged) level = SystemLogLevel::Error;
    // Not being able to write the entry never fails the run.
    (void)ctx.platform.systemLog->Write(ctx.program.glExeName.empty() ? "ZQR" : ctx.program.glExeName, level,
                                        ExitCode(outcome), text);
}

void ReportToSystemLog(ReorgContext& ctx) {
    const RunOutcome outcome = ctx.FinalOutcome();
    auto mb = [&ctx](double value) { return ctx.platform.clock.FormatOneDecimal(value); };
    std::string text = std::string(msg::OutcomeText(outcome)) + "\n" + "Datendatei: " + ctx.run.glDataFile +
                       "\n" + "Rückgabewert: " + std::to_string(ExitCode(outcome)) + "\n";
    if (ctx.run.accessEnd != RunState::AccessEnd::NotRun) {
        text += "Größe: vorher " + mb(ctx.run.glSizeBefore) + " MB / nachher " + mb(ctx.run.glSizeAfter) + " MB\n";
        text += "Datensätze: vorher " + std::to_string(ctx.run.glSumBefore) + " / nachher " +
                std::to_string(ctx.run.glSumAfter) + "\n";
    }
    text += "Trace-Datei: " + ctx.trace.Path() + "\n";
    if (!ctx.run.glLogFile.empty() && ctx.options.logMode != LogMode::Off) text += "Log-Datei: " + ctx.run.glLogFile + "\n";
    for (const std::string& message : ctx.run.quietMessages) text += "Meldung: " + message + "\n";
    WriteSystemLog(ctx, text);
}

double FileSizeMb(ReorgContext& ctx, const std::string& path) {
    std::int64_t bytes = ctx.platform.files.Size(path);
    if (bytes <= 0) return 0;
    return static_cast<double>(bytes) / 1024.0 / 1024.0;
}

void LoadLastDataFile(ReorgContext& ctx) {
    ctx.run.glDataFile = GetSetting(ctx.platform.registry, ctx.program.glProductName, "Settings", "01", "");
}

void SaveLastDataFile(ReorgContext& ctx) {
    SaveSetting(ctx.platform.registry, ctx.program.glProductName, "Settings", "01", ctx.run.glDataFile);
}

std::string LockFileName(ReorgContext& ctx, const std::string& path, Flow& flow) {
    std::string firstRule;
    std::optional<std::string> name = LockFileNameOf(path, ctx.Style(), &firstRule);
    ctx.trace.Section("Check Conditions");
    ctx.trace.Label("Check Lock File", firstRule);
    if (!name) {
        ctx.trace.Result("Error");
        Show(ctx, msg::kLibrariesMissing, ReorgTitle(MsgKind::Error), MsgIcon::Stop);
        ctx.run.outcome = RunOutcome::Failed;
        flow = Flow::End;
        return "";
    }
    if (!ctx.platform.files.Exists(*name, kAnyFile)) ctx.trace.Result("OK | Not found");
    return *name;
}

bool CheckDataFile(ReorgContext& ctx, const std::string& path, Flow& flow) {
    IFiles& files = ctx.platform.files;
    int error = 0;
    bool exists = files.Exists(path, kAnyFile, &error);
    if (error == kErrBadFileName) {
        std::string text = "Laufzeitfehler: " + std::to_string(error) + kCrLf + kCrLf +
                           "Die angegebene ZEQUORA Datendatei wurde nicht gefunden." + kCrLf +
                           "Bitte prüfen Sie Einstellungen, Berechtigungen und Verfügbarkeit." +
                           kCrLf + kCrLf + "Angegebene Datendatei: " + path + kCrLf;
        Show(ctx, text, ReorgTitle(MsgKind::Error), MsgIcon::Stop);
        ctx.run.glFileCheckMessageShown = true;
        return false;
    }
    // A missing file needs no lock-file test (an empty path would only fail to give a name).
    if (!exists) return false;
    std::string lock = LockFileName(ctx, path, flow);
    if (flow == Flow::End) return false;
    if (files.Exists(lock, kAnyFile)) {
        ctx.trace.Result("OK | Found | Deleted");
        (void)files.Remove(lock);
        if (files.Exists(lock, kAnyFile)) return false;
    }
    return true;
}

Flow StartUp(ReorgContext& ctx, IReorgEvents& window) {
    IEnvironment& env = ctx.platform.env;
    const PathStyle style = ctx.Style();

    LoadLastDataFile(ctx);
    WriteDefaultOptions(ctx);
    ReadOptions(ctx);
    const ParsedCommandLine parsed = ParseCommandLine(ctx.program.glStartParm);
    const bool unattended = parsed.mode == StartMode::Autorun || parsed.mode == StartMode::Datei ||
                            parsed.mode == StartMode::Liste;
    ctx.run.quietBoxes = unattended && (!ctx.options.showBoxesUnattended || !env.HasVisibleDesktop());
    ctx.run.accessWaitBoundMs = ctx.options.waitMaxMinutes * 60 * 1000;

    ReadAccessSettings(ctx.platform.profile, ctx.program.glManagerIniFile, style, ctx.access);
    BuildKeyPaths(ctx.access);

    if (ctx.run.traceAppends) {
        ctx.trace.OpenAppend();
    } else {
        RotateTraces(ctx);
        ctx.trace.OpenOutput();
    }
    WriteHeader(ctx);
    BringHomeStrandedDataFile(ctx);

    ctx.run.unattended = false;
    ctx.run.glOfferManagerRestart = false;

    Flow flow = Flow::Go;
    switch (parsed.mode) {
        case StartMode::Autorun:
        case StartMode::Datei: {
            if (parsed.mode == StartMode::Datei) ctx.run.glDataFile = parsed.path;
            ctx.run.unattended = true;
            flow = RunUnattended(ctx, parsed.mode == StartMode::Autorun);
            ReportToSystemLog(ctx);
            return flow;
        }
        case StartMode::Liste:
            return RunList(ctx, parsed.path);
        case StartMode::Manager:
            ctx.run.glDataFile = parsed.path;
            return ManagerStart(ctx, window);
        case StartMode::Window:
            break;
    }
    if (flow == Flow::End) return flow;
    // The window: a plain start, or a run the user cancelled.
    if (!ctx.view.IsShown()) return ctx.view.Show(window);
    return Flow::Go;
}

// Without a data engine nothing can be counted or stored: found out before anything is
// touched, and told as what it most likely is.
bool EngineAvailable(ReorgContext& ctx) {
    dao::Error error = ctx.platform.db ? ctx.platform.db->Check()
                                       : dao::Error{dao::kErrNoEngine, "no database engine"};
    if (!error) return true;
    const std::string name = ctx.platform.db ? ctx.platform.db->Name() : "DAO";
    ctx.trace.Empty();
    ctx.trace.Label("Action", "Check database engine: " + name);
    ctx.trace.Result("Error | " + std::to_string(error.number) + " " + error.description);
    std::string text = ReplaceAll(msg::kEngineMissing, "XXXXX", name);
    Show(ctx, ReplaceAll(text, "YYYYY", std::to_string(error.number)), ReorgTitle(MsgKind::Error),
         MsgIcon::Stop);
    ctx.run.outcome = RunOutcome::Failed;
    return false;
}

Flow RunReorganisation(ReorgContext& ctx) {
    IFiles& files = ctx.platform.files;
    const PathStyle style = ctx.Style();
    const bool interactive = !ctx.Unattended();
    if (!EngineAvailable(ctx)) return FinishRun(ctx, false);

    std::string lokal = IniRead(ctx.platform.profile, ctx.program.glManagerIniFile, "Update", "LokalUpdate");
    bool lokalUpdate = ToUpper(Trim(lokal)) == "Y";
    // What killed runs left beside the data file (a move back across drives) goes first.
    (void)RemoveLeftoverTemporaries(files, style, FolderPart(ctx.run.glDataFile, style));
    if (lokalUpdate) {
        ctx.run.glUseLocalCopy = true;
        ctx.run.glLocalFolder = ctx.platform.env.LocalUpdateFolder();
        ctx.run.glLocalCopyFile = EnsureTrailingSeparator(ctx.run.glLocalFolder, style) + kLocalCopyName;
        // The data file may pass only through a folder that is the user's alone.
        FsStatus own = files.MakePrivateFolder(ctx.run.glLocalFolder);
        if (!own.ok()) {
            ctx.run.glUseLocalCopy = false;
            ctx.trace.Empty();
            ctx.trace.Error("Failed to create local folder");
            ctx.trace.Error(own.text);
            if (interactive)
                Show(ctx, msg::kLocalFolderFailed, ReorgTitle(MsgKind::Warning), MsgIcon::Exclamation);
        }
        if (ctx.run.glUseLocalCopy && files.Exists(LocalOriginFile(ctx), kAnyFile)) {
            // The data file of an interrupted run, named at the start, stays where it is.
            ctx.run.glUseLocalCopy = false;
            ctx.trace.Empty();
            ctx.trace.Error("Local folder holds the data file of an interrupted run: " + ctx.run.glLocalCopyFile);
        }
        if (ctx.run.glUseLocalCopy) {
            (void)RemoveLeftoverTemporaries(files, style, ctx.run.glLocalFolder);
            ctx.run.glOldLocalCopyFile = OldLocalCopyName(ctx.run.glLocalCopyFile, style);
            bool failed = false;
            if (files.Exists(ctx.run.glOldLocalCopyFile, kAnyFile))
                failed = !DeleteFileOp(files, ctx.run.glOldLocalCopyFile, style).ok();
            if (!failed && files.Exists(ctx.run.glLocalCopyFile, kAnyFile))
                failed = !files.Move(ctx.run.glLocalCopyFile, ctx.run.glOldLocalCopyFile).ok();
            if (failed) {
                ctx.trace.Empty();
                ctx.trace.Error("Insufficient permissions for local folder");
                if (interactive)
                    Show(ctx, msg::kLocalFolderRights, ReorgTitle(MsgKind::Warning), MsgIcon::Exclamation);
                ctx.run.glUseLocalCopy = false;
            }
        }
        const ReorgOptions& o = ctx.options;
        if (interactive && (o.kopie == "B" || o.kopie == "BF" || o.create == "B")) {
            ctx.run.glSettingsAdjusted = false;
            MsgResult answer = Show(ctx, msg::kManagerSettingsQuestion, ReorgTitle(MsgKind::Question),
                                    MsgIcon::Question, MsgButtons::YesNoCancel, 0);
            if (answer == MsgResult::Cancel) {
                ctx.run.outcome = RunOutcome::Aborted;  // the window stays open; closing it ends with this
                return Flow::Go;
            }
            if (answer == MsgResult::Yes) {
                ctx.run.glSettingsAdjusted = true;
                ctx.options.create = "F";
                ctx.options.kopie = "F";
                ctx.options.Parse();
                WriteOption(ctx.platform.profile, ctx.OptionsFile(), "speicherort", "F");
                WriteOption(ctx.platform.profile, ctx.OptionsFile(), "sicherungskopie", "F");
            }
        }
    }

    Flow flow = Flow::Go;
    AccessSearch search{ctx.platform, ctx.trace, msg::kNotFoundTemplate, kReorgDefaultTitle,
                        [&ctx, &flow] {
                            ctx.run.glAccessExe = ctx.access.accessExe;
                            flow = RunCompaction(ctx);
                        }};
    bool found = FindAccess(search, ctx.access);
    if (flow == Flow::End) return flow;
    ctx.run.outcome = found ? RunOutcome::Aborted : RunOutcome::Failed;  // found: the user declined to go on
    return FinishRun(ctx, false);
}

bool MoveToLocalFolder(ReorgContext& ctx) {
    IFiles& files = ctx.platform.files;
    TraceLog& trace = ctx.trace;
    const std::string origin = LocalOriginFile(ctx);
    // Where the data file belongs is on disk before it leaves, so that a run killed
    // meanwhile never strands it. A path the note cannot hold keeps the file at home.
    FsStatus status{kErrBadFileName, "Path with a line break cannot be noted: " + ctx.run.glDataFile};
    if (ctx.run.glDataFile.find_first_of("\r\n") == std::string::npos)
        status = files.WriteAtomic(origin, ctx.run.glDataFile + kCrLf);
    if (status.ok()) status = files.Move(ctx.run.glDataFile, ctx.run.glLocalCopyFile);
    trace.Empty();
    trace.Label("Action", "Moving data file to local folder");
    if (status.ok() && files.Exists(ctx.run.glLocalCopyFile, kAnyFile)) {
        trace.Result("OK");
        ctx.run.workingOnLocalCopy = true;
        return true;
    }
    if (!files.Exists(ctx.run.glLocalCopyFile, kAnyFile)) (void)files.Remove(origin);
    trace.Result("Error");
    if (!status.text.empty()) trace.Error(status.text);
    return false;
}

void RemoveLocalOrigin(ReorgContext& ctx) { (void)ctx.platform.files.Remove(LocalOriginFile(ctx)); }

Flow StartFromWindow(ReorgContext& ctx) {
    if (ctx.run.runInProgress) return Flow::Go;
    ctx.run.glFileCheckMessageShown = false;
    std::string text = ctx.view.Text(Control::txtDatenbank);
    Flow flow = Flow::Go;
    bool empty = Trim(text).empty();
    bool usable = CheckDataFile(ctx, text, flow);
    if (flow == Flow::End) return flow;
    if (empty || !usable || !TakeRunLock(ctx, text)) {
        if (!ctx.run.glFileCheckMessageShown)
            Show(ctx, AbortMessage(text), ReorgTitle(MsgKind::Error), MsgIcon::Exclamation);
        return Flow::Go;
    }
    ctx.run.runInProgress = true;
    flow = RunReorganisation(ctx);
    ctx.run.runInProgress = false;
    if (flow == Flow::Go) ctx.run.runLock.reset();  // cancelled: the window waits idle
    return flow;
}

}  // namespace zq::reorg
