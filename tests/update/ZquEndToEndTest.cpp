// The real zqu in a temporary installation, answered on the console, against a local HTTPS
// server.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>
#include <filesystem>

#include <gtest/gtest.h>

#include "common/RegistryAccess.h"
#include "common/Sha256.h"
#include "platform/posix/RegistryStore.h"
#include "support/PeFixture.h"
#include "support/TestSupport.h"
#include "update/HttpsServer.h"
#include "update/ZquScenarios.h"

namespace {

namespace fs = std::filesystem;

int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

class ZquEndToEnd : public ::testing::Test, public zqtest::zqu::Installation {
protected:
    static void SetUpTestSuite() {
        dir = new zqtest::TempDir();
        fs::create_directories(*dir / "pki");
        fs::create_directories(*dir / "root/download");
        pkiError = zqtest::MakeTestPki(*dir / "pki");
        zqtest::WriteFile(*dir / "root/iupdate.htm",
                          "<html><body>\r\nZQM_Version:3.05\r\n<br>ZQC_Version:3.23.1 (Mai)\r\n</body></html>");
        // Installers as they are built: a Windows program with its payload behind the image.
        zqtest::PeOptions manager, client;
        manager.overlay = std::string(300000, 'm');
        client.overlay = std::string(200000, 'c');
        zqtest::WriteFile(*dir / "root/zqmupd.exe", zqtest::MakePe(manager));
        zqtest::WriteFile(*dir / "root/zqcupd.exe", zqtest::MakePe(client));
        zqtest::WriteFile(*dir / "root/download/update.txt", "history");
        // A version page that names checksums: the Client's right, the Manager's wrong.
        fs::create_directories(*dir / "root/sums");
        fs::copy_file(*dir / "root/zqmupd.exe", *dir / "root/sums/zqmupd.exe");
        fs::copy_file(*dir / "root/zqcupd.exe", *dir / "root/sums/zqcupd.exe");
        zqtest::WriteFile(*dir / "root/sums/iupdate.htm",
                          "ZQM_Version:3.05 ZQM_SHA256:" + std::string(64, 'a') +
                              "\r\nZQC_Version:3.06 ZQC_SHA256:" +
                              zq::Sha256Hex(zqtest::ReadFile(*dir / "root/zqcupd.exe")) + "\r\n");
        if (pkiError.empty()) server = new zqtest::HttpsServer(*dir / "root", *dir / "pki", 20);
    }
    static void TearDownTestSuite() {
        delete server;
        delete dir;
        server = nullptr;
        dir = nullptr;
    }

    void SetUp() override {
        if (!pkiError.empty()) GTEST_SKIP() << pkiError;
        ASSERT_TRUE(server->Running()) << server->Error();
        fs::create_directories(prog);
        fs::create_directories(data);
        fs::create_directories(tmp / "reg");
        fs::copy_file(zqtest::BinDir() + "/zqu", prog + "/zqu");
        zqtest::WriteFile(prog + "/zqm.ini", "[Datendatei]\r\nNetzwerk=X\r\nPfad=" + data + "\r\n");
        Server(server->Base(), *dir / "pki/ca.pem");
        zq::posix::RegistryStore reg(tmp / "reg");
        zq::SaveSetting(reg, "ZEQUORA - Manager 4", "Update", "UpdateVersion", "3.04.2");
        zq::SaveSetting(reg, "ZEQUORA - Manager 4", "Update", "UpdateDate", "01.02.2025");
    }

    void Server(const std::string& address, const std::string& ca = "") {
        zqtest::WriteFile(prog + "/zqu.ini", "[Server]\r\nAdresse=" + address + "\r\n" +
                                                 (ca.empty() ? "" : "CAFile=" + ca + "\r\n"));
    }

    zqtest::RunResult Zqu(const std::string& input, const std::string& timeout = "2") {
        const auto start = std::chrono::steady_clock::now();
        auto r = zqtest::Run({prog + "/zqu"},
                             {{"ZEQUORA_UI", "console"},
                              {"ZEQUORA_REGISTRY", tmp / "reg"},
                              {"ZEQUORA_SHELL_LOG", shellLog},
                              {"ZEQUORA_WEB_TIMEOUT_S", timeout}},
                             input, 30000);
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        return r;
    }

    std::string ShellLog() const {
        return zqtest::FileExists(shellLog) ? zqtest::ReadFile(shellLog) : "";
    }
    // The shared scenarios' installation: the console window, answered line by line.
    std::string Store() override { return data + "/UpdStore/"; }
    std::string Base() override { return server->Base(); }
    std::string Served(const std::string& name) override { return zqtest::ReadFile(*dir / ("root/" + name)); }
    void UseServer(const std::string& address, bool trusted) override {
        Server(address, trusted ? std::string(*dir / "pki/ca.pem") : "");
    }
    void Write(const std::string& path, const std::string& bytes) override { zqtest::WriteFile(path, bytes); }
    std::string Read(const std::string& path) override { return zqtest::ReadFile(path); }
    bool Exists(const std::string& path) override { return fs::exists(path); }
    std::string Opened(int) override {
        const std::string log = ShellLog();  // the console's shell writes before the program goes on
        fs::remove(shellLog);
        const std::size_t verb = log.find(' '), end = log.find("\r\n");
        return verb == std::string::npos ? "" : log.substr(verb + 1, end - verb - 1);
    }
    std::vector<zqtest::zqu::Failure> Failures() override {
        const std::string ca = *dir / "pki/ca.pem";
        return {
            {"https://127.0.0.1:1", true, "Fehler: 7 / Keine Verbindung zum Update-Server (127.0.0.1:1)."},
            {Base() + "/redirect-http", true,
             "Fehler: 1 / Der Update-Server (" + Host() + ") leitet auf eine Adresse weiter, die nicht mit https:// beginnt"},
            {Base(), false, "Fehler: 60 / Das Zertifikat des Update-Servers (" + Host() + ") ist nicht vertrauenswürdig."},
            {"http://" + Host(), true, "Die Adresse des Update-Servers in zqu.ini ist keine https-Adresse: http://"},
            {Base() + "/half", true, "Fehler: 18 / Die Übertragung ist abgebrochen."},
            {Base() + "/cut-nolength", true, "Fehler: 18 / Die Übertragung ist abgebrochen."},
            {Base() + "/nothing-here", true,
             "Fehler: 404 / Der Update-Server (" + Host() + ") antwortete mit dem Status 404."},
            {Base() + "/html", true, "Die geladene Datei ist kein vollständiges Windows-Programm (57 Bytes)."},
        };
    }
    zqtest::zqu::Run Start(const std::vector<zqtest::zqu::Act>& acts) override {
        using zqtest::zqu::Act;
        std::string input;
        int clicks = 0;
        for (Act a : acts) {
            if (zqtest::zqu::IsAnswer(a)) {
                input += zqtest::ConsoleAnswers({zqtest::zqu::AnswerOf(a)});
                continue;
            }
            input += a == Act::DownloadManager ? "1\n" : a == Act::DownloadClient ? "2\n" : a == Act::History ? "h\n" : "e\n";
            ++clicks;
        }
        const auto r = Zqu(input + "s\n");
        zqtest::zqu::Run run;
        run.exitCode = r.exitCode;
        run.boxes = zqtest::ConsoleBoxes(r.err);
        run.closedItself = Count(r.out, "Auswahl:") == clicks;
        const auto value = [&](const std::string& after, const std::string& label) {
            const std::size_t from = r.out.find(after);
            const std::size_t at = r.out.find(label + ": ", from == std::string::npos ? r.out.size() : from);
            if (at == std::string::npos) return std::string("(not shown)");
            const std::size_t start = at + label.size() + 2;
            return r.out.substr(start, r.out.find('\n', start) - start);
        };
        for (auto [part, name] : {std::pair{&run.manager, "-- ZEQUORA Manager --"}, {&run.client, "-- ZEQUORA Client --"}})
            *part = {value(name, "Aktuelle Version"), value(name, "Update Version"), value(name, "Update Datum")};
        run.folder = value("", "Auto-Update Verzeichnis");
        return run;
    }

    static std::string Host() { return "127.0.0.1:" + std::to_string(server->Port()); }
    std::vector<std::string> StoreFiles() override {
        std::vector<std::string> names;
        if (!fs::exists(Store())) return names;
        for (const auto& e : fs::directory_iterator(Store())) names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }

    static inline zqtest::TempDir* dir = nullptr;
    static inline zqtest::HttpsServer* server = nullptr;
    static inline std::string pkiError;
    zqtest::TempDir tmp;
    std::string prog = tmp / "prog";
    std::string data = tmp / "data";
    std::string shellLog = tmp / "shell.log";
    double seconds = 0;
};

TEST_F(ZquEndToEnd, UntrustedCertificateGivesNoVersionsAndNoDownload) {
    Server(server->Base());  // the system's authorities do not know the test CA
    const auto r = Zqu("1\n\ns\n");
    EXPECT_EQ(r.exitCode, 1) << "a download failed" << r.err;
    EXPECT_NE(r.out.find("-- ZEQUORA Manager --\n  Aktuelle Version: \n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Hinweis: Die neuesten Versionen konnten nicht gelesen werden: Das "
                         "Zertifikat des Update-Servers (" + Host() + ") ist nicht vertrauenswürdig.\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.err.find("== stop == OK\nFehler beim Download.\n\nFehler: 60 / Das Zertifikat des "
                         "Update-Servers (" + Host() + ") ist nicht vertrauenswürdig.\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find("SSL"), std::string::npos) << "no library text: " << r.err;
    EXPECT_TRUE(StoreFiles().empty());
}

ZQ_ZQU_SCENARIO_TESTS(ZquEndToEnd)

TEST_F(ZquEndToEnd, AnUpdateFolderThatCannotBeWrittenIsTold) {
    fs::remove_all(Store());
    zqtest::WriteFile(data + "/UpdStore", "no folder");  // a file stands in its place
    const auto r = Zqu("1\n\ns\n");
    EXPECT_NE(r.err.find("Fehler beim Download.\n\nFehler: " + std::to_string(ENOTDIR) +
                         " / In das Verzeichnis '" + Store() + "' kann nicht geschrieben werden.\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.exitCode, 1);
}

// Without length but ended cleanly, a download is complete (cut, it is not: a scenario).
TEST_F(ZquEndToEnd, ABodyWithoutLengthThatEndsCleanlyIsComplete) {
    Server(server->Base() + "/nolength", *dir / "pki/ca.pem");
    const auto r = Zqu("1\na\ns\n");
    EXPECT_EQ(zqtest::ReadFile(Store() + "zqmupd.exe"), zqtest::ReadFile(*dir / "root/zqmupd.exe"));
    EXPECT_EQ(r.exitCode, 0) << r.err;
}

TEST_F(ZquEndToEnd, TheChecksumsOnTheVersionPageAreChecked) {
    Server(server->Base() + "/sums", *dir / "pki/ca.pem");
    // The Manager's checksum on that page is wrong, the Client's right.
    const auto r = Zqu("1\n\n2\na\ns\n");
    EXPECT_NE(r.err.find("Fehler beim Download.\n\nDie Prüfsumme (SHA-256) der geladenen Datei "
                         "weicht von der auf dem Update-Server genannten ab.\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(StoreFiles(), std::vector<std::string>{"zqcupd.exe"});
    EXPECT_EQ(zqtest::ReadFile(Store() + "zqcupd.exe"), zqtest::ReadFile(*dir / "root/sums/zqcupd.exe"));
    EXPECT_EQ(r.exitCode, 1) << "the Manager's download failed";
}

TEST_F(ZquEndToEnd, KilledDownloadsLeaveTemporariesThatTheNextStartRemoves) {
    fs::create_directories(Store());
    zqtest::WriteFile(Store() + ".zqcupd.exe.99999.3.part", "left by a run killed long ago");
    zqtest::WriteFile(Store() + ".zqcupd.exe.notes", "not ours");
    Server(server->Base() + "/stall-exe", *dir / "pki/ca.pem");

    // A download that hangs halfway, killed.
    int in[2];
    ASSERT_EQ(pipe(in), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        close(in[0]);
        close(in[1]);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        setenv("ZEQUORA_UI", "console", 1);
        setenv("ZEQUORA_REGISTRY", (tmp / "reg").c_str(), 1);
        setenv("ZEQUORA_SHELL_LOG", shellLog.c_str(), 1);
        setenv("ZEQUORA_WEB_TIMEOUT_S", "30", 1);
        execl((prog + "/zqu").c_str(), "zqu", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(in[0]);
    ASSERT_EQ(write(in[1], "1\n", 2), 2);
    std::string part;
    for (int i = 0; i < 200 && part.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        for (const std::string& name : StoreFiles()) {
            if (name.rfind(".zqmupd.exe.", 0) == 0) part = name;
        }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // half the file is on its way
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    close(in[1]);
    ASSERT_FALSE(part.empty()) << "the download did not start";
    EXPECT_TRUE(fs::exists(Store() + part)) << "a killed run cannot clean up after itself";

    const auto r = Zqu("s\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(StoreFiles(), std::vector<std::string>{".zqcupd.exe.notes"});
}

TEST_F(ZquEndToEnd, TheMeasuringAidFailsWithItsOwnCode) {
    const auto r = zqtest::Run({prog + "/zqu", "--fetch-file", server->Base() + "/missing.exe",
                                tmp / "out.exe", *dir / "pki/ca.pem"});
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_FALSE(fs::exists(tmp / "out.exe"));
    // An existing file, an installer say, is never replaced by it.
    zqtest::WriteFile(tmp / "zqmupd.exe", "MZ das alte Installationsprogramm");
    const auto over = zqtest::Run({prog + "/zqu", "--fetch-file", server->Base() + "/iupdate.htm",
                                   tmp / "zqmupd.exe", *dir / "pki/ca.pem"});
    EXPECT_EQ(over.exitCode, 2) << over.err;
    EXPECT_NE(over.err.find("exists already"), std::string::npos) << over.err;
    EXPECT_EQ(zqtest::ReadFile(tmp / "zqmupd.exe"), "MZ das alte Installationsprogramm");
}

TEST_F(ZquEndToEnd, HalfDownloadAndMissingFileLeaveNothingBehind) {
    fs::create_directories(Store());
    zqtest::WriteFile(Store() + "zqcupd.exe", "kept");
    Server(server->Base() + "/half", *dir / "pki/ca.pem");
    auto r = Zqu("1\n\n2\nj\n\ns\n");
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(Count(r.err, "Fehler beim Download.\n\nFehler: 18 / Die Übertragung ist abgebrochen."), 2) << r.err;
    EXPECT_EQ(StoreFiles(), std::vector<std::string>{"zqcupd.exe"});
    EXPECT_EQ(zqtest::ReadFile(Store() + "zqcupd.exe"), "kept");

    Server(server->Base() + "/nothing-here", *dir / "pki/ca.pem");
    r = Zqu("1\n\ns\n");
    EXPECT_NE(r.err.find("Fehler: 404 / Der Update-Server (" + Host() + ") antwortete mit dem Status 404.\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(StoreFiles(), std::vector<std::string>{"zqcupd.exe"});
}

TEST_F(ZquEndToEnd, StallingServerAndHugePageEndInTimeWithEmptyVersions) {
    // The page stops halfway; the stall time-out (2 s here) ends the wait in time, and the
    // busy line is there before.
    Server(server->Base() + "/stall-midway", *dir / "pki/ca.pem");
    auto r = Zqu("", "2");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_LT(seconds, 4.5);
    EXPECT_EQ(r.out.rfind("Die neuesten Versionen werden vom Update-Server gelesen ...\n", 0), 0u)
        << r.out;
    EXPECT_NE(r.out.find("-- ZEQUORA Client --\n  Aktuelle Version: \n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Hinweis: Die neuesten Versionen konnten nicht gelesen werden: Die "
                         "Übertragung ist abgebrochen: der Update-Server (" + Host() +
                         ") sendet nichts mehr.\n"),
              std::string::npos)
        << r.out;

    Server(server->Base() + "/big50", *dir / "pki/ca.pem");
    r = Zqu("");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_LT(seconds, 10);
    EXPECT_NE(r.out.find("-- ZEQUORA Manager --\n  Aktuelle Version: \n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("ist zu groß (mehr als 1048576 Bytes)"), std::string::npos) << r.out;
}

}  // namespace
