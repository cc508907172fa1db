#pragma once
// Helpers for the Windows tests of the data access and the stand-ins: temporary folders,
// data files made with SQLite directly (independent of the code under test), processes.
#include <windows.h>
#include <objbase.h>

#include <sqlite3.h>

#include <atomic>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/Scenario.h"

namespace zqwin {

// The build's bin/ as a Windows path ("Z:\..." under Wine).
std::string BinDir();

// A fresh folder under the temporary folder, removed with everything in it at the end.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

// COM for the test's thread, as a program's main sets it up.
class ComApartment {
public:
    ComApartment() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    ~ComApartment() { CoUninitialize(); }
};

bool Exists(const std::string& path);
long long FileSize(const std::string& path);
std::string ReadAll(const std::string& path);
bool WriteAll(const std::string& path, const std::string& bytes);

// Runs SQL on a database file with SQLite (creating it); false with the message in error.
bool Sql(const std::string& path, const std::string& sql, std::string* error = nullptr);
// The first column of each row of a query, as text ("NULL" for Null).
std::vector<std::string> Query(const std::string& path, const std::string& sql);

using zqtest::CrLfLines;

// A display where windows and message boxes show (xvfb-run); without one MessageBoxW returns
// at once.
bool HaveDisplay();

// Tells tests/win32/wine-run.sh, on the test's output, that a program the failed test started
// was lost by Wine while it started; the script then runs the test once more.
void SayProgramLost();

// Answers the message boxes the program shows, in order, by clicking a button of each, and
// keeps their titles and texts.
class BoxAnswers {
public:
    struct Box {
        std::string title, text;
    };
    explicit BoxAnswers(std::vector<int> buttons);
    ~BoxAnswers();
    BoxAnswers(const BoxAnswers&) = delete;
    BoxAnswers& operator=(const BoxAnswers&) = delete;
    std::vector<Box> Seen();
    // Waits until count boxes were answered; false when the time is up first.
    bool WaitSeen(std::size_t count, int ms);

private:
    static BOOL CALLBACK Visit(HWND hwnd, LPARAM self);
    void Run();

    std::deque<int> buttons_;
    std::vector<Box> seen_;
    std::mutex mutex_;
    std::atomic<bool> stop_{false};
    HWND found_ = nullptr;
    HWND last_ = nullptr;
    std::thread thread_;
};

// The buttons that give the scenarios' answers, in turn.
std::vector<int> Buttons(const std::vector<zq::MsgResult>& answers);
// The boxes answered, as the scenarios compare them; nothing without a display, where boxes
// return unseen.
std::optional<std::vector<zqtest::Box>> ScenarioBoxes(BoxAnswers& boxes);

// A started program; killed at the end at the latest.
class Process {
public:
    // commandLine is passed unchanged; env entries "NAME=value" are added for the child;
    // input, when given, is the child's standard input (else it gets ours); desktop, when
    // given, is the "<window station>\<desktop>" the child runs on.
    Process(const std::string& commandLine, const std::vector<std::string>& env = {},
            const std::string* input = nullptr, const std::wstring& desktop = {});
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    bool Started() const { return info_.hProcess != nullptr; }
    DWORD Id() const { return info_.dwProcessId; }
    // The exit code, or -1 when it did not end within the time.
    long Wait(DWORD ms = 60000);
    const std::string& Output();  // standard output and error, after Wait

private:
    PROCESS_INFORMATION info_{};
    std::string inputFile_;
    std::string outputFile_;
    std::string output_;
};

// Polls until the condition holds or the time is up.
template <typename F>
bool WaitFor(F condition, int ms) {
    for (int waited = 0;; waited += 20) {
        if (condition()) return true;
        if (waited >= ms) return false;
        Sleep(20);
    }
}

}  // namespace zqwin
