#pragma once
// Pure helpers of the reorganiser: command line, lock-file and copy names, numbers in the
// options, the table filter. No side effects, so each is tested on its own.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/Environment.h"
#include "reorg/Flow.h"

namespace zq::reorg {

enum class StartMode { Window, Autorun, Datei, Manager, Liste };

struct ParsedCommandLine {
    StartMode mode = StartMode::Window;
    std::string path;  // the data file named after /DATEI or /MANAGER (the list after /LISTE), as given
};

// Only the beginning of the untrimmed command line is compared with each switch; one
// character after /DATEI and /MANAGER is skipped and the rest is the path unchanged.
ParsedCommandLine ParseCommandLine(const std::string& commandLine);

// The lock file beside a data file, changing only the file name: every ".mdb" (any case)
// becomes ".ldb"; when that gives no name ending in ".ldb", the name up to its first ".mdb"
// (exact case) + ".ldb". firstRule gets the name the first rule gave (traced).
// Nothing when neither rule gives a name.
std::optional<std::string> LockFileNameOf(const std::string& path, PathStyle style,
                                          std::string* firstRule = nullptr);

// glLocalCopyFile with every ".mdb" of its file name replaced by "_old.mdb" (any case).
std::string OldLocalCopyName(const std::string& localCopyFile, PathStyle style);

// Beside the local working copy while the data file is away: the path it belongs to.
inline constexpr const char* kLocalOriginName = "zqdata_lokal.pfad";
// The path an origin note names: its first line, without line end; empty when there is none.
std::string OriginPath(const std::string& note);
// The lock file a reorganisation holds beside the data file.
std::string RunLockFileName(const std::string& dataFile);

// "R_" YYMMDD "_" HHNNSS ".mdb".
std::string BackupName(const DateTime& t);
// The data file's folder + "Save" + separator + name.
std::string BackendCopyPath(const std::string& dataFile, const std::string& backupName,
                            PathStyle style);
// The program folder + "Autosave" + separator + name.
std::string FrontendCopyPath(const std::string& programFolder, const std::string& backupName,
                             PathStyle style);

// The number a text begins with (blanks first skipped, optional sign, digits, a decimal
// part with "."); 0 when it begins with none. Bounded, never overflows.
double LeadingNumber(const std::string& text);
// "DateiAnzahlMax" in force: the decimal text of its leading whole number.
std::string LeadingIntegerText(const std::string& text);
long ParseLong(const std::string& text);  // leading whole number, bounded to 32 bits

// "Warten" as the delay before and after starting Access: rounded, 0..20 seconds.
int DelaySeconds(const std::string& warten);
// "Warten" for the open retries after the compaction: rounded, below 0 counts as 5,
// above 30 as 30.
int CensusExtraSeconds(const std::string& warten);

// The table filter of the census. tabCode is the option in force (trimmed, upper-cased).
bool TableCounts(const std::string& tabCode, const std::string& tableName);
// True when the filter is a real prefix (not empty, not "X"): such matches are counted.
bool IsPrefixFilter(const std::string& tabCode);

// A path between double quotes for a command line split by the Windows rules. A path
// holding a quote gets it escaped, so the split still gives the path back.
std::string QuotedPath(const std::string& path);
// "<exe>" "<file>" /repair /compact
std::string AccessCommand(const std::string& accessExe, const std::string& workingFile);

// The abort message naming the path checked ("XXXXX" replaced, case ignored).
std::string AbortMessage(const std::string& path);

// The data files of a list file: one path a line, trimmed; blank lines and lines starting
// with ";" are left out.
std::vector<std::string> ListedDataFiles(const std::string& listText);
// The outcome of a list of runs: the worse of two. Most serious first: records changed,
// failed, not done at all, rights lost, not recorded, success.
RunOutcome WorstOutcome(RunOutcome a, RunOutcome b);

// Chooses which of the listed copies to delete first: the earliest last-write time,
// the first listed among equal times; a copy without a time counts as the oldest.
// Gives the index, or nothing for an empty list.
std::optional<std::size_t> OldestCopy(const std::vector<DateTime>& lastWrite);

}  // namespace zq::reorg
