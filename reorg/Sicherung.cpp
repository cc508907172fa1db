// Backup copies of the data file in "Save" beside it and "Autosave" beside the program.
#include "common/Messages.h"
#include "common/Paths.h"
#include "common/StagedFile.h"
#include "reorg/Ablauf.h"
#include "reorg/Meldungen.h"
#include "reorg/funktionen.h"

namespace zq::reorg {

namespace {

constexpr std::uint32_t kAnyFile = kAttrHidden | kAttrSystem;

enum class Step { Next, Stop, Cancel };

bool IsCopyName(const std::string& name) { return name.rfind("R_", 0) == 0; }

// The copies in the folder, the new one (keep) left out.
std::vector<std::string> ListCopies(ReorgContext& ctx, const std::string& folder,
                                    const std::string& keep) {
    std::vector<std::string> names;
    for (const DirEntry& e : ctx.platform.files.List(folder))
        if (!e.isDirectory && IsCopyName(e.name) && e.name != keep) names.push_back(e.name);
    return names;
}

// One copy; result counts the copies made so far.
Step MakeOneCopy(ReorgContext& ctx, bool backend, const std::string& backupName,
                 std::int16_t& result) {
    IFiles& files = ctx.platform.files;
    const PathStyle style = ctx.Style();
    TraceLog& trace = ctx.trace;

    std::string copyPath = backend ? BackendCopyPath(ctx.run.glDataFile, backupName, style)
                                   : FrontendCopyPath(ctx.program.glProgramFolder, backupName, style);
    const std::string folder = FolderOfPath(copyPath, style);

    if (!files.IsDirectory(folder)) {
        if (!ctx.Unattended()) {
            MsgResult answer = Show(ctx, msg::kFolderQuestionStart + folder + msg::kFolderQuestionEnd,
                                    ReorgTitle(MsgKind::SafetyQuestion), MsgIcon::Question,
                                    MsgButtons::YesNoCancel, 1);
            if (answer == MsgResult::Cancel) return Step::Cancel;
            if (answer == MsgResult::No) return backend ? Step::Next : Step::Stop;
        }
        trace.Label("Action", "Create folder " + folder);
        if (!CreateFolderWithReport(files, ctx.platform.dialogs, folder, false, style)) {
            trace.Result("Error");
            return Step::Stop;
        }
        trace.Result("OK");
    }

    // Copies cut off by a kill lie hidden there, full-size, and no rotation counts them.
    (void)RemoveLeftoverTemporaries(files, style, folder);

    if (files.Exists(copyPath, kAnyFile)) {
        trace.Empty();
        trace.Label("Action", "Delete existing data file copies with same name: " + copyPath);
        if (!DeleteFileOp(files, copyPath, style).ok()) {
            trace.Result("Error");
            return backend ? Step::Next : Step::Stop;
        }
    }

    trace.Empty();
    trace.Label("Action", std::string("Save backup copy of data file to ") +
                              (backend ? "backend" : "frontend") + " folder: " + copyPath);
    // The copy lands whole or not at all, so only a complete copy counts and takes a place
    // in the rotation.
    FsStatus copied = files.Copy(ctx.run.glDataFile, copyPath, true);
    if (!copied.ok() || !files.Exists(copyPath, kAnyFile)) {
        trace.Result("Error");
        if (!copied.text.empty()) trace.Error(copied.text);
        return backend ? Step::Next : Step::Stop;
    }
    trace.Result("OK");
    result = static_cast<std::int16_t>(backend ? 1 : result + 1);

    // Old copies go only once the new one is safe, so a failed copy never costs a good one.
    long max = ctx.options.maxCopies;
    if (max > 0) {
        trace.Empty();
        trace.Label("Action", "Delete copies of the data file to keep max amount of: " +
                                  (backend ? ctx.options.maxFiles : std::to_string(max - 1)));
        // A file the engine cannot open may be no database at all: its copy must not push
        // a good one out.
        if (!ctx.run.dataFileOpens) {
            OpenDataFile(ctx, true);
            ctx.run.dataFileOpens = ctx.run.glLastOpenError == 0;
            ctx.run.dataFileOpenError = std::to_string(ctx.run.glLastOpenError) + " " + ctx.run.lastOpenErrorText;
            CloseDataFiles(ctx);
        }
        if (!*ctx.run.dataFileOpens) {
            trace.Result("Skipped | data file cannot be opened: " + ctx.run.dataFileOpenError);
            return Step::Next;
        }
        std::string text = DeleteOldCopies(ctx, folder, backupName);
        trace.Result(text.empty() ? "Unknown" : text);
    }
    return Step::Next;
}

std::string Mb(ReorgContext& ctx, std::int64_t bytes) {
    return ctx.platform.clock.FormatOneDecimal(static_cast<double>(bytes) / 1024.0 / 1024.0);
}

}  // namespace

std::string FolderOfPath(const std::string& path, PathStyle style) {
    std::string folder = FolderPart(path, style);
    if (folder.size() > 1) folder.pop_back();
    return folder;
}

std::string NearestFolder(ReorgContext& ctx, std::string folder) {
    const PathStyle style = ctx.Style();
    while (!folder.empty() && !ctx.platform.files.IsDirectory(folder)) {
        std::string up = FolderPart(folder, style);
        if (up.size() > 1 && up.back() == Separator(style)) up.pop_back();
        if (up.empty() || up == folder) break;
        folder = up;
    }
    return folder;
}

bool EnoughFreeSpace(ReorgContext& ctx) {
    IFiles& files = ctx.platform.files;
    const PathStyle style = ctx.Style();
    const std::int64_t size = files.Size(ctx.run.glDataFile);
    if (size <= 0) return true;  // nothing to copy; the run finds the missing file itself

    // What each folder must take: a copy per backup folder, and where the database program
    // works a compacted copy (at most the file's size), plus the file itself when the local
    // working copy lies on another drive.
    struct Need {
        std::string volume, folders;
        std::int64_t bytes = 0;
        std::string probe;
    };
    std::vector<Need> needs;
    auto add = [&](const std::string& folder, std::int64_t bytes) {
        std::string probe = NearestFolder(ctx, folder);
        std::string volume = files.VolumeOf(probe);
        if (volume.empty()) volume = "?" + folder;  // unknown: counted on its own
        for (Need& n : needs) {
            if (n.volume != volume) continue;
            n.bytes += bytes;
            if ((kCrLf + n.folders + kCrLf).find(kCrLf + folder + kCrLf) == std::string::npos)
                n.folders += kCrLf + folder;
            return;
        }
        needs.push_back({volume, folder, bytes, probe});
    };
    const std::string backupName = BackupName(ctx.platform.clock.Now());
    if (ctx.options.backupBesideData)
        add(FolderOfPath(BackendCopyPath(ctx.run.glDataFile, backupName, style), style), size);
    if (ctx.options.backupBesideProgram)
        add(FolderOfPath(FrontendCopyPath(ctx.program.glProgramFolder, backupName, style), style), size);
    std::string dataFolder = FolderOfPath(ctx.run.glDataFile, style);
    if (ctx.run.glUseLocalCopy) {
        std::string local = ctx.run.glLocalFolder;
        if (local.size() > 1 && local.back() == Separator(style)) local.pop_back();
        if (files.VolumeOf(local).empty() || files.VolumeOf(local) != files.VolumeOf(dataFolder))
            add(local, size);
        add(local, size);
    } else {
        add(dataFolder, size);
    }

    for (const Need& n : needs) {
        const std::int64_t free = files.FreeSpace(n.probe);
        ctx.trace.Empty();
        ctx.trace.Label("Action", "Check free space for copies and compaction: " +
                                      ReplaceAll(n.folders, kCrLf, ", ") + ": " + Mb(ctx, n.bytes) + " MB");
        if (free < 0) {
            ctx.trace.Result("Unknown");
            continue;
        }
        if (free >= n.bytes) {
            ctx.trace.Result("OK | free: " + Mb(ctx, free) + " MB");
            continue;
        }
        ctx.trace.Result("Error | free: " + Mb(ctx, free) + " MB");
        std::string text = ReplaceAll(msg::kNotEnoughSpace, "XXXXX", n.folders);
        text = ReplaceAll(text, "YYYYY", Mb(ctx, n.bytes));
        text = ReplaceAll(text, "ZZZZZ", Mb(ctx, free));
        Show(ctx, text, ReorgTitle(MsgKind::Error), MsgIcon::Stop);
        ctx.trace.Error(ReplaceAll(text, kCrLf, " "));
        return false;
    }
    return true;
}

std::string DeleteOldCopies(ReorgContext& ctx, const std::string& folder, const std::string& keep) {
    long max = ctx.options.maxCopies;
    if (max <= 0) return "";
    IFiles& files = ctx.platform.files;
    if (!files.IsDirectory(folder)) return "";
    const PathStyle style = ctx.Style();

    long n = static_cast<long>(ListCopies(ctx, folder, keep).size());
    std::string text = "OK | Found " + std::to_string(n);
    long deleted = 0;
    int rounds = 0;
    while (max <= n) {
        std::vector<std::string> names = ListCopies(ctx, folder, keep);
        std::vector<std::string> paths;
        std::vector<DateTime> times;
        for (const std::string& name : names) {
            paths.push_back(JoinPath(folder, name, style));
            times.push_back(files.Times(paths.back()).lastWrite);
        }
        if (std::optional<std::size_t> oldest = OldestCopy(times)) {
            (void)DeleteFileOp(files, paths[*oldest], style);
            ctx.trace.Label("Command", "Delete file '" + paths[*oldest] + "'");
            ++deleted;
        }
        --n;
        if (++rounds >= 101) {
            text = "Error";
            break;
        }
    }
    if (deleted > 0 && text != "Error") text += " | Deleted " + std::to_string(deleted);
    return text;
}

std::int16_t MakeBackupCopies(ReorgContext& ctx) {
    const std::string backupName = BackupName(ctx.platform.clock.Now());
    std::int16_t result = 0;
    if (ctx.options.backupBesideData) {
        Step step = MakeOneCopy(ctx, true, backupName, result);
        if (step == Step::Cancel) return -1;
        if (step == Step::Stop) return result;
    }
    if (ctx.options.backupBesideProgram) {
        if (MakeOneCopy(ctx, false, backupName, result) == Step::Cancel) return -1;
    }
    return result;
}

}  // namespace zq::reorg
