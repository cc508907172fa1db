// The WinHTTP web layer under Wine against the local HTTPS server of the Linux tests, with a
// throw-away certificate authority named as the caller's CA file.
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
#include "update/win32/WebFixture.h"

namespace {

using zq::WebFailure;
using zq::WebTimeouts;
using zq::win32::WinHttpWeb;
using zq::win32::Wide;

const WebTimeouts kShort{std::chrono::seconds(2), std::chrono::seconds(1), 1};

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

class WinHttpWebTest : public ::testing::Test {
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

    static std::string Url(const std::string& path) { return fixture->Base() + path; }
    static std::string Served(const std::string& name) { return fixture->Root("web") + "\\" + name; }
    std::string Target() const { return out.File("zqmupd.exe"); }
    // Names in the target folder, hidden ones too, to see that nothing half-done is left.
    std::vector<std::string> Leftovers() const {
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

    static inline zqwin::WebFixture* fixture = nullptr;
    zqwin::TempFolder out;
};

TEST_F(WinHttpWebTest, TrustedPageIsReadAndAnUntrustedCertificateGivesNothing) {
    WinHttpWeb trusted(fixture->Ca(), kShort);
    EXPECT_EQ(trusted.FetchText(Url("/web/page.htm"), 1000), "<html>ZQM_Version:3.05</html>")
        << trusted.LastError().detail;
    EXPECT_EQ(trusted.LastError().kind, WebFailure::None);

    // The system's authorities alone, and a file whose authority signed nothing here.
    for (const std::string& ca : {std::string(), fixture->OtherCa()}) {
        WinHttpWeb web(ca, kShort);
        EXPECT_EQ(web.FetchText(Url("/web/page.htm"), 1000), std::nullopt) << ca;
        EXPECT_EQ(web.LastError().kind, WebFailure::Certificate) << web.LastError().detail;
        EXPECT_GE(web.LastError().code, 12000) << web.LastError().detail;
        if (!ca.empty()) {
            // WinHTTP let the unknown authority pass for the check against the file, which
            // refused it: by the SSL policy, or (Wine's policy lets a partial chain pass) by
            // the chain's own trust status.
            EXPECT_EQ(web.LastError().code, ERROR_WINHTTP_SECURE_INVALID_CA);
            EXPECT_EQ(web.LastError().detail.rfind("the server's certificate", 0), 0u) << web.LastError().detail;
        }
        zqwin::WriteAll(Target(), "old installer");
        const auto r = web.Download(Url("/web/zqmupd.exe"), Target(), {});
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.error.kind, WebFailure::Certificate) << r.error.detail;
        EXPECT_TRUE(zqwin::ReadAll(Target()) == "old installer");
        EXPECT_EQ(Leftovers(), std::vector<std::string>{"zqmupd.exe"});
    }
}

TEST_F(WinHttpWebTest, OnlyHttpsIsSpokenEvenAfterARedirect) {
    WinHttpWeb web(fixture->Ca(), kShort);
    EXPECT_EQ(web.FetchText("http://127.0.0.1:" + std::to_string(fixture->Port()) + "/web/page.htm", 1000),
              std::nullopt);
    EXPECT_EQ(web.LastError().kind, WebFailure::Address);
    EXPECT_NE(web.LastError().detail.find("https://"), std::string::npos) << web.LastError().detail;
    EXPECT_EQ(web.FetchText(Url("/redirect-http/web/page.htm"), 1000), std::nullopt);
    EXPECT_EQ(web.LastError().kind, WebFailure::Redirect) << web.LastError().detail;
    zqwin::WriteAll(Target(), "old installer");
    const auto r = web.Download("HTTP://127.0.0.1/zqmupd.exe", Target(), {});
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error.kind, WebFailure::Address);
    const auto r2 = web.Download(Url("/redirect-http/web/zqmupd.exe"), Target(), {});
    EXPECT_FALSE(r2.ok);
    // The refused redirect, not its status 302.
    EXPECT_EQ(r2.error.kind, WebFailure::Redirect) << r2.error.detail;
    EXPECT_EQ(r2.error.code, ERROR_WINHTTP_REDIRECT_FAILED);
    EXPECT_TRUE(zqwin::ReadAll(Target()) == "old installer");
    EXPECT_EQ(Leftovers(), std::vector<std::string>{"zqmupd.exe"});
}

TEST_F(WinHttpWebTest, APageBeyondTheBoundIsAbandoned) {
    WinHttpWeb web(fixture->Ca(), kShort);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(web.FetchText(Url("/big50/iupdate.htm"), 64 * 1024), std::nullopt);
    EXPECT_EQ(web.LastError().kind, WebFailure::TooLarge) << web.LastError().detail;
    EXPECT_EQ(web.LastError().code, 64 * 1024);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

    const auto page = web.FetchText(Url("/big1/iupdate.htm"), 2 * 1024 * 1024);
    ASSERT_TRUE(page.has_value()) << web.LastError().detail;
    EXPECT_EQ(page->size(), 1024u * 1024u + 37u);
    EXPECT_EQ(page->substr(page->size() - 18), "ZQC_Version:9.99.8");
}

TEST_F(WinHttpWebTest, DownloadReplacesTheTargetOnlyWhenCompleteAndReportsProgress) {
    WinHttpWeb web(fixture->Ca(), kShort);
    zqwin::WriteAll(Target(), "old installer");

    const auto notFound = web.Download(Url("/web/missing.exe"), Target(), {});
    EXPECT_FALSE(notFound.ok);
    EXPECT_EQ(notFound.error.kind, WebFailure::Status);
    EXPECT_EQ(notFound.error.code, 404);
    EXPECT_EQ(notFound.httpStatus, 404);
    const auto half = web.Download(Url("/half/web/zqmupd.exe"), Target(), {});
    EXPECT_FALSE(half.ok);
    EXPECT_EQ(half.error.kind, WebFailure::BrokenOff) << half.error.detail;
    EXPECT_NE(half.error.code, 200);
    EXPECT_TRUE(zqwin::ReadAll(Target()) == "old installer");
    EXPECT_EQ(Leftovers(), std::vector<std::string>{"zqmupd.exe"});

    std::uint64_t lastDone = 0, lastTotal = 0;
    const auto r = web.Download(Url("/web/zqmupd.exe"), Target(), [&](std::uint64_t d, std::uint64_t t) {
        EXPECT_GE(d, lastDone);
        lastDone = d;
        lastTotal = t;
        return true;
    });
    ASSERT_TRUE(r.ok) << r.error.detail;
    EXPECT_EQ(r.httpStatus, 200);
    const std::string served = zqwin::ReadAll(Served("zqmupd.exe"));
    EXPECT_TRUE(zqwin::ReadAll(Target()) == served) << "the whole file arrived";
    EXPECT_EQ(lastDone, served.size());
    EXPECT_EQ(lastTotal, served.size());
    EXPECT_EQ(Leftovers(), std::vector<std::string>{"zqmupd.exe"});
    EXPECT_EQ(GetFileAttributesW(Wide(Target()).c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u)
        << "the installer is not hidden as its temporary file was";
}

TEST_F(WinHttpWebTest, ABodyWithoutLengthIsNeverTakenForComplete) {
    WinHttpWeb web(fixture->Ca(), kShort);
    zqwin::WriteAll(Target(), "old installer");
    // The connection drops halfway. WinHTTP takes the lost connection for the end of a body
    // without length and (under Wine) of a chunked one, and does not show the TLS close that
    // would tell a whole body from a cut one: every body without length is refused.
    for (const char* cut : {"/cut-nolength/web/zqmupd.exe", "/cut-chunked/web/zqmupd.exe", "/nolength/web/zqmupd.exe"}) {
        const auto r = web.Download(Url(cut), Target(), {});
        EXPECT_FALSE(r.ok) << cut;
        EXPECT_EQ(r.error.kind, WebFailure::BrokenOff) << cut << ": " << r.error.detail;
        EXPECT_TRUE(zqwin::ReadAll(Target()) == "old installer") << cut;
        EXPECT_EQ(Leftovers(), std::vector<std::string>{"zqmupd.exe"}) << cut;
    }
    EXPECT_EQ(web.FetchText(Url("/cut-nolength/web/page.htm"), 1000), std::nullopt);
    EXPECT_EQ(web.LastError().kind, WebFailure::BrokenOff);
}

TEST_F(WinHttpWebTest, TheCheckDecidesBeforeTheTargetIsReplaced) {
    WinHttpWeb web(fixture->Ca(), kShort);
    zqwin::WriteAll(Target(), "old installer");
    std::string seen;
    bool hidden = false;
    auto r = web.Download(Url("/web/zqmupd.exe"), Target(), {}, [&](const std::string& temp) {
        seen = zqwin::ReadAll(temp);
        hidden = (GetFileAttributesW(Wide(temp).c_str()) & FILE_ATTRIBUTE_HIDDEN) != 0;
        return false;
    });
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error.kind, WebFailure::Rejected);
    EXPECT_TRUE(seen == zqwin::ReadAll(Served("zqmupd.exe"))) << "the check sees the whole file";
    EXPECT_TRUE(hidden);
    EXPECT_TRUE(zqwin::ReadAll(Target()) == "old installer");
    EXPECT_EQ(Leftovers(), std::vector<std::string>{"zqmupd.exe"});
}

TEST_F(WinHttpWebTest, NoConnectionAFolderThatIsNoneAndAFullFolderAreToldApart) {
    WinHttpWeb web(fixture->Ca(), kShort);
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

TEST_F(WinHttpWebTest, KilledDownloadsLeaveLeftoversThatOnlyLaterRunsRemove) {
    WinHttpWeb web(fixture->Ca(), kShort);
    // A leftover of a killed download, one that a running download holds, and files that are
    // not ours.
    zqwin::WriteAll(out.File(".zqmupd.exe.4242.0.part"), "half");
    const std::string held = out.File(".zqmupd.exe.4243.1.part");
    zqwin::WriteAll(held, "running");
    HANDLE h = CreateFileW(Wide(held).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    for (const char* other : {".zqcupd.exe.1.2.part", ".zqmupd.exe.x.2.part", "zqmupd.exe.1.2.part",
                              ".zqmupd.exe.1.2.partial"}) {
        zqwin::WriteAll(out.File(other), "not ours");
    }
    EXPECT_EQ(web.RemoveLeftovers(Target()), 1);
    EXPECT_FALSE(zqwin::Exists(out.File(".zqmupd.exe.4242.0.part")));
    EXPECT_TRUE(zqwin::Exists(held));
    CloseHandle(h);
    EXPECT_EQ(Leftovers().size(), 5u);
    EXPECT_EQ(web.RemoveLeftovers(Target()), 1) << "no longer held: stale now";
    EXPECT_FALSE(zqwin::Exists(held));
}

TEST_F(WinHttpWebTest, AStallingServerEndsWithinTheStallTimeOut) {
    WinHttpWeb web(fixture->Ca(), kShort);
    for (const char* stall : {"/stall/iupdate.htm", "/stall-headers/iupdate.htm", "/stall-midway/web/page.htm"}) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(web.FetchText(Url(stall), 100000), std::nullopt);
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_LT(took, std::chrono::milliseconds(2600)) << stall;
        EXPECT_EQ(web.LastError().kind, WebFailure::Stalled) << stall << ": " << web.LastError().detail;
    }
    const auto start = std::chrono::steady_clock::now();
    const auto r = web.Download(Url("/stall-midway/web/zqmupd.exe"), Target(), {});
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error.kind, WebFailure::Stalled) << r.error.detail;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2600));
    EXPECT_TRUE(Leftovers().empty());

    // A server that takes the connection but never answers the TLS handshake: the connect
    // time-out.
    int port = 0;
    const SOCKET s = LoopbackSocket(true, &port);
    const auto hs = std::chrono::steady_clock::now();
    EXPECT_EQ(web.FetchText("https://127.0.0.1:" + std::to_string(port) + "/", 1000), std::nullopt);
    EXPECT_LT(std::chrono::steady_clock::now() - hs, std::chrono::milliseconds(3500));
    EXPECT_EQ(web.LastError().kind, WebFailure::Connection) << web.LastError().detail;
    closesocket(s);
}

TEST_F(WinHttpWebTest, AStalledFetchReportsProgressAboutOnceASecondAndCanBeStopped) {
    WinHttpWeb web(fixture->Ca(), WebTimeouts{std::chrono::seconds(2), std::chrono::seconds(2), 1});
    int calls = 0;
    EXPECT_EQ(web.FetchText(Url("/stall/iupdate.htm"), 1000, [&](std::uint64_t, std::uint64_t) {
                  ++calls;
                  return true;
              }),
              std::nullopt);
    EXPECT_GE(calls, 2) << "the window can repaint while it waits";

    // The window was closed: the wait ends at once.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(web.FetchText(Url("/stall/iupdate.htm"), 1000, [](std::uint64_t, std::uint64_t) { return false; }),
              std::nullopt);
    EXPECT_EQ(web.LastError().kind, WebFailure::Cancelled);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
}

}  // namespace
