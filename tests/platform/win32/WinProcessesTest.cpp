// Starting programs, the environment, the user's formats and the message-box styles.
#include <gtest/gtest.h>

#include <windows.h>

#include "WinTestSupport.h"
#include "platform/win32/WinClock.h"
#include "platform/win32/WinDialogs.h"
#include "platform/win32/WinEnvironment.h"
#include "platform/win32/WinProcesses.h"

namespace {

using zq::WindowStyle;

// Starts the helper with the given arguments and gives back what it received.
struct Started {
    bool ok = false;
    int exitCode = -1;
    std::string commandLine;
    std::string showWindow;
};

Started StartHelper(const std::string& commandLine, WindowStyle style) {
    zqwin::TempDir dir;
    const std::string out = dir / "out.txt";
    SetEnvironmentVariableW(L"ZQ_SHOWARGS_OUT", zq::win32::Wide(out).c_str());
    zq::win32::WinProcesses processes;
    zq::StartResult r = processes.Start(commandLine, true, style);
    Started s;
    s.ok = r.ok;
    if (!r.ok || !r.handle || !r.handle->Wait(60000)) return s;
    s.exitCode = r.handle->ExitCode();
    const std::string text = zqwin::ReadBytes(out);
    const auto nl = text.rfind('\n');
    s.commandLine = text.substr(0, nl);
    if (nl != std::string::npos) s.showWindow = text.substr(nl + 1);
    return s;
}

TEST(WinProcesses, TheCommandLineArrivesUnchangedWithTheWindowStyle) {
    const std::string helper = zqwin::ProgramFolder() + "zq_showargs.exe";
    const std::string line = "\"" + helper + "\" /runtime  \"C:\\Pro gramme\\zqm.zqf\"  /excl \"a\\\"b\"  ";
    Started normal = StartHelper(line, WindowStyle::NormalFocus);
    ASSERT_TRUE(normal.ok);
    EXPECT_EQ(normal.exitCode, 7);
    EXPECT_EQ(normal.commandLine, line);
    EXPECT_EQ(normal.showWindow, std::to_string(SW_SHOWNORMAL));

    Started minimised = StartHelper("\"" + helper + "\"", WindowStyle::MinimizedFocus);
    EXPECT_EQ(minimised.showWindow, std::to_string(SW_SHOWMINIMIZED));
}

TEST(WinProcesses, AProgramThatCannotStartSaysWhy) {
    zq::win32::WinProcesses processes;
    zq::StartResult r = processes.Start("\"C:\\nowhere\\msaccess.exe\" /runtime", false);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("C:\\nowhere\\msaccess.exe"), std::string::npos) << r.error;
    EXPECT_FALSE(processes.Start("", false).ok);
    // A file that is no program: the system's text with its insert filled, never "%1".
    zqwin::TempDir dir;
    zqwin::WriteBytes(dir / "msaccess.exe", "kein Programm");
    r = processes.Start("\"" + dir / "msaccess.exe" + "\" /repair", false);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error.find("%1"), std::string::npos) << r.error;
}

namespace {

std::wstring Self() {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    return self;
}

// This test program, started as one of its own helpers.
std::string HelperCommand(const char* helper) {
    return "\"" + zq::win32::Utf8(Self()) + "\" --gtest_also_run_disabled_tests --gtest_filter=WinProcessHelper." +
           helper;
}

}  // namespace

// Helpers: a program that starts a child of its own, names it in the file ZQ_HELPER_CHILD names
// and waits; and that child.
TEST(WinProcessHelper, DISABLED_StartsAChildAndWaits) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION info{};
    std::wstring line = zq::win32::Wide(HelperCommand("DISABLED_Waits"));
    ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &info));
    wchar_t file[MAX_PATH] = {};
    ASSERT_GT(GetEnvironmentVariableW(L"ZQ_HELPER_CHILD", file, MAX_PATH), 0u);
    zqwin::WriteBytes(zq::win32::Utf8(std::wstring(file)), std::to_string(info.dwProcessId));
    Sleep(60000);
}
TEST(WinProcessHelper, DISABLED_Waits) { Sleep(60000); }

// A database program that does not end is ended with what it started (its job).
TEST(WinProcesses, TerminateEndsTheProgramWithItsChildren) {
    zqwin::TempDir dir;
    const std::string named = dir / "child.txt";
    SetEnvironmentVariableW(L"ZQ_HELPER_CHILD", zq::win32::Wide(named).c_str());
    zq::win32::WinProcesses processes;
    zq::StartResult r = processes.Start(HelperCommand("DISABLED_StartsAChildAndWaits"), true);
    SetEnvironmentVariableW(L"ZQ_HELPER_CHILD", nullptr);
    ASSERT_TRUE(r.ok) << r.error;
    for (int i = 0; i < 200 && zqwin::ReadBytes(named).empty(); ++i) Sleep(50);
    Sleep(100);  // the number written whole
    const DWORD childId = static_cast<DWORD>(std::stoul("0" + zqwin::ReadBytes(named)));
    HANDLE child = OpenProcess(SYNCHRONIZE, FALSE, childId);
    ASSERT_NE(child, nullptr) << "the helper's child did not start";
    EXPECT_FALSE(r.handle->Wait(0));
    r.handle->Terminate();
    EXPECT_TRUE(r.handle->Wait(0));
    EXPECT_EQ(WaitForSingleObject(child, 5000), WAIT_OBJECT_0) << "the child outlived the program";
    CloseHandle(child);
}

TEST(WinEnvironment, ProgramPathVariablesAndFixedFolders) {
    zq::win32::WinEnvironment env;
    EXPECT_EQ(env.Style(), zq::PathStyle::Windows);
    const std::string program = env.ProgramPath();
    EXPECT_EQ(program.substr(program.find_last_of('\\') + 1), "test_win32.exe");
    SetEnvironmentVariableW(L"ComputerName", L"PC 12");
    SetEnvironmentVariableW(L"UserName", L"Müller");
    EXPECT_EQ(env.ComputerName(), "PC 12");
    EXPECT_EQ(env.UserName(), "Müller");
    SetEnvironmentVariableW(L"ZQ_EMPTY_TEST", L"");
    EXPECT_EQ(env.Get("ZQ_EMPTY_TEST"), std::optional<std::string>(""));
    EXPECT_EQ(env.Get("ZQ_NOT_SET_AT_ALL"), std::nullopt);
    EXPECT_FALSE(env.LogonName().empty());
    EXPECT_EQ(env.LocalUpdateFolder(), "C:\\temp\\zequora2\\update\\");
    EXPECT_EQ(env.Error52Folder(), "C:\\temp\\error52\\");
    EXPECT_EQ(env.StreamedOffice16Folder(true), "C:\\Program Files\\Microsoft Office\\root\\Office16\\");
    EXPECT_EQ(env.StreamedOffice16Folder(false),
              "C:\\Program Files (x86)\\Microsoft Office\\root\\Office16\\");
}

// The user's separators, as the system gives them.
std::string Separator(LCTYPE type) {
    wchar_t buffer[16] = {};
    int n = GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, type, buffer, 16);
    return zq::win32::Utf8(buffer, n > 0 ? static_cast<std::size_t>(n - 1) : 0);
}

TEST(WinClock, OneDecimalUsesTheUsersSeparators) {
    zq::win32::WinClock clock;
    const std::string dec = Separator(LOCALE_SDECIMAL), group = Separator(LOCALE_STHOUSAND);
    EXPECT_EQ(clock.FormatOneDecimal(1234567.25), "1" + group + "234" + group + "567" + dec + "3");
    EXPECT_EQ(clock.FormatOneDecimal(0.04), "0" + dec + "0");
    EXPECT_EQ(clock.FormatOneDecimal(-0.04), "0" + dec + "0");
    EXPECT_EQ(clock.FormatOneDecimal(-12.35), "-12" + dec + "4");
    EXPECT_EQ(clock.FormatOneDecimal(999.96), "1" + group + "000" + dec + "0");
}

TEST(WinClock, GeneralDateIsTheUsersShortDateAndLongTime) {
    zq::win32::WinClock clock;
    SYSTEMTIME st{};
    st.wYear = 2026;
    st.wMonth = 12;
    st.wDay = 7;
    st.wHour = 18;
    st.wMinute = 5;
    st.wSecond = 9;
    wchar_t date[64] = {}, time[64] = {};
    GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, date, 64, nullptr);
    GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &st, nullptr, time, 64);
    const std::string expected = zq::win32::Utf8(std::wstring(date)) + " " + zq::win32::Utf8(std::wstring(time));
    EXPECT_EQ(clock.FormatGeneral({2026, 12, 7, 18, 5, 9}), expected);
    EXPECT_NE(expected.find("2026"), std::string::npos) << expected;
    EXPECT_EQ(clock.FormatGeneral({}), "");
    const zq::DateTime now = clock.Now();
    EXPECT_GE(now.year, 2024);
}

TEST(WinDialogs, BoxStylesAndAnswers) {
    using zq::MsgButtons;
    using zq::MsgIcon;
    using zq::MsgResult;
    EXPECT_EQ(zq::win32::MessageBoxStyle(MsgIcon::Stop, MsgButtons::Ok, 0), unsigned(MB_ICONHAND | MB_OK));
    EXPECT_EQ(zq::win32::MessageBoxStyle(MsgIcon::Question, MsgButtons::YesNoCancel, 0),
              unsigned(MB_ICONQUESTION | MB_YESNOCANCEL));
    EXPECT_EQ(zq::win32::MessageBoxStyle(MsgIcon::Exclamation, MsgButtons::YesNoCancel, 1),
              unsigned(MB_ICONEXCLAMATION | MB_YESNOCANCEL | MB_DEFBUTTON2));
    EXPECT_EQ(zq::win32::MessageBoxStyle(MsgIcon::Information, MsgButtons::Ok, 0),
              unsigned(MB_ICONASTERISK | MB_OK));
    EXPECT_EQ(zq::win32::MessageBoxStyle(MsgIcon::None, MsgButtons::YesNo, 2), unsigned(MB_YESNO));

    EXPECT_EQ(zq::win32::MessageBoxAnswer(IDYES, MsgButtons::YesNoCancel, 0), MsgResult::Yes);
    EXPECT_EQ(zq::win32::MessageBoxAnswer(IDNO, MsgButtons::YesNoCancel, 0), MsgResult::No);
    EXPECT_EQ(zq::win32::MessageBoxAnswer(IDCANCEL, MsgButtons::YesNoCancel, 0), MsgResult::Cancel);
    EXPECT_EQ(zq::win32::MessageBoxAnswer(IDOK, MsgButtons::Ok, 0), MsgResult::Ok);
    // A box that could not be shown was closed without an answer.
    EXPECT_EQ(zq::win32::MessageBoxAnswer(0, MsgButtons::YesNoCancel, 1), MsgResult::Cancel);
    EXPECT_EQ(zq::win32::MessageBoxAnswer(0, MsgButtons::YesNo, 1), MsgResult::No);
    EXPECT_EQ(zq::win32::MessageBoxAnswer(-1, MsgButtons::YesNoCancel, 0), MsgResult::Cancel);
    EXPECT_EQ(zq::win32::MessageBoxAnswer(-1, MsgButtons::Ok, 0), MsgResult::Ok);
}

}  // namespace
