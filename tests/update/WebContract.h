#pragma once
// What every web adapter promises, written once: each platform's test derives its fixture
// from WebSite (its adapter, the HTTPS test server as it reaches it, its output folder) and
// runs these scenarios. What only one adapter does stays in that platform's test.
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/Scenario.h"

#include "platform/Web.h"
#include "platform/WebRules.h"

namespace zqtest::web {

using zq::WebFailure;

inline const zq::WebTimeouts kShort{std::chrono::seconds(2), std::chrono::seconds(1), 1};

class WebSite {
public:
    virtual ~WebSite() = default;
    // Something held for as long as it lives: a running download's file, a listening socket.
    struct Held {
        virtual ~Held() = default;
    };

    virtual std::unique_ptr<zq::IWeb> Make(const std::string& caFile, zq::WebTimeouts timeouts) = 0;
    virtual std::string Ca() = 0;       // the test authority's file
    virtual std::string OtherCa() = 0;  // an authority that signed nothing here
    virtual std::string Url(const std::string& path) = 0;
    virtual int Port() = 0;
    // The server's path of one of its files ("page.htm", "zqmupd.exe") and its content.
    virtual std::string File(const std::string& name) = 0;
    virtual std::string Served(const std::string& name) = 0;
    // The output folder: a path in it, and the names in it, hidden ones too, in order.
    virtual std::string Out(const std::string& name) = 0;
    virtual std::vector<std::string> Names() = 0;
    virtual std::string Read(const std::string& path) = 0;
    virtual void Write(const std::string& path, const std::string& content) = 0;
    virtual bool Exists(const std::string& path) = 0;
    virtual bool IsHidden(const std::string& path) = 0;
    // The file kept as a running download keeps its own.
    virtual std::unique_ptr<Held> HoldAsDownload(const std::string& path) = 0;
    // A socket on 127.0.0.1 that takes connections and never answers; its port.
    virtual std::unique_ptr<Held> SilentServer(int* port) = 0;
    // The adapter's own numbers for an untrusted certificate (given a CA file or not) and a
    // refused redirect; checked beside the kinds, which every adapter shares.
    virtual void CheckCertificateError(const zq::WebError& error, bool caFileGiven) = 0;
    virtual void CheckRedirectError(const zq::WebError& error) = 0;
};

inline void TrustedPageIsReadAndAnUntrustedCertificateGivesNothing(WebSite& s) {
    const auto trusted = s.Make(s.Ca(), kShort);
    EXPECT_EQ(trusted->FetchText(s.Url(s.File("page.htm")), 1000), "<html>ZQM_Version:3.05</html>")
        << trusted->LastError().detail;
    EXPECT_EQ(trusted->LastError().kind, WebFailure::None);

    // The system's authorities alone, and a file whose authority signed nothing here.
    for (const std::string& ca : {std::string(), s.OtherCa()}) {
        const auto web = s.Make(ca, kShort);
        EXPECT_EQ(web->FetchText(s.Url(s.File("page.htm")), 1000), std::nullopt) << ca;
        EXPECT_EQ(web->LastError().kind, WebFailure::Certificate) << web->LastError().detail;
        s.CheckCertificateError(web->LastError(), !ca.empty());
        s.Write(s.Out("zqmupd.exe"), "old installer");
        const auto r = web->Download(s.Url(s.File("zqmupd.exe")), s.Out("zqmupd.exe"), {});
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.error.kind, WebFailure::Certificate) << r.error.detail;
        EXPECT_EQ(s.Read(s.Out("zqmupd.exe")), "old installer");
        EXPECT_EQ(s.Names(), std::vector<std::string>{"zqmupd.exe"});
    }
}

inline void OnlyHttpsIsSpokenEvenAfterARedirect(WebSite& s) {
    const auto web = s.Make(s.Ca(), kShort);
    const std::string plain = "http://127.0.0.1:" + std::to_string(s.Port()) + s.File("page.htm");
    EXPECT_EQ(web->FetchText(plain, 1000), std::nullopt);
    EXPECT_EQ(web->LastError().kind, WebFailure::Address);
    EXPECT_NE(web->LastError().detail.find("https://"), std::string::npos) << web->LastError().detail;
    EXPECT_EQ(web->FetchText(s.Url("/redirect-http" + s.File("page.htm")), 1000), std::nullopt);
    EXPECT_EQ(web->LastError().kind, WebFailure::Redirect) << web->LastError().detail;
    s.Write(s.Out("zqmupd.exe"), "old installer");
    const auto r = web->Download("HTTP://127.0.0.1/zqmupd.exe", s.Out("zqmupd.exe"), {});
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error.kind, WebFailure::Address);
    const auto r2 = web->Download(s.Url("/redirect-http" + s.File("zqmupd.exe")), s.Out("zqmupd.exe"), {});
    EXPECT_FALSE(r2.ok);
    // The refused redirect, not its status 302.
    EXPECT_EQ(r2.error.kind, WebFailure::Redirect) << r2.error.detail;
    EXPECT_NE(r2.error.code, 302);
    s.CheckRedirectError(r2.error);
    EXPECT_EQ(s.Read(s.Out("zqmupd.exe")), "old installer");
    EXPECT_EQ(s.Names(), std::vector<std::string>{"zqmupd.exe"});
}

inline void APageBeyondTheBoundIsAbandoned(WebSite& s) {
    const auto web = s.Make(s.Ca(), kShort);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(web->FetchText(s.Url("/big50/iupdate.htm"), 64 * 1024), std::nullopt);
    EXPECT_EQ(web->LastError().kind, WebFailure::TooLarge) << web->LastError().detail;
    EXPECT_EQ(web->LastError().code, 64 * 1024);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

    const auto page = web->FetchText(s.Url("/big1/iupdate.htm"), 2 * 1024 * 1024);
    ASSERT_TRUE(page.has_value()) << web->LastError().detail;
    EXPECT_EQ(page->size(), 1024u * 1024u + 37u);
    EXPECT_EQ(page->substr(page->size() - 18), "ZQC_Version:9.99.8");
}

inline void DownloadReplacesTheTargetOnlyWhenCompleteAndReportsProgress(WebSite& s) {
    const auto web = s.Make(s.Ca(), kShort);
    const std::string target = s.Out("zqmupd.exe");
    s.Write(target, "old installer");

    const auto notFound = web->Download(s.Url(s.File("missing.exe")), target, {});
    EXPECT_FALSE(notFound.ok);
    EXPECT_EQ(notFound.error.kind, WebFailure::Status);
    EXPECT_EQ(notFound.error.code, 404);
    EXPECT_EQ(notFound.httpStatus, 404);
    const auto half = web->Download(s.Url("/half" + s.File("zqmupd.exe")), target, {});
    EXPECT_FALSE(half.ok);
    EXPECT_EQ(half.error.kind, WebFailure::BrokenOff) << half.error.detail;
    EXPECT_NE(half.error.code, 200);
    EXPECT_EQ(s.Read(target), "old installer");
    EXPECT_EQ(s.Names(), std::vector<std::string>{"zqmupd.exe"});

    std::uint64_t lastDone = 0, lastTotal = 0;
    const auto r = web->Download(s.Url(s.File("zqmupd.exe")), target, [&](std::uint64_t d, std::uint64_t t) {
        EXPECT_GE(d, lastDone);
        lastDone = d;
        lastTotal = t;
        return true;
    });
    ASSERT_TRUE(r.ok) << r.error.detail;
    EXPECT_EQ(r.httpStatus, 200);
    const std::string served = s.Served("zqmupd.exe");
    EXPECT_TRUE(s.Read(target) == served) << "the whole file arrived";
    EXPECT_EQ(lastDone, served.size());
    EXPECT_EQ(lastTotal, served.size());
    EXPECT_EQ(s.Names(), std::vector<std::string>{"zqmupd.exe"});
    EXPECT_FALSE(s.IsHidden(target)) << "the installer is not hidden as its temporary file was";
}

inline void TheCheckDecidesBeforeTheTargetIsReplaced(WebSite& s) {
    const auto web = s.Make(s.Ca(), kShort);
    const std::string target = s.Out("zqmupd.exe");
    s.Write(target, "old installer");
    std::string seen;
    bool hidden = false;
    const auto r = web->Download(s.Url(s.File("zqmupd.exe")), target, {}, [&](const std::string& temp) {
        seen = s.Read(temp);
        hidden = s.IsHidden(temp);
        return false;
    });
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error.kind, WebFailure::Rejected);
    EXPECT_TRUE(seen == s.Served("zqmupd.exe")) << "the check sees the whole file";
    EXPECT_TRUE(hidden);
    EXPECT_EQ(s.Read(target), "old installer");
    EXPECT_EQ(s.Names(), std::vector<std::string>{"zqmupd.exe"});
}

inline void KilledDownloadsLeaveLeftoversThatOnlyLaterRunsRemove(WebSite& s) {
    const auto web = s.Make(s.Ca(), kShort);
    // A leftover of a killed download, one that a running download holds, and files that are
    // not ours.
    s.Write(s.Out(".zqmupd.exe.4242.0.part"), "half");
    const std::string held = s.Out(".zqmupd.exe.4243.1.part");
    s.Write(held, "running");
    auto running = s.HoldAsDownload(held);
    ASSERT_TRUE(running);
    for (const char* other : {".zqcupd.exe.1.2.part", ".zqmupd.exe.x.2.part", "zqmupd.exe.1.2.part",
                              ".zqmupd.exe.1.2.partial"}) {
        s.Write(s.Out(other), "not ours");
    }
    EXPECT_EQ(web->RemoveLeftovers(s.Out("zqmupd.exe")), 1);
    EXPECT_FALSE(s.Exists(s.Out(".zqmupd.exe.4242.0.part")));
    EXPECT_TRUE(s.Exists(held));
    running.reset();
    EXPECT_EQ(s.Names().size(), 5u);
    EXPECT_EQ(web->RemoveLeftovers(s.Out("zqmupd.exe")), 1) << "no longer held: stale now";
    EXPECT_FALSE(s.Exists(held));
}

inline void AStallingServerEndsWithinTheStallTimeOut(WebSite& s) {
    // kShort: connect 2 s, stall 1 s.
    const auto web = s.Make(s.Ca(), kShort);
    for (const std::string& stall : {std::string("/stall/iupdate.htm"), std::string("/stall-headers/iupdate.htm"),
                                     "/stall-midway" + s.File("page.htm")}) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(web->FetchText(s.Url(stall), 100000), std::nullopt);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2600)) << stall;
        EXPECT_EQ(web->LastError().kind, WebFailure::Stalled) << stall << ": " << web->LastError().detail;
    }
    const auto start = std::chrono::steady_clock::now();
    const auto r = web->Download(s.Url("/stall-midway" + s.File("zqmupd.exe")), s.Out("zqmupd.exe"), {});
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error.kind, WebFailure::Stalled) << r.error.detail;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2600));
    EXPECT_TRUE(s.Names().empty());

    // A server that takes the connection but never answers the TLS handshake: the connect
    // time-out.
    int port = 0;
    const auto silent = s.SilentServer(&port);
    const auto handshake = std::chrono::steady_clock::now();
    EXPECT_EQ(web->FetchText("https://127.0.0.1:" + std::to_string(port) + "/", 1000), std::nullopt);
    EXPECT_LT(std::chrono::steady_clock::now() - handshake, std::chrono::milliseconds(3500));
    EXPECT_EQ(web->LastError().kind, WebFailure::Connection) << web->LastError().detail;
}

inline void AStalledFetchReportsProgressAboutOnceASecondAndCanBeStopped(WebSite& s) {
    const auto web = s.Make(s.Ca(), zq::WebTimeouts{std::chrono::seconds(2), std::chrono::seconds(2), 1});
    int calls = 0;
    EXPECT_EQ(web->FetchText(s.Url("/stall/iupdate.htm"), 1000, [&](std::uint64_t, std::uint64_t) {
                  ++calls;
                  return true;
              }),
              std::nullopt);
    EXPECT_GE(calls, 2) << "the window can repaint while it waits";

    // The window was closed: the wait ends at once.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(web->FetchText(s.Url("/stall/iupdate.htm"), 1000, [](std::uint64_t, std::uint64_t) { return false; }),
              std::nullopt);
    EXPECT_EQ(web->LastError().kind, WebFailure::Cancelled);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
}

}  // namespace zqtest::web

// The scenarios as tests of a fixture that derives from WebSite.
#define ZQ_WEB_CONTRACT_TESTS(Fixture)                                                                  \
    ZQ_SCENARIO_TEST(Fixture, zqtest::web, TrustedPageIsReadAndAnUntrustedCertificateGivesNothing)      \
    ZQ_SCENARIO_TEST(Fixture, zqtest::web, OnlyHttpsIsSpokenEvenAfterARedirect)                         \
    ZQ_SCENARIO_TEST(Fixture, zqtest::web, APageBeyondTheBoundIsAbandoned)                              \
    ZQ_SCENARIO_TEST(Fixture, zqtest::web, DownloadReplacesTheTargetOnlyWhenCompleteAndReportsProgress) \
    ZQ_SCENARIO_TEST(Fixture, zqtest::web, TheCheckDecidesBeforeTheTargetIsReplaced)                    \
    ZQ_SCENARIO_TEST(Fixture, zqtest::web, KilledDownloadsLeaveLeftoversThatOnlyLaterRunsRemove)        \
    ZQ_SCENARIO_TEST(Fixture, zqtest::web, AStallingServerEndsWithinTheStallTimeOut)                    \
    ZQ_SCENARIO_TEST(Fixture, zqtest::web, AStalledFetchReportsProgressAboutOnceASecondAndCanBeStopped)
