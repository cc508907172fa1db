// The real ZQR.exe under Wine in temporary installations: Wine's registry and files, the DAO
// adapter over the stand-in DAO server and the Windows stand-in msaccess.exe. Trace, log and
// result records are compared with the lines the Linux build writes (reorg/ZqrExpected.h).
// Message boxes are answered through their windows where a display is there (xvfb-run).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include <gtest/gtest.h>
#include <windows.h>
#include <sddl.h>
#include <tlhelp32.h>


#include "common/RegistryAccess.h"
#include "platform/win32/WinFiles.h"
#include "platform/win32/WinRegistry.h"
#include "platform/win32/WinText.h"
#include "reorg/ZqrScenarios.h"
#include "win32/WinStandinSupport.h"

namespace {

using zq::win32::Utf8;
using zq::win32::Wide;
using zqwin::BoxAnswers;

const std::string kSettingsKey =
    "Software\\VB and VBA Program Settings\\ZEQUORA - Datendatei Reorganisation";
const std::string kLocalFolder = "C:\\temp\\zequora2\\update";

// Trace and log are written in the ANSI code page.
std::string FromAnsi(const std::string& ansi) {
    if (ansi.empty()) return {};
    int n = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), wide.data(), n);
    return Utf8(wide);
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

void RemoveTree(const std::string& folder) {
    WIN32_FIND_DATAW found{};
    const std::wstring wide = Wide(folder);
    HANDLE find = FindFirstFileW((wide + L"\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::string full = folder + "\\" + Utf8(name);
            SetFileAttributesW(Wide(full).c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(full);
            else
                DeleteFileW(Wide(full).c_str());
        } while (FindNextFileW(find, &found));
        FindClose(find);
    }
    RemoveDirectoryW(wide.c_str());
}

// The lock file held open as the database engine holds it: shared for reading and writing,
// never for deleting.
class HeldLockFile {
public:
    explicit HeldLockFile(const std::string& path)
        : h_(CreateFileW(Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)),
          path_(path) {}
    ~HeldLockFile() { Release(); }
    bool Held() const { return h_ != INVALID_HANDLE_VALUE; }
    void Release() {
        if (h_ == INVALID_HANDLE_VALUE) return;
        CloseHandle(h_);
        h_ = INVALID_HANDLE_VALUE;
        DeleteFileW(Wide(path_).c_str());
    }

private:
    HANDLE h_;
    std::string path_;
};

// The ZQR.exe window, driven as a user would: the path typed into its field, its buttons
// clicked, closed by its frame. Control numbers as the window gives them (first 100, in the
// order of the design's controls).
class ZqrWindow {
public:
    static constexpr int kEnde = 102, kReorg = 103, kPath = 104, kProgress = 106;
    // Waits until the window shows (false when it does not within the time).
    bool Find(int ms = 20000) {
        return zqwin::WaitFor(
            [this] {
                hwnd_ = FindWindowW(L"ZequoraFrmZQR", nullptr);
                return hwnd_ != nullptr && IsWindowVisible(hwnd_);
            },
            ms);
    }
    void Type(const std::string& path) {
        SendMessageW(GetDlgItem(hwnd_, kPath), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Wide(path).c_str()));
    }
    std::string Text(int id) {
        wchar_t text[1024] = {};
        SendMessageW(GetDlgItem(hwnd_, id), WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
        return Utf8(std::wstring(text));
    }
    void Click(int id) { PostMessageW(GetDlgItem(hwnd_, id), BM_CLICK, 0, 0); }
    void Close() { PostMessageW(hwnd_, WM_CLOSE, 0, 0); }

private:
    HWND hwnd_ = nullptr;
};

class ZqrWine : public ::testing::Test, public zqtest::zqr::Installation {
protected:
    zqwin::TempFolder tmp;
    std::string prog, office, data, dataFile, access, output, standinLog;
    zq::win32::WinRegistry reg;
    zq::win32::WinFiles files;

    void SetUp() override {
        prog = tmp.File("Programm ZQ");
        office = tmp.File("office");
        data = tmp.File("Daten Firma");
        for (const auto& d : {prog, office, data}) ASSERT_TRUE(CreateDirectoryW(Wide(d).c_str(), nullptr)) << d;
        Copy(zqwin::BinDir() + "\\ZQR.exe", prog + "\\ZQR.exe");
        access = office + "\\msaccess.exe";
        Copy(zqwin::BinDir() + "\\msaccess.exe", access);
        ZqmIni("");
        dataFile = data + "\\zqdata.mdb";
        std::string error;
        ASSERT_TRUE(zqwin::Sql(dataFile, zqexpect::kDataFileSql, &error)) << error;
        // Every run's database program notes what it did, for the report of a failed test.
        standinLog = tmp.File("standin.log");
        RunEnv("ZEQUORA_STANDIN_LOG", standinLog);
        Clean();
    }
    void TearDown() override {
        // A test that fails on a run's exit code alone still tells what the run did.
        if (HasFailure()) {
            std::printf("--- trace ---\n%s\n--- console of the last run ---\n%s\n--- database program ---\n%s\n",
                        Trace().c_str(), output.c_str(), zqwin::ReadAll(standinLog).c_str());
            if (programLost_) zqwin::SayProgramLost();
        }
        Clean();
    }
    void Clean() {
        RemoveTree(kLocalFolder);
        RegDeleteTreeW(HKEY_CURRENT_USER, Wide(kSettingsKey).c_str());
    }

    static void Copy(const std::string& from, const std::string& to) {
        ASSERT_TRUE(CopyFileW(Wide(from).c_str(), Wide(to).c_str(), FALSE)) << from;
    }
    void ZqmIni(const std::string& more) override {
        ASSERT_TRUE(zqwin::WriteAll(prog + "\\zqm.ini", "[Datenbasis]\r\nPfad=" + office + "\r\n" + more));
    }

    // ZQR.exe with the command line after its name, unchanged; its console output in output.
    long Zqr(const std::string& arguments, const std::vector<std::string>& env = {},
             const std::string* input = nullptr, const std::wstring& desktop = {}) {
        zqwin::Process p("\"" + prog + "\\ZQR.exe\"" + (arguments.empty() ? "" : " " + arguments), env, input,
                         desktop);
        EXPECT_TRUE(p.Started());
        long code = p.Wait(120000);
        output = p.Output();
        return code;
    }
    // The file that takes Wine's debug output of the programs this test starts (wine-run.sh
    // names it); empty when the test runs otherwise.
    static std::string WineErrorsFile() {
        const char* errors = std::getenv("ZQ_WINE_ERRORS");
        if (errors == nullptr) return {};
        std::string path = std::string("Z:") + errors;
        std::replace(path.begin(), path.end(), '/', '\\');
        return path;
    }
    std::vector<std::string> SaveCopies(const std::string& folder) {
        std::vector<std::string> names;
        for (const zq::DirEntry& e : files.List(folder)) names.push_back(e.name);
        return names;
    }

    // The shared scenarios' installation.
    struct HeldFile : Held {
        explicit HeldFile(const std::string& path) : file(path) { EXPECT_TRUE(file.Held()) << path; }
        HeldLockFile file;
    };
    std::string Sep() override { return "\\"; }
    std::string Prog() override { return prog; }
    std::string Data() override { return data; }
    std::string Access() override { return access; }
    std::string Scratch() override { return tmp.Path(); }
    void MakeFolder(const std::string& path) override { CreateDirectoryW(Wide(path).c_str(), nullptr); }
    void Write(const std::string& path, const std::string& bytes) override {
        ASSERT_TRUE(zqwin::WriteAll(path, bytes)) << path;
    }
    std::string Read(const std::string& path) override { return zqwin::ReadAll(path); }
    std::string Text(const std::string& path) override { return FromAnsi(zqwin::ReadAll(path)); }
    bool Exists(const std::string& path) override { return zqwin::Exists(path); }
    std::vector<std::string> List(const std::string& folder) override {
        auto names = SaveCopies(folder);
        std::sort(names.begin(), names.end());
        return names;
    }
    long long Size(const std::string& path) override { return zqwin::FileSize(path); }
    void Age(const std::string& path, int hour) override {
        HANDLE h = CreateFileW(Wide(path).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ULARGE_INTEGER v{};
        v.QuadPart = 130000000000000000ull + static_cast<unsigned long long>(hour) * 36000000000ull;
        FILETIME t{v.LowPart, v.HighPart};
        EXPECT_TRUE(SetFileTime(h, nullptr, nullptr, &t)) << path;
        CloseHandle(h);
    }
    std::string Permissions(const std::string& path) override {
        zq::FsStatus status;
        return files.ReadPermissions(path, status);
    }
    void MakeDataFile(const std::string& path) override {
        std::string error;
        ASSERT_TRUE(zqwin::Sql(path, zqexpect::kDataFileSql, &error)) << error;
    }
    std::vector<std::string> Rows(const std::string& file, const std::string& sql) override {
        return zqwin::Query(file, sql);
    }
    void ZqrIni(const std::string& lines) override {
        ASSERT_TRUE(zqwin::WriteAll(prog + "\\zqr.ini", "[Global]\r\n" + lines));
    }
    void Remember(const std::string& file) override {
        zq::SaveSetting(reg, "ZEQUORA - Datendatei Reorganisation", "Settings", "01", file);
    }
    void FailingAccess() override { ASSERT_TRUE(zqwin::WriteAll(access, "kein Programm")); }
    void AccessWritesANewFile() override { RunEnv("ZEQUORA_STANDIN_NEW_FILE", "1"); }
    void AccessEnds(int code) override { RunEnv("ZEQUORA_STANDIN_EXIT", std::to_string(code)); }
    bool MakeReadOnly(const std::string& path) override {
        return SetFileAttributesW(Wide(path).c_str(), FILE_ATTRIBUTE_READONLY) != FALSE;
    }
    // Only the owner and the system: an access list Wine keeps as far as Windows does.
    bool RestrictRights(const std::string& path) override {
        const std::string initial = Permissions(path);
        const std::string owner = initial.substr(2, initial.find("D:") - 2);
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
                Wide("D:(A;;FA;;;SY)(A;;FA;;;" + owner + ")").c_str(), SDDL_REVISION_1, &descriptor, nullptr))
            return false;
        const bool set = SetFileSecurityW(Wide(path).c_str(), DACL_SECURITY_INFORMATION, descriptor) != FALSE;
        LocalFree(descriptor);
        return set;
    }
    std::unique_ptr<Held> HoldLockFile(const std::string& path) override { return std::make_unique<HeldFile>(path); }
    void StandInManager() override {
        Copy(zqwin::BinDir() + "\\zq_showargs.exe", prog + "\\zqm.exe");
        RunEnv("ZQ_SHOWARGS_OUT", tmp.File("zqm-started.txt"));
    }
    bool ManagerStarted(int waitMs) override {
        const std::string note = tmp.File("zqm-started.txt");
        if (!zqwin::WaitFor([&] { return !zqwin::ReadAll(note).empty(); }, waitMs)) return false;
        Sleep(100);
        EXPECT_EQ(zqwin::ReadAll(note), "\"" + prog + "\\zqm.exe\"\n" + std::to_string(SW_SHOWMINIMIZED));
        return DeleteFileW(Wide(note).c_str()) != FALSE;
    }
    std::string LocalFolder() override {
        EXPECT_TRUE(files.MakePrivateFolder(kLocalFolder).ok());
        return kLocalFolder;
    }
    std::string TooLongPath() override {
        std::string path = "C:\\";
        path.append(300, 'a');
        return path + "\\zqdata.mdb";
    }
    bool RefusedInNames(char c) override { return std::string("\"<>|*?/\\:").find(c) != std::string::npos; }
    std::optional<int> SystemLogEntries() override { return std::nullopt; }  // Wine keeps no event log
    // The arguments as one command line, taken literally as a scheduled task passes it.
    // Each act after the boxes before it were answered, as a user would.
    zqtest::zqr::WindowRun Window(const std::vector<std::string>& args,
                                  const std::vector<zqtest::zqr::Act>& acts) override {
        using zqtest::zqr::Act;
        std::vector<zq::MsgResult> answers;
        for (const Act& a : acts) {
            if (a.IsAnswer()) answers.push_back(a.Answer());
        }
        BoxAnswers boxes(zqwin::Buttons(answers));
        const int noted = StandinRuns();
        zqwin::Process p("\"" + prog + "\\ZQR.exe\"" + CommandTail(args), runEnv_);
        EXPECT_TRUE(p.Started());
        zqtest::zqr::WindowRun run;
        ZqrWindow window;
        if (!window.Find()) {
            ADD_FAILURE() << "no window";
            return run;
        }
        run.shownPath = window.Text(ZqrWindow::kPath);
        std::size_t answered = 0;
        for (const Act& a : acts) {
            if (a.IsAnswer()) {
                ++answered;
                continue;
            }
            if (answered > 0) {
                EXPECT_TRUE(boxes.WaitSeen(answered, 30000)) << answered << " boxes";
                Sleep(300);
            }
            if (a.kind == Act::Await) {
                EXPECT_TRUE(zqwin::WaitFor([&] { return window.Text(ZqrWindow::kProgress) == a.text; }, 30000))
                    << window.Text(ZqrWindow::kProgress);
            } else if (a.kind == Act::Type) window.Type(a.text);
            else window.Click(a.kind == Act::Start ? ZqrWindow::kReorg : ZqrWindow::kEnde);
        }
        EXPECT_TRUE(boxes.WaitSeen(answers.size(), 30000)) << answers.size() << " boxes";
        run.closedItself = p.Wait(1500) != -1;
        if (!run.closedItself) window.Close();
        run.exitCode = p.Wait(120000);
        output = p.Output();
        NoteLostPrograms(noted);
        run.boxes = zqwin::ScenarioBoxes(boxes);
        return run;
    }
    // The arguments after the program's name, taken literally as a scheduled task passes them.
    static std::string CommandTail(const std::vector<std::string>& args) {
        std::string tail;
        for (const std::string& a : args) tail += " " + a;
        return tail;
    }
    zqtest::ScenarioRun Run(const std::vector<std::string>& args, const std::vector<zq::MsgResult>& answers) override {
        BoxAnswers boxes(zqwin::Buttons(answers));
        zqtest::ScenarioRun r;
        const int noted = StandinRuns();
        r.exitCode = Zqr(CommandTail(args).substr(args.empty() ? 0 : 1), runEnv_);
        NoteLostPrograms(noted);
        r.boxes = zqwin::ScenarioBoxes(boxes);
        return r;
    }
    // Every run of the stand-in database program notes a line, whatever its outcome.
    int StandinRuns() { return zqtest::zqr::Count(zqwin::ReadAll(standinLog), "\n"); }
    // A database program that the run started but that never noted its run never ran its
    // main: Wine lost it (its WoW64 mode now and then does), not the program under test.
    void NoteLostPrograms(int notedBefore) {
        const int started = zqtest::zqr::Count(Trace(), "#### Start Reorganisation ####");
        if (started > StandinRuns() - notedBefore) programLost_ = true;
    }
    bool programLost_ = false;
    // What the shared scenarios' runs get in their environment; a name set again takes the new value.
    void RunEnv(const std::string& name, const std::string& value) {
        std::erase_if(runEnv_, [&](const std::string& e) { return e.rfind(name + "=", 0) == 0; });
        runEnv_.push_back(name + "=" + value);
    }
    std::vector<std::string> runEnv_;
};

TEST_F(ZqrWine, LongPathsAreReorganisedThroughTheExtendedForms) {
    std::string deep = data;
    for (int k = 0; k < 5; ++k) {
        deep += "\\" + std::string(55, static_cast<char>('a' + k));
        ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + Wide(deep)).c_str(), nullptr));
    }
    const std::string file = deep + "\\zqdata.mdb";
    ASSERT_GT(file.size(), 260u);
    ASSERT_TRUE(CopyFileW(Wide(dataFile).c_str(), (L"\\\\?\\" + Wide(file)).c_str(), FALSE));
    ZqrIni("sicherungskopie=b\r\n");
    EXPECT_EQ(Zqr("/DATEI " + file), 0) << output << Trace();
    EXPECT_TRUE(Has(Trace(), zqexpect::AccessEnded(0))) << Trace();
    EXPECT_TRUE(Has(Trace(), zqexpect::kResultsWritten));
    EXPECT_EQ(SaveCopies(deep + "\\Save").size(), 1u);
    RemoveTree("\\\\?\\" + data);  // past the length the folder's own clean-up reaches
}

// A task that runs while nobody is logged on gets a window station nobody sees: no box may
// wait there. The message goes to the trace and the system log, and the run ends at once.
TEST_F(ZqrWine, WithoutAVisibleDesktopNoBoxWaitsAndTheSystemLogGetsTheEntry) {
    HWINSTA own = GetProcessWindowStation();
    HWINSTA station = CreateWindowStationW(L"ZqUnsichtbar", 0, WINSTA_ALL_ACCESS, nullptr);
    ASSERT_NE(station, nullptr);
    ASSERT_TRUE(SetProcessWindowStation(station));
    HDESK desktop = CreateDesktopW(L"Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    SetProcessWindowStation(own);
    ASSERT_NE(desktop, nullptr);
    const auto start = std::chrono::steady_clock::now();
    // Wine keeps no event log: its ReportEventW shows the entry's type, number and text on
    // its debug channels, which the child writes where this test's own error output goes.
    const std::string errorsPath = WineErrorsFile();
    if (errorsPath.empty()) GTEST_SKIP() << "run through tests/win32/wine-run.sh";
    const std::size_t seenBefore = zqwin::ReadAll(errorsPath).size();
    const long code = Zqr("/DATEI " + data + "\\fehlt.mdb", {"WINEDEBUG=warn+eventlog,fixme+advapi"}, nullptr,
                          L"ZqUnsichtbar\\Default");
    const auto took = std::chrono::steady_clock::now() - start;
    CloseDesktop(desktop);
    CloseWindowStation(station);
    EXPECT_EQ(code, 1) << output;
    EXPECT_LT(took, std::chrono::seconds(30));
    EXPECT_TRUE(Has(Trace(), "Message          : ZEQUORA Datendatei Reorganisation: Aktion abgebrochen.  "))
        << Trace();
    const std::string logged = zqwin::ReadAll(errorsPath).substr(seenBefore);
    EXPECT_TRUE(Has(logged, "RegisterEventSourceW ((null),L\"ZQR\")")) << logged;
    EXPECT_TRUE(Has(logged, "ReportEventW (")) << logged;
    EXPECT_TRUE(Has(logged, ",0x0002,0x0000,0x00000001,")) << "a warning, number 1: " << logged;
    EXPECT_TRUE(Has(logged, ":warn:eventlog:ReportEventW L\"ZEQUORA Reorganisation abgebrochen")) << logged;
}

// Checked before anything is touched: a database program that is no Windows program, and a
// list of data files that are reorganised one after the other.
TEST_F(ZqrWine, ADatabaseProgramThatIsNoProgramStopsTheRunBeforeAnyCopy) {
    ASSERT_TRUE(zqwin::WriteAll(access, "kein Programm"));
    ZqrIni("Meldungen=N\r\n");  // the message goes to the trace instead of a box
    const std::string before = zqwin::ReadAll(dataFile);
    EXPECT_EQ(Zqr("/DATEI " + dataFile, {}), 2) << output;
    EXPECT_TRUE(Has(Trace(), "Action           : Check database program: " + access + "\r\nResult           : Error\r\n"))
        << Trace();
    EXPECT_TRUE(Has(Trace(), "ist kein Programm, das unter diesem Windows laufen kann"));
    EXPECT_FALSE(Has(Trace(), "%1"));
    EXPECT_FALSE(zqwin::Exists(data + "\\Save"));
    EXPECT_TRUE(zqwin::ReadAll(dataFile) == before);
}

// ZQR.exe embeds a manifest of its own, so Windows no longer reads a ZQR.exe.manifest beside it;
// the program activates that file itself. Wine's activation-context channel shows which
// manifests the program loads.
TEST_F(ZqrWine, AManifestBesideTheProgramIsActivatedBesideTheEmbeddedOne) {
    const std::string errorsPath = WineErrorsFile();
    if (errorsPath.empty()) GTEST_SKIP() << "run through tests/win32/wine-run.sh";
    ZqrIni("Meldungen=N\r\n");
    auto manifests = [&] {
        const std::size_t seen = zqwin::ReadAll(errorsPath).size();
        EXPECT_EQ(Zqr("/DATEI " + data + "\\fehlt.mdb", {"WINEDEBUG=trace+actctx"}), 1) << output;
        return zqwin::ReadAll(errorsPath).substr(seen);
    };
    const std::string plain = manifests();
    EXPECT_TRUE(Has(plain, "looking for res #0001 in module")) << "the embedded manifest";
    EXPECT_FALSE(Has(plain, "ZQR.exe.manifest"));
    ASSERT_TRUE(zqwin::WriteAll(prog + "\\ZQR.exe.manifest",
                                "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
                                "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">"
                                "<dependency><dependentAssembly><assemblyIdentity type=\"win32\" "
                                "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\" "
                                "processorArchitecture=\"*\" publicKeyToken=\"6595b64144ccf1df\" language=\"*\"/>"
                                "</dependentAssembly></dependency></assembly>\r\n"));
    const std::string beside = manifests();
    ASSERT_NE(beside.find("ZQR.exe.manifest\""), std::string::npos) << beside.substr(0, 3000);
    EXPECT_NE(beside.find("common-controls", beside.find("ZQR.exe.manifest\"")), std::string::npos)
        << "the common controls it names are brought in";
}

// ZQR.exe is the message file of its event source: each exit code's entry shows its own text.
TEST_F(ZqrWine, TheProgramCarriesTheMessagesOfItsEventLogEntries) {
    HMODULE exe = LoadLibraryExW(Wide(prog + "\\ZQR.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(exe, nullptr);
    for (DWORD id = 0; id <= 5; ++id) {
        const wchar_t* text = L"Datendatei: C:\\Daten\\zqdata.mdb";
        DWORD_PTR args[] = {reinterpret_cast<DWORD_PTR>(text)};
        wchar_t shown[256] = {};
        const DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, exe, id, 0x407,
                                       shown, 256, reinterpret_cast<va_list*>(args));
        EXPECT_EQ(Utf8(std::wstring(shown, n)), "Datendatei: C:\\Daten\\zqdata.mdb\r\n") << "event " << id;
    }
    FreeLibrary(exe);
}

}  // namespace

ZQ_ZQR_SCENARIO_TESTS(ZqrWine)
