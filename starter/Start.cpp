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
    ctx.glAccessPathCfg.clear();
    ctx.glAccessBitCfg.clear();
    ctx.glAccessVersion = "10.0";
    ctx.glAccessVersionCfg = false;

    std::string version = ReadOrMark(ctx, "Datenbasis", "Version");
    if (!version.empty() && !EqualsNoCase(version, "X") && IsValidOfficeVersion(version)) {
        ctx.glAccessVersion = version;
        ctx.glAccessVersionCfg = true;
    }

    std::string bit = ReadOrMark(ctx, "Datenbasis", "Bit");
    if (!bit.empty() && !IsNotSetMarker(bit)) {
        ctx.glAccessBitCfg = Trim(bit);
        ctx.glAccess64 = ctx.glAccessBitCfg == "64";
    }

    std::string folder = ReadOrMark(ctx, "Datenbasis", "Pfad");
    if (!folder.empty() && !IsNotSetMarker(folder))
        ctx.glAccessPathCfg = EnsureTrailingSeparator(Trim(folder), ctx.style);

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
    t.Label("glcRegPathAccVar", ctx.glcRegPathAccVar);
    t.Label("glcRegPathAccVarRT", ctx.glcRegPathAccVarRT);
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
        t.Label("Access Version Auto", ctx.glAccessVersion);
        return;
    }
    t.Result("OK");
    if (ctx.glAccessVersionCfg) {
        t.Label("Access Version Cfg", ctx.glAccessVersion);
    } else {
        t.Label("Access Version Cfg", "Not Set");
        t.Label("Access Version Auto", "10.0");
    }
    t.Label("Access Bit Config", ctx.glAccessBitCfg.empty() ? "Not Set" : ctx.glAccessBitCfg);
    t.Label("Access Pfad Config", ctx.glAccessPathCfg.empty() ? "Not Set" : ctx.glAccessPathCfg);
    t.Label("Data Network Cfg", ctx.glDataNetworkCfg == "X" ? "Not Set" : ctx.glDataNetworkCfg);
}

std::string ManagerCommandLine(const std::string& accessExe, const std::string& frontEnd,
                               const std::string& startParm) {
    return "\"" + accessExe + "\" " + "/runtime " + " \"" + frontEnd + "\" " + " " + startParm;
}

void StartManager(StarterContext& ctx) {
    if (LeadingNumber(ctx.glAccessVersion) >= 12) RegisterTrustedFolders(ctx);
    std::string command = ManagerCommandLine(ctx.glAccessExe, ctx.glFrontEndFile, ctx.glStartParm);
    ctx.trace.Section("Start Zequora Manager");
    ctx.trace.Label("Command", command);
    StartResult started = ctx.platform.processes.Start(command, false, WindowStyle::NormalFocus);
    if (!started.ok) ctx.trace.Error(started.error);
    ctx.outcome = Outcome::Launched;
}

void EndRoutine(StarterContext& ctx) {
    ctx.trace.Empty();
    ctx.trace.Empty();
    ctx.trace.Free("[Verweise]");
    ctx.trace.Close();
}

Outcome RunStarter(Platform& platform, const std::string& startParm) {
    const PathStyle style = platform.env.Style();
    const std::string folder = ProgramFolder(platform.env);
    TraceLog trace(platform.files, JoinPath(folder, glcTraceFileName, style), kStarterLabelWidth);
    StarterContext ctx(platform, trace);
    ctx.style = style;
    ctx.glProgramFolder = folder;
    ctx.glIniFile = JoinPath(folder, glcZQMiniFile, style);

    ReadStarterConfig(ctx);
    BuildKeyPaths(ctx.access);
    SetFilePaths(ctx, startParm);
    trace.OpenOutput();
    DumpGlobals(ctx);

    if (CheckZequora(ctx) != Flow::Continue) {
        EndRoutine(ctx);
        return ctx.outcome;
    }
    DeleteOldFrontEnd(ctx);
    ReportStarterConfig(ctx);

    switch (CheckUpdateStore(ctx)) {
        case Flow::Continue: break;
        case Flow::EndRoutine: EndRoutine(ctx); return ctx.outcome;
        case Flow::Exit: trace.Close(); return ctx.outcome;
    }

    AccessSearch search{platform, trace, kAccessNotFoundTemplate, kStarterDefaultTitle,
                        [&ctx] { StartManager(ctx); }};
    if (!FindAccess(search, ctx.access)) ctx.outcome = Outcome::AccessNotFound;
    EndRoutine(ctx);
    return ctx.outcome;
}

}  // namespace zq::starter
