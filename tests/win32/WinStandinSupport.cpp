#include "win32/WinStandinSupport.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/win32/WinText.h"

namespace zqwin {

namespace fs = std::filesystem;
using zq::win32::Wide;

namespace {

fs::path FsPath(const std::string& utf8) { return fs::path(Wide(utf8)); }

std::string Utf8(const fs::path& p) { return zq::win32::Utf8(p.wstring()); }

}  // namespace

std::string BinDir() {
    std::string dir = ZQ_BIN_DIR;
    if (!dir.empty() && dir[0] == '/') {
        for (char& c : dir)
            if (c == '/') c = '\\';
        dir = "Z:" + dir;
    }
    return dir;
}

TempFolder::TempFolder() {
    // Process ids come round again in a long run: a folder of that name may be an earlier
    // test's, left behind or still in use by a program it started. A new folder each time.
    static std::atomic<int> counter{0};
    const std::string stem = "zqwin-" + std::to_string(GetCurrentProcessId()) + "-";
    fs::path base;
    do {
        base = fs::temp_directory_path() / (stem + std::to_string(++counter));
    } while (!CreateDirectoryW(base.c_str(), nullptr) && GetLastError() == ERROR_ALREADY_EXISTS);
    path_ = Utf8(base);
}

TempFolder::~TempFolder() {
    std::error_code ec;
    fs::path p = FsPath(path_);
    // Read-only files are made writable first, as removing them would fail.
    for (auto it = fs::recursive_directory_iterator(p, ec); !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
        SetFileAttributesW(it->path().c_str(), FILE_ATTRIBUTE_NORMAL);
    fs::remove_all(p, ec);
}

bool Exists(const std::string& path) {
    return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

long long FileSize(const std::string& path) {
    std::error_code ec;
    auto n = fs::file_size(FsPath(path), ec);
    return ec ? -1 : static_cast<long long>(n);
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(FsPath(path), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool WriteAll(const std::string& path, const std::string& bytes) {
    std::ofstream out(FsPath(path), std::ios::binary | std::ios::trunc);
    out << bytes;
    out.close();
    return out.good();
}

bool Sql(const std::string& path, const std::string& sql, std::string* error) {
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    char* msg = nullptr;
    if (rc == SQLITE_OK) rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &msg);
    if (rc != SQLITE_OK && error) *error = msg ? msg : sqlite3_errstr(rc);
    sqlite3_free(msg);
    sqlite3_close(db);
    return rc == SQLITE_OK;
}

std::vector<std::string> Query(const std::string& path, const std::string& sql) {
    std::vector<std::string> out;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK) {
            while (sqlite3_step(stmt) == SQLITE_ROW) {
                const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
                out.emplace_back(sqlite3_column_type(stmt, 0) == SQLITE_NULL ? "NULL" : (t ? t : ""));
            }
        }
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return out;
}

void SayProgramLost() { std::printf("wine-run: a program the test started was lost by Wine\n"); }

bool HaveDisplay() {
    // Wine's WoW64 mode gives a 32-bit program no display driver: its boxes return at once.
    if (sizeof(void*) == 4 && GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr)
        return false;
    wchar_t value[64] = {};
    return GetEnvironmentVariableW(L"DISPLAY", value, 64) > 0 && value[0] != L'\0';
}

BoxAnswers::BoxAnswers(std::vector<int> buttons) : buttons_(buttons.begin(), buttons.end()) {
    thread_ = std::thread([this] { Run(); });
}

BoxAnswers::~BoxAnswers() {
    stop_ = true;
    thread_.join();
}

std::vector<BoxAnswers::Box> BoxAnswers::Seen() {
    std::lock_guard<std::mutex> lock(mutex_);
    return seen_;
}

bool BoxAnswers::WaitSeen(std::size_t count, int ms) {
    return WaitFor(
        [&] {
            std::lock_guard<std::mutex> lock(mutex_);
            return seen_.size() >= count;
        },
        ms);
}

std::vector<int> Buttons(const std::vector<zq::MsgResult>& answers) {
    std::vector<int> buttons;
    for (zq::MsgResult a : answers) {
        buttons.push_back(a == zq::MsgResult::Yes      ? IDYES
                          : a == zq::MsgResult::No     ? IDNO
                          : a == zq::MsgResult::Cancel ? IDCANCEL
                                                       : IDOK);
    }
    return buttons;
}

std::optional<std::vector<zqtest::Box>> ScenarioBoxes(BoxAnswers& boxes) {
    if (!HaveDisplay()) return std::nullopt;
    std::vector<zqtest::Box> seen;
    for (const auto& box : boxes.Seen()) {
        std::string text = box.text;
        for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;) text.replace(at, 2, "\n");
        seen.push_back({box.title, text});
    }
    return seen;
}

BOOL CALLBACK BoxAnswers::Visit(HWND hwnd, LPARAM self) {
    wchar_t cls[32] = {};
    GetClassNameW(hwnd, cls, 32);
    if (std::wstring(cls) == L"#32770" && IsWindowVisible(hwnd)) reinterpret_cast<BoxAnswers*>(self)->found_ = hwnd;
    return TRUE;
}

void BoxAnswers::Run() {
    while (!stop_) {
        found_ = nullptr;
        EnumWindows(Visit, reinterpret_cast<LPARAM>(this));
        if (found_ != nullptr && found_ != last_) {
            wchar_t title[256] = {}, text[4096] = {};
            GetWindowTextW(found_, title, 256);
            GetDlgItemTextW(found_, 0xFFFF, text, 4096);
            int button = IDCANCEL;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                seen_.push_back({zq::win32::Utf8(std::wstring(title)), zq::win32::Utf8(std::wstring(text))});
                if (!buttons_.empty()) {
                    button = buttons_.front();
                    buttons_.pop_front();
                }
            }
            last_ = found_;
            PostMessageW(found_, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
        }
        Sleep(30);
    }
}

Process::Process(const std::string& commandLine, const std::vector<std::string>& env, const std::string* input,
                 const std::wstring& desktop) {
    static std::atomic<int> counter{0};
    outputFile_ = Utf8(fs::temp_directory_path() / ("zqwin-out-" + std::to_string(GetCurrentProcessId()) + "-" +
                                                    std::to_string(++counter) + ".txt"));
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE out = CreateFileW(Wide(outputFile_).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             &sa, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    // The child's environment: ours plus the given entries.
    std::wstring block;
    // An entry given for the child replaces ours of the same name.
    auto overridden = [&env](const std::wstring& entry) {
        const std::wstring name = entry.substr(0, entry.find(L'=', 1));
        for (const auto& e : env)
            if (_wcsicmp(Wide(e.substr(0, e.find('='))).c_str(), name.c_str()) == 0) return true;
        return false;
    };
    if (wchar_t* own = GetEnvironmentStringsW()) {
        for (const wchar_t* p = own; *p; p += wcslen(p) + 1)
            if (!overridden(p)) block += std::wstring(p) + L'\0';
        FreeEnvironmentStringsW(own);
    }
    for (const auto& e : env) block += Wide(e) + L'\0';
    block += L'\0';
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    HANDLE in = INVALID_HANDLE_VALUE;
    if (input) {
        inputFile_ = outputFile_ + ".in";
        WriteAll(inputFile_, *input);
        in = CreateFileW(Wide(inputFile_).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, &sa,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        si.hStdInput = in;
    }
    si.hStdOutput = out;
    si.hStdError = out;
    std::wstring station = desktop;
    if (!station.empty()) si.lpDesktop = station.data();
    // Wine's WoW64 mode now and then loses a new process while it starts and reports an
    // internal error: that start is tried again. Any other failure is the test's.
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::wstring cmd = Wide(commandLine);
        if (CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
                           block.data(), nullptr, &si, &info_))
            break;
        info_ = {};
        if (GetLastError() != ERROR_INTERNAL_ERROR) break;
        std::fprintf(stderr, "zqwin::Process: Wine lost the start of %s; trying again\n", commandLine.c_str());
        Sleep(200);
    }
    if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
    if (in != INVALID_HANDLE_VALUE) CloseHandle(in);
}

Process::~Process() {
    if (info_.hProcess) {
        if (WaitForSingleObject(info_.hProcess, 0) != WAIT_OBJECT_0) {
            TerminateProcess(info_.hProcess, 99);
            WaitForSingleObject(info_.hProcess, 10000);
        }
        CloseHandle(info_.hProcess);
        CloseHandle(info_.hThread);
    }
    DeleteFileW(Wide(outputFile_).c_str());
    if (!inputFile_.empty()) DeleteFileW(Wide(inputFile_).c_str());
}

long Process::Wait(DWORD ms) {
    if (!info_.hProcess || WaitForSingleObject(info_.hProcess, ms) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(info_.hProcess, &code);
    return static_cast<long>(code);
}

const std::string& Process::Output() {
    output_ = ReadAll(outputFile_);
    return output_;
}

}  // namespace zqwin
