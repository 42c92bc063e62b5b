#include "common/BlockMap.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/Hex.h"
#include "common/LittleEndian.h"

namespace ombrelta {
namespace {

BlockMap SampleMap(std::uint64_t size) {
    BlockMap map{.fileSize = size, .fileMd5 = {}, .blocks = {}};
    map.fileMd5[0] = 0xAB;
    for (std::size_t i = 0; i < BlockCount(size); ++i)
        map.blocks.push_back(BlockDigest{static_cast<std::uint8_t>(i), 7});
    return map;
}

TEST(BlockMap, WrittenMapParsesBackToTheSameFields) {
    for (std::uint64_t size : {kBlockMapMinFileSize, kBlockMapMinFileSize + 1, kBlockMapMaxFileSize}) {
        SCOPED_TRACE(size);
        const BlockMap map = SampleMap(size);
        const std::vector<std::uint8_t> bytes = WriteBlockMap(map);
        EXPECT_EQ(bytes.size(), kBlockMapHeaderSize + 16 * BlockCount(size));
        const std::optional<BlockMap> parsed = ParseBlockMap(bytes);
        ASSERT_TRUE(parsed);
        EXPECT_EQ(parsed->fileSize, size);
        EXPECT_EQ(parsed->fileMd5, map.fileMd5);
        EXPECT_EQ(parsed->blocks, map.blocks);
    }
    EXPECT_EQ(BlockCount(kBlockMapMaxFileSize), 4096u);
    EXPECT_EQ(WriteBlockMap(SampleMap(kBlockMapMaxFileSize)).size(), kMaxBlockMapBytes);
}

TEST(BlockMap, MalformedMapsAreRefused) {
    using Edit = std::function<void(std::vector<std::uint8_t>&)>;
    struct Row {
        const char* name;
        Edit edit;
    };
    auto setU32 = [](std::size_t at, std::uint32_t value) {
        return [=](std::vector<std::uint8_t>& b) { StoreLittleEndian(std::span(b), at, value); };
    };
    auto setU64 = [](std::size_t at, std::uint64_t value) {
        return [=](std::vector<std::uint8_t>& b) { StoreLittleEndian(std::span(b), at, value); };
    };
    const std::vector<Row> rows = {
        {"empty", [](auto& b) { b.clear(); }},
        {"header cut", [](auto& b) { b.resize(kBlockMapHeaderSize - 1); }},
        {"last digest cut", [](auto& b) { b.pop_back(); }},
        {"byte after the digests", [](auto& b) { b.push_back(0); }},
        {"wrong magic", [](auto& b) { b[0] = 'X'; }},
        {"format version 1 (MD5 blocks)", setU32(8, 1)},
        {"format version 3", setU32(8, 3)},
        {"block size 64 KiB", setU32(36, 1u << 16)},
        {"count one short", setU32(40, 4)},
        {"count huge", setU32(40, 0xFFFFFFFFu)},
        {"size below 4 MiB", setU64(12, kBlockMapMinFileSize - 1)},
        {"size of another count", setU64(12, 6ull << 20)},
        {"size past 32 bits", setU64(12, 1ull << 32)},
        {"past the largest map", [](auto& b) { b.resize(kMaxBlockMapBytes + 16); }},
    };
    const std::vector<std::uint8_t> good = WriteBlockMap(SampleMap(kBlockMapMinFileSize + 5));
    ASSERT_TRUE(ParseBlockMap(good));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<std::uint8_t> bytes = good;
        row.edit(bytes);
        EXPECT_FALSE(ParseBlockMap(bytes));
    }
}

TEST(BlockDigester, DigestsEachBlockWhateverTheFeedingPieces) {
    std::vector<std::uint8_t> data(2 * kMapBlockSize + 3);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i * 31 + i / 7);
    std::vector<BlockDigest> expected;
    for (std::size_t at = 0; at < data.size(); at += kMapBlockSize) {
        const std::size_t length = std::min<std::size_t>(kMapBlockSize, data.size() - at);
        expected.push_back(BlockDigestOf(std::span(data).subspan(at, length)));
    }
    for (std::size_t piece : {std::size_t{8192}, std::size_t{1000003}, data.size()}) {
        SCOPED_TRACE(piece);
        std::optional<BlockDigester> digester = BlockDigester::Create();
        ASSERT_TRUE(digester);
        for (std::size_t at = 0; at < data.size(); at += piece)
            ASSERT_TRUE(digester->Update(data.data() + at, std::min(piece, data.size() - at)));
        EXPECT_EQ(digester->Finish(), expected);
    }
    std::optional<BlockDigester> exact = BlockDigester::Create();
    ASSERT_TRUE(exact->Update(data.data(), kMapBlockSize));
    EXPECT_EQ(exact->Finish(), std::vector<BlockDigest>{expected[0]});
}

TEST(BlockDigester, DigestIsXxh3Of128BitsInCanonicalBytes) {
    // xxHash's published XXH128 of no bytes.
    EXPECT_EQ(BytesToHex(BlockDigestOf({})), "99aa06d3014798d86001c324468d497f");
    const std::string text = "Ombrelta";
    EXPECT_EQ(BytesToHex(BlockDigestOf({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()})),
              "558818109fded98a28d4113f50945242");
}

}  // namespace
}  // namespace ombrelta
