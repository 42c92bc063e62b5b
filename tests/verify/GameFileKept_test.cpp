#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/TempDir.h"
#include "tests/verify/GameServer.h"
#include "verify/GameFileDownload.h"

namespace ombrelta {
namespace {

using test::FileExists;
using test::GameServer;
using test::ReadFileBytes;
using test::ReportLog;
using test::TempDir;
using test::WorkingDirectory;
using test::WriteFileBytes;

using Reports = std::vector<std::pair<std::string, std::int32_t>>;

const std::string kContent = std::string(1000, 'a') + std::string(1000, 'b') + std::string(500, 'c');

HashEntry EntryOf(const GameServer::File& file) {
    return HashEntry{.id = file.id, .path = file.path, .hash = file.hash, .size = static_cast<std::uint32_t>(file.size)};
}

std::string RecordOf(const GameServer::File& file) {
    return "size=" + std::to_string(file.size) + "\nmd5=" + file.hash + "\n";
}

TEST(DownloadGameFileKept, CutLeavesTheFileAndContinuesAfterThePart) {
    TempDir dir;
    WorkingDirectory cwd(dir.Path());
    WriteFileBytes(dir.Child(L"f.bin"), "old");
    const GameServer::File file = test::IntactFile(7, "f.bin", kContent);
    {
        GameServer server({file}, 1000);
        server.SetFault(7, GameServer::Fault::kCloseAfterFirst);
        LauncherApi api;
        server.Connect(api);
        EXPECT_THROW(DownloadGameFileBeside(api, EntryOf(file), nullptr, {.pipeline = 1, .keepPart = true}),
                     std::runtime_error);
    }
    EXPECT_EQ(ReadFileBytes(dir.Child(L"f.bin")), "old");
    EXPECT_EQ(ReadFileBytes(dir.Child(L"f.bin.download")), kContent.substr(0, 1000));
    EXPECT_EQ(ReadFileBytes(dir.Child(L"f.bin.download.resume")), RecordOf(file));

    GameServer server({file}, 1000);
    LauncherApi api;
    server.Connect(api);
    ReportLog log;
    ASSERT_TRUE(DownloadGameFileBeside(api, EntryOf(file), log.Bind(), {.pipeline = 1, .keepPart = true}));
    EXPECT_EQ(server.ChunkOffsets(7), (std::vector<std::uint32_t>{1000, 2000}));
    EXPECT_EQ(log.calls, (Reports{{"Repairing f.bin", 80}, {"Repairing f.bin", 100}}));
    EXPECT_EQ(ReadFileBytes(dir.Child(L"f.bin")), kContent);
    EXPECT_FALSE(FileExists(dir.Child(L"f.bin.download")));
    EXPECT_FALSE(FileExists(dir.Child(L"f.bin.download.resume")));
}

TEST(DownloadGameFileKept, PartThatIsNotThisFilesStartsOverFromZero) {
    struct Row {
        const char* what;
        bool recordMatches;
        std::vector<std::uint32_t> offsets;
    };
    const GameServer::File file = test::IntactFile(7, "f.bin", kContent);
    const std::vector<Row> rows = {
        {"record of another MD5", false, {0, 1000, 2000}},
        {"matching record, corrupt bytes", true, {1000, 2000, 0, 1000, 2000}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TempDir dir;
        WorkingDirectory cwd(dir.Path());
        WriteFileBytes(dir.Child(L"f.bin.download"), std::string(1000, 'x'));
        WriteFileBytes(dir.Child(L"f.bin.download.resume"),
                       row.recordMatches ? RecordOf(file) : "size=2500\nmd5=00000000000000000000000000000000\n");
        GameServer server({file}, 1000);
        LauncherApi api;
        server.Connect(api);
        ASSERT_TRUE(DownloadGameFileBeside(api, EntryOf(file), nullptr, {.pipeline = 1, .keepPart = true}));
        EXPECT_EQ(server.ChunkOffsets(7), row.offsets);
        EXPECT_EQ(ReadFileBytes(dir.Child(L"f.bin")), kContent);
        EXPECT_FALSE(FileExists(dir.Child(L"f.bin.download")));
    }
}

TEST(DownloadGameFileKept, FileFetchedWholeThatDiffersFailsWithoutReplacing) {
    TempDir dir;
    WorkingDirectory cwd(dir.Path());
    WriteFileBytes(dir.Child(L"f.bin"), "old");
    GameServer::File file = test::IntactFile(7, "f.bin", kContent);
    file.hash = "00000000000000000000000000000000";
    GameServer server({file}, 1000);
    LauncherApi api;
    server.Connect(api);
    try {
        DownloadGameFileBeside(api, EntryOf(file), nullptr, {.pipeline = 16, .keepPart = true});
        FAIL() << "no error";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "Downloaded file differs from the server's list: f.bin");
    }
    EXPECT_EQ(ReadFileBytes(dir.Child(L"f.bin")), "old");
    EXPECT_FALSE(FileExists(dir.Child(L"f.bin.download")));
}

}  // namespace
}  // namespace ombrelta
