// The staged file over files in memory, with the failures a full disk, a lost share or a
// held target bring: the target is replaced whole or stays as it was, nothing is left behind,
// and a clean-up takes only what no live writer holds.
#include <gtest/gtest.h>

#include "common/StagedFile.h"
#include "support/MemoryFiles.h"

namespace {

using zq::FsStatus;
using zq::StagedFile;
using zqtest::MemoryFiles;
constexpr auto P = zq::PathStyle::Posix;
constexpr auto W = zq::PathStyle::Windows;

// The names in the folder, in order.
std::vector<std::string> Names(MemoryFiles& files, const std::string& folder) {
    std::vector<std::string> names;
    for (const zq::DirEntry& e : files.List(folder)) names.push_back(e.name);
    return names;
}

TEST(StagedFile, ReplacesTheTargetOnlyWhenWholeAndLeavesNothingBehind) {
    MemoryFiles files;
    files.Put("/data/zqm.ini", "old");
    {
        StagedFile staged(files, P, "/data/zqm.ini", zq::kCopySuffix, 42);
        ASSERT_TRUE(staged.Ok()) << staged.Status().text;
        EXPECT_EQ(staged.Path(), "/data/.zqm.ini.42.0.zqtmp");
        EXPECT_EQ(files.files[staged.Path()].attributes, zq::kAttrHidden);
        const std::string big(3 << 20, 'x');  // past the buffer: written straight through
        EXPECT_TRUE(staged.Write("new ", 4) && staged.Write(big.data(), big.size()));
        EXPECT_EQ(files.Content("/data/zqm.ini"), "old") << "the target changed before the commit";
        ASSERT_TRUE(staged.Finish());
        EXPECT_EQ(staged.Written(), 4 + big.size());
        ASSERT_TRUE(staged.Commit(true));
    }
    EXPECT_EQ(files.Content("/data/zqm.ini").substr(0, 5), "new x");
    EXPECT_EQ(files.files["/data/zqm.ini"].attributes, zq::kAttrNormal);
    EXPECT_EQ(Names(files, "/data"), std::vector<std::string>{"zqm.ini"});
}

TEST(StagedFile, EachFailureKeepsTheTargetRemovesTheStagedFileAndNamesTheTarget) {
    for (const std::string operation : {"Create", "Write", "Sync", "Rename"}) {
        MemoryFiles files(W);
        files.Put("C:\\Daten\\zqdata.mdb", "old");
        files.fail = [&](const std::string& op, const std::string& path) {
            return op == operation ? FsStatus{zq::kErrDiskFull, "Disk full: " + path, 112} : FsStatus{};
        };
        {
            StagedFile staged(files, W, "C:\\Daten\\zqdata.mdb", zq::kCopySuffix, 7);
            const bool done = staged.Write("new", 3) && staged.Finish() && staged.Commit(true);
            EXPECT_FALSE(done) << operation;
            EXPECT_EQ(staged.Status().error, zq::kErrDiskFull) << operation;
            EXPECT_EQ(staged.Status().system, 112) << operation;
            EXPECT_EQ(staged.Status().text, "Disk full: C:\\Daten\\zqdata.mdb") << operation;
        }
        EXPECT_EQ(files.Content("C:\\Daten\\zqdata.mdb"), "old") << operation;
        EXPECT_EQ(Names(files, "C:\\Daten"), std::vector<std::string>{"zqdata.mdb"}) << operation;
    }
}

TEST(StagedFile, AnExistingTargetStaysWithoutOverwriteAndNamesInUseArePassedOver) {
    MemoryFiles files;
    files.Put("/upd/zqmupd.exe", "old");
    files.Put("/upd/.zqmupd.exe.9.0.part", "another writer's");
    {
        StagedFile staged(files, P, "/upd/zqmupd.exe", zq::kDownloadSuffix, 9);
        EXPECT_EQ(staged.Path(), "/upd/.zqmupd.exe.9.1.part");
        ASSERT_TRUE(staged.Finish());
        EXPECT_FALSE(staged.Commit(false));
        EXPECT_EQ(staged.Status().error, zq::kErrFileExists);
    }
    EXPECT_EQ(files.Content("/upd/zqmupd.exe"), "old");
    EXPECT_EQ(files.Content("/upd/.zqmupd.exe.9.0.part"), "another writer's");
    EXPECT_FALSE(files.Has("/upd/.zqmupd.exe.9.1.part"));

    // A file that can be created under no name gives the failure, and no file.
    files.fail = [](const std::string& op, const std::string&) {
        return op == "Create" ? FsStatus{zq::kErrFileExists, "exists"} : FsStatus{};
    };
    StagedFile never(files, P, "/upd/zqmupd.exe", zq::kDownloadSuffix, 9);
    EXPECT_FALSE(never.Ok());
    EXPECT_FALSE(never.Write("x", 1));
}

TEST(StagedFile, CleanUpTakesOnlyUnheldStagedFilesOfTheirKind) {
    MemoryFiles files;
    files.Put("/upd/.zqmupd.exe.4242.0.part", "killed download");
    files.Put("/upd/.zqcupd.exe.1.2.part", "the other installer's");
    for (const char* foreign : {"/upd/zqmupd.exe.1.2.part", "/upd/.zqmupd.exe.x.2.part",
                                "/upd/.zqmupd.exe.1.part", "/upd/.zqmupd.exe.1.2.part.bak"})
        files.Put(foreign, "not ours");
    StagedFile live(files, P, "/upd/zqmupd.exe", zq::kDownloadSuffix, 77);
    EXPECT_EQ(zq::RemoveStaleStagedFiles(files, P, "/upd/zqmupd.exe", zq::kDownloadSuffix), 1);
    EXPECT_TRUE(files.Has(live.Path()));
    EXPECT_TRUE(files.Has("/upd/.zqcupd.exe.1.2.part"));
    EXPECT_EQ(Names(files, "/upd").size(), 6u);
    EXPECT_EQ(zq::RemoveStaleStagedFiles(files, P, "/upd/", zq::kDownloadSuffix), 1) << "any name";

    // Copies' leftovers, also under the names earlier versions gave them.
    MemoryFiles save(W);
    for (const char* stale : {"C:\\Save\\.R_1.mdb.12.0.zqtmp", "C:\\Save\\.R_2.mdb.zqtmp-aB3dE9",
                              "C:\\Save\\R_3.mdb.zqtmp-4242-1"})
        save.Put(stale, "left by a kill");
    for (const char* kept : {"C:\\Save\\R_4.mdb", "C:\\Save\\notes.zqtmp-aB3dE9",
                             "C:\\Save\\.R_5.mdb.zqtmp-toolong1", "C:\\Save\\R_6.mdb.zqtmp-x"})
        save.Put(kept, "stays");
    save.files["C:\\Save\\R_3.mdb.zqtmp-4242-1"].attributes = zq::kAttrReadOnly;
    save.files["C:\\Save\\.R_1.mdb.12.0.zqtmp"].holders = 1;  // its writer still lives
    EXPECT_EQ(zq::RemoveLeftoverTemporaries(save, W, "C:\\Save"), 2);
    EXPECT_EQ(Names(save, "C:\\Save"),
              (std::vector<std::string>{".R_1.mdb.12.0.zqtmp", ".R_5.mdb.zqtmp-toolong1", "R_4.mdb",
                                        "R_6.mdb.zqtmp-x", "notes.zqtmp-aB3dE9"}));
}

}  // namespace
