#include "platform/posix/SqliteEngine.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "support/TestSupport.h"

namespace {

using zq::dao::Error;
using zq::dao::RecordsetType;
using zq::dao::Value;
using zq::posix::LockFilePath;
using zq::posix::SqliteEngine;

void MakeDb(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    char* msg = nullptr;
    int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &msg);
    std::string m = msg ? msg : "";
    sqlite3_free(msg);
    sqlite3_close(db);
    ASSERT_EQ(rc, SQLITE_OK) << m;
}

std::string QueryText(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* s = nullptr;
    std::string out = "<error>";
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) == SQLITE_OK) {
        int rc = sqlite3_step(s);
        if (rc == SQLITE_ROW) {
            const auto* t = sqlite3_column_text(s, 0);
            out = t ? reinterpret_cast<const char*>(t) : "<null>";
        } else {
            out = "<none>";
        }
    }
    sqlite3_finalize(s);
    sqlite3_close(db);
    return out;
}

const char* kPeople =
    "CREATE TABLE tblPersonal (PE_ID INTEGER PRIMARY KEY, PE_Name TEXT, PE_Eintritt DATETIME, PE_Soll REAL);"
    "CREATE TABLE tblEreignis (ER_ID INTEGER PRIMARY KEY AUTOINCREMENT, ER_Ereignis INTEGER, ER_Datum DATETIME,"
    " ER_Wert TEXT, ER_Ergebnis INTEGER DEFAULT 0, ER_Bediener TEXT);"
    "CREATE TABLE MSysObjects (Id INTEGER, Name TEXT);"
    "CREATE TABLE alpha (x);"
    "CREATE TABLE tblCfgOptionen (OP_ReorgErgebnis INTEGER, OP_ReorgErgebnis_Size TEXT,"
    " OP_ReorgErgebnis_AnzahlDS INTEGER, OP_ReorgLog_Pfad TEXT);"
    "INSERT INTO tblCfgOptionen VALUES (0, '', 0, 'alt');"
    "WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM c WHERE i < 500)"
    " INSERT INTO tblPersonal SELECT i, 'Name ' || i, '2020-01-02 03:04:05', 38.5 FROM c;"
    "INSERT INTO tblEreignis (ER_Ereignis, ER_Wert) VALUES (1, 'a');";

class EngineTest : public ::testing::Test {
protected:
    zqtest::TempDir dir;
    SqliteEngine engine;
    std::string file = dir / "zqdata.mdb";

    void SetUp() override { MakeDb(file, kPeople); }

    std::unique_ptr<zq::dao::Database> Open(bool readOnly = false, bool exclusive = false) {
        Error e;
        auto db = engine.OpenDatabase(file, exclusive, readOnly, ";pwd=", e);
        EXPECT_TRUE(db) << e.number << " " << e.description;
        return db;
    }
    long OpenError(const std::string& path, bool readOnly = false, bool exclusive = false) {
        Error e;
        auto db = engine.OpenDatabase(path, exclusive, readOnly, ";pwd=", e);
        if (db) return 0;
        EXPECT_FALSE(e.description.empty());
        return e.number;
    }
};

// A second process that holds the file inside BEGIN EXCLUSIVE (no lock file at all).
class ExclusiveHolder {
public:
    explicit ExclusiveHolder(const std::string& path) {
        int p[2];
        if (pipe(p) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            close(p[0]);
            sqlite3* db = nullptr;
            sqlite3_open(path.c_str(), &db);
            char ok = sqlite3_exec(db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) == SQLITE_OK ? 'y' : 'n';
            if (write(p[1], &ok, 1) != 1) _exit(1);
            sleep(30);
            _exit(0);
        }
        close(p[1]);
        char c = 0;
        ready_ = read(p[0], &c, 1) == 1 && c == 'y';
        close(p[0]);
    }
    ~ExclusiveHolder() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    bool Ready() const { return ready_; }

private:
    pid_t pid_ = -1;
    bool ready_ = false;
};

TEST_F(EngineTest, FilesThatAreNoDatabaseGive3343AndLeaveNoLockFile) {
    std::string sqliteBytes = zqtest::ReadFile(file);
    struct Case {
        const char* name;
        std::string content;
    } cases[] = {
        {"text.mdb", std::string(2000, 'x') + "\r\nHallo Welt\r\n"},
        {"random.mdb", [] {
             std::string s;
             unsigned v = 12345;
             for (int i = 0; i < 8192; ++i) s += static_cast<char>((v = v * 1103515245u + 12345u) >> 24);
             return s;
         }()},
        {"jet.mdb", std::string("\x00\x01\x00\x00Standard Jet DB\x00", 20) + std::string(4076, '\x00')},
        {"cut.mdb", sqliteBytes.substr(0, 60)},
        {"empty.mdb", ""},
    };
    for (const auto& c : cases) {
        std::string path = dir / c.name;
        zqtest::WriteFile(path, c.content);
        EXPECT_EQ(OpenError(path), zq::dao::kErrUnrecognisedFormat) << c.name;
        EXPECT_EQ(OpenError(path, true), zq::dao::kErrUnrecognisedFormat) << c.name;
        EXPECT_FALSE(zqtest::FileExists(LockFilePath(path))) << c.name;
        EXPECT_EQ(zqtest::ReadFile(path), c.content) << c.name << " was changed";
    }
}

TEST_F(EngineTest, MissingFileFolderAndBusyHolderGiveTheirNumbers) {
    Error e;
    EXPECT_FALSE(engine.OpenDatabase(dir / "nix.mdb", false, false, "", e));
    EXPECT_EQ(e.number, zq::dao::kErrFileNotFound);
    EXPECT_NE(e.description.find("nix.mdb"), std::string::npos);
    EXPECT_FALSE(zqtest::FileExists(dir / "nix.ldb"));

    long folder = OpenError(dir.Path());
    EXPECT_NE(folder, 0);
    EXPECT_NE(folder, zq::dao::kErrUnrecognisedFormat);

    ExclusiveHolder holder(file);
    ASSERT_TRUE(holder.Ready());
    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(OpenError(file), zq::dao::kErrLockedExclusive);
    EXPECT_EQ(OpenError(file, true), zq::dao::kErrLockedExclusive);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3));
    EXPECT_FALSE(zqtest::FileExists(LockFilePath(file)));
}

TEST_F(EngineTest, TablesListedByNameWithoutTheEnginesOwn) {
    auto db = Open();
    ASSERT_TRUE(db);
    std::vector<std::string> expected = {"alpha", "MSysObjects", "tblCfgOptionen", "tblEreignis", "tblPersonal"};
    EXPECT_EQ(db->TableNames(), expected);  // sqlite_sequence is left out
}

TEST_F(EngineTest, WholeTableCountIsExactAtOnceAndMoveLastReachesTheLastRecord) {
    auto db = Open();
    ASSERT_TRUE(db);
    for (const char* sql : {"select * from [tblPersonal]", "SELECT * FROM tblpersonal;", "tblPersonal"}) {
        Error e;
        auto rs = db->OpenRecordset(sql, RecordsetType::Snapshot, e);
        ASSERT_TRUE(rs) << sql << ": " << e.description;
        EXPECT_EQ(rs->RecordCount(), 500) << sql;
        EXPECT_EQ(std::get<std::string>(rs->Field("pe_name")), "Name 1");
        rs->MoveLast();
        EXPECT_EQ(rs->RecordCount(), 500);
        EXPECT_EQ(std::get<std::int64_t>(rs->Field("PE_ID")), 500);
        EXPECT_FALSE(rs->Eof());
        rs->MoveNext();
        EXPECT_TRUE(rs->Eof());
        rs->MoveFirst();
        EXPECT_EQ(std::get<std::int64_t>(rs->Field("PE_ID")), 1);
        rs->MoveNext();
        EXPECT_EQ(std::get<std::int64_t>(rs->Field("PE_ID")), 2);
    }
    Error e;
    auto missing = db->OpenRecordset("select * from [tblNix]", RecordsetType::Snapshot, e);
    EXPECT_FALSE(missing);
    EXPECT_NE(e.number, 0);
}

TEST_F(EngineTest, QueryCountGrowsAsRecordsAreVisitedAndIsExactAfterMoveLast) {
    auto db = Open();
    ASSERT_TRUE(db);
    Error e;
    auto rs = db->OpenRecordset("SELECT PE_ID, PE_Name FROM tblPersonal WHERE PE_ID > 200 ORDER BY PE_ID",
                                RecordsetType::Snapshot, e);
    ASSERT_TRUE(rs) << e.description;
    EXPECT_EQ(rs->RecordCount(), 1);
    rs->MoveNext();
    EXPECT_EQ(rs->RecordCount(), 2);
    rs->MoveLast();
    EXPECT_EQ(rs->RecordCount(), 300);
    EXPECT_EQ(std::get<std::int64_t>(rs->Field("PE_ID")), 500);
    rs->MoveNext();
    EXPECT_TRUE(rs->Eof());

    auto none = db->OpenRecordset("SELECT * FROM tblEreignis WHERE 1 = 2", RecordsetType::Snapshot, e);
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->Eof());
    EXPECT_TRUE(none->Bof());
    EXPECT_EQ(none->RecordCount(), 0);
    Error fe;
    EXPECT_TRUE(std::holds_alternative<std::monostate>(none->Field("ER_Wert", &fe)));
    EXPECT_EQ(fe.number, 3021);
}

TEST_F(EngineTest, AddNewThroughEmptyQueryStoresEveryKindOfValue) {
    {
        auto db = Open();
        ASSERT_TRUE(db);
        Error e;
        auto rs = db->OpenRecordset("SELECT * FROM tblEreignis WHERE 1 = 2", RecordsetType::Dynaset, e);
        ASSERT_TRUE(rs) << e.description;
        rs->AddNew();
        EXPECT_FALSE(rs->SetField("ER_Ereignis", std::int64_t{5}));
        EXPECT_FALSE(rs->SetField("ER_Datum", zq::DateTime{2024, 3, 5, 14, 7, 9}));
        EXPECT_FALSE(rs->SetField("er_wert", std::string("zqr.exe/AUTORUN")));
        EXPECT_FALSE(rs->SetField("ER_Ergebnis", std::int64_t{-1}));
        EXPECT_FALSE(rs->SetField("ER_Bediener", std::monostate{}));
        EXPECT_EQ(rs->SetField("ER_Gibtsnicht", std::string("x")).number, 3265);
        Error u = rs->Update();
        EXPECT_FALSE(u) << u.description;
        EXPECT_EQ(rs->Update().number, 3020);  // no second update without AddNew or Edit
        db->Close();
    }
    EXPECT_EQ(QueryText(file, "SELECT ER_Datum FROM tblEreignis WHERE ER_ID = 2"), "2024-03-05 14:07:09");
    EXPECT_EQ(QueryText(file, "SELECT ER_Ergebnis FROM tblEreignis WHERE ER_ID = 2"), "-1");
    EXPECT_EQ(QueryText(file, "SELECT ER_Bediener FROM tblEreignis WHERE ER_ID = 2"), "<null>");
    auto db = Open(true);
    Error e;
    auto rs = db->OpenRecordset("SELECT * FROM tblEreignis WHERE ER_ID = 2", RecordsetType::Snapshot, e);
    ASSERT_TRUE(rs);
    EXPECT_EQ(std::get<zq::DateTime>(rs->Field("ER_Datum")), (zq::DateTime{2024, 3, 5, 14, 7, 9}));
    EXPECT_EQ(std::get<std::int64_t>(rs->Field("ER_Ereignis")), 5);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(rs->Field("ER_Bediener")));
}

TEST_F(EngineTest, EditOfFirstRecordIsStoredAndCommittedAtOnce) {
    auto db = Open();
    ASSERT_TRUE(db);
    Error e;
    auto rs = db->OpenRecordset("select * from tblCfgOptionen", RecordsetType::Dynaset, e);
    ASSERT_TRUE(rs);
    ASSERT_GT(rs->RecordCount(), 0);
    rs->MoveFirst();
    rs->Edit();
    EXPECT_FALSE(rs->SetField("OP_ReorgErgebnis_Size", std::string("1.234,5")));
    EXPECT_FALSE(rs->SetField("OP_ReorgErgebnis", std::int64_t{1}));
    EXPECT_FALSE(rs->SetField("OP_ReorgErgebnis_AnzahlDS", std::int64_t{-5}));
    EXPECT_FALSE(rs->Update());
    EXPECT_EQ(std::get<std::int64_t>(rs->Field("OP_ReorgErgebnis_AnzahlDS")), -5);
    EXPECT_EQ(QueryText(file, "SELECT OP_ReorgErgebnis_Size || '|' || OP_ReorgErgebnis || '|' ||"
                              " OP_ReorgErgebnis_AnzahlDS || '|' || OP_ReorgLog_Pfad FROM tblCfgOptionen"),
              "1.234,5|1|-5|alt");

    // An edit in the middle of a query that is still being read is committed too.
    auto q = db->OpenRecordset("SELECT * FROM tblPersonal WHERE PE_ID > 10", RecordsetType::Dynaset, e);
    ASSERT_TRUE(q) << e.description;
    q->MoveNext();
    q->MoveNext();
    ASSERT_EQ(std::get<std::int64_t>(q->Field("PE_ID")), 13);
    q->Edit();
    EXPECT_FALSE(q->SetField("PE_Name", std::string("Schäfer")));
    EXPECT_FALSE(q->Update());
    EXPECT_EQ(QueryText(file, "SELECT PE_Name FROM tblPersonal WHERE PE_ID = 13"), "Schäfer");
    q->MoveNext();
    EXPECT_EQ(std::get<std::int64_t>(q->Field("PE_ID")), 14);
    q->MoveLast();
    EXPECT_EQ(q->RecordCount(), 490);
}

TEST_F(EngineTest, SnapshotsAndReadOnlyDatabasesRefuseChanges) {
    {
        auto db = Open();
        Error e;
        auto rs = db->OpenRecordset("tblPersonal", RecordsetType::Snapshot, e);
        ASSERT_TRUE(rs);
        rs->Edit();
        EXPECT_EQ(rs->SetField("PE_Name", std::string("x")).number, 3027);
        EXPECT_EQ(rs->Update().number, 3027);
        auto agg = db->OpenRecordset("SELECT count(*) AS n FROM tblPersonal", RecordsetType::Dynaset, e);
        ASSERT_TRUE(agg);
        EXPECT_EQ(std::get<std::int64_t>(agg->Field("n")), 500);
        agg->Edit();
        EXPECT_NE(agg->Update().number, 0);
    }
    auto db = Open(true);
    Error e;
    auto rs = db->OpenRecordset("tblPersonal", RecordsetType::Dynaset, e);
    ASSERT_TRUE(rs);
    rs->Edit();
    rs->SetField("PE_Name", std::string("x"));
    EXPECT_EQ(rs->Update().number, 3027);
    EXPECT_EQ(QueryText(file, "SELECT PE_Name FROM tblPersonal WHERE PE_ID = 1"), "Name 1");
}

TEST_F(EngineTest, RecordsetOutlivingItsDatabaseFailsCleanly) {
    auto db = Open();
    Error e;
    auto rs = db->OpenRecordset("tblPersonal", RecordsetType::Dynaset, e);
    ASSERT_TRUE(rs);
    db->Close();
    EXPECT_TRUE(rs->Eof());
    Error fe;
    rs->Field("PE_Name", &fe);
    EXPECT_NE(fe.number, 0);
    rs->Edit();
    EXPECT_NE(rs->Update().number, 0);
    EXPECT_FALSE(zqtest::FileExists(LockFilePath(file)));
}

TEST_F(EngineTest, LockFileLivesAsLongAsTheLastHolderInThisProcess) {
    const std::string ldb = dir / "zqdata.ldb";
    EXPECT_EQ(LockFilePath(file), ldb);
    EXPECT_EQ(LockFilePath("/a.b/zqm"), "/a.b/zqm.ldb");
    auto first = Open();
    ASSERT_TRUE(zqtest::FileExists(ldb));
    auto second = Open(true);
    ASSERT_TRUE(second);
    // An exclusive open is refused while others hold the file, and vice versa.
    EXPECT_EQ(OpenError(file, false, true), zq::dao::kErrLockedExclusive);
    first->Close();
    EXPECT_TRUE(zqtest::FileExists(ldb));
    second->Close();
    EXPECT_FALSE(zqtest::FileExists(ldb));

    auto exclusive = Open(false, true);
    ASSERT_TRUE(exclusive);
    EXPECT_EQ(OpenError(file), zq::dao::kErrLockedExclusive);
    exclusive->Close();
    EXPECT_FALSE(zqtest::FileExists(ldb));

    // A stale lock file (nobody holds it) is no obstacle and goes with the last close.
    zqtest::WriteFile(ldb, "HOST01  user\n");
    auto db = Open();
    ASSERT_TRUE(db);
    db->Close();
    EXPECT_FALSE(zqtest::FileExists(ldb));
}

// Runs a program as the unprivileged user, who (unlike root) is stopped by file modes.
bool CanRunAsNobody() {
    return access("/usr/sbin/runuser", X_OK) == 0 &&
           zqtest::Run({"/usr/sbin/runuser", "-u", "nobody", "--", "/bin/true"}, {}, "", 10000).exitCode == 0;
}

TEST_F(EngineTest, ReadOnlyFileOrFolderGives3051ForWritingOnly) {
    if (!CanRunAsNobody()) GTEST_SKIP() << "runuser -u nobody is not available; root ignores file modes";
    const std::string sample = zqtest::BinDir() + "/zq-sample";
    const std::string standin = zqtest::BinDir() + "/msaccess.exe";
    ASSERT_TRUE(zqtest::FileExists(sample) && zqtest::FileExists(standin)) << "build zq_sample and zq_msaccess";
    chmod(dir.Path().c_str(), 0777);
    const std::string ro = dir / "ro.mdb";
    MakeDb(ro, "CREATE TABLE tbl_Intern (VI_Major TEXT, VI_Minor TEXT, VI_Beta TEXT);"
               "INSERT INTO tbl_Intern VALUES ('4.1', '.23', '');");
    chmod(ro.c_str(), 0444);
    auto asNobody = [](std::vector<std::string> args) {
        args.insert(args.begin(), {"/usr/sbin/runuser", "-u", "nobody", "--"});
        return zqtest::Run(args, {}, "", 30000);
    };
    // zq-sample --count opens writable, as the reorganiser does.
    auto writable = asNobody({sample, "--count", ro});
    EXPECT_NE(writable.exitCode, 0);
    EXPECT_NE(writable.err.find("3051"), std::string::npos) << writable.err;
    // Reading the same file is allowed.
    auto reading = asNobody({standin, "/runtime", ro});
    EXPECT_EQ(reading.exitCode, 0) << reading.err;
    EXPECT_NE(reading.out.find("4.1.23"), std::string::npos);
    EXPECT_FALSE(zqtest::FileExists(dir / "ro.ldb"));

    // A writable file in a folder where no lock file can be made.
    const std::string sub = dir / "sub";
    std::filesystem::create_directory(sub);
    MakeDb(sub + "/zqdata.mdb", "CREATE TABLE t (x);");
    MakeDb(sub + "/zqm.zqf", "CREATE TABLE tbl_Intern (VI_Major TEXT, VI_Minor TEXT, VI_Beta TEXT);"
                             "INSERT INTO tbl_Intern VALUES ('4.1', '.24', '_b2');");
    chmod((sub + "/zqdata.mdb").c_str(), 0666);
    chmod(sub.c_str(), 0555);
    auto folder = asNobody({sample, "--count", sub + "/zqdata.mdb"});
    EXPECT_NE(folder.err.find("3051"), std::string::npos) << folder.err;
    // Reading works there without a lock file.
    auto frontEnd = asNobody({standin, "/runtime", sub + "/zqm.zqf"});
    EXPECT_EQ(frontEnd.exitCode, 0) << frontEnd.err;
    EXPECT_NE(frontEnd.out.find("4.1.24_b2"), std::string::npos);
    chmod(sub.c_str(), 0755);
}

}  // namespace
