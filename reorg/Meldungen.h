#pragma once
// The reorganiser's own message texts. Lines are joined by CR LF.
#include "reorg/Flow.h"

namespace zq::reorg::msg {

inline constexpr const char* kAbortTemplate =
    "Aktion abgebrochen.\r\n"
    "\r\n"
    "Mögliche Ursachen: \r\n"
    "1) Keine Datendatei 'zqdata.mdb' angegeben, oder \r\n"
    "2) die Datendatei XXXXX ist nicht vorhanden, oder \r\n"
    "3) es besteht kein exklusiver Zugriff auf die angegebene Datendatei.";

inline constexpr const char* kLibrariesMissing =
    "Aktion abgebrochen.\r\n"
    "\r\n"
    "Mögliche Ursachen: \r\n"
    "Notwendige Befehlsbibliotheken stehen nicht zur Verfügung.";

inline constexpr const char* kNotFoundTemplate =
    "Access 10.0 oder Access 10.0 Runtime nicht gefunden oder nicht installiert! Zur "
    "Reorganisation wird jedoch Access 10.0 oder Access 10.0 Runtime benötigt. Zur Behebung "
    "des Problemes lesen Sie bitte im Handbuch den Abschnitt 'Installation und Update'.";

inline constexpr const char* kLocalFolderFailed =
    "Lokales Datendateiverzeichnis zur Durchführung der Reorganisation auf einem lokalen "
    "Laufwerk konnte nicht erstellt werden.";
inline constexpr const char* kLocalFolderRights =
    "Fehlende Zugriffsberechtigungen auf lokal zu erstellendes Datenverzeichnis.";

inline constexpr const char* kManagerSettingsQuestion =
    "Die ZEQUORA Manager Einstellungen lassen den Schluss zu, dass wegen möglicher "
    "Berechtigungsproblem auf dem Server keine Daten verändert bzw. abgelegt werden können.\r\n"
    "Sollen diese Einstellungen auch für die Reorganisation übernommen werden?";

inline constexpr const char* kFolderQuestionStart =
    "Folgendes Verzeichnis ist nicht vorhanden oder es kann (z. B. auf Grund unzureichender "
    "Berechtigungen) nicht darauf zugegriffen werden: \r\n";
inline constexpr const char* kFolderQuestionEnd = "\r\n\r\nSoll es erstellt werden?";

inline constexpr const char* kNoBackupUnattended =
    "Es konnte vorab keine der beiden geplanten Sicherungskopien erstellt werden.\r\n"
    "Die Durchführung wird daher abgebrochen.";
inline constexpr const char* kNoBackupQuestion =
    "Es konnte vorab keine der beiden geplanten Sicherungskopien erstellt werden.\r\n"
    "Wollen Sie die Reorganisation trotzdem durchführen?";

inline constexpr const char* kSizeUnchanged =
    "Die Größe der ZEQUORA Datendatei hat sich durch die Reorganisation nicht verändert. Sie "
    "beträgt weiterhin XXXXX MB";
inline constexpr const char* kSizeChanged =
    "Die Größe der ZEQUORA Datendatei hat sich durch die Reorganisation \r\nvon XXXXX MB auf "
    "YYYYY MB verringert.";
inline constexpr const char* kCountsChanged =
    "\r\n\r\nACHTUNG: Die Anzahl der Datensätze hat sich durch die Reorganisation verändert!"
    "\r\n\r\nDies sollte nur der Fall sein, wenn vorher eine Meldung über ein nicht erkennbares "
    "Datenbankformat oder eine defekte Datenbank angezeigt wurde. War dies nicht der Fall "
    "kontrollieren Sie unbedingt die Log-Datei ZQR_Reorg_Log.txt\r\n\r\nMit Hilfe der Log-Datei "
    "kann man erkennen welche Tabelle wie viel verlorene Datensätze aufweist.";
inline constexpr const char* kSuccess = "Reorganisation erfolgreich.\r\n";

// A run whose database program or census failed: the heading, one or more causes, then
// where to read more ("XXXXX" the trace, "YYYYY" the log).
inline constexpr const char* kFailed = "Die Reorganisation der ZEQUORA Datendatei ist fehlgeschlagen.";
inline constexpr const char* kOneCause = "Mögliche Ursache:";
inline constexpr const char* kSeveralCauses = "Mögliche Ursachen: ";
inline constexpr const char* kAccessNotStarted =
    "Das Datenbankprogramm msaccess.exe konnte nicht gestartet werden.\r\nFehlermeldung: ";
inline constexpr const char* kAccessEndedWithError =
    "Das Datenbankprogramm hat die Reorganisation mit einem Fehler beendet.\r\nFehlercode: ";
inline constexpr const char* kDataFileNotRewritten =
    "Das Datenbankprogramm hat sich ohne Fehler beendet, die Datendatei aber nicht neu "
    "geschrieben: sie wurde nicht reorganisiert.";
inline constexpr const char* kAccessStillRunning =
    "Das Datenbankprogramm hat die Reorganisation nach XXXXX noch nicht beendet und wurde "
    "beendet (Grenze \"WartenMax\" in zqr.ini).";
inline constexpr const char* kNotOpenedBefore =
    "Die Datendatei konnte vor der Reorganisation nicht geöffnet werden.\r\nFehlermeldung: ";
inline constexpr const char* kNotOpenedAfter =
    "Die Datendatei konnte nach der Reorganisation nicht geöffnet werden.\r\nFehlermeldung: ";
inline constexpr const char* kNotCountedBefore =
    "Die Datensätze folgender Tabellen konnten vor der Reorganisation nicht gezählt werden: ";
inline constexpr const char* kNotCountedAfter =
    "Die Datensätze folgender Tabellen konnten nach der Reorganisation nicht gezählt werden: ";
inline constexpr const char* kCountsDiffer =
    "Die Anzahl der Datensätze hat sich durch die Reorganisation verändert.";
inline constexpr const char* kDataFileNotWritten =
    "Das Ergebnis wurde nicht in die Datendatei geschrieben.";
inline constexpr const char* kSeeTrace = "Einzelheiten enthält die Trace-Datei XXXXX";
inline constexpr const char* kSeeTraceAndLog =
    "Einzelheiten enthalten die Trace-Datei XXXXX und die Log-Datei YYYYY";

// A run that worked but could not keep its record; the files follow, one per line.
inline constexpr const char* kDone = "Reorganisation durchgeführt.\r\n";
inline constexpr const char* kNotRecorded =
    "ACHTUNG: Folgende Dateien konnten nicht vollständig geschrieben werden:";
inline constexpr const char* kNotRecordedCauses =
    "Mögliche Ursachen: \r\n"
    "- Der Datenträger ist voll, oder \r\n"
    "- es fehlt die Berechtigung zum Schreiben in diesem Verzeichnis.";
// The compaction left the data file with other permissions than it had, and they could not
// be given back; the reason follows.
inline constexpr const char* kPermissionsLost =
    "ACHTUNG: Die Zugriffsrechte der Datendatei konnten nach der Reorganisation nicht "
    "wiederhergestellt werden. Bitte prüfen Sie Besitzer und Berechtigungen der Datei XXXXX";
inline constexpr const char* kResultsNotWritten =
    "Fehler:\r\nErgebnisse konnten nicht in Datendatei geschrieben werden.";
inline constexpr const char* kRestartManager =
    "Soll nun der ZEQUORA Manager wieder gestartet werden?";

inline constexpr const char* kOpenLocked =
    "Die angegebene ZEQUORA Datendatei ist derzeit exklusiv von einem Benutzer gesperrt und "
    "kann nicht geöffnet werden.";
inline constexpr const char* kOpenReadOnly =
    "Die angegebene ZEQUORA Datendatei ist schreibgeschützt oder Sie haben keine Berechtigung "
    "die Datei im Änderungsmodus zu öffnen.\r\nBitte prüfen Sie die Eigenschaften der "
    "Datendatei und Ihre Zugriffsberechtigung auf diese Datei.";
inline constexpr const char* kOpenFormat =
    "Die angegebene ZEQUORA Datendatei 'zqdata.mdb' ist keine gültige ZEQUORA Datendatei oder "
    "hat nicht das erforderliche Access-Datenformat.\r\nBitte prüfen Sie die Einstellungen.";
inline constexpr const char* kOpenFormatHint =
    "Eine mögliche Ursache des Fehlers könnte sein:\r\n\r\n- Die Datendatei wurde von Ihnen "
    "versehentlich geöffnet und in eine für ZEQUORA ungültige Access-Version konvertiert.";
inline constexpr const char* kOpenUnknown =
    "Unbekannter Fehler. z. B. Datendatei nicht vorhanden oder kann nicht geöffnet werden.\r\n"
    "Bitte prüfen Sie die Einstellungen und speichern Sie diese erneut.";

// A data file left in the local working folder; XXXXX the local copy, YYYYY its own path.
inline constexpr const char* kStrandedKept =
    "Im lokalen Arbeitsverzeichnis liegt noch die Datendatei einer unterbrochenen "
    "Reorganisation:\r\nXXXXX\r\n\r\nIm Datenverzeichnis ist bereits eine Datendatei vorhanden:"
    "\r\nYYYYY\r\n\r\nDie Datei im lokalen Arbeitsverzeichnis bleibt unverändert erhalten. Bitte "
    "prüfen Sie, welche der beiden Dateien die aktuelle ist.";
inline constexpr const char* kStrandedNotMoved =
    "Die Datendatei konnte nicht in ihr Verzeichnis zurückverschoben werden:\r\nYYYYY\r\n\r\n"
    "Sie befindet sich jetzt im lokalen Arbeitsverzeichnis:\r\nXXXXX\r\n\r\nBitte verschieben "
    "Sie die Datei zurück, bevor mit ZEQUORA weitergearbeitet wird.";
inline constexpr const char* kOriginUnknown = "(unbekannt)";
// A list of data files ("/LISTE") that cannot be read or names none; XXXXX the list file.
inline constexpr const char* kListUnusable =
    "Aktion abgebrochen.\r\n\r\nDie Liste der Datendateien XXXXX ist nicht vorhanden, kann nicht "
    "gelesen werden oder nennt keine Datendatei.\r\nBitte eine Textdatei mit einem Pfad je Zeile "
    "angeben (Leerzeilen und Zeilen, die mit \";\" beginnen, werden übersprungen).";
// Checked before anything is touched. XXXXX the folder, YYYYY what it is for.
inline constexpr const char* kFolderNotWritable =
    "In das folgende Verzeichnis kann nicht geschrieben werden: \r\nXXXXX\r\n\r\nYYYYY\r\n"
    "Bitte geben Sie dem Benutzer, unter dem die Reorganisation läuft, das Recht zum Ändern in "
    "diesem Verzeichnis.\r\n\r\nDie Reorganisation wird daher abgebrochen. Es wurde nichts verändert.";
inline constexpr const char* kProgramFolderRole =
    "Es ist das Programmverzeichnis (Trace-Datei ZQR_Reorg_Trace.txt und zqr.ini).";
inline constexpr const char* kDataFolderRole =
    "Es ist das Verzeichnis der Datendatei (die Komprimierung schreibt die Datendatei dort neu).";
inline constexpr const char* kBackupFolderRole = "Es ist das Verzeichnis der Sicherungskopien.";
// XXXXX the database program found.
inline constexpr const char* kAccessNotAProgram =
    "Das Datenbankprogramm XXXXX ist kein Programm, das unter diesem Windows laufen kann (keine "
    "32-Bit- oder 64-Bit-Windows-Anwendung).\r\n\r\nBitte prüfen Sie die Einstellungen im Abschnitt "
    "\"Datenbasis\" von zqm.ini und die Installation von Access.\r\n\r\nDie Reorganisation wird daher "
    "abgebrochen. Es wurde nichts verändert.";
// XXXXX the engine, YYYYY its error number.
inline constexpr const char* kEngineMissing =
    "Die Datenbank-Schnittstelle XXXXX kann nicht gestartet werden (Fehlercode: YYYYY).\r\n\r\n"
    "Mögliche Ursachen: \r\n"
    "- Access und die ZEQUORA Programme haben eine unterschiedliche Bitversion (32-Bit oder "
    "64-Bit): bitte das Programmpaket installieren, das zur Bitversion von Access passt, oder \r\n"
    "- DAO ist nicht installiert oder nicht registriert: bitte Access oder die Access Runtime "
    "installieren oder reparieren.\r\n\r\n"
    "Die Reorganisation wird daher abgebrochen. Die Datendatei wurde nicht verändert.";
// XXXXX the folders of one drive, YYYYY the space needed, ZZZZZ the space free (MB).
inline constexpr const char* kNotEnoughSpace =
    "Nicht genügend freier Speicherplatz für Sicherungskopie und Reorganisation im folgenden "
    "Verzeichnis: \r\nXXXXX\r\n\r\nBenötigt werden YYYYY MB, frei sind ZZZZZ MB.\r\n"
    "Die Durchführung wird daher abgebrochen.";

// The outcome of an unattended run in the system log.
inline const char* OutcomeText(RunOutcome outcome) {
    switch (outcome) {
        case RunOutcome::Success: return "ZEQUORA Reorganisation erfolgreich.";
        case RunOutcome::Aborted: return "ZEQUORA Reorganisation abgebrochen: es wurde nichts verändert.";
        case RunOutcome::Failed: return "ZEQUORA Reorganisation fehlgeschlagen.";
        case RunOutcome::CountsChanged: return "ZEQUORA Reorganisation durchgeführt, aber die Anzahl der Datensätze hat sich verändert.";
        case RunOutcome::NotRecorded: return "ZEQUORA Reorganisation durchgeführt, aber Trace- oder Log-Datei sind unvollständig.";
        case RunOutcome::PermissionsLost: return "ZEQUORA Reorganisation durchgeführt, aber die Zugriffsrechte der Datendatei sind nicht wiederhergestellt.";
    }
    return "ZEQUORA Reorganisation beendet.";
}

inline constexpr const char* kProgressChecking = "Prüfung läuft .";
inline constexpr const char* kProgressReady = "Programm bereit";
inline constexpr const char* kProgressNotReady = "Programm nicht bereit";
// Shown while the reorganiser waits for Access to finish the compaction.
inline constexpr const char* kWaitingForAccess = "Reorganisation läuft, bitte warten ";

}  // namespace zq::reorg::msg
