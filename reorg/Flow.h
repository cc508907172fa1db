#pragma once
// Whether the reorganiser goes on or ends, and how a run ended.

namespace zq::reorg {

enum class [[nodiscard]] Flow { Go, End };

// How a run ended; the program's exit code is its number, so that a scheduled run can tell
// the outcomes apart.
enum class RunOutcome {
    Success = 0,        // reorganised, record counts unchanged; or no run
    Aborted = 1,        // nothing done: no usable data file, cancelled
    // No Access, no lock-file name, no backup, Access failed, census incomplete, results not
    // stored.
    Failed = 2,
    CountsChanged = 3,  // the record counts differ after the run
    NotRecorded = 4,    // otherwise a success, but the trace or the log is incomplete
    PermissionsLost = 5,  // otherwise a success, but the data file's permissions are not its own
};
inline constexpr int ExitCode(RunOutcome outcome) { return static_cast<int>(outcome); }
inline constexpr int kExitSuccess = ExitCode(RunOutcome::Success);
inline constexpr int kExitAborted = ExitCode(RunOutcome::Aborted);
inline constexpr int kExitFailed = ExitCode(RunOutcome::Failed);
inline constexpr int kExitCountsChanged = ExitCode(RunOutcome::CountsChanged);
inline constexpr int kExitNotRecorded = ExitCode(RunOutcome::NotRecorded);
inline constexpr int kExitPermissionsLost = ExitCode(RunOutcome::PermissionsLost);

}  // namespace zq::reorg
