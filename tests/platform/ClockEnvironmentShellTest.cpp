// Locale formats of the clock, the environment's fixed folders and names, the shell log.
#include <gtest/gtest.h>

#include <unistd.h>

#include <clocale>
#include <cstdlib>

#include "platform/posix/PosixClock.h"
#include "platform/posix/PosixEnvironment.h"
#include "platform/posix/PosixShell.h"
#include "support/TestSupport.h"

namespace {

class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        const char* old = std::getenv(name);
        had_ = old != nullptr;
        if (old) old_ = old;
        if (value) setenv(name, value, 1);
        else unsetenv(name);
    }
    ~ScopedEnv() {
        if (had_) setenv(name_, old_.c_str(), 1);
        else unsetenv(name_);
    }

private:
    const char* name_;
    bool had_ = false;
    std::string old_;
};

TEST(PosixClock, OneDecimalWithThousandsInTheCLocale) {
    std::setlocale(LC_ALL, "C");
    zq::posix::PosixClock clock;
    EXPECT_EQ(clock.FormatOneDecimal(1234567.89), "1,234,567.9");
    EXPECT_EQ(clock.FormatOneDecimal(0), "0.0");
    EXPECT_EQ(clock.FormatOneDecimal(0.04), "0.0");
    EXPECT_EQ(clock.FormatOneDecimal(-0.04), "0.0");
    EXPECT_EQ(clock.FormatOneDecimal(12.34), "12.3");
    EXPECT_EQ(clock.FormatOneDecimal(999.96), "1,000.0");
    EXPECT_EQ(clock.FormatOneDecimal(100.0), "100.0");
    EXPECT_EQ(clock.FormatOneDecimal(-1234.5), "-1,234.5");
    EXPECT_EQ(clock.FormatOneDecimal(243.0 * 1024 * 1024 / 1024 / 1024), "243.0");
}

TEST(PosixClock, OneDecimalUsesTheLocalesSeparators) {
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr)
        << "the German locale is missing; scripts/setup.sh generates it";
    zq::posix::PosixClock clock;
    EXPECT_EQ(clock.FormatOneDecimal(1234.56), "1.234,6");
    EXPECT_EQ(clock.FormatOneDecimal(1234567.89), "1.234.567,9");
    std::setlocale(LC_ALL, "C");
}

TEST(PosixClock, GeneralFormatTicksAndSleep) {
    std::setlocale(LC_ALL, "C");
    zq::posix::PosixClock clock;
    EXPECT_EQ(clock.FormatGeneral({2026, 3, 4, 5, 6, 7}), "03/04/26 05:06:07");
    EXPECT_EQ(clock.FormatGeneral({}), "");
    zq::DateTime now = clock.Now();
    EXPECT_GE(now.year, 2024);
    EXPECT_GE(now.month, 1);
    EXPECT_LE(now.month, 12);
    auto before = clock.TickMs();
    clock.Sleep(30);
    EXPECT_GE(clock.TickMs() - before, 29);
}

TEST(PosixEnvironment, NamesComeFromTheVariablesFirst) {
    zq::posix::PosixEnvironment env;
    {
        ScopedEnv computer("COMPUTERNAME", "PC-42");
        ScopedEnv user("USERNAME", "mueller");
        EXPECT_EQ(env.ComputerName(), "PC-42");
        EXPECT_EQ(env.UserName(), "mueller");
        EXPECT_EQ(env.Get("USERNAME"), std::optional<std::string>("mueller"));
    }
    {
        ScopedEnv computer("COMPUTERNAME", nullptr);
        ScopedEnv username("USERNAME", nullptr);
        ScopedEnv user("USER", "meier");
        char host[256] = {};
        gethostname(host, sizeof host - 1);
        EXPECT_EQ(env.ComputerName(), host);
        EXPECT_EQ(env.UserName(), "meier");
        EXPECT_EQ(env.Get("USERNAME"), std::nullopt);
    }
    EXPECT_FALSE(env.LogonName().empty());
    std::string program = env.ProgramPath();
    EXPECT_EQ(program.substr(program.rfind('/') + 1), "test_platform");
}

TEST(PosixEnvironment, FixedFoldersEndInTheSeparator) {
    zq::posix::PosixEnvironment env;
    {
        ScopedEnv cache("XDG_CACHE_HOME", "/var/cache/u7/");
        EXPECT_EQ(env.LocalUpdateFolder(), "/var/cache/u7/zequora2/update/");
    }
    {
        ScopedEnv cache("XDG_CACHE_HOME", nullptr);
        ScopedEnv home("HOME", "/home/u8");
        EXPECT_EQ(env.LocalUpdateFolder(), "/home/u8/.cache/zequora2/update/");
        ScopedEnv prefix("WINEPREFIX", nullptr);
        EXPECT_EQ(env.StreamedOffice16Folder(true),
                  "/home/u8/.wine/drive_c/Program Files/Microsoft Office/root/Office16/");
    }
    ScopedEnv prefix("WINEPREFIX", "/opt/w");
    EXPECT_EQ(env.StreamedOffice16Folder(false),
              "/opt/w/drive_c/Program Files (x86)/Microsoft Office/root/Office16/");
}

TEST(PosixShell, RequestsGoToTheLogWhenOneIsNamed) {
    zqtest::TempDir dir;
    ScopedEnv log("ZEQUORA_SHELL_LOG", (dir / "shell.log").c_str());
    zq::posix::PosixShell shell;
    EXPECT_TRUE(shell.Open("https://updates.example/download/update.txt"));
    EXPECT_TRUE(shell.Explore("/srv/data/UpdStore/"));
    EXPECT_FALSE(shell.Open("--help"));
    EXPECT_FALSE(shell.Explore(""));
    EXPECT_EQ(zqtest::ReadFile(dir / "shell.log"),
              "open https://updates.example/download/update.txt\r\nexplore /srv/data/UpdStore/\r\n");
}

}  // namespace
