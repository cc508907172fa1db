// The libcurl web layer against a local HTTPS server with a throw-away certificate
// authority: the contract every web adapter keeps, and what is libcurl's own.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <memory>
#include <random>

#include <gtest/gtest.h>

#include "platform/posix/CurlWeb.h"
#include "support/TestSupport.h"
#include "update/HttpsServer.h"
#include "update/WebContract.h"

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

using zqtest::web::kShort;

class CurlWebTest : public ::testing::Test, public zqtest::web::WebSite {
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

    struct Descriptor : Held {
        explicit Descriptor(int f) : fd(f) {}
        ~Descriptor() override { ::close(fd); }
        int fd;
    };

    std::unique_ptr<zq::IWeb> Make(const std::string& ca, WebTimeouts timeouts) override {
        return std::make_unique<CurlWeb>(ca, timeouts);
    }
    std::string Ca() override { return *dir / "pki/ca.pem"; }
    std::string OtherCa() override { return *dir / "pki/other-ca.pem"; }
    std::string Url(const std::string& path) override { return server->Base() + path; }
    int Port() override { return server->Port(); }
    std::string File(const std::string& name) override { return "/" + name; }
    std::string Served(const std::string& name) override { return zqtest::ReadFile(*dir / "root" + "/" + name); }
    std::string Out(const std::string& name) override { return out / name; }
    std::vector<std::string> Names() override {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(out.Path())) names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string Read(const std::string& path) override { return zqtest::ReadFile(path); }
    void Write(const std::string& path, const std::string& content) override { zqtest::WriteFile(path, content); }
    bool Exists(const std::string& path) override { return fs::exists(path); }
    // A leading dot hides a name on Linux.
    bool IsHidden(const std::string& path) override { return fs::path(path).filename().string().rfind('.', 0) == 0; }
    std::unique_ptr<Held> HoldAsDownload(const std::string& path) override {
        const int fd = ::open(path.c_str(), O_RDONLY);
        if (fd < 0 || ::flock(fd, LOCK_EX) != 0) return nullptr;
        return std::make_unique<Descriptor>(fd);
    }
    std::unique_ptr<Held> SilentServer(int* port) override {
        return std::make_unique<Descriptor>(LoopbackSocket(true, port));
    }
    void CheckCertificateError(const zq::WebError& error, bool) override { EXPECT_EQ(error.code, 60) << error.detail; }
    void CheckRedirectError(const zq::WebError&) override {}

    static inline zqtest::TempDir* dir = nullptr;
    static inline zqtest::HttpsServer* server = nullptr;
    static inline std::string pkiError;
    zqtest::TempDir out;
};

ZQ_WEB_CONTRACT_TESTS(CurlWebTest)

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
        EXPECT_EQ(Names(), std::vector<std::string>{"zqmupd.exe"}) << cut;
    }
    EXPECT_EQ(web.FetchText(Url("/cut-nolength/page.htm"), 1000), std::nullopt);
    EXPECT_EQ(web.LastError().kind, WebFailure::BrokenOff);

    // The same without length, ended with close_notify, is complete.
    const auto whole = web.Download(Url("/nolength/zqmupd.exe"), target, {});
    ASSERT_TRUE(whole.ok) << whole.error.detail;
    EXPECT_EQ(zqtest::ReadFile(target), zqtest::ReadFile(*dir / "root/zqmupd.exe"));
    EXPECT_EQ(web.FetchText(Url("/nolength/page.htm"), 1000), "<html>ZQM_Version:3.05</html>");
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

}  // namespace
