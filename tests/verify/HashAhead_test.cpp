#include "verify/HashAhead.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/BlockMap.h"
#include "common/Text.h"
#include "tests/support/TempDir.h"
#include "verify/FileHash.h"

namespace ombrelta {
namespace {

using test::TempDir;
using test::WriteFileBytes;

std::string Content(std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    std::uint32_t x = seed;
    for (char& c : bytes) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 16);
    }
    return bytes;
}

// Entries of every kind the checking thread meets: intact, other size, missing, a directory.
std::vector<HashEntry> MixedEntries(const TempDir& dir) {
    std::vector<HashEntry> entries;
    for (unsigned i = 0; i < 24; ++i) {
        const std::string name = WideToUtf8(dir.Path()) + "f" + std::to_string(i) + ".bin";
        const std::size_t size = 1000 + i * 7919;
        if (i % 4 != 2)
            WriteFileBytes(Utf8ToWide(name), Content(size, i));
        const std::uint32_t listed = static_cast<std::uint32_t>(i % 4 == 1 ? size + 1 : size);
        entries.push_back(
            HashEntry{.id = static_cast<std::uint16_t>(i), .path = name, .hash = "", .size = listed});
    }
    entries.push_back(HashEntry{.id = 99, .path = WideToUtf8(dir.Path()), .hash = "", .size = 0});
    return entries;
}

TEST(HashAhead, SameDigestsAsHashingOneByOne) {
    TempDir dir;
    const std::vector<HashEntry> entries = MixedEntries(dir);
    for (unsigned threads : {0u, 1u, 2u, 3u, 4u}) {
        SCOPED_TRACE(threads);
        HashAhead ahead(entries, entries.size(), threads);
        for (std::size_t i = 0; i < entries.size(); ++i) {
            ahead.Reached(i);
            const std::wstring pathW = Utf8ToWide(entries[i].path);
            EXPECT_EQ(ahead.Digest(i).md5, ComputeFileMd5(pathW)) << i;
        }
    }
}

TEST(HashAhead, BlockDigestsOnlyWhenAskedAndOnlyForFilesWithAMap) {
    TempDir dir;
    const std::string big = Content(kBlockMapMinFileSize + 1, 5);
    const std::string small = Content(kBlockMapMinFileSize - 1, 6);
    WriteFileBytes(dir.Child(L"big.pak"), big);
    WriteFileBytes(dir.Child(L"small.pak"), small);
    const std::vector<HashEntry> entries = {
        {.id = 0, .path = WideToUtf8(dir.Child(L"big.pak")), .hash = "", .size = static_cast<std::uint32_t>(big.size())},
        {.id = 1, .path = WideToUtf8(dir.Child(L"small.pak")), .hash = "", .size = static_cast<std::uint32_t>(small.size())},
    };
    for (unsigned threads : {0u, 2u}) {
        for (bool blocks : {false, true}) {
            SCOPED_TRACE(std::to_string(threads) + (blocks ? " with blocks" : " without"));
            HashAhead ahead(entries, entries.size(), threads, {}, blocks);
            ahead.Reached(0);
            EXPECT_EQ(ahead.Digest(0).blocks, blocks ? HashFile(dir.Child(L"big.pak"), true).blocks
                                                     : std::vector<Md5Digest>());
            EXPECT_EQ(ahead.Digest(0).blocks.size(), blocks ? 5u : 0u);
            ahead.Reached(1);
            EXPECT_TRUE(ahead.Digest(1).blocks.empty());
        }
    }
}

TEST(HashAhead, SkippedEntriesStillGetTheirDigestWhenAsked) {
    TempDir dir;
    const std::vector<HashEntry> entries = MixedEntries(dir);
    HashAhead ahead(entries, entries.size(), 2);
    // Only every third entry is asked for, as when the others are missing or of another size.
    for (std::size_t i = 0; i < entries.size(); i += 3) {
        ahead.Reached(i);
        EXPECT_EQ(ahead.Digest(i).md5, ComputeFileMd5(Utf8ToWide(entries[i].path))) << i;
    }
}

TEST(HashAhead, RewriteMakesEarlierDigestsStale) {
    TempDir dir;
    const std::wstring pathW = dir.Child(L"shared.bin");
    const std::string oldBytes = Content(300000, 1);
    const std::string newBytes = Content(300000, 2);
    WriteFileBytes(pathW, oldBytes);
    const HashEntry entry{.id = 1, .path = WideToUtf8(pathW), .hash = "", .size = 300000};
    const std::vector<HashEntry> entries(8, entry);
    for (unsigned threads : {0u, 1u, 2u, 4u}) {
        SCOPED_TRACE(threads);
        WriteFileBytes(pathW, oldBytes);
        HashAhead ahead(entries, entries.size(), threads);
        ahead.Reached(0);
        EXPECT_EQ(ahead.Digest(0).md5, ComputeFileMd5(pathW));
        ahead.BeginRewrite();
        WriteFileBytes(pathW, newBytes);
        ahead.EndRewrite();
        const std::string expected = ComputeFileMd5(pathW);
        for (std::size_t i = 1; i < entries.size(); ++i) {
            ahead.Reached(i);
            EXPECT_EQ(ahead.Digest(i).md5, expected) << i;
        }
    }
}

TEST(HashAhead, StopsAtTheEndGiven) {
    TempDir dir;
    std::vector<HashEntry> entries = MixedEntries(dir);
    HashAhead ahead(entries, 3, 4);
    for (std::size_t i = 0; i < 3; ++i) {
        ahead.Reached(i);
        EXPECT_EQ(ahead.Digest(i).md5, ComputeFileMd5(Utf8ToWide(entries[i].path)));
    }
    EXPECT_THROW(ahead.Digest(3), std::out_of_range);
}

TEST(HashAhead, DestroyedWhileHashing) {
    TempDir dir;
    std::vector<HashEntry> entries;
    for (unsigned i = 0; i < 6; ++i) {
        const std::wstring pathW = dir.Child(L"big" + std::to_wstring(i) + L".bin");
        WriteFileBytes(pathW, Content(4000000, i));
        entries.push_back(HashEntry{.id = 1, .path = WideToUtf8(pathW), .hash = "", .size = 4000000});
    }
    for (unsigned threads : {1u, 2u, 4u}) {
        HashAhead ahead(entries, entries.size(), threads);
        ahead.Reached(0);
    }
    HashAhead paused(entries, entries.size(), 2);
    paused.BeginRewrite();
}

TEST(HashAheadThreadCount, OneToFour) {
    EXPECT_GE(HashAheadThreadCount(), 1u);
    EXPECT_LE(HashAheadThreadCount(), 4u);
}

}  // namespace
}  // namespace ombrelta
