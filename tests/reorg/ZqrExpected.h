#pragma once
// What a reorganisation leaves behind, as both builds must write it: the Linux end-to-end
// tests and those of ZQR.exe under Wine compare against these lines. Paths come from the
// test; dates are masked, since each system writes its own date format.
#include <cstdio>
#include <string>
#include <vector>

namespace zqexpect {

// A data file with the product's tables: 1 + 3 + 2000 records counted (half of tblZeit
// deleted, so a compaction shrinks the file), an empty table and two that are not counted.
inline constexpr const char* kDataFileSql =
    "create table tblCfgOptionen(OP_ID integer primary key, OP_ReorgErgebnis int,"
    " OP_ReorgErgebnis_Size text, OP_ReorgErgebnis_AnzahlDS int, OP_ReorgLog_Pfad text);"
    "insert into tblCfgOptionen(OP_ID, OP_ReorgLog_Pfad) values(1, 'vorher');"
    "create table tblEreignis(ER_ID integer primary key, ER_Ereignis int, ER_Datum text,"
    " ER_Wert text, ER_Pfad text, ER_Ergebnis int, ER_Version text, ER_Bediener text,"
    " ER_UserErst text);"
    "create table tblPersonal(id integer primary key, name text);"
    "insert into tblPersonal(name) values('A'),('B'),('C');"
    "create table tblLeer(x);"
    "create table MSysObjects(x); insert into MSysObjects values(1);"
    "create table qryX(x); insert into qryX values(1);"
    "create table tblZeit(id integer primary key, v text);"
    "with recursive c(i) as (select 1 union all select i+1 from c where i<4000)"
    " insert into tblZeit(v) select hex(randomblob(200)) from c;"
    "delete from tblZeit where id % 2 = 0;";
inline constexpr int kRecords = 2004;

// The result records as one text: the options record, then each event record.
inline constexpr const char* kResultRecordsSql =
    "select coalesce(OP_ReorgErgebnis, 'NULL') || '|' || coalesce(OP_ReorgErgebnis_AnzahlDS, 'NULL') || '|' ||"
    " coalesce(OP_ReorgLog_Pfad, 'NULL') from tblCfgOptionen union all"
    " select ER_Ereignis || '|' || ER_Wert || '|' || ER_Ergebnis || '|' || ER_Version || '|' ||"
    " coalesce(ER_Bediener, 'NULL') || '|' || ER_Pfad from tblEreignis";

inline std::string Options(int flag, int count, const std::string& logFile) {
    return std::to_string(flag) + "|" + std::to_string(count) + "|" + logFile;
}
inline std::string Event(const std::string& startParm, bool stored, const std::string& accessCommand) {
    return "5|zqr.exe" + startParm + "|" + (stored ? "-1" : "0") + "|4.1.23|NULL|" + accessCommand;
}

// One trace line: the label padded to 17 characters, ": ", the value.
inline std::string Line(const std::string& label, const std::string& value) {
    std::string padded = label;
    if (padded.size() < 17) padded.resize(17, ' ');
    return padded + ": " + value + "\r\n";
}

// A zqr.ini made at the first start: exactly these lines on both builds (UTF-8 here, the ANSI
// code page on Windows).
inline const char* const kFreshOptionsFile =
    "[Global]\r\n"
    "sicherungskopie=b\r\n"
    "; Erstellen einer Sicherungskopie vor Durchführen der Aktion\r\n"
    "; x = keine Sicherungskopie erstellen; \r\n"
    "; b = Backend, Speicherung im Unterverzeichnis 'Save' zur Datendatei; \r\n"
    "; f = Frontend, Speicherung im Unterverzeichnis 'Autosave' zur Programmdatei; \r\n"
    "; fb = Front- und Backend, Speicherung an beiden Orten; \r\n"
    "\r\n"
    "logdatei=a\r\n"
    "; Erstellen einer Log-Datei die Dateigröße und Anzahl der Datensätze vorher und nacher vergleicht\r\n"
    "; x = keine Log-Datei erstellen; \r\n"
    "; a = anhängen, neuen Log an bestehende anhängen; \r\n"
    "; n = neu erstllen, immer neue Log-Datei erstellen; \r\n"
    "\r\n"
    "speicherort=b\r\n"
    "; Speicherort der Log-Datei\r\n"
    "; b = Backend, Speicherung im Verzeichnis der Datendatei; \r\n"
    "; f = Frontend, Speicherung im Verzeichnis der Programmdatei; \r\n"
    "\r\n"
    "warten=0\r\n"
    "; Zusätzliche Sekunden der Verzögerung zur Ergebnisbestimmung\r\n"
    "\r\n"
    "tabcode=tbl\r\n"
    "; Nur Tabellen mit dieser Kennung berücksichtigen\r\n"
    "\r\n"
    "dateianzahlmax=10\r\n"
    "; Nur maximal diese Anzahl von Sicherungsdateien im Verzeichnis zulassen\r\n"
    "\r\n";

inline const std::string kDefaultOptions = Line("glcIniKopie", "B") + Line("glcIniCreate", "B") +
                                           Line("glcIniLog", "A") + Line("glcIniSleep", "0") +
                                           Line("glcIniTabCode", "TBL") + Line("glcIniMaxFiles", "10");

inline std::string AccessCommand(const std::string& accessExe, const std::string& workingFile) {
    return "\"" + accessExe + "\" \"" + workingFile + "\" /repair /compact";
}
inline std::string AccessStarted(const std::string& accessExe, const std::string& workingFile) {
    return Line("Action", "#### Start Reorganisation ####") +
           Line("Command", AccessCommand(accessExe, workingFile)) + Line("Result", "OK");
}
inline std::string AccessEnded(int code) {
    return Line("Action", "Waiting for Access to finish") +
           Line("Result", std::string(code == 0 ? "OK" : "Error") + " | exit code " + std::to_string(code));
}
inline std::string BackupSaved(const std::string& where, const std::string& copy) {
    return "\r\n" + Line("Action", "Save backup copy of data file to " + where + " folder: " + copy) +
           Line("Result", "OK");
}
inline std::string LogOpened(const std::string& verb, const std::string& where, const std::string& logFile) {
    return "\r\n" + Line("Action", verb + " Log file in " + where + " folder: " + logFile) + Line("Result", "OK");
}
inline std::string MovedToLocalFolder() {
    return "\r\n" + Line("Action", "Moving data file to local folder") + Line("Result", "OK");
}
inline std::string MovedBack() {
    return "\r\n" + Line("Action", "Moving data file to initial folder") + Line("Result", "OK");
}
inline std::string PermissionsRead(const std::string& dataFile, const std::string& permissions) {
    return "\r\n" + Line("Action", "Read permissions of data file: " + dataFile) +
           Line("Result", "OK | " + permissions);
}
inline std::string PermissionsRestored(const std::string& dataFile, const std::string& saved,
                                       const std::string& found) {
    return "\r\n" + Line("Action", "Check permissions of data file: " + dataFile) +
           Line("Result", "Changed | " + found) + Line("Action", "Restore permissions of data file: " + saved) +
           Line("Result", "OK");
}
inline constexpr const char* kPermissionsNotRestored = "Warning          : Permissions of data file not restored: ";
inline constexpr const char* kPermissionsLogWarning =
    "- Warnung: Zugriffsrechte der Datendatei nicht wiederhergestellt: ";
inline const std::string kResultsWritten = "\r\n" + Line("Action", "Writing results to log file") +
                                           Line("Result", "OK") + "\r\n" +
                                           Line("Action", "Writing results to data file") + Line("Result", "OK");

// Sizes as the log shows them in the C locale and in English Windows.
inline std::string Mb(long long bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(bytes) / 1024 / 1024);
    return text;
}

// A plain unattended run with the default options on a data file that has no Save folder yet.
struct Run {
    std::string dataFile, dataFolder, separator;  // the data file's folder without separator
    std::string copy;                             // the backup copy's file name
    std::string accessExe, permissions;
    long long sizeBefore = 0;
};

// The trace from its "*** Start Action ***" on, one line each; masked are the free space and
// the size measured right after the database program was started (it may have finished).
inline std::vector<std::string> StartActionOn(const std::vector<std::string>& trace) {
    std::vector<std::string> lines;
    bool on = false, started = false;
    for (std::string line : trace) {
        on = on || line == "*** Start Action ***";
        if (!on) continue;
        started = started || line == "Action           : #### Start Reorganisation ####";
        if (line.rfind("Result           : OK | free: ", 0) == 0) line = "Result           : OK | free: *";
        if (started && line.rfind("Result           : OK | size: ", 0) == 0) line = "Result           : OK | size: *";
        lines.push_back(line);
    }
    return lines;
}

inline std::vector<std::string> StartActionOf(const Run& r) {
    auto line = [](const std::string& label, const std::string& value) {
        std::string text = Line(label, value);
        return text.substr(0, text.size() - 2);
    };
    const std::string save = r.dataFolder + r.separator + "Save";
    const std::string log = r.dataFolder + r.separator + "ZQR_Reorg_Log.txt";
    return {"*** Start Action ***",
            "",
            line("Action", "Search for data file: " + r.dataFile),
            line("Result", "OK | size: " + Mb(r.sizeBefore) + " MB"),
            "",
            line("Action", "Check free space for copies and compaction: " + save + ", " + r.dataFolder + ": " +
                               Mb(2 * r.sizeBefore) + " MB"),
            "Result           : OK | free: *",
            line("Action", "Create folder " + save),
            line("Result", "OK"),
            "",
            line("Action", "Save backup copy of data file to backend folder: " + save + r.separator + r.copy),
            line("Result", "OK"),
            "",
            line("Action", "Delete copies of the data file to keep max amount of: 10"),
            line("Result", "OK | Found 0"),
            "",
            line("Action", "Extend Log file in backend folder: " + log),
            line("Result", "OK"),
            "",
            line("Action", "Read permissions of data file: " + r.dataFile),
            line("Result", "OK | " + r.permissions),
            "",
            line("Delay", "0"),
            line("Action", "#### Start Reorganisation ####"),
            line("Command", AccessCommand(r.accessExe, r.dataFile)),
            line("Result", "OK"),
            line("Delay", "0"),
            "",
            line("Action", "Search for data file: " + r.dataFile),
            line("Result", "OK | size: *"),
            "",
            line("Action", "Waiting for Access to finish"),
            line("Result", "OK | exit code 0"),
            "",
            line("Action", "Check permissions of data file: " + r.dataFile),
            line("Result", "OK | unchanged"),
            "",
            line("Action", "Writing results to log file"),
            line("Result", "OK"),
            "",
            line("Action", "Writing results to data file"),
            line("Result", "OK")};
}

// The log block of a run that counted the sample's records before and after, with "*" for
// each date.
inline std::vector<std::string> LogBlock(const std::string& dataFile, long long sizeBefore, long long sizeAfter) {
    const std::string separator(89, '-');
    std::vector<std::string> lines = {separator, "- Datum/Zeit: *", "- Datendatei: " + dataFile,
                                      "- Version: 4.1.23", ""};
    for (const char* pass : {"VOR", "NACH"}) {
        lines.push_back(std::string("---- Start: Anzahl Datensätze relevanter Tabellen ") + pass + " Reorg");
        lines.push_back("* / Tabelle 01 : [tblCfgOptionen] / Anzahl DS: 1");
        lines.push_back("* / Tabelle 02 : [tblPersonal] / Anzahl DS: 3");
        lines.push_back("* / Tabelle 03 : [tblZeit] / Anzahl DS: 2000");
        lines.push_back("---- Ende: Summe Datensätze 2004");
        lines.push_back("");
    }
    char diff[32];
    std::snprintf(diff, sizeof diff, "%.1f",
                  static_cast<double>(sizeBefore) / 1024 / 1024 - static_cast<double>(sizeAfter) / 1024 / 1024);
    lines.push_back("---- Ergebnis: ");
    lines.push_back("- Größe Datendatei: vorher " + Mb(sizeBefore) + " MB / nachher " + Mb(sizeAfter) +
                    " MB / Differenz " + diff + " MB");
    lines.push_back("- Anzahl Datensätze: vorher 2004 / nachher 2004 / Differenz 0");
    lines.push_back(separator);
    lines.push_back("");
    return lines;
}

// The dates of log lines replaced by "*".
inline std::vector<std::string> MaskDates(std::vector<std::string> lines) {
    for (std::string& line : lines) {
        if (line.rfind("- Datum/Zeit: ", 0) == 0) line = "- Datum/Zeit: *";
        std::size_t table = line.find(" / Tabelle ");
        if (table != std::string::npos && table > 0) line = "*" + line.substr(table);
    }
    return lines;
}

// The abort message of the start-up, lines joined by newline.
inline std::string AbortMessage(const std::string& path) {
    return "Aktion abgebrochen.\n\nMögliche Ursachen: \n1) Keine Datendatei 'zqdata.mdb' angegeben, oder \n"
           "2) die Datendatei " + path + " ist nicht vorhanden, oder \n"
           "3) es besteht kein exklusiver Zugriff auf die angegebene Datendatei.";
}
inline constexpr const char* kNotADatabase =
    "Die angegebene ZEQUORA Datendatei 'zqdata.mdb' ist keine gültige ZEQUORA Datendatei oder hat nicht "
    "das erforderliche Access-Datenformat.\nBitte prüfen Sie die Einstellungen.\n\nFehlercode: 3343";
inline constexpr const char* kNotADatabaseCause =
    "Eine mögliche Ursache des Fehlers könnte sein:\n\n- Die Datendatei wurde von Ihnen versehentlich "
    "geöffnet und in eine für ZEQUORA ungültige Access-Version konvertiert.";
inline constexpr const char* kReadOnly =
    "Die angegebene ZEQUORA Datendatei ist schreibgeschützt oder Sie haben keine Berechtigung die Datei im "
    "Änderungsmodus zu öffnen.\nBitte prüfen Sie die Eigenschaften der Datendatei und Ihre "
    "Zugriffsberechtigung auf diese Datei.\n\nFehlercode: 3051";
inline constexpr const char* kNotCountedLog =
    "- Anzahl Datensätze: vorher (konnte nicht ermittelt werden) / nachher 0 / Differenz unbekannt";

}  // namespace zqexpect
