#include "verify/FileHash.h"

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/BlockMap.h"
#include "tests/support/TempDir.h"

namespace ombrelta {
namespace {

using test::TempDir;
using test::WriteFileBytes;

std::string Pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 31 + 7) & 0xFF);
    return bytes;
}

std::string LcgBytes(std::size_t size) {
    std::string bytes(size, '\0');
    std::uint32_t x = 1;
    for (std::size_t i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        bytes[i] = static_cast<char>((x >> 16) & 0xFF);
    }
    return bytes;
}

TEST(ComputeFileMd5, KnownDigests) {
    struct Row {
        const char* name;
        std::string content;
        const char* md5;
    };
    const std::vector<Row> rows = {
        {"empty", "", "d41d8cd98f00b204e9800998ecf8427e"},
        {"abc", "abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"one block", Pattern(8192), "4448bc4b5b98051a0a8f767b1d69ebcb"},
        {"one block and a byte", Pattern(8193), "c5c2db3093676e9b9f2e31a310ea1798"},
        {"five megabytes", LcgBytes(5000000), "f7bd88375b11d7e6b3008f3032f2f03e"},
    };
    TempDir dir;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::wstring path = dir.Child(L"file.bin");
        WriteFileBytes(path, row.content);
        EXPECT_EQ(ComputeFileMd5(path), row.md5);
        // One reading for both digests gives what two separate ones give.
        const FileDigests both = ComputeFileDigests(path);
        EXPECT_EQ(both.md5, row.md5);
        EXPECT_EQ(both.sha256, ComputeFileSha256(path));
    }
}

TEST(ComputeFileMd5, EitherSeparator) {
    TempDir dir;
    WriteFileBytes(dir.Child(L"sub/file.bin"), "abc");
    EXPECT_EQ(ComputeFileMd5(dir.Child(L"sub\\file.bin")), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(ComputeFileMd5, MissingFileOrDirectoryGivesEmptyText) {
    TempDir dir;
    WriteFileBytes(dir.Child(L"sub/file.bin"), "x");
    EXPECT_EQ(ComputeFileMd5(dir.Child(L"missing.bin")), "");
    EXPECT_EQ(ComputeFileMd5(dir.Child(L"missing/missing.bin")), "");
    EXPECT_EQ(ComputeFileMd5(dir.Child(L"sub")), "");
    EXPECT_EQ(ComputeFileMd5(dir.Path()), "");
    EXPECT_EQ(ComputeFileMd5(L""), "");
    EXPECT_EQ(ComputeFileDigests(dir.Child(L"sub")).sha256, "");
}

TEST(ComputeFileMd5Until, StopsBetweenBlocks) {
    TempDir dir;
    const std::wstring path = dir.Child(L"file.bin");
    WriteFileBytes(path, Pattern(3 * 8192));
    int asked = 0;
    EXPECT_EQ(ComputeFileMd5Until(path, [&] { return ++asked == 2; }), std::nullopt);
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(ComputeFileMd5Until(path, [] { return false; }), ComputeFileMd5(path));
    // Files that cannot be hashed give empty text, not a stop.
    EXPECT_EQ(ComputeFileMd5Until(dir.Child(L"missing"), [] { return true; }), std::string());
}

TEST(HashFile, BlockDigestsComeFromTheSameReadingWhenAskedFor) {
    TempDir dir;
    const std::wstring path = dir.Child(L"big.pak");
    for (std::size_t size :
         {std::size_t{0}, std::size_t{kMapBlockSize}, 2 * std::size_t{kMapBlockSize} + 5}) {
        SCOPED_TRACE(size);
        const std::string bytes = LcgBytes(size);
        WriteFileBytes(path, bytes);
        std::optional<BlockDigester> expected = BlockDigester::Create();
        ASSERT_TRUE(expected &&
                    expected->Update(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
        const HashedFile hashed = HashFile(path, true);
        EXPECT_EQ(hashed.md5, ComputeFileMd5(path));
        EXPECT_EQ(hashed.blocks, expected->Finish());
        EXPECT_TRUE(HashFile(path).blocks.empty());
    }
    EXPECT_EQ(HashFile(dir.Child(L"missing.pak"), true).md5, "");
}

}  // namespace
}  // namespace ombrelta
