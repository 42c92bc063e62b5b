#include "patch/ArchiveExtractor.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/FailureNote.h"
#include "common/FileSystem.h"
#include "common/Path.h"
#include "common/Text.h"
#include "tests/patch/ZipTestSupport.h"
#include "tests/support/TempDir.h"

namespace ombrelta {
namespace {

using test::CountChildren;
using test::FileExists;
using test::FixturePath;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

TEST(ExtractArchive, LaysArchivesOverTheDestination) {
    TempDir tmp;
    const std::wstring dest = tmp.Child(L"game/");
    WriteFileBytes(dest + L"data/a.bin", "old content that is longer than nothing");
    WriteFileBytes(dest + L"readme.txt", "old readme");
    ASSERT_TRUE(ExtractArchive(FixturePath(L"infozip.zip"), dest));
    EXPECT_TRUE(IsDirectory(dest + L"maps"));
    EXPECT_EQ(CountChildren(dest + L"maps"), 0u);
    EXPECT_EQ(ReadFileBytes(dest + L"data/a.bin"), std::string(3000, 'a'));
    EXPECT_EQ(ReadFileBytes(dest + L"readme.txt"), "version 1\n");
    EXPECT_EQ(test::ModifiedTime(dest + L"readme.txt"), test::DosToTimeT(2024, 1, 15, 10, 20, 30));
}

TEST(ExtractArchive, CreatesMissingDirectoriesAndKeepsBytesExact) {
    TempDir tmp;
    // A destination without its trailing separator and not yet there.
    const std::wstring dest = tmp.Child(L"new/install");
    ASSERT_TRUE(ExtractArchive(FixturePath(L"python-deflate.zip"), dest));
    EXPECT_EQ(ReadFileBytes(dest + L"/version.dat"), "7\r\n");
    EXPECT_EQ(ReadFileBytes(dest + L"/data/a.bin").size(), 1500u);
    EXPECT_TRUE(FileExists(dest + L"/empty.txt"));
    EXPECT_EQ(ReadFileBytes(dest + L"/empty.txt"), "");
    EXPECT_EQ(CountChildren(dest), 3u);
}

TEST(ExtractArchive, ReadsArchivesOfEveryTool) {
    for (const wchar_t* file :
         {L"infozip-stream.zip", L"infozip-zip64.zip", L"sevenzip.zip", L"python-zip64.zip"}) {
        SCOPED_TRACE(WideToUtf8(file));
        TempDir tmp;
        EXPECT_TRUE(ExtractArchive(FixturePath(file), tmp.Path()));
    }
    TempDir tmp;
    ASSERT_TRUE(ExtractArchive(FixturePath(L"sevenzip.zip"), tmp.Path()));
    EXPECT_EQ(ReadFileBytes(tmp.Child(L"sub/seven.txt")), "from 7-Zip\n");
}

TEST(ExtractArchive, EmptyArchiveSucceedsAndWritesNothing) {
    TempDir tmp;
    const std::wstring dest = tmp.Child(L"dest/");
    ASSERT_TRUE(ExtractArchive(FixturePath(L"empty.zip"), dest));
    EXPECT_EQ(CountChildren(dest), 0u);
}

TEST(ExtractArchive, StopsAtAnEntryThatWouldLeaveTheDestination) {
    for (int i = 0; i < 5; ++i) {
        const std::wstring file = L"slip" + std::to_wstring(i) + L".zip";
        SCOPED_TRACE(WideToUtf8(file));
        TempDir tmp;
        const std::wstring dest = tmp.Child(L"a/dest/");
        EXPECT_FALSE(ExtractArchive(FixturePath(file), dest));
        EXPECT_EQ(ReadFileBytes(dest + L"first.txt"), "first");
        EXPECT_EQ(ReadFileBytes(dest + L"second/two.txt"), "second");
        EXPECT_EQ(CountChildren(dest), 2u);
        // Nothing beside or above the destination.
        EXPECT_EQ(CountChildren(tmp.Path()), 1u);
        EXPECT_EQ(CountChildren(tmp.Child(L"a")), 1u);
    }
}

TEST(ExtractArchive, NameNotInUtf8IsCodePage437UnlessFlaggedUtf8) {
    TempDir tmp;
    ASSERT_TRUE(ExtractArchive(FixturePath(L"latin1-name.zip"), tmp.Path()));
    EXPECT_EQ(ReadFileBytes(tmp.Child(L"caf\u0398.txt")), "latin\n");
    EXPECT_EQ(CountChildren(tmp.Path()), 1u);

    std::string zip = test::FixtureBytes(L"latin1-name.zip");
    test::PutLe16(zip, test::CentralHeaderAt(zip, 0) + 8, 0x0800);
    WriteFileBytes(tmp.Child(L"flagged.zip"), zip);
    TempDir flagged;
    ASSERT_TRUE(ExtractArchive(tmp.Child(L"flagged.zip"), flagged.Path()));
    EXPECT_EQ(ReadFileBytes(flagged.Child(L"caf\uFFFD.txt")), "latin\n");
}

TEST(ExtractArchive, NamesDifferingOnlyInCodePage437LettersStayApart) {
    TempDir tmp;
    ASSERT_TRUE(ExtractArchive(FixturePath(L"cp437-names.zip"), tmp.Path()));
    EXPECT_EQ(ReadFileBytes(tmp.Child(L"\u00E6.txt")), "ae ligature\n");
    EXPECT_EQ(ReadFileBytes(tmp.Child(L"\u00E5.txt")), "a ring\n");
    EXPECT_EQ(CountChildren(tmp.Path()), 2u);
}

TEST(ExtractArchive, NameEndingInABackslashIsADirectory) {
    TempDir tmp;
    ASSERT_TRUE(ExtractArchive(FixturePath(L"backslash-dirs.zip"), tmp.Path()));
    EXPECT_TRUE(FileExists(tmp.Child(L"a/b/c")));
    EXPECT_EQ(ReadFileBytes(tmp.Child(L"a/b/c")), "");
    EXPECT_TRUE(IsDirectory(tmp.Child(L"d/e")));
    EXPECT_EQ(CountChildren(tmp.Child(L"d/e")), 0u);
    EXPECT_EQ(CountChildren(tmp.Path()), 2u);
}

TEST(ExtractArchive, DamagedEntryFailsAndLeavesItsTargetAsItWas) {
    TempDir tmp;
    WriteFileBytes(tmp.Child(L"two/two.txt"), "old content of two");
    EXPECT_FALSE(ExtractArchive(FixturePath(L"version-upper-badcrc.zip"), tmp.Path()));
    EXPECT_EQ(ReadFileBytes(tmp.Child(L"one.txt")), "one");
    EXPECT_EQ(ReadFileBytes(tmp.Child(L"two/two.txt")), "old content of two");
    // The damaged entry's staging file is gone too.
    EXPECT_EQ(CountChildren(tmp.Child(L"two")), 1u);
}

TEST(ExtractArchive, VersionFileIsWrittenLastAndOnlyAfterEveryOtherEntry) {
    TempDir tmp;
    EXPECT_FALSE(ExtractArchive(FixturePath(L"version-upper-badcrc.zip"), tmp.Path()));
    EXPECT_TRUE(FileExists(tmp.Child(L"one.txt")));
    EXPECT_FALSE(FileExists(tmp.Child(L"VERSION.DAT")));
    EXPECT_FALSE(FileExists(tmp.Child(L"version.dat")));

    TempDir good;
    ASSERT_TRUE(ExtractArchive(FixturePath(L"version-upper.zip"), good.Path()));
    EXPECT_EQ(ReadFileBytes(good.Child(L"VERSION.DAT")), "12\n");
    EXPECT_EQ(ReadFileBytes(good.Child(L"one.txt")), "one");
    EXPECT_EQ(ReadFileBytes(good.Child(L"two/two.txt")), "two");
    EXPECT_EQ(CountChildren(good.Path()), 3u);
}

TEST(ExtractArchive, RefusedEntryKeepsTheOldVersionFile) {
    TempDir tmp;
    WriteFileBytes(tmp.Child(L"version.dat"), "5\n");
    EXPECT_FALSE(ExtractArchive(FixturePath(L"version-first-refused.zip"), tmp.Path()));
    EXPECT_EQ(ReadFileBytes(tmp.Child(L"version.dat")), "5\n");
    EXPECT_EQ(ReadFileBytes(tmp.Child(L"one.txt")), "one");
    EXPECT_FALSE(FileExists(tmp.Child(L"four.txt")));
    EXPECT_FALSE(FileExists(tmp.Child(L"../three.txt")));
}

TEST(ExtractArchive, EverySpellingOfTheRootVersionFileWaits) {
    TempDir tmp;
    EXPECT_FALSE(ExtractArchive(FixturePath(L"version-dotted.zip"), tmp.Path()));
    EXPECT_EQ(ReadFileBytes(tmp.Child(L"one.txt")), "one");
    EXPECT_FALSE(FileExists(tmp.Child(L"version.dat")));
}

TEST(ExtractArchive, UnsafeNameFailsLikeAClimbingOne) {
    // Same length as "empty.txt", so only the central directory's name changes.
    for (const std::string& name : {std::string("emp\0y.txt", 9), std::string("CON.a.txt"),
                                    std::string("empty:txt"), std::string("../ty.txt")}) {
        SCOPED_TRACE(name);
        TempDir tmp;
        std::string zip = test::FixtureBytes(L"python-deflate.zip");
        const std::size_t header = test::CentralHeaderAt(zip, 2);
        ASSERT_EQ(zip.substr(header + 46, 9), "empty.txt");
        zip.replace(header + 46, 9, name);
        // Not "nul.zip": Windows takes that for its null device.
        WriteFileBytes(tmp.Child(L"name.zip"), zip);
        const std::wstring dest = tmp.Child(L"dest/");
        EXPECT_FALSE(ExtractArchive(tmp.Child(L"name.zip"), dest));
        EXPECT_TRUE(FileExists(dest + L"data/a.bin"));
        EXPECT_EQ(CountChildren(dest), 1u);
        EXPECT_FALSE(FileExists(tmp.Child(L"ty.txt")));
    }
}

TEST(ExtractArchive, EncryptedOrUnsupportedEntryFails) {
    for (const wchar_t* file : {L"encrypted.zip", L"bzip2.zip"}) {
        SCOPED_TRACE(WideToUtf8(file));
        TempDir tmp;
        EXPECT_FALSE(ExtractArchive(FixturePath(file), tmp.Path()));
        EXPECT_FALSE(FileExists(tmp.Child(L"readme.txt")));
        EXPECT_FALSE(FileExists(tmp.Child(L"data/a.bin")));
    }
}

TEST(ExtractArchive, MissingOrUnreadableArchiveFails) {
    TempDir tmp;
    const std::wstring dest = tmp.Child(L"dest/");
    EXPECT_FALSE(ExtractArchive(tmp.Child(L"missing.zip"), dest));
    EXPECT_FALSE(FileExists(dest));
    EXPECT_FALSE(ExtractArchive(L"", dest));

    WriteFileBytes(tmp.Child(L"garbage.zip"), std::string(5000, 'g'));
    EXPECT_FALSE(ExtractArchive(tmp.Child(L"garbage.zip"), dest));
    WriteFileBytes(tmp.Child(L"short.zip"), test::FixtureBytes(L"infozip.zip").substr(0, 200));
    EXPECT_FALSE(ExtractArchive(tmp.Child(L"short.zip"), dest));
    ASSERT_TRUE(CreateDirectories(tmp.Child(L"folder.zip")));
    EXPECT_FALSE(ExtractArchive(tmp.Child(L"folder.zip"), dest));
    EXPECT_EQ(CountChildren(dest), 0u);
}

TEST(ExtractArchive, DestinationThatCannotBeCreatedFails) {
    TempDir tmp;
    WriteFileBytes(tmp.Child(L"blocker"), "a file, not a directory");
    EXPECT_FALSE(ExtractArchive(FixturePath(L"infozip.zip"), tmp.Child(L"blocker/dest/")));
}

TEST(ExtractArchive, TargetThatCannotBeWrittenFails) {
    TempDir tmp;
    // The system's error reaches the causes noted for the failure.
    FailureNotes notes;
    // A directory where the archive has a file.
    ASSERT_TRUE(CreateDirectories(tmp.Child(L"readme.txt")));
    EXPECT_FALSE(ExtractArchive(FixturePath(L"infozip.zip"), tmp.Path()));
    EXPECT_EQ(ReadFileBytes(tmp.Child(L"data/a.bin")), std::string(3000, 'a'));
    std::string causes = TakeFailureNotes();
    EXPECT_NE(causes.find("readme.txt in place: system error "), std::string::npos) << causes;
    EXPECT_TRUE(causes.ends_with("; in entry readme.txt")) << causes;

    // A file where the archive needs a directory.
    TempDir other;
    WriteFileBytes(other.Child(L"data"), "in the way");
    EXPECT_FALSE(ExtractArchive(FixturePath(L"infozip.zip"), other.Path()));
    EXPECT_TRUE(IsDirectory(other.Child(L"maps")));
    EXPECT_EQ(ReadFileBytes(other.Child(L"data")), "in the way");
    causes = TakeFailureNotes();
    EXPECT_NE(causes.find(": system error "), std::string::npos) << causes;
    EXPECT_TRUE(causes.ends_with("; in entry data\\a.bin")) << causes;
}

TEST(ExtractArchive, ReadOnlyTargetFails) {
    TempDir tmp;
    const std::wstring target = tmp.Child(L"readme.txt");
    WriteFileBytes(target, "kept");
    std::filesystem::permissions(ToNativePath(target),
                                 std::filesystem::perms::owner_write | std::filesystem::perms::group_write |
                                     std::filesystem::perms::others_write,
                                 std::filesystem::perm_options::remove);
    if (std::ofstream(ToNativePath(target), std::ios::app).is_open()) {
        std::filesystem::permissions(ToNativePath(target), std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::add);
        GTEST_SKIP() << "read-only files are writable for this user";
    }
    EXPECT_FALSE(ExtractArchive(FixturePath(L"infozip.zip"), tmp.Path()));
    std::filesystem::permissions(ToNativePath(target), std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
    EXPECT_EQ(ReadFileBytes(target), "kept");
}

}  // namespace
}  // namespace ombrelta
