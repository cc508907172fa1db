// The real zqm in temporary installations: a temporary registry store, scripted console
// answers, the stand-in database program; one test per way the program ends.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <thread>

#include "common/RegistryAccess.h"
#include "platform/posix/RegistryStore.h"
#include "support/PeFixture.h"
#include "starter/ZqmScenarios.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using zq::RegRoot;
using zqtest::CrLfLines;
using zqtest::ReadFile;
using zqtest::WriteFile;

namespace {

const std::string kTrusted = "Software\\Microsoft\\Office\\14.0\\Access\\Security\\Trusted Locations";

void MakeFrontEnd(const std::string& path, const char* major, const char* minor, const char* beta) {
    fs::remove(path);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    std::string sql = "CREATE TABLE tbl_Intern (VI_Major TEXT, VI_Minor TEXT, VI_Beta TEXT);"
                      "INSERT INTO tbl_Intern VALUES ('" + std::string(major) + "', '" + minor + "', " +
                      (beta ? "'" + std::string(beta) + "'" : std::string("NULL")) + ");";
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
}

class ZqmEndToEnd : public ::testing::Test, public zqtest::zqm::Installation {
protected:
    zqtest::TempDir tmp;
    std::string prog, office, data, reg, home, standinLog, tools;

    void SetUp() override {
        prog = tmp / "Programm ZQ";
        office = tmp / "office";
        data = tmp / "daten";
        reg = tmp / "registry";
        home = tmp / "home";
        tools = tmp / "tools";
        standinLog = tmp / "standin.log";
        for (const auto& d : {prog, office, data, reg, home, tools}) fs::create_directories(d);
        // The program folder is the executable's own folder, so the program is copied there.
        fs::copy_file(zqtest::BinDir() + "/zqm", prog + "/zqm");
        fs::copy_file(zqtest::BinDir() + "/msaccess.exe", office + "/msaccess.exe");
        MakeFrontEnd(prog + "/zqm.zqf", "4.1", ".23", nullptr);
        WriteFile(prog + "/zqm.ini",
                  "[Datenbasis]\r\nVersion=14.0\r\nBit=32\r\nPfad=X\r\n[Datendatei]\r\nNetzwerk=n\r\n"
                  "Pfad=" + data + "\r\n");
        zq::posix::RegistryStore store(reg);
        zq::WriteStringValue(store, RegRoot::LocalMachine,
                             "Software\\Microsoft\\Office\\14.0\\Common\\InstallRoot", "", office);
        zq::RegHandle h = 0;
        ASSERT_EQ(store.CreateKey(RegRoot::CurrentUser, kTrusted, h), zq::kRegSuccess);
        store.CloseKey(h);
    }

    std::map<std::string, std::string> Env() const {
        return {
            {"ZEQUORA_UI", "console"},       {"ZEQUORA_REGISTRY", reg},
            {"ZEQUORA_STANDIN_LOG", standinLog}, {"HOME", home},
            {"XDG_CACHE_HOME", home + "/.cache"}, {"WINEPREFIX", home + "/.wine"},
            {"COMPUTERNAME", "PC 12"},       {"USERNAME", "anna"},
            {"PATH", tools + ":/usr/bin:/bin"}, {"DISPLAY", ""},
        };
    }
    zqtest::RunResult Zqm(const std::vector<std::string>& args, const std::string& input = "") {
        std::vector<std::string> argv{prog + "/zqm"};
        argv.insert(argv.end(), args.begin(), args.end());
        return zqtest::Run(argv, Env(), input, 20000);
    }

    // The shared scenarios' installation.
    std::string Sep() override { return "/"; }
    std::string Prog() override { return prog; }
    zqtest::ZqmPaths Paths() override { return {"/", prog, office, data, data, home + "/.cache/zequora2/update/"}; }
    void Write(const std::string& path, const std::string& content) override { WriteFile(path, content); }
    std::string Read(const std::string& path) override { return ReadFile(path); }
    bool Exists(const std::string& path) override { return fs::exists(path); }
    void Remove(const std::string& path) override { fs::remove(path); }
    void WithoutAccess() override {
        fs::remove(prog + "/zqm.ini");
        fs::remove(reg + "/HKEY_LOCAL_MACHINE.reg");
    }
    void UpdateInstaller(const std::string& version) override {
        std::uint16_t v[4] = {};
        std::sscanf(version.c_str(), "%hu.%hu.%hu.%hu", &v[0], &v[1], &v[2], &v[3]);
        UpdateInstaller(v[0], v[1], v[2], v[3]);
        // Windows programs start through wine; a recording one stands in for it here.
        const std::string note = tmp / "wine.log";
        WriteFile(tools + "/wine", "#!/bin/sh\nfor a in \"$@\"; do printf '[%s]' \"$a\"; done > \"" + note +
                                       ".tmp\"\necho >> \"" + note + ".tmp\"\nmv \"" + note + ".tmp\" \"" + note + "\"\n");
        fs::permissions(tools + "/wine", fs::perms::owner_all);
    }
    // The arguments wine was given, joined by the Windows rules the trace shows.
    std::string InstallerStart() override {
        const std::string note = WaitForFile(tmp / "wine.log");
        fs::remove(tmp / "wine.log");
        std::string command;
        for (std::size_t at = note.find('['); at != std::string::npos; at = note.find('[', at + 1)) {
            const std::string arg = note.substr(at + 1, note.find(']', at) - at - 1);
            command += (command.empty() ? "" : " ") + (arg.find(' ') == std::string::npos ? arg : "\"" + arg + "\"");
        }
        return command;
    }
    zqtest::zqm::RunResult Run(const std::vector<std::string>& args,
                               const std::vector<zq::MsgResult>& answers) override {
        const auto r = Zqm(args, zqtest::ConsoleAnswers(answers));
        return {r.exitCode, zqtest::ConsoleBoxes(r.err)};
    }
    std::string StandinReport() override {
        const std::string report = WaitForFile(standinLog);
        fs::remove(standinLog);
        return report;
    }
    bool AnythingStarted() override { return fs::exists(standinLog) || fs::exists(tmp / "wine.log"); }
    // A folder that is a link to itself: examining it fails with ELOOP, the runtime's 52.
    std::string UnexaminableFolder() override {
        fs::create_directory_symlink(tmp / "loop", tmp / "loop");
        return tmp / "loop/daten/";
    }
    std::string Error52Folder() override { return "/tmp/error52/"; }
    // The stand-in runs detached; wait a bounded time for its report.
    std::string WaitForFile(const std::string& path) {
        for (int i = 0; i < 100; ++i) {
            std::string text = ReadFile(path);
            if (!text.empty() && text.back() == '\n') return text;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return ReadFile(path);
    }
    std::string Ini() { return ReadFile(prog + "/zqm.ini"); }
    void UpdateInstaller(std::uint16_t a, std::uint16_t b, std::uint16_t c, std::uint16_t d) {
        WriteFile(data + "/UpdStore/zqmupd.exe", zqtest::MakePeWithVersion(a, b, c, d));
    }
};

ZQ_ZQM_SCENARIO_TESTS(ZqmEndToEnd)

TEST_F(ZqmEndToEnd, TheDataFolderIsATrustedLocationInTheRegistryStore) {
    EXPECT_EQ(Zqm({}).exitCode, 0);
    zq::posix::RegistryStore store(reg);
    EXPECT_EQ(zq::ReadStringValue(store, RegRoot::CurrentUser, kTrusted + "\\Location2", "Path"), data + "/");
}

// A history that cannot take its lines (a full disk): the update still runs, the trace says
// so and the exit code does not claim a complete record.
TEST_F(ZqmEndToEnd, AnUpdateHistoryThatCannotBeWrittenIsNotASuccess) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    UpdateInstaller("4.1.24.0");
    WriteFile(prog + "/zqm.ini", Ini() + "[Update]\r\nLogCreate=J\r\nLogPrefix=C\r\n");
    fs::create_symlink("/dev/full", data + "/UpdStore/ZQM_Update_Trace.txt");
    const auto r = Zqm({}, "j\n");
    EXPECT_EQ(r.exitCode, 5) << r.err;
    const std::string log = data + "/UpdStore/PC_12_zqmupd_Log.txt";
    const std::string command = data + "/UpdStore/zqmupd.exe /SILENT /SP- /LOG=" + log;
    const std::vector<std::string> tail = {
        "   Check Logfile  : " + log,
        "   Update History : Error | " + data + "/UpdStore/ZQM_Update_Trace.txt",
        "Run Update         : " + command,
        "",
        "*** EXIT program ***",
    };
    EXPECT_EQ(Tail(tail.size()), tail);
    EXPECT_EQ(InstallerStart(), command);
}

TEST_F(ZqmEndToEnd, DatabaseProgramThatCannotBeStartedIsAFailure) {
    // Found, but not a program this system can start.
    fs::permissions(office + "/msaccess.exe", fs::perms::owner_read | fs::perms::owner_write,
                    fs::perm_options::replace);
    auto r = Zqm({"/x"});
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_NE(r.err.find("== ZEQUORA Manager == stop == OK\nAccess (msaccess.exe) konnte nicht gestartet "
                         "werden. Der ZEQUORA Manager kann daher nicht gestartet werden."),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("Fehlermeldung: Program is not executable: " + office + "/msaccess.exe"),
              std::string::npos);
    EXPECT_NE(r.err.find("Einzelheiten enthält die Trace-Datei " + prog + "/ZQM_Start_Trace.txt."),
              std::string::npos);
    auto tail = Tail(5);
    EXPECT_EQ(tail[0].rfind("Command            : ", 0), 0u);
    EXPECT_EQ(tail[1], "Error              : Program is not executable: " + office + "/msaccess.exe");
    EXPECT_EQ(tail[4], "[Verweise]");
}

TEST_F(ZqmEndToEnd, ATraceThatCannotBeWrittenIsNotASuccess) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    fs::create_symlink("/dev/full", prog + "/ZQM_Start_Trace.txt");
    auto r = Zqm({});
    EXPECT_EQ(r.exitCode, 5) << r.err;
    EXPECT_EQ(WaitForFile(standinLog), "runtime \"" + prog + "/zqm.zqf\" version 4.1.23 arguments 0:\n");
}

TEST_F(ZqmEndToEnd, DamagedRegistryStoreAndGarbageSettingsKeepTheirContent) {
    const std::string user = reg + "/HKEY_CURRENT_USER.reg";
    const std::string damaged = ReadFile(user) + "\r\n[HKEY_CURRENT_USER\\Broken\r\n\"x\"=garbage\r\n";
    WriteFile(user, damaged);
    WriteFile(prog + "/zqm.ini", ReadFile(prog + "/zqm.ini") + "\x01\xff garbage ]]\r\n[Update\r\nLogPrefix=" +
                                     std::string(300, 'V') + "\r\n");
    auto r = Zqm({});
    EXPECT_EQ(r.exitCode, 0);
    const std::string ini = Ini();
    EXPECT_NE(ini.find("Version=14.0"), std::string::npos) << ini;
    EXPECT_NE(ini.find("Pfad=" + data), std::string::npos) << ini;
    EXPECT_NE(ini.find(std::string(300, 'V')), std::string::npos) << ini;
    auto lines = Trace();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Result             : Key not found"), 3);
    EXPECT_EQ(ReadFile(user), damaged);
    EXPECT_FALSE(WaitForFile(standinLog).empty());
}

TEST(ZqmSample, StartsTheManagerOfASampleInstallation) {
    const std::string sample = zqtest::BinDir() + "/zq-sample";
    if (!fs::exists(sample)) GTEST_SKIP() << "the sample maker is not built";
    zqtest::TempDir tmp;
    auto made = zqtest::Run({sample, "--dir", tmp / "inst", "--size-mb", "0.05", "--registry", tmp / "reg",
                             "--fe-version", "4.1.23_b1"});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    const std::string prog = tmp / "inst/program", data = tmp / "inst/data";
    const std::string trusted = "Software\\Microsoft\\Office\\16.0\\Access\\Security\\Trusted Locations";
    fs::copy_file(zqtest::BinDir() + "/zqm", prog + "/zqm");
    {
        zq::posix::RegistryStore store(tmp / "reg");
        zq::WriteDwordValue(store, RegRoot::CurrentUser, trusted, "AllowNetworkLocations", 1);
    }
    auto r = zqtest::Run({prog + "/zqm", "/excl"},
                         {{"ZEQUORA_UI", "console"}, {"ZEQUORA_REGISTRY", tmp / "reg"},
                          {"ZEQUORA_STANDIN_LOG", tmp / "standin.log"}, {"XDG_CACHE_HOME", tmp / "cache"}},
                         "", 20000);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const std::string access = zqtest::BinDir() + "/msaccess.exe";
    const std::string command = "\"" + access + "\" /runtime  \"" + prog + "/zqm.zqf\"  /excl";
    auto lines = CrLfLines(ReadFile(prog + "/ZQM_Start_Trace.txt"));
    auto at = std::find(lines.begin(), lines.end(), "*** Check Zequora Config ***");
    ASSERT_NE(at, lines.end());
    std::vector<std::string> expected = {
        "*** Check Zequora Config ***",
        "Check Config       : " + prog + "/zqm.ini",
        "Result             : OK",
        "Access Version Cfg : 16.0",
        "Access Bit Config  : Not Set",
        "Access Pfad Config : " + zqtest::BinDir() + "/",
        "Data Network Cfg   : Not Set",
        "",
        "*** Check Zequora UpdateStore ***",
        "Check Datapath     : " + data + "/",
        "Result             : Found",
        "Check Update       : " + data + "/UpdStore/zqmupd.exe",
        "Result             : Not found",
        "Check Access       : " + access,
        "Result             : OK",
        "",
        "*** Add folders to trusted locations ***",
        "Program folder     : " + prog,
        "Result             : OK",
        "",
        "Update folder      : " + tmp / "cache/zequora2/update/",
        "Result             : OK",
        "",
        "Data folder        : " + data + "/",
        "Result             : OK",
        "",
        "Settings           : Network locations are allowed",
        "",
        "*** Start Zequora Manager ***",
        "Command            : " + command,
        "",
        "",
        "[Verweise]",
    };
    EXPECT_EQ(std::vector<std::string>(at, lines.end()), expected);
    EXPECT_NE(ReadFile(prog + "/zqm.ini").find("Netzwerk=y"), std::string::npos);
    std::string report;
    for (int k = 0; k < 100 && report.empty(); ++k) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        report = ReadFile(tmp / "standin.log");
    }
    EXPECT_EQ(report, "runtime \"" + prog + "/zqm.zqf\" version 4.1.23_b1 arguments 1: [/excl]\n");
}

}  // namespace

TEST_F(ZqmEndToEnd, SimultaneousStartsRegisterEachFolderOnce) {
    constexpr int kStarts = 20;
    // The environment of the test with the installation's variables, ready before the
    // first start so that the starts follow one another as closely as possible.
    const std::map<std::string, std::string> vars = Env();
    std::vector<std::string> envText;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        if (!vars.count(entry.substr(0, entry.find('=')))) envText.push_back(entry);
    }
    for (const auto& [name, value] : vars) envText.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (std::string& entry : envText) envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::string program = prog + "/zqm";
    char* argv[] = {program.data(), nullptr};
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
    // A few rounds on a fresh Trusted Locations key: one round may by chance not overlap.
    const std::string userFile = reg + "/HKEY_CURRENT_USER.reg";
    const std::string freshKey = ReadFile(userFile);
    for (int round = 0; round < 3; ++round) {
        WriteFile(userFile, freshKey);
        std::vector<pid_t> pids;
        for (int k = 0; k < kStarts; ++k) {
            pid_t pid = 0;
            if (posix_spawn(&pid, program.c_str(), &quiet, nullptr, argv, envp.data()) == 0) pids.push_back(pid);
        }
        ASSERT_EQ(pids.size(), static_cast<std::size_t>(kStarts));
        for (pid_t pid : pids) EXPECT_TRUE(zqtest::WaitForChildSuccess(pid, 60000));

        zq::posix::RegistryStore store(reg);
        std::vector<std::string> paths;
        for (const std::string& name : zq::EnumerateSubkeys(store, RegRoot::CurrentUser, kTrusted))
            paths.push_back(name + " " + zq::ReadStringValue(store, RegRoot::CurrentUser, kTrusted + "\\" + name, "Path"));
        const std::vector<std::string> expected = {"Location0 " + prog, "Location1 " + home + "/.cache/zequora2/update/",
                                                   "Location2 " + data + "/"};
        EXPECT_EQ(paths, expected) << "round " << round;
    }
    posix_spawn_file_actions_destroy(&quiet);
    // The stand-ins run detached: let them finish before the folder goes.
    for (int i = 0; i < 100; ++i) {
        const std::string log = zqtest::FileExists(standinLog) ? ReadFile(standinLog) : "";
        if (std::count(log.begin(), log.end(), '\n') >= 3 * kStarts) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}
