#include "common/FileSystem.h"

#include "tests/support/TempDir.h"

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <utility>

#include <gtest/gtest.h>

namespace ombrelta {
namespace {

using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

std::string AllByteValues(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
    return bytes;
}

std::string ReadAll(File& file) {
    std::string bytes;
    char buffer[1000];
    for (;;) {
        std::optional<std::size_t> got = file.Read(buffer, sizeof buffer);
        if (!got || *got == 0)
            return bytes;
        bytes.append(buffer, *got);
    }
}

TEST(FileSystemTest, ExistenceAndKind) {
    TempDir dir;
    WriteFileBytes(dir.Child(L"file.txt"), "abc");
    EXPECT_TRUE(PathExists(dir.Child(L"file.txt")));
    EXPECT_FALSE(IsDirectory(dir.Child(L"file.txt")));
    EXPECT_TRUE(PathExists(dir.Path()));
    EXPECT_TRUE(IsDirectory(dir.Path()));
    EXPECT_FALSE(PathExists(dir.Child(L"missing")));
    EXPECT_FALSE(IsDirectory(dir.Child(L"missing")));
    EXPECT_FALSE(PathExists(L""));
}

TEST(FileSystemTest, BackslashesWorkAsSeparators) {
    TempDir dir;
    ASSERT_TRUE(CreateDirectoryAt(dir.Child(L"sub")));
    WriteFileBytes(dir.Child(L"sub/inner.txt"), "x");
    EXPECT_TRUE(PathExists(dir.Child(L"sub\\inner.txt")));
    EXPECT_EQ(GetFileSize(dir.Child(L"sub\\inner.txt")), 1u);
}

TEST(FileSystemTest, PathWithAZeroInsideNamesNothing) {
    TempDir dir;
    WriteFileBytes(dir.Child(L"a"), "x");
    ASSERT_TRUE(CreateDirectoryAt(dir.Child(L"d")));
    const std::wstring cutA = dir.Child(std::wstring(L"a\0b", 3));
    const std::wstring cutD = dir.Child(std::wstring(L"d\0e", 3));
    EXPECT_FALSE(PathExists(cutA));
    EXPECT_FALSE(IsDirectory(cutD));
    EXPECT_FALSE(GetFileSize(cutA).has_value());
    EXPECT_FALSE(File::OpenRead(cutA));
    EXPECT_FALSE(File::OpenWrite(cutA));
    EXPECT_FALSE(DeleteFileAt(cutA));
    EXPECT_FALSE(RemoveEmptyDirectory(cutD));
    EXPECT_FALSE(CreateDirectoryAt(dir.Child(std::wstring(L"n\0m", 3))));
    EXPECT_FALSE(RenameFileNoReplace(cutA, dir.Child(L"renamed")));
    EXPECT_FALSE(RenameFileNoReplace(dir.Child(L"a"), dir.Child(std::wstring(L"r\0s", 3))));
    EXPECT_EQ(ReadFileBytes(dir.Child(L"a")), "x");
    EXPECT_TRUE(IsDirectory(dir.Child(L"d")));
    EXPECT_FALSE(PathExists(dir.Child(L"n")));
    EXPECT_FALSE(PathExists(dir.Child(L"r")));
}

TEST(FileSystemTest, CreateDirectoryAtRefusesExistingPaths) {
    TempDir dir;
    EXPECT_TRUE(CreateDirectoryAt(dir.Child(L"new")));
    EXPECT_FALSE(CreateDirectoryAt(dir.Child(L"new")));
    WriteFileBytes(dir.Child(L"file"), "x");
    EXPECT_FALSE(CreateDirectoryAt(dir.Child(L"file")));
    EXPECT_FALSE(CreateDirectoryAt(dir.Child(L"missing/child")));
}

TEST(FileSystemTest, DeleteFileAtDeletesOnlyFiles) {
    TempDir dir;
    WriteFileBytes(dir.Child(L"file"), "x");
    EXPECT_TRUE(DeleteFileAt(dir.Child(L"file")));
    EXPECT_FALSE(PathExists(dir.Child(L"file")));
    EXPECT_FALSE(DeleteFileAt(dir.Child(L"file")));
    ASSERT_TRUE(CreateDirectoryAt(dir.Child(L"dir")));
    EXPECT_FALSE(DeleteFileAt(dir.Child(L"dir")));
    EXPECT_TRUE(IsDirectory(dir.Child(L"dir")));
}

TEST(FileSystemTest, RenameRefusesAnExistingTarget) {
    TempDir dir;
    WriteFileBytes(dir.Child(L"from"), "new");
    WriteFileBytes(dir.Child(L"to"), "old");
    EXPECT_FALSE(RenameFileNoReplace(dir.Child(L"from"), dir.Child(L"to")));
    EXPECT_EQ(ReadFileBytes(dir.Child(L"from")), "new");
    EXPECT_EQ(ReadFileBytes(dir.Child(L"to")), "old");

    ASSERT_TRUE(DeleteFileAt(dir.Child(L"to")));
    EXPECT_TRUE(RenameFileNoReplace(dir.Child(L"from"), dir.Child(L"to")));
    EXPECT_FALSE(PathExists(dir.Child(L"from")));
    EXPECT_EQ(ReadFileBytes(dir.Child(L"to")), "new");
    EXPECT_FALSE(RenameFileNoReplace(dir.Child(L"from"), dir.Child(L"again")));
}

TEST(FileSystemTest, RenameReplacingTakesTheTargetsPlace) {
    TempDir dir;
    WriteFileBytes(dir.Child(L"from"), "new");
    WriteFileBytes(dir.Child(L"to"), "old");
    EXPECT_TRUE(RenameFileReplacing(dir.Child(L"from"), dir.Child(L"to")));
    EXPECT_FALSE(PathExists(dir.Child(L"from")));
    EXPECT_EQ(ReadFileBytes(dir.Child(L"to")), "new");
    EXPECT_TRUE(RenameFileReplacing(dir.Child(L"to"), dir.Child(L"fresh")));
    EXPECT_EQ(ReadFileBytes(dir.Child(L"fresh")), "new");
    EXPECT_FALSE(RenameFileReplacing(dir.Child(L"to"), dir.Child(L"fresh")));
    EXPECT_EQ(ReadFileBytes(dir.Child(L"fresh")), "new");
}

TEST(FileSystemTest, StampTellsTimesAndFilesApart) {
    TempDir dir;
    const std::wstring a = dir.Child(L"a");
    const std::wstring b = dir.Child(L"b");
    const auto when = std::chrono::floor<std::chrono::seconds>(std::filesystem::file_time_type::clock::now() -
                                                               std::chrono::hours(48));
    WriteFileBytes(a, "same");
    WriteFileBytes(b, "same");
    std::filesystem::last_write_time(ToNativePath(a), when);
    std::filesystem::last_write_time(ToNativePath(b), when);
    std::optional<FileStamp> stampA = GetFileStamp(a);
    std::optional<FileStamp> stampB = GetFileStamp(b);
    ASSERT_TRUE(stampA && stampB);
    EXPECT_EQ(stampA->size, 4u);
    EXPECT_EQ(stampA->writeTime, stampB->writeTime);
    EXPECT_EQ(stampA->volume, stampB->volume);
    EXPECT_NE(stampA->fileIndex, stampB->fileIndex);
    EXPECT_EQ(GetFileStamp(a), stampA);

    std::filesystem::last_write_time(ToNativePath(a), when + std::chrono::seconds(1));
    EXPECT_GT(GetFileStamp(a)->writeTime, stampA->writeTime);
    ASSERT_TRUE(RenameFileReplacing(b, a));
    EXPECT_EQ(GetFileStamp(a), stampB);

    EXPECT_FALSE(GetFileStamp(b));
    EXPECT_FALSE(GetFileStamp(dir.Path()));
    EXPECT_FALSE(GetFileStamp(L""));
}

TEST(FileSystemTest, OpenFileStampSeesAWriteWithItsTimePutBack) {
    TempDir dir;
    const std::wstring path = dir.Child(L"a");
    WriteFileBytes(path, "abcd");
    // Whole seconds: what every host's file times can hold exactly.
    const auto written = std::chrono::floor<std::chrono::seconds>(
        std::filesystem::file_time_type::clock::now() - std::chrono::hours(48));
    std::filesystem::last_write_time(ToNativePath(path), written);
    std::optional<File> reader = File::OpenRead(path);
    ASSERT_TRUE(reader);
    std::optional<OpenFileStamp> before = reader->Stamp();
    ASSERT_TRUE(before);
    EXPECT_EQ(before->file, GetFileStamp(path));
    EXPECT_EQ(reader->Stamp(), before);

    // Change times tick coarsely (a few milliseconds): the write must fall into a later tick.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    WriteFileBytes(path, "wxyz");
    std::filesystem::last_write_time(ToNativePath(path), written);
    std::optional<OpenFileStamp> after = reader->Stamp();
    ASSERT_TRUE(after);
    EXPECT_EQ(after->file, before->file);
    EXPECT_NE(after->changeTime, before->changeTime);
    EXPECT_FALSE(File().Stamp());
}

TEST(FileSystemTest, RemoveEmptyDirectoryKeepsFullOnes) {
    TempDir dir;
    ASSERT_TRUE(CreateDirectoryAt(dir.Child(L"full")));
    WriteFileBytes(dir.Child(L"full/file"), "x");
    EXPECT_FALSE(RemoveEmptyDirectory(dir.Child(L"full")));
    EXPECT_TRUE(PathExists(dir.Child(L"full/file")));
    ASSERT_TRUE(DeleteFileAt(dir.Child(L"full/file")));
    EXPECT_TRUE(RemoveEmptyDirectory(dir.Child(L"full")));
    EXPECT_FALSE(PathExists(dir.Child(L"full")));
    EXPECT_FALSE(RemoveEmptyDirectory(dir.Child(L"full")));
}

TEST(FileSystemTest, GetFileSizeOfFilesOnly) {
    TempDir dir;
    WriteFileBytes(dir.Child(L"empty"), "");
    WriteFileBytes(dir.Child(L"data"), AllByteValues(70000));
    EXPECT_EQ(GetFileSize(dir.Child(L"empty")), 0u);
    EXPECT_EQ(GetFileSize(dir.Child(L"data")), 70000u);
    EXPECT_FALSE(GetFileSize(dir.Child(L"missing")).has_value());
    EXPECT_FALSE(GetFileSize(dir.Path()).has_value());
}

TEST(FileSystemTest, WriteThenReadRoundTrip) {
    TempDir dir;
    const std::string bytes = AllByteValues(300000);
    {
        std::optional<File> out = File::OpenWrite(dir.Child(L"round.bin"));
        ASSERT_TRUE(out);
        ASSERT_TRUE(out->Write(bytes.data(), 1));
        ASSERT_TRUE(out->Write(bytes.data() + 1, bytes.size() - 1));
        ASSERT_TRUE(out->Write(bytes.data(), 0));
        EXPECT_TRUE(out->Close());
        EXPECT_TRUE(out->Close());
    }
    std::optional<File> in = File::OpenRead(dir.Child(L"round.bin"));
    ASSERT_TRUE(in);
    EXPECT_EQ(ReadAll(*in), bytes);
    char byte = 0;
    EXPECT_EQ(in->Read(&byte, 1), 0u);
}

TEST(FileSystemTest, OpenWriteTruncates) {
    TempDir dir;
    WriteFileBytes(dir.Child(L"file"), "a longer old content");
    std::optional<File> out = File::OpenWrite(dir.Child(L"file"));
    ASSERT_TRUE(out);
    ASSERT_TRUE(out->Write("new", 3));
    ASSERT_TRUE(out->Close());
    EXPECT_EQ(ReadFileBytes(dir.Child(L"file")), "new");
}

TEST(FileSystemTest, OpenAppendWritesAfterTheLastByteOrCreates) {
    TempDir dir;
    WriteFileBytes(dir.Child(L"file"), "kept");
    for (const wchar_t* name : {L"file", L"new"}) {
        std::optional<File> out = File::OpenAppend(dir.Child(name));
        ASSERT_TRUE(out);
        ASSERT_TRUE(out->Write("+more", 5));
        ASSERT_TRUE(out->Close());
    }
    EXPECT_EQ(ReadFileBytes(dir.Child(L"file")), "kept+more");
    EXPECT_EQ(ReadFileBytes(dir.Child(L"new")), "+more");
    EXPECT_FALSE(File::OpenAppend(dir.Child(L"missing/file")));
}

TEST(FileSystemTest, OpenFailures) {
    TempDir dir;
    EXPECT_FALSE(File::OpenRead(dir.Child(L"missing")));
    EXPECT_FALSE(File::OpenRead(dir.Path()));
    EXPECT_FALSE(File::OpenRead(L""));
    EXPECT_FALSE(File::OpenWrite(dir.Child(L"missing/file")));
    EXPECT_FALSE(File::OpenWrite(L""));
}

TEST(FileSystemTest, ReadersAndWritersShareAFile) {
    TempDir dir;
    WriteFileBytes(dir.Child(L"shared"), "before");
    std::optional<File> reader = File::OpenRead(dir.Child(L"shared"));
    ASSERT_TRUE(reader);
    std::optional<File> secondReader = File::OpenRead(dir.Child(L"shared"));
    EXPECT_TRUE(secondReader);
    std::optional<File> writer = File::OpenWrite(dir.Child(L"shared"));
    ASSERT_TRUE(writer);
    ASSERT_TRUE(writer->Write("after", 5));
    ASSERT_TRUE(writer->Close());
    EXPECT_EQ(ReadAll(*reader), "after");
}

TEST(FileSystemTest, SeekMovesTheReadPosition) {
    TempDir dir;
    WriteFileBytes(dir.Child(L"file"), "0123456789");
    std::optional<File> in = File::OpenRead(dir.Child(L"file"));
    ASSERT_TRUE(in);
    ASSERT_TRUE(in->Seek(7));
    EXPECT_EQ(ReadAll(*in), "789");
    ASSERT_TRUE(in->Seek(2));
    char two[2] = {};
    EXPECT_EQ(in->Read(two, 2), 2u);
    EXPECT_EQ(std::string(two, 2), "23");
    ASSERT_TRUE(in->Seek(100));
    EXPECT_EQ(ReadAll(*in), "");
}

TEST(FileSystemTest, ReadAtReadsAtOffsetsAndStopsAtTheEnd) {
    TempDir dir;
    WriteFileBytes(dir.Child(L"file"), "0123456789");
    std::optional<File> in = File::OpenRead(dir.Child(L"file"));
    ASSERT_TRUE(in);
    EXPECT_EQ(in->Size(), 10u);
    struct Row {
        std::uint64_t offset;
        std::size_t size;
        std::string bytes;
    } rows[] = {{0, 3, "012"}, {7, 10, "789"}, {10, 4, ""}, {1ull << 40, 4, ""}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.offset);
        std::string buffer(row.size, '?');
        std::optional<std::size_t> got = in->ReadAt(row.offset, buffer.data(), buffer.size());
        ASSERT_TRUE(got);
        EXPECT_EQ(buffer.substr(0, *got), row.bytes);
    }
    EXPECT_FALSE(File().ReadAt(0, nullptr, 1));
}

TEST(FileSystemTest, MovedFromFileIsClosed) {
    TempDir dir;
    WriteFileBytes(dir.Child(L"file"), "abc");
    std::optional<File> in = File::OpenRead(dir.Child(L"file"));
    ASSERT_TRUE(in);
    File moved = std::move(*in);
    char byte = 0;
    EXPECT_FALSE(in->Read(&byte, 1).has_value());
    EXPECT_FALSE(in->Write("x", 1));
    EXPECT_EQ(moved.Read(&byte, 1), 1u);
    EXPECT_EQ(byte, 'a');
}

constexpr std::uint16_t DosDate(int year, int month, int day) {
    return static_cast<std::uint16_t>(((year - 1980) << 9) | (month << 5) | day);
}

constexpr std::uint16_t DosTime(int hour, int minute, int second) {
    return static_cast<std::uint16_t>((hour << 11) | (minute << 5) | (second / 2));
}

std::filesystem::file_time_type StampFile(const std::wstring& path, DosDateTime when) {
    std::optional<File> out = File::OpenWrite(path);
    EXPECT_TRUE(out);
    EXPECT_TRUE(out && out->Write("x", 1));
    EXPECT_TRUE(out && out->SetModifiedTime(when));
    EXPECT_TRUE(out && out->Close());
    return std::filesystem::last_write_time(ToNativePath(path));
}

TEST(FileSystemTest, SetModifiedTimeIsObservable) {
    TempDir dir;
    // Two winter days, so that no daylight saving change lies between them in any zone.
    auto first = StampFile(dir.Child(L"first"), {DosDate(2020, 1, 10), DosTime(12, 0, 0)});
    auto second = StampFile(dir.Child(L"second"), {DosDate(2020, 1, 11), DosTime(12, 30, 58)});
    using std::chrono::seconds;
    EXPECT_EQ(std::chrono::duration_cast<seconds>(second - first), seconds(86400 + 30 * 60 + 58));
    auto age = std::filesystem::file_time_type::clock::now() - first;
    EXPECT_GT(std::chrono::duration_cast<seconds>(age), seconds(365LL * 86400));
}

TEST(FileSystemTest, SetModifiedTimeRefusesImpossibleDates) {
    TempDir dir;
    std::optional<File> out = File::OpenWrite(dir.Child(L"file"));
    ASSERT_TRUE(out);
    EXPECT_FALSE(out->SetModifiedTime({DosDate(2020, 0, 1), DosTime(0, 0, 0)}));
    EXPECT_FALSE(out->SetModifiedTime({DosDate(2020, 13, 1), DosTime(0, 0, 0)}));
    EXPECT_FALSE(out->SetModifiedTime({DosDate(2020, 1, 0), DosTime(0, 0, 0)}));
    EXPECT_FALSE(out->SetModifiedTime({DosDate(2020, 1, 1), DosTime(24, 0, 0)}));
    EXPECT_FALSE(out->SetModifiedTime({DosDate(2020, 1, 1), DosTime(0, 60, 0)}));
    EXPECT_TRUE(out->SetModifiedTime({DosDate(2020, 2, 29), DosTime(23, 59, 58)}));
}

}  // namespace
}  // namespace ombrelta
