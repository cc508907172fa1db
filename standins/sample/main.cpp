// Makes a sample installation for demos, tests and benchmarks:
//   zq-sample --dir <folder> [--size-mb N] [--deleted-share S] [--registry <folder>]
//             [--fe-version 4.1.23[_bN]] [--seed N]
// creates <folder>/program (zqm.ini, zqm.zqf) and <folder>/data/zqdata.mdb with the product's
// tables, filled to about N MB, then deletes the share S of the bulk rows so that a
// compaction visibly shrinks the file.
//   zq-sample --count <data file>
// counts the records of every table through the engine, as the reorganiser does.
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/RegistryAccess.h"
#include "platform/posix/RegistryStore.h"
#include "platform/posix/SqliteEngine.h"

namespace fs = std::filesystem;

namespace {

struct Options {
    std::string dir, registry, countFile;
    double sizeMb = 1.0;
    double deletedShare = 0.5;
    std::string feVersion = "4.1.23";
    std::uint64_t seed = 20240101;
};

class Rng {
public:
    explicit Rng(std::uint64_t seed) : s_(seed ? seed : 88172645463325252ull) {}
    std::uint64_t Next() {
        s_ ^= s_ << 13;
        s_ ^= s_ >> 7;
        s_ ^= s_ << 17;
        return s_;
    }
    int Below(int n) { return static_cast<int>(Next() % static_cast<std::uint64_t>(n)); }
    template <std::size_t N>
    const char* Pick(const std::array<const char*, N>& a) { return a[static_cast<std::size_t>(Below(static_cast<int>(N)))]; }

private:
    std::uint64_t s_;
};

constexpr std::array<const char*, 24> kNachnamen = {
    "Müller", "Schmidt", "Schneider", "Fischer", "Weber", "Meyer", "Wagner", "Becker",
    "Schulz", "Hoffmann", "Schäfer", "Koch", "Bauer", "Richter", "Klein", "Wolf",
    "Schröder", "Neumann", "Schwarz", "Zimmermann", "Braun", "Krüger", "Hofmann", "Hartmann"};
constexpr std::array<const char*, 20> kVornamen = {
    "Anna", "Jürgen", "Petra", "Klaus", "Sabine", "Michael", "Ursula", "Thomas", "Monika",
    "Stefan", "Brigitte", "Andreas", "Karin", "Frank", "Renate", "Jörg", "Heike", "Uwe",
    "Gabriele", "Matthias"};
constexpr std::array<const char*, 12> kAbteilungen = {
    "Geschäftsleitung", "Verwaltung", "Buchhaltung", "Personal", "Einkauf", "Vertrieb",
    "Produktion", "Lager", "Versand", "Qualitätssicherung", "Instandhaltung", "EDV"};
constexpr std::array<const char*, 16> kBemerkungen = {
    "", "", "", "Überstunden", "Dienstgang", "Arzttermin", "Schulung", "Kundentermin",
    "Spätschicht", "Frühschicht", "Nachtschicht", "Korrektur durch Vorgesetzten",
    "Terminal defekt, nachgetragen", "Buchung vergessen", "Dienstreise", "Gleitzeitausgleich"};
constexpr std::array<const char*, 6> kTerminals = {"T01 Pforte", "T02 Halle 1", "T03 Halle 2",
                                                   "T04 Lager", "T05 Verwaltung", "Web"};
constexpr std::array<const char*, 8> kFehlgruende = {"Urlaub", "Krankheit", "Kur", "Sonderurlaub",
                                                     "Berufsschule", "Elternzeit", "Fortbildung", "Dienstbefreiung"};

// Civil date from a day number (days since 1970-01-01).
void CivilFromDays(long long z, int& y, int& m, int& d) {
    z += 719468;
    long long era = (z >= 0 ? z : z - 146096) / 146097;
    long long doe = z - era * 146097;
    long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    long long yy = yoe + era * 400;
    long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    long long mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yy + (m <= 2));
}

std::string Stamp(long long day, int minutes) {
    int y, m, d;
    CivilFromDays(day, y, m, d);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:00", y, m, d, minutes / 60 % 24, minutes % 60);
    return buf;
}

constexpr long long kFirstDay = 17532;  // 2018-01-01

class Sql {
public:
    explicit Sql(sqlite3* db) : db_(db) {}
    void Exec(const std::string& sql) {
        char* msg = nullptr;
        if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &msg) != SQLITE_OK) {
            std::string m = msg ? msg : "?";
            sqlite3_free(msg);
            throw std::runtime_error(m + " in: " + sql.substr(0, 120));
        }
    }
    sqlite3_stmt* Prepare(const std::string& sql) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &s, nullptr) != SQLITE_OK)
            throw std::runtime_error(std::string(sqlite3_errmsg(db_)) + " in: " + sql);
        return s;
    }
    void Step(sqlite3_stmt* s) {
        if (sqlite3_step(s) != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(db_));
        sqlite3_reset(s);
    }
    long long Scalar(const std::string& sql) {
        sqlite3_stmt* s = Prepare(sql);
        long long v = sqlite3_step(s) == SQLITE_ROW ? sqlite3_column_int64(s, 0) : 0;
        sqlite3_finalize(s);
        return v;
    }

private:
    sqlite3* db_;
};

void Text(sqlite3_stmt* s, int i, const std::string& v) {
    sqlite3_bind_text(s, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
}

void WriteCrLf(const fs::path& path, const std::vector<std::string>& lines) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (const auto& l : lines) out << l << "\r\n";
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

sqlite3* OpenNew(const fs::path& path) {
    fs::remove(path);
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK)
        throw std::runtime_error("cannot create " + path.string());
    return db;
}

void MakeFrontEnd(const fs::path& path, const std::string& version) {
    // "4.1.23_b1" -> "4.1", ".23", "_b1"
    std::string v = version, beta;
    if (auto b = v.find("_b"); b != std::string::npos) {
        beta = v.substr(b);
        v = v.substr(0, b);
    }
    std::string major = v, minor;
    if (auto first = v.find('.'); first != std::string::npos) {
        if (auto second = v.find('.', first + 1); second != std::string::npos) {
            major = v.substr(0, second);
            minor = v.substr(second);
        }
    }
    sqlite3* db = OpenNew(path);
    Sql sql(db);
    sql.Exec("CREATE TABLE tbl_Intern (VI_ID INTEGER PRIMARY KEY, VI_Major TEXT, VI_Minor TEXT, "
             "VI_Beta TEXT, VI_Datum DATETIME);"
             "CREATE TABLE tbl_Formulare (FO_ID INTEGER PRIMARY KEY, FO_Name TEXT, FO_Titel TEXT);"
             "INSERT INTO tbl_Formulare (FO_Name, FO_Titel) VALUES ('frmStart', 'ZEQUORA Manager'),"
             "('frmPersonal', 'Personalstamm'), ('frmBuchungen', 'Buchungen');");
    sqlite3_stmt* s = sql.Prepare("INSERT INTO tbl_Intern (VI_Major, VI_Minor, VI_Beta, VI_Datum) "
                                  "VALUES (?1, ?2, ?3, '2024-03-01 08:00:00')");
    Text(s, 1, major);
    Text(s, 2, minor);
    Text(s, 3, beta);
    sql.Step(s);
    sqlite3_finalize(s);
    sqlite3_close(db);
}

const char* kSchema = R"(
CREATE TABLE tblCfgOptionen (OP_ID INTEGER PRIMARY KEY, OP_Firma TEXT, OP_Mandant INTEGER,
  OP_ReorgErgebnis INTEGER DEFAULT 0, OP_ReorgErgebnis_Size TEXT, OP_ReorgErgebnis_AnzahlDS INTEGER DEFAULT 0,
  OP_ReorgLog_Pfad TEXT, OP_Datenversion TEXT, OP_Rundung INTEGER DEFAULT 15);
CREATE TABLE tblEreignis (ER_ID INTEGER PRIMARY KEY AUTOINCREMENT, ER_Ereignis INTEGER, ER_Datum DATETIME,
  ER_Wert TEXT, ER_Pfad TEXT, ER_Ergebnis INTEGER DEFAULT 0, ER_Version TEXT, ER_Bediener TEXT, ER_UserErst TEXT);
CREATE TABLE tblAbteilung (AB_ID INTEGER PRIMARY KEY, AB_Nummer INTEGER, AB_Bezeichnung TEXT, AB_Leiter INTEGER);
CREATE TABLE tblKostenstelle (KS_ID INTEGER PRIMARY KEY, KS_Nummer TEXT, KS_Bezeichnung TEXT, KS_Abteilung INTEGER);
CREATE TABLE tblPersonal (PE_ID INTEGER PRIMARY KEY, PE_Nummer INTEGER, PE_Name TEXT, PE_Vorname TEXT,
  PE_Abteilung INTEGER, PE_Kostenstelle INTEGER, PE_Eintritt DATETIME, PE_Austritt DATETIME,
  PE_Sollstunden REAL, PE_Ausweis TEXT, PE_Bemerkung TEXT);
CREATE TABLE tblZeit (ZE_ID INTEGER PRIMARY KEY, ZE_PersonalID INTEGER, ZE_Datum DATETIME, ZE_Kommen DATETIME,
  ZE_Gehen DATETIME, ZE_Pause REAL, ZE_Stunden REAL, ZE_Kostenstelle INTEGER, ZE_Bemerkung TEXT);
CREATE INDEX idxZeitPersonal ON tblZeit (ZE_PersonalID, ZE_Datum);
CREATE TABLE tblBuchung (BU_ID INTEGER PRIMARY KEY, BU_PersonalID INTEGER, BU_Zeitpunkt DATETIME, BU_Art INTEGER,
  BU_Terminal TEXT, BU_Kostenstelle INTEGER, BU_Text TEXT);
CREATE INDEX idxBuchungZeitpunkt ON tblBuchung (BU_Zeitpunkt);
CREATE TABLE tblFehlzeit (FZ_ID INTEGER PRIMARY KEY, FZ_PersonalID INTEGER, FZ_Von DATETIME, FZ_Bis DATETIME,
  FZ_Grund TEXT, FZ_Genehmigt INTEGER);
CREATE TABLE tblFeiertag (FT_ID INTEGER PRIMARY KEY, FT_Datum DATETIME, FT_Name TEXT, FT_Halbtags INTEGER);
CREATE TABLE tblUrlaubsantrag (UA_ID INTEGER PRIMARY KEY, UA_PersonalID INTEGER, UA_Von DATETIME, UA_Bis DATETIME, UA_Status INTEGER);
CREATE TABLE MSysObjects (Id INTEGER PRIMARY KEY, ParentId INTEGER, Name TEXT, Type INTEGER, Flags INTEGER,
  DateCreate DATETIME, DateUpdate DATETIME);
CREATE TABLE MSysACEs (ObjectId INTEGER, SID BLOB, ACM INTEGER, FInheritable INTEGER);
CREATE TABLE qryHilfe (QH_ID INTEGER PRIMARY KEY, QH_Name TEXT, QH_Text TEXT);
CREATE TABLE usysSettings (US_Key TEXT PRIMARY KEY, US_Value TEXT);
CREATE TABLE zzImport (ZI_ID INTEGER PRIMARY KEY, ZI_Zeile TEXT);
)";

void FillSmallTables(Sql& sql, Rng& rng, long long personal) {
    sql.Exec("INSERT INTO tblCfgOptionen (OP_ID, OP_Firma, OP_Mandant, OP_ReorgErgebnis, OP_ReorgErgebnis_Size,"
             " OP_ReorgErgebnis_AnzahlDS, OP_ReorgLog_Pfad, OP_Datenversion, OP_Rundung)"
             " VALUES (1, 'Musterfirma Holz & Metall GmbH', 1, 0, '', 0, '', '4.1', 15)");
    sqlite3_stmt* s = sql.Prepare("INSERT INTO tblAbteilung (AB_Nummer, AB_Bezeichnung, AB_Leiter) VALUES (?1, ?2, ?3)");
    for (int i = 0; i < static_cast<int>(kAbteilungen.size()); ++i) {
        sqlite3_bind_int(s, 1, 100 + i * 10);
        Text(s, 2, kAbteilungen[static_cast<std::size_t>(i)]);
        sqlite3_bind_int(s, 3, i + 1);
        sql.Step(s);
    }
    sqlite3_finalize(s);
    s = sql.Prepare("INSERT INTO tblKostenstelle (KS_Nummer, KS_Bezeichnung, KS_Abteilung) VALUES (?1, ?2, ?3)");
    for (int i = 0; i < 40; ++i) {
        Text(s, 1, "KST-" + std::to_string(4000 + i * 5));
        Text(s, 2, std::string(kAbteilungen[static_cast<std::size_t>(i % 12)]) + " " + std::to_string(i / 12 + 1));
        sqlite3_bind_int(s, 3, i % 12 + 1);
        sql.Step(s);
    }
    sqlite3_finalize(s);
    s = sql.Prepare("INSERT INTO tblPersonal (PE_Nummer, PE_Name, PE_Vorname, PE_Abteilung, PE_Kostenstelle,"
                    " PE_Eintritt, PE_Austritt, PE_Sollstunden, PE_Ausweis, PE_Bemerkung)"
                    " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)");
    for (long long i = 0; i < personal; ++i) {
        sqlite3_bind_int64(s, 1, 1000 + i);
        Text(s, 2, rng.Pick(kNachnamen));
        Text(s, 3, rng.Pick(kVornamen));
        sqlite3_bind_int(s, 4, rng.Below(12) + 1);
        sqlite3_bind_int(s, 5, rng.Below(40) + 1);
        Text(s, 6, Stamp(kFirstDay - 3000 + rng.Below(3000), 0));
        if (rng.Below(10) == 0) Text(s, 7, Stamp(kFirstDay + rng.Below(1500), 0));
        else sqlite3_bind_null(s, 7);
        sqlite3_bind_double(s, 8, rng.Below(3) == 0 ? 20.0 : 38.5);
        Text(s, 9, "A" + std::to_string(500000 + i * 7));
        Text(s, 10, rng.Pick(kBemerkungen));
        sql.Step(s);
    }
    sqlite3_finalize(s);
    s = sql.Prepare("INSERT INTO tblFehlzeit (FZ_PersonalID, FZ_Von, FZ_Bis, FZ_Grund, FZ_Genehmigt) VALUES (?1, ?2, ?3, ?4, ?5)");
    for (long long i = 0; i < personal * 4; ++i) {
        long long day = kFirstDay + rng.Below(2000);
        sqlite3_bind_int64(s, 1, i % personal + 1);
        Text(s, 2, Stamp(day, 0));
        Text(s, 3, Stamp(day + rng.Below(14), 0));
        Text(s, 4, rng.Pick(kFehlgruende));
        sqlite3_bind_int(s, 5, rng.Below(5) ? -1 : 0);
        sql.Step(s);
    }
    sqlite3_finalize(s);
    const char* feiertage[] = {"Neujahr", "Karfreitag", "Ostermontag", "Tag der Arbeit", "Christi Himmelfahrt",
                               "Pfingstmontag", "Fronleichnam", "Tag der Deutschen Einheit", "Allerheiligen",
                               "1. Weihnachtstag", "2. Weihnachtstag"};
    s = sql.Prepare("INSERT INTO tblFeiertag (FT_Datum, FT_Name, FT_Halbtags) VALUES (?1, ?2, 0)");
    for (int year = 0; year < 6; ++year)
        for (int i = 0; i < 11; ++i) {
            Text(s, 1, Stamp(kFirstDay + year * 365 + i * 33, 0));
            Text(s, 2, feiertage[i]);
            sql.Step(s);
        }
    sqlite3_finalize(s);
    s = sql.Prepare("INSERT INTO tblEreignis (ER_Ereignis, ER_Datum, ER_Wert, ER_Pfad, ER_Ergebnis, ER_Version,"
                    " ER_Bediener, ER_UserErst) VALUES (?1, ?2, ?3, ?4, ?5, '4.1.23', ?6, ?7)");
    for (int i = 0; i < 60; ++i) {
        int code = i % 10 == 9 ? 5 : 1 + i % 3;
        sqlite3_bind_int(s, 1, code);
        Text(s, 2, Stamp(kFirstDay + i * 20, 7 * 60 + i));
        Text(s, 3, code == 5 ? "zqr.exe/AUTORUN" : code == 1 ? "Anmeldung" : "Export Lohn");
        if (code == 5) Text(s, 4, "\"msaccess.exe\" \"zqdata.mdb\" /repair /compact");
        else sqlite3_bind_null(s, 4);
        sqlite3_bind_int(s, 5, -1);
        Text(s, 6, rng.Pick(kVornamen));
        Text(s, 7, "verwaltung");
        sql.Step(s);
    }
    sqlite3_finalize(s);
    sql.Exec("INSERT INTO qryHilfe (QH_Name, QH_Text) VALUES ('qryAnwesenheit', 'Anwesende Mitarbeiter heute'),"
             " ('qryMonatsabschluss', 'Summen je Mitarbeiter und Monat'), ('qryFehlzeiten', 'Fehlzeiten je Grund');"
             "INSERT INTO usysSettings VALUES ('Sprache', 'DE'), ('Rundung', '15'), ('Mandant', '1'),"
             " ('LetzterExport', '2024-02-29'), ('Terminalabruf', '5');"
             "INSERT INTO zzImport (ZI_Zeile) VALUES ('1001;Müller;Anna'), ('1002;Weber;Klaus');");
    // The engine's own catalogue, as the data file's format keeps it.
    sql.Exec("INSERT INTO MSysObjects (ParentId, Name, Type, Flags, DateCreate, DateUpdate)"
             " SELECT 251658241, name, 1, 0, '2018-01-01 08:00:00', '2024-03-01 08:00:00'"
             " FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite%' ORDER BY name;"
             "INSERT INTO MSysACEs VALUES (1, x'0102', 1048575, 0), (2, x'0102', 1048575, 0);");
}

// Fills the two bulk tables until the file reaches about the target size.
void FillBulk(Sql& sql, Rng& rng, long long personal, long long targetBytes) {
    sqlite3_stmt* zeit = sql.Prepare(
        "INSERT INTO tblZeit (ZE_PersonalID, ZE_Datum, ZE_Kommen, ZE_Gehen, ZE_Pause, ZE_Stunden,"
        " ZE_Kostenstelle, ZE_Bemerkung) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)");
    sqlite3_stmt* buchung = sql.Prepare(
        "INSERT INTO tblBuchung (BU_PersonalID, BU_Zeitpunkt, BU_Art, BU_Terminal, BU_Kostenstelle, BU_Text)"
        " VALUES (?1, ?2, ?3, ?4, ?5, ?6)");
    const long long pageSize = sql.Scalar("PRAGMA page_size");
    const long long checkEvery = targetBytes < (64ll << 20) ? 50 : 5000;
    long long row = 0;
    for (;;) {
        if (row % checkEvery == 0 && sql.Scalar("PRAGMA page_count") * pageSize >= targetBytes) break;
        long long day = kFirstDay + row / personal;
        long long person = row % personal + 1;
        int kommen = 6 * 60 + rng.Below(180);
        int gehen = kommen + 7 * 60 + rng.Below(180);
        double pause = rng.Below(4) ? 0.5 : 0.75;
        sqlite3_bind_int64(zeit, 1, person);
        Text(zeit, 2, Stamp(day, 0));
        Text(zeit, 3, Stamp(day, kommen));
        Text(zeit, 4, Stamp(day, gehen));
        sqlite3_bind_double(zeit, 5, pause);
        sqlite3_bind_double(zeit, 6, std::round((gehen - kommen) / 6.0) / 10.0 - pause);
        sqlite3_bind_int(zeit, 7, rng.Below(40) + 1);
        std::string bemerkung = rng.Pick(kBemerkungen);
        if (rng.Below(3) == 0) bemerkung += std::string(bemerkung.empty() ? "" : "; ") + rng.Pick(kBemerkungen) + " " + rng.Pick(kNachnamen);
        Text(zeit, 8, bemerkung);
        sql.Step(zeit);
        for (int art = 1; art <= 2; ++art) {
            sqlite3_bind_int64(buchung, 1, person);
            Text(buchung, 2, Stamp(day, art == 1 ? kommen : gehen));
            sqlite3_bind_int(buchung, 3, art);
            Text(buchung, 4, rng.Pick(kTerminals));
            sqlite3_bind_int(buchung, 5, rng.Below(40) + 1);
            Text(buchung, 6, art == 1 ? "Kommen" : "Gehen");
            sql.Step(buchung);
        }
        ++row;
    }
    sqlite3_finalize(zeit);
    sqlite3_finalize(buchung);
}

void MakeDataFile(const fs::path& path, const Options& o) {
    fs::path building = path;
    building += ".building";
    sqlite3* db = OpenNew(building);
    Sql sql(db);
    Rng rng(o.seed);
    // Built in one go without a journal; the file only takes its name when complete.
    sql.Exec("PRAGMA auto_vacuum = NONE; PRAGMA secure_delete = OFF; PRAGMA journal_mode = OFF;"
             " PRAGMA synchronous = OFF; PRAGMA cache_size = -524288; PRAGMA locking_mode = EXCLUSIVE;"
             " PRAGMA temp_store = MEMORY;");
    sql.Exec("BEGIN");
    sql.Exec(kSchema);
    const long long target = static_cast<long long>(o.sizeMb * 1024 * 1024);
    const long long personal = std::clamp<long long>(target / (400 * 1024), 25, 4000);
    FillSmallTables(sql, rng, personal);
    FillBulk(sql, rng, personal, target);
    if (o.deletedShare > 0) {
        // Whole runs of 16 rows, spread over the table, so that pages empty out as after a
        // real clean-up of old bookings.
        long long per1000 = std::llround(o.deletedShare * 1000);
        std::string cond = " % 1000 < " + std::to_string(per1000);
        sql.Exec("DELETE FROM tblZeit WHERE ((ZE_ID / 16) * 7919)" + cond);
        sql.Exec("DELETE FROM tblBuchung WHERE ((BU_ID / 32) * 7919)" + cond);
    }
    sql.Exec("COMMIT");
    if (sqlite3_close(db) != SQLITE_OK) throw std::runtime_error("closing the new data file failed");
    fs::rename(building, path);
}

void WriteRegistry(const std::string& folder, const std::string& accessFolder) {
    fs::create_directories(folder);
    zq::posix::RegistryStore store(folder);
    for (const char* key : {"Software\\Microsoft\\Office\\16.0\\Access\\InstallRoot",
                            "Software\\Microsoft\\Office\\16.0\\Common\\InstallRoot"}) {
        if (zq::WriteStringValue(store, zq::RegRoot::LocalMachine, key, "Path", accessFolder) != 0)
            throw std::runtime_error("cannot write the registry store in " + folder + ": " + store.LastError());
    }
}

std::string ProgramFolder() {
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return fs::current_path().string();
    return self.parent_path().string();
}

int Count(const std::string& file) {
    zq::posix::SqliteEngine engine;
    zq::dao::Error error;
    auto db = engine.OpenDatabase(file, false, false, ";pwd=", error);
    if (!db) {
        std::cerr << "zq-sample: " << error.number << " " << error.description << "\n";
        return 2;
    }
    long long total = 0;
    for (const auto& table : db->TableNames()) {
        auto rs = db->OpenRecordset("select * from [" + table + "]", zq::dao::RecordsetType::Snapshot, error);
        if (!rs) {
            std::cerr << "zq-sample: " << table << ": " << error.number << " " << error.description << "\n";
            return 3;
        }
        long n = rs->RecordCount();
        if (n > 0) {
            rs->MoveLast();
            n = rs->RecordCount();
        }
        rs->Close();
        total += n;
        std::cout << table << "\t" << n << "\n";
    }
    std::cout << "total\t" << total << "\n";
    db->Close();
    return 0;
}

int Usage(const std::string& why) {
    std::cerr << "zq-sample: " << why << "\n"
              << "usage: zq-sample --dir <folder> [--size-mb N] [--deleted-share 0..0.95]"
                 " [--registry <folder>] [--fe-version 4.1.23[_bN]] [--seed N]\n"
                 "       zq-sample --count <data file>\n";
    return 1;
}

bool ParseNumber(const std::string& text, double& out) {
    char* end = nullptr;
    out = std::strtod(text.c_str(), &end);
    return !text.empty() && *end == '\0' && std::isfinite(out);
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    std::vector<std::string> args(argv + 1, argv + argc);
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) return false;
            out = args[++i];
            return true;
        };
        std::string v;
        double n = 0;
        if (a == "--dir" && value(o.dir)) continue;
        if (a == "--registry" && value(o.registry)) continue;
        if (a == "--count" && value(o.countFile)) continue;
        if (a == "--fe-version" && value(o.feVersion)) continue;
        if (a == "--size-mb" && value(v) && ParseNumber(v, n) && n > 0 && n <= 65536) {
            o.sizeMb = n;
            continue;
        }
        if (a == "--deleted-share" && value(v) && ParseNumber(v, n) && n >= 0 && n <= 0.95) {
            o.deletedShare = n;
            continue;
        }
        if (a == "--seed" && value(v) && ParseNumber(v, n) && n >= 0) {
            o.seed = static_cast<std::uint64_t>(n);
            continue;
        }
        return Usage("bad or incomplete argument '" + a + "'");
    }
    if (!o.countFile.empty()) return Count(o.countFile);
    if (o.dir.empty()) return Usage("--dir is missing");
    try {
        auto started = std::chrono::steady_clock::now();
        fs::path root = fs::absolute(o.dir);
        fs::path program = root / "program", data = root / "data";
        fs::create_directories(program);
        fs::create_directories(data / "UpdStore");
        std::string accessFolder = ProgramFolder() + "/";
        if (!fs::exists(accessFolder + "msaccess.exe"))
            std::cerr << "zq-sample: warning: no msaccess.exe in " << accessFolder << "\n";
        WriteCrLf(program / "zqm.ini",
                  {"[Datenbasis]", "Version=16.0", "Bit=X", "Pfad=" + accessFolder, "",
                   "[Datendatei]", "Pfad=" + data.string() + "/", "Netzwerk=X", "", "[Update]", "Pfad="});
        MakeFrontEnd(program / "zqm.zqf", o.feVersion);
        fs::path dataFile = data / "zqdata.mdb";
        MakeDataFile(dataFile, o);
        if (!o.registry.empty()) WriteRegistry(o.registry, accessFolder);
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count();
        std::cout << "sample installation in " << root.string() << "\n"
                  << "data file " << dataFile.string() << " (" << fs::file_size(dataFile) << " bytes, "
                  << ms << " ms)\n";
    } catch (const std::exception& e) {
        std::cerr << "zq-sample: " << e.what() << "\n";
        return 2;
    }
    return 0;
}
