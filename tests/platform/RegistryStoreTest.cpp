#include "platform/posix/RegistryStore.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix/StoreText.h"
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
        // ... and the file keeps its encoding.
        const std::string raw = zqtest::ReadFile(dir / "HKEY_LOCAL_MACHINE.reg");
        zq::posix::TextForm form;
        std::string text;
        ASSERT_TRUE(zq::posix::DecodeText(raw, form, text));
        EXPECT_EQ(raw.substr(0, 2), content.substr(0, 2));
        EXPECT_NE(text.find("; exported\r\n"), std::string::npos);
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

TEST(RegistryStore, AKilledWritersTemporaryGoesWithTheNextWrite) {
    zqtest::TempDir dir;
    RegistryStore store(dir.Path());
    ASSERT_EQ(Put(store, RegRoot::CurrentUser, "K", "v", zq::kRegSz, Sz("1")), 0);
    const std::string file = dir / "HKEY_CURRENT_USER.reg";
    ASSERT_TRUE(zqtest::FileExists(file));
    zqtest::WriteFile(file + ".tmp-Ab12Cd", "half written");
    zqtest::WriteFile(file + ".tmp-keep", "not of mkstemp");
    ASSERT_EQ(Put(store, RegRoot::CurrentUser, "K", "v", zq::kRegSz, Sz("2")), 0);
    EXPECT_FALSE(zqtest::FileExists(file + ".tmp-Ab12Cd"));
    EXPECT_TRUE(zqtest::FileExists(file + ".tmp-keep"));
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

namespace {

// UTF-16LE with a byte-order mark from code units, lone surrogates included.
std::string Utf16Units(const std::u16string& units) {
    std::string out("\xFF\xFE", 2);
    for (char16_t u : units) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>(u >> 8);
    }
    return out;
}

struct Query {
    long status;
    std::uint32_t type;
    std::string data;
    bool operator==(const Query&) const = default;
};

void PrintTo(const Query& q, std::ostream* os) {
    *os << "{" << q.status << ", " << q.type << ", " << ::testing::PrintToString(q.data) << "}";
}

Query Ask(RegistryStore& store, RegRoot root, const std::string& path, const std::string& name) {
    Query q{0, 0, {}};
    q.status = Get(store, root, path, name, q.type, q.data);
    return q;
}

}  // namespace

TEST(RegistryStore, NamesWithLineBreaksAndNulsAreWrittenBackReadable) {
    zqtest::TempDir dir;
    const std::string file = dir / "HKEY_LOCAL_MACHINE.reg";
    zqtest::WriteFile(file,
                      "Windows Registry Editor Version 5.00\r\n\r\n"
                      "[HKEY_LOCAL_MACHINE\\K]\r\n"
                      "\"Zeile\\nZwei\"=\"1\"\r\n"
                      "\"Wagen\\rR\\0Null\"=\"2\"\r\n");
    const std::string lineBreak = "Zeile\nZwei", rest = std::string("Wagen\rR\0Null", 12);
    {
        RegistryStore store(dir.Path());
        ASSERT_EQ(Ask(store, RegRoot::LocalMachine, "K", lineBreak), (Query{0, zq::kRegSz, Sz("1")}));
        ASSERT_EQ(Put(store, RegRoot::LocalMachine, "K", "anders", zq::kRegSz, Sz("3")), 0) << store.LastError();
    }
    RegistryStore fresh(dir.Path());
    EXPECT_EQ(Ask(fresh, RegRoot::LocalMachine, "K", lineBreak), (Query{0, zq::kRegSz, Sz("1")})) << fresh.LastError();
    EXPECT_EQ(Ask(fresh, RegRoot::LocalMachine, "K", rest), (Query{0, zq::kRegSz, Sz("2")}));
    EXPECT_EQ(Ask(fresh, RegRoot::LocalMachine, "K", "anders"), (Query{0, zq::kRegSz, Sz("3")}));
    EXPECT_EQ(Put(fresh, RegRoot::LocalMachine, "K", "weiter", zq::kRegSz, Sz("4")), 0) << fresh.LastError();
    for (const std::string& line : zqtest::CrLfLines(zqtest::ReadFile(file)))
        EXPECT_EQ(line.find_first_of(std::string("\r\n\0", 3)), std::string::npos) << line;
}

TEST(RegistryStore, EveryByteInNamesAndTextsComesBack) {
    zqtest::TempDir dir;
    // Sixteen bytes to a name and a text, with quotes and backslashes between them.
    auto name = [](int group) {
        std::string n = "n" + std::to_string(group);
        for (int b = group * 16; b < group * 16 + 16; ++b)
            if (b != '\r' && b != '\n' && b != 0) n += static_cast<char>(b);
        return n;
    };
    auto text = [](int group) {
        std::string t;
        for (int b = group * 16; b < group * 16 + 16; ++b) t += std::string(1, static_cast<char>(b)) + "\\\"";
        return t + '\0';
    };
    {
        RegistryStore store(dir.Path());
        for (int g = 0; g < 16; ++g) {
            ASSERT_EQ(Put(store, RegRoot::CurrentUser, "Namen", name(g), zq::kRegSz, Sz("v")), 0) << g;
            ASSERT_EQ(Put(store, RegRoot::CurrentUser, "Texte", "t" + std::to_string(g), zq::kRegSz, text(g)), 0) << g;
        }
    }
    RegistryStore fresh(dir.Path());
    for (int g = 0; g < 16; ++g) {
        EXPECT_EQ(Ask(fresh, RegRoot::CurrentUser, "Namen", name(g)), (Query{0, zq::kRegSz, Sz("v")})) << g;
        EXPECT_EQ(Ask(fresh, RegRoot::CurrentUser, "Texte", "t" + std::to_string(g)), (Query{0, zq::kRegSz, text(g)})) << g;
    }
}

TEST(RegistryStore, UnchangedTextOfAUtf16StoreKeepsEveryCodeUnit) {
    zqtest::TempDir dir;
    const std::string file = dir / "HKEY_CURRENT_USER.reg";
    // Unpaired surrogates as another program may leave them: in a text, two that would
    // make a letter if taken as bytes, in a name, in a text kept as hex, in a comment.
    const std::u16string before =
        u"Windows Registry Editor Version 5.00\r\n\r\n"
        u"[HKEY_CURRENT_USER\\A]\r\n"
        u"\"Hoch\"=\"x\xD800y\"\r\n"
        u"\"Tief\"=\"\xDCC3\xDCA4\"\r\n"
        u"\"\xDC00Name\"=\"n\"\r\n"
        u"\"Hex\"=hex(1):00,d8,0d,00,0a,00\r\n"
        u"; Anmerkung \xDFFF\r\n"
        u"\r\n";
    zqtest::WriteFile(file, Utf16Units(before));
    std::vector<Query> read;
    {
        RegistryStore store(dir.Path());
        for (const char* name : {"Hoch", "Tief", "Hex"}) read.push_back(Ask(store, RegRoot::CurrentUser, "A", name));
        for (const Query& q : read) ASSERT_EQ(q.status, 0) << store.LastError();
        ASSERT_EQ(Put(store, RegRoot::CurrentUser, "B", "neu", zq::kRegSz, Sz("1")), 0) << store.LastError();
    }
    EXPECT_EQ(zqtest::ReadFile(file), Utf16Units(before + u"[HKEY_CURRENT_USER\\B]\r\n\"neu\"=\"1\"\r\n\r\n"));
    RegistryStore fresh(dir.Path());
    std::vector<Query> again;
    for (const char* name : {"Hoch", "Tief", "Hex"}) again.push_back(Ask(fresh, RegRoot::CurrentUser, "A", name));
    EXPECT_EQ(again, read);
    EXPECT_NE(read[1].data, Sz("\xC3\xA4"));  // two lone surrogates, not a letter
}

TEST(RegistryStore, AUtf8FileWithByteOrderMarkKeepsIt) {
    zqtest::TempDir dir;
    const std::string file = dir / "HKEY_CURRENT_USER.reg";
    const std::string body = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\A]\r\n\"x\"=\"\xC3\xA4\"\r\n\r\n";
    zqtest::WriteFile(file, "\xEF\xBB\xBF" + body);
    RegistryStore store(dir.Path());
    ASSERT_EQ(Put(store, RegRoot::CurrentUser, "A", "y", zq::kRegSz, Sz("1")), 0);
    EXPECT_EQ(zqtest::ReadFile(file), "\xEF\xBB\xBF" + body.substr(0, body.size() - 2) + "\"y\"=\"1\"\r\n\r\n");
}

// Store files put together at random from the pieces of the format and the characters that
// need care (quotes, backslashes, escapes, line breaks, NULs, bytes that are not UTF-8,
// unpaired surrogates), as UTF-8 and as UTF-16. Whatever the store reads, a write keeps
// readable: every value asked for before reads the same afterwards.
TEST(RegistryStore, EveryFileItReadsStaysReadableAfterAWrite) {
    std::mt19937 rng(20261207);
    auto pick = [&](std::size_t n) { return static_cast<std::size_t>(rng() % n); };
    // Pieces that fit inside a quoted text, and pieces that may break a line.
    const std::vector<std::string> pieces = {
        "a", "Zq", " ", "\t", "\\\\", "\\\"", "\\n", "\\r", "\\0", "=", "@", "[", "]", ";", "\x01", "\x1f",
        "\x7f", "\xC3\xA4", "\xFF", "\xC3", "\xED\xA0\x80", "\xED\xB3\x83", "\xF0\x9F\x98\x80", "\r",
        "hex:", "dword:", ",", "0a", std::string(1, '\0')};
    const std::vector<std::string> breakers = {"\\", "\"", "\n", "\r\n", "\\\r\n  ", "[HKEY_LOCAL_MACHINE\\x]\r\n"};
    auto text = [&](std::size_t most) {
        std::string t;
        for (std::size_t k = pick(most + 1); k > 0; --k)
            t += pick(30) == 0 ? breakers[pick(breakers.size())] : pieces[pick(pieces.size())];
        return t;
    };
    auto plainText = [&](std::size_t most) {  // what a name needs to be asked for again
        std::string t;
        for (std::size_t k = pick(most) + 1; k > 0; --k) t += "aZ\xC3\xA4 .-"[pick(7)];
        return t;
    };
    int readable = 0;
    for (int round = 0; round < 200; ++round) {
        std::string body = "Windows Registry Editor Version 5.00\r\n\r\n";
        std::vector<std::pair<std::string, std::string>> asked;  // key path, value name
        for (std::size_t s = pick(3) + 1; s > 0; --s) {
            const std::string path = plainText(6) + (pick(3) == 0 ? "\\" + plainText(4) : "");
            body += "[HKEY_LOCAL_MACHINE\\" + path + "]\r\n";
            for (std::size_t v = pick(5); v > 0; --v) {
                if (pick(6) == 0) body += ";" + text(4) + "\r\n";
                std::string name = pick(4) == 0 ? text(4) : plainText(5);
                std::string quotedName;
                for (char c : name) quotedName += (c == '"' ? std::string("\\\"") : std::string(1, c));
                if (pick(8) == 0) {
                    asked.emplace_back(path, "");
                    body += "@=";
                } else {
                    asked.emplace_back(path, name);
                    body += "\"" + quotedName + "\"=";
                }
                switch (pick(4)) {
                case 0: body += "\"" + text(6) + "\""; break;
                case 1: body += "dword:" + std::to_string(rng() % 100000); break;
                case 2: {
                    const std::string types[] = {"hex:", "hex(1):", "hex(2):", "hex(7):"};
                    body += types[pick(4)];
                    for (std::size_t b = pick(9) * 2; b > 0; --b)
                        body += "0123456789abcdef"[pick(16)] + std::string(1, "0123456789abcdef"[pick(16)]) + (b > 1 ? "," : "");
                    break;
                }
                default: body += "\"" + plainText(8) + "\""; break;
                }
                body += "\r\n";
            }
            body += "\r\n";
        }
        if (pick(4) == 0) body.insert(pick(body.size() + 1), breakers[pick(breakers.size())]);
        for (bool wide : {false, true}) {
            zqtest::TempDir dir;
            const std::string file = dir / "HKEY_LOCAL_MACHINE.reg";
            zqtest::WriteFile(file, wide ? "\xFF\xFE" + zq::posix::Utf8ToUtf16Le(body) : body);
            RegistryStore store(dir.Path());
            RegHandle h = 0;
            if (store.OpenKey(RegRoot::LocalMachine, "", h) != zq::kRegSuccess) continue;  // damaged
            store.CloseKey(h);
            ++readable;
            std::vector<Query> before;
            for (const auto& [path, name] : asked) before.push_back(Ask(store, RegRoot::LocalMachine, path, name));
            ASSERT_EQ(Put(store, RegRoot::LocalMachine, "Fuzz\\Neu", "v", zq::kRegDword, std::string("\1\0\0\0", 4)), 0)
                << round << " " << wide << ": " << store.LastError() << "\n" << ::testing::PrintToString(body);
            RegistryStore fresh(dir.Path());
            for (std::size_t k = 0; k < asked.size(); ++k)
                ASSERT_EQ(Ask(fresh, RegRoot::LocalMachine, asked[k].first, asked[k].second), before[k])
                    << round << " " << wide << " " << k << ": " << fresh.LastError();
            ASSERT_EQ(Ask(fresh, RegRoot::LocalMachine, "Fuzz\\Neu", "v"), (Query{0, zq::kRegDword, std::string("\1\0\0\0", 4)}));
            EXPECT_EQ(zqtest::ReadFile(file).rfind("\xFF\xFE", 0) == 0, wide) << round;
        }
    }
    EXPECT_GT(readable, 200);  // most of the files are readable, so writes were tried
}

TEST(RegistryStore, ALockedRootKeepsOtherWritersOutUntilReleased) {
    zqtest::TempDir dir;
    RegistryStore store(dir.Path());
    ASSERT_EQ(Put(store, RegRoot::CurrentUser, "K", "v", zq::kRegSz, Sz("0")), 0);
    // The other writer is made before the lock is taken, so it does not share the lock's file.
    int go[2];
    ASSERT_EQ(pipe(go), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        close(go[1]);
        char c = 0;
        if (read(go[0], &c, 1) != 1) _exit(2);
        RegistryStore other(dir.Path());
        _exit(Put(other, RegRoot::CurrentUser, "K", "v", zq::kRegSz, Sz("anderer")) == 0 ? 0 : 1);
    }
    close(go[0]);
    std::unique_ptr<zq::RegLock> lock = store.LockRoot(RegRoot::CurrentUser);
    ASSERT_NE(lock, nullptr) << store.LastError();
    EXPECT_NE(store.LockRoot(RegRoot::CurrentUser), nullptr);  // held here already: no wait
    ASSERT_EQ(write(go[1], "x", 1), 1);
    close(go[1]);
    // The holder itself goes on writing, the other process waits.
    ASSERT_EQ(Put(store, RegRoot::CurrentUser, "K", "v", zq::kRegSz, Sz("1")), 0) << store.LastError();
    ASSERT_EQ(Put(store, RegRoot::LocalMachine, "K", "v", zq::kRegSz, Sz("1")), 0) << store.LastError();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(Ask(store, RegRoot::CurrentUser, "K", "v"), (Query{0, zq::kRegSz, Sz("1")}));
    lock.reset();
    EXPECT_TRUE(zqtest::WaitForChildSuccess(pid, 20000));
    EXPECT_EQ(Ask(store, RegRoot::CurrentUser, "K", "v"), (Query{0, zq::kRegSz, Sz("anderer")}));
}
