// Path splitting and completion in both styles, folder-tree creation (order, stops, the
// error box) and attribute clearing through the extended forms.
#include <gtest/gtest.h>

#include <set>

#include "common/Paths.h"

namespace {

using zq::PathStyle;
constexpr PathStyle W = PathStyle::Windows;
constexpr PathStyle P = PathStyle::Posix;

// Windows folders in memory; records what is created and which attributes are set.
class MemoryFolders : public zq::IFiles {
public:
    std::set<std::string> folders;
    std::vector<std::string> created, attributeCalls;
    std::string failCreating;

    static std::string Key(std::string p) {
        while (p.size() > 3 && p.back() == '\\') p.pop_back();
        return p;
    }
    bool Exists(const std::string& path, std::uint32_t mask, int* error) override {
        if (error) *error = 0;
        return (mask & zq::kAttrDirectory) && folders.count(Key(path));
    }
    bool IsDirectory(const std::string& path, int* error) override { return Exists(path, zq::kAttrDirectory, error); }
    zq::FsStatus MakeDirectory(const std::string& path) override {
        created.push_back(path);
        if (path == failCreating) return {zq::kErrPermission, "Permission denied"};
        folders.insert(Key(path));
        return {};
    }
    zq::FsStatus Copy(const std::string&, const std::string&, bool) override { return {zq::kErrDeviceIo, ""}; }
    zq::FsStatus Move(const std::string&, const std::string&) override { return {zq::kErrDeviceIo, ""}; }
    zq::FsStatus Remove(const std::string&) override { return {zq::kErrFileNotFound, ""}; }
    zq::FsStatus SetAttributes(const std::string& path, std::uint32_t) override {
        attributeCalls.push_back(path);
        return {};
    }
    std::optional<std::uint32_t> GetAttributes(const std::string&) override { return std::nullopt; }
    std::int64_t Size(const std::string&) override { return -1; }
    zq::FileTimes Times(const std::string&) override { return {}; }
    std::vector<zq::DirEntry> List(const std::string&) override { return {}; }
    bool IsRemote(const std::string& path) override { return path.rfind("\\\\", 0) == 0; }
    std::unique_ptr<zq::ITextFile> OpenText(const std::string&, bool) override { return nullptr; }
    std::unique_ptr<zq::IReadFile> OpenRead(const std::string&) override { return nullptr; }
    std::optional<std::string> ReadAll(const std::string&, std::size_t) override { return std::nullopt; }
    zq::FsStatus WriteAtomic(const std::string&, const std::string&) override { return {zq::kErrDeviceIo, ""}; }
    std::int64_t FreeSpace(const std::string&) override { return -1; }
};

struct Box {
    std::string text, title;
    zq::MsgIcon icon;
    zq::MsgButtons buttons;
};

class RecordingDialogs : public zq::IDialogs {
public:
    std::vector<Box> boxes;
    zq::MsgResult ShowMessage(const std::string& text, const std::string& title, zq::MsgIcon icon,
                             zq::MsgButtons buttons, int) override {
        boxes.push_back({text, title, icon, buttons});
        return zq::MsgResult::Ok;
    }
    std::optional<std::string> OpenFile(const std::string&, const std::string&, const std::string&,
                                        const std::string&) override {
        return std::nullopt;
    }
};

TEST(PathParts, SplitAtTheLastSeparatorOfTheStyle) {
    EXPECT_EQ(zq::FilePart("C:\\a\\b.mdb", W), "b.mdb");
    EXPECT_EQ(zq::FolderPart("C:\\a\\b.mdb", W), "C:\\a\\");
    EXPECT_EQ(zq::FilePart("b.mdb", W), "");
    EXPECT_EQ(zq::FolderPart("b.mdb", W), "");
    EXPECT_EQ(zq::FilePart("C:\\a\\", W), "");
    EXPECT_EQ(zq::FilePart("/srv/a/b.mdb", P), "b.mdb");
    EXPECT_EQ(zq::FolderPart("/srv/a/b.mdb", P), "/srv/a/");
    EXPECT_EQ(zq::FolderPart("C:\\a\\b.mdb", P), "");  // a backslash is a name character here

    EXPECT_EQ(zq::EnsureTrailingSeparator("C:\\a", W), "C:\\a\\");
    EXPECT_EQ(zq::EnsureTrailingSeparator("C:\\a\\", W), "C:\\a\\");
    EXPECT_EQ(zq::EnsureTrailingSeparator("/a", P), "/a/");
    EXPECT_EQ(zq::EnsureTrailingSeparator("", P), "");  // never the root by accident
    EXPECT_EQ(zq::JoinPath("/a", "b", P), "/a/b");
    EXPECT_EQ(zq::JoinPath("/a/", "/b", P), "/a/b");
    EXPECT_EQ(zq::JoinPath("C:\\a", "b.mdb", W), "C:\\a\\b.mdb");
}

TEST(PathParts, AbsoluteByStyle) {
    EXPECT_TRUE(zq::IsAbsolute("C:\\x", W));
    EXPECT_TRUE(zq::IsAbsolute("x:y", W));  // any ":" counts
    EXPECT_TRUE(zq::IsAbsolute("\\\\srv\\share", W));
    EXPECT_FALSE(zq::IsAbsolute("\\x", W));
    EXPECT_FALSE(zq::IsAbsolute("Update", W));
    EXPECT_TRUE(zq::IsAbsolute("/srv", P));
    EXPECT_FALSE(zq::IsAbsolute("C:\\x", P));
    EXPECT_FALSE(zq::IsAbsolute("", P));
}

TEST(CompletePath, WindowsRules) {
    const std::string data = "\\\\SRV\\DATEN";
    EXPECT_EQ(zq::CompletePath("Update", "", data, W), "\\\\SRV\\DATEN\\Update\\");
    EXPECT_EQ(zq::CompletePath("D:\\Upd\\", "", data, W), "D:\\Upd\\");
    EXPECT_EQ(zq::CompletePath("\\\\srv\\upd", "", data, W), "\\\\srv\\upd\\");
    EXPECT_EQ(zq::CompletePath("\\UpdStore", "", "C:\\DATA\\", W), "C:\\DATA\\UpdStore\\");
    EXPECT_EQ(zq::CompletePath("zqm.ini", "", "C:\\DATA", W), "C:\\DATA\\zqm.ini");
    EXPECT_EQ(zq::CompletePath("ab", "", "C:\\DATA", W), "C:\\DATA\\ab");  // too short to judge
    // A relative base is completed against the data folder first.
    EXPECT_EQ(zq::CompletePath("UpdStore", "Basis", "C:\\DATA", W), "C:\\DATA\\Basis\\UpdStore\\");
    EXPECT_EQ(zq::CompletePath("UpdStore", "E:\\Base", "C:\\DATA", W), "E:\\Base\\UpdStore\\");
    // The base at the start of the path means the path already holds it.
    EXPECT_EQ(zq::CompletePath("Basis\\x.txt", "Basis", "C:\\DATA", W), "C:\\DATA\\Basis\\x.txt");
    EXPECT_EQ(zq::CompletePath("a\\Basis\\x.txt", "Basis", "C:\\D", W), "C:\\D\\Basis\\a\\Basis\\x.txt");
    EXPECT_EQ(zq::CompletePath("\\Upd.txt", "E:\\Base", "C:\\D", W), "C:\\D\\Upd.txt");
}

TEST(CompletePath, PosixRules) {
    EXPECT_EQ(zq::CompletePath("Update", "", "/srv/daten", P), "/srv/daten/Update/");
    EXPECT_EQ(zq::CompletePath("/x/Upd", "", "/srv/daten", P), "/x/Upd/");
    EXPECT_EQ(zq::CompletePath("UpdStore", "/opt/base/", "/srv", P), "/opt/base/UpdStore/");
    EXPECT_EQ(zq::CompletePath("upd.htm", "", "/srv/", P), "/srv/upd.htm");
    EXPECT_EQ(zq::CompletePath("Update", "", "", P), "Update/");  // no data folder, no root
}

TEST(ExtendedPath, LongAndNetworkForms) {
    EXPECT_EQ(zq::ExtendedPath("C:\\a\\f.mdb", W), "\\\\?\\C:\\a\\f.mdb");
    EXPECT_EQ(zq::ExtendedPath("\\\\server\\share\\f.mdb", W), "\\\\?\\UNC\\server\\share\\f.mdb");
    EXPECT_EQ(zq::ExtendedPath("\\\\?\\C:\\a", W), "\\\\?\\C:\\a");
    EXPECT_EQ(zq::ExtendedPath("/srv/f.mdb", P), "/srv/f.mdb");

    MemoryFolders files;
    EXPECT_TRUE(zq::ClearAttributes(files, "\\\\server\\share\\f.mdb", 0, W));
    ASSERT_EQ(files.attributeCalls.size(), 1u);
    EXPECT_EQ(files.attributeCalls[0], "\\\\?\\UNC\\server\\share\\f.mdb");
    EXPECT_TRUE(zq::IsNetworkLocation(files, "\\\\server\\share\\f.mdb"));
    EXPECT_FALSE(zq::IsNetworkLocation(files, "C:\\f.mdb"));
}

TEST(CreateFolderTree, ParentsFirstAndStopsAtTheFirstFailure) {
    MemoryFolders files;
    files.folders = {"C:\\"};
    zq::FsStatus raised;
    EXPECT_TRUE(zq::CreateFolderTree(files, "C:\\x\\y\\z", W, &raised));
    EXPECT_TRUE(raised.ok());
    EXPECT_EQ(files.created, (std::vector<std::string>{"C:\\x", "C:\\x\\y", "C:\\x\\y\\z"}));

    files.created.clear();
    EXPECT_TRUE(zq::CreateFolderTree(files, "C:\\x\\y\\", W, &raised));
    EXPECT_TRUE(files.created.empty());  // nothing to do for an existing folder

    files.failCreating = "C:\\p\\q";
    EXPECT_FALSE(zq::CreateFolderTree(files, "C:\\p\\q\\r", W, &raised));
    EXPECT_EQ(raised.error, zq::kErrPermission);
    EXPECT_EQ(files.created, (std::vector<std::string>{"C:\\p", "C:\\p\\q"}));

    // A missing drive, a share root, a bare name and an empty path end without looping.
    for (std::string bad : {"Q:\\a\\b", "\\\\srv\\share\\d", "Name", ""}) {
        files.created.clear();
        EXPECT_FALSE(zq::CreateFolderTree(files, bad, W, &raised)) << bad;
        EXPECT_NE(raised.error, 0) << bad;
        EXPECT_TRUE(files.created.empty()) << bad;
    }
}

TEST(CreateFolderWithReport, ShowsTheFolderErrorUnlessQuiet) {
    MemoryFolders files;
    files.folders = {"C:\\"};
    RecordingDialogs dialogs;
    EXPECT_FALSE(zq::CreateFolderWithReport(files, dialogs, "NoSeparator", false, W));
    EXPECT_TRUE(files.created.empty());
    EXPECT_TRUE(dialogs.boxes.empty());

    EXPECT_TRUE(zq::CreateFolderWithReport(files, dialogs, "C:\\Daten\\Save", false, W));
    EXPECT_TRUE(dialogs.boxes.empty());

    files.failCreating = "C:\\Daten\\Autosave";
    EXPECT_FALSE(zq::CreateFolderWithReport(files, dialogs, "C:\\Daten\\Autosave", true, W));
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_FALSE(zq::CreateFolderWithReport(files, dialogs, "C:\\Daten\\Autosave", false, W));
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text,
              "Bei der Erstellung des folgenden Verzeichnisses ist ein Fehler aufgetreten: \r\n"
              "C:\\Daten\\Autosave\r\n\r\nMögliche Ursachen: \r\n- Sie verfügen nicht über "
              "ausreichende Berechtigungen.\r\n- Die Pfadangabe ist ungültig.\r\n");
    EXPECT_EQ(dialogs.boxes[0].title, "Reorg Fehler");
    EXPECT_EQ(dialogs.boxes[0].icon, zq::MsgIcon::Exclamation);
    EXPECT_EQ(dialogs.boxes[0].buttons, zq::MsgButtons::Ok);
}

}  // namespace
