#include "starter/Start.h"

#include "common/Messages.h"
#include "common/Paths.h"
#include "common/RegistryAccess.h"
#include "starter/Datei.h"
#include "starter/Funktion.h"
#include "starter/TrustedLocations.h"
#include "starter/Update.h"

namespace zq::starter {

namespace {

std::string VersionText() {
    return std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) + "." +
           std::to_string(kVersionRevision);
}

// An empty key is filled with the "not set" marker so that the file lists every key.
std::string ReadOrMark(StarterContext& ctx, const char* section, const char* key) {
    std::string value = IniGet(ctx, section, key);
    if (value.empty()) IniPut(ctx, section, key, "X");
    return value;
}

}  // namespace

void ReadStarterConfig(StarterContext& ctx) {
    ctx.glAccess64 = false;
    ctx.access.folder.clear();
    ctx.access.bitness.clear();
    ctx.access.version = "10.0";
    ctx.access.versionConfigured = false;

    std::string version = ReadOrMark(ctx, "Datenbasis", "Version");
    if (!version.empty() && !EqualsNoCase(version, "X") && IsValidOfficeVersion(version)) {
        ctx.access.version = version;
        ctx.access.versionConfigured = true;
    }

    std::string bit = ReadOrMark(ctx, "Datenbasis", "Bit");
    if (!bit.empty() && !IsNotSetMarker(bit)) {
        ctx.access.bitness = Trim(bit);
        ctx.glAccess64 = ctx.access.bitness == "64";
    }

    std::string folder = ReadOrMark(ctx, "Datenbasis", "Pfad");
    if (!folder.empty() && !IsNotSetMarker(folder))
        ctx.access.folder = EnsureTrailingSeparator(Trim(folder), ctx.style);

    ctx.glDataNetworkCfg = ReadOrMark(ctx, "Datendatei", "Netzwerk");
}

void SetFilePaths(StarterContext& ctx, const std::string& startParm) {
    const std::string folder = ctx.glProgramFolder;
    ctx.glcZQMFile = ctx.glAccess64 ? glcZQMFile64 : glcZQMFile32;
    ctx.glTraceFile = JoinPath(folder, glcTraceFileName, ctx.style);
    ctx.glFrontEndFile = JoinPath(folder, ctx.glcZQMFile, ctx.style);
    ctx.glOldFrontEndFile = JoinPath(folder, glcZQMFileAlt, ctx.style);
    ctx.glIniFile = JoinPath(folder, glcZQMiniFile, ctx.style);
    ctx.glStartParm = startParm;
}

void DumpGlobals(StarterContext& ctx) {
    TraceLog& t = ctx.trace;
    IClock& clock = ctx.platform.clock;
    t.Section("Globals");
    t.Label("Date/Time", clock.FormatGeneral(clock.Now()));
    t.Label("ZQM.exe Version", VersionText());
    t.Label("glcAccExe", glcAccExe);
    t.Label("glcZQMFile", ctx.glcZQMFile);
    t.Label("glcZQMFileAlt", glcZQMFileAlt);
    t.Label("glcZQMiniFile", glcZQMiniFile);
    t.Label("glcRegHKey", glcRegHKey);
    t.Label("glcRegPathAccVar", ctx.access.regPathAccVar);
    t.Label("glcRegPathAccVarRT", ctx.access.regPathAccVarRT);
    t.Label("glcRegKeyStandard", glcRegKeyStandard);
    t.Label("glcRegKeyAccVar", glcRegKeyAccVar);
    t.Section("Command");
    t.Label("glStartParm", ctx.glStartParm);
}

Flow CheckZequora(StarterContext& ctx) {
    TraceLog& t = ctx.trace;
    t.Section("Check Zequora");
    t.Label("Check Zequora", ctx.glFrontEndFile);
    if (ctx.platform.files.Exists(ctx.glFrontEndFile, 0)) {
        t.Result("OK");
        return Flow::Continue;
    }
    t.Result("Error");
    ctx.platform.dialogs.ShowMessage(std::string(kFrontEndMissingMessage) + kCrLf +
                                        "Missing program file: [" + ctx.glFrontEndFile + "]",
                                    kStarterDefaultTitle, MsgIcon::Stop, MsgButtons::Ok);
    // The message holds a line break, so this entry spans two lines of the trace.
    t.Free(std::string("Error Description: ") + kFrontEndMissingMessage + " [" +
           ctx.glFrontEndFile + "]");
    ctx.outcome = Outcome::FrontEndMissing;
    return Flow::EndRoutine;
}

void DeleteOldFrontEnd(StarterContext& ctx) {
    TraceLog& t = ctx.trace;
    t.Section("Delete ZQM.mde");
    t.Label("Delete zqm.mde", ctx.glOldFrontEndFile);
    if (!ctx.platform.files.Exists(ctx.glOldFrontEndFile, 0)) {
        t.Result("Not found");
        return;
    }
    FsStatus st = ctx.platform.files.Remove(ctx.glOldFrontEndFile);
    if (st.ok()) {
        t.Result("OK");
    } else {
        // A file still in use stays; the start goes on with the current front end.
        t.Result("Error");
        t.Error(std::to_string(st.error) + " / " + st.text);
    }
}

void ReportStarterConfig(StarterContext& ctx) {
    TraceLog& t = ctx.trace;
    t.Section("Check Zequora Config");
    t.Label("Check Config", ctx.glIniFile);
    if (!ctx.platform.files.Exists(ctx.glIniFile, 0)) {
        t.Result("Not found");
        t.Label("Access Version Auto", ctx.access.version);
        return;
    }
    t.Result("OK");
    if (ctx.access.versionConfigured) {
        t.Label("Access Version Cfg", ctx.access.version);
    } else {
        t.Label("Access Version Cfg", "Not Set");
        t.Label("Access Version Auto", "10.0");
    }
    t.Label("Access Bit Config", ctx.access.bitness.empty() ? "Not Set" : ctx.access.bitness);
    t.Label("Access Pfad Config", ctx.access.folder.empty() ? "Not Set" : ctx.access.folder);
    t.Label("Data Network Cfg", ctx.glDataNetworkCfg == "X" ? "Not Set" : ctx.glDataNetworkCfg);
}

std::string ManagerCommandLine(const std::string& accessExe, const std::string& frontEnd,
                               const std::string& startParm) {
    return "\"" + accessExe + "\" " + "/runtime " + " \"" + frontEnd + "\" " + " " + startParm;
}

void StartManager(StarterContext& ctx) {
    if (LeadingNumber(ctx.access.version) >= 12) RegisterTrustedFolders(ctx);
    std::string command = ManagerCommandLine(ctx.access.accessExe, ctx.glFrontEndFile, ctx.glStartParm);
    ctx.trace.Section("Start Zequora Manager");
    ctx.trace.Label("Command", command);
    StartResult started = ctx.platform.processes.Start(command, false, WindowStyle::NormalFocus);
    if (started.ok) {
        ctx.outcome = Outcome::Launched;
        return;
    }
    ctx.trace.Error(started.error);
    ctx.platform.dialogs.ShowMessage(std::string(kLaunchFailedMessage) + kCrLf + kCrLf +
                                        "Fehlermeldung: " + started.error + kCrLf + kCrLf +
                                        "Einzelheiten enthält die Trace-Datei " + ctx.glTraceFile + ".",
                                    kStarterDefaultTitle, MsgIcon::Stop, MsgButtons::Ok);
    ctx.outcome = Outcome::LaunchFailed;
}

void EndRoutine(StarterContext& ctx) {
    ctx.trace.Empty();
    ctx.trace.Empty();
    ctx.trace.Free("[Verweise]");
    ctx.trace.Close();
}

int ExitCode(const StarterContext& ctx, bool traceFailed) {
    int code = kExitLaunched;
    switch (ctx.outcome) {
        case Outcome::FrontEndMissing:
        case Outcome::AccessNotFound: return kExitMissing;
        case Outcome::LaunchFailed: return kExitLaunchFailed;
        case Outcome::DataPathExit:
        case Outcome::UpdateCanceled:
        case Outcome::LogCanceled: return kExitStopped;
        case Outcome::InstallerStarted: code = kExitUpdateStarted; break;
        case Outcome::Launched: break;
    }
    // What was started is right, but the record of how it came to it is not complete.
    return traceFailed || ctx.historyFailed ? kExitNotRecorded : code;
}

namespace {

void RunSequence(StarterContext& ctx, const std::string& startParm) {
    Platform& platform = ctx.platform;
    TraceLog& trace = ctx.trace;

    ReadStarterConfig(ctx);
    BuildKeyPaths(ctx.access);
    SetFilePaths(ctx, startParm);
    trace.OpenOutput();
    DumpGlobals(ctx);

    if (CheckZequora(ctx) != Flow::Continue) {
        EndRoutine(ctx);
        return;
    }
    DeleteOldFrontEnd(ctx);
    ReportStarterConfig(ctx);

    switch (CheckUpdateStore(ctx)) {
        case Flow::Continue: break;
        case Flow::EndRoutine: EndRoutine(ctx); return;
        case Flow::Exit: trace.Close(); return;
    }

    AccessSearch search{platform, trace, kAccessNotFoundTemplate, kStarterDefaultTitle,
                        [&ctx] { StartManager(ctx); }};
    if (!FindAccess(search, ctx.access)) ctx.outcome = Outcome::AccessNotFound;
    EndRoutine(ctx);
}

}  // namespace

int RunStarter(Platform& platform, const std::string& startParm) {
    const PathStyle style = platform.env.Style();
    const std::string folder = ProgramFolder(platform.env);
    TraceLog trace(platform.files, JoinPath(folder, glcTraceFileName, style), kStarterLabelWidth);
    StarterContext ctx(platform, trace);
    ctx.style = style;
    ctx.glProgramFolder = folder;
    ctx.glIniFile = JoinPath(folder, glcZQMiniFile, style);
    RunSequence(ctx, startParm);
    trace.Close();
    return ExitCode(ctx, trace.Failed());
}

}  // namespace zq::starter
