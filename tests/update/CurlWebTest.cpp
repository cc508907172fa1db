// The web layer against a local HTTPS server with a throw-away certificate authority.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <memory>
#include <random>

#include <gtest/gtest.h>

#include "platform/posix/CurlWeb.h"
#include "support/TestSupport.h"
#include "update/HttpsServer.h"

namespace {

namespace fs = std::filesystem;
using zq::posix::CurlWeb;
using zq::posix::WebTimeouts;
using zq::WebFailure;

// A TCP socket on 127.0.0.1 with a port the system picks; listening (connections are taken
// into the backlog, never answered) or not.
int LoopbackSocket(bool listening, int* port) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    EXPECT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    if (listening) {
        EXPECT_EQ(::listen(s, 4), 0);
    }
    EXPECT_EQ(::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len), 0);
    *port = ntohs(a.sin_port);
    return s;
}

const WebTimeouts kShort{std::chrono::seconds(2), std::chrono::seconds(1), 1};

class CurlWebTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = new zqtest::TempDir();
        fs::create_directories(*dir / "pki");
        fs::create_directories(*dir / "root");
        pkiError = zqtest::MakeTestPki(*dir / "pki");
        std::string big(3 * 1024 * 1024 + 17, '\0');
        std::mt19937 rng(7);
        for (char& c : big) c = static_cast<char>(rng());
        zqtest::WriteFile(*dir / "root/zqmupd.exe", big);
        zqtest::WriteFile(*dir / "root/page.htm", "<html>ZQM_Version:3.05</html>");
        if (pkiError.empty()) server = new zqtest::HttpsServer(*dir / "root", *dir / "pki", 6);
    }
    static void TearDownTestSuite() {
        delete server;
        delete dir;
        server = nullptr;
        dir = nullptr;
    }
    void SetUp() override {
        if (!pkiError.empty()) GTEST_SKIP() << pkiError;
        ASSERT_TRUE(server->Running()) << server->Error();
        fs::create_directories(out.Path());
    }
    std::string Ca() const { return *dir / "pki/ca.pem"; }
    std::string Url(const std::string& path) const { return server->Base() + path; }
    // Names in the target folder, to see that nothing half-done is left.
    std::vector<std::string> Leftovers() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(out.Path())) names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }

    static inline zqtest::TempDir* dir = nullptr;
    static inline zqtest::HttpsServer* server = nullptr;
    static inline std::string pkiError;
    zqtest::TempDir out;
};

TEST_F(CurlWebTest, TrustedPageIsReadAndAnUntrustedCertificateGivesNothing) {
    CurlWeb trusted(Ca(), kShort);
    EXPECT_EQ(trusted.FetchText(Url("/page.htm"), 1000), "<html>ZQM_Version:3.05</html>");
    EXPECT_EQ(trusted.LastError().kind, WebFailure::None);

    for (const std::string& ca : {std::string(), *dir / "pki/other-ca.pem"}) {
        CurlWeb web(ca, kShort);
        EXPECT_EQ(web.FetchText(Url("/page.htm"), 1000), std::nullopt) << ca;
        EXPECT_EQ(web.LastError().kind, WebFailure::Certificate) << web.LastError().detail;
        EXPECT_EQ(web.LastError().code, 60) << web.LastError().detail;
        const auto r = web.Download(Url("/zqmupd.exe"), out / "zqmupd.exe", {});
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.error.kind, WebFailure::Certificate) << r.error.detail;
        EXPECT_TRUE(Leftovers().empty());
    }
}

TEST_F(CurlWebTest, OnlyHttpsIsSpokenEvenAfterARedirect) {
    CurlWeb web(Ca(), kShort);
    EXPECT_EQ(web.FetchText("http://127.0.0.1:" + std::to_string(server->Port()) + "/page.htm", 1000),
              std::nullopt);
    EXPECT_EQ(web.LastError().kind, WebFailure::Address);
    EXPECT_NE(web.LastError().detail.find("https://"), std::string::npos) << web.LastError().detail;
    EXPECT_EQ(web.FetchText(Url("/redirect-http/page.htm"), 1000), std::nullopt);
    EXPECT_EQ(web.LastError().kind, WebFailure::Redirect) << web.LastError().detail;
    const auto r = web.Download("HTTP://127.0.0.1/zqmupd.exe", out / "zqmupd.exe", {});
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error.kind, WebFailure::Address);
    const auto r2 = web.Download(Url("/redirect-http/zqmupd.exe"), out / "zqmupd.exe", {});
    EXPECT_FALSE(r2.ok);
    // The refused redirect, not its status 302.
    EXPECT_EQ(r2.error.kind, WebFailure::Redirect) << r2.error.detail;
    EXPECT_NE(r2.error.code, 302);
    EXPECT_TRUE(Leftovers().empty());
}

TEST_F(CurlWebTest, APageBeyondTheBoundIsAbandoned) {
    CurlWeb web(Ca(), kShort);
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

TEST_F(CurlWebTest, DownloadReplacesTheTargetOnlyWhenCompleteAndReportsProgress) {
    CurlWeb web(Ca(), kShort);
    const std::string target = out / "zqmupd.exe";
    zqtest::WriteFile(target, "old installer");

    for (const char* broken : {"/missing.exe", "/half/zqmupd.exe"}) {
        const auto r = web.Download(Url(broken), target, {});
        EXPECT_FALSE(r.ok) << broken;
        EXPECT_EQ(zqtest::ReadFile(target), "old installer") << broken;
        EXPECT_EQ(Leftovers(), std::vector<std::string>{"zqmupd.exe"}) << broken;
    }
    const auto notFound = web.Download(Url("/missing.exe"), target, {});
    EXPECT_EQ(notFound.error.kind, WebFailure::Status);
    EXPECT_EQ(notFound.error.code, 404);
    const auto half = web.Download(Url("/half/zqmupd.exe"), target, {});
    EXPECT_EQ(half.error.kind, WebFailure::BrokenOff) << half.error.detail;
    EXPECT_NE(half.error.code, 200);

    std::uint64_t lastDone = 0, lastTotal = 0;
    const auto r = web.Download(Url("/zqmupd.exe"), target, [&](std::uint64_t d, std::uint64_t t) {
        EXPECT_GE(d, lastDone);
        lastDone = d;
        lastTotal = t;
        return true;
    });
    ASSERT_TRUE(r.ok) << r.error.detail;
    EXPECT_EQ(r.httpStatus, 200);
    EXPECT_EQ(zqtest::ReadFile(target), zqtest::ReadFile(*dir / "root/zqmupd.exe"));
    EXPECT_EQ(lastDone, fs::file_size(target));
    EXPECT_EQ(lastTotal, fs::file_size(target));
    EXPECT_EQ(Leftovers(), std::vector<std::string>{"zqmupd.exe"});
}

TEST_F(CurlWebTest, ABodyWithoutLengthCountsOnlyWhenTheServerEndedItCleanly) {
    CurlWeb web(Ca(), kShort);
    const std::string target = out / "zqmupd.exe";
    zqtest::WriteFile(target, "old installer");
    // The connection drops halfway: without a length only the missing TLS close tells.
    for (const char* cut : {"/cut-nolength/zqmupd.exe", "/cut-chunked/zqmupd.exe"}) {
        const auto r = web.Download(Url(cut), target, {});
        EXPECT_FALSE(r.ok) << cut;
        EXPECT_EQ(r.error.kind, WebFailure::BrokenOff) << cut << ": " << r.error.detail;
        EXPECT_EQ(zqtest::ReadFile(target), "old installer") << cut;
        EXPECT_EQ(Leftovers(), std::vector<std::string>{"zqmupd.exe"}) << cut;
    }
    EXPECT_EQ(web.FetchText(Url("/cut-nolength/page.htm"), 1000), std::nullopt);
    EXPECT_EQ(web.LastError().kind, WebFailure::BrokenOff);

    // The same without length, ended with close_notify, is complete.
    const auto whole = web.Download(Url("/nolength/zqmupd.exe"), target, {});
    ASSERT_TRUE(whole.ok) << whole.error.detail;
    EXPECT_EQ(zqtest::ReadFile(target), zqtest::ReadFile(*dir / "root/zqmupd.exe"));
    EXPECT_EQ(web.FetchText(Url("/nolength/page.htm"), 1000), "<html>ZQM_Version:3.05</html>");
}

TEST_F(CurlWebTest, TheCheckDecidesBeforeTheTargetIsReplaced) {
    CurlWeb web(Ca(), kShort);
    const std::string target = out / "zqmupd.exe";
    zqtest::WriteFile(target, "old installer");
    std::string seen;
    auto r = web.Download(Url("/zqmupd.exe"), target, {}, [&](const std::string& temp) {
        seen = zqtest::ReadFile(temp);
        return false;
    });
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error.kind, WebFailure::Rejected);
    EXPECT_EQ(seen, zqtest::ReadFile(*dir / "root/zqmupd.exe")) << "the check sees the whole file";
    EXPECT_EQ(zqtest::ReadFile(target), "old installer");
    EXPECT_EQ(Leftovers(), std::vector<std::string>{"zqmupd.exe"});
}

TEST_F(CurlWebTest, NoConnectionAndAnUnwritableFolderAreToldApart) {
    CurlWeb web(Ca(), kShort);
    // A port nobody listens on.
    int port = 0;
    ::close(LoopbackSocket(false, &port));
    const std::string closed = "https://127.0.0.1:" + std::to_string(port);
    EXPECT_EQ(web.FetchText(closed + "/iupdate.htm", 1000), std::nullopt);
    EXPECT_EQ(web.LastError().kind, WebFailure::Connection) << web.LastError().detail;
    EXPECT_EQ(web.LastError().code, 7);

    const auto r = web.Download(Url("/zqmupd.exe"), out / "no-such-folder/zqmupd.exe", {});
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error.kind, WebFailure::Folder) << r.error.detail;
    EXPECT_EQ(r.error.code, ENOENT);
}

TEST_F(CurlWebTest, KilledDownloadsLeaveLeftoversThatOnlyLaterRunsRemove) {
    CurlWeb web(Ca(), kShort);
    const std::string target = out / "zqmupd.exe";
    // A leftover of a killed download, one that a running download holds, and files that are
    // not ours.
    zqtest::WriteFile(out / ".zqmupd.exe.4242.0.part", "half");
    const std::string held = out / ".zqmupd.exe.4243.1.part";
    zqtest::WriteFile(held, "running");
    const int fd = ::open(held.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    for (const char* other : {".zqcupd.exe.1.2.part", ".zqmupd.exe.x.2.part", "zqmupd.exe.1.2.part",
                              ".zqmupd.exe.1.2.partial"}) {
        zqtest::WriteFile(out / other, "not ours");
    }
    EXPECT_EQ(web.RemoveLeftovers(target), 1);
    EXPECT_FALSE(fs::exists(out / ".zqmupd.exe.4242.0.part"));
    EXPECT_TRUE(fs::exists(held));
    ::close(fd);
    EXPECT_EQ(Leftovers().size(), 5u);
    EXPECT_EQ(web.RemoveLeftovers(target), 1) << "no longer held: stale now";
    EXPECT_FALSE(fs::exists(held));
}

TEST_F(CurlWebTest, AStallingServerEndsWithinTheStallTimeOut) {
    // kShort: connect 2 s, stall 1 s. Curl's own low-speed check would end a transfer that
    // stopped midway only after its speed average has decayed, seconds later.
    CurlWeb web(Ca(), kShort);
    for (const char* stall : {"/stall/iupdate.htm", "/stall-headers/iupdate.htm",
                              "/stall-midway/page.htm"}) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(web.FetchText(Url(stall), 100000), std::nullopt);
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_LT(took, std::chrono::milliseconds(2600)) << stall;
        EXPECT_EQ(web.LastError().kind, WebFailure::Stalled) << stall << ": " << web.LastError().detail;
    }
    const auto start = std::chrono::steady_clock::now();
    const auto r = web.Download(Url("/stall-midway/zqmupd.exe"), out / "zqmupd.exe", {});
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error.kind, WebFailure::Stalled) << r.error.detail;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2600));
    EXPECT_TRUE(Leftovers().empty());

    // A server that takes the connection but never answers the TLS handshake: the connect
    // time-out.
    int port = 0;
    const int s = LoopbackSocket(true, &port);
    const auto hs = std::chrono::steady_clock::now();
    EXPECT_EQ(web.FetchText("https://127.0.0.1:" + std::to_string(port) + "/", 1000), std::nullopt);
    EXPECT_LT(std::chrono::steady_clock::now() - hs, std::chrono::milliseconds(3500));
    EXPECT_EQ(web.LastError().kind, WebFailure::Connection) << web.LastError().detail;
    ::close(s);
}

TEST_F(CurlWebTest, AStalledFetchReportsProgressAboutOnceASecondAndCanBeStopped) {
    CurlWeb web(Ca(), WebTimeouts{std::chrono::seconds(2), std::chrono::seconds(2), 1});
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
