// The registry and profile-file adapters against the real Windows (Wine) registry and files.
#include <gtest/gtest.h>

#include "WinTestSupport.h"
#include "common/RegistryAccess.h"
#include "platform/win32/WinProfile.h"
#include "platform/win32/WinRegistry.h"

namespace {

using zq::RegRoot;
using zq::win32::Wide;

// A key of this test run under the given root and view, removed at the end.
class TestKey {
public:
    TestKey(HKEY root, const std::string& name, REGSAM view = 0)
        : root_(root), view_(view),
          path_("Software\\ZequoraTest\\" + name + std::to_string(GetCurrentProcessId())) {}
    ~TestKey() {
        RegDeleteKeyExW(root_, Wide(path_ + "\\Child").c_str(), view_, 0);
        RegDeleteKeyExW(root_, Wide(path_).c_str(), view_, 0);
    }
    const std::string& Path() const { return path_; }
    // Writes a value of any type directly, as another program might have.
    void Raw(const std::string& name, DWORD type, const void* data, DWORD size) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(root_, Wide(path_).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view_,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExW(key, Wide(name).c_str(), 0, type, static_cast<const BYTE*>(data), size),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }

private:
    HKEY root_;
    REGSAM view_;
    std::string path_;
};

TEST(WinRegistry, TextAndNumbersRoundTripThroughTheCommonWrappers) {
    TestKey k(HKEY_CURRENT_USER, "RoundTrip");
    zq::win32::WinRegistry reg;
    EXPECT_EQ(zq::WriteStringValue(reg, RegRoot::CurrentUser, k.Path(), "Path", "C:\\Daten\\Zürich\\"), 0);
    EXPECT_EQ(zq::WriteDwordValue(reg, RegRoot::CurrentUser, k.Path(), "AllowSubfolders", -1), 0);
    EXPECT_EQ(zq::ReadStringValue(reg, RegRoot::CurrentUser, k.Path(), "Path"), "C:\\Daten\\Zürich\\");
    EXPECT_EQ(zq::ReadStringValue(reg, RegRoot::CurrentUser, k.Path(), "AllowSubfolders"), "-1");

    zq::RegHandle h = 0;
    ASSERT_EQ(reg.OpenKey(RegRoot::CurrentUser, k.Path(), h), zq::kRegSuccess);
    std::uint32_t type = 0;
    std::string data;
    ASSERT_EQ(reg.QueryValue(h, "Path", type, data), zq::kRegSuccess);
    EXPECT_EQ(type, zq::kRegSz);
    EXPECT_EQ(data, std::string("C:\\Daten\\Zürich\\") + '\0') << "the stored NUL comes back";
    ASSERT_EQ(reg.QueryValue(h, "AllowSubfolders", type, data), zq::kRegSuccess);
    EXPECT_EQ(type, zq::kRegDword);
    EXPECT_EQ(data, std::string(4, '\xFF'));
    EXPECT_EQ(reg.QueryValue(h, "Missing", type, data), zq::kRegNotFound);
    EXPECT_EQ(reg.CloseKey(h), zq::kRegSuccess);
    EXPECT_NE(reg.CloseKey(h), zq::kRegSuccess) << "a closed handle is refused, not reused";
    EXPECT_NE(reg.QueryValue(h, "Path", type, data), zq::kRegSuccess);
}

TEST(WinRegistry, ValuesOfOtherTypesOrWithoutTerminatorAreReadAsStored) {
    TestKey k(HKEY_CURRENT_USER, "Types");
    const wchar_t noNul[] = L"abc";
    k.Raw("NoNul", REG_SZ, noNul, 3 * sizeof(wchar_t));
    const char odd[] = "x";
    k.Raw("Odd", REG_SZ, odd, 1);
    const wchar_t expand[] = L"%TEMP%\\x";
    k.Raw("Expand", REG_EXPAND_SZ, expand, sizeof expand);
    const BYTE binary[] = {1, 2, 3};
    k.Raw("Binary", REG_BINARY, binary, sizeof binary);
    k.Raw("ShortDword", REG_DWORD, binary, 2);

    zq::win32::WinRegistry reg;
    zq::RegHandle h = 0;
    ASSERT_EQ(reg.OpenKey(RegRoot::CurrentUser, k.Path(), h), zq::kRegSuccess);
    std::uint32_t type = 0;
    std::string data;
    ASSERT_EQ(reg.QueryValue(h, "NoNul", type, data), zq::kRegSuccess);
    // Windows gives the characters as stored; Wine adds the terminator the value lacks.
    EXPECT_TRUE(data == "abc" || data == std::string("abc\0", 4)) << data;
    ASSERT_EQ(reg.QueryValue(h, "Odd", type, data), zq::kRegSuccess);
    EXPECT_EQ(data, "") << "half a character is no character";
    reg.CloseKey(h);

    // The wrappers read only REG_SZ and REG_DWORD: anything else is a failed read, never a crash.
    EXPECT_EQ(zq::ReadStringValue(reg, RegRoot::CurrentUser, k.Path(), "Expand"), "");
    EXPECT_EQ(zq::ReadStringValue(reg, RegRoot::CurrentUser, k.Path(), "Binary"), "");
    EXPECT_EQ(zq::ReadStringValue(reg, RegRoot::CurrentUser, k.Path(), "ShortDword"), "");
}

TEST(WinRegistry, SubkeysAreEnumeratedUntilNoMoreItems) {
    TestKey k(HKEY_CURRENT_USER, "Enum");
    zq::win32::WinRegistry reg;
    ASSERT_EQ(zq::WriteStringValue(reg, RegRoot::CurrentUser, k.Path() + "\\Child", "Path", "x"), 0);
    int calls = 0;
    EXPECT_EQ(zq::EnumerateSubkeys(reg, RegRoot::CurrentUser, k.Path(), &calls),
              std::vector<std::string>{"Child"});
    EXPECT_EQ(calls, 2);
    zq::RegHandle h = 0;
    ASSERT_EQ(reg.OpenKey(RegRoot::CurrentUser, k.Path(), h), zq::kRegSuccess);
    std::string name;
    EXPECT_EQ(reg.EnumKey(h, 1, name), zq::kRegNoMoreItems);
    reg.CloseKey(h);
    EXPECT_FALSE(zq::KeyExists(reg, RegRoot::CurrentUser, k.Path() + "\\Nothing"));
}

TEST(WinRegistry, MachineKeysAreFoundInTheOtherViewToo) {
    // An Office of the other bitness registers its keys only in the view this program does
    // not see by default.
    const REGSAM other = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
    TestKey k(HKEY_LOCAL_MACHINE, "OtherView", other);
    const wchar_t folder[] = L"C:\\Office\\";
    k.Raw("Path", REG_SZ, folder, sizeof folder);

    zq::win32::WinRegistry reg;
    EXPECT_EQ(zq::ReadStringValue(reg, RegRoot::LocalMachine, k.Path(), "Path"), "C:\\Office\\");
    EXPECT_FALSE(zq::KeyExists(reg, RegRoot::CurrentUser, k.Path()));

    // The own view wins where both have the key.
    TestKey own(HKEY_LOCAL_MACHINE, "OtherView", 0);
    const wchar_t mine[] = L"C:\\Own\\";
    own.Raw("Path", REG_SZ, mine, sizeof mine);
    EXPECT_EQ(zq::ReadStringValue(reg, RegRoot::LocalMachine, k.Path(), "Path"), "C:\\Own\\");
}

TEST(WinProfile, ReadsAndWritesWithThePlatformsRules) {
    zqwin::TempDir dir;
    const std::string ini = dir / "zqm.ini";
    zq::win32::WinProfile profile;
    EXPECT_EQ(zq::IniRead(profile, ini, "Datenbasis", "Version"), "") << "missing file";
    EXPECT_TRUE(profile.WriteString("Datenbasis", "Version", "16.0", ini));
    EXPECT_TRUE(profile.WriteString("Datendatei", "Pfad", "H:\\Daten", ini));
    EXPECT_EQ(zq::IniRead(profile, ini, "DATENBASIS", "version"), "16.0");
    EXPECT_EQ(zq::IniRead(profile, ini, "Datendatei", "Pfad"), "H:\\Daten");

    profile.WriteString("Datendatei", "Lang", std::string(300, 'a'), ini);
    EXPECT_EQ(zq::IniRead(profile, ini, "Datendatei", "Lang"), std::string(249, 'a'));
    EXPECT_EQ(profile.GetString("Datendatei", "Pfad", "", 4, ini), "H:\\");

    EXPECT_FALSE(profile.WriteString("Datendatei", std::string("a\0b", 3), "x", ini))
        << "a key with a NUL would address another key";
    EXPECT_FALSE(profile.WriteString("S", "K", "V", dir / "missing\\zqm.ini"));
}

TEST(WinProfile, AFileInUtf16IsReadAsText) {
    zqwin::TempDir dir;
    const std::string ini = dir / "zqm.ini";
    const std::wstring text = L"\xFEFF[Datendatei]\r\nPfad=C:\\Zürich\\\r\n";
    zqwin::WriteBytes(ini, std::string(reinterpret_cast<const char*>(text.data()),
                                       text.size() * sizeof(wchar_t)));
    zq::win32::WinProfile profile;
    EXPECT_EQ(zq::IniRead(profile, ini, "Datendatei", "Pfad"), "C:\\Zürich\\");
    EXPECT_TRUE(profile.WriteString("Datendatei", "Netzwerk", "y", ini));
    EXPECT_EQ(zq::IniRead(profile, ini, "Datendatei", "Netzwerk"), "y");
    EXPECT_EQ(zq::IniRead(profile, ini, "Datendatei", "Pfad"), "C:\\Zürich\\");
}

// What an editor saves today: UTF-8, with or without its mark, beside the ANSI of old. Each
// reads as written and keeps its encoding when a value is written.
TEST(WinProfile, Utf8AndAnsiFilesReadAsWrittenAndKeepTheirEncoding) {
    zqwin::TempDir dir;
    zq::win32::WinProfile profile;
    const std::string ansi = dir / "ansi.ini", utf8 = dir / "utf8.ini", bom = dir / "bom.ini";
    zqwin::WriteBytes(ansi, "[Datendatei]\r\nPfad=D:\\B\xFCro\r\n");
    zqwin::WriteBytes(utf8, "[Datendatei]\r\nPfad=D:\\B\xC3\xBCro\r\n");
    zqwin::WriteBytes(bom, "\xEF\xBB\xBF[Datendatei]\r\nPfad=D:\\B\xC3\xBCro\r\n");
    for (const std::string& ini : {ansi, utf8, bom}) {
        EXPECT_EQ(zq::IniRead(profile, ini, "Datendatei", "Pfad"), "D:\\Büro") << ini;
        EXPECT_TRUE(profile.WriteString("Datendatei", "Ablage", "Größe", ini)) << ini;
        EXPECT_EQ(zq::IniRead(profile, ini, "datendatei", "ABLAGE"), "Größe") << ini;
        EXPECT_FALSE(profile.WriteString("Datendatei", "Pfad", "X\r\nNetzwerk=y", ini)) << ini;
        EXPECT_EQ(zq::IniRead(profile, ini, "Datendatei", "Netzwerk"), "") << ini;
    }
    EXPECT_EQ(zqwin::ReadBytes(utf8), "[Datendatei]\r\nPfad=D:\\B\xC3\xBCro\r\nAblage=Gr\xC3\xB6\xC3\x9F" "e\r\n");
    EXPECT_EQ(zqwin::ReadBytes(bom),
              "\xEF\xBB\xBF[Datendatei]\r\nPfad=D:\\B\xC3\xBCro\r\nAblage=Gr\xC3\xB6\xC3\x9F" "e\r\n");
    EXPECT_NE(zqwin::ReadBytes(ansi).find("Ablage=Gr\xF6\xDF" "e"), std::string::npos) << zqwin::ReadBytes(ansi);
}

}  // namespace
