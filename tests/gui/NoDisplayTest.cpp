// The three programs where a display is named but cannot be reached (an ended remote
// session, a cron job that inherited DISPLAY): Qt would end the process at its first window
// or box, so each program must notice it first and use the console.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>

#include "platform/qt/QtDialogsLoader.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

// A display number nobody serves here.
std::string DeadDisplay() {
    int n = 99;
    while (fs::exists("/tmp/.X11-unix/X" + std::to_string(n))) ++n;
    return ":" + std::to_string(n);
}

class NoDisplay : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(prog);
        for (const char* name : {"zqm", "zqr", "zqu", zq::qt::kDialogsModuleName}) {
            ASSERT_TRUE(fs::exists(zqtest::BinDir() + "/" + name)) << name << " is not built";
            fs::copy_file(zqtest::BinDir() + "/" + name, prog + "/" + name);
        }
    }
    // Nothing chosen by the test setup: the programs decide from the display variables.
    zqtest::RunResult Start(const std::string& program, const std::vector<std::string>& args,
                            const std::map<std::string, std::string>& display) {
        std::map<std::string, std::string> env{
            {"ZEQUORA_UI", ""},        {"QT_QPA_PLATFORM", ""},       {"DISPLAY", ""},
            {"WAYLAND_DISPLAY", ""},   {"XDG_SESSION_TYPE", ""},      {"ZEQUORA_REGISTRY", tmp / "reg"},
            {"HOME", tmp.Path()},      {"XDG_CACHE_HOME", tmp / "cache"}, {"XDG_RUNTIME_DIR", tmp.Path()},
            {"LC_ALL", "C"}};
        for (const auto& [name, value] : display) env[name] = value;
        std::vector<std::string> argv{prog + "/" + program};
        argv.insert(argv.end(), args.begin(), args.end());
        return zqtest::Run(argv, env, "", 30000);
    }
    void ExpectConsole(const std::map<std::string, std::string>& display) {
        // zqm without its front end: the stop box, from the module beside it.
        zqtest::RunResult r = Start("zqm", {}, display);
        EXPECT_EQ(r.exitCode, 1) << r.err;
        EXPECT_NE(r.err.find("== ZEQUORA Manager == stop == OK"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("Ausgabe im Terminal"), std::string::npos) << r.err;
        // zqr with a data file that is not there: its window and the box about the file.
        r = Start("zqr", {"/DATEI", tmp / "fehlt.mdb"}, display);
        EXPECT_LT(r.exitCode, 128) << r.err;
        EXPECT_NE(r.err.find("== "), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("Ausgabe im Terminal"), std::string::npos) << r.err;
        // zqu: its window on the console, closed by the end of the input.
        r = Start("zqu", {}, display);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NE(r.out.find("==== ZEQUORA - Update"), std::string::npos) << r.out;
        EXPECT_NE(r.err.find("Ausgabe im Terminal"), std::string::npos) << r.err;
    }

    zqtest::TempDir tmp;
    std::string prog = tmp / "prog";
};

TEST_F(NoDisplay, AnXDisplayNobodyServesGivesTheConsole) {
    ExpectConsole({{"DISPLAY", DeadDisplay()}});
}

TEST_F(NoDisplay, AWaylandSocketThatIsNotThereGivesTheConsole) {
    ExpectConsole({{"WAYLAND_DISPLAY", "wayland-zq-none"}, {"XDG_SESSION_TYPE", "wayland"}});
}

TEST_F(NoDisplay, EvenWhenQtIsAskedFor) {
    ExpectConsole({{"ZEQUORA_UI", "qt"}, {"DISPLAY", DeadDisplay()}});
}

TEST_F(NoDisplay, ADisplayThatNeverAnswersGivesTheConsoleWithinSeconds) {
    // A display server port on which the kernel accepts connections that nobody serves.
    int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(listener, 0);
    int display = 60;
    for (; display < 100; ++display) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(6000 + display));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) break;
    }
    ASSERT_LT(display, 100) << "no free display port";
    ASSERT_EQ(listen(listener, 8), 0);
    const auto start = std::chrono::steady_clock::now();
    const zqtest::RunResult r = Start("zqu", {}, {{"DISPLAY", "127.0.0.1:" + std::to_string(display)}});
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    close(listener);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("==== ZEQUORA - Update"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("the display gives no answer"), std::string::npos) << r.err;
    EXPECT_LT(seconds, 15.0);
}

}  // namespace
