// The Windows build of the database program stand-in, run as a real process under Wine.
#include <gtest/gtest.h>

#include "platform/win32/WinText.h"
#include "win32/WinStandinSupport.h"

namespace {

using zqwin::Exists;
using zqwin::FileSize;
using zqwin::Query;
using zqwin::ReadAll;
using zqwin::Sql;

std::string Program() { return "\"" + zqwin::BinDir() + "\\msaccess.exe\""; }

// A data file with many rows, half of them deleted, so a compaction visibly shrinks it.
void MakeData(const std::string& path) {
    std::string error;
    ASSERT_TRUE(Sql(path,
                    "CREATE TABLE tblPersonal (id INTEGER PRIMARY KEY, name TEXT);"
                    "CREATE TABLE tblZeit (id INTEGER PRIMARY KEY, note TEXT);"
                    "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 4000)"
                    " INSERT INTO tblZeit (note) SELECT printf('%0500d', i) FROM n;"
                    "INSERT INTO tblPersonal (name) VALUES ('Anna'), ('Jürgen');"
                    "DELETE FROM tblZeit WHERE id % 2 = 0;",
                    &error))
        << error;
}

class MsAccessWinTest : public ::testing::Test {
protected:
    zqwin::TempFolder folder;
};

TEST_F(MsAccessWinTest, CompactionShrinksTheFileAndKeepsEveryRecord) {
    const std::string data = folder.File("Daten mit Ümlaut\\zqdata.mdb");
    ASSERT_TRUE(CreateDirectoryW(zq::win32::Wide(folder.File("Daten mit Ümlaut")).c_str(), nullptr));
    MakeData(data);
    const long long before = FileSize(data);
    zqwin::Process access(Program() + " \"" + data + "\" /repair /compact");
    ASSERT_EQ(access.Wait(), 0) << access.Output();
    EXPECT_LT(FileSize(data), before * 3 / 4);
    EXPECT_EQ(Query(data, "PRAGMA integrity_check"), (std::vector<std::string>{"ok"}));
    EXPECT_EQ(Query(data, "SELECT count(*) FROM tblZeit"), (std::vector<std::string>{"2000"}));
    EXPECT_EQ(Query(data, "SELECT group_concat(name) FROM tblPersonal"), (std::vector<std::string>{"Anna,Jürgen"}));
    EXPECT_FALSE(Exists(folder.File("Daten mit Ümlaut\\zqdata.ldb")));
    EXPECT_NE(access.Output().find("compacted"), std::string::npos) << access.Output();
}

TEST_F(MsAccessWinTest, DamagedOrForeignFilesAreLeftUntouched) {
    const std::string text = folder.File("text.mdb");
    ASSERT_TRUE(zqwin::WriteAll(text, "keine Datenbank\r\n"));
    zqwin::Process onText(Program() + " \"" + text + "\" /repair /compact");
    EXPECT_EQ(onText.Wait(), 2) << onText.Output();
    EXPECT_EQ(ReadAll(text), "keine Datenbank\r\n");

    // Pages overwritten in the middle: the check finds it and the file stays as it was.
    const std::string damaged = folder.File("kaputt.mdb");
    MakeData(damaged);
    std::string bytes = ReadAll(damaged);
    ASSERT_GT(bytes.size(), 40000u);
    for (std::size_t i = 8192; i < 24576; ++i) bytes[i] = static_cast<char>(0xA5);
    ASSERT_TRUE(zqwin::WriteAll(damaged, bytes));
    zqwin::Process onDamaged(Program() + " \"" + damaged + "\" /repair /compact");
    EXPECT_EQ(onDamaged.Wait(), 3) << onDamaged.Output();
    EXPECT_EQ(ReadAll(damaged), bytes);
    EXPECT_FALSE(Exists(folder.File("kaputt.ldb")));

    zqwin::Process missing(Program() + " \"" + folder.File("fehlt.mdb") + "\" /repair /compact");
    EXPECT_EQ(missing.Wait(), 2) << missing.Output();
}

TEST_F(MsAccessWinTest, RefusedWhileAnotherProcessHoldsTheFile) {
    const std::string data = folder.File("zqdata.mdb");
    MakeData(data);
    const std::string bytes = ReadAll(data);
    // A first compaction holds the file for a while; a second one gives up after its wait.
    zqwin::Process first(Program() + " \"" + data + "\" /repair /compact", {"ZEQUORA_STANDIN_DELAY_MS=8000"});
    ASSERT_TRUE(zqwin::WaitFor([&] { return Exists(folder.File("zqdata.ldb")); }, 20000));
    zqwin::Process second(Program() + " \"" + data + "\" /repair /compact", {"ZEQUORA_STANDIN_WAIT_MS=300"});
    EXPECT_EQ(second.Wait(), 4) << second.Output();
    // Held sharing nothing: not even read, let alone renamed or deleted.
    const std::wstring wide = zq::win32::Wide(data);
    EXPECT_TRUE(zqwin::WaitFor(
        [&] {
            HANDLE h = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_SHARING_VIOLATION;
            CloseHandle(h);
            return false;
        },
        3000));
    EXPECT_FALSE(MoveFileExW(wide.c_str(), (wide + L".weg").c_str(), 0));
    EXPECT_FALSE(DeleteFileW(wide.c_str()));
    EXPECT_FALSE(DeleteFileW(zq::win32::Wide(folder.File("zqdata.ldb")).c_str()));
    EXPECT_EQ(first.Wait(), 0) << first.Output();
    EXPECT_LT(FileSize(data), static_cast<long long>(bytes.size()));
    EXPECT_FALSE(Exists(folder.File("zqdata.ldb")));
}

TEST_F(MsAccessWinTest, RuntimeReportsTheFrontEndVersionAndTheArguments) {
    const std::string front = folder.File("zqm.zqf");
    std::string error;
    ASSERT_TRUE(Sql(front,
                    "CREATE TABLE tbl_Intern (VI_Major INTEGER, VI_Minor INTEGER, VI_Beta TEXT);"
                    "INSERT INTO tbl_Intern VALUES (4, 12, 'b');",
                    &error))
        << error;
    // A log named outside the ANSI code page.
    const std::string log = folder.File("Журнал.txt");
    zqwin::Process access(Program() + " /runtime \"" + front + "\"  /cmd \"a b\" Ä", {"ZEQUORA_STANDIN_LOG=" + log});
    ASSERT_EQ(access.Wait(), 0) << access.Output();
    EXPECT_NE(ReadAll(log).find("version 412b arguments 3"), std::string::npos);
    EXPECT_NE(access.Output().find("runtime \"" + front + "\" version 412b arguments 3: [/cmd] [a b] [Ä]"),
              std::string::npos)
        << access.Output();
    EXPECT_FALSE(Exists(folder.File("zqm.ldb")));
}

}  // namespace
