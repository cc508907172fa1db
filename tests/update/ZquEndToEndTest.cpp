// The real zqu in a temporary installation, answered on the console, against a local HTTPS
// server.
#include <chrono>
#include <filesystem>

#include <gtest/gtest.h>

#include "common/RegistryAccess.h"
#include "platform/posix/RegistryStore.h"
#include "support/TestSupport.h"
#include "update/HttpsServer.h"

namespace {

namespace fs = std::filesystem;

int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

class ZquEndToEnd : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = new zqtest::TempDir();
        fs::create_directories(*dir / "pki");
        fs::create_directories(*dir / "root/download");
        pkiError = zqtest::MakeTestPki(*dir / "pki");
        zqtest::WriteFile(*dir / "root/iupdate.htm",
                          "<html><body>\r\nZQM_Version:3.05\r\n<br>ZQC_Version:3.23.1 (Mai)\r\n</body></html>");
        zqtest::WriteFile(*dir / "root/zqmupd.exe", "MZ" + std::string(300000, 'm'));
        zqtest::WriteFile(*dir / "root/zqcupd.exe", "MZ" + std::string(200000, 'c'));
        zqtest::WriteFile(*dir / "root/download/update.txt", "history");
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
    std::string Store() const { return data + "/UpdStore/"; }
    std::vector<std::string> StoreFiles() const {
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

TEST_F(ZquEndToEnd, ShowsRecordedAndNewestVersionsAndOpensTheHistory) {
    const auto r = Zqu("h\ns\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("==== ZEQUORA - Update 4.1 ===="), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Auto-Update Verzeichnis: " + Store() + "\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("-- ZEQUORA Manager --\n  Aktuelle Version: 3.05.0\n"
                         "  Update Version: 3.04.2\n  Update Datum: 01.02.2025\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("-- ZEQUORA Client --\n  Aktuelle Version: 3.23.1\n"
                         "  Update Version: ---\n  Update Datum: ---\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(ShellLog(), "open " + server->Base() + "/download/update.txt\r\n");
    EXPECT_EQ(r.out.find("Hinweis"), std::string::npos) << r.out;
}

TEST_F(ZquEndToEnd, DownloadsBothPartsThroughTheOfferAndCloses) {
    const auto r = Zqu("1\nj\n\n2\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(zqtest::ReadFile(Store() + "zqmupd.exe"), zqtest::ReadFile(*dir / "root/zqmupd.exe"));
    EXPECT_EQ(zqtest::ReadFile(Store() + "zqcupd.exe"), zqtest::ReadFile(*dir / "root/zqcupd.exe"));
    EXPECT_EQ(StoreFiles(), (std::vector<std::string>{"zqcupd.exe", "zqmupd.exe"}));
    EXPECT_NE(r.err.find("== ZEQUORA Update  -  4.01 == information == Ja*/Nein/Abbrechen"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("== information == OK\nDownload erfolgreich ausgeführt.\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(ShellLog(), "explore " + Store() + "\r\n");
    EXPECT_NE(r.out.find("100 %"), std::string::npos) << "progress shown";
    EXPECT_EQ(Count(r.out, "Auswahl:"), 1) << "the window closed after the second success";
}

TEST_F(ZquEndToEnd, OverwriteQuestionAnsweredEachWay) {
    fs::create_directories(Store());
    zqtest::WriteFile(Store() + "zqmupd.exe", "old");
    // No keeps the file; Yes replaces it; Cancel at the offer keeps the window; then close.
    const auto r = Zqu("1\nn\n1\nj\na\ns\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Count(r.err, "Update-Datei 'zqmupd.exe' ist im Verzeichnis '" + Store() +
                               "' bereits vorhanden."),
              2)
        << r.err;
    EXPECT_EQ(zqtest::ReadFile(Store() + "zqmupd.exe"), zqtest::ReadFile(*dir / "root/zqmupd.exe"));
    EXPECT_EQ(StoreFiles(), std::vector<std::string>{"zqmupd.exe"});
    EXPECT_EQ(ShellLog(), "");
    EXPECT_EQ(Count(r.out, "Auswahl:"), 3);
}

TEST_F(ZquEndToEnd, UntrustedCertificateGivesNoVersionsAndNoDownload) {
    Server(server->Base());  // the system's authorities do not know the test CA
    const auto r = Zqu("1\n\ns\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("-- ZEQUORA Manager --\n  Aktuelle Version: \n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Hinweis: Die neuesten Versionen konnten nicht gelesen werden"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.err.find("== stop == OK\nFehler beim Download.\n\nFehler: 0 / "),
              std::string::npos)
        << r.err;
    EXPECT_TRUE(StoreFiles().empty());
}

TEST_F(ZquEndToEnd, HalfDownloadAndMissingFileLeaveNothingBehind) {
    fs::create_directories(Store());
    zqtest::WriteFile(Store() + "zqcupd.exe", "kept");
    Server(server->Base() + "/half", *dir / "pki/ca.pem");
    auto r = Zqu("1\n\n2\nj\n\ns\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Count(r.err, "Fehler beim Download."), 2) << r.err;
    EXPECT_EQ(StoreFiles(), std::vector<std::string>{"zqcupd.exe"});
    EXPECT_EQ(zqtest::ReadFile(Store() + "zqcupd.exe"), "kept");

    Server(server->Base() + "/nothing-here", *dir / "pki/ca.pem");
    r = Zqu("1\n\ns\n");
    EXPECT_NE(r.err.find("Fehler: 404 / HTTP status 404"), std::string::npos) << r.err;
    EXPECT_EQ(StoreFiles(), std::vector<std::string>{"zqcupd.exe"});
}

TEST_F(ZquEndToEnd, StallingServerAndHugePageEndInTimeWithEmptyVersions) {
    Server(server->Base() + "/stall", *dir / "pki/ca.pem");
    auto r = Zqu("", "1");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_LT(seconds, 10);
    EXPECT_NE(r.out.find("-- ZEQUORA Client --\n  Aktuelle Version: \n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Hinweis: "), std::string::npos) << r.out;

    Server(server->Base() + "/big50", *dir / "pki/ca.pem");
    r = Zqu("");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_LT(seconds, 10);
    EXPECT_NE(r.out.find("-- ZEQUORA Manager --\n  Aktuelle Version: \n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("larger"), std::string::npos) << r.out;
}

}  // namespace
