#include "platform/posix/RegistryStore.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/TestSupport.h"

using zq::RegHandle;
using zq::RegRoot;
using zq::posix::RegistryStore;

namespace {

std::string Sz(const std::string& text) { return text + '\0'; }

long Put(RegistryStore& store, RegRoot root, const std::string& path, const std::string& name,
         std::uint32_t type, const std::string& data) {
    RegHandle h = 0;
    long s = store.CreateKey(root, path, h);
    if (s != zq::kRegSuccess) return s;
    s = store.SetValue(h, name, type, data);
    store.CloseKey(h);
    return s;
}

// Status of the read; type and data through the out parameters.
long Get(RegistryStore& store, RegRoot root, const std::string& path, const std::string& name,
         std::uint32_t& type, std::string& data) {
    RegHandle h = 0;
    long s = store.OpenKey(root, path, h);
    if (s != zq::kRegSuccess) return s;
    s = store.QueryValue(h, name, type, data);
    store.CloseKey(h);
    return s;
}

std::vector<std::string> Children(RegistryStore& store, RegRoot root, const std::string& path) {
    std::vector<std::string> names;
    RegHandle h = 0;
    if (store.OpenKey(root, path, h) != zq::kRegSuccess) return {"<open failed>"};
    std::string name;
    std::uint32_t i = 0;
    long s;
    while ((s = store.EnumKey(h, i++, name)) == zq::kRegSuccess) names.push_back(name);
    EXPECT_EQ(s, zq::kRegNoMoreItems);
    store.CloseKey(h);
    return names;
}

std::string Utf16(const std::string& ascii) {
    std::string out("\xFF\xFE", 2);
    for (char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

}  // namespace

TEST(RegistryStore, ValuesSurviveInTheRegeditFormat) {
    zqtest::TempDir dir;
    const std::string path = "Software\\Zequora\\Test";
    {
        RegistryStore store(dir.Path());
        ASSERT_EQ(Put(store, RegRoot::CurrentUser, path, "Name", zq::kRegSz, Sz("C:\\Pfad \"x\"")), 0);
        ASSERT_EQ(Put(store, RegRoot::CurrentUser, path, "", zq::kRegSz, Sz("Standard")), 0);
        ASSERT_EQ(Put(store, RegRoot::CurrentUser, path, "Zahl", zq::kRegDword, std::string("\x2a\0\0\0", 4)), 0);
        ASSERT_EQ(Put(store, RegRoot::CurrentUser, path, "Zahl", zq::kRegDword, std::string("\x2b\0\0\0", 4)), 0);
    }
    std::string file = zqtest::ReadFile(dir / "HKEY_CURRENT_USER.reg");
    EXPECT_EQ(file,
              "Windows Registry Editor Version 5.00\r\n\r\n"
              "[HKEY_CURRENT_USER\\Software\\Zequora\\Test]\r\n"
              "\"Name\"=\"C:\\\\Pfad \\\"x\\\"\"\r\n"
              "@=\"Standard\"\r\n"
              "\"Zahl\"=dword:0000002b\r\n\r\n");
    EXPECT_FALSE(zqtest::FileExists(dir / "HKEY_LOCAL_MACHINE.reg"));

    RegistryStore fresh(dir.Path());
    std::uint32_t type = 0;
    std::string data;
    ASSERT_EQ(Get(fresh, RegRoot::CurrentUser, "SOFTWARE\\zequora\\test", "name", type, data), 0);
    EXPECT_EQ(type, zq::kRegSz);
    EXPECT_EQ(data, Sz("C:\\Pfad \"x\""));
    ASSERT_EQ(Get(fresh, RegRoot::CurrentUser, path, "", type, data), 0);
    EXPECT_EQ(data, Sz("Standard"));
    ASSERT_EQ(Get(fresh, RegRoot::CurrentUser, path, "Zahl", type, data), 0);
    EXPECT_EQ(type, zq::kRegDword);
    EXPECT_EQ(data, std::string("\x2b\0\0\0", 4));
    EXPECT_EQ(Get(fresh, RegRoot::CurrentUser, path, "Fehlt", type, data), zq::kRegNotFound);
    EXPECT_EQ(Get(fresh, RegRoot::LocalMachine, path, "Name", type, data), zq::kRegNotFound);
}

TEST(RegistryStore, TextsThatDoNotFitQuotesKeepEveryByte) {
    zqtest::TempDir dir;
    const std::vector<std::string> texts = {
        "ohne Abschluss", std::string("zwei\0Teile\0", 11), "Zeile 1\r\nZeile 2" + std::string(1, '\0'),
        std::string("Gr\xC3\xBC\xC3\x9F\xFF\x80 kaputt\0", 17), std::string(), std::string(100000, 'z') + '\0'};
    {
        RegistryStore store(dir.Path());
        for (std::size_t i = 0; i < texts.size(); ++i)
            ASSERT_EQ(Put(store, RegRoot::LocalMachine, "K", "v" + std::to_string(i), zq::kRegSz, texts[i]), 0);
    }
    RegistryStore fresh(dir.Path());
    for (std::size_t i = 0; i < texts.size(); ++i) {
        std::uint32_t type = 0;
        std::string data;
        ASSERT_EQ(Get(fresh, RegRoot::LocalMachine, "k", "V" + std::to_string(i), type, data), 0) << i;
        EXPECT_EQ(type, zq::kRegSz);
        EXPECT_EQ(data, texts[i]) << i;
    }
    for (const std::string& line : zqtest::CrLfLines(zqtest::ReadFile(dir / "HKEY_LOCAL_MACHINE.reg")))
        EXPECT_EQ(line.find('\n'), std::string::npos);
}

TEST(RegistryStore, ReadsWhatRegeditWrites) {
    const std::string body =
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "; exported\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Office\\16.0\\Access\\InstallRoot]\r\n"
        "\"Path\"=\"C:\\\\Program Files\\\\Office16\\\\\"\r\n"
        "\"Wide\"=hex(1):41,00,42,00,00,00\r\n"
        "\"Expand\"=hex(2):25,00,54,00,45,00,4d,00,50,00,25,00,\\\r\n"
        "  00,00\r\n"
        "\"Bits\"=hex:01,02\r\n"
        "\"Count\"=dword:ffffffff\r\n\r\n";
    for (const std::string& content : {Utf16(body), body, std::string("\xEF\xBB\xBF") + body}) {
        zqtest::TempDir dir;
        zqtest::WriteFile(dir / "HKEY_LOCAL_MACHINE.reg", content);
        RegistryStore store(dir.Path());
        const std::string key = "Software\\Microsoft\\Office\\16.0\\Access\\InstallRoot";
        std::uint32_t type = 0;
        std::string data;
        ASSERT_EQ(Get(store, RegRoot::LocalMachine, key, "path", type, data), 0) << store.LastError();
        EXPECT_EQ(data, Sz("C:\\Program Files\\Office16\\"));
        ASSERT_EQ(Get(store, RegRoot::LocalMachine, key, "Wide", type, data), 0);
        EXPECT_EQ(type, zq::kRegSz);
        EXPECT_EQ(data, Sz("AB"));
        ASSERT_EQ(Get(store, RegRoot::LocalMachine, key, "Expand", type, data), 0);
        EXPECT_EQ(type, 2u);
        EXPECT_EQ(data.size(), 14u);
        ASSERT_EQ(Get(store, RegRoot::LocalMachine, key, "Count", type, data), 0);
        EXPECT_EQ(data, std::string(4, '\xff'));
        EXPECT_EQ(Children(store, RegRoot::LocalMachine, "software\\MICROSOFT\\office"),
                  std::vector<std::string>{"16.0"});

        // A write keeps the other types and the comment.
        ASSERT_EQ(Put(store, RegRoot::LocalMachine, key, "Neu", zq::kRegSz, Sz("n")), 0);
        RegistryStore again(dir.Path());
        ASSERT_EQ(Get(again, RegRoot::LocalMachine, key, "Expand", type, data), 0);
        EXPECT_EQ(type, 2u);
        EXPECT_EQ(data, std::string("%\0T\0E\0M\0P\0%\0\0\0", 14));
        ASSERT_EQ(Get(again, RegRoot::LocalMachine, key, "Bits", type, data), 0);
        EXPECT_EQ(data, "\x01\x02");
        EXPECT_NE(zqtest::ReadFile(dir / "HKEY_LOCAL_MACHINE.reg").find("; exported\r\n"), std::string::npos);
    }
}

TEST(RegistryStore, DamagedFileIsReportedAndLeftAlone) {
    const std::string header = "Windows Registry Editor Version 5.00\r\n";
    std::string garbage;
    for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 7919) % 256);
    const std::vector<std::string> damaged = {
        "Ein Text ohne Kopfzeile\r\n",
        header + "[HKEY_LOCAL_MACHINE\\A]\r\n\"x\"=\"offen\r\n",
        header + "[HKEY_LOCAL_MACHINE\\A]\r\n\"x\"=dword:123456789\r\n",
        header + "[HKEY_LOCAL_MACHINE\\A]\r\n\"x\"=\"a\\qb\"\r\n",
        header + "\"x\"=\"vor dem Schluessel\"\r\n",
        header + "[-HKEY_LOCAL_MACHINE\\A]\r\n",
        header + "[HKEY_CURRENT_USER\\A]\r\n",
        header + "[HKEY_LOCAL_MACHINE\\A\r\n",
        header + "[HKEY_LOCAL_MACHINE\\A]\r\n" + std::string(100000, 'q') + "\r\n",
        header + garbage,
        garbage,
        Utf16(header) + "x",
    };
    for (std::size_t i = 0; i < damaged.size(); ++i) {
        zqtest::TempDir dir;
        const std::string file = dir / "HKEY_LOCAL_MACHINE.reg";
        zqtest::WriteFile(file, damaged[i]);
        RegistryStore store(dir.Path());
        RegHandle h = 0;
        EXPECT_EQ(store.OpenKey(RegRoot::LocalMachine, "A", h), zq::kRegFailure) << i;
        EXPECT_EQ(store.CreateKey(RegRoot::LocalMachine, "B", h), zq::kRegFailure) << i;
        EXPECT_NE(store.LastError().find("damaged"), std::string::npos) << i;
        EXPECT_EQ(zqtest::ReadFile(file), damaged[i]) << i;
        // The other root is not affected.
        EXPECT_EQ(store.CreateKey(RegRoot::CurrentUser, "B", h), 0) << i;
        store.CloseKey(h);
    }
}

TEST(RegistryStore, SubkeysComeInOrderOfCreation) {
    zqtest::TempDir dir;
    RegistryStore store(dir.Path());
    RegHandle h = 0;
    for (const char* name : {"P\\Zeta", "P\\alpha", "P\\Mitte\\Tief", "p\\ALPHA", "P\\Beta"}) {
        ASSERT_EQ(store.CreateKey(RegRoot::LocalMachine, name, h), 0);
        store.CloseKey(h);
    }
    const std::vector<std::string> expected = {"Zeta", "alpha", "Mitte", "Beta"};
    EXPECT_EQ(Children(store, RegRoot::LocalMachine, "P"), expected);
    RegistryStore other(dir.Path());
    EXPECT_EQ(Children(other, RegRoot::LocalMachine, "p"), expected);
    EXPECT_EQ(Children(other, RegRoot::LocalMachine, ""), std::vector<std::string>{"P"});
    EXPECT_TRUE(Children(other, RegRoot::LocalMachine, "P\\Beta").empty());
}

TEST(RegistryStore, HandlesAndArgumentsAreChecked) {
    zqtest::TempDir dir;
    RegistryStore store(dir.Path());
    RegHandle h = 0;
    std::uint32_t type = 0;
    std::string data, name;
    EXPECT_EQ(store.OpenKey(RegRoot::LocalMachine, "Fehlt", h), zq::kRegNotFound);
    EXPECT_EQ(store.QueryValue(12345, "x", type, data), zq::kRegFailure);
    EXPECT_EQ(store.EnumKey(12345, 0, name), zq::kRegFailure);
    EXPECT_EQ(store.CloseKey(12345), zq::kRegFailure);
    EXPECT_EQ(store.CreateKey(RegRoot::LocalMachine, "A\\\\B", h), zq::kRegFailure);
    EXPECT_EQ(store.CreateKey(RegRoot::LocalMachine, "A\nB", h), zq::kRegFailure);
    EXPECT_EQ(store.CreateKey(RegRoot::LocalMachine, std::string(256, 'k'), h), zq::kRegFailure);

    ASSERT_EQ(store.CreateKey(RegRoot::LocalMachine, "A", h), 0);
    EXPECT_EQ(store.SetValue(h, "bin", 3, "xy"), zq::kRegFailure);
    EXPECT_EQ(store.SetValue(h, "d", zq::kRegDword, "123"), zq::kRegFailure);
    EXPECT_EQ(store.SetValue(h, "a\r\nb", zq::kRegSz, Sz("x")), zq::kRegFailure);
    EXPECT_EQ(store.SetValue(h, "gross", zq::kRegSz, std::string(2u << 20, 'x')), zq::kRegFailure);
    EXPECT_EQ(store.CloseKey(h), 0);
    EXPECT_EQ(store.CloseKey(h), zq::kRegFailure);

    ASSERT_EQ(store.OpenKey(RegRoot::LocalMachine, "\\a\\", h), 0);
    EXPECT_NE(store.SetValue(h, "x", zq::kRegSz, Sz("y")), zq::kRegSuccess);
    EXPECT_EQ(store.QueryValue(h, "x", type, data), zq::kRegNotFound);
    store.CloseKey(h);
}

TEST(RegistryStore, SeesWritesOfAnotherInstanceAtOnce) {
    zqtest::TempDir dir;
    RegistryStore reader(dir.Path()), writer(dir.Path());
    std::uint32_t type = 0;
    std::string data;
    ASSERT_EQ(Put(writer, RegRoot::CurrentUser, "K", "v", zq::kRegSz, Sz("1")), 0);
    ASSERT_EQ(Get(reader, RegRoot::CurrentUser, "K", "v", type, data), 0);
    EXPECT_EQ(data, Sz("1"));
    ASSERT_EQ(Put(writer, RegRoot::CurrentUser, "K", "v", zq::kRegSz, Sz("2")), 0);
    ASSERT_EQ(Get(reader, RegRoot::CurrentUser, "K", "v", type, data), 0);
    EXPECT_EQ(data, Sz("2"));
}

TEST(RegistryStore, ConcurrentWriterProcessesLoseNothing) {
    zqtest::TempDir dir;
    constexpr int kWriters = 2, kKeys = 60;
    std::vector<pid_t> pids;
    for (int w = 0; w < kWriters; ++w) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            RegistryStore store(dir.Path());
            int failures = 0;
            for (int k = 0; k < kKeys; ++k) {
                std::string id = std::to_string(w) + "_" + std::to_string(k);
                failures += Put(store, RegRoot::CurrentUser, "Shared\\W" + id, "v", zq::kRegSz, Sz(id)) != 0;
                failures += Put(store, RegRoot::CurrentUser, "Shared", "n" + id, zq::kRegSz, Sz(id)) != 0;
            }
            _exit(failures == 0 ? 0 : 1);
        }
        pids.push_back(pid);
    }
    for (pid_t pid : pids)
        EXPECT_TRUE(zqtest::WaitForChildSuccess(pid, 60000)) << "writer failed or did not finish";
    RegistryStore store(dir.Path());
    EXPECT_EQ(Children(store, RegRoot::CurrentUser, "Shared").size(), static_cast<std::size_t>(kWriters * kKeys));
    for (int w = 0; w < kWriters; ++w) {
        for (int k = 0; k < kKeys; ++k) {
            std::string id = std::to_string(w) + "_" + std::to_string(k);
            std::uint32_t type = 0;
            std::string data;
            EXPECT_EQ(Get(store, RegRoot::CurrentUser, "Shared\\W" + id, "v", type, data), 0) << id;
            EXPECT_EQ(Get(store, RegRoot::CurrentUser, "Shared", "n" + id, type, data), 0) << id;
            EXPECT_EQ(data, Sz(id));
        }
    }
}
