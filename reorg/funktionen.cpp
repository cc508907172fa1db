#include "reorg/funktionen.h"

#include <cmath>
#include <cstdio>

#include "common/Messages.h"
#include "common/Paths.h"
#include "common/RegistryAccess.h"
#include "reorg/Meldungen.h"

namespace zq::reorg {

namespace {

bool StartsWithUpper(const std::string& text, const std::string& upperSwitch) {
    return text.size() >= upperSwitch.size() &&
           ToUpper(text.substr(0, upperSwitch.size())) == upperSwitch;
}

// The path split at its last separator; a path without one is all name.
struct Split {
    std::string folder, name;
};
Split SplitPath(const std::string& path, PathStyle style) {
    std::size_t at = path.find_last_of(Separator(style));
    if (at == std::string::npos) return {"", path};
    return {path.substr(0, at + 1), path.substr(at + 1)};
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::string TwoDigits(int value) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02d", value % 100);
    return buf;
}

}  // namespace

ParsedCommandLine ParseCommandLine(const std::string& commandLine) {
    ParsedCommandLine parsed;
    if (StartsWithUpper(commandLine, "/AUTORUN")) {
        parsed.mode = StartMode::Autorun;
    } else if (StartsWithUpper(commandLine, "/DATEI")) {
        parsed.mode = StartMode::Datei;
        std::string trimmed = Trim(commandLine);
        parsed.path = trimmed.size() > 7 ? trimmed.substr(7) : "";
    } else if (StartsWithUpper(commandLine, "/LISTE")) {
        parsed.mode = StartMode::Liste;
        std::string trimmed = Trim(commandLine);
        parsed.path = trimmed.size() > 7 ? trimmed.substr(7) : "";
    } else if (StartsWithUpper(commandLine, "/MANAGER")) {
        parsed.mode = StartMode::Manager;
        std::string trimmed = Trim(commandLine);
        parsed.path = trimmed.size() > 9 ? trimmed.substr(9) : "";
    }
    return parsed;
}

std::optional<std::string> LockFileNameOf(const std::string& path, PathStyle style,
                                          std::string* firstRule) {
    Split parts = SplitPath(path, style);
    std::string first = parts.folder + ReplaceAll(parts.name, ".mdb", ".ldb", true);
    if (firstRule) *firstRule = first;
    if (!parts.name.empty() && EndsWith(first, ".ldb")) return first;
    std::size_t at = parts.name.find(".mdb");
    if (at == std::string::npos) return std::nullopt;
    return parts.folder + parts.name.substr(0, at) + ".ldb";
}

std::string OldLocalCopyName(const std::string& localCopyFile, PathStyle style) {
    Split parts = SplitPath(localCopyFile, style);
    return parts.folder + ReplaceAll(parts.name, ".mdb", "_old.mdb", true);
}

std::string OriginPath(const std::string& note) {
    std::string path = note.substr(0, note.find_first_of("\r\n"));
    if (path.find('\0') != std::string::npos) return "";
    return Trim(path).empty() ? "" : path;
}

std::string RunLockFileName(const std::string& dataFile) { return dataFile + ".zqr-lock"; }

std::string BackupName(const DateTime& t) {
    return "R_" + TwoDigits(t.year) + TwoDigits(t.month) + TwoDigits(t.day) + "_" +
           TwoDigits(t.hour) + TwoDigits(t.minute) + TwoDigits(t.second) + ".mdb";
}

std::string BackendCopyPath(const std::string& dataFile, const std::string& backupName,
                            PathStyle style) {
    return SplitPath(dataFile, style).folder + "Save" + Separator(style) + backupName;
}

std::string FrontendCopyPath(const std::string& programFolder, const std::string& backupName,
                             PathStyle style) {
    return EnsureTrailingSeparator(programFolder, style) + "Autosave" + Separator(style) +
           backupName;
}

double LeadingNumber(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    double value = 0;
    bool any = false;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        if (value < 1e12) value = value * 10 + (text[i] - '0');  // bounded: larger is clamped later
        any = true;
        ++i;
    }
    if (i < text.size() && text[i] == '.') {
        double scale = 0.1;
        for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, scale /= 10) {
            value += (text[i] - '0') * scale;
            any = true;
        }
    }
    if (!any) return 0;
    return negative ? -value : value;
}

long ParseLong(const std::string& text) {
    double v = std::trunc(LeadingNumber(text));
    if (v > 2147483647.0) return 2147483647L;
    if (v < -2147483648.0) return -2147483647L - 1;
    return static_cast<long>(v);
}

std::string LeadingIntegerText(const std::string& text) { return std::to_string(ParseLong(text)); }

namespace {
long RoundedSeconds(const std::string& warten) {
    double v = std::nearbyint(LeadingNumber(warten));  // ties to even, as the original rounding
    if (v > 1e6) return 1000000;
    if (v < -1e6) return -1000000;
    return static_cast<long>(v);
}
}  // namespace

int DelaySeconds(const std::string& warten) {
    long s = RoundedSeconds(warten);
    if (s > 20) s = 20;
    if (s < 0) s = 0;  // a negative delay is no delay
    return static_cast<int>(s);
}

int CensusExtraSeconds(const std::string& warten) {
    long s = RoundedSeconds(warten);
    if (s < 0) s = 5;
    if (s > 30) s = 30;
    return static_cast<int>(s);
}

bool IsPrefixFilter(const std::string& tabCode) { return !tabCode.empty() && tabCode != "X"; }

bool TableCounts(const std::string& tabCode, const std::string& tableName) {
    if (!IsPrefixFilter(tabCode)) return tableName.rfind("MSys", 0) != 0;
    return tableName.size() >= tabCode.size() &&
           EqualsNoCase(tableName.substr(0, tabCode.size()), tabCode);
}

std::string QuotedPath(const std::string& path) {
    if (path.find('"') == std::string::npos) return "\"" + path + "\"";
    std::string out = "\"";
    std::size_t backslashes = 0;
    for (char c : path) {
        if (c == '\\') {
            ++backslashes;
            out += c;
            continue;
        }
        if (c == '"') out.append(backslashes + 1, '\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes, '\\');
    return out + "\"";
}

std::string AccessCommand(const std::string& accessExe, const std::string& workingFile) {
    return QuotedPath(accessExe) + " " + QuotedPath(workingFile) + " /repair /compact";
}

std::string AbortMessage(const std::string& path) {
    return ReplaceAll(msg::kAbortTemplate, "XXXXX", path, true);
}

std::optional<std::size_t> OldestCopy(const std::vector<DateTime>& lastWrite) {
    if (lastWrite.empty()) return std::nullopt;
    std::size_t best = 0;
    for (std::size_t k = 1; k < lastWrite.size(); ++k)
        if (lastWrite[k] < lastWrite[best]) best = k;  // empty times compare as the earliest
    return best;
}

}  // namespace zq::reorg

namespace zq::reorg {

std::vector<std::string> ListedDataFiles(const std::string& listText) {
    std::vector<std::string> files;
    std::string text = listText.rfind("\xEF\xBB\xBF", 0) == 0 ? listText.substr(3) : listText;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = Trim(text.substr(pos, end - pos));
        while (!line.empty() && line.back() == '\r') line = Trim(line.substr(0, line.size() - 1));
        if (!line.empty() && line[0] != ';') files.push_back(line);
        pos = end + 1;
    }
    return files;
}

RunOutcome WorstOutcome(RunOutcome a, RunOutcome b) {
    for (RunOutcome o : {RunOutcome::CountsChanged, RunOutcome::Failed, RunOutcome::Aborted,
                         RunOutcome::PermissionsLost, RunOutcome::NotRecorded}) {
        if (a == o || b == o) return o;
    }
    return RunOutcome::Success;
}

}  // namespace zq::reorg
