// The real ZQU.exe under Wine and a virtual display, in temporary installations, against the
// local HTTPS server of the Linux tests (ctest fixture win_https): its window read and clicked
// through Win32 from outside, its message boxes answered, and the shell's "open" and
// "explore" caught by a stand-in program registered for them in the test prefix.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "platform/win32/WinText.h"
#include "update/ZquScenarios.h"
#include "update/win32/WebFixture.h"
#include "win32/WinStandinSupport.h"

namespace {

using zq::win32::Utf8;
using zq::win32::Wide;
using zqwin::BoxAnswers;

const wchar_t kCaption[] = L"ZEQUORA - Update 4.1";
const char kBusy[] = "Die neuesten Versionen werden vom Update-Server gelesen ...";
const std::string kSettings = "Software\\VB and VBA Program Settings\\";

struct Control {
    HWND hwnd = nullptr;
    int id = 0;
    std::wstring cls;
    std::string text;
    RECT rect{};
    LONG style = 0;
    bool visible = false;
};

BOOL CALLBACK AddChild(HWND hwnd, LPARAM list) {
    Control c;
    c.hwnd = hwnd;
    c.id = GetDlgCtrlID(hwnd);
    wchar_t cls[64] = {};
    GetClassNameW(hwnd, cls, 64);
    c.cls = cls;
    wchar_t text[1024] = {};
    GetWindowTextW(hwnd, text, 1024);
    c.text = Utf8(std::wstring(text));
    GetWindowRect(hwnd, &c.rect);
    c.style = GetWindowLongW(hwnd, GWL_STYLE);
    c.visible = IsWindowVisible(hwnd) != FALSE;
    reinterpret_cast<std::vector<Control>*>(list)->push_back(c);
    return TRUE;
}

bool IsGroup(const Control& c) { return _wcsicmp(c.cls.c_str(), L"Button") == 0 && (c.style & 0xF) == BS_GROUPBOX; }
bool IsStatic(const Control& c) { return _wcsicmp(c.cls.c_str(), L"Static") == 0; }
bool Inside(const RECT& inner, const RECT& outer) {
    return inner.left >= outer.left && inner.right <= outer.right && inner.top >= outer.top &&
           inner.bottom <= outer.bottom;
}

// ZQU.exe's window seen from outside: its controls by their texts and places.
class ZquWindow {
public:
    // Waits until the window is there and has read the version page: it shows a newest
    // version or a remark, and no longer its busy line (the window shows before the page is
    // asked for, and takes no click until it is read).
    bool WaitReady(int ms) {
        return zqwin::WaitFor(
            [&] {
                HWND found = FindWindowW(nullptr, kCaption);
                if (found == nullptr || !IsWindowVisible(found)) return false;
                hwnd_ = found;
                bool told = false;
                for (const Control& c : Controls()) {
                    if (c.visible && c.text == kBusy) return false;
                    // The remark below the groups: a static of several lines' height.
                    if (IsStatic(c) && c.visible && !c.text.empty() && c.rect.bottom - c.rect.top > 24) told = true;
                }
                return told || Value("ZEQUORA Manager ", "Aktuelle Version").find('.') != std::string::npos;
            },
            ms);
    }
    bool Gone() const { return !IsWindow(hwnd_); }
    // What the window holds, for a failure message.
    std::string Describe() const {
        if (hwnd_ == nullptr) return "no window \"ZEQUORA - Update 4.1\"";
        std::string out = IsWindowVisible(hwnd_) ? "visible window:" : "hidden window:";
        for (const Control& c : Controls()) {
            out += "\n  " + Utf8(c.cls) + " " + std::to_string(c.id) + (c.visible ? " " : " (hidden) ") + "[" +
                   c.text + "] at " + std::to_string(c.rect.left) + "," + std::to_string(c.rect.top);
        }
        return out;
    }

    std::vector<Control> Controls() const {
        std::vector<Control> list;
        if (hwnd_ != nullptr) EnumChildWindows(hwnd_, AddChild, reinterpret_cast<LPARAM>(&list));
        return list;
    }
    // The label right of the label `caption`, inside the group `group` (all groups when empty).
    std::string Value(const std::string& group, const std::string& caption) const {
        const auto list = Controls();
        RECT area = Area(list, group);
        for (const Control& label : list) {
            if (!IsStatic(label) || label.text != caption || !Inside(label.rect, area)) continue;
            const Control* best = nullptr;
            for (const Control& c : list) {
                if (IsStatic(c) && c.hwnd != label.hwnd && std::abs(c.rect.top - label.rect.top) < 6 &&
                    c.rect.left >= label.rect.right && Inside(c.rect, area) && !c.text.empty() &&
                    (best == nullptr || c.rect.left < best->rect.left)) {
                    best = &c;
                }
            }
            return best != nullptr ? best->text : std::string("(nothing beside)");
        }
        return "(no label " + caption + ")";
    }
    // Clicks the button with the text (inside the group when given); an empty text means the
    // button with the folder picture.
    bool Click(const std::string& group, const std::string& text) const {
        const auto list = Controls();
        RECT area = Area(list, group);
        for (const Control& c : list) {
            const bool button = _wcsicmp(c.cls.c_str(), L"Button") == 0 && !IsGroup(c);
            const bool match = text.empty() ? (c.style & BS_ICON) != 0 : c.text == text;
            if (button && match && Inside(c.rect, area)) {
                return PostMessageW(hwnd_, WM_COMMAND, MAKEWPARAM(c.id, BN_CLICKED), reinterpret_cast<LPARAM>(c.hwnd));
            }
        }
        return false;
    }
    bool Close() const { return Click("", "&Schließen"); }

private:
    static RECT Area(const std::vector<Control>& list, const std::string& group) {
        RECT all{LONG_MIN / 2, LONG_MIN / 2, LONG_MAX / 2, LONG_MAX / 2};
        if (group.empty()) return all;
        for (const Control& c : list) {
            if (IsGroup(c) && c.text == group) return c.rect;
        }
        return RECT{0, 0, 0, 0};
    }

    HWND hwnd_ = nullptr;
};

// Whether the program ended already, and what it wrote, for a failure message.
std::string Ended(zqwin::Process& p) {
    const long code = p.Wait(0);
    if (code == -1) return "; ZQU.exe still runs";
    return "; ZQU.exe ended with code " + std::to_string(code) + ": " + p.Output();
}

// A default value of a key under HKEY_CLASSES_ROOT, set for the test and put back after it.
class ClassCommand {
public:
    ClassCommand(const std::wstring& key, const std::wstring& command) : key_(key) {
        wchar_t old[2048] = {};
        DWORD size = sizeof old;
        had_ = RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, old, &size) ==
               ERROR_SUCCESS;
        old_ = old;
        RegSetKeyValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, REG_SZ, command.c_str(),
                        static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
    }
    ~ClassCommand() {
        if (had_) {
            RegSetKeyValueW(HKEY_CLASSES_ROOT, key_.c_str(), nullptr, REG_SZ, old_.c_str(),
                            static_cast<DWORD>((old_.size() + 1) * sizeof(wchar_t)));
        } else {
            RegDeleteKeyValueW(HKEY_CLASSES_ROOT, key_.c_str(), nullptr);
        }
    }
    ClassCommand(const ClassCommand&) = delete;
    ClassCommand& operator=(const ClassCommand&) = delete;

private:
    std::wstring key_;
    std::wstring old_;
    bool had_ = false;
};

void SetSetting(const std::string& app, const std::string& section, const std::string& key, const std::string& value) {
    const std::wstring text = Wide(value);
    RegSetKeyValueW(HKEY_CURRENT_USER, Wide(kSettings + app + "\\" + section).c_str(), Wide(key).c_str(), REG_SZ,
                    text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

class ZquWine : public ::testing::Test, public zqtest::zqu::Installation {
protected:
    static void SetUpTestSuite() {
        fixture = new zqwin::WebFixture();
        if (!fixture->Ready()) return;
        const std::string root = fixture->Root("e2e");
        fixture->Root("e2e\\download");
        zqwin::WriteAll(root + "\\iupdate.htm",
                        "<html><body>\r\nZQM_Version:3.05\r\n<br>ZQC_Version:3.23.1 (Mai)\r\n</body></html>");
        // Installers are Windows programs: two built ones stand in.
        CopyFileW(Wide(zqwin::BinDir() + "\\zqmupd_4_1_24_0.exe").c_str(), Wide(root + "\\zqmupd.exe").c_str(), FALSE);
        CopyFileW(Wide(zqwin::BinDir() + "\\zq_showargs.exe").c_str(), Wide(root + "\\zqcupd.exe").c_str(), FALSE);
        zqwin::WriteAll(root + "\\download\\update.txt", "history");
        // An installer larger than the 1 MB file system of the full folder.
        const std::string big = fixture->Root("e2e-big");
        zqwin::WriteAll(big + "\\zqmupd.exe", std::string(2 * 1024 * 1024, 'z'));
    }
    static void TearDownTestSuite() {
        delete fixture;
        fixture = nullptr;
    }

    void SetUp() override {
        if (!zqwin::HaveDisplay()) GTEST_SKIP() << "ZQU.exe's window needs a display (xvfb-run)";
        ASSERT_TRUE(fixture->Ready()) << fixture->Error();
        prog = tmp.File("Programm");
        data = tmp.File("Daten");
        ASSERT_TRUE(CreateDirectoryW(Wide(prog).c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryW(Wide(data).c_str(), nullptr));
        ASSERT_TRUE(CopyFileW(Wide(zqwin::BinDir() + "\\ZQU.exe").c_str(), Wide(prog + "\\ZQU.exe").c_str(), FALSE));
        DataFolder(data);
        Server(Base(), fixture->Ca());
        RegDeleteTreeW(HKEY_CURRENT_USER, Wide(kSettings + "ZEQUORA - Manager 4").c_str());
        RegDeleteTreeW(HKEY_CURRENT_USER, Wide(kSettings + "ZEQUORA - Client 4").c_str());
        SetSetting("ZEQUORA - Manager 4", "Update", "UpdateVersion", "3.04.2");
        SetSetting("ZEQUORA - Manager 4", "Update", "UpdateDate", "01.02.2025");
    }
    void TearDown() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, Wide(kSettings + "ZEQUORA - Manager 4").c_str());
    }

    std::string Base() override { return fixture->Base() + "/e2e"; }
    void DataFolder(const std::string& folder) {
        ASSERT_TRUE(zqwin::WriteAll(prog + "\\zqm.ini", "[Datendatei]\r\nNetzwerk=X\r\nPfad=" + folder + "\r\n"));
        store = folder + "\\UpdStore\\";
    }
    void Server(const std::string& address, const std::string& ca = "") {
        ASSERT_TRUE(zqwin::WriteAll(prog + "\\zqu.ini", "[Server]\r\nAdresse=" + address + "\r\n" +
                                                            (ca.empty() ? "" : "CAFile=" + ca + "\r\n")));
    }
    // Names in the update folder, hidden ones too.
    std::vector<std::string> StoreFiles() override {
        std::vector<std::string> names;
        WIN32_FIND_DATAW found{};
        HANDLE find = FindFirstFileW(Wide(store + "*").c_str(), &found);
        if (find == INVALID_HANDLE_VALUE) return names;
        do {
            const std::string name = Utf8(std::wstring(found.cFileName));
            if (name != "." && name != "..") names.push_back(name);
        } while (FindNextFileW(find, &found));
        FindClose(find);
        std::sort(names.begin(), names.end());
        return names;
    }
    // What the shell stand-in received last ("" when nothing), and forget it.
    std::string ShellSaw(int waitMs = 10000) {
        zqwin::WaitFor([&] { return !zqwin::ReadAll(shellLog).empty(); }, waitMs);
        Sleep(50);
        std::string seen = zqwin::ReadAll(shellLog);
        DeleteFileW(Wide(shellLog).c_str());
        return seen.substr(0, seen.find('\n'));
    }

    // Starts ZQU.exe with the shell's "open" and "explore" caught.
    std::unique_ptr<zqwin::Process> Launch() {
        const std::wstring standin = L"\"" + Wide(zqwin::BinDir()) + L"\\zq_showargs.exe\" \"%1\"";
        commands.clear();
        for (const wchar_t* key : {L"https\\shell\\open\\command", L"Folder\\shell\\explore\\command",
                                   L"Directory\\shell\\explore\\command", L"Folder\\shell\\open\\command",
                                   L"Directory\\shell\\open\\command"}) {
            commands.push_back(std::make_unique<ClassCommand>(key, standin));
        }
        auto p = std::make_unique<zqwin::Process>("\"" + prog + "\\ZQU.exe\"",
                                                  std::vector<std::string>{"ZQ_SHOWARGS_OUT=" + shellLog,
                                                                           "ZEQUORA_WEB_TIMEOUT_S=3"});
        EXPECT_TRUE(p->Started());
        return p;
    }
    // The shared scenarios' installation: the window clicked, its boxes answered.
    std::string Store() override { return store; }
    std::string Served(const std::string& name) override { return zqwin::ReadAll(fixture->Root("e2e") + "\\" + name); }
    void UseServer(const std::string& address, bool trusted) override { Server(address, trusted ? fixture->Ca() : ""); }
    void Write(const std::string& path, const std::string& bytes) override {
        CreateDirectoryW(Wide(path.substr(0, path.rfind('\\'))).c_str(), nullptr);
        ASSERT_TRUE(zqwin::WriteAll(path, bytes)) << path;
    }
    std::string Read(const std::string& path) override { return zqwin::ReadAll(path); }
    bool Exists(const std::string& path) override { return zqwin::Exists(path); }
    // The stand-in shows its command line: the program, then what it was to open.
    std::string Opened(int waitMs) override {
        const std::string seen = ShellSaw(waitMs);
        const std::size_t end = seen.rfind('"');
        const std::size_t start = end == std::string::npos || end == 0 ? std::string::npos : seen.rfind('"', end - 1);
        return start == std::string::npos ? "" : seen.substr(start + 1, end - start - 1);
    }
    std::vector<zqtest::zqu::Failure> Failures() override {
        const std::string host = fixture->Host();
        return {
            {fixture->Base() + "/half/e2e", true, "Fehler: 12030 / Die Übertragung ist abgebrochen."},
            {fixture->Base() + "/cut-nolength/e2e", true, "Fehler: 12152 / Die Übertragung ist abgebrochen."},
            {fixture->Base() + "/e2e/nothing-here", true,
             "Fehler: 404 / Der Update-Server (" + host + ") antwortete mit dem Status 404."},
            {fixture->Base() + "/redirect-http/e2e", true,
             "Fehler: 12156 / Der Update-Server (" + host + ") leitet auf eine Adresse weiter, die nicht mit https:// beginnt"},
            // The system's authorities alone do not know the test's.
            {Base(), false, "Das Zertifikat des Update-Servers (" + host + ") ist nicht vertrauenswürdig."},
            {"http://" + host + "/e2e", true, "Die Adresse des Update-Servers in zqu.ini ist keine https-Adresse: http://"},
            // Nobody listens there any more.
            {"https://localhost:1/e2e", true, "Fehler: 12029 / Keine Verbindung zum Update-Server (localhost:1)."},
        };
    }
    zqtest::zqu::Run Start(const std::vector<zqtest::zqu::Act>& acts) override {
        using zqtest::zqu::Act;
        std::vector<zq::MsgResult> answers;
        for (Act a : acts) {
            if (zqtest::zqu::IsAnswer(a)) answers.push_back(zqtest::zqu::AnswerOf(a));
        }
        BoxAnswers boxes(zqwin::Buttons(answers));
        auto zqu = Launch();
        ZquWindow window;
        zqtest::zqu::Run run;
        if (!window.WaitReady(30000)) {
            ADD_FAILURE() << window.Describe() << Ended(*zqu);
            return run;
        }
        run.folder = window.Value("", "Auto-Update Verzeichnis");
        for (auto [part, group] : {std::pair{&run.manager, "ZEQUORA Manager "}, {&run.client, "ZEQUORA Client "}}) {
            *part = {window.Value(group, "Aktuelle Version"), window.Value(group, "Update Version"),
                     window.Value(group, "Update Datum")};
        }
        // Each click after the boxes before it were answered, as a user would.
        std::size_t answered = 0;
        for (Act a : acts) {
            if (zqtest::zqu::IsAnswer(a)) {
                ++answered;
                continue;
            }
            if (answered > 0) {
                EXPECT_TRUE(boxes.WaitSeen(answered, 30000)) << answered << " boxes";
                Sleep(300);
            }
            // The folder's button shows an icon, no text.
            EXPECT_TRUE(a == Act::History  ? window.Click("", "&Historie anzeigen")
                        : a == Act::Folder ? window.Click("", "")
                                           : window.Click(a == Act::DownloadManager ? "ZEQUORA Manager " : "ZEQUORA Client ",
                                                          "Download Update"));
        }
        EXPECT_TRUE(boxes.WaitSeen(answers.size(), 30000)) << answers.size() << " boxes";
        run.closedItself = zqu->Wait(1500) != -1;
        if (!run.closedItself) {
            EXPECT_TRUE(window.Close());
        }
        run.exitCode = zqu->Wait(20000);
        run.boxes = zqwin::ScenarioBoxes(boxes);
        return run;
    }

    static inline zqwin::WebFixture* fixture = nullptr;
    zqwin::TempFolder tmp;
    std::string prog, data, store;
    std::string shellLog = tmp.File("shell.txt");
    std::vector<std::unique_ptr<ClassCommand>> commands;
};

// While a download runs on a slow line, the window answers whatever is sent to it at once
// and its progress bar moves several times a second.
TEST_F(ZquWine, TheWindowAnswersAndShowsProgressDuringASlowDownload) {
    Server(fixture->Base() + "/slow/e2e", fixture->Ca());
    BoxAnswers boxes({IDYES, IDOK});
    auto zqu = Launch();
    ZquWindow window;
    ASSERT_TRUE(window.WaitReady(60000)) << window.Describe() << Ended(*zqu);
    HWND main = FindWindowW(nullptr, L"ZEQUORA - Update 4.1");
    HWND bar = FindWindowExW(main, nullptr, L"msctls_progress32", nullptr);
    ASSERT_NE(bar, nullptr);
    ASSERT_TRUE(window.Click("ZEQUORA Manager ", "Download Update"));
    // Sample until the first question (the offer of the other part) shows.
    std::vector<double> answers;
    std::vector<std::pair<double, LRESULT>> positions;
    const auto start = std::chrono::steady_clock::now();
    auto seconds = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); };
    while (boxes.Seen().empty() && seconds() < 60) {
        const double sent = seconds();
        DWORD_PTR result = 0;
        if (SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_BLOCK, 5000, &result) == 0) answers.push_back(5);
        else answers.push_back(seconds() - sent);
        LRESULT pos = 0;
        SendMessageTimeoutW(bar, PBM_GETPOS, 0, 0, SMTO_BLOCK, 5000, reinterpret_cast<DWORD_PTR*>(&pos));
        if (positions.empty() || positions.back().second != pos) positions.emplace_back(seconds(), pos);
        Sleep(20);
    }
    ASSERT_FALSE(boxes.Seen().empty()) << "the download did not end";
    ASSERT_GT(seconds(), 1.5) << "the line was not slow enough to tell";
    std::sort(answers.begin(), answers.end());
    EXPECT_LT(answers.back(), 0.1) << "slowest answer in s; median " << answers[answers.size() / 2];
    // The bar moved at least twice in every second of the download.
    int slowest = 100;
    for (double t = positions.front().first; t + 1 <= positions.back().first; t += 0.25) {
        int moves = 0;
        for (const auto& [at, pos] : positions) moves += at >= t && at < t + 1;
        slowest = std::min(slowest, moves);
    }
    EXPECT_GE(slowest, 2) << positions.size() << " positions";
    EXPECT_EQ(zqu->Wait(60000), 0);
}

TEST_F(ZquWine, AFullFolderKeepsTheOldInstaller) {
    const std::string full = fixture->FullFolder();
    if (full.empty()) GTEST_SKIP() << "no small file system could be mounted for a full folder";
    const std::string folder = full + "\\zqu-" + std::to_string(GetCurrentProcessId());
    ASSERT_TRUE(CreateDirectoryW(Wide(folder).c_str(), nullptr));
    DataFolder(folder);
    Server(fixture->Base() + "/e2e-big", fixture->Ca());
    OldInstaller("the old installer");
    const auto r = Start({zqtest::zqu::Act::DownloadManager, zqtest::zqu::Act::Yes, zqtest::zqu::Act::Ok});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(zqwin::ReadAll(store + "zqmupd.exe"), "the old installer");
    EXPECT_EQ(StoreFiles(), std::vector<std::string>{"zqmupd.exe"}) << "nothing half-done is left";
    ASSERT_TRUE(r.boxes && r.boxes->size() == 2u);
    EXPECT_EQ((*r.boxes)[1].text, "Fehler beim Download.\n\nFehler: 112 / Im Verzeichnis '" + store +
                                      "' ist nicht genug Platz.");
    DeleteFileW(Wide(store + "zqmupd.exe").c_str());
    RemoveDirectoryW(Wide(store).c_str());
    RemoveDirectoryW(Wide(folder).c_str());
}

}  // namespace

ZQ_ZQU_SCENARIO_TESTS(ZquWine)
