#include "verify/GameFileDownload.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/FreeSpaceStub.h"
#include "tests/support/TempDir.h"
#include "tests/verify/GameServer.h"

namespace ombrelta {
namespace {

using test::Bytes;
using test::FileExists;
using test::GameServer;
using test::ReadFileBytes;
using test::ReportLog;
using test::TempDir;
using test::WorkingDirectory;
using test::WriteFileBytes;

using Reports = std::vector<std::pair<std::string, std::int32_t>>;

// Hands out scripted chunks; a chunk given as a length only is "written" without any bytes, so
// tests can reach the 4 GiB limit without the memory.
class FakeSource : public ChunkChannel {
public:
    struct Chunk {
        std::string bytes;
        bool last = false;
        std::uint64_t phantomLength = 0;
        bool failWrite = false;
    };
    explicit FakeSource(std::vector<Chunk> chunks) : chunks(std::move(chunks)) {}

    void Request(std::uint32_t offset) override { offsets.push_back(offset); }

    std::uint64_t Receive(bool& last) override {
        if (offsets.size() > chunks.size())
            throw std::runtime_error("no more chunks");
        const Chunk& chunk = chunks[offsets.size() - 1];
        last = chunk.last;
        return chunk.phantomLength ? chunk.phantomLength : chunk.bytes.size();
    }

    bool WriteTo(File& file) override {
        const Chunk& chunk = chunks[offsets.size() - 1];
        ++writes;
        if (chunk.failWrite)
            return false;
        return chunk.phantomLength || file.Write(chunk.bytes.data(), chunk.bytes.size());
    }

    bool Discard() override { return false; }

    std::vector<Chunk> chunks;
    std::vector<std::uint32_t> offsets;
    int writes = 0;
};

HashEntry Entry(std::string path, std::uint32_t size, std::uint16_t id = 3) {
    return HashEntry{.id = id, .path = std::move(path), .hash = "", .size = size};
}

std::string ErrorOf(const HashEntry& entry, FakeSource& source, const ProgressCallback& progress) {
    try {
        DownloadGameFileFrom(entry, source, progress);
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "no error";
}

TEST(DownloadGameFileFrom, WritesChunksAndReportsPercents) {
    TempDir dir;
    WorkingDirectory cwd(dir.Path());
    FakeSource source({{"aaaa"}, {"bbbb"}, {"cc", true}});
    ReportLog log;
    ASSERT_TRUE(DownloadGameFileFrom(Entry("data/sub/f.bin", 10), source, log.Bind()));
    EXPECT_EQ(source.offsets, (std::vector<std::uint32_t>{0, 4, 8}));
    EXPECT_EQ(log.calls, (Reports{{"Repairing data\\sub\\f.bin", 40},
                                  {"Repairing data\\sub\\f.bin", 80},
                                  {"Repairing data\\sub\\f.bin", 100}}));
    EXPECT_EQ(ReadFileBytes(dir.Child(L"data/sub/f.bin")), "aaaabbbbcc");
}

TEST(DownloadGameFileFrom, PercentEdgeCases) {
    struct Row {
        const char* name;
        std::uint32_t size;
        std::vector<FakeSource::Chunk> chunks;
        std::vector<std::int32_t> percents;
    };
    const std::vector<Row> rows = {
        {"empty last chunk first", 0, {{"", true}}, {0}},
        {"size zero", 0, {{"abc"}, {"de", true}}, {0, 0}},
        {"more bytes than listed", 4, {{"abc"}, {"def"}, {"g", true}}, {75, 100, 100}},
        {"rounds down", 3, {{"a"}, {"b"}, {"c", true}}, {33, 66, 100}},
        {"empty last chunk at the end", 2, {{"ab"}, {"", true}}, {100, 100}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        WorkingDirectory cwd(dir.Path());
        FakeSource source(row.chunks);
        std::vector<std::int32_t> percents;
        ASSERT_TRUE(
            DownloadGameFileFrom(Entry("f.bin", row.size), source,
                                 [&](const std::wstring&, std::int32_t p) { percents.push_back(p); }));
        EXPECT_EQ(percents, row.percents);
        EXPECT_TRUE(FileExists(dir.Child(L"f.bin")));
    }
}

TEST(DownloadGameFileFrom, PercentUsesSixtyFourBitProduct) {
    TempDir dir;
    WorkingDirectory cwd(dir.Path());
    // 50,000,000 * 100 overflows 32 bits.
    FakeSource source({{"", false, 50000000}, {"", true, 50000000}});
    std::vector<std::int32_t> percents;
    ASSERT_TRUE(DownloadGameFileFrom(Entry("f.bin", 100000000), source,
                                     [&](const std::wstring&, std::int32_t p) { percents.push_back(p); }));
    EXPECT_EQ(percents, (std::vector<std::int32_t>{50, 100}));
}

TEST(DownloadGameFileFrom, EmptyChunkWithoutLastFlagFailsAfterItsReport) {
    TempDir dir;
    WorkingDirectory cwd(dir.Path());
    FakeSource source({{"abcd"}, {""}});
    ReportLog log;
    EXPECT_EQ(ErrorOf(Entry("dir/f.bin", 8), source, log.Bind()), "Server returned empty chunk: dir/f.bin");
    EXPECT_EQ(log.calls, (Reports{{"Repairing dir\\f.bin", 50}, {"Repairing dir\\f.bin", 50}}));
    EXPECT_EQ(ReadFileBytes(dir.Child(L"dir/f.bin")), "abcd");
}

TEST(DownloadGameFileFrom, WriteFailure) {
    TempDir dir;
    WorkingDirectory cwd(dir.Path());
    FakeSource source({{"abcd"}, {"efgh", false, 0, true}});
    ReportLog log;
    EXPECT_EQ(ErrorOf(Entry("dir/f.bin", 8), source, log.Bind()), "Failed writing file: dir/f.bin");
    EXPECT_EQ(log.calls, (Reports{{"Repairing dir\\f.bin", 50}}));
}

TEST(DownloadGameFileFrom, DirectoryInTheWay) {
    TempDir dir;
    WorkingDirectory cwd(dir.Path());
    WriteFileBytes(dir.Child(L"data/f.bin/inner.txt"), "keep");
    FakeSource source({{"abcd", true}});
    ReportLog log;
    EXPECT_EQ(ErrorOf(Entry("data/f.bin", 4), source, log.Bind()), "Cannot create local file: data/f.bin");
    EXPECT_TRUE(source.offsets.empty());
    EXPECT_TRUE(log.calls.empty());
    EXPECT_EQ(ReadFileBytes(dir.Child(L"data/f.bin/inner.txt")), "keep");
}

TEST(DownloadGameFileFrom, TruncatesALongerFile) {
    TempDir dir;
    WorkingDirectory cwd(dir.Path());
    WriteFileBytes(dir.Child(L"f.bin"), std::string(5000, 'x'));
    FakeSource source({{"abc", true}});
    ASSERT_TRUE(DownloadGameFileFrom(Entry("f.bin", 3), source, nullptr));
    EXPECT_EQ(ReadFileBytes(dir.Child(L"f.bin")), "abc");
}

TEST(DownloadGameFileFrom, RefusesAFileBeyondFourGibibytes) {
    constexpr std::uint64_t kGiB = 1ull << 30;
    TempDir dir;
    WorkingDirectory cwd(dir.Path());
    // 4 x 1 GiB - 1 fits exactly (4294967295 bytes); one byte more does not.
    FakeSource source(
        {{"", false, kGiB}, {"", false, kGiB}, {"", false, kGiB}, {"", false, kGiB - 1}, {"x"}});
    ReportLog log;
    EXPECT_EQ(ErrorOf(Entry("big.bin", 0xFFFFFFFFu), source, log.Bind()), "File too large: big.bin");
    EXPECT_EQ(source.offsets,
              (std::vector<std::uint32_t>{0, 0x40000000u, 0x80000000u, 0xC0000000u, 0xFFFFFFFFu}));
    EXPECT_EQ(source.writes, 4);
    ASSERT_EQ(log.calls.size(), 4u);
    EXPECT_EQ(log.calls.back().second, 100);
}

TEST(DownloadGameFileFrom, ASingleChunkBeyondTheLimit) {
    TempDir dir;
    WorkingDirectory cwd(dir.Path());
    FakeSource source({{"", true, 1ull << 32}});
    EXPECT_EQ(ErrorOf(Entry("big.bin", 0), source, nullptr), "File too large: big.bin");
    EXPECT_EQ(source.writes, 0);
}

TEST(DownloadGameFileFrom, RefusesUnsafePathsBeforeTouchingAnything) {
    TempDir dir;
    WorkingDirectory cwd(dir.Path());
    FakeSource source({{"abc", true}});
    ReportLog log;
    EXPECT_EQ(ErrorOf(Entry("sub/../../escape.bin", 3), source, log.Bind()),
              "Unsafe file path: sub/../../escape.bin");
    EXPECT_TRUE(source.offsets.empty());
    EXPECT_TRUE(log.calls.empty());
    EXPECT_FALSE(FileExists(dir.Child(L"sub")));
}

TEST(DownloadGameFile, ChunkRequestsOnTheWire) {
    TempDir dir;
    WorkingDirectory cwd(dir.Path());
    GameServer server({test::IntactFile(7, "data/f.bin", std::string(2500, 'q'))}, 1000);
    LauncherApi api;
    server.Connect(api);
    ReportLog log;
    ASSERT_TRUE(DownloadGameFile(api, HashEntry{.id = 7, .path = "data/f.bin", .hash = "", .size = 2500},
                                 log.Bind()));
    EXPECT_EQ(server.Requests(), (std::vector<Bytes>{
                                     {0x0C, 0x00, 0xA6, 0x9C, 0x01, 0x00, 0x07, 0x00, 0x00, 0x00, 0x00, 0x00},
                                     {0x0C, 0x00, 0xA6, 0x9C, 0x01, 0x00, 0x07, 0x00, 0xE8, 0x03, 0x00, 0x00},
                                     {0x0C, 0x00, 0xA6, 0x9C, 0x01, 0x00, 0x07, 0x00, 0xD0, 0x07, 0x00, 0x00},
                                 }));
    EXPECT_EQ(log.calls, (Reports{{"Repairing data\\f.bin", 40},
                                  {"Repairing data\\f.bin", 80},
                                  {"Repairing data\\f.bin", 100}}));
    EXPECT_EQ(ReadFileBytes(dir.Child(L"data/f.bin")), std::string(2500, 'q'));
}

// The file repaired and a kept part of it count as free space; a repair that still does not fit
// is refused before its first request and leaves both as they were.
TEST(DownloadGameFile, RefusesARepairTheDiskCannotHold) {
    struct Row {
        const char* name;
        bool resume;
        std::size_t oldSize;
        std::size_t partSize;
        std::uint64_t free;
        bool refused;
    };
    const std::vector<Row> rows = {
        {"fits exactly", false, 0, 0, 2500, false},
        {"one byte short", false, 0, 0, 2499, true},
        {"the file replaced counts", false, 1000, 0, 1500, false},
        {"the file replaced is not enough", false, 1000, 0, 1499, true},
        {"a kept part counts too", true, 500, 1000, 1000, false},
        {"a kept part is not enough", true, 500, 1000, 999, true},
        {"a refused part leaves the rest", true, 0, 0, 2499, true},
    };
    const std::string content(2500, 'q');
    const GameServer::File file = test::IntactFile(7, "data/f.bin", content);
    const HashEntry entry{.id = 7, .path = file.path, .hash = file.hash, .size = 2500};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        WorkingDirectory cwd(dir.Path());
        const std::string old(row.oldSize, 'o');
        if (row.oldSize != 0)
            WriteFileBytes(dir.Child(L"data/f.bin"), old);
        if (row.partSize != 0) {
            WriteFileBytes(dir.Child(L"data/f.bin.download"), content.substr(0, row.partSize));
            WriteFileBytes(dir.Child(L"data/f.bin.download.resume"), "size=2500\nmd5=" + file.hash + "\n");
        }
        test::FreeSpaceStub stub(row.free);
        GameServer server({file}, 1000);
        LauncherApi api;
        server.Connect(api);
        std::string error = "none";
        try {
            if (row.resume)
                DownloadGameFileBeside(api, entry, nullptr, {.pipeline = 1, .keepPart = true});
            else
                DownloadGameFile(api, entry, nullptr);
        } catch (const std::runtime_error& failure) {
            error = failure.what();
        }
        if (!row.refused) {
            EXPECT_EQ(error, "none");
            EXPECT_EQ(ReadFileBytes(dir.Child(L"data/f.bin")), content);
            continue;
        }
        EXPECT_EQ(error, "Not enough disk space: data/f.bin");
        EXPECT_EQ(server.ChunkRequestCount(), 0u);
        EXPECT_EQ(FileExists(dir.Child(L"data/f.bin")), row.oldSize != 0);
        if (row.oldSize != 0) {
            EXPECT_EQ(ReadFileBytes(dir.Child(L"data/f.bin")), old);
        }
        EXPECT_EQ(FileExists(dir.Child(L"data/f.bin.download")), row.partSize != 0);
        EXPECT_EQ(FileExists(dir.Child(L"data/f.bin.download.resume")), row.partSize != 0);
    }
}

TEST(DownloadGameFile, ServerErrorsPassThrough) {
    TempDir dir;
    WorkingDirectory cwd(dir.Path());
    GameServer server({test::IntactFile(7, "f.bin", "abc")});
    server.SetFault(7, GameServer::Fault::kWrongAnswerType);
    LauncherApi api;
    server.Connect(api);
    try {
        DownloadGameFile(api, HashEntry{.id = 7, .path = "f.bin", .hash = "", .size = 3}, nullptr);
        FAIL() << "no error";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "Invalid response for hash file download.");
    }
    EXPECT_EQ(ReadFileBytes(dir.Child(L"f.bin")), "");
}

// Requests sent ahead change nothing the player sees: the same requests, reports and file.
TEST(DownloadGameFile, WindowedRepairMatchesTheWaitingOne) {
    for (int window : {1, 16}) {
        SCOPED_TRACE(window);
        TempDir dir;
        WorkingDirectory cwd(dir.Path());
        const GameServer::File file = test::IntactFile(7, "data/f.bin", std::string(2500, 'q'));
        GameServer server({file}, 1000);
        LauncherApi api;
        server.Connect(api);
        ReportLog log;
        ASSERT_TRUE(DownloadGameFile(api, HashEntry{.id = 7, .path = "data/f.bin", .hash = file.hash, .size = 2500},
                                     log.Bind(), window));
        EXPECT_EQ(server.ChunkOffsets(7), (std::vector<std::uint32_t>{0, 1000, 2000}));
        EXPECT_EQ(log.calls, (Reports{{"Repairing data\\f.bin", 40},
                                      {"Repairing data\\f.bin", 80},
                                      {"Repairing data\\f.bin", 100}}));
        EXPECT_EQ(ReadFileBytes(dir.Child(L"data/f.bin")), std::string(2500, 'q'));
    }
}

TEST(DownloadGameFile, WindowedFailuresFailAsTheWaitingOne) {
    struct Row {
        const char* name;
        GameServer::Fault fault;
        bool wrongHash;
        const char* waiting;   // the error with window 1
        const char* windowed;  // the error with window 8
        bool connectionKept;
    };
    const std::vector<Row> rows = {
        {"empty chunk", GameServer::Fault::kEmptyChunkAfterFirst, false, "Server returned empty chunk: f.bin",
         "Server returned empty chunk: f.bin", true},
        {"failure answer", GameServer::Fault::kWrongAnswerTypeAfterFirst, false,
         "Invalid response for hash file download.", "Invalid response for hash file download.", true},
        {"server hangs up", GameServer::Fault::kCloseAfterFirst, false, "Empty hash file chunk response.",
         "Empty hash file chunk response.", false},
        {"listed digest differs", GameServer::Fault::kNone, true, "no error",
         "Downloaded file differs from the server's list: f.bin", true},
    };
    for (const Row& row : rows) {
        for (int window : {1, 8}) {
            SCOPED_TRACE(std::string(row.name) + ", window " + std::to_string(window));
            TempDir dir;
            WorkingDirectory cwd(dir.Path());
            GameServer::File file = test::IntactFile(7, "f.bin", std::string(5000, 'w'));
            if (row.wrongHash)
                file.hash = std::string(32, '0');
            GameServer server({file}, 1000);
            server.SetFault(7, row.fault);
            LauncherApi api;
            server.Connect(api);
            const HashEntry entry{.id = 7, .path = "f.bin", .hash = file.hash, .size = 5000};
            std::string error = "no error";
            try {
                DownloadGameFile(api, entry, nullptr, window);
            } catch (const std::runtime_error& e) {
                error = e.what();
            }
            EXPECT_EQ(error, window == 1 ? row.waiting : row.windowed);
            // No answer is left on the way: the next request gets its own.
            EXPECT_EQ(api.IsConnected(), row.connectionKept);
            if (row.connectionKept) {
                EXPECT_EQ(api.GetHashList("HOST").size(), 1u);
            }
        }
    }
}

// A file large enough to be digested on a thread of its own is held to its listed digest too.
TEST(DownloadGameFile, ALargeFileIsDigestedAsItArrives) {
    std::string content(5 * 1024 * 1024 + 17, '\0');
    for (std::size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<char>(i * 13 + i / 4099);
    for (bool wrongHash : {false, true}) {
        SCOPED_TRACE(wrongHash ? "listed digest differs" : "listed digest");
        TempDir dir;
        WorkingDirectory cwd(dir.Path());
        GameServer::File file = test::IntactFile(7, "big.pak", content);
        if (wrongHash)
            file.hash = std::string(32, '0');
        GameServer server({file}, 60000);
        LauncherApi api;
        server.Connect(api);
        const auto size = static_cast<std::uint32_t>(content.size());
        std::string error = "no error";
        try {
            DownloadGameFile(api, {.id = 7, .path = "big.pak", .hash = file.hash, .size = size}, nullptr, 8);
        } catch (const std::runtime_error& e) {
            error = e.what();
        }
        EXPECT_EQ(error, wrongHash ? "Downloaded file differs from the server's list: big.pak" : "no error");
        if (!wrongHash) {
            EXPECT_TRUE(ReadFileBytes(dir.Child(L"big.pak")) == content);
        }
    }
}

}  // namespace
}  // namespace ombrelta
