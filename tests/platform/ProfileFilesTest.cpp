#include "platform/posix/ProfileFiles.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "support/TestSupport.h"

using zq::posix::ProfileFiles;

namespace {

std::string Get(ProfileFiles& ini, const std::string& file, const std::string& section,
                const std::string& key, const std::string& def = "-", std::size_t size = 250) {
    return ini.GetString(section, key, def, size, file);
}

}  // namespace

TEST(ProfileFiles, LineBreaksInAValueNeverAddKeys) {
    zqtest::TempDir dir;
    ProfileFiles ini;
    const std::string file = dir / "zqm.ini";
    zqtest::WriteFile(file, "[Datendatei]\r\nPfad=C:\\Daten\r\n");
    EXPECT_FALSE(ini.WriteString("Datendatei", "Pfad", "D:\\Neu\r\nNetzwerk=y", file));
    EXPECT_FALSE(ini.WriteString("Datendatei", "Pfad", "D:\\Neu\n", file));
    EXPECT_FALSE(ini.WriteString("Datendatei", "Pfad", std::string("D:\\Neu\0x", 9), file));
    EXPECT_EQ(zqtest::ReadFile(file), "[Datendatei]\r\nPfad=C:\\Daten\r\n");
}

// Files in the three encodings a Windows editor leaves: each read as what it holds, and
// written back in its own encoding.
TEST(ProfileFiles, AnsiUtf8AndUtf8WithMarkKeepTheirEncoding) {
    zqtest::TempDir dir;
    ProfileFiles ini;
    const std::string ansi = dir / "ansi.ini", utf8 = dir / "utf8.ini", bom = dir / "bom.ini";
    zqtest::WriteFile(ansi, "[Datendatei]\r\nPfad=D:\\B\xFCro\r\n");
    zqtest::WriteFile(utf8, "[Datendatei]\r\nPfad=D:\\Büro\r\n");
    zqtest::WriteFile(bom, "\xEF\xBB\xBF[Datendatei]\r\nPfad=D:\\Büro\r\n");
    for (const std::string& file : {ansi, utf8, bom}) {
        EXPECT_EQ(Get(ini, file, "Datendatei", "Pfad"), "D:\\Büro") << file;
        ASSERT_TRUE(ini.WriteString("Datendatei", "Ablage", "Größe", file));
        EXPECT_EQ(Get(ini, file, "Datendatei", "Ablage"), "Größe") << file;
    }
    EXPECT_EQ(zqtest::ReadFile(ansi), "[Datendatei]\r\nPfad=D:\\B\xFCro\r\nAblage=Gr\xF6\xDF" "e\r\n");
    EXPECT_EQ(zqtest::ReadFile(utf8), "[Datendatei]\r\nPfad=D:\\Büro\r\nAblage=Größe\r\n");
    EXPECT_EQ(zqtest::ReadFile(bom), "\xEF\xBB\xBF[Datendatei]\r\nPfad=D:\\Büro\r\nAblage=Größe\r\n");
}

TEST(ProfileFiles, KeysAreRewrittenInPlaceAndAddedAtTheEndOfTheirSection) {
    zqtest::TempDir dir;
    ProfileFiles ini;
    const std::string file = dir / "zqm.ini";
    zqtest::WriteFile(file, "; Kopf\n[Datenbasis]\nVersion = 16.0\nBit=32\n[Update]\nPfad=x");
    ASSERT_TRUE(ini.WriteString("datenbasis", "VERSION", "X", file));
    ASSERT_TRUE(ini.WriteString("Datenbasis", "Pfad", "C:\\Office", file));
    ASSERT_TRUE(ini.WriteString("Datendatei", "Netzwerk", "X", file));
    EXPECT_EQ(zqtest::ReadFile(file),
              "; Kopf\r\n[Datenbasis]\r\nVERSION=X\r\nBit=32\r\nPfad=C:\\Office\r\n[Update]\r\nPfad=x\r\n"
              "[Datendatei]\r\nNetzwerk=X\r\n");
    EXPECT_EQ(Get(ini, file, "UPDATE", "pfad"), "x");
    EXPECT_EQ(Get(ini, file, "Datenbasis", "Pfad"), "C:\\Office");
    // A write that changes nothing leaves the file as it is.
    auto before = std::filesystem::last_write_time(file);
    ASSERT_TRUE(ini.WriteString("Update", "Pfad", "x", file));
    EXPECT_EQ(std::filesystem::last_write_time(file), before);
}

TEST(ProfileFiles, ReadsTolerateWhatPeopleAndEditorsLeave) {
    zqtest::TempDir dir;
    ProfileFiles ini;
    const std::string file = dir / "a.ini";
    std::string garbage;
    for (int i = 0; i < 2000; ++i) garbage += static_cast<char>((i * 131) % 256);
    zqtest::WriteFile(file, "\xEF\xBB\xBF[S]\n" + garbage + "\n" + std::string(100000, 'L') +
                                "\n  key1  =  wert mit Blanks   \n"
                                "q=\"in Anfuehrung\"\n[ Andere ]\nkey2=2\n[S]\nkey2=nicht hier\n"
                                "lang=" + std::string(300, 'v'));
    EXPECT_EQ(Get(ini, file, "s", "KEY1"), "wert mit Blanks");
    EXPECT_EQ(Get(ini, file, "S", "q"), "in Anfuehrung");
    EXPECT_EQ(Get(ini, file, "andere", "key2"), "2");
    EXPECT_EQ(Get(ini, file, "S", "key2"), "-");  // only the first section of a name counts
    EXPECT_EQ(Get(ini, file, "Fehlt", "key1", "vorgabe   "), "vorgabe");
    EXPECT_EQ(Get(ini, file, "S", "key1", "", 5), "wert");
    EXPECT_EQ(Get(ini, file, "S", "key1", "", 0), "");
    EXPECT_EQ(Get(ini, dir / "fehlt.ini", "S", "key1"), "-");

    // A UTF-16 file written by an editor reads and stays UTF-16 when written.
    const std::string wide = dir / "wide.ini";
    std::string content("\xFF\xFE", 2);
    for (char c : std::string("[S]\r\nk=\xE4\r\n")) content += std::string{c, '\0'};
    zqtest::WriteFile(wide, content);
    EXPECT_EQ(Get(ini, wide, "S", "k"), "\xC3\xA4");
    ASSERT_TRUE(ini.WriteString("S", "neu", "1", wide));
    std::string expected("\xFF\xFE", 2);
    for (char c : std::string("[S]\r\nk=\xE4\r\nneu=1\r\n")) expected += std::string{c, '\0'};
    EXPECT_EQ(zqtest::ReadFile(wide), expected);
}

TEST(ProfileFiles, UnchangedLinesOfAUtf16FileKeepEveryCodeUnit) {
    zqtest::TempDir dir;
    ProfileFiles ini;
    const std::string file = dir / "wide.ini";
    // Unpaired surrogates, two of them a letter if taken as bytes.
    auto wide = [](const std::u16string& units) {
        std::string out("\xFF\xFE", 2);
        for (char16_t u : units) out += std::string{static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)};
        return out;
    };
    const std::u16string before = u"[S]\r\na=\xDCC3\xDCA4\r\nb=x\xD800y\r\n; \xDFFF\r\n";
    zqtest::WriteFile(file, wide(before));
    ASSERT_TRUE(ini.WriteString("S", "neu", "1", file));
    EXPECT_EQ(zqtest::ReadFile(file), wide(before + u"neu=1\r\n"));
    // A value the file could not give back as written (a lone surrogate's bytes followed by
    // a stray byte) is refused rather than stored changed.
    const std::string odd = std::string("\xED\xA0\x80") + "\xC3";
    EXPECT_FALSE(ini.WriteString("S", "odd", odd, file));
    EXPECT_EQ(zqtest::ReadFile(file), wide(before + u"neu=1\r\n"));
    ASSERT_TRUE(ini.WriteString("S", "ok", "\xC3\xA4", file));
    EXPECT_EQ(Get(ini, file, "S", "ok"), "\xC3\xA4");
}

TEST(ProfileFiles, WritesThatWouldBreakTheFileAreRefused) {
    zqtest::TempDir dir;
    ProfileFiles ini;
    const std::string file = dir / "b.ini";
    zqtest::WriteFile(file, "[S]\r\nk=1\r\n");
    EXPECT_FALSE(ini.WriteString("S]x", "k", "2", file));
    EXPECT_FALSE(ini.WriteString("S", "a=b", "2", file));
    EXPECT_FALSE(ini.WriteString("S", "a\r\nb", "2", file));
    EXPECT_FALSE(ini.WriteString("S", "", "2", file));
    EXPECT_EQ(zqtest::ReadFile(file), "[S]\r\nk=1\r\n");
    EXPECT_FALSE(ini.WriteString("S", "k", "2", dir / "fehlt/b.ini"));
    EXPECT_FALSE(zqtest::FileExists(dir / "fehlt"));
    EXPECT_FALSE(ini.WriteString("S", "k", "2", file + "/x.ini"));
    EXPECT_EQ(zqtest::ReadFile(file), "[S]\r\nk=1\r\n");
}

TEST(ProfileFiles, ReplacingKeepsLinkAndPermissions) {
    zqtest::TempDir dir;
    ProfileFiles ini;
    const std::string target = dir / "real.ini", link = dir / "link.ini";
    zqtest::WriteFile(target, "[S]\r\n");
    ASSERT_EQ(chmod(target.c_str(), 0640), 0);
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    ASSERT_TRUE(ini.WriteString("S", "k", "v", link));
    struct stat st {};
    ASSERT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(zqtest::ReadFile(target), "[S]\r\nk=v\r\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 2);

    // A link to a file not there yet gets the file where it points.
    ASSERT_EQ(symlink("later.ini", (dir / "dangling.ini").c_str()), 0);
    auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(ini.WriteString("S", "k", "v", dir / "dangling.ini"));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
    EXPECT_EQ(zqtest::ReadFile(dir / "later.ini"), "[S]\r\nk=v\r\n");
}

TEST(ProfileFiles, ReadOnlyFileIsNotReplaced) {
    // Root ignores the file mode, so the write runs as an unprivileged user in a child.
    zqtest::TempDir dir;
    ASSERT_EQ(chmod(dir.Path().c_str(), 0777), 0);
    const std::string file = dir / "ro.ini";
    zqtest::WriteFile(file, "[S]\r\nk=1\r\n");
    ASSERT_EQ(chmod(file.c_str(), 0444), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
        ProfileFiles ini;
        _exit(ini.WriteString("S", "k", "2", file) ? 1 : 0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 3) GTEST_SKIP() << "cannot switch to the unprivileged user";
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(zqtest::ReadFile(file), "[S]\r\nk=1\r\n");
}

TEST(ProfileFiles, ConcurrentWriterProcessesLoseNothing) {
    zqtest::TempDir dir;
    const std::string file = dir / "shared.ini";
    constexpr int kWriters = 2, kKeys = 60;
    std::vector<pid_t> pids;
    for (int w = 0; w < kWriters; ++w) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ProfileFiles ini;
            int failures = 0;
            for (int k = 0; k < kKeys; ++k) {
                std::string id = std::to_string(w) + "_" + std::to_string(k);
                failures += !ini.WriteString("Gemeinsam", "k" + id, id, file);
                failures += !ini.WriteString("W" + std::to_string(w), "k" + id, id, file);
            }
            _exit(failures == 0 ? 0 : 1);
        }
        pids.push_back(pid);
    }
    for (pid_t pid : pids)
        EXPECT_TRUE(zqtest::WaitForChildSuccess(pid, 60000)) << "writer failed or did not finish";
    ProfileFiles ini;
    for (int w = 0; w < kWriters; ++w) {
        for (int k = 0; k < kKeys; ++k) {
            std::string id = std::to_string(w) + "_" + std::to_string(k);
            EXPECT_EQ(Get(ini, file, "Gemeinsam", "k" + id), id);
            EXPECT_EQ(Get(ini, file, "W" + std::to_string(w), "k" + id), id);
        }
    }
    EXPECT_EQ(zqtest::CrLfLines(zqtest::ReadFile(file)).size(), static_cast<std::size_t>(kWriters * kKeys * 2 + 3));
}

TEST(ProfileFiles, TemporariesOfKilledWritersAreRemovedUnderTheFilesLock) {
    zqtest::TempDir dir;
    ProfileFiles ini;
    const std::string file = dir / "zqr.ini";
    ASSERT_TRUE(ini.WriteString("Global", "warten", "0", file));
    // A writer killed while writing its temporary (the file size limit ends it like a kill).
    pid_t pid = fork();
    if (pid == 0) {
        struct rlimit limit {4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        ProfileFiles writer;
        writer.WriteString("Global", "tabcode", std::string(100000, 't'), file);
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    auto temporaries = [&] {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir.Path()))
            if (e.path().filename().string().rfind("zqr.ini.tmp-", 0) == 0) names.push_back(e.path().filename());
        return names;
    };
    ASSERT_EQ(temporaries().size(), 1u);
    zqtest::WriteFile(dir / "zqr.ini.tmp-keep", "not of mkstemp");
    zqtest::WriteFile(dir / "zqm.ini.tmp-Ab12Cd", "of another file");

    // While a writer holds the file, nothing is taken.
    int held = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    ini.RemoveLeftovers(file);
    EXPECT_EQ(temporaries().size(), 2u);
    ::close(held);

    ini.RemoveLeftovers(file);
    EXPECT_EQ(temporaries(), std::vector<std::string>{"zqr.ini.tmp-keep"});
    EXPECT_TRUE(zqtest::FileExists(dir / "zqm.ini.tmp-Ab12Cd"));
    EXPECT_EQ(Get(ini, file, "Global", "warten"), "0");
    EXPECT_EQ(Get(ini, file, "Global", "tabcode"), "-");
}
