// Trusted-location entries under HKEY_CURRENT_USER and the network switch.
#include <gtest/gtest.h>

#include "StarterFakes.h"
#include "starter/TrustedLocations.h"
#include "support/TestSupport.h"

using namespace zq::starter;
using namespace zqtest::starter;
using zq::RegRoot;

namespace {

const std::string kIni = "/opt/zq/zqm.ini";
const std::string kTrusted = "Software\\Microsoft\\Office\\14.0\\Access\\Security\\Trusted Locations";
const RegRoot kUser = RegRoot::CurrentUser;

class Trusted : public ::testing::Test {
protected:
    FakeMachine m;
    zq::TraceLog trace{m.files, "/opt/zq/trace.txt", zq::kStarterLabelWidth};
    StarterContext ctx{m.platform, trace};

    void SetUp() override {
        ctx.glProgramFolder = "/opt/zq";
        ctx.glIniFile = kIni;
        ctx.glAccessVersion = "14.0";
        zq::BuildKeyPaths(ctx.access);
        m.registry.MakeKey(kUser, kTrusted);
        trace.OpenOutput();
    }
    std::string Loc(int k) { return kTrusted + "\\Location" + std::to_string(k); }
    std::optional<std::string> PathOf(int k) { return m.registry.Sz(kUser, Loc(k), "Path"); }
    std::optional<std::int32_t> AllowNetwork() {
        return m.registry.Dword(kUser, kTrusted, "AllowNetworkLocations");
    }
    std::vector<std::string> Lines() { return zqtest::CrLfLines(m.files.files["/opt/zq/trace.txt"]); }
};

TEST_F(Trusted, FreshKeyGetsThreeNumberedEntries) {
    m.profile.Set(kIni, "Datendatei", "Pfad", "/srv/daten/");
    RegisterTrustedFolders(ctx);
    // The first entry is compared with nothing, so it keeps its form without a separator.
    EXPECT_EQ(PathOf(0), "/opt/zq");
    EXPECT_EQ(PathOf(1), "/home/anna/.cache/zequora2/update/");
    EXPECT_EQ(PathOf(2), "/srv/daten/");
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(m.registry.Sz(kUser, Loc(k), "Description"), "set by Zequora");
        EXPECT_EQ(m.registry.Sz(kUser, Loc(k), "Date"), "07.12.2026 08:05:09");
        EXPECT_EQ(m.registry.Dword(kUser, Loc(k), "AllowSubfolders"), 0);
    }
    EXPECT_FALSE(AllowNetwork());
    std::vector<std::string> expected = {
        "*** Add folders to trusted locations ***",
        "Program folder     : /opt/zq",
        "Result             : OK",
        "",
        "Update folder      : /home/anna/.cache/zequora2/update/",
        "Result             : OK",
        "",
        "Data folder        : /srv/daten/",
        "Result             : OK",
        "",
        "Settings           : Network locations are NOT allowed",
    };
    EXPECT_EQ(Lines(), expected);

    // A second start finds all three.
    trace.OpenOutput();
    RegisterTrustedFolders(ctx);
    auto lines = Lines();
    EXPECT_EQ(lines[2], "Result             : Entry already exists");
    EXPECT_EQ(lines[5], "Result             : Entry already exists");
    EXPECT_EQ(lines[8], "Result             : Entry already exists");
    EXPECT_FALSE(m.registry.Get(kUser, Loc(3), "Path"));
}

TEST_F(Trusted, FreeNumberSearchSkipsTakenNumbersAndOtherNames) {
    for (int k = 0; k < 3; ++k) m.registry.SetSz(kUser, Loc(k), "Path", "/other" + std::to_string(k) + "/");
    m.registry.SetSz(kUser, kTrusted + "\\Vendor", "Path", "/vendor/");
    m.registry.enumCalls = 0;
    EXPECT_EQ(AddTrustedLocation(ctx, "/new", kNetworkLeave), kTrustedRegistered);
    EXPECT_EQ(m.registry.enumCalls, 5);
    EXPECT_EQ(PathOf(3), "/new/");
}

TEST_F(Trusted, BrokenEnumerationBoundsTheFreeNumberSearch) {
    for (int k = 0; k < 4; ++k) m.registry.SetSz(kUser, Loc(k), "Path", "/other" + std::to_string(k) + "/");
    m.registry.failEnumAt = 1;  // two calls: numbers 0 to 3 are tried, all taken
    EXPECT_EQ(AddTrustedLocation(ctx, "/new/", kNetworkLeave), kTrustedKeyNotFound);
    EXPECT_FALSE(m.registry.Get(kUser, Loc(4), "Path"));
}

TEST_F(Trusted, MatchIsExactIncludingCase) {
    m.registry.SetSz(kUser, Loc(0), "Path", "/SRV/daten/");
    m.registry.SetSz(kUser, Loc(1), "Path", "/opt/zq");
    EXPECT_EQ(AddTrustedLocation(ctx, "/srv/daten/", kNetworkLeave), kTrustedRegistered);
    EXPECT_EQ(PathOf(2), "/srv/daten/");
    // A stored path without a final separator still matches the same folder.
    EXPECT_EQ(AddTrustedLocation(ctx, "/opt/zq/", kNetworkLeave), kTrustedExists);
}

TEST_F(Trusted, HundredsOfSubkeysSomeWithoutPath) {
    for (int k = 0; k < 400; ++k) {
        if (k % 7 == 0)
            m.registry.MakeKey(kUser, Loc(k));  // no "Path" value
        else
            m.registry.SetSz(kUser, Loc(k), "Path", "/f" + std::to_string(k) + "/");
    }
    EXPECT_EQ(AddTrustedLocation(ctx, "/f398", kNetworkLeave), kTrustedExists);
    EXPECT_EQ(AddTrustedLocation(ctx, "/fresh/", kNetworkLeave), kTrustedRegistered);
    EXPECT_EQ(PathOf(400), "/fresh/");
}

TEST_F(Trusted, UncDataFolderWinsOverTheNetworkEntry) {
    ctx.style = zq::PathStyle::Windows;
    m.profile.Set(kIni, "Datendatei", "Pfad", "\\\\server\\share\\data\\");
    m.profile.Set(kIni, "Datendatei", "Netzwerk", "n");
    RegisterTrustedFolders(ctx);
    EXPECT_EQ(AllowNetwork(), 1);
    EXPECT_EQ(m.profile.Value(kIni, "Datendatei", "Netzwerk"), "y");
    EXPECT_EQ(Lines().back(), "Settings           : Network locations are allowed");
}

TEST_F(Trusted, DataFolderOnANetworkFileSystemCountsAsNetworkDrive) {
    m.files.remote.insert("/mnt/share");
    m.profile.Set(kIni, "Datendatei", "Pfad", "/mnt/share/daten/");
    m.profile.Set(kIni, "Datendatei", "Netzwerk", "n");
    EXPECT_EQ(DataFolderNetworkSetting(ctx, "/mnt/share/daten/", "n"), kNetworkRemote);
    EXPECT_EQ(DataFolderNetworkSetting(ctx, "/srv/daten/", "n"), kNetworkLocal);
    EXPECT_EQ(DataFolderNetworkSetting(ctx, "/srv/daten/", "y"), kNetworkRemote);
    // Only the lower-case letters have a meaning.
    EXPECT_EQ(DataFolderNetworkSetting(ctx, "/srv/daten/", "Y"), kNetworkLeave);
    EXPECT_EQ(DataFolderNetworkSetting(ctx, "/srv/daten/", "X"), kNetworkLeave);
    RegisterTrustedFolders(ctx);
    EXPECT_EQ(AllowNetwork(), 1);
    EXPECT_EQ(m.profile.Value(kIni, "Datendatei", "Netzwerk"), "y");
}

TEST_F(Trusted, KnownLocalDataFolderTurnsNetworkLocationsOff) {
    m.registry.SetSz(kUser, Loc(0), "Path", "/srv/daten/");
    m.registry.SetDword(kUser, kTrusted, "AllowNetworkLocations", 1);
    m.profile.Set(kIni, "Datendatei", "Pfad", "/srv/daten/");
    m.profile.Set(kIni, "Datendatei", "Netzwerk", "n");
    RegisterTrustedFolders(ctx);
    EXPECT_EQ(AllowNetwork(), 0);
    EXPECT_EQ(m.profile.Value(kIni, "Datendatei", "Netzwerk"), "n");
    EXPECT_EQ(Lines().back(), "Settings           : Network locations are NOT allowed");
}

TEST_F(Trusted, NewLocalEntryLeavesTheNetworkSwitchAlone) {
    m.registry.SetDword(kUser, kTrusted, "AllowNetworkLocations", 1);
    EXPECT_EQ(AddTrustedLocation(ctx, "/srv/daten/", kNetworkLocal), kTrustedRegistered);
    EXPECT_EQ(AllowNetwork(), 1);
    // Folders registered without a network setting never touch it either.
    m.registry.SetDword(kUser, kTrusted, "AllowNetworkLocations", 0);
    EXPECT_EQ(AddTrustedLocation(ctx, "/srv/daten/", kNetworkLeave), kTrustedExists);
    EXPECT_EQ(AddTrustedLocation(ctx, "/opt/zq", kNetworkLeave), kTrustedRegistered);
    EXPECT_EQ(AllowNetwork(), 0);
}

TEST_F(Trusted, MissingKeyIsNeverCreated) {
    m.registry.keys.clear();
    m.profile.Set(kIni, "Datendatei", "Pfad", "/srv/daten/");
    m.profile.Set(kIni, "Datendatei", "Netzwerk", "y");
    RegisterTrustedFolders(ctx);
    EXPECT_TRUE(m.registry.keys.empty());
    auto lines = Lines();
    EXPECT_EQ(lines[2], "Result             : Key not found");
    EXPECT_EQ(lines[5], "Result             : Key not found");
    EXPECT_EQ(lines[8], "Result             : Key not found");
    EXPECT_EQ(lines.back(), "Settings           : Network locations are NOT allowed");
}

TEST_F(Trusted, EmptyDataFolderRegistersNothing) {
    RegisterTrustedFolders(ctx);
    auto lines = Lines();
    EXPECT_EQ(lines[7], "Data folder        : ");
    EXPECT_EQ(lines[8], "Result             : OK");
    EXPECT_FALSE(m.registry.Get(kUser, Loc(2), "Path"));
}

TEST_F(Trusted, FailedWriteIsNotReportedAsSuccess) {
    m.registry.failWrites = true;
    EXPECT_EQ(AddTrustedLocation(ctx, "/srv/daten/", kNetworkLeave), kTrustedFailed);
    EXPECT_EQ(TrustedResultText(kTrustedFailed), "Failed");
    EXPECT_EQ(TrustedResultText(kTrustedLocationNotSet), "Location not set");
}

}  // namespace
