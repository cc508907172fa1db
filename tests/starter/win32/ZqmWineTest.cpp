// The real ZQM.exe under Wine in temporary installations: Wine's registry, real INI files,
// the DAO adapter over the stand-in DAO server, the Windows stand-in msaccess.exe and
// installers with version resources; one test per way the program ends. Message boxes are
// answered through their windows where a display is there (xvfb-run).
#include <gtest/gtest.h>

#include <algorithm>

#include "common/FileInfo.h"
#include "common/RegistryAccess.h"
#include "platform/win32/WinFiles.h"
#include "platform/win32/WinRegistry.h"
#include "platform/win32/WinText.h"
#include "starter/Global.h"
#include "platform/Processes.h"
#include "starter/ZqmScenarios.h"
#include "win32/WinStandinSupport.h"

namespace {

using zq::RegRoot;
using zqwin::BoxAnswers;
using zqwin::CrLfLines;
using zq::win32::Utf8;
using zq::win32::Wide;

const std::string kOffice = "Software\\Microsoft\\Office\\14.0";
const std::string kTrusted = kOffice + "\\Access\\Security\\Trusted Locations";

class ZqmWine : public ::testing::Test, public zqtest::zqm::Installation {
protected:
    zqwin::TempFolder tmp;
    std::string prog, office, data, standinLog, installerLog;
    zq::win32::WinRegistry reg;

    void SetUp() override {
        prog = tmp.File("Programm ZQ");
        office = tmp.File("office");
        data = tmp.File("daten");
        standinLog = tmp.File("standin.log");
        installerLog = tmp.File("installer.log");
        for (const auto& d : {prog, office, data, data + "\\UpdStore"})
            ASSERT_TRUE(CreateDirectoryW(Wide(d).c_str(), nullptr)) << d;
        Copy(zqwin::BinDir() + "\\ZQM.exe", prog + "\\ZQM.exe");
        Copy(zqwin::BinDir() + "\\msaccess.exe", office + "\\msaccess.exe");
        FrontEnd("4.1", ".23", "NULL");
        Ini("[Datenbasis]\r\nVersion=14.0\r\nBit=32\r\nPfad=X\r\n[Datendatei]\r\nNetzwerk=n\r\nPfad=" +
            data + "\r\n");
        CleanRegistry();
        zq::WriteStringValue(reg, RegRoot::LocalMachine, kOffice + "\\Common\\InstallRoot", "", office);
        zq::RegHandle h = 0;
        ASSERT_EQ(reg.CreateKey(RegRoot::CurrentUser, kTrusted, h), zq::kRegSuccess);
        reg.CloseKey(h);
    }
    void TearDown() override {
        if (HasFailure() && programLost_) zqwin::SayProgramLost();
        CleanRegistry();
    }

    void CleanRegistry() {
        RegDeleteTreeW(HKEY_CURRENT_USER, Wide(kOffice).c_str());
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, Wide(kOffice).c_str());
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Office\\10.0");
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Office\\16.0");
    }
    static void Copy(const std::string& from, const std::string& to) {
        ASSERT_TRUE(CopyFileW(Wide(from).c_str(), Wide(to).c_str(), FALSE)) << from;
    }
    void FrontEnd(const std::string& major, const std::string& minor, const std::string& beta) {
        DeleteFileW(Wide(prog + "\\zqm.zqf").c_str());
        ASSERT_TRUE(zqwin::Sql(prog + "\\zqm.zqf",
                               "CREATE TABLE tbl_Intern (VI_Major TEXT, VI_Minor TEXT, VI_Beta TEXT);"
                               "INSERT INTO tbl_Intern VALUES ('" + major + "', '" + minor + "', " + beta + ");"));
    }
    void Ini(const std::string& text) { ASSERT_TRUE(zqwin::WriteAll(prog + "\\zqm.ini", text)); }
    std::string IniText() { return zqwin::ReadAll(prog + "\\zqm.ini"); }
    void Installer(const std::string& which) {
        Copy(zqwin::BinDir() + "\\" + which, data + "\\UpdStore\\zqmupd.exe");
    }

    long Zqm(const std::string& arguments) {
        // The child takes this process's environment; names the system already has are
        // replaced here rather than added twice.
        SetEnvironmentVariableW(L"ComputerName", L"PC 12");
        SetEnvironmentVariableW(L"UserName", L"anna");
        zqwin::Process p("\"" + prog + "\\ZQM.exe\"" + (arguments.empty() ? "" : " " + arguments),
                         {"ZEQUORA_STANDIN_LOG=" + standinLog, "ZQ_SHOWARGS_OUT=" + installerLog});
        EXPECT_TRUE(p.Started());
        return p.Wait(60000);
    }

    // The shared scenarios' installation.
    std::string Sep() override { return "\\"; }
    std::string Prog() override { return prog; }
    zqtest::ZqmPaths Paths() override {
        // The update-store check writes the data folder in capitals.
        std::string upperData = data;
        std::transform(upperData.begin(), upperData.end(), upperData.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        return {"\\", prog, office, upperData, data, "C:\\temp\\zequora2\\update\\"};
    }
    void Write(const std::string& path, const std::string& content) override { zqwin::WriteAll(path, content); }
    std::string Read(const std::string& path) override { return zqwin::ReadAll(path); }
    bool Exists(const std::string& path) override { return zqwin::Exists(path); }
    void Remove(const std::string& path) override { DeleteFileW(Wide(path).c_str()); }
    void WithoutAccess() override {
        Remove(prog + "\\zqm.ini");
        CleanRegistry();
    }
    void UpdateInstaller(const std::string& version) override {
        std::string name = "zqmupd_" + version + ".exe";
        std::replace(name.begin(), name.end(), '.', '_');
        name.replace(name.size() - 4, 4, ".exe");
        Installer(name);
    }
    // Boxes are answered through their windows; without a display they return at once, unseen.
    zqtest::zqm::RunResult Run(const std::vector<std::string>& args,
                               const std::vector<zq::MsgResult>& answers) override {
        BoxAnswers boxes(zqwin::Buttons(answers));
        zqtest::zqm::RunResult r;
        r.exitCode = Zqm(zq::JoinCommandLine(args));
        r.boxes = zqwin::ScenarioBoxes(boxes);
        return r;
    }
    std::string StandinReport() override {
        const std::string report = WaitForFile(standinLog);
        if (report.empty()) NoteLostLaunch();
        Remove(standinLog);
        return report;
    }
    // A launch that the trace shows as done but whose database program never reported never
    // ran its main: Wine lost it (its WoW64 mode now and then does), not the program under test.
    void NoteLostLaunch() {
        const std::vector<std::string> lines = Trace();
        const auto at = std::find(lines.begin(), lines.end(), "*** Start Zequora Manager ***");
        if (at != lines.end() &&
            std::none_of(at, lines.end(), [](const std::string& l) { return l.rfind("Error ", 0) == 0; }))
            programLost_ = true;
    }
    bool programLost_ = false;
    // The installer stand-in notes its command line and how its window was to show: normal.
    std::string InstallerStart() override {
        const std::string note = WaitForFile(installerLog);
        Remove(installerLog);
        const std::size_t end = note.find('\n');
        EXPECT_EQ(end == std::string::npos ? "" : note.substr(end + 1), std::to_string(SW_SHOWNORMAL)) << note;
        return note.substr(0, end);
    }
    bool AnythingStarted() override { return zqwin::Exists(standinLog) || zqwin::Exists(installerLog); }
    std::string UnexaminableFolder() override { return "C:\\DA|TEN\\"; }  // '|' is in no Windows name
    std::string Error52Folder() override { return "C:\\temp\\error52\\"; }
    // The started programs run on their own; wait a bounded time for their report.
    static std::string WaitForFile(const std::string& path) {
        zqwin::WaitFor([&] { return !zqwin::ReadAll(path).empty(); }, 20000);
        Sleep(100);
        return zqwin::ReadAll(path);
    }
    // "reg query" of Wine, as a person would check the entries.
    static std::string RegQuery(const std::string& key, const std::string& value) {
        zqwin::Process p("reg.exe query \"HKCU\\" + key + "\" /v " + value);
        p.Wait(30000);
        return p.Output();
    }
};

ZQ_ZQM_SCENARIO_TESTS(ZqmWine)

TEST_F(ZqmWine, TheCommandLineArrivesUnchangedAndTheRegistrationsAreWinesOwn) {
    const std::string args = "/excl \"a b\"  /cmd \"x\\\"y\" %PATH% ";
    EXPECT_EQ(Zqm(args), 0);
    EXPECT_EQ(Trace()[14], "glStartParm        : " + args);
    // The stand-in splits the line it received by the Windows rules.
    EXPECT_EQ(StandinReport(),
              "runtime \"" + prog + "\\zqm.zqf\" version 4.1.23 arguments 5: [/excl] [a b] [/cmd] "
              "[x\"y] [%PATH%]\n");

    // The registrations, read back by Wine's own "reg query".
    EXPECT_NE(RegQuery(kTrusted + "\\Location0", "Path").find("REG_SZ    " + prog), std::string::npos)
        << RegQuery(kTrusted + "\\Location0", "Path");
    EXPECT_NE(RegQuery(kTrusted + "\\Location1", "Path").find("C:\\temp\\zequora2\\update\\"),
              std::string::npos);
    EXPECT_NE(RegQuery(kTrusted + "\\Location2", "Path").find("REG_SZ    " + data + "\\"),
              std::string::npos);
    EXPECT_NE(RegQuery(kTrusted + "\\Location2", "Description").find("set by Zequora"), std::string::npos);
    EXPECT_NE(RegQuery(kTrusted + "\\Location2", "AllowSubfolders").find("REG_DWORD    0x0"),
              std::string::npos);
    // A second start adds none.
    EXPECT_EQ(Zqm(""), 0);
    EXPECT_FALSE(zq::KeyExists(reg, RegRoot::CurrentUser, kTrusted + "\\Location3"));
}
TEST_F(ZqmWine, WithoutAccessTheStreamedOffice16FolderIsLookedAt) {
    WithoutAccess();
    BoxAnswers boxes({IDOK});
    EXPECT_EQ(Zqm(""), 1);
    EXPECT_TRUE(Traced("Check Access       : C:\\Program Files (x86)\\Microsoft Office\\root\\Office16\\msaccess.exe"));
}
TEST_F(ZqmWine, AnOlderInstallerIsNotOfferedAndTheManagerStarts) {
    Installer("zqmupd_4_1_22_0.exe");
    EXPECT_EQ(Zqm(""), 0);
    auto lines = Trace();
    auto at = std::find(lines.begin(), lines.end(), "Update Version     : 4.1.22.0");
    ASSERT_NE(at, lines.end());
    EXPECT_EQ(*(at + 1), "Current Version    : 4.1.23.0");
    EXPECT_EQ(*(at + 2), "Result             : Not needed");
    EXPECT_FALSE(WaitForFile(standinLog).empty());
}

TEST(ZqmWineBuild, TheProgramsFileVersionIsItsTraceVersionInBothBuilds) {
    zq::win32::WinFiles files;
    EXPECT_EQ(zq::FileVersionText(files, zqwin::BinDir() + "\\ZQM.exe"), "4.1.0.23");
    EXPECT_EQ(zq::FileVersionText(files, zqwin::BinDir() + "\\zqmupd_4_1_24_0.exe"), "4.1.24.0");
    // The 32-bit shipping build, where it is built beside this one.
    const std::string shipping = zqwin::BinDir() + "\\..\\..\\build-windows\\bin\\ZQM.exe";
    if (!zqwin::Exists(shipping)) GTEST_SKIP() << "the 32-bit build is not there: " << shipping;
    EXPECT_EQ(zq::FileVersionText(files, shipping), "4.1.0.23");
    const std::string pe = zqwin::ReadAll(shipping);
    ASSERT_GT(pe.size(), 0x200u);
    const std::size_t header = static_cast<unsigned char>(pe[0x3C]) | (static_cast<unsigned char>(pe[0x3D]) << 8);
    ASSERT_LT(header + 26, pe.size());
    EXPECT_EQ(pe.substr(header, 4), std::string("PE\0\0", 4));
    EXPECT_EQ(static_cast<unsigned char>(pe[header + 24]) | (static_cast<unsigned char>(pe[header + 25]) << 8),
              0x10B) << "PE32, a 32-bit program";
}

}  // namespace
