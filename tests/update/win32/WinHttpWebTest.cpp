// The WinHTTP web layer under Wine against the local HTTPS server of the Linux tests, with a
// throw-away certificate authority named as the caller's CA file: the contract every web
// adapter keeps, and what is WinHTTP's own.
#include <winsock2.h>
#include <windows.h>
#include <winhttp.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <utility>
#include <vector>

#include "platform/win32/WinHttpWeb.h"
#include "platform/win32/WinText.h"
#include "update/WebContract.h"
#include "update/win32/WebFixture.h"

namespace {

using zq::WebFailure;
using zq::WebTimeouts;
using zq::win32::WinHttpWeb;
using zq::win32::Wide;

// A TCP socket on 127.0.0.1 with a port the system picks, listening (connections wait in the
// backlog, never answered) or not.
SOCKET LoopbackSocket(bool listening, int* port) {
    WSADATA wsa{};
    WSAStartup(MAKEWORD(2, 2), &wsa);
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int len = sizeof a;
    EXPECT_EQ(bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    if (listening) {
        EXPECT_EQ(listen(s, 4), 0);
    }
    EXPECT_EQ(getsockname(s, reinterpret_cast<sockaddr*>(&a), &len), 0);
    *port = ntohs(a.sin_port);
    return s;
}

using zqtest::web::kShort;

class WinHttpWebTest : public ::testing::Test, public zqtest::web::WebSite {
protected:
    static void SetUpTestSuite() {
        fixture = new zqwin::WebFixture();
        if (!fixture->Ready()) return;
        const std::string root = fixture->Root("web");
        std::string big(3 * 1024 * 1024 + 17, '\0');
        std::mt19937 rng(7);
        for (char& c : big) c = static_cast<char>(rng());
        // Each test program of the suite writes the same files while another may be reading
        // them (ctest runs two at a time): each goes into place whole.
        for (const auto& [name, content] : {std::pair<std::string, std::string>{"zqmupd.exe", big},
                                            {"page.htm", "<html>ZQM_Version:3.05</html>"}}) {
            const std::string temp = root + "\\" + name + "." + std::to_string(GetCurrentProcessId());
            zqwin::WriteAll(temp, content);
            MoveFileExW(Wide(temp).c_str(), Wide(root + "\\" + name).c_str(), MOVEFILE_REPLACE_EXISTING);
        }
    }
    static void TearDownTestSuite() {
        delete fixture;
        fixture = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(fixture->Ready()) << fixture->Error(); }

    struct HeldHandle : Held {
        explicit HeldHandle(HANDLE h) : handle(h) {}
        ~HeldHandle() override { CloseHandle(handle); }
        HANDLE handle;
    };
    struct HeldSocket : Held {
        explicit HeldSocket(SOCKET s) : socket(s) {}
        ~HeldSocket() override { closesocket(socket); }
        SOCKET socket;
    };

    std::unique_ptr<zq::IWeb> Make(const std::string& ca, WebTimeouts timeouts) override {
        return std::make_unique<WinHttpWeb>(ca, timeouts);
    }
    std::string Ca() override { return fixture->Ca(); }
    std::string OtherCa() override { return fixture->OtherCa(); }
    std::string Url(const std::string& path) override { return fixture->Base() + path; }
    int Port() override { return fixture->Port(); }
    std::string File(const std::string& name) override { return "/web/" + name; }
    std::string Served(const std::string& name) override { return zqwin::ReadAll(fixture->Root("web") + "\\" + name); }
    std::string Out(const std::string& name) override { return out.File(name); }
    std::vector<std::string> Names() override {
        std::vector<std::string> names;
        WIN32_FIND_DATAW found{};
        HANDLE find = FindFirstFileW(Wide(out.Path() + "\\*").c_str(), &found);
        if (find == INVALID_HANDLE_VALUE) return names;
        do {
            const std::string name = zq::win32::Utf8(std::wstring(found.cFileName));
            if (name != "." && name != "..") names.push_back(name);
        } while (FindNextFileW(find, &found));
        FindClose(find);
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string Read(const std::string& path) override { return zqwin::ReadAll(path); }
    void Write(const std::string& path, const std::string& content) override { zqwin::WriteAll(path, content); }
    bool Exists(const std::string& path) override { return zqwin::Exists(path); }
    bool IsHidden(const std::string& path) override {
        const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_HIDDEN) != 0;
    }
    // A running download keeps its file open without delete sharing.
    std::unique_ptr<Held> HoldAsDownload(const std::string& path) override {
        HANDLE h = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return nullptr;
        return std::make_unique<HeldHandle>(h);
    }
    std::unique_ptr<Held> SilentServer(int* port) override {
        return std::make_unique<HeldSocket>(LoopbackSocket(true, port));
    }
    void CheckCertificateError(const zq::WebError& error, bool caFileGiven) override {
        EXPECT_GE(error.code, 12000) << error.detail;
        if (caFileGiven) {
            // WinHTTP let the unknown authority pass for the check against the file, which
            // refused it: by the SSL policy, or (Wine's policy lets a partial chain pass) by
            // the chain's own trust status.
            EXPECT_EQ(error.code, ERROR_WINHTTP_SECURE_INVALID_CA);
            EXPECT_EQ(error.detail.rfind("the server's certificate", 0), 0u) << error.detail;
        }
    }
    void CheckRedirectError(const zq::WebError& error) override {
        EXPECT_EQ(error.code, ERROR_WINHTTP_REDIRECT_FAILED);
    }

    static inline zqwin::WebFixture* fixture = nullptr;
    zqwin::TempFolder out;
};

ZQ_WEB_CONTRACT_TESTS(WinHttpWebTest)

TEST_F(WinHttpWebTest, ABodyWithoutLengthIsNeverTakenForComplete) {
    WinHttpWeb web(Ca(), kShort);
    const std::string target = Out("zqmupd.exe");
    zqwin::WriteAll(target, "old installer");
    // The connection drops halfway. WinHTTP takes the lost connection for the end of a body
    // without length and (under Wine) of a chunked one, and does not show the TLS close that
    // would tell a whole body from a cut one: every body without length is refused.
    for (const char* cut : {"/cut-nolength/web/zqmupd.exe", "/cut-chunked/web/zqmupd.exe", "/nolength/web/zqmupd.exe"}) {
        const auto r = web.Download(Url(cut), target, {});
        EXPECT_FALSE(r.ok) << cut;
        EXPECT_EQ(r.error.kind, WebFailure::BrokenOff) << cut << ": " << r.error.detail;
        EXPECT_TRUE(zqwin::ReadAll(target) == "old installer") << cut;
        EXPECT_EQ(Names(), std::vector<std::string>{"zqmupd.exe"}) << cut;
    }
    EXPECT_EQ(web.FetchText(Url("/cut-nolength/web/page.htm"), 1000), std::nullopt);
    EXPECT_EQ(web.LastError().kind, WebFailure::BrokenOff);
}

TEST_F(WinHttpWebTest, NoConnectionAFolderThatIsNoneAndAFullFolderAreToldApart) {
    WinHttpWeb web(Ca(), kShort);
    int port = 0;
    closesocket(LoopbackSocket(false, &port));
    EXPECT_EQ(web.FetchText("https://127.0.0.1:" + std::to_string(port) + "/iupdate.htm", 1000), std::nullopt);
    EXPECT_EQ(web.LastError().kind, WebFailure::Connection) << web.LastError().detail;
    EXPECT_EQ(web.LastError().code, ERROR_WINHTTP_CANNOT_CONNECT) << web.LastError().detail;

    auto r = web.Download(Url("/web/zqmupd.exe"), out.File("no-such-folder\\zqmupd.exe"), {});
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error.kind, WebFailure::Folder) << r.error.detail;
    EXPECT_EQ(r.error.code, ERROR_PATH_NOT_FOUND);

    const std::string full = fixture->FullFolder();
    if (full.empty()) GTEST_SKIP() << "no small file system could be mounted for a full folder";
    const std::string target = full + "\\zqmupd.exe";
    zqwin::WriteAll(target, "old installer");
    r = web.Download(Url("/web/zqmupd.exe"), target, {});
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error.kind, WebFailure::DiskFull) << r.error.detail;
    EXPECT_EQ(r.error.code, ERROR_DISK_FULL) << r.error.detail;
    EXPECT_TRUE(zqwin::ReadAll(target) == "old installer");
    DeleteFileW(Wide(target).c_str());
}

}  // namespace
