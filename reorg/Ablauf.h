#pragma once
// The procedures of the reorganiser. Each takes the run's context; those that can end the
// program give Flow::End with ctx.run.outcome set, and the run ends with its exit code.
#include <cstdint>
#include <optional>
#include <string>

#include "reorg/Global.h"

namespace zq::reorg {

class IReorgEvents;

// One whole run of the program with the window given: the exit code it ends with.
int RunReorganiser(Platform& platform, IReorgView& view, std::string commandLine);

// Start-up and command line.
Flow StartUp(ReorgContext& ctx, IReorgEvents& window);
// True when the data file exists and no lock file remains beside it.
bool CheckDataFile(ReorgContext& ctx, const std::string& path, Flow& flow);
// The lock-file path with its trace lines; on failure shows the message and ends (flow End).
std::string LockFileName(ReorgContext& ctx, const std::string& path, Flow& flow);
void LoadLastDataFile(ReorgContext& ctx);
void SaveLastDataFile(ReorgContext& ctx);

// The run and the start from the window. Flow::Go means the run returned (user cancelled).
Flow RunReorganisation(ReorgContext& ctx);
Flow StartFromWindow(ReorgContext& ctx);

// The local working copy: the data file moves there with a note of where it belongs
// (false when it stays at home); the note goes once the file is back.
bool MoveToLocalFolder(ReorgContext& ctx);
void RemoveLocalOrigin(ReorgContext& ctx);

// Backup copies: the number made (0, 1, 2) or -1 when the user cancelled.
std::int16_t MakeBackupCopies(ReorgContext& ctx);
std::string DeleteOldCopies(ReorgContext& ctx, const std::string& folder,
                            const std::string& keep = "");
// The folder of a path, without its trailing separator.
std::string FolderOfPath(const std::string& path, PathStyle style);
// The folder itself or, while it does not exist yet, the nearest folder above it that does.
std::string NearestFolder(ReorgContext& ctx, std::string folder);
// Room for the backup copies and the compaction; false (message shown) when there is too little.
bool EnoughFreeSpace(ReorgContext& ctx);

// The data file and the census.
void OpenDataFile(ReorgContext& ctx, bool silent);
// The message boxes of a failed open of the data file.
void ShowOpenError(ReorgContext& ctx, const dao::Error& error);
void CloseDataFiles(ReorgContext& ctx);
std::int32_t CountRecords(ReorgContext& ctx, int pass);

// Compaction, evaluation and the end of the run.
Flow RunCompaction(ReorgContext& ctx);
Flow FinishRun(ReorgContext& ctx, bool completed);

// Result records in the data file.
void WriteResults(ReorgContext& ctx);
void WriteEventRecord(ReorgContext& ctx, std::int16_t eventCode, const std::string& value,
                      const std::string& path, std::optional<bool> result);
std::string CurrentUserName(ReorgContext& ctx);

// One entry in the system log for an unattended run: outcome, sizes, sums, files, messages.
void ReportToSystemLog(ReorgContext& ctx);
// An entry with the text, its number the run's exit code, its level by that code.
void WriteSystemLog(ReorgContext& ctx, const std::string& text);

// The size of the data file in MB, 0 when it cannot be read.
double FileSizeMb(ReorgContext& ctx, const std::string& path);
// The whole message box convention of the reorganiser.
MsgResult Show(ReorgContext& ctx, const std::string& text, const std::string& title, MsgIcon icon,
               MsgButtons buttons = MsgButtons::Ok, int defaultButton = 0);

}  // namespace zq::reorg
