// The DAO adapter as the programs use it, driving the stand-in DAO server registered in the
// test's Wine prefix: error numbers, tables, counts, navigation, editing, lock files.
#include <gtest/gtest.h>

#include <thread>

#include "platform/win32/DaoEngine.h"
#include "platform/win32/WinText.h"
#include "win32/WinStandinSupport.h"

namespace {

using zq::DateTime;
using zq::dao::Error;
using zq::dao::RecordsetType;
using zq::dao::Value;
using zqwin::Exists;
using zqwin::Query;
using zqwin::Sql;

constexpr const char* kSchema =
    "CREATE TABLE tblPersonal (id INTEGER PRIMARY KEY, name TEXT, born DATETIME, note TEXT);"
    "INSERT INTO tblPersonal (name, born, note) VALUES ('Anna', '1980-02-29 00:00:00', NULL),"
    " ('Jürgen', '1975-12-31 23:59:58', 'x'), ('Zoë', NULL, '');"
    "CREATE TABLE MSysObjects (id INTEGER);"
    "INSERT INTO MSysObjects VALUES (1);"
    "CREATE TABLE tblZeit (id INTEGER PRIMARY KEY, t DATETIME);"
    "CREATE TABLE tblCfgOptionen (OP_ReorgErgebnis INTEGER, OP_ReorgErgebnis_Size TEXT,"
    " OP_ReorgErgebnis_AnzahlDS INTEGER, OP_ReorgLog_Pfad TEXT);"
    "INSERT INTO tblCfgOptionen VALUES (0, '', 0, 'old');"
    "CREATE TABLE tblEreignis (ER_ID INTEGER PRIMARY KEY, ER_Ereignis INTEGER, ER_Datum DATETIME,"
    " ER_Wert TEXT, ER_Pfad TEXT, ER_Ergebnis INTEGER, ER_Version TEXT, ER_Bediener TEXT,"
    " ER_UserErst TEXT DEFAULT 'nobody');";

class DaoEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        data = folder.File("zqdata.mdb");
        std::string error;
        ASSERT_TRUE(Sql(data, kSchema, &error)) << error;
    }

    std::unique_ptr<zq::dao::Database> Open(const std::string& path, Error& error, bool exclusive = false,
                                            bool readOnly = false) {
        return engine.OpenDatabase(path, exclusive, readOnly, ";pwd=", error);
    }

    zqwin::ComApartment com;
    zqwin::TempFolder folder;
    std::string data;
    zq::win32::DaoEngine engine;
};

TEST_F(DaoEngineTest, ListsTablesCountsAndNavigatesAsTheLinuxEngine) {
    Error error;
    auto db = Open(data, error);
    ASSERT_TRUE(db) << error.number << " " << error.description;
    EXPECT_EQ(engine.ProgId(), "DAO.DBEngine.120");
    // The engine's own tables are listed: the census leaves them out by name.
    EXPECT_EQ(db->TableNames(), (std::vector<std::string>{"MSysObjects", "tblCfgOptionen", "tblEreignis",
                                                          "tblPersonal", "tblZeit"}));

    auto rs = db->OpenRecordset("select * from [tblPersonal]", RecordsetType::Snapshot, error);
    ASSERT_TRUE(rs) << error.description;
    EXPECT_GT(rs->RecordCount(), 0);
    rs->MoveLast();
    EXPECT_EQ(rs->RecordCount(), 3);
    EXPECT_EQ(std::get<std::string>(rs->Field("name")), "Zoë");
    rs->MoveFirst();
    EXPECT_FALSE(rs->Bof());
    EXPECT_EQ(std::get<std::string>(rs->Field("NAME")), "Anna");
    EXPECT_EQ(std::get<DateTime>(rs->Field("born")), (DateTime{1980, 2, 29, 0, 0, 0}));
    EXPECT_TRUE(std::holds_alternative<std::monostate>(rs->Field("note")));
    EXPECT_EQ(std::get<std::int64_t>(rs->Field("id")), 1);
    std::vector<std::string> names;
    for (; !rs->Eof(); rs->MoveNext()) names.push_back(std::get<std::string>(rs->Field("name")));
    EXPECT_EQ(names, (std::vector<std::string>{"Anna", "Jürgen", "Zoë"}));
    Error fieldError;
    (void)rs->Field("name", &fieldError);
    EXPECT_EQ(fieldError.number, 3021) << "no current record after the last";
    (void)rs->Field("nosuchfield", &fieldError);
    EXPECT_EQ(fieldError.number, 3265);
    rs->Close();

    auto empty = db->OpenRecordset("tblZeit", RecordsetType::Snapshot, error);
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->Eof());
    EXPECT_TRUE(empty->Bof());
    EXPECT_EQ(empty->RecordCount(), 0);

    EXPECT_FALSE(db->OpenRecordset("select * from [tblNichtDa]", RecordsetType::Snapshot, error));
    EXPECT_EQ(error.number, 3078);
    EXPECT_FALSE(db->OpenRecordset("selec * frm x", RecordsetType::Snapshot, error));
    EXPECT_EQ(error.number, 3131);
    db->Close();
}

TEST_F(DaoEngineTest, EditsAndAddsRecordsWithDatesNullNumbersAndText) {
    Error error;
    auto db = Open(data, error);
    ASSERT_TRUE(db) << error.description;
    auto rs = db->OpenRecordset("select * from tblCfgOptionen", RecordsetType::Dynaset, error);
    ASSERT_TRUE(rs) << error.description;
    rs->MoveFirst();
    rs->Edit();
    EXPECT_FALSE(rs->SetField("OP_ReorgErgebnis_Size", std::string("1.234,5")));
    EXPECT_FALSE(rs->SetField("OP_ReorgErgebnis", std::int64_t{-1}));
    EXPECT_FALSE(rs->SetField("OP_ReorgErgebnis_AnzahlDS", std::int64_t{2147483647}));
    EXPECT_EQ(rs->SetField("OP_Nichts", std::int64_t{1}).number, 3265);
    EXPECT_FALSE(rs->Update());
    rs->Close();

    auto add = db->OpenRecordset("SELECT * FROM tblEreignis WHERE 1 = 2", RecordsetType::Dynaset, error);
    ASSERT_TRUE(add) << error.description;
    add->AddNew();
    EXPECT_FALSE(add->SetField("ER_Ereignis", std::int64_t{5}));
    EXPECT_FALSE(add->SetField("ER_Datum", DateTime{2026, 12, 7, 13, 45, 10}));
    EXPECT_FALSE(add->SetField("ER_Wert", std::string("zqr.exe/AUTORUN äöü€")));
    EXPECT_FALSE(add->SetField("ER_Ergebnis", std::int64_t{-1}));
    EXPECT_FALSE(add->SetField("ER_Bediener", Value{}));
    EXPECT_FALSE(add->Update());
    add->Close();

    // A snapshot cannot be changed: the engine's number arrives at the first change.
    auto snap = db->OpenRecordset("tblCfgOptionen", RecordsetType::Snapshot, error);
    ASSERT_TRUE(snap);
    snap->Edit();
    EXPECT_EQ(snap->SetField("OP_ReorgErgebnis", std::int64_t{1}).number, 3027);
    EXPECT_EQ(snap->Update().number, 3027);
    db->Close();

    // Checked with SQLite itself, not through the code under test.
    EXPECT_EQ(Query(data, "SELECT OP_ReorgErgebnis || '|' || OP_ReorgErgebnis_Size || '|' || "
                          "OP_ReorgErgebnis_AnzahlDS || '|' || OP_ReorgLog_Pfad FROM tblCfgOptionen"),
              (std::vector<std::string>{"-1|1.234,5|2147483647|old"}));
    EXPECT_EQ(Query(data, "SELECT ER_Ereignis || '|' || ER_Datum || '|' || ER_Wert || '|' || ER_Ergebnis || '|' || "
                          "(ER_Bediener IS NULL) || '|' || ER_UserErst FROM tblEreignis"),
              (std::vector<std::string>{"5|2026-12-07 13:45:10|zqr.exe/AUTORUN äöü€|-1|1|nobody"}));
}

TEST_F(DaoEngineTest, FailedOpensCarryTheEngineErrorNumbers) {
    Error error;
    EXPECT_FALSE(Open(folder.File("fehlt.mdb"), error));
    EXPECT_EQ(error.number, 3024) << error.description;

    const std::string text = folder.File("text.mdb");
    ASSERT_TRUE(zqwin::WriteAll(text, std::string(4096, 'x') + "\r\nkeine Datenbank\r\n"));
    EXPECT_FALSE(Open(text, error));
    EXPECT_EQ(error.number, 3343) << error.description;

    const std::string empty = folder.File("leer.mdb");
    ASSERT_TRUE(zqwin::WriteAll(empty, ""));
    EXPECT_FALSE(Open(empty, error));
    EXPECT_EQ(error.number, 3343) << error.description;

    const std::string cut = folder.File("kurz.mdb");
    ASSERT_TRUE(zqwin::WriteAll(cut, zqwin::ReadAll(data).substr(0, 60)));
    EXPECT_FALSE(Open(cut, error));
    EXPECT_EQ(error.number, 3343) << error.description;
    for (const auto& f : {text, empty, cut}) EXPECT_FALSE(Exists(f.substr(0, f.size() - 4) + ".ldb")) << f;

    // A read-only file opens for reading, never for writing.
    const std::string locked = folder.File("schreibgeschuetzt.mdb");
    ASSERT_TRUE(CopyFileW(zq::win32::Wide(data).c_str(), zq::win32::Wide(locked).c_str(), FALSE));
    ASSERT_TRUE(SetFileAttributesW(zq::win32::Wide(locked).c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(Open(locked, error));
    EXPECT_EQ(error.number, 3051) << error.description;
    auto reader = Open(locked, error, false, true);
    ASSERT_TRUE(reader) << error.number << " " << error.description;
    EXPECT_EQ(reader->TableNames().size(), 5u);
}

TEST_F(DaoEngineTest, AFileHeldExclusivelyGives3045UntilReleased) {
    Error error;
    auto holder = Open(data, error, true);
    ASSERT_TRUE(holder) << error.description;
    EXPECT_FALSE(Open(data, error));
    EXPECT_EQ(error.number, 3045) << error.description;
    EXPECT_FALSE(Open(data, error, false, true));
    EXPECT_EQ(error.number, 3045) << error.description;
    // The holder shares the file itself with nobody, as the database engine does.
    HANDLE h = CreateFileW(zq::win32::Wide(data).c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    holder->Close();
    auto db = Open(data, error);
    EXPECT_TRUE(db) << error.description;
}

TEST_F(DaoEngineTest, AnotherProcessCompactingTheFileGives3045) {
    zqwin::Process access("\"" + zqwin::BinDir() + "\\msaccess.exe\" \"" + data + "\" /repair /compact",
                          {"ZEQUORA_STANDIN_DELAY_MS=5000"});
    ASSERT_TRUE(access.Started());
    const std::string ldb = folder.File("zqdata.ldb");
    ASSERT_TRUE(zqwin::WaitFor([&] { return Exists(ldb); }, 20000));
    Error error;
    EXPECT_FALSE(Open(data, error));
    EXPECT_EQ(error.number, 3045) << error.description;
    EXPECT_EQ(access.Wait(), 0) << access.Output();
    auto db = Open(data, error);
    EXPECT_TRUE(db) << error.description;
}

TEST_F(DaoEngineTest, LockFileIsHeldWhileOpenAndRemovedAtTheLastClose) {
    const std::string ldb = folder.File("zqdata.ldb");
    const std::wstring wideLdb = zq::win32::Wide(ldb);
    ASSERT_TRUE(zqwin::WriteAll(ldb, "stale"));  // left behind by a killed holder
    Error error;
    auto first = Open(data, error);
    ASSERT_TRUE(first) << error.description;
    auto second = Open(data, error, false, true);
    ASSERT_TRUE(second) << error.description;
    ASSERT_TRUE(Exists(ldb));
    EXPECT_FALSE(DeleteFileW(wideLdb.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    // Nor can the data file be renamed or deleted while it is open.
    const std::wstring wideData = zq::win32::Wide(data);
    EXPECT_FALSE(MoveFileExW(wideData.c_str(), (wideData + L".x").c_str(), 0));
    first->Close();
    EXPECT_TRUE(Exists(ldb)) << "still held by the second";
    second->Close();
    EXPECT_FALSE(Exists(ldb));
}

TEST_F(DaoEngineTest, WithoutARegisteredDaoTheOpenFailsClearly) {
    zq::win32::DaoEngine none({"Zequora.KeinDao.1", "Zequora.KeinDao.2"});
    Error error;
    EXPECT_FALSE(none.OpenDatabase(data, false, false, "", error));
    EXPECT_EQ(error.number, zq::win32::kErrNoDao);
    EXPECT_NE(error.description.find("not installed or not registered"), std::string::npos) << error.description;
    EXPECT_NE(error.description.find("Zequora.KeinDao.2"), std::string::npos) << error.description;
    // The same answer before any file is named, and the classes tried for the message.
    EXPECT_EQ(none.Check().number, zq::win32::kErrNoDao);
    EXPECT_EQ(none.Name(), "DAO (Zequora.KeinDao.1, Zequora.KeinDao.2)");

    // A thread without COM is told so, not that DAO is missing.
    std::thread([&] {
        zq::win32::DaoEngine noCom;
        Error threadError;
        EXPECT_FALSE(noCom.OpenDatabase(data, false, true, "", threadError));
        EXPECT_EQ(threadError.number, zq::win32::kErrNoDao);
        EXPECT_NE(threadError.description.find("COM is not initialised"), std::string::npos)
            << threadError.description;
    }).join();

    // The next name is tried when the first is missing.
    zq::win32::DaoEngine fallback({"Zequora.KeinDao.1", "DAO.DBEngine.120"});
    auto db = fallback.OpenDatabase(data, false, true, "", error);
    EXPECT_TRUE(db) << error.description;
    EXPECT_EQ(fallback.ProgId(), "DAO.DBEngine.120");

    // The older engine's name serves as well where only it is registered.
    zq::win32::DaoEngine older({"Zequora.KeinDao.1", "DAO.DBEngine.36"});
    auto olderDb = older.OpenDatabase(data, false, true, "", error);
    ASSERT_TRUE(olderDb) << error.description;
    EXPECT_EQ(older.ProgId(), "DAO.DBEngine.36");
    EXPECT_EQ(olderDb->TableNames().size(), 5u);
}

}  // namespace
