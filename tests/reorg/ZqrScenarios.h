#pragma once
// The reorganiser's unattended end-to-end scenarios, written once: each platform's test derives
// its fixture from Installation (a temporary installation with the stand-in database program,
// how it runs the real program and answers its boxes) and runs them, adding what only it can
// check. Expected lines come from ZqrExpected.h.
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "reorg/Meldungen.h"
#include "reorg/ZqrExpected.h"
#include "support/Scenario.h"

namespace zqtest::zqr {

// What a user does in the window, in order: a button, a typed path, waiting for the progress
// line to show a text, or the answer to the next box.
struct Act {
    enum Kind { Start, End, Type, Await, Yes, No, Cancel, Ok } kind;
    std::string text = {};  // what Type types, what Await waits for
    bool IsAnswer() const { return kind == Yes || kind == No || kind == Cancel || kind == Ok; }
    zq::MsgResult Answer() const {
        return kind == Yes ? zq::MsgResult::Yes : kind == No ? zq::MsgResult::No
               : kind == Cancel ? zq::MsgResult::Cancel : zq::MsgResult::Ok;
    }
};

struct WindowRun : ScenarioRun {
    std::string shownPath;      // the path field when the window showed
    bool closedItself = false;  // the program ended before its window was closed
};

class Installation {
public:
    // Something held open for as long as it lives.
    struct Held {
        virtual ~Held() = default;
    };

    virtual ~Installation() = default;
    virtual std::string Sep() = 0;
    virtual std::string Prog() = 0;
    virtual std::string Data() = 0;     // the data folder, with zqdata.mdb
    virtual std::string Access() = 0;   // the database program as the trace names it
    virtual std::string Scratch() = 0;  // a folder of the test's own, beside the installation
    virtual void MakeFolder(const std::string& path) = 0;
    virtual void Write(const std::string& path, const std::string& bytes) = 0;
    virtual std::string Read(const std::string& path) = 0;
    // Trace and log as text (each system writes its own code page).
    virtual std::string Text(const std::string& path) = 0;
    virtual bool Exists(const std::string& path) = 0;
    virtual std::vector<std::string> List(const std::string& folder) = 0;  // names, sorted
    virtual long long Size(const std::string& path) = 0;
    // Last written long ago, hour hours after a fixed moment: a larger hour is newer.
    virtual void Age(const std::string& path, int hour) = 0;
    virtual std::string Permissions(const std::string& path) = 0;  // as the trace writes them
    virtual void MakeDataFile(const std::string& path) = 0;
    // The first column of each row, as text.
    virtual std::vector<std::string> Rows(const std::string& file, const std::string& sql) = 0;
    virtual void ZqrIni(const std::string& lines) = 0;  // under [Global]
    virtual void ZqmIni(const std::string& more) = 0;  // after the database program's section
    virtual void Remember(const std::string& dataFile) = 0;  // as the window remembers it
    virtual void FailingAccess() = 0;  // a database program that cannot reorganise
    virtual void AccessWritesANewFile() = 0;  // the compacted data goes into a file made anew
    virtual void AccessEnds(int code) = 0;  // at once with the code, the data file untouched
    // Gives the file an owner or rights that a new file of its folder does not get; false
    // where the test cannot.
    virtual bool RestrictRights(const std::string& path) = 0;
    // The file can be read but not written by the program's runs; false where the test cannot.
    virtual bool MakeReadOnly(const std::string& path) = 0;
    // The lock file held open as the database engine holds it.
    virtual std::unique_ptr<Held> HoldLockFile(const std::string& path) = 0;
    // A Manager beside the program that notes how it was started.
    virtual void StandInManager() = 0;
    // Whether the Manager was started within waitMs (minimised, with its path quoted, where the
    // system has windows); the note goes.
    virtual bool ManagerStarted(int waitMs) = 0;
    // The folder where the Manager's local working copies go, made as the user's own (on a
    // file system of its own where the platform can).
    virtual std::string LocalFolder() = 0;
    virtual std::string TooLongPath() = 0;  // longer than the file system can examine
    virtual bool RefusedInNames(char c) = 0;  // the system allows no such character in a name
    // Runs the program with the arguments, answering its boxes in turn.
    // The system log's entries since the installation was made; nothing where it cannot be read.
    virtual std::optional<int> SystemLogEntries() = 0;
    virtual ScenarioRun Run(const std::vector<std::string>& args, const std::vector<zq::MsgResult>& answers) = 0;
    // Runs the program with its window, does the acts and closes the window when it is still there.
    virtual WindowRun Window(const std::vector<std::string>& args, const std::vector<Act>& acts) = 0;

    std::string DataFile() { return In(Data(), "zqdata.mdb"); }
    std::string In(const std::string& folder, const std::string& name) { return folder + Sep() + name; }
    std::string Trace() { return Text(In(Prog(), "ZQR_Reorg_Trace.txt")); }
    std::string Log() { return Text(In(Data(), "ZQR_Reorg_Log.txt")); }
    std::string Records(const std::string& file) {
        const auto rows = Rows(file, "select count(*) from tblZeit");
        return rows.empty() ? "?" : rows[0];
    }
    std::string ResultRecords() {
        std::string text;
        for (const std::string& row : Rows(DataFile(), zqexpect::kResultRecordsSql)) text += row + "\n";
        return text;
    }
};

inline bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

inline int Count(const std::string& text, const std::string& part) {
    int n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

inline const std::string kAborted = "\r\n\r\nError            :  Aktion abgebrochen.\r\n";
// A round of the lock-file check that found the file held.
inline const std::string kLockChecked = "Result           : OK | Found | Deleted\r\n";

inline void DateiReorganisesWithBackupLogAndResultRecords(Installation& in) {
    const std::string file = in.DataFile();
    const long long before = in.Size(file);
    const std::string permissions = in.Permissions(file);
    const ScenarioRun r = in.Run({"/DATEI", file}, {});
    ASSERT_EQ(r.exitCode, 0);
    const long long after = in.Size(file);
    EXPECT_LT(after, before);
    EXPECT_EQ(in.Records(file), "2000");
    if (r.boxes) {
        EXPECT_TRUE(r.boxes->empty()) << "no message box in an unattended success";
    }

    const std::string trace = in.Trace();
    EXPECT_EQ(trace.rfind("*** Globals ***\r\nDate/Time        : ", 0), 0u);
    EXPECT_TRUE(Has(trace, "ZQR.exe Version  : 4.1.23\r\n"));
    EXPECT_TRUE(Has(trace, "glStartParm      : /DATEI " + file + "\r\n"));
    EXPECT_TRUE(Has(trace, zqexpect::kDefaultOptions));
    EXPECT_EQ(in.Text(in.In(in.Prog(), "zqr.ini")), zqexpect::kFreshOptionsFile);
    const std::string save = in.In(in.Data(), "Save");
    const auto copies = in.List(save);
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(in.Size(in.In(save, copies[0])), before);
    EXPECT_EQ(zqexpect::StartActionOn(CrLfLines(trace)),
              zqexpect::StartActionOf({file, in.Data(), in.Sep(), copies[0], in.Access(), permissions, before}));
    EXPECT_EQ(zqexpect::MaskDates(CrLfLines(in.Log())), zqexpect::LogBlock(file, before, after));
    EXPECT_EQ(in.ResultRecords(),
              zqexpect::Options(-1, zqexpect::kRecords, in.In(in.Data(), "ZQR_Reorg_Log.txt")) + "\n" +
                  zqexpect::Event("/DATEI " + file, true, zqexpect::AccessCommand(in.Access(), file)) + "\n");
    EXPECT_FALSE(in.Exists(in.In(in.Data(), "zqdata.ldb")));
    EXPECT_FALSE(in.Exists(file + ".zqr-lock"));

    // A second run appends its block to the log.
    ASSERT_EQ(in.Run({"/DATEI", file}, {}).exitCode, 0);
    EXPECT_EQ(Count(in.Log(), "---- Ergebnis: "), 2);
}

inline void AutorunTakesTheRememberedFileAndRotatesBothBackupFolders(Installation& in) {
    ScenarioRun r = in.Run({"/AUTORUN"}, {zq::MsgResult::Ok});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Has(in.Trace(), kAborted));
    if (r.boxes) {
        ASSERT_EQ(r.boxes->size(), 1u);
        EXPECT_EQ((*r.boxes)[0].title, "ZEQUORA Datendatei Reorganisation");
        EXPECT_EQ((*r.boxes)[0].text, zqexpect::AbortMessage(""));
    }

    in.Remember(in.DataFile());
    in.ZqrIni("sicherungskopie=fb\r\ndateianzahlmax=3\r\n");
    const std::string save = in.In(in.Data(), "Save");
    in.MakeFolder(save);
    for (int k = 1; k <= 4; ++k) {
        const std::string old = in.In(save, "R_20010" + std::to_string(k) + "_000000.mdb");
        in.Write(old, "old");
        in.Age(old, k);
    }
    r = in.Run({"/autorun", "ignored", "words"}, {});
    EXPECT_EQ(r.exitCode, 0);
    const std::string trace = in.Trace();
    EXPECT_TRUE(Has(trace, "Result           : OK | Found 4 | Deleted 2\r\n")) << trace;
    EXPECT_TRUE(Has(trace, "keep max amount of: 2\r\n"));
    const auto copies = in.List(save);
    EXPECT_EQ(copies.size(), 3u);
    EXPECT_FALSE(in.Exists(in.In(save, "R_200101_000000.mdb")));
    EXPECT_FALSE(in.Exists(in.In(save, "R_200102_000000.mdb")));
    EXPECT_TRUE(in.Exists(in.In(save, "R_200104_000000.mdb")));
    const std::string autosave = in.In(in.Prog(), "Autosave");
    const auto frontEnd = in.List(autosave);
    ASSERT_EQ(frontEnd.size(), 1u);
    EXPECT_TRUE(Has(trace, zqexpect::BackupSaved("frontend", in.In(autosave, frontEnd[0]))));
    EXPECT_TRUE(Has(in.Log(), "- Anzahl Datensätze: vorher 2004 / nachher 2004 / Differenz 0"));
    EXPECT_EQ(in.Rows(in.DataFile(), "select ER_Wert from tblEreignis"),
              std::vector<std::string>{"zqr.exe/autorun ignored words"});
}

// Paths that name no file the run may take: given up with the abort message, nothing touched.
inline void PathsThatNameNoUsableFileAreGivenUpWithTheAbortMessage(Installation& in) {
    const std::string file = in.DataFile();
    const std::string bytes = in.Read(file);
    struct Case {
        std::vector<std::string> args;
        std::string shownPath;
        bool badName;  // the existence test fails with 52 first
    };
    const std::string missing = in.In(in.Data(), "fehlt.mdb");
    const std::string odd = in.In(in.Data(), "$(touch pwned);echo x &^%PATH%!`id`.mdb");
    const std::string quoted = "\"" + file + "\"";
    const std::string angled = in.In(in.Data(), "a|b<c>.mdb");
    std::vector<Case> cases;
    cases.push_back({{"/DATEI", missing}, missing, false});
    // The character after the switch is always skipped.
    cases.push_back({{"/DATEI" + file}, file.substr(1), false});
    // Shell characters are taken literally and run nothing.
    cases.push_back({{"/DATEI", odd}, odd, false});
    // Quotes stay part of the path.
    cases.push_back({{"/DATEI", quoted}, quoted, in.RefusedInNames('"')});
    cases.push_back({{"/DATEI", angled}, angled, in.RefusedInNames('|')});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.back());
        const ScenarioRun r = in.Run(c.args, {zq::MsgResult::Ok, zq::MsgResult::Ok});
        EXPECT_EQ(r.exitCode, 1);
        std::string line = "glStartParm      :";
        for (const std::string& a : c.args) line += " " + a;
        EXPECT_TRUE(Has(in.Trace(), line + "\r\n")) << in.Trace();
        EXPECT_TRUE(Has(in.Trace(), kAborted));
        if (!r.boxes) continue;
        ASSERT_EQ(r.boxes->size(), c.badName ? 2u : 1u);
        if (c.badName) {
            EXPECT_EQ(r.boxes->front().text.rfind("Laufzeitfehler: 52\n", 0), 0u) << r.boxes->front().text;
        }
        EXPECT_EQ(r.boxes->back().title, "ZEQUORA Datendatei Reorganisation");
        EXPECT_EQ(r.boxes->back().text, zqexpect::AbortMessage(c.shownPath));
    }
    EXPECT_FALSE(in.Exists(in.In(in.Data(), "pwned")));
    EXPECT_FALSE(in.Exists(in.In(in.Prog(), "pwned")));

    // A path too long to be examined: the runtime error first, then the abort message.
    const std::string tooLong = in.TooLongPath();
    const ScenarioRun r = in.Run({"/DATEI", tooLong}, {zq::MsgResult::Ok, zq::MsgResult::Ok});
    EXPECT_EQ(r.exitCode, 1);
    if (r.boxes) {
        ASSERT_EQ(r.boxes->size(), 2u);
        EXPECT_EQ((*r.boxes)[0].title, "Reorg Fehler");
        EXPECT_EQ((*r.boxes)[0].text.rfind("Laufzeitfehler: 52\n\nDie angegebene ZEQUORA Datendatei wurde nicht "
                                           "gefunden.",
                                           0),
                  0u)
            << (*r.boxes)[0].text;
        EXPECT_EQ((*r.boxes)[1].text, zqexpect::AbortMessage(tooLong));
    }

    // A lock file that another program holds open: nothing is done.
    const auto held = in.HoldLockFile(in.In(in.Data(), "zqdata.ldb"));
    EXPECT_EQ(in.Run({"/DATEI", file}, {zq::MsgResult::Ok}).exitCode, 1);
    EXPECT_TRUE(Has(in.Trace(), kLockChecked));
    EXPECT_FALSE(Has(in.Trace(), "Start Action"));
    EXPECT_TRUE(in.Read(file) == bytes);
    EXPECT_FALSE(in.Exists(in.In(in.Data(), "Save")));
}

// Files that are no database of the product: the format messages, exit 2, the file and the
// earlier good copies as they were, and no retries.
inline void ForeignOrTruncatedFilesGetTheFormatMessagesAndStayUntouched(Installation& in) {
    const std::string file = in.DataFile();
    std::string truncated = in.Read(file);
    truncated.resize(truncated.size() / 2);
    const std::string save = in.In(in.Data(), "Save");
    in.MakeFolder(save);
    // As many good copies from earlier runs as the rotation keeps: none may be pushed out by a
    // copy of a file that is no database.
    for (int i = 0; i < 10; ++i) in.Write(in.In(save, "R_2501" + std::to_string(10 + i) + "_010000.mdb"), "gut");
    int round = 0;
    for (const std::string& content :
         {std::string("Dies ist nur Text.\r\n"), std::string("\0\x01\0\0Standard Jet DB\0", 20) + std::string(2000, '\0'),
          std::string(), truncated}) {
        SCOPED_TRACE(++round);
        in.Write(file, content);
        const auto start = std::chrono::steady_clock::now();
        const ScenarioRun r = in.Run({"/DATEI", file}, {zq::MsgResult::Ok, zq::MsgResult::Ok, zq::MsgResult::Ok});
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_TRUE(in.Read(file) == content);
        int good = 0;
        for (const std::string& name : in.List(save)) good += in.Read(in.In(save, name)) == "gut";
        EXPECT_EQ(good, 10);
        EXPECT_TRUE(Has(in.Trace(), "Result           : Skipped | data file cannot be opened: 3343 "));
        EXPECT_TRUE(Has(in.Log(), zqexpect::kNotCountedLog + std::string("\r\n"))) << in.Log();
        if (!r.boxes) continue;
        ASSERT_GE(r.boxes->size(), 2u);
        EXPECT_EQ((*r.boxes)[0].title, "Reorg Fehler");
        EXPECT_EQ((*r.boxes)[0].text, zqexpect::kNotADatabase);
        EXPECT_EQ((*r.boxes)[1].title, "Reorg Hinweis");
        EXPECT_EQ((*r.boxes)[1].text, zqexpect::kNotADatabaseCause);
    }
}

// One scheduled task for many data files: good, missing, held and failing ones; each as
// "/DATEI" would do it, the others go on, and the worst outcome is the exit code.
inline void AListReorganisesEachFileAndEndsWithTheWorstCode(Installation& in) {
    const std::string second = in.In(in.In(in.Scratch(), "zwei"), "zqdata.mdb");
    const std::string held = in.In(in.In(in.Scratch(), "drei"), "zqdata.mdb");
    const std::string missing = in.In(in.In(in.Scratch(), "fehlt"), "zqdata.mdb");
    in.MakeFolder(in.In(in.Scratch(), "zwei"));
    in.MakeFolder(in.In(in.Scratch(), "drei"));
    in.MakeDataFile(second);
    in.MakeDataFile(held);
    in.ZqrIni("Meldungen=N\r\n");
    const std::string list = in.In(in.Scratch(), "liste.txt");
    in.Write(list, "; Nachtlauf\r\n" + in.DataFile() + "\r\n\r\n  " + missing + "\r\n" + held + "\r\n" + second + "\r\n");
    ScenarioRun r;
    {
        const auto lock = in.HoldLockFile(in.In(in.In(in.Scratch(), "drei"), "zqdata.ldb"));
        r = in.Run({"/LISTE", list}, {});
    }
    EXPECT_EQ(r.exitCode, 1);  // two reorganised, two not done at all
    EXPECT_TRUE(in.Exists(in.In(in.Data(), "Save")));
    EXPECT_TRUE(in.Exists(in.In(in.In(in.Scratch(), "zwei"), "Save")));
    EXPECT_FALSE(in.Exists(in.In(in.In(in.Scratch(), "drei"), "Save")));
    EXPECT_EQ(in.Rows(second, "select ER_Wert from tblEreignis"), std::vector<std::string>{"zqr.exe/DATEI " + second});
    const std::string trace = in.Trace();
    EXPECT_TRUE(Has(trace, "*** List Summary ***\r\n"
                           "Data File        : 0 | ZEQUORA Reorganisation erfolgreich. | " + in.DataFile() + "\r\n"
                           "Data File        : 1 | ZEQUORA Reorganisation abgebrochen: es wurde nichts verändert. | " +
                               missing + "\r\n"
                           "Data File        : 1 | ZEQUORA Reorganisation abgebrochen: es wurde nichts verändert. | " +
                               held + "\r\n"
                           "Data File        : 0 | ZEQUORA Reorganisation erfolgreich. | " + second + "\r\n"
                           "Exit Code        : 1\r\n"))
        << trace;
    if (const auto entries = in.SystemLogEntries()) {
        EXPECT_EQ(*entries, 5) << "one per file and the list's own";
    }

    // A database program that fails makes the list fail.
    in.FailingAccess();
    in.Write(list, in.DataFile() + "\r\n" + missing + "\r\n");
    EXPECT_EQ(in.Run({"/LISTE", list}, {}).exitCode, 2);
    // A list that cannot be read is given up like a missing data file.
    const std::string none = in.In(in.Scratch(), "keine-liste.txt");
    EXPECT_EQ(in.Run({"/LISTE", none}, {}).exitCode, 1);
    EXPECT_TRUE(Has(in.Trace(), "Die Liste der Datendateien " + none + " ist nicht vorhanden")) << in.Trace();
}

// The Manager works locally: the data file is moved to the local folder, compacted there and
// moved back; the previous working copy becomes the old one.
inline void LocalUpdateWorksInTheLocalFolderAndComesBack(Installation& in) {
    in.ZqmIni("[Update]\r\nLokalUpdate=y\r\n");
    in.ZqrIni("sicherungskopie=x\r\n");
    const std::string folder = in.LocalFolder();
    const std::string local = in.In(folder, "zqdata_lokal.mdb");
    in.Write(local, "previous copy");
    in.Write(in.In(folder, "zqdata_lokal_old.mdb"), "older copy");
    const std::string file = in.DataFile();
    const long long before = in.Size(file);
    EXPECT_EQ(in.Run({"/DATEI", file}, {}).exitCode, 0);
    const std::string trace = in.Trace();
    EXPECT_TRUE(Has(trace, zqexpect::MovedToLocalFolder())) << trace;
    EXPECT_TRUE(Has(trace, zqexpect::AccessStarted(in.Access(), local)));
    EXPECT_TRUE(Has(trace, zqexpect::MovedBack()));
    EXPECT_EQ(in.Read(in.In(folder, "zqdata_lokal_old.mdb")), "previous copy");
    EXPECT_FALSE(in.Exists(local));
    EXPECT_LT(in.Size(file), before);
    EXPECT_EQ(in.Records(file), "2000");
    EXPECT_EQ(in.Rows(file, "select ER_Pfad from tblEreignis"),
              std::vector<std::string>{zqexpect::AccessCommand(in.Access(), local)});
}

inline void WindowTypedPathStartButtonAndTheRememberedFile(Installation& in) {
    const std::string file = in.DataFile();
    // An empty field first: the abort message, the window stays; then the typed path.
    WindowRun r = in.Window({}, {{Act::Start}, {Act::Ok}, {Act::Type, file}, {Act::Start}, {Act::Yes}, {Act::Ok}});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.closedItself) << "a run ends the program";
    if (r.boxes) {
        ASSERT_EQ(r.boxes->size(), 3u);
        EXPECT_EQ((*r.boxes)[0].title, "Reorg Fehler");
        EXPECT_EQ((*r.boxes)[0].text, zqexpect::AbortMessage(""));
        EXPECT_EQ((*r.boxes)[1].title, "Reorg Sicherheitsabfrage");  // the Save folder: Yes
        EXPECT_EQ((*r.boxes)[2].title, "Reorg Hinweis");
        EXPECT_EQ((*r.boxes)[2].text.rfind("Reorganisation erfolgreich.\nDie Größe der ZEQUORA Datendatei hat sich "
                                           "durch die Reorganisation \nvon ",
                                           0),
                  0u)
            << (*r.boxes)[2].text;
    }
    EXPECT_EQ(in.Records(file), "2000");
    EXPECT_TRUE(Has(in.Trace(), "glStartParm      : \r\n"));
    EXPECT_TRUE(Has(in.ResultRecords(), zqexpect::Event("", true, zqexpect::AccessCommand(in.Access(), file))));

    // The next plain start shows the remembered path; its end button closes it.
    r = in.Window({}, {{Act::End}});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.shownPath, file);

    // A blank before the switch: no switch at the start, so the window opens and nothing runs.
    const std::string bytes = in.Read(file);
    r = in.Window({" /AUTORUN"}, {{Act::End}});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(Has(in.Trace(), "glStartParm      :  /AUTORUN\r\n"));
    EXPECT_FALSE(Has(in.Trace(), "*** Start Action ***"));
    EXPECT_TRUE(in.Read(file) == bytes);
}

// The missing backup folder and the run without any backup copy.
inline void WindowBackupQuestionsAnsweredEachWay(Installation& in) {
    in.Remember(in.DataFile());
    const std::string save = in.In(in.Data(), "Save");
    // No at the folder, then No at going on without a copy: nothing done.
    WindowRun r = in.Window({}, {{Act::Start}, {Act::No}, {Act::No}});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.closedItself);
    if (r.boxes) {
        ASSERT_EQ(r.boxes->size(), 2u);
        EXPECT_EQ((*r.boxes)[0].title, "Reorg Sicherheitsabfrage");
        EXPECT_EQ((*r.boxes)[0].text, "Folgendes Verzeichnis ist nicht vorhanden oder es kann (z. B. auf Grund "
                                      "unzureichender Berechtigungen) nicht darauf zugegriffen werden: \n" +
                                          save + "\n\nSoll es erstellt werden?");
        EXPECT_EQ((*r.boxes)[1].title, "Reorg Sicherheitsabfrage");
        EXPECT_EQ((*r.boxes)[1].text, "Es konnte vorab keine der beiden geplanten Sicherungskopien erstellt werden.\n"
                                      "Wollen Sie die Reorganisation trotzdem durchführen?");
    }
    EXPECT_FALSE(Has(in.Trace(), "#### Start Reorganisation ####"));
    EXPECT_FALSE(in.Exists(save));

    // Cancel at the folder: ends before anything is touched.
    r = in.Window({}, {{Act::Start}, {Act::Cancel}});
    EXPECT_EQ(r.exitCode, 1);
    if (r.boxes) {
        EXPECT_EQ(r.boxes->size(), 1u);
    }
    EXPECT_FALSE(in.Exists(save));

    // No at the folder, Yes at going on: reorganised without a copy.
    r = in.Window({}, {{Act::Start}, {Act::No}, {Act::Yes}, {Act::Ok}});
    EXPECT_EQ(r.exitCode, 0);
    if (r.boxes) {
        EXPECT_EQ(r.boxes->size(), 3u);
    }
    EXPECT_TRUE(Has(in.Trace(), zqexpect::AccessEnded(0)));
    EXPECT_FALSE(in.Exists(save));

    // Yes: the folder is made and the copy goes there.
    r = in.Window({}, {{Act::Start}, {Act::Yes}, {Act::Ok}});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(Has(in.Trace(), "Action           : Create folder " + save + "\r\nResult           : OK\r\n"));
    EXPECT_EQ(in.List(save).size(), 1u);
}

// The Manager works locally and the options would put copies and log on the server.
inline void WindowManagerSettingsQuestionAnsweredEachWay(Installation& in) {
    in.Remember(in.DataFile());
    in.ZqrIni("sicherungskopie=b\r\n");
    const std::string question = "Die ZEQUORA Manager Einstellungen lassen den Schluss zu, dass wegen möglicher "
                                 "Berechtigungsproblem auf dem Server keine Daten verändert bzw. abgelegt werden "
                                 "können.\nSollen diese Einstellungen auch für die Reorganisation übernommen werden?";
    // The Manager does not work locally: no question (the Save folder: Yes).
    in.ZqmIni("[Update]\r\nLokalUpdate=N\r\n");
    WindowRun r = in.Window({}, {{Act::Start}, {Act::Yes}, {Act::Ok}});
    EXPECT_EQ(r.exitCode, 0);
    if (r.boxes) {
        ASSERT_EQ(r.boxes->size(), 2u);
        EXPECT_NE((*r.boxes)[0].text, question);
    }

    in.ZqmIni("[Update]\r\nLokalUpdate=Y\r\n");
    // Cancel: the window stays and can start again.
    r = in.Window({}, {{Act::Start}, {Act::Cancel}});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_FALSE(r.closedItself);
    if (r.boxes) {
        ASSERT_EQ(r.boxes->size(), 1u);
        EXPECT_EQ((*r.boxes)[0].title, "Reorg Frage");
        EXPECT_EQ((*r.boxes)[0].text, question);
    }
    EXPECT_FALSE(Has(in.Trace(), "Start Action"));

    // No: the options stay; copy and log beside the data file.
    r = in.Window({}, {{Act::Start}, {Act::No}, {Act::Ok}});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(Has(in.Trace(), zqexpect::LogOpened("Extend", "backend", in.In(in.Data(), "ZQR_Reorg_Log.txt"))));
    EXPECT_FALSE(in.Exists(in.In(in.Prog(), "Autosave")));

    // Yes: both options become F in the file and in force; copy and log beside the program.
    r = in.Window({}, {{Act::Start}, {Act::Yes}, {Act::Yes}, {Act::Ok}});
    EXPECT_EQ(r.exitCode, 0);
    if (r.boxes) {
        EXPECT_EQ(r.boxes->size(), 3u);
    }
    const std::string ini = in.Text(in.In(in.Prog(), "zqr.ini"));
    EXPECT_TRUE(Has(ini, "speicherort=F\r\n")) << ini;
    EXPECT_TRUE(Has(ini, "sicherungskopie=F\r\n")) << ini;
    const std::string trace = in.Trace();
    EXPECT_TRUE(Has(trace, "Action           : Settings adjusted to Manager and changed to frontend only\r\n"
                           "Result           : OK\r\n"));
    EXPECT_TRUE(Has(trace, zqexpect::LogOpened("Extend", "frontend", in.In(in.Prog(), "ZQR_Reorg_Log.txt"))));
    EXPECT_EQ(in.List(in.In(in.Prog(), "Autosave")).size(), 1u);
}

// The Manager keeps the data file open until the window has found its lock file held once:
// then the run goes ahead by itself, and Yes restarts the Manager; No starts nothing.
inline void ManagerModeWaitsForTheLockFileThenRunsAndOffersTheRestart(Installation& in) {
    const std::string file = in.DataFile();
    in.StandInManager();
    auto held = in.HoldLockFile(in.In(in.Data(), "zqdata.ldb"));
    std::thread release([&] {
        for (int k = 0; k < 600 && !Has(in.Trace(), kLockChecked); ++k)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        held.reset();
    });
    // The missing Save folder: Yes; the success: OK; the restart: Yes.
    WindowRun r = in.Window({"/MANAGER", file}, {{Act::Yes}, {Act::Ok}, {Act::Yes}});
    release.join();
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.closedItself);
    const std::string trace = in.Trace();
    EXPECT_GE(Count(trace, kLockChecked), 1) << trace;
    EXPECT_LE(Count(trace, kLockChecked), 19) << trace;
    EXPECT_TRUE(Has(trace, zqexpect::AccessEnded(0))) << trace;
    EXPECT_EQ(in.Records(file), "2000");
    // Started by the Manager: the options record, no event record.
    EXPECT_EQ(in.ResultRecords(), zqexpect::Options(-1, zqexpect::kRecords, in.In(in.Data(), "ZQR_Reorg_Log.txt")) + "\n");
    if (r.boxes) {
        ASSERT_EQ(r.boxes->size(), 3u);
        EXPECT_EQ((*r.boxes)[0].title, "Reorg Sicherheitsabfrage");
        EXPECT_EQ((*r.boxes)[1].title, "Reorg Hinweis");
        EXPECT_EQ((*r.boxes)[1].text.rfind("Reorganisation erfolgreich.\n", 0), 0u) << (*r.boxes)[1].text;
        EXPECT_EQ((*r.boxes)[2].title, "Reorg Frage");
        EXPECT_EQ((*r.boxes)[2].text, "Soll nun der ZEQUORA Manager wieder gestartet werden?");
    }
    EXPECT_TRUE(in.ManagerStarted(20000));

    in.ZqrIni("sicherungskopie=x\r\n");
    r = in.Window({"/MANAGER", file}, {{Act::Ok}, {Act::No}});
    EXPECT_EQ(r.exitCode, 0);
    if (r.boxes) {
        ASSERT_EQ(r.boxes->size(), 2u);
        EXPECT_EQ((*r.boxes)[1].title, "Reorg Frage");
    }
    EXPECT_FALSE(in.ManagerStarted(500));
}

// The Manager keeps the data file open, lock file and all: after twenty rounds of half a second
// the window is not ready and its start button stays off, even for another file.
inline void ManagerModeWithALockFileThatStaysIsNotReady(Installation& in) {
    const std::string file = in.DataFile();
    const std::string bytes = in.Read(file);
    {
        const auto held = in.HoldLockFile(in.In(in.Data(), "zqdata.ldb"));
        const WindowRun r = in.Window({"/MANAGER", file}, {{Act::Await, "Programm nicht bereit"},
                                                           {Act::Start},
                                                           {Act::Type, file},
                                                           {Act::Start}});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_FALSE(r.closedItself);
        if (r.boxes) {
            EXPECT_TRUE(r.boxes->empty());
        }
    }
    const std::string trace = in.Trace();
    EXPECT_EQ(Count(trace, kLockChecked), 20) << trace;
    EXPECT_FALSE(Has(trace, "Start Action"));
    EXPECT_TRUE(in.Read(file) == bytes);

    // A file that is not there gives up at once.
    const std::string missing = in.In(in.Data(), "nix.mdb");
    const ScenarioRun r = in.Run({"/MANAGER", missing}, {zq::MsgResult::Ok});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Has(in.Trace(), kAborted));
    if (r.boxes) {
        ASSERT_EQ(r.boxes->size(), 1u);
        EXPECT_EQ((*r.boxes)[0].text, zqexpect::AbortMessage(missing));
    }
}

// A database program that fails, or that ends well without writing the file, did not
// reorganise it: a failure, told even unattended, stored as one; the window never claims
// success either.
inline void ADatabaseProgramThatFailsOrWritesNothingIsAFailureToldAndStored(Installation& in) {
    const std::string file = in.DataFile();
    const std::string log = in.In(in.Data(), "ZQR_Reorg_Log.txt");
    const std::string failed = "Die Reorganisation der ZEQUORA Datendatei ist fehlgeschlagen.\n\nMögliche Ursache:\n";
    const std::string details = "\n\nEinzelheiten enthalten die Trace-Datei " + in.In(in.Prog(), "ZQR_Reorg_Trace.txt") +
                                " und die Log-Datei " + log + ".";
    const std::string stored = zqexpect::Options(1, 0, log) + "\n" +
                               zqexpect::Event("/DATEI " + file, false, zqexpect::AccessCommand(in.Access(), file)) + "\n";
    in.AccessEnds(7);
    ScenarioRun r = in.Run({"/DATEI", file}, {zq::MsgResult::Ok});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(Has(in.Trace(), "Result           : Error | exit code 7\r\n")) << in.Trace();
    EXPECT_EQ(in.Records(file), "2000");
    const std::string cause = "Das Datenbankprogramm hat die Reorganisation mit einem Fehler beendet.";
    if (r.boxes) {
        ASSERT_EQ(r.boxes->size(), 1u);
        EXPECT_EQ((*r.boxes)[0].title, "Reorg Fehler");
        EXPECT_EQ((*r.boxes)[0].text.rfind(failed + cause + "\nFehlercode: 7" + details, 0), 0u) << (*r.boxes)[0].text;
    }
    EXPECT_TRUE(Has(in.Log(), "---- Ergebnis: -- FEHLGESCHLAGEN --\r\n"));
    EXPECT_TRUE(Has(in.Log(), "- Fehler: " + cause + " / Fehlercode: 7\r\n")) << in.Log();
    EXPECT_EQ(in.ResultRecords(), stored);

    in.AccessEnds(0);
    r = in.Run({"/DATEI", file}, {zq::MsgResult::Ok});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(Has(in.Trace(), "Error            : Data file not rewritten by the database program: " + file + "\r\n"));
    if (r.boxes) {
        ASSERT_EQ(r.boxes->size(), 1u);
        EXPECT_EQ((*r.boxes)[0].text.rfind(failed + zq::reorg::msg::kDataFileNotRewritten, 0), 0u) << (*r.boxes)[0].text;
    }

    const WindowRun w = in.Window({}, {{Act::Type, file}, {Act::Start}, {Act::Ok}});
    EXPECT_EQ(w.exitCode, 2);
    if (w.boxes) {
        ASSERT_EQ(w.boxes->size(), 1u);
        EXPECT_EQ((*w.boxes)[0].title, "Reorg Fehler");
        EXPECT_EQ((*w.boxes)[0].text.rfind(failed, 0), 0u) << (*w.boxes)[0].text;
    }
}

// The database program writes the compacted data as a new file: the data file's owner and
// rights go back onto it, and the trace says what they were and what the new file had.
inline void TheDataFilesRightsAreGivenBackToTheCompactedFile(Installation& in) {
    const std::string file = in.DataFile();
    const std::string probe = in.In(in.Data(), "neu.txt");
    in.Write(probe, "");
    const std::string fresh = in.Permissions(probe);
    if (!in.RestrictRights(file)) GTEST_SKIP() << "the test cannot give the data file other rights here";
    const std::string saved = in.Permissions(file);
    ASSERT_NE(saved, fresh);
    in.AccessWritesANewFile();
    ASSERT_EQ(in.Run({"/DATEI", file}, {}).exitCode, 0);
    EXPECT_EQ(in.Permissions(file), saved);
    EXPECT_EQ(in.Records(file), "2000");
    const std::string trace = in.Trace();
    EXPECT_TRUE(Has(trace, zqexpect::PermissionsRead(file, saved))) << trace;
    EXPECT_TRUE(Has(trace, zqexpect::PermissionsRestored(file, saved, fresh))) << trace;
    EXPECT_FALSE(Has(in.Log(), "Warnung"));
}

// A data file the run may read but not write: the write message, exit 2, the file as it was.
inline void AReadOnlyDataFileGetsTheWriteMessageAndStaysUntouched(Installation& in) {
    const std::string file = in.DataFile();
    const std::string bytes = in.Read(file);
    if (!in.MakeReadOnly(file)) GTEST_SKIP() << "the test cannot make the data file read-only for the run here";
    const ScenarioRun r = in.Run({"/DATEI", file}, {zq::MsgResult::Ok, zq::MsgResult::Ok});
    EXPECT_EQ(r.exitCode, 2);
    if (r.boxes) {
        ASSERT_GE(r.boxes->size(), 1u);
        EXPECT_EQ((*r.boxes)[0].text, zqexpect::kReadOnly);
    }
    EXPECT_TRUE(in.Read(file) == bytes);
    EXPECT_EQ(in.Records(file), "2000");
}

}  // namespace zqtest::zqr

// The scenarios as tests of a fixture that is an Installation.
#define ZQ_ZQR_SCENARIO_TESTS(Fixture)                                                                  \
    ZQ_SCENARIO_TEST(Fixture, zqtest::zqr, DateiReorganisesWithBackupLogAndResultRecords)               \
    ZQ_SCENARIO_TEST(Fixture, zqtest::zqr, AutorunTakesTheRememberedFileAndRotatesBothBackupFolders)    \
    ZQ_SCENARIO_TEST(Fixture, zqtest::zqr, PathsThatNameNoUsableFileAreGivenUpWithTheAbortMessage)      \
    ZQ_SCENARIO_TEST(Fixture, zqtest::zqr, ForeignOrTruncatedFilesGetTheFormatMessagesAndStayUntouched) \
    ZQ_SCENARIO_TEST(Fixture, zqtest::zqr, AListReorganisesEachFileAndEndsWithTheWorstCode)             \
    ZQ_SCENARIO_TEST(Fixture, zqtest::zqr, LocalUpdateWorksInTheLocalFolderAndComesBack)                \
    ZQ_SCENARIO_TEST(Fixture, zqtest::zqr, WindowTypedPathStartButtonAndTheRememberedFile)              \
    ZQ_SCENARIO_TEST(Fixture, zqtest::zqr, WindowBackupQuestionsAnsweredEachWay)                        \
    ZQ_SCENARIO_TEST(Fixture, zqtest::zqr, WindowManagerSettingsQuestionAnsweredEachWay)                \
    ZQ_SCENARIO_TEST(Fixture, zqtest::zqr, ManagerModeWithALockFileThatStaysIsNotReady)                 \
    ZQ_SCENARIO_TEST(Fixture, zqtest::zqr, ManagerModeWaitsForTheLockFileThenRunsAndOffersTheRestart)   \
    ZQ_SCENARIO_TEST(Fixture, zqtest::zqr, TheDataFilesRightsAreGivenBackToTheCompactedFile)            \
    ZQ_SCENARIO_TEST(Fixture, zqtest::zqr, AReadOnlyDataFileGetsTheWriteMessageAndStaysUntouched)       \
    ZQ_SCENARIO_TEST(Fixture, zqtest::zqr, ADatabaseProgramThatFailsOrWritesNothingIsAFailureToldAndStored)
