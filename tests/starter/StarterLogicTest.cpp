// Decisions of the start program: version comparison, zqm.ini markers, trusted locations.
#include <gtest/gtest.h>

#include "StarterTestKit.h"
#include "common/RegistryAccess.h"
#include "starter/Start.h"
#include "starter/TrustedLocations.h"
#include "starter/Update.h"

using namespace zq::starter;
using zq::RegRoot;

namespace {

TEST(VersionCompare, EveryCaseOfTheComparison) {
    struct Case { const char *installer, *minor, *beta; bool needed; const char* shown; };
    const Case cases[] = {
        {"4.1.23.0", ".23", "", false, "4.1.23.0"},   {"4.1.24.0", ".23", "", true, "4.1.24.0"},
        {"4.1.22.0", ".23", "", false, "4.1.22.0"},   {"4.2.0.0", ".23", "", true, "4.2.0.0"},
        {"0.0.0.0", ".23", "", false, "0.0.0.0"},     {"4.1.23.2", ".23", "", false, "4.1.23_b2"},
        {"4.1.23.0", ".23", "_b1", true, "4.1.23.0"}, {"4.1.23.2", ".23", "_b1", true, "4.1.23_b2"},
        {"4.1.23.1", ".23", "_b1", false, "4.1.23_b1"}, {"4.1.23.1", ".23", "_b3", false, "4.1.23_b1"},
        {"4.1.23.10", ".23", "_b1", true, "4.1.23.10"},
    };
    for (const Case& c : cases) {
        auto next = SplitVersion(c.installer);
        ASSERT_TRUE(next) << c.installer;
        EXPECT_EQ(UpdateNeeded(*next, {"4.1", c.minor, c.beta}), std::optional<bool>(c.needed))
            << c.installer << " against beta '" << c.beta << "'";
        EXPECT_EQ(ShownVersion(*next), c.shown);
    }
    auto two = SplitVersion("10.1.5.0");  // the split expects one digit before the point
    ASSERT_TRUE(two);
    EXPECT_EQ(two->main + "|" + two->build + "|" + two->revision, "10|1|5.0");
    EXPECT_FALSE(SplitVersion("41234"));
    EXPECT_FALSE(SplitVersion("4."));
    EXPECT_EQ((CurrentVersion{"4.1", ".23", ""}.Shown()), "4.1.23.0");
    EXPECT_EQ((CurrentVersion{"4.1", ".23", "_b4"}.Beta()), "4");
    // A part that is no number ends the decision, unless a newer main version decided it.
    auto next = SplitVersion("4.1.23.1");
    EXPECT_FALSE(UpdateNeeded(*next, {"4.1", "", ""}));
    EXPECT_FALSE(UpdateNeeded(*next, {"4.1", ".23", "_b"}));
    EXPECT_EQ(UpdateNeeded(*SplitVersion("5.0.1.0"), {"4.1", "junk", ""}), std::optional<bool>(true));
    EXPECT_EQ(StarterVersionText(4, 1, 23), "4.01.0.23");
}

TEST(StarterConfig, MarkersAcceptedFormsAndTheirTrace) {
    zqtest::Installation i;
    ReadStarterConfig(i.ctx);  // no zqm.ini yet
    for (const char* key : {"Version", "Bit", "Pfad"}) EXPECT_EQ(i.IniValue("Datenbasis", key), "X");
    EXPECT_EQ(i.IniValue("Datendatei", "Netzwerk"), "X");
    ReportStarterConfig(i.ctx);
    EXPECT_EQ(i.From("*** Check Zequora Config ***"),
              (std::vector<std::string>{"*** Check Zequora Config ***", "Check Config       : " + i.ini,
                                        "Result             : OK", "Access Version Cfg : Not Set",
                                        "Access Version Auto: 10.0", "Access Bit Config  : Not Set",
                                        "Access Pfad Config : Not Set", "Data Network Cfg   : "}));
    ReadStarterConfig(i.ctx);
    EXPECT_EQ(i.ctx.glDataNetworkCfg, "X");

    for (const char* bad : {"9.0", "16", "16.00", "x"}) {
        i.Ini("Datenbasis", "Version", bad);
        ReadStarterConfig(i.ctx);
        EXPECT_FALSE(i.ctx.access.versionConfigured) << bad;
        EXPECT_EQ(i.IniValue("Datenbasis", "Version"), bad) << "left as the user wrote it";
    }
    i.Ini("Datenbasis", "Version", "16.0");
    i.Ini("Datenbasis", "Bit", "  64 ");
    i.Ini("Datenbasis", "Pfad", "/opt/Office14");
    i.Ini("Datendatei", "Netzwerk", std::string(300, 'n'));
    ReadStarterConfig(i.ctx);
    EXPECT_EQ(i.ctx.access.version, "16.0");
    EXPECT_TRUE(i.ctx.glAccess64);
    EXPECT_EQ(i.ctx.access.bitness, "64");
    EXPECT_EQ(i.ctx.access.folder, "/opt/Office14/");
    EXPECT_EQ(i.ctx.glDataNetworkCfg, std::string(249, 'n'));
    SetFilePaths(i.ctx, "");
    EXPECT_EQ(i.ctx.glFrontEndFile, i.prog + "/zqm64.zqf");
}

class Trusted : public ::testing::Test {
protected:
    zqtest::Installation i;
    const std::string key = "Software\\Microsoft\\Office\\14.0\\Access\\Security\\Trusted Locations";
    void SetUp() override {
        i.ctx.access.version = "14.0";
        zq::BuildKeyPaths(i.ctx.access);
        zq::RegHandle h = 0;
        i.registry.CreateKey(RegRoot::CurrentUser, key, h);
        i.registry.CloseKey(h);
    }
    std::string PathOf(int k) {
        return zq::ReadStringValue(i.registry, RegRoot::CurrentUser, key + "\\Location" + std::to_string(k), "Path");
    }
    void Add(const std::string& name, const std::string& path) {
        zq::WriteStringValue(i.registry, RegRoot::CurrentUser, key + "\\" + name, "Path", path);
    }
    std::string Allow() {
        return zq::ReadStringValue(i.registry, RegRoot::CurrentUser, key, "AllowNetworkLocations");
    }
};

TEST_F(Trusted, FreshKeyGetsNumberedEntriesAndFindsThemAgain) {
    i.Ini("Datendatei", "Pfad", i.data + "/");
    RegisterTrustedFolders(i.ctx);
    EXPECT_EQ(PathOf(0), i.prog) << "compared with nothing, so kept without a separator";
    EXPECT_EQ(PathOf(1), "/home/anna/.cache/zequora2/update/");
    EXPECT_EQ(PathOf(2), i.data + "/");
    const std::string loc = key + "\\Location2";
    EXPECT_EQ(zq::ReadStringValue(i.registry, RegRoot::CurrentUser, loc, "Description"), "set by Zequora");
    EXPECT_EQ(zq::ReadStringValue(i.registry, RegRoot::CurrentUser, loc, "Date"),
              i.clock.FormatGeneral(i.clock.Now()));
    EXPECT_EQ(zq::ReadStringValue(i.registry, RegRoot::CurrentUser, loc, "AllowSubfolders"), "0");
    EXPECT_EQ(Allow(), "");
    RegisterTrustedFolders(i.ctx);
    auto lines = i.From("Program folder     : " + i.prog);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Result             : Entry already exists"), 3);
    EXPECT_EQ(lines.back(), "Settings           : Network locations are NOT allowed");
}

TEST_F(Trusted, FreeNumberSearchExactCaseAndDamagedEntries) {
    for (int k = 0; k < 3; ++k) Add("Location" + std::to_string(k), "/other" + std::to_string(k));
    Add("Vendor", "/SRV/daten/");
    i.registry.enumCalls = 0;
    EXPECT_EQ(AddTrustedLocation(i.ctx, "/srv/daten", kNetworkLeave), kTrustedRegistered);
    EXPECT_EQ(i.registry.enumCalls, 5);
    EXPECT_EQ(PathOf(3), "/srv/daten/");
    EXPECT_EQ(AddTrustedLocation(i.ctx, "/other1/", kNetworkLeave), kTrustedExists);

    for (int k = 4; k < 300; ++k) {
        if (k % 7 == 0) {
            zq::WriteStringValue(i.registry, RegRoot::CurrentUser, key + "\\Location" + std::to_string(k),
                                 "Description", "no path");
        } else {
            Add("Location" + std::to_string(k), "/f" + std::to_string(k));
        }
    }
    EXPECT_EQ(AddTrustedLocation(i.ctx, "/f298", kNetworkLeave), kTrustedExists);
    EXPECT_EQ(AddTrustedLocation(i.ctx, "/fresh", kNetworkLeave), kTrustedRegistered);
    EXPECT_EQ(PathOf(300), "/fresh/");
}

TEST_F(Trusted, NetworkRules) {
    i.files.remote.insert("/mnt/share");
    EXPECT_EQ(DataFolderNetworkSetting(i.ctx, "/mnt/share/daten/", "n"), kNetworkRemote);
    EXPECT_EQ(DataFolderNetworkSetting(i.ctx, "/srv/daten/", "n"), kNetworkLocal);
    EXPECT_EQ(DataFolderNetworkSetting(i.ctx, "/srv/daten/", "y"), kNetworkRemote);
    EXPECT_EQ(DataFolderNetworkSetting(i.ctx, "/srv/daten/", "Y"), kNetworkLeave);
    i.ctx.style = zq::PathStyle::Windows;
    EXPECT_EQ(DataFolderNetworkSetting(i.ctx, "\\\\server\\share\\data\\", "n"), kNetworkRemote);
    i.ctx.style = zq::PathStyle::Posix;

    // A new local entry leaves the switch alone; a known one sets it back.
    zq::WriteDwordValue(i.registry, RegRoot::CurrentUser, key, "AllowNetworkLocations", 1);
    EXPECT_EQ(AddTrustedLocation(i.ctx, "/srv/daten/", kNetworkLocal), kTrustedRegistered);
    EXPECT_EQ(Allow(), "1");
    EXPECT_EQ(AddTrustedLocation(i.ctx, "/srv/daten/", kNetworkLocal), kTrustedExists);
    EXPECT_EQ(Allow(), "0");

    // A data folder on the network allows network locations and is noted in zqm.ini.
    i.Ini("Datendatei", "Pfad", "/mnt/share/daten/");
    i.Ini("Datendatei", "Netzwerk", "n");
    RegisterTrustedFolders(i.ctx);
    EXPECT_EQ(Allow(), "1");
    EXPECT_EQ(i.IniValue("Datendatei", "Netzwerk"), "y");
    EXPECT_EQ(i.Lines().back(), "Settings           : Network locations are allowed");
}

TEST_F(Trusted, MissingKeyIsNeverCreated) {
    i.ctx.access.version = "15.0";
    zq::BuildKeyPaths(i.ctx.access);
    i.Ini("Datendatei", "Pfad", "/srv/daten/");
    i.Ini("Datendatei", "Netzwerk", "y");
    RegisterTrustedFolders(i.ctx);
    auto lines = i.From("*** Add folders to trusted locations ***");
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Result             : Key not found"), 3);
    EXPECT_FALSE(zq::KeyExists(i.registry, RegRoot::CurrentUser, i.ctx.access.regPathTrusted));
    EXPECT_EQ(TrustedResultText(kTrustedFailed), "Failed");
}

}  // namespace
