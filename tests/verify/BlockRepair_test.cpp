#include "verify/BlockRepair.h"

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/FileSystem.h"
#include "tests/support/TempDir.h"
#include "tests/verify/GameServer.h"

namespace ombrelta {
namespace {

using test::GameServer;
using test::ReadFileBytes;
using test::TempDir;
using test::WorkingDirectory;
using test::WriteFileBytes;

// With requests in flight, an answer shorter than the ones before it inside a block shows the
// offsets asked ahead wrong: their answers are dropped and the block is finished one request at
// a time, with the file exact and only the damaged blocks asked for.
TEST(RepairByBlocks, AShortAnswerInsideABlockFallsBackToOneRequestAtATime) {
    std::string content(6 * kMapBlockSize + 12345, '\0');
    for (std::size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<char>(i * 29 + i / 1021);
    TempDir dir;
    WorkingDirectory cwd(dir.Path());
    std::string damaged = content;
    for (std::size_t at : {2 * kMapBlockSize + 5, 4 * kMapBlockSize + 700000})
        damaged.replace(at, 4096, std::string(4096, 'x'));
    WriteFileBytes(dir.Child(L"big.pak"), damaged);
    const GameServer::File file = test::IntactFile(7, "big.pak", content);
    GameServer server({file}, 50000);
    server.SetFault(7, GameServer::Fault::kHalfChunkOnceInsideABlock);
    LauncherApi api;
    server.Connect(api);
    const HashEntry entry{.id = 7, .path = "big.pak", .hash = file.hash, .size = static_cast<std::uint32_t>(content.size())};

    ASSERT_TRUE(RepairByBlocks(api, entry, {}, nullptr, {.pipeline = 8}));
    EXPECT_TRUE(ReadFileBytes(dir.Child(L"big.pak")) == content);
    const std::vector<std::uint32_t> offsets = server.ChunkOffsets(7);
    for (std::uint32_t offset : offsets) {
        const std::uint32_t block = offset / kMapBlockSize;
        EXPECT_TRUE(block == 2 || block == 4) << offset;
    }
    // Block 2: 50000, then 25000 short, then one at a time; the answers asked ahead are dropped.
    ASSERT_GE(offsets.size(), 3u);
    EXPECT_EQ(offsets[0], 2 * kMapBlockSize);
    EXPECT_EQ(offsets[1], 2 * kMapBlockSize + 50000);
    EXPECT_TRUE(std::find(offsets.begin(), offsets.end(), 2 * kMapBlockSize + 75000) != offsets.end());
    EXPECT_TRUE(api.IsConnected());
}

}  // namespace
}  // namespace ombrelta
