// The web layer against a local HTTPS server with a throw-away certificate authority.
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
    EXPECT_EQ(trusted.LastError(), "");

    for (const std::string& ca : {std::string(), *dir / "pki/other-ca.pem"}) {
        CurlWeb web(ca, kShort);
        EXPECT_EQ(web.FetchText(Url("/page.htm"), 1000), std::nullopt) << ca;
        EXPECT_NE(web.LastError().find("certificate"), std::string::npos) << web.LastError();
        const auto r = web.Download(Url("/zqmupd.exe"), out / "zqmupd.exe", {});
        EXPECT_FALSE(r.ok);
        EXPECT_TRUE(Leftovers().empty());
    }
}

TEST_F(CurlWebTest, OnlyHttpsIsSpokenEvenAfterARedirect) {
    CurlWeb web(Ca(), kShort);
    EXPECT_EQ(web.FetchText("http://127.0.0.1:" + std::to_string(server->Port()) + "/page.htm", 1000),
              std::nullopt);
    EXPECT_NE(web.LastError().find("https://"), std::string::npos) << web.LastError();
    EXPECT_EQ(web.FetchText(Url("/redirect-http/page.htm"), 1000), std::nullopt);
    const auto r = web.Download("HTTP://127.0.0.1/zqmupd.exe", out / "zqmupd.exe", {});
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("https://"), std::string::npos);
    const auto r2 = web.Download(Url("/redirect-http/zqmupd.exe"), out / "zqmupd.exe", {});
    EXPECT_FALSE(r2.ok);
    EXPECT_TRUE(Leftovers().empty());
}

TEST_F(CurlWebTest, APageBeyondTheBoundIsAbandoned) {
    CurlWeb web(Ca(), kShort);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(web.FetchText(Url("/big50/iupdate.htm"), 64 * 1024), std::nullopt);
    EXPECT_NE(web.LastError().find("larger"), std::string::npos) << web.LastError();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

    const auto page = web.FetchText(Url("/big1/iupdate.htm"), 2 * 1024 * 1024);
    ASSERT_TRUE(page.has_value()) << web.LastError();
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
        EXPECT_FALSE(r.error.empty());
        EXPECT_EQ(zqtest::ReadFile(target), "old installer") << broken;
        EXPECT_EQ(Leftovers(), std::vector<std::string>{"zqmupd.exe"}) << broken;
    }
    const auto notFound = web.Download(Url("/missing.exe"), target, {});
    EXPECT_EQ(notFound.httpStatus, 404);
    EXPECT_NE(notFound.error.find("404"), std::string::npos);

    std::uint64_t lastDone = 0, lastTotal = 0;
    const auto r = web.Download(Url("/zqmupd.exe"), target, [&](std::uint64_t d, std::uint64_t t) {
        EXPECT_GE(d, lastDone);
        lastDone = d;
        lastTotal = t;
    });
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.httpStatus, 200);
    EXPECT_EQ(zqtest::ReadFile(target), zqtest::ReadFile(*dir / "root/zqmupd.exe"));
    EXPECT_EQ(lastDone, fs::file_size(target));
    EXPECT_EQ(lastTotal, fs::file_size(target));
    EXPECT_EQ(Leftovers(), std::vector<std::string>{"zqmupd.exe"});
}

TEST_F(CurlWebTest, AStallingServerTimesOut) {
    CurlWeb web(Ca(), kShort);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(web.FetchText(Url("/stall/iupdate.htm"), 1000), std::nullopt);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
    EXPECT_FALSE(web.LastError().empty());

    start = std::chrono::steady_clock::now();
    const auto r = web.Download(Url("/stall/zqmupd.exe"), out / "zqmupd.exe", {});
    EXPECT_FALSE(r.ok);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
    EXPECT_TRUE(Leftovers().empty());
}

}  // namespace
