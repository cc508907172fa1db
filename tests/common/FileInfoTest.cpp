// Reading the file version from PE files made in the test, damaged ones included, and the
// file facts of the reorganiser.
#include <gtest/gtest.h>

#include <random>

#include "common/FileInfo.h"
#include "support/MemoryFiles.h"
#include "support/PeFixture.h"

namespace {

// A file in memory that notes every read reaching beyond its end.
class MemoryFile : public zq::IReadFile {
public:
    explicit MemoryFile(std::string bytes) : bytes_(std::move(bytes)) {}
    std::uint64_t Size() const override { return bytes_.size(); }
    std::string ReadAt(std::uint64_t offset, std::size_t size) override {
        if (offset > bytes_.size() || size > bytes_.size() - offset) ++outside;
        if (offset >= bytes_.size()) return {};
        return bytes_.substr(static_cast<std::size_t>(offset), size);
    }
    int outside = 0;

private:
    std::string bytes_;
};

std::optional<std::string> VersionOf(const std::string& bytes) {
    MemoryFile f(bytes);
    auto v = zq::ReadPeFileVersion(f);
    EXPECT_EQ(f.outside, 0);
    return v ? std::optional<std::string>(v->Text()) : std::nullopt;
}

bool Complete(const std::string& bytes) {
    MemoryFile f(bytes);
    bool complete = zq::IsCompletePeFile(f);
    EXPECT_EQ(f.outside, 0);
    return complete;
}

class RecordingDialogs : public zq::IDialogs {
public:
    std::vector<std::string> texts, titles;
    std::vector<zq::MsgIcon> icons;
    zq::MsgResult ShowMessage(const std::string& text, const std::string& title, zq::MsgIcon icon,
                             zq::MsgButtons buttons, int) override {
        EXPECT_EQ(buttons, zq::MsgButtons::Ok);
        texts.push_back(text);
        titles.push_back(title);
        icons.push_back(icon);
        return zq::MsgResult::Ok;
    }
    std::optional<std::string> OpenFile(const std::string&, const std::string&, const std::string&,
                                        const std::string&) override {
        return std::nullopt;
    }
};

TEST(PeVersion, FixedPartGivesFourUnsignedNumbers) {
    EXPECT_EQ(VersionOf(zqtest::MakePeWithVersion(16, 0, 40000, 1)), "16.0.40000.1");
    EXPECT_EQ(VersionOf(zqtest::MakePeWithVersion(65535, 65534, 0, 65533)), "65535.65534.0.65533");
    zqtest::PeOptions o;
    o.pe32Plus = true;
    o.version[0] = 4;
    o.version[1] = 1;
    o.version[2] = 23;
    o.version[3] = 7;
    EXPECT_EQ(VersionOf(zqtest::MakePe(o)), "4.1.23.7");
    EXPECT_TRUE(Complete(zqtest::MakePe(o)));
    o.paddedKey = true;  // the signature is searched for, not assumed at one place
    EXPECT_EQ(VersionOf(zqtest::MakePe(o)), "4.1.23.7");
    o.overlay = std::string(10000, '\x5A');  // installers carry their payload behind the image
    EXPECT_EQ(VersionOf(zqtest::MakePe(o)), "4.1.23.7");
    EXPECT_TRUE(Complete(zqtest::MakePe(o)));
}

TEST(PeVersion, NoVersionResourceOrABrokenOne) {
    EXPECT_EQ(VersionOf(zqtest::MakePeWithoutVersion()), std::nullopt);
    EXPECT_TRUE(Complete(zqtest::MakePeWithoutVersion()));

    zqtest::PeOptions outside;
    outside.dataOutsideFile = true;
    EXPECT_EQ(VersionOf(zqtest::MakePe(outside)), std::nullopt);
    EXPECT_TRUE(Complete(zqtest::MakePe(outside)));

    zqtest::PeOptions looping;
    looping.loopingTree = true;
    EXPECT_EQ(VersionOf(zqtest::MakePe(looping)), std::nullopt);

    zqtest::PeOptions noFixed;
    noFixed.noFixedInfo = true;
    EXPECT_EQ(VersionOf(zqtest::MakePe(noFixed)), std::nullopt);
}

TEST(PeVersion, TruncatedFilesAreIncompleteAndNeverReadOutside) {
    std::string full = zqtest::MakePeWithVersion(2, 3, 4, 5);
    ASSERT_TRUE(Complete(full));
    for (std::size_t len = 0; len < full.size(); len += 7) {
        std::string cut = full.substr(0, len);
        EXPECT_FALSE(Complete(cut)) << len;
        EXPECT_EQ(VersionOf(cut), std::nullopt) << len;
    }
    // Cut inside the resource section: the headers are fine, the data is not there.
    std::string cut = full.substr(0, zqtest::PeResourceOffset() + 0x20);
    EXPECT_FALSE(Complete(cut));
}

TEST(PeVersion, GarbageIsNoPeFile) {
    for (std::string junk : {std::string(), std::string("MZ"),
                             std::string("<html><body>404 Not Found</body></html>"),
                             std::string(4096, '\0'), std::string(300, '\xFF')}) {
        EXPECT_FALSE(Complete(junk));
        EXPECT_EQ(VersionOf(junk), std::nullopt);
    }
    std::string farHeader = zqtest::MakePeWithVersion(1, 2, 3, 4);
    for (int k = 0; k < 4; ++k) farHeader[0x3C + k] = '\xF0';
    EXPECT_FALSE(Complete(farHeader));
    EXPECT_EQ(VersionOf(farHeader), std::nullopt);

    std::string manySections = zqtest::MakePeWithVersion(1, 2, 3, 4);
    manySections[0x46] = '\xFF';
    manySections[0x47] = '\xFF';
    EXPECT_FALSE(Complete(manySections));
}

TEST(PeVersion, RandomDamageNeverReadsOutsideTheFile) {
    std::string good = zqtest::MakePeWithVersion(16, 0, 17328, 20000);
    std::mt19937 rng(4711);
    std::uniform_int_distribution<std::size_t> at(0, good.size() - 1);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 400; ++round) {
        std::string bad = good;
        for (int k = 0; k < 6; ++k) {
            std::size_t pos = round % 2 ? at(rng) : zqtest::PeResourceOffset() + at(rng) % 0xB8;
            bad[pos] = static_cast<char>(byte(rng));
        }
        MemoryFile f(bad);
        auto v = zq::ReadPeFileVersion(f);
        zq::IsCompletePeFile(f);
        EXPECT_EQ(f.outside, 0) << round;
        (void)v;
    }
}

TEST(FileVersionText, FromFiles) {
    zqtest::MemoryFiles files;
    files.Put("/d/zqmupd.exe", zqtest::MakePeWithVersion(4, 1, 40000, 3));
    files.Put("/d/plain.exe", zqtest::MakePeWithoutVersion());
    files.Put("/d/page.exe", "<html></html>");
    EXPECT_EQ(zq::FileVersionText(files, "/d/zqmupd.exe"), "4.1.40000.3");
    EXPECT_EQ(zq::FileVersionText(files, "/d/plain.exe"), "0.0.0.0");
    EXPECT_EQ(zq::FileVersionText(files, "/d/page.exe"), "0.0.0.0");
    EXPECT_EQ(zq::FileVersionText(files, "/d/missing.exe"), "0.0.0.0");
}

TEST(FileFacts, MissingFileShowsTheMessageAndGivesEmptyTimes) {
    zqtest::MemoryFiles files;
    files.AddFolder("/d");
    RecordingDialogs dialogs;
    zq::FileTimes t = zq::FileFacts(files, dialogs, "ZEQUORA Datendatei Reorganisation", "/d/none.mdb");
    EXPECT_TRUE(t.created.IsEmpty() && t.lastAccess.IsEmpty() && t.lastWrite.IsEmpty());
    ASSERT_EQ(dialogs.texts.size(), 1u);
    EXPECT_EQ(dialogs.texts[0], "Falscher Dateiname oder Pfad");
    EXPECT_EQ(dialogs.titles[0], "ZEQUORA Datendatei Reorganisation");
    EXPECT_EQ(dialogs.icons[0], zq::MsgIcon::None);

    zq::FileFacts(files, dialogs, "T", "/d");  // a folder is no file
    EXPECT_EQ(dialogs.texts.size(), 2u);

    files.Put("/d/R_1.mdb", "x");
    t = zq::FileFacts(files, dialogs, "T", "/d/R_1.mdb");
    EXPECT_EQ(dialogs.texts.size(), 2u);
    EXPECT_FALSE(t.created.IsEmpty());
    EXPECT_FALSE(t.lastWrite.IsEmpty());
}

}  // namespace
