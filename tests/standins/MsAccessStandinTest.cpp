// The database program stand-in and the sample installation, run as real processes.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <thread>

#include "common/RegistryAccess.h"
#include "platform/posix/PosixFiles.h"
#include "platform/posix/RegistryStore.h"
#include "platform/posix/SqliteEngine.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using zq::posix::LockFilePath;

std::string Standin() { return zqtest::BinDir() + "/msaccess.exe"; }
std::string Sample() { return zqtest::BinDir() + "/zq-sample"; }

// A program started in the background; killed and reaped at the end at the latest.
class Child {
public:
    Child(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env = {}) {
        pid_ = fork();
        if (pid_ == 0) {
            int null = open("/dev/null", O_RDWR);
            dup2(null, 1);
            dup2(null, 2);
            for (const auto& [k, v] : env) setenv(k.c_str(), v.c_str(), 1);
            std::vector<char*> args;
            for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            execv(args[0], args.data());
            _exit(127);
        }
    }
    ~Child() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            Wait();
        }
    }
    void Kill() { kill(pid_, SIGKILL); }
    int Wait() {
        int status = 0;
        if (pid_ > 0 && waitpid(pid_, &status, 0) == pid_) pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    bool Running() {
        int status = 0;
        return pid_ > 0 && waitpid(pid_, &status, WNOHANG) == 0;
    }

private:
    pid_t pid_ = -1;
};

bool WaitFor(const std::function<bool()>& condition, int ms, int pollUs = 10000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::microseconds(pollUs));
    }
    return condition();
}

// A lock file is held while another process keeps an flock on it.
bool LockHeld(const std::string& ldb) {
    int fd = open(ldb.c_str(), O_RDONLY);
    if (fd < 0) return false;
    bool held = flock(fd, LOCK_EX | LOCK_NB) != 0;
    close(fd);
    return held;
}

struct Census {
    std::string integrity;
    std::map<std::string, long long> counts;
    long long pages = 0;
};

// Opens with SQLite itself, which rolls back what a killed writer left in the journal.
Census Inspect(const std::string& path) {
    Census c;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        c.integrity = "cannot open";
        return c;
    }
    auto each = [&](const std::string& sql, const std::function<void(sqlite3_stmt*)>& row) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) != SQLITE_OK) {
            c.integrity += std::string("[") + sqlite3_errmsg(db) + "]";
            return;
        }
        while (sqlite3_step(s) == SQLITE_ROW) row(s);
        sqlite3_finalize(s);
    };
    each("PRAGMA integrity_check", [&](sqlite3_stmt* s) {
        c.integrity += reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
    });
    std::vector<std::string> tables;
    each("SELECT name FROM sqlite_master WHERE type = 'table'",
         [&](sqlite3_stmt* s) { tables.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(s, 0))); });
    for (const auto& t : tables)
        each("SELECT count(*) FROM \"" + t + "\"", [&](sqlite3_stmt* s) { c.counts[t] = sqlite3_column_int64(s, 0); });
    each("PRAGMA page_count", [&](sqlite3_stmt* s) { c.pages = sqlite3_column_int64(s, 0); });
    sqlite3_close(db);
    return c;
}

class StandinTest : public ::testing::Test {
protected:
    zqtest::TempDir dir;

    void SetUp() override {
        ASSERT_TRUE(zqtest::FileExists(Standin())) << "build the target zq_msaccess";
        ASSERT_TRUE(zqtest::FileExists(Sample())) << "build the target zq_sample";
    }
    // A sample installation; returns its data file.
    std::string MakeSample(const std::string& name, double sizeMb, double share = 0.5) {
        auto r = zqtest::Run({Sample(), "--dir", dir / name, "--size-mb", std::to_string(sizeMb),
                              "--deleted-share", std::to_string(share)});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return dir / (name + "/data/zqdata.mdb");
    }
};

TEST_F(StandinTest, SampleInstallationHasItsFilesTablesAndSettings) {
    const std::string reg = dir / "registry";
    auto r = zqtest::Run({Sample(), "--dir", dir / "inst", "--size-mb", "0.3", "--registry", reg,
                          "--fe-version", "4.1.23_b1"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string ini = zqtest::ReadFile(dir / "inst/program/zqm.ini");
    EXPECT_NE(ini.find("[Datenbasis]\r\n"), std::string::npos);
    EXPECT_NE(ini.find("Pfad=" + zqtest::BinDir() + "/\r\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("[Datendatei]\r\n"), std::string::npos);
    EXPECT_NE(ini.find("Pfad=" + (dir / "inst/data/") + "\r\n"), std::string::npos) << ini;

    zq::posix::RegistryStore store(reg);
    EXPECT_EQ(zq::ReadStringValue(store, zq::RegRoot::LocalMachine,
                                  "Software\\Microsoft\\Office\\16.0\\Access\\InstallRoot", "Path"),
              zqtest::BinDir() + "/");

    zq::posix::SqliteEngine engine;
    zq::dao::Error e;
    auto fe = engine.OpenDatabase(dir / "inst/program/zqm.zqf", false, true, "", e);
    ASSERT_TRUE(fe) << e.description;
    auto vi = fe->OpenRecordset("tbl_Intern", zq::dao::RecordsetType::Dynaset, e);
    ASSERT_TRUE(vi);
    vi->MoveFirst();
    EXPECT_EQ(std::get<std::string>(vi->Field("VI_Major")), "4.1");
    EXPECT_EQ(std::get<std::string>(vi->Field("VI_Minor")), ".23");
    EXPECT_EQ(std::get<std::string>(vi->Field("VI_Beta")), "_b1");
    fe->Close();

    auto db = engine.OpenDatabase(dir / "inst/data/zqdata.mdb", false, false, ";pwd=", e);
    ASSERT_TRUE(db) << e.description;
    auto names = db->TableNames();
    for (const char* t : {"tblCfgOptionen", "tblEreignis", "tblPersonal", "tblZeit", "tblBuchung",
                          "tblAbteilung", "tblKostenstelle", "MSysObjects", "qryHilfe", "usysSettings"})
        EXPECT_NE(std::find(names.begin(), names.end(), t), names.end()) << t;
    auto op = db->OpenRecordset("select * from tblCfgOptionen", zq::dao::RecordsetType::Dynaset, e);
    ASSERT_TRUE(op);
    EXPECT_EQ(op->RecordCount(), 1);
    for (const char* f : {"OP_ReorgErgebnis", "OP_ReorgErgebnis_Size", "OP_ReorgErgebnis_AnzahlDS", "OP_ReorgLog_Pfad"}) {
        zq::dao::Error fe2;
        op->Field(f, &fe2);
        EXPECT_FALSE(fe2) << f;
    }
    auto er = db->OpenRecordset("SELECT * FROM tblEreignis WHERE 1 = 2", zq::dao::RecordsetType::Dynaset, e);
    ASSERT_TRUE(er);
    er->AddNew();
    for (const char* f : {"ER_Ereignis", "ER_Datum", "ER_Wert", "ER_Pfad", "ER_Ergebnis", "ER_Version",
                          "ER_Bediener", "ER_UserErst"})
        EXPECT_FALSE(er->SetField(f, std::monostate{})) << f;
    EXPECT_FALSE(er->Update());
    auto zeit = db->OpenRecordset("select * from [tblZeit]", zq::dao::RecordsetType::Snapshot, e);
    ASSERT_TRUE(zeit);
    EXPECT_GT(zeit->RecordCount(), 100);
}

TEST_F(StandinTest, CompactionShrinksTheFileAndKeepsEveryRecord) {
    const std::string file = MakeSample("a", 3);
    Census before = Inspect(file);
    ASSERT_EQ(before.integrity, "ok");
    auto size = fs::file_size(file);
    // What SQLite's own compaction makes of the same file.
    const std::string reference = dir / "reference.mdb";
    fs::copy_file(file, reference);
    sqlite3* ref = nullptr;
    ASSERT_EQ(sqlite3_open(reference.c_str(), &ref), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(ref, "VACUUM", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(ref);
    const std::string log = dir / "standin.log";
    // In place, the compaction gives SQLite's own bytes.
    auto r = zqtest::Run({Standin(), file, "/repair", "/compact"},
                         {{"ZEQUORA_STANDIN_LOG", log}, {"ZEQUORA_STANDIN_NEW_FILE", "0"}});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_LT(fs::file_size(file), size * 3 / 4);
    EXPECT_TRUE(zqtest::ReadFile(file) == zqtest::ReadFile(reference)) << "differs from a VACUUM";
    // By default, as the database program does: a new file in the old one's place.
    const std::string other = MakeSample("b", 3);
    struct stat old {}, now {};
    ASSERT_EQ(::stat(other.c_str(), &old), 0);
    r = zqtest::Run({Standin(), other, "/repair", "/compact"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ASSERT_EQ(::stat(other.c_str(), &now), 0);
    EXPECT_NE(now.st_ino, old.st_ino);
    EXPECT_EQ(Inspect(other).counts, before.counts);
    EXPECT_EQ(Inspect(other).integrity, "ok");
    Census after = Inspect(file);
    EXPECT_EQ(after.integrity, "ok");
    EXPECT_EQ(after.counts, before.counts);
    EXPECT_GT(after.counts["tblZeit"], 0);
    EXPECT_FALSE(zqtest::FileExists(LockFilePath(file)));
    EXPECT_FALSE(zqtest::FileExists(file + "-journal"));
    EXPECT_NE(zqtest::ReadFile(log).find("compacted \"" + file + "\""), std::string::npos);

    // The census the reorganiser takes gives the same numbers through the engine.
    auto count = zqtest::Run({Sample(), "--count", file});
    ASSERT_EQ(count.exitCode, 0) << count.err;
    EXPECT_NE(count.out.find("tblZeit\t" + std::to_string(before.counts["tblZeit"]) + "\n"), std::string::npos);
}

TEST_F(StandinTest, WhileCompactingOthersGet3045AndTheFileCannotBeTakenAway) {
    const std::string file = MakeSample("b", 0.5);
    const std::string ldb = LockFilePath(file);
    Child standin({Standin(), file, "/repair", "/compact"}, {{"ZEQUORA_STANDIN_DELAY_MS", "1500"}});
    ASSERT_TRUE(WaitFor([&] { return LockHeld(ldb); }, 5000));
    zq::posix::SqliteEngine engine;
    zq::dao::Error e;
    EXPECT_FALSE(engine.OpenDatabase(file, false, false, ";pwd=", e));
    EXPECT_EQ(e.number, zq::dao::kErrLockedExclusive);
    EXPECT_FALSE(engine.OpenDatabase(file, false, true, "", e));
    EXPECT_EQ(e.number, zq::dao::kErrLockedExclusive);
    // The data file itself is held too, so a rename or delete can be refused.
    int fd = open(file.c_str(), O_RDONLY);
    EXPECT_NE(flock(fd, LOCK_SH | LOCK_NB), 0);
    close(fd);
    // A second compaction does not get in either.
    auto second = zqtest::Run({Standin(), file, "/repair", "/compact"}, {{"ZEQUORA_STANDIN_WAIT_MS", "100"}});
    EXPECT_NE(second.exitCode, 0);
    EXPECT_EQ(standin.Wait(), 0);
    EXPECT_FALSE(zqtest::FileExists(ldb));
    auto db = engine.OpenDatabase(file, false, false, ";pwd=", e);
    EXPECT_TRUE(db) << e.description;
}

TEST_F(StandinTest, WriteByAProgramOutsideTheLockProtocolIsNotLost) {
    const std::string file = MakeSample("w", 0.3);
    const std::string ldb = LockFilePath(file);
    Child standin({Standin(), file, "/repair", "/compact"}, {{"ZEQUORA_STANDIN_DELAY_MS", "1500"}});
    ASSERT_TRUE(WaitFor([&] { return LockHeld(ldb); }, 5000));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    sqlite3_busy_timeout(db, 5000);
    EXPECT_EQ(sqlite3_exec(db, "INSERT INTO usysSettings VALUES ('Fremd', 'geschrieben')", nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    EXPECT_NE(standin.Wait(), 0);
    Census after = Inspect(file);
    EXPECT_EQ(after.integrity, "ok");
    EXPECT_EQ(after.counts["usysSettings"], 6);
    EXPECT_FALSE(zqtest::FileExists(ldb));
}

TEST_F(StandinTest, ForeignOrDamagedFilesAreLeftUntouched) {
    const std::string good = MakeSample("c", 0.3, 0);
    std::string bytes = zqtest::ReadFile(good);
    // Damage a page in the middle of the data: the header stays valid.
    std::string damaged = bytes;
    for (std::size_t i = damaged.size() / 2; i < damaged.size() / 2 + 4096 + 512; ++i) damaged[i] = '\x5a';
    // A free-page list that points into the data: plain VACUUM would not notice.
    std::string badFreelist = zqtest::ReadFile(MakeSample("g", 0.5, 0.5));
    ASSERT_NE(badFreelist.substr(36, 4), std::string(4, '\0')) << "sample without free pages";
    badFreelist.replace(32, 4, std::string("\x00\x00\x00\x02", 4));
    struct Case {
        const char* name;
        std::string content;
    } cases[] = {
        {"freelist.mdb", badFreelist},
        {"text.mdb", std::string(3000, 'a')},
        {"jet.mdb", std::string("\x00\x01\x00\x00Standard Jet DB\x00", 20) + std::string(8000, '\x01')},
        {"cut.mdb", bytes.substr(0, 50)},
        {"damaged.mdb", damaged},
    };
    for (const auto& c : cases) {
        const std::string path = dir / c.name;
        zqtest::WriteFile(path, c.content);
        auto r = zqtest::Run({Standin(), path, "/repair", "/compact"});
        EXPECT_NE(r.exitCode, 0) << c.name;
        EXPECT_NE(r.err.find(c.name), std::string::npos) << c.name << ": " << r.err;
        EXPECT_TRUE(zqtest::ReadFile(path) == c.content) << c.name << " was changed";
        EXPECT_FALSE(zqtest::FileExists(LockFilePath(path))) << c.name;
    }
    auto missing = zqtest::Run({Standin(), dir / "nix.mdb", "/repair", "/compact"});
    EXPECT_NE(missing.exitCode, 0);
    EXPECT_FALSE(zqtest::FileExists(dir / "nix.mdb"));
    EXPECT_NE(zqtest::Run({Standin()}).exitCode, 0);
    EXPECT_NE(zqtest::Run({Standin(), good}).exitCode, 0);  // neither /repair nor /compact
    EXPECT_TRUE(zqtest::ReadFile(good) == bytes);
}

TEST_F(StandinTest, RuntimeReportsVersionAndTheExactArguments) {
    ASSERT_EQ(zqtest::Run({Sample(), "--dir", dir / "d", "--size-mb", "0.2", "--fe-version", "4.2.7"}).exitCode, 0);
    const std::string fe = dir / "d/program/zqm.zqf";
    const std::string log = dir / "runtime.log";
    auto r = zqtest::Run({Standin(), "/runtime", fe, "/AUTORUN", "mit blank", ""},
                         {{"ZEQUORA_STANDIN_LOG", log}});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string expected =
        "runtime \"" + fe + "\" version 4.2.7 arguments 3: [/AUTORUN] [mit blank] []";
    EXPECT_EQ(r.out, expected + "\n");
    EXPECT_EQ(zqtest::ReadFile(log), expected + "\n");
    zqtest::Run({Standin(), "/RUNTIME", fe}, {{"ZEQUORA_STANDIN_LOG", log}});
    EXPECT_EQ(zqtest::ReadFile(log), expected + "\n" + "runtime \"" + fe + "\" version 4.2.7 arguments 0:\n");

    zqtest::WriteFile(dir / "leer.zqf", "");
    auto bad = zqtest::Run({Standin(), "/runtime", dir / "leer.zqf"});
    EXPECT_NE(bad.exitCode, 0);
    EXPECT_NE(bad.err.find("3343"), std::string::npos) << bad.err;
}

TEST_F(StandinTest, LockFileAcrossProcessesHeldReleasedAndStaleAfterKill) {
    ASSERT_EQ(zqtest::Run({Sample(), "--dir", dir / "e", "--size-mb", "0.2"}).exitCode, 0);
    const std::string fe = dir / "e/program/zqm.zqf";
    const std::string ldb = LockFilePath(fe);
    zq::posix::PosixFiles files;
    zq::posix::SqliteEngine engine;
    zq::dao::Error e;
    {
        // A front end kept open by a running application: shared, so others may open it too.
        Child app({Standin(), "/runtime", fe}, {{"ZEQUORA_STANDIN_DELAY_MS", "1500"}});
        ASSERT_TRUE(WaitFor([&] { return LockHeld(ldb); }, 5000));
        auto db = engine.OpenDatabase(fe, false, true, "", e);
        ASSERT_TRUE(db) << e.description;
        EXPECT_FALSE(engine.OpenDatabase(fe, true, false, "", e));
        EXPECT_EQ(e.number, zq::dao::kErrLockedExclusive);
        db->Close();
        EXPECT_TRUE(zqtest::FileExists(ldb));  // the other holder still has it
        EXPECT_TRUE(LockHeld(ldb));
        EXPECT_EQ(files.Remove(ldb).error, zq::kErrPermission);  // like a sharing violation
        EXPECT_TRUE(zqtest::FileExists(ldb));
        EXPECT_EQ(app.Wait(), 0);
        EXPECT_FALSE(zqtest::FileExists(ldb));  // removed by the last holder
    }
    {
        Child app({Standin(), "/runtime", fe}, {{"ZEQUORA_STANDIN_DELAY_MS", "20000"}});
        ASSERT_TRUE(WaitFor([&] { return LockHeld(ldb); }, 5000));
        app.Kill();
        app.Wait();
        EXPECT_TRUE(zqtest::FileExists(ldb));
        EXPECT_FALSE(LockHeld(ldb));  // stale: anybody may delete it
        auto db = engine.OpenDatabase(fe, true, false, "", e);
        ASSERT_TRUE(db) << e.description;
        db->Close();
        EXPECT_FALSE(zqtest::FileExists(ldb));
    }
    {
        Child app({Standin(), "/runtime", fe}, {{"ZEQUORA_STANDIN_DELAY_MS", "20000"}});
        ASSERT_TRUE(WaitFor([&] { return LockHeld(ldb); }, 5000));
        app.Kill();
        app.Wait();
        EXPECT_TRUE(files.Remove(ldb).ok());
        EXPECT_FALSE(zqtest::FileExists(ldb));
    }
}

// Kills the compaction at random moments: each time the file must be either the old one or
// the compacted one, intact and with every record.
TEST_F(StandinTest, KilledCompactionNeverLosesData) {
    const std::string pristine = MakeSample("f", 24);
    Census expected = Inspect(pristine);
    ASSERT_EQ(expected.integrity, "ok");
    const std::string work = dir / "work.mdb";

    // One undisturbed run tells how long a compaction takes here and what it yields.
    fs::copy_file(pristine, work, fs::copy_options::overwrite_existing);
    auto t0 = std::chrono::steady_clock::now();
    ASSERT_EQ(zqtest::Run({Standin(), work, "/repair", "/compact"}).exitCode, 0);
    auto runMs = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
    const long long compactedPages = Inspect(work).pages;
    ASSERT_LT(compactedPages, expected.pages);

    std::mt19937 rng(12345);
    std::uniform_int_distribution<long long> when(0, std::max<long long>(runMs, 20));
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    int trials = 0, killedMidway = 0;
    for (; trials < 15 && std::chrono::steady_clock::now() < deadline; ++trials) {
        fs::remove(work + "-journal");
        fs::remove(LockFilePath(work));
        fs::copy_file(pristine, work, fs::copy_options::overwrite_existing);
        long long at = when(rng);
        struct stat initial {};
        stat(work.c_str(), &initial);
        Child standin({Standin(), work, "/repair", "/compact"}, {{"TMPDIR", dir.Path()}});
        if (trials % 2 == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(at));
        } else {
            // The dangerous moments are the writes to the file: wait for the first change of
            // its content or identity, then strike within a few milliseconds.
            WaitFor([&] {
                struct stat st {};
                if (stat(work.c_str(), &st) != 0) return true;
                return st.st_ino != initial.st_ino || st.st_size != initial.st_size ||
                       st.st_mtim.tv_sec != initial.st_mtim.tv_sec || st.st_mtim.tv_nsec != initial.st_mtim.tv_nsec;
            }, static_cast<int>(runMs * 3 + 1000), 200);
            at = at % 4;
            std::this_thread::sleep_for(std::chrono::milliseconds(at));
        }
        if (standin.Running()) ++killedMidway;
        standin.Kill();
        standin.Wait();
        Census now = Inspect(work);
        EXPECT_EQ(now.integrity, "ok") << "trial " << trials << " killed after " << at << " ms";
        EXPECT_EQ(now.counts, expected.counts) << "trial " << trials << " killed after " << at << " ms";
        EXPECT_TRUE(now.pages == expected.pages || now.pages == compactedPages)
            << "trial " << trials << ": " << now.pages << " pages";
        // Whatever the kill left behind, the engine opens the file again.
        zq::posix::SqliteEngine engine;
        zq::dao::Error e;
        auto db = engine.OpenDatabase(work, false, false, ";pwd=", e);
        EXPECT_TRUE(db) << e.number << " " << e.description;
    }
    EXPECT_GE(trials, 5);
    EXPECT_GE(killedMidway, trials / 2) << "the kills came too late to test anything";
}

}  // namespace

namespace {

std::vector<std::string> ScratchFiles(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        if (e.path().filename().string().rfind("zq-compact-", 0) == 0) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(StandinTest, ScratchFilesOfKilledRunsGoWithTheNextRunAndLiveOnesStay) {
    const std::string a = MakeSample("a", 2), b = MakeSample("b", 2), c = MakeSample("c", 2);
    const std::string tmp = dir / "tmp";
    fs::create_directories(tmp);
    const std::map<std::string, std::string> slow = {{"TMPDIR", tmp}, {"ZEQUORA_STANDIN_DELAY_MS", "4000"}};
    // Killed while its scratch file is there; a journal of an earlier killed scratch too.
    {
        Child killed({Standin(), a, "/repair", "/compact"}, slow);
        ASSERT_TRUE(WaitFor([&] { return ScratchFiles(tmp).size() == 1; }, 20000));
        killed.Kill();
        killed.Wait();
    }
    zqtest::WriteFile(tmp + "/zq-compact-Gone12-journal", "journal of a scratch file already removed");
    zqtest::WriteFile(tmp + "/zq-compact-notes.txt", "not a scratch file");
    const std::vector<std::string> stale = ScratchFiles(tmp);
    ASSERT_EQ(stale.size(), 3u);

    // The next run removes them first; while it works, its own scratch file survives the
    // clean-up of yet another run.
    Child live({Standin(), c, "/repair", "/compact"}, slow);
    const std::string notes = "zq-compact-notes.txt";
    // The live run's scratch file: the one name that is neither stale nor the notes.
    auto liveName = [&] {
        std::vector<std::string> now = ScratchFiles(tmp);
        std::string fresh;
        if (now.size() != 2 || std::find(now.begin(), now.end(), notes) == now.end()) return fresh;
        for (const std::string& name : now)
            if (name != notes && std::find(stale.begin(), stale.end(), name) == stale.end()) fresh = name;
        return fresh;
    };
    ASSERT_TRUE(WaitFor([&] { return !liveName().empty(); }, 20000)) << ScratchFiles(tmp).size();
    std::vector<std::string> expected = {liveName(), notes};
    std::sort(expected.begin(), expected.end());
    ASSERT_EQ(zqtest::Run({Standin(), b, "/repair", "/compact"}, {{"TMPDIR", tmp}}).exitCode, 0);
    EXPECT_EQ(ScratchFiles(tmp), expected);
    EXPECT_EQ(live.Wait(), 0);
    EXPECT_EQ(ScratchFiles(tmp), std::vector<std::string>{notes});
    EXPECT_EQ(Inspect(c).integrity, "ok");
}

}  // namespace
