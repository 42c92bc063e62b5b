#include "patch/ZipReader.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/Text.h"
#include "tests/patch/ZipTestSupport.h"
#include "tests/support/TempDir.h"

namespace ombrelta {
namespace {

using test::FixtureBytes;
using test::FixturePath;
using test::TempDir;

struct ExpectedEntry {
    std::string name;
    bool directory;
    std::string content;
};

struct FixtureCase {
    std::wstring file;
    std::vector<ExpectedEntry> entries;
};

std::string Repeat(const std::string& piece, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i)
        text += piece;
    return text;
}

std::string StreamedText() {
    return Repeat("streamed line\n", 200000 / 14 + 1).substr(0, 200000);
}

std::vector<FixtureCase> ToolArchives() {
    return {
        {L"infozip.zip",
         {{"maps/", true, ""},
          {"data/a.bin", false, std::string(3000, 'a')},
          {"readme.txt", false, "version 1\n"}}},
        {L"infozip-stream.zip", {{"-", false, StreamedText()}}},
        {L"infozip-zip64.zip", {{"zip64.txt", false, "zip64 content\n"}}},
        {L"sevenzip.zip",
         {{"big.txt", false, std::string(5000, 'z')},
          {"sub/", true, ""},
          {"sub/seven.txt", false, "from 7-Zip\n"}}},
        {L"python-deflate.zip",
         {{"version.dat", false, "7\r\n"},
          {"data/a.bin", false, Repeat("abc", 500)},
          {"empty.txt", false, ""}}},
        {L"python-zip64.zip", {{"big/forced.txt", false, Repeat("forced zip64 ", 100)}}},
        {L"cp437-names.zip", {{"\x91.txt", false, "ae ligature\n"}, {"\x86.txt", false, "a ring\n"}}},
        {L"backslash-dirs.zip", {{"a\\b\\c", false, ""}, {"d\\e\\", true, ""}}},
    };
}

TEST(ZipReader, ReadsArchivesOfRealTools) {
    TempDir tmp;
    for (const FixtureCase& fixture : ToolArchives()) {
        SCOPED_TRACE(WideToUtf8(fixture.file));
        ZipReader reader;
        ASSERT_TRUE(reader.Open(WideToUtf8(FixturePath(fixture.file))));
        ASSERT_EQ(reader.EntryCount(), fixture.entries.size());
        for (std::uint32_t i = 0; i < reader.EntryCount(); ++i) {
            const ExpectedEntry& expected = fixture.entries[i];
            SCOPED_TRACE(expected.name);
            std::string name;
            ASSERT_TRUE(reader.EntryName(i, name));
            EXPECT_EQ(name, expected.name);
            EXPECT_EQ(reader.IsDirectory(i), expected.directory);
            if (expected.directory)
                continue;
            const std::wstring out = tmp.Child(L"out.bin");
            ASSERT_TRUE(reader.ExtractToFile(i, WideToUtf8(out)));
            EXPECT_EQ(test::ReadFileBytes(out), expected.content);
        }
        reader.Close();
        EXPECT_EQ(reader.EntryCount(), 0u);
    }
}

TEST(ZipReader, ExtractionTruncatesAnExistingFile) {
    TempDir tmp;
    const std::wstring out = tmp.Child(L"readme.txt");
    test::WriteFileBytes(out, std::string(10000, 'x'));
    ZipReader reader;
    ASSERT_TRUE(reader.Open(WideToUtf8(FixturePath(L"infozip.zip"))));
    ASSERT_TRUE(reader.ExtractToFile(2, WideToUtf8(out)));
    EXPECT_EQ(test::ReadFileBytes(out), "version 1\n");
}

TEST(ZipReader, SetsTheFileTimeFromTheEntry) {
    TempDir tmp;
    const std::wstring out = tmp.Child(L"a.bin");
    ZipReader reader;
    ASSERT_TRUE(reader.Open(WideToUtf8(FixturePath(L"infozip.zip"))));
    ASSERT_TRUE(reader.ExtractToFile(1, WideToUtf8(out)));
    EXPECT_EQ(test::ModifiedTime(out), test::DosToTimeT(2024, 1, 15, 10, 20, 30));
    ASSERT_TRUE(reader.Open(WideToUtf8(FixturePath(L"python-deflate.zip"))));
    ASSERT_TRUE(reader.ExtractToFile(1, WideToUtf8(out)));
    EXPECT_EQ(test::ModifiedTime(out), test::DosToTimeT(2023, 6, 1, 12, 34, 56));
}

TEST(ZipReader, RefusesEncryptedAndUnsupportedEntriesWithoutCreatingTheTarget) {
    TempDir tmp;
    for (const std::wstring file : {L"encrypted.zip", L"bzip2.zip"}) {
        SCOPED_TRACE(WideToUtf8(file));
        ZipReader reader;
        ASSERT_TRUE(reader.Open(WideToUtf8(FixturePath(file))));
        ASSERT_EQ(reader.EntryCount(), 1u);
        const std::wstring out = tmp.Child(L"out.bin");
        EXPECT_FALSE(reader.ExtractToFile(0, WideToUtf8(out)));
        EXPECT_FALSE(test::FileExists(out));
    }
}

TEST(ZipReader, ClosedReaderAndBadIndexesFail) {
    TempDir tmp;
    ZipReader reader;
    std::string name;
    EXPECT_EQ(reader.EntryCount(), 0u);
    EXPECT_FALSE(reader.EntryName(0, name));
    EXPECT_FALSE(reader.IsDirectory(0));
    EXPECT_FALSE(reader.HasUtf8Name(0));
    EXPECT_FALSE(reader.ExtractToFile(0, WideToUtf8(tmp.Child(L"x"))));
    reader.Close();
    ASSERT_TRUE(reader.Open(WideToUtf8(FixturePath(L"infozip.zip"))));
    EXPECT_FALSE(reader.EntryName(3, name));
    EXPECT_FALSE(reader.IsDirectory(3));
    EXPECT_FALSE(reader.HasUtf8Name(3));
    EXPECT_FALSE(reader.ExtractToFile(3, WideToUtf8(tmp.Child(L"x"))));
    // A directory entry has no file to write.
    EXPECT_FALSE(reader.ExtractToFile(0, WideToUtf8(tmp.Child(L"x"))));
    EXPECT_FALSE(test::FileExists(tmp.Child(L"x")));
}

TEST(ZipReader, EmptyArchiveHasNoEntries) {
    ZipReader reader;
    ASSERT_TRUE(reader.Open(WideToUtf8(FixturePath(L"empty.zip"))));
    EXPECT_EQ(reader.EntryCount(), 0u);
}

TEST(ZipReader, DirectoryAttributeMakesADirectory) {
    TempDir tmp;
    // 7-Zip's "sub/" entry carries the DOS directory bit; without its slash it is still a directory.
    std::string zip = FixtureBytes(L"sevenzip.zip");
    const std::size_t header = test::CentralHeaderAt(zip, 1);
    ASSERT_NE(header, std::string::npos);
    ASSERT_EQ(zip.substr(header + 46, 4), "sub/");
    zip[header + 49] = '_';
    test::WriteFileBytes(tmp.Child(L"a.zip"), zip);
    ZipReader reader;
    ASSERT_TRUE(reader.Open(WideToUtf8(tmp.Child(L"a.zip"))));
    std::string name;
    ASSERT_TRUE(reader.EntryName(1, name));
    EXPECT_EQ(name, "sub_");
    EXPECT_TRUE(reader.IsDirectory(1));
    EXPECT_FALSE(reader.IsDirectory(0));
}

TEST(ZipReader, OpensAWideNamedArchive) {
    TempDir tmp;
    const std::wstring path = tmp.Child(L"\u00e9t\u00e9 \u0416.zip");
    test::WriteFileBytes(path, FixtureBytes(L"infozip.zip"));
    ZipReader reader;
    ASSERT_TRUE(reader.Open(WideToUtf8(path)));
    EXPECT_EQ(reader.EntryCount(), 3u);
    const std::wstring out = tmp.Child(L"\u0444\u0430\u0439\u043b.txt");
    ASSERT_TRUE(reader.ExtractToFile(2, WideToUtf8(out)));
    EXPECT_EQ(test::ReadFileBytes(out), "version 1\n");
}

}  // namespace
}  // namespace ombrelta
