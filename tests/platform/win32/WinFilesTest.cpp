// The file adapter against the real Windows (Wine) file system and its sharing rules.
#include <gtest/gtest.h>

#include "WinTestSupport.h"
#include "common/Paths.h"
#include "platform/win32/WinFiles.h"

namespace {

using zqwin::HeldFile;
using zqwin::TempDir;

TEST(WinFiles, ExistenceFollowsTheAttributeMask) {
    TempDir dir;
    zq::win32::WinFiles files;
    const std::string plain = dir / "plain.txt", hidden = dir / "hidden.txt", system = dir / "sys.txt";
    zqwin::WriteBytes(plain, "x");
    zqwin::WriteBytes(hidden, "x");
    zqwin::WriteBytes(system, "x");
    ASSERT_TRUE(files.SetAttributes(hidden, zq::kAttrHidden).ok());
    ASSERT_TRUE(files.SetAttributes(system, zq::kAttrSystem | zq::kAttrReadOnly).ok());

    EXPECT_TRUE(files.Exists(plain, 0));
    EXPECT_FALSE(files.Exists(hidden, 0));
    EXPECT_TRUE(files.Exists(hidden, zq::kAttrHidden));
    EXPECT_FALSE(files.Exists(system, zq::kAttrHidden));
    EXPECT_TRUE(files.Exists(system, zq::kAttrHidden | zq::kAttrSystem));
    EXPECT_FALSE(files.Exists(dir.Path(), 0));
    EXPECT_TRUE(files.Exists(dir.Path(), zq::kAttrDirectory));
    EXPECT_TRUE(files.Exists(dir.Path() + "\\", zq::kAttrDirectory));
    EXPECT_TRUE(files.IsDirectory(dir.Path()));
    EXPECT_FALSE(files.IsDirectory(plain));
    EXPECT_EQ(files.GetAttributes(system).value_or(0) & (zq::kAttrSystem | zq::kAttrReadOnly),
              zq::kAttrSystem | zq::kAttrReadOnly);
}

TEST(WinFiles, PathsThatCannotBeExaminedAre52AndMissingOnesAreNot) {
    TempDir dir;
    zq::win32::WinFiles files;
    int error = -1;
    EXPECT_FALSE(files.Exists(dir / "missing.mdb", 0, &error));
    EXPECT_EQ(error, zq::kErrNone);
    EXPECT_FALSE(files.IsDirectory(dir / "missing\\deeper\\", &error));
    EXPECT_EQ(error, zq::kErrNone);

    for (const std::string& bad : {std::string("C:\\a<b>|c\\"), std::string("C:\\x\0y", 5),
                                   "C:\\" + std::string(32000, 'a'),
                                   "\\\\?\\C:\\" + std::string(32000, 'b')}) {
        error = 0;
        EXPECT_FALSE(files.IsDirectory(bad, &error)) << bad.size();
        EXPECT_EQ(error, zq::kErrBadFileName) << bad.size();
        EXPECT_EQ(files.MakeDirectory(bad).error, zq::kErrBadFileName) << bad.size();
        EXPECT_EQ(files.Remove(bad).error, zq::kErrBadFileName) << bad.size();
        EXPECT_EQ(files.Size(bad), -1);
        EXPECT_TRUE(files.Times(bad).lastWrite.IsEmpty());
    }
}

TEST(WinFiles, LongPathsWorkThroughTheExtendedForm) {
    TempDir dir;
    zq::win32::WinFiles files;
    std::string folder = dir.Path();
    while (folder.size() < 400) {
        folder += "\\" + std::string(60, 'd');
        ASSERT_TRUE(files.MakeDirectory(folder).ok()) << folder.size();
    }
    const std::string file = folder + "\\zqdata.mdb";
    ASSERT_TRUE(files.WriteAtomic(file, "data").ok());
    EXPECT_TRUE(files.Exists(file, 0));
    EXPECT_EQ(files.Size(file), 4);
    EXPECT_TRUE(files.Copy(file, file + ".bak", false).ok());
    EXPECT_EQ(files.ReadAll(file + ".bak", 100).value_or(""), "data");
    EXPECT_TRUE(zq::ClearAttributes(files, file, 0, zq::PathStyle::Windows));
    EXPECT_TRUE(files.Remove(file).ok());
}

TEST(WinFiles, AFileHeldByAnotherProgramFollowsWindowsSharing) {
    TempDir dir;
    zq::win32::WinFiles files;
    const std::string data = dir / "zqdata.mdb";
    zqwin::WriteBytes(data, "held");
    {
        HeldFile held(data, 0);  // opened sharing nothing
        ASSERT_TRUE(held.ok());
        EXPECT_EQ(files.Remove(data).error, zq::kErrPermission);
        EXPECT_EQ(files.Move(data, dir / "moved.mdb").error, zq::kErrPathFileAccess);
        EXPECT_EQ(files.Copy(data, dir / "copy.mdb", false).error, zq::kErrPermission);
        EXPECT_TRUE(files.Times(data).lastWrite.IsEmpty());
        EXPECT_FALSE(zqwin::PathExists(dir / "copy.mdb"));
        EXPECT_EQ(files.List(dir.Path()).size(), 1u) << "no copy left half made";
    }
    {
        HeldFile reading(data, FILE_SHARE_READ | FILE_SHARE_WRITE);  // shared, but not for delete
        ASSERT_TRUE(reading.ok());
        EXPECT_TRUE(files.Copy(data, dir / "copy.mdb", false).ok());
        EXPECT_EQ(files.Move(data, dir / "moved.mdb").error, zq::kErrPathFileAccess);
    }
    EXPECT_FALSE(files.Times(data).lastWrite.IsEmpty());
    EXPECT_TRUE(files.Move(data, dir / "moved.mdb").ok());
    EXPECT_EQ(zqwin::ReadBytes(dir / "moved.mdb"), "held");
}

TEST(WinFiles, CopiesAreWholeAndRespectTheOverwriteFlag) {
    TempDir dir;
    zq::win32::WinFiles files;
    const std::string source = dir / "a.mdb", target = dir / "b.mdb";
    std::string content(3 << 20, 'x');
    content[12345] = 'y';
    zqwin::WriteBytes(source, content);
    zqwin::WriteBytes(target, "old");
    EXPECT_EQ(files.Copy(source, target, false).error, zq::kErrFileExists);
    EXPECT_EQ(zqwin::ReadBytes(target), "old");
    EXPECT_TRUE(files.Copy(source, target, true).ok());
    EXPECT_EQ(zqwin::ReadBytes(target), content);

    // A read-only target is not overwritten; neither half a copy nor a temporary file stays.
    ASSERT_TRUE(files.SetAttributes(target, zq::kAttrReadOnly).ok());
    EXPECT_EQ(files.Copy(dir / "missing.mdb", target, true).error, zq::kErrFileNotFound);
    EXPECT_EQ(files.Copy(source, target, true).error, zq::kErrPermission);
    EXPECT_EQ(files.Remove(target).error, zq::kErrPermission);
    EXPECT_EQ(files.List(dir.Path()).size(), 2u);

    // A copy keeps the source's read-only attribute, as the system's copy does.
    ASSERT_TRUE(files.SetAttributes(source, zq::kAttrReadOnly).ok());
    EXPECT_TRUE(files.Copy(source, dir / "c.mdb", false).ok());
    EXPECT_EQ(files.GetAttributes(dir / "c.mdb").value_or(0) & zq::kAttrReadOnly, zq::kAttrReadOnly);
}

TEST(WinFiles, RenamesDeletesFoldersAndListing) {
    TempDir dir;
    zq::win32::WinFiles files;
    EXPECT_TRUE(files.MakeDirectory(dir / "Save").ok());
    EXPECT_EQ(files.MakeDirectory(dir / "Save").error, zq::kErrPathFileAccess);
    EXPECT_EQ(files.MakeDirectory(dir / "x\\y").error, zq::kErrPathNotFound);
    zqwin::WriteBytes(dir / "Save\\R_1.mdb", "12345");
    EXPECT_EQ(files.Move(dir / "Save\\R_1.mdb", dir / "Save").error, zq::kErrFileExists);
    EXPECT_EQ(files.Remove(dir / "nothing.mdb").error, zq::kErrFileNotFound);
    EXPECT_EQ(files.Remove(dir / "Save").error, zq::kErrPermission);

    const auto entries = files.List(dir / "Save\\");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "R_1.mdb");
    EXPECT_EQ(entries[0].size, 5);
    EXPECT_FALSE(entries[0].isDirectory);
    EXPECT_FALSE(entries[0].times.lastWrite.IsEmpty());
    EXPECT_TRUE(files.List(dir / "none").empty());
    EXPECT_GT(files.FreeSpace(dir.Path()), 0);
    EXPECT_EQ(files.FreeSpace(dir / "none\\"), -1);
}

TEST(WinFiles, TextFilesAreWrittenInTheAnsiCodePage) {
    TempDir dir;
    zq::win32::WinFiles files;
    const std::string trace = dir / "ZQM_Start_Trace.txt";
    auto out = files.OpenText(trace, false);
    ASSERT_TRUE(out);
    out->Write("Größe: 1,5 MB\r\n");
    out->Close();
    auto more = files.OpenText(trace, true);
    ASSERT_TRUE(more);
    more->Write("Ende\r\n");
    more.reset();
    // Character by character in the code page the system uses for ANSI text.
    std::string expected = zq::win32::Ansi("Größe: 1,5 MB\r\nEnde\r\n");
    EXPECT_EQ(zqwin::ReadBytes(trace), expected);
    if (GetACP() == 1252) {
        EXPECT_EQ(zqwin::ReadBytes(trace).substr(0, 6), "Gr\xF6\xDF" "e:");
    }

    EXPECT_FALSE(files.OpenText(dir / "no\\such\\folder.txt", false));
    EXPECT_TRUE(files.WriteAtomic(dir / "f.ini", "a").ok());
    EXPECT_TRUE(files.WriteAtomic(dir / "f.ini", "bb").ok());
    EXPECT_EQ(zqwin::ReadBytes(dir / "f.ini"), "bb");
    EXPECT_FALSE(files.WriteAtomic(dir.Path(), "x").ok());
    EXPECT_FALSE(files.ReadAll(dir / "f.ini", 1).has_value()) << "larger than allowed";
    auto reader = files.OpenRead(dir / "f.ini");
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->Size(), 2u);
    EXPECT_EQ(reader->ReadAt(1, 10), "b");
    EXPECT_EQ(reader->ReadAt(5, 10), "");
}

TEST(WinFiles, NetworkDrivesComeFromTheDriveList) {
    const std::wstring drives(L"A:\\\0C:\\\0H:\\\0Z:\\\0", 17);
    auto type = [](const std::wstring& root) -> unsigned {
        if (root == L"A:\\") return 1;  // no root directory
        if (root == L"H:\\") return 4;  // remote
        return 3;                       // fixed
    };
    EXPECT_TRUE(zq::win32::IsNetworkDriveIn(drives, L"H:", type));
    EXPECT_FALSE(zq::win32::IsNetworkDriveIn(drives, L"h:", type)) << "compared as passed";
    EXPECT_FALSE(zq::win32::IsNetworkDriveIn(drives, L"C:", type));
    EXPECT_FALSE(zq::win32::IsNetworkDriveIn(drives, L"Q:", type));
    EXPECT_FALSE(zq::win32::IsNetworkDriveIn(std::wstring(L"\0", 1), L"H:", type));

    zq::win32::WinFiles files;
    EXPECT_FALSE(files.IsRemote("C:")) << "Wine's C: is a local disk";
    EXPECT_FALSE(files.IsRemote("C:\\windows"));
    EXPECT_TRUE(files.IsRemote("\\\\server\\share\\daten\\"));
    EXPECT_TRUE(files.IsRemote("\\\\?\\UNC\\server\\share\\x"));
}

}  // namespace

// Sizes above 4 GB, in the 32-bit build too: a sparse file of 5 GB, and the stamp that tells
// whether a file was written anew (another file, another identity; a write, another time).
TEST(WinFiles, SizesAbove4GbAndStampsInEveryBuild) {
    TempDir dir;
    zq::win32::WinFiles files;
    const std::string big = dir / "gross.mdb";
    HANDLE h = CreateFileW(zq::win32::Wide(big).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    LARGE_INTEGER end{};
    end.QuadPart = 5LL * 1024 * 1024 * 1024;
    ASSERT_TRUE(SetFilePointerEx(h, end, nullptr, FILE_BEGIN));
    ASSERT_TRUE(SetEndOfFile(h));
    CloseHandle(h);
    EXPECT_EQ(files.Size(big), 5LL * 1024 * 1024 * 1024);
    const auto stamp = files.Stamp(big);
    ASSERT_TRUE(stamp);
    EXPECT_EQ(stamp->size, 5LL * 1024 * 1024 * 1024);
    EXPECT_TRUE(files.Stamp(big) == stamp) << "unchanged, the same";
    EXPECT_GT(files.FreeSpace(dir.Path()), 0);

    const std::string other = dir / "neu.mdb";
    zqwin::WriteBytes(other, "neu");
    ASSERT_TRUE(files.Remove(big).ok());
    ASSERT_TRUE(files.Move(other, big).ok());
    const auto replaced = files.Stamp(big);
    ASSERT_TRUE(replaced);
    EXPECT_NE(replaced->identity, stamp->identity);
    EXPECT_FALSE(files.Stamp(dir / "fehlt.mdb"));
}
