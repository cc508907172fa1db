#include "starter/Update.h"

#include <cstdio>

#include "common/FileInfo.h"
#include "common/Messages.h"
#include "common/Paths.h"
#include "common/RegistryAccess.h"
#include "starter/Datei.h"
#include "starter/Funktion.h"

namespace zq::starter {

namespace {

constexpr int kSubWidth = 18;  // sub-steps of the update run are indented by three blanks

std::string WithoutChar(std::string text, char c) {
    std::string out;
    for (char ch : text)
        if (ch != c) out += ch;
    return out;
}

bool EndsWithNoCase(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           EqualsNoCase(text.substr(text.size() - suffix.size()), suffix);
}

// A path with a blank would be split into several arguments by the installer's start.
std::string QuoteIfBlank(const std::string& path) {
    return path.find(' ') == std::string::npos ? path : "\"" + path + "\"";
}

std::string Stamp(const DateTime& t) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d%02d%02d%02d%02d%02d", ((t.year % 100) + 100) % 100,
                  t.month % 100, t.day % 100, t.hour % 100, t.minute % 100, t.second % 100);
    return buf;
}

std::string WithSeparator(const std::string& path, PathStyle style) {
    char sep = Separator(style);
    return (!path.empty() && path.back() == sep) ? path : path + sep;
}

void WriteHistory(StarterContext& ctx, const std::string& file, const std::string& currentShown,
                  const std::string& newText, const std::string& command) {
    auto out = ctx.platform.files.OpenText(file, true);
    if (!out) return;
    IClock& clock = ctx.platform.clock;
    IEnvironment& env = ctx.platform.env;
    const std::string when = clock.FormatGeneral(clock.Now()) + " ";
    out->Write(when + "ZEQUORA Manager : Update Version " + currentShown + " To Version " +
               newText + " / " + env.ComputerName() + " / " + env.UserName() +
               " / Using Starter Version: " + ctx.glStarterVersion + "\r\n");
    out->Write(when + "Run Update      : " + command + "\r\n");
    out->Write(when + "-----------\r\n");
    out->Close();
}

// The user agreed: build the installer's command line, note it and start it.
Flow RunUpdate(StarterContext& ctx, const CurrentVersion& current, const NewVersion& next) {
    TraceLog& t = ctx.trace;
    const PathStyle style = ctx.style;
    ctx.glUpdateStore = ResolveUpdateStore(ctx, ctx.glUpdateStore);
    std::string command = QuoteIfBlank(ctx.glUpdateExe) + " /SILENT" + " /SP-";
    ctx.glLogCreateCfg = ToUpper(Trim(IniGet(ctx, "Update", "LogCreate")));

    bool logDenied = false;
    if (ctx.glLogCreateCfg == "X") {
        MsgResult answer = ctx.platform.dialogs.ShowMessage(
            kLogQuestion, StarterTitle(MsgKind::Question), MsgIcon::Question, MsgButtons::YesNoCancel);
        if (answer == MsgResult::No) {
            t.Label("   Create Log", "Denied", kSubWidth);
            logDenied = true;
        } else if (answer != MsgResult::Yes) {
            t.Label("   Run Update", "Canceled", kSubWidth);
            ctx.outcome = Outcome::LogCanceled;
            return Flow::Exit;
        }
    }
    const std::string storeFolder = FolderPart(ctx.glUpdateStore, style);
    if (!logDenied) {
        std::string prefix = BuildLogPrefix(ctx, ShownVersion(next));
        if (ctx.glLogCreateCfg != "N" && !ctx.glLogCreateCfg.empty()) {
            std::string log = storeFolder + prefix + "zqmupd_Log.txt";
            t.Label("   Check Logfile", log, kSubWidth);
            command += " /LOG=" + QuoteIfBlank(log);
        }
    }
    const std::string history =
        (!ctx.glLogPrefixCfg.empty() && ctx.glLogPrefixCfg[0] == '-' ? ctx.glDataPath : storeFolder) +
        glcUpdateHistoryName;
    ctx.glStarterVersion = StarterVersionText(kVersionMajor, kVersionMinor, kVersionRevision);
    WriteHistory(ctx, history, current.Shown(), next.text, command);

    t.Label("Run Update", command);
    t.Section("EXIT program");
    t.Close();
    StartResult started = ctx.platform.processes.Start(command, false, WindowStyle::NormalFocus);
    if (!started.ok) {
        // The installer did not start: record why and give the user the Manager instead.
        t.OpenAppend();
        t.Error(started.error);
        return Flow::Continue;
    }
    ctx.outcome = Outcome::InstallerStarted;
    return Flow::Exit;
}

}  // namespace

std::optional<NewVersion> SplitVersion(const std::string& text) {
    std::size_t first = text.find('.', 2);
    if (first == std::string::npos || text.size() < 3) return std::nullopt;
    NewVersion v;
    v.text = text;
    v.main = text.substr(0, first);
    std::string rest = text.substr(first + 1);
    std::size_t second = rest.find('.');
    if (second == std::string::npos) {
        v.build = rest;
    } else {
        v.build = rest.substr(0, second);
        v.revision = rest.substr(second + 1);
    }
    return v;
}

std::string ShownVersion(const NewVersion& v) {
    if (v.revision.empty()) return v.text;
    char last = v.revision.back();
    if (last <= '0' || last > '9' || v.text.size() < 2) return v.text;
    return v.text.substr(0, v.text.size() - 2) + "_b" + v.revision;
}

std::string CurrentVersion::Minor() const {
    return !minorText.empty() && minorText[0] == '.' ? minorText.substr(1) : minorText;
}

std::string CurrentVersion::Beta() const {
    return betaText.empty() ? "0" : betaText.substr(betaText.size() - 1);
}

std::string CurrentVersion::Shown() const {
    return major + minorText + (betaText.empty() ? ".0" : betaText);
}

std::optional<bool> UpdateNeeded(const NewVersion& next, const CurrentVersion& current) {
    auto newMain = ParseNumber(next.main), curMajor = ParseNumber(current.major);
    if (!newMain || !curMajor) return std::nullopt;
    if (*newMain > *curMajor) return true;
    auto newBuild = ParseNumber(next.build), curMinor = ParseNumber(current.Minor());
    if (!newBuild || !curMinor) return std::nullopt;
    if (*newMain == *curMajor && *newBuild > *curMinor) return true;
    if (*newMain != *curMajor || *newBuild != *curMinor) return false;
    auto newRev = ParseNumber(next.revision), curBeta = ParseNumber(current.Beta());
    if (!newRev || !curBeta) return std::nullopt;
    if (*newRev == *curBeta) return false;
    // A beta never replaces the release of its build, nor a later beta.
    if (*newRev != 0 && (!(*newRev > *curBeta) || *curBeta == 0)) return false;
    return true;
}

std::string StarterVersionText(int major, int minor, int revision) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%d.%02d.0.%d", major, minor, revision);
    return buf;
}

std::string BuildLogPrefix(StarterContext& ctx, const std::string& shownVersion) {
    ctx.glLogPrefixCfg = ToUpper(Trim(IniGet(ctx, "Update", "LogPrefix")));
    const std::string& cfg = ctx.glLogPrefixCfg;
    if (cfg == "X") return "";
    auto has = [&cfg](char c) { return cfg.find(c) != std::string::npos; };
    IEnvironment& env = ctx.platform.env;

    std::string prefix;
    if (has('V')) prefix += "_" + WithoutChar(shownVersion, '.');
    if (has('T') || has('Z')) prefix += "_" + Stamp(ctx.platform.clock.Now());
    if (has('C') || has('P')) {
        std::string name = env.ComputerName();
        if (!name.empty()) prefix += "_" + ReplaceAll(name, " ", "_");
    }
    if (has('B') || has('U')) {
        std::string name = env.UserName();
        if (!name.empty()) prefix += "_" + ReplaceAll(name, " ", "_");
    }
    if (!prefix.empty()) prefix = prefix.substr(1) + "_";
    if (has('F') || has('S')) {
        IFiles& files = ctx.platform.files;
        const std::string logFolder = FolderPart(ctx.glUpdateStore, ctx.style) + "Log";
        const std::string logFolderSep = logFolder + Separator(ctx.style);
        if (!files.IsDirectory(logFolderSep)) files.MakeDirectory(logFolder);
        if (files.IsDirectory(logFolderSep)) prefix = "Log" + std::string(1, Separator(ctx.style)) + prefix;
    }
    return prefix;
}

std::string ResolveUpdateStore(StarterContext& ctx, const std::string& store) {
    return CompletePath(store, ctx.glDataPath, ctx.glDataPath, ctx.style);
}

std::string UpdateOfferText(const std::string& currentShown, const std::string& newShown) {
    return std::string("Es wurde eine neuere Version des Zequora Managers gefunden.\r\n\r\n") +
           "Diese Version: " + currentShown + "\r\n" + "Neue Version: " + newShown + "\r\n\r\n" +
           "Die neue Version wurde bereits heruntergeladen und kann nun sofort installiert "
           "werden.\r\n\r\nSoll das Update jetzt durchgeführt werden?";
}

Flow RecoverDataPath(StarterContext& ctx) {
    TraceLog& t = ctx.trace;
    t.Result("Not found");
    t.Error("52 / bad file name or number");
    t.Label("Abfrage", "Neuzuweisung 'Y/N/C'");
    // Without an answer (a closed box, no input) nothing is replaced: Cancel is the default.
    MsgResult answer = ctx.platform.dialogs.ShowMessage(
        kDataPathQuestion, StarterTitle(MsgKind::Error), MsgIcon::Stop, MsgButtons::YesNoCancel, 2);
    if (answer == MsgResult::Yes) {
        const std::string folder = ctx.platform.env.Error52Folder();
        t.Result("Y");
        IniPut(ctx, "Datendatei", "Pfad", folder);
        t.Label("New folder", folder);
        t.Label("Continue start", "OK");
        return Flow::Continue;
    }
    if (answer == MsgResult::No) {
        t.Result("N");
        t.Label("Exit App", "OK");
        ctx.outcome = Outcome::DataPathExit;
        return Flow::Exit;
    }
    t.Result("C");
    t.Label("Try to continue", "OK");
    return Flow::Continue;
}

Flow CheckUpdateStore(StarterContext& ctx) {
    TraceLog& t = ctx.trace;
    IFiles& files = ctx.platform.files;
    const PathStyle style = ctx.style;
    t.Section("Check Zequora UpdateStore");

    ctx.glUpdateStore = PathCase(Trim(IniGet(ctx, "Update", "Pfad")), style);
    ctx.glDataPath.clear();
    if (!IsAbsolute(ctx.glUpdateStore, style)) {
        ctx.glDataPath =
            WithSeparator(PathCase(Trim(IniGet(ctx, "Datendatei", "Pfad")), style), style);
        t.Label("Check Datapath", ctx.glDataPath);
        int error = 0;
        bool found = files.IsDirectory(ctx.glDataPath, &error);
        if (error == kErrBadFileName) return RecoverDataPath(ctx);
        if (error != kErrNone) return Flow::Continue;
        if (!found) {
            t.Result("Not found");
            return Flow::Continue;
        }
        t.Result("Found");
        if (ctx.glUpdateStore.empty()) ctx.glUpdateStore = "UpdStore";
        ctx.glUpdateStore = ResolveUpdateStore(ctx, ctx.glUpdateStore);
    }

    if (!EndsWithNoCase(ctx.glUpdateStore, ".exe")) {
        ctx.glUpdateStore = WithSeparator(ctx.glUpdateStore, style);
        ctx.glUpdateExe = ctx.glUpdateStore + glcUpdateExeName;
    } else {
        ctx.glUpdateExe = ctx.glUpdateStore;
    }

    t.Label("Check Update", ctx.glUpdateExe);
    if (!files.Exists(ctx.glUpdateExe, kAttrReadOnly | kAttrHidden | kAttrSystem)) {
        t.Result("Not found");
        return Flow::Continue;
    }
    t.Result("Found");

    // Only a complete program file is offered: a cut-off download or a saved error page
    // would otherwise be started as the installer.
    auto image = files.OpenRead(ctx.glUpdateExe);
    std::string versionText;
    if (image && IsCompletePeFile(*image)) versionText = FileVersionText(files, ctx.glUpdateExe);
    image.reset();
    if (versionText.empty()) {
        t.Label("Update Version", "Not found");
        return Flow::Continue;
    }
    t.Label("Update Version", versionText);

    std::optional<NewVersion> next = SplitVersion(versionText);
    if (!next) {
        t.Label("Check  Version", "Error");
        return Flow::Continue;
    }

    FrontEndVersion fe = ReadFrontEndVersion(ctx);
    if (fe.state == FrontEndVersion::State::CannotOpen) return Flow::Continue;
    if (fe.state == FrontEndVersion::State::NoTable || fe.major.empty()) {
        t.Label("Current Version", "Error");
        return Flow::Continue;
    }
    CurrentVersion current{fe.major, fe.minor, fe.beta};
    t.Label("Current Version", current.Shown());

    std::optional<bool> needed = UpdateNeeded(*next, current);
    if (!needed) return Flow::Continue;
    if (!*needed) {
        t.Result("Not needed");
        return Flow::Continue;
    }
    t.Result("Needed");

    MsgResult answer = ctx.platform.dialogs.ShowMessage(
        UpdateOfferText(current.Shown(), ShownVersion(*next)), StarterTitle(MsgKind::Information),
        MsgIcon::Question, MsgButtons::YesNoCancel);
    if (answer == MsgResult::No) {
        t.Label("Run Update", "Denied");
        return Flow::Continue;
    }
    if (answer != MsgResult::Yes) {
        t.Label("Run Update", "Canceled");
        ctx.outcome = Outcome::UpdateCanceled;
        return Flow::Exit;
    }
    return RunUpdate(ctx, current, *next);
}

}  // namespace zq::starter
