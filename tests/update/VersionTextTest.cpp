// Version texts of the update tool: the version page, recorded versions, the tool's own
// version, and the server address from zqu.ini.
#include <string>

#include <gtest/gtest.h>

#include "support/MemoryFiles.h"
#include "update/funktionen.h"

namespace {

using zq::update::FirstChars;
using zq::update::VersionFromPage;

std::string Manager(const std::string& page) { return VersionFromPage(page, "ZQM_Version:", true); }
std::string Client(const std::string& page) { return VersionFromPage(page, "ZQC_Version:", false); }

TEST(VersionPage, SixCharactersAfterTheMarkerWithZeroCompletionForTheManagerOnly) {
    EXPECT_EQ(Manager("<p>ZQM_Version:3.05"), "3.05.0");
    EXPECT_EQ(Manager("ZQM_Version:3.5"), "3.5.0");
    EXPECT_EQ(Manager("x ZQM_Version:3.23.1 and more text"), "3.23.1");
    EXPECT_EQ(Client("ZQM_Version:3.23.1 ZQC_Version:3.05"), "3.05");
    EXPECT_EQ(Client("ZQC_Version:3.23.1999"), "3.23.1");
    // The first occurrence counts, with exact case.
    EXPECT_EQ(Manager("ZQM_Version:1.00.1 ZQM_Version:2.00.2"), "1.00.1");
    EXPECT_EQ(Manager("zqm_version:9.99.9 ZQM_Version:1.2"), "1.2.0");
}

TEST(VersionPage, MissingMarkerOrNothingAfterItShowsNothing) {
    EXPECT_EQ(Manager(""), "");
    EXPECT_EQ(Manager("<html><body>Wartungsarbeiten</body></html>"), "");
    EXPECT_EQ(Client("<html><body>ZQM_Version:3.05</body></html>"), "");
    EXPECT_EQ(Manager("text ZQM_Version:"), "");
    EXPECT_EQ(Client("ZQC_Version:"), "");
    EXPECT_EQ(Manager("ZQM_Version"), "");
}

TEST(VersionPage, LineEndsAndGarbageNeverReachTheLabel) {
    EXPECT_EQ(Manager("ZQM_Version:3.05\r\nZQC_Version:3.04\r\n"), "3.05.0");
    EXPECT_EQ(Client("ZQM_Version:3.05\r\nZQC_Version:3.04\r\n"), "3.04");
    EXPECT_EQ(Manager("ZQM_Version:\x1b[2J12"), "");
    EXPECT_EQ(Client(std::string("ZQC_Version:3.1\0zz", 18)), "3.1");

    std::string garbage;
    for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 131 + 7) % 256);
    for (std::size_t at : {std::size_t{0}, std::size_t{100}, garbage.size()}) {
        std::string page = garbage;
        page.insert(at, "ZQM_Version:");
        const std::string v = Manager(page);
        for (unsigned char c : v) EXPECT_GE(c, 0x20) << "control character in " << v;
        EXPECT_LE(v.size(), 6u * 4u);
    }
}

TEST(VersionPage, CharactersAreCountedNotBytes) {
    EXPECT_EQ(FirstChars("3.05.123", 6), "3.05.1");
    EXPECT_EQ(FirstChars("3.05", 6), "3.05");
    EXPECT_EQ(FirstChars("äöüßéèx", 6), "äöüßéè");
    EXPECT_EQ(FirstChars("1\xff\xfe" "2345", 6), "1??234");
    EXPECT_EQ(FirstChars("12\xe2\x82", 6), "12??") << "a cut-off sequence is not valid";
    EXPECT_EQ(Manager("ZQM_Version:Ä.05"), "Ä.05.0");
}

TEST(ProgramValues, VersionTextCaptionAndApplicationNames) {
    EXPECT_EQ(zq::update::ProgramVersionText(4, 1), "4.01");
    EXPECT_EQ(zq::update::ProgramVersionText(4, 12), "4.12");
    EXPECT_EQ(zq::update::WindowCaption(4, 5), "ZEQUORA - Update 4.5");
    EXPECT_EQ(zq::update::ApplicationName("ZEQUORA - Client", 4), "ZEQUORA - Client 4");
    EXPECT_EQ(zq::update::DisplayText("a\tb\r\n\x7f\xc3"), "a?b????");
}

class ServerConfigTest : public ::testing::Test {
protected:
    zq::update::ServerConfig Read(const std::string& ini) {
        files.Put("/zq/zqu.ini", ini);
        return zq::update::ReadServerConfig(profile, "/zq/", zq::PathStyle::Posix);
    }
    zqtest::MemoryFiles files;
    zqtest::MemoryProfile profile{files};
};

TEST_F(ServerConfigTest, HttpsAddressWithOptionalCaFile) {
    auto c = Read("[Server]\r\nAdresse = https://upd.example:8443/zq/ \r\nCAFile=certs/ca.pem\r\n");
    EXPECT_EQ(c.base, "https://upd.example:8443/zq");
    EXPECT_EQ(c.caFile, "/zq/certs/ca.pem");
    EXPECT_EQ(c.problem, "");

    c = Read("[server]\r\nadresse=HTTPS://upd.example\r\ncafile=/etc/zq/ca.pem\r\n");
    EXPECT_EQ(c.base, "HTTPS://upd.example");
    EXPECT_EQ(c.caFile, "/etc/zq/ca.pem");
}

TEST_F(ServerConfigTest, MissingOrUnsafeAddressesAreNotUsed) {
    EXPECT_EQ(Read("").base, "");
    EXPECT_EQ(Read("").problem, "");
    EXPECT_EQ(Read("[Server]\r\nAdresse=X\r\n").problem, "");
    for (const char* bad : {"http://upd.example", "ftp://upd.example", "upd.example",
                            "https://", "https:///path", "https://upd example", "https://@x"}) {
        const auto c = Read(std::string("[Server]\r\nAdresse=") + bad + "\r\n");
        EXPECT_EQ(c.base, "") << bad;
        EXPECT_NE(c.problem, "") << bad;
    }
    EXPECT_EQ(zq::update::ServerConfig{}.base, "");
}

}  // namespace
