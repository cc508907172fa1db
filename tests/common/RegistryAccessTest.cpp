#include "common/RegistryAccess.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "support/Fakes.h"
#include "support/MemoryFiles.h"

namespace {

using zq::RegHandle;
using zq::RegRoot;

// A registry in memory that hands out whatever data and types a test puts in, and counts
// open and closed handles.
class FakeRegistry : public zq::IRegistry {
public:
    struct Value {
        std::uint32_t type;
        std::string data;
    };
    std::map<std::string, std::map<std::string, Value>> keys;  // "HKLM\path" -> values
    std::map<std::string, std::vector<std::string>> subkeys;
    long enumFailure = zq::kRegNoMoreItems;  // what enumeration past the names reports
    long setStatus = zq::kRegSuccess;
    std::vector<std::pair<std::string, Value>> written;
    int open = 0;

    long OpenKey(RegRoot root, const std::string& path, RegHandle& out) override {
        auto it = keys.find(Name(root, path));
        if (it == keys.end()) return zq::kRegNotFound;
        return Handle(it->first, out);
    }
    long CreateKey(RegRoot root, const std::string& path, RegHandle& out) override {
        return Handle(keys.emplace(Name(root, path), std::map<std::string, Value>{}).first->first, out);
    }
    long QueryValue(RegHandle key, const std::string& name, std::uint32_t& type, std::string& data) override {
        auto& values = keys[handles.at(key)];
        auto it = values.find(name);
        if (it == values.end()) return zq::kRegNotFound;
        type = it->second.type;
        data = it->second.data;
        return zq::kRegSuccess;
    }
    long SetValue(RegHandle key, const std::string& name, std::uint32_t type, const std::string& data) override {
        written.push_back({handles.at(key) + "|" + name, Value{type, data}});
        if (setStatus == zq::kRegSuccess) keys[handles.at(key)][name] = Value{type, data};
        return setStatus;
    }
    long EnumKey(RegHandle key, std::uint32_t index, std::string& name) override {
        const auto& names = subkeys[handles.at(key)];
        if (index >= names.size()) return enumFailure;
        name = names[index];
        return zq::kRegSuccess;
    }
    long CloseKey(RegHandle key) override {
        if (handles.erase(key) == 0) return zq::kRegFailure;
        --open;
        return zq::kRegSuccess;
    }

    static std::string Name(RegRoot root, const std::string& path) {
        return (root == RegRoot::LocalMachine ? "HKLM\\" : "HKCU\\") + path;
    }

private:
    long Handle(const std::string& name, RegHandle& out) {
        out = next++;
        handles[out] = name;
        ++open;
        return zq::kRegSuccess;
    }
    std::map<RegHandle, std::string> handles;
    RegHandle next = 7;
};

// A profile layer that records the call and answers with a prepared text.
class FakeProfile : public zq::IProfile {
public:
    std::string answer;
    std::size_t bufferSize = 0;
    std::string defaultValue = "unset";
    std::string GetString(const std::string&, const std::string&, const std::string& def,
                          std::size_t size, const std::string&) override {
        bufferSize = size;
        defaultValue = def;
        return answer;
    }
    bool WriteString(const std::string&, const std::string&, const std::string&, const std::string&) override {
        return true;
    }
};

const char* const kKey = "Software\\Office\\InstallRoot";

}  // namespace

TEST(RegistryAccess, StringReaderRemovesOnlyATerminatingNul) {
    FakeRegistry reg;
    auto& values = reg.keys[FakeRegistry::Name(RegRoot::LocalMachine, kKey)];
    values["mit"] = {zq::kRegSz, std::string("C:\\Office\\\0", 11)};
    values["ohne"] = {zq::kRegSz, "C:\\Office\\"};
    values["leer"] = {zq::kRegSz, std::string()};
    values["zahl"] = {zq::kRegDword, std::string("\xfe\xff\xff\xff", 4)};
    values["kurz"] = {zq::kRegDword, std::string("\x01\x00", 2)};
    values["binaer"] = {3, std::string("ab\0", 3)};

    EXPECT_EQ(zq::ReadStringValue(reg, RegRoot::LocalMachine, kKey, "mit"), "C:\\Office\\");
    EXPECT_EQ(zq::ReadStringValue(reg, RegRoot::LocalMachine, kKey, "ohne"), "C:\\Office\\");
    EXPECT_EQ(zq::ReadStringValue(reg, RegRoot::LocalMachine, kKey, "leer"), "");
    EXPECT_EQ(zq::ReadStringValue(reg, RegRoot::LocalMachine, kKey, "zahl"), "-2");
    EXPECT_EQ(zq::ReadStringValue(reg, RegRoot::LocalMachine, kKey, "kurz"), "");
    EXPECT_EQ(zq::ReadStringValue(reg, RegRoot::LocalMachine, kKey, "binaer"), "");
    EXPECT_EQ(zq::ReadStringValue(reg, RegRoot::LocalMachine, kKey, "fehlt"), "");
    EXPECT_EQ(zq::ReadStringValue(reg, RegRoot::CurrentUser, kKey, "mit"), "");
    EXPECT_EQ(reg.open, 0);

    RegHandle h = 0;
    ASSERT_EQ(reg.OpenKey(RegRoot::LocalMachine, kKey, h), 0);
    zq::TypedValue v = zq::ReadTypedValue(reg, h, "mit");
    EXPECT_EQ(v.status, 0);
    EXPECT_EQ(v.text, std::string("C:\\Office\\\0", 11));
    v = zq::ReadTypedValue(reg, h, "zahl");
    EXPECT_EQ(v.status, 0);
    EXPECT_EQ(v.type, zq::kRegDword);
    EXPECT_EQ(v.number, -2);
    EXPECT_EQ(zq::ReadTypedValue(reg, h, "binaer").status, -1);
    EXPECT_EQ(zq::ReadTypedValue(reg, h, "fehlt").status, -1);
    reg.CloseKey(h);
}

TEST(RegistryAccess, WritersPassOneNulAndLittleEndianBytesAndThePlatformStatus) {
    FakeRegistry reg;
    EXPECT_EQ(zq::WriteStringValue(reg, RegRoot::LocalMachine, kKey, "Path", "C:\\x"), 0);
    EXPECT_EQ(zq::WriteDwordValue(reg, RegRoot::LocalMachine, kKey, "N", -2), 0);
    ASSERT_EQ(reg.written.size(), 2u);
    EXPECT_EQ(reg.written[0].second.type, zq::kRegSz);
    EXPECT_EQ(reg.written[0].second.data, std::string("C:\\x\0", 5));
    EXPECT_EQ(reg.written[1].second.type, zq::kRegDword);
    EXPECT_EQ(reg.written[1].second.data, std::string("\xfe\xff\xff\xff", 4));
    reg.setStatus = 5;
    EXPECT_EQ(zq::WriteStringValue(reg, RegRoot::LocalMachine, kKey, "Path", "y"), 5);
    EXPECT_EQ(reg.open, 0);
    EXPECT_TRUE(zq::KeyExists(reg, RegRoot::LocalMachine, kKey));
    EXPECT_FALSE(zq::KeyExists(reg, RegRoot::LocalMachine, "Software\\Fehlt"));
    EXPECT_EQ(reg.open, 0);
}

TEST(RegistryAccess, EnumerationStopsAtTheFirstFailure) {
    FakeRegistry reg;
    const std::string parent = FakeRegistry::Name(RegRoot::CurrentUser, "Locations");
    reg.keys[parent];
    reg.subkeys[parent] = {"Location0", "Location1", "Location2"};
    int calls = 0;
    EXPECT_EQ(zq::EnumerateSubkeys(reg, RegRoot::CurrentUser, "Locations", &calls), reg.subkeys[parent]);
    EXPECT_EQ(calls, 4);
    reg.enumFailure = 234;
    EXPECT_EQ(zq::EnumerateSubkeys(reg, RegRoot::CurrentUser, "Locations", &calls).size(), 3u);
    EXPECT_EQ(calls, 4);
    EXPECT_TRUE(zq::EnumerateSubkeys(reg, RegRoot::CurrentUser, "Fehlt", &calls).empty());
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(reg.open, 0);
}

TEST(RegistryAccess, SettingsLiveInThePerUserTreeOfTheStore) {
    zqtest::MemoryRegistry store;
    const std::string app = "ZEQUORA - Datendatei Reorganisation";
    EXPECT_EQ(zq::SettingsKeyPath(app, "Settings"),
              "Software\\VB and VBA Program Settings\\ZEQUORA - Datendatei Reorganisation\\Settings");
    EXPECT_EQ(zq::GetSetting(store, app, "Settings", "01"), "");
    EXPECT_EQ(zq::GetSetting(store, app, "Settings", "01", "vorgabe"), "vorgabe");
    zq::SaveSetting(store, app, "Settings", "01", "/daten/zqdata.mdb");
    zq::SaveSetting(store, app, "Settings", "02", "");
    EXPECT_EQ(zq::GetSetting(store, app, "settings", "01", "vorgabe"), "/daten/zqdata.mdb");
    EXPECT_EQ(zq::GetSetting(store, app, "Settings", "02", "vorgabe"), "");
    EXPECT_EQ(zq::ReadStringValue(store, RegRoot::CurrentUser, zq::SettingsKeyPath(app, "Settings"), "01"),
              "/daten/zqdata.mdb");
    EXPECT_EQ(zq::ReadStringValue(store, RegRoot::LocalMachine, zq::SettingsKeyPath(app, "Settings"), "01"), "");
}

TEST(RegistryAccess, IniReadUsesTheSmallBufferAndCutsAtNul) {
    FakeProfile fake;
    fake.answer = std::string("wert  \0rest", 11);
    EXPECT_EQ(zq::IniRead(fake, "/p/zqm.ini", "Datenbasis", "Version"), "wert");
    EXPECT_EQ(fake.bufferSize, 250u);
    EXPECT_EQ(fake.defaultValue, "");
    fake.answer = std::string(400, 'a');
    EXPECT_EQ(zq::IniRead(fake, "/p/zqm.ini", "S", "K").size(), 249u);

    zqtest::MemoryFiles files;
    files.AddFolder("/p");
    zqtest::MemoryProfile ini(files);
    const std::string file = "/p/zqm.ini";
    zq::IniWrite(ini, file, "Update", "Pfad", std::string(248, 'p') + "xyz");
    zq::IniWrite(ini, file, "Datenbasis", "Version", "9.0\r\nBit=64");
    EXPECT_EQ(zq::IniRead(ini, file, "update", "PFAD"), std::string(248, 'p') + "x");
    // A value with a line break would add a key: it is not written at all.
    EXPECT_EQ(zq::IniRead(ini, file, "Datenbasis", "Version"), "");
    EXPECT_EQ(zq::IniRead(ini, file, "Datenbasis", "Bit"), "");
    // The cut counts characters: 249 umlauts come back whole.
    std::string umlauts;
    for (int i = 0; i < 260; ++i) umlauts += "ä";
    zq::IniWrite(ini, file, "Update", "Pfad", umlauts);
    EXPECT_EQ(zq::IniRead(ini, file, "Update", "Pfad").size(), 249u * 2);
    EXPECT_EQ(zq::IniRead(ini, file, "Datenbasis", "Pfad"), "");
    EXPECT_EQ(zq::IniRead(ini, "/p/fehlt.ini", "Datenbasis", "Version"), "");
}

TEST(RegistryAccess, TextHelpers) {
    EXPECT_EQ(zq::Trim("  a b \t"), "a b");
    EXPECT_EQ(zq::Trim("   "), "");
    EXPECT_EQ(zq::ToUpper("tbl\xC3\xA4\xC3\x9F"), "TBL\xC3\x84\xC3\x9F");
    EXPECT_TRUE(zq::EqualsNoCase("Datenbasis", "DATENBASIS"));
    EXPECT_FALSE(zq::EqualsNoCase("Daten", "Datenbasis"));
    EXPECT_TRUE(zq::IsNotSetMarker(" x "));
    EXPECT_TRUE(zq::IsNotSetMarker("X"));
    EXPECT_FALSE(zq::IsNotSetMarker("xx"));
    EXPECT_FALSE(zq::IsNotSetMarker(""));
}
